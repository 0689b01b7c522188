#include "qtcassert.h"

#include <QtGlobal>

#include <cstdio>

namespace Utils {

static AssertHandler &assertHandler()
{
    static AssertHandler handler;
    return handler;
}

void writeAssertLocation(const char *msg)
{
    const QString message = QString::fromUtf8(msg);
    if (const AssertHandler &handler = assertHandler()) {
        handler(message);
        return;
    }
    std::fprintf(stderr, "SOFT ASSERT: %s\n", msg);
    std::fflush(stderr);
}

AssertHandler setAssertHandler(AssertHandler handler)
{
    AssertHandler previous = assertHandler();
    assertHandler() = std::move(handler);
    return previous;
}

} // namespace Utils
