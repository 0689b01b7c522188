#pragma once

#include <QString>

namespace Tf {

// The exit codes that the Team Foundation client documents and that callers
// test: anything but Success is a failure to them.
enum ExitCode {
    Success = 0,
    PartialSuccess = 1,
    UnrecognizedCommand = 2,
    Failure = 100
};

// Thrown to abandon a command; main() prints the message on standard error
// and exits with the code. Everything that writes to disk does so in a way
// that leaves consistent state behind when this propagates.
struct Error
{
    int code;
    QString message;
};

[[noreturn]] inline void fail(const QString &message, int code = Failure)
{
    throw Error{code, message};
}

} // namespace Tf
