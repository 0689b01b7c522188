#pragma once

#include <QObject>
#include <QString>

namespace Utils {

// The outcome of running a process to its end.
class SynchronousProcessResponse
{
public:
    enum Result {
        Finished,             // exit code 0
        FinishedError,        // a non-zero exit code
        TerminatedAbnormally, // crashed or killed by a signal
        StartFailed,          // could not be started
        Hang,                 // killed after the time-out
        Cancelled             // ended because the person stopped waiting for it
    };

    void clear();
    // A sentence for the output pane that says how 'binary' ended.
    QString exitMessage(const QString &binary, int timeoutMs) const;

    Result result = StartFailed;
    int exitCode = -1;
    QString stdOut;
    QString stdErr;
};

// Decides what an exit code means; the default says "0 is success".
class ExitCodeInterpreter : public QObject
{
    Q_OBJECT
public:
    explicit ExitCodeInterpreter(QObject *parent = nullptr) : QObject(parent) {}
    virtual SynchronousProcessResponse::Result interpretExitCode(int code) const;
};

} // namespace Utils
