#include "qtcassert.h"

#include <QtGlobal>

#include <cstdio>

namespace Utils {

// Destructors may assert at the very end of the process, after static objects are gone;
// they then print, as without a handler.
Q_GLOBAL_STATIC(AssertHandler, assertHandler)

void writeAssertLocation(const char *msg)
{
    const QString message = QString::fromUtf8(msg);
    if (const AssertHandler *handler = assertHandler(); handler && *handler) {
        (*handler)(message);
        return;
    }
    std::fprintf(stderr, "SOFT ASSERT: %s\n", msg);
    std::fflush(stderr);
}

AssertHandler setAssertHandler(AssertHandler handler)
{
    AssertHandler *current = assertHandler();
    if (!current)
        return AssertHandler();
    AssertHandler previous = std::move(*current);
    *current = std::move(handler);
    return previous;
}

} // namespace Utils
