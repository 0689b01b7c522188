#pragma once

#include <QString>

namespace Workbench {

// The result of a user operation: whether it happened, and what to tell the user when not
// (or, on success, an optional note such as "created but not added").
struct Outcome
{
    bool ok = true;
    QString message;

    static Outcome success(const QString &note = QString()) { return Outcome{true, note}; }
    static Outcome failure(const QString &message) { return Outcome{false, message}; }
};

} // namespace Workbench
