#pragma once

#include <QString>

#include <functional>

namespace Utils {

// Records a failed precondition. The host prints it on standard error; tests and
// scripted runs can install a handler to capture the messages instead.
void writeAssertLocation(const char *msg);

using AssertHandler = std::function<void(const QString &message)>;
// Installs a handler that receives every soft-assertion message; returns the previous one.
AssertHandler setAssertHandler(AssertHandler handler);

} // namespace Utils

#define QTC_ASSERT_STRINGIFY_HELPER(x) #x
#define QTC_ASSERT_STRINGIFY(x) QTC_ASSERT_STRINGIFY_HELPER(x)
#define QTC_ASSERT_STRING(cond)                                                                    \
    ::Utils::writeAssertLocation("\"" cond "\" in file " __FILE__ ", line " QTC_ASSERT_STRINGIFY(__LINE__))

// Soft assertion: when the condition does not hold, report it and run the action
// (typically "return").
#define QTC_ASSERT(cond, action)                                                                   \
    if (cond) {                                                                                    \
    } else {                                                                                       \
        QTC_ASSERT_STRING(#cond);                                                                  \
        action;                                                                                    \
    }                                                                                              \
    do {                                                                                           \
    } while (0)

#define QTC_CHECK(cond)                                                                            \
    if (cond) {                                                                                    \
    } else {                                                                                       \
        QTC_ASSERT_STRING(#cond);                                                                  \
    }                                                                                              \
    do {                                                                                           \
    } while (0)
