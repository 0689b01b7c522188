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
    bool showUsage = false; // a mistake in the command line: the command's usage follows
    QString badWord;        // the word at which reading the command line stopped, if it did
};

[[noreturn]] inline void fail(const QString &message, int code = Failure)
{
    throw Error{code, message, false, QString()};
}

// A command line the cross-platform client refuses: its words for it, and the
// command's usage on standard output. `badWord` is the word it could not read,
// when it stopped there, so that what came after it was not read either.
[[noreturn]] inline void failArgument(const QString &message, const QString &badWord = QString())
{
    throw Error{Failure, "An argument error occurred: " + message, true, badWord};
}

} // namespace Tf
