#include "vcsprocess.h"
#include "vcsoutputwindow.h"

#include <utils/treeprocess.h>

#include <QEventLoop>
#include <QTextCodec>
#include <QTimer>

#include <memory>

namespace VcsBase {
namespace Internal {

static QString decode(const QByteArray &bytes, QTextCodec *codec)
{
    QString text = codec ? codec->toUnicode(bytes) : QString::fromUtf8(bytes);
    // The Windows clients end their lines with CR LF.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

void setUpProcess(QProcess *process, const QString &workingDirectory,
                  const QProcessEnvironment &environment, unsigned flags)
{
    // An empty environment means the host's own, which the child inherits as it is: copying
    // it into every child costs a tenth of a trivial command.
    if (!environment.isEmpty() || (flags & RunFlags::ForceCLocale)) {
        QProcessEnvironment env =
            environment.isEmpty() ? QProcessEnvironment::systemEnvironment() : environment;
        if (flags & RunFlags::ForceCLocale) {
            env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
            env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("C"));
        }
        process->setProcessEnvironment(env);
    }
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    if (flags & RunFlags::MergeOutputChannels)
        process->setProcessChannelMode(QProcess::MergedChannels);
}

Utils::SynchronousProcessResponse runProcess(const QString &workingDirectory, const QString &binary,
                                             const QStringList &arguments, int timeOutMs,
                                             unsigned flags, QTextCodec *outputCodec,
                                             const QProcessEnvironment &environment,
                                             const Utils::ExitCodeInterpreter *interpreter,
                                             const std::function<Utils::TreeProcess *()> &starter)
{
    using Utils::SynchronousProcessResponse;
    if (!(flags & RunFlags::SuppressCommandLogging))
        VcsOutputWindow::appendCommand(workingDirectory, binary, arguments);

    std::unique_ptr<Utils::TreeProcess> owned(starter ? starter() : nullptr);
    const bool startHere = !owned;
    if (startHere)
        owned = std::make_unique<Utils::TreeProcess>();
    Utils::TreeProcess &process = *owned;
    process.setParent(nullptr);
    if (startHere)
        setUpProcess(&process, workingDirectory, environment, flags);

    SynchronousProcessResponse response;
    bool timedOut = false;
    QByteArray out;
    QByteArray err;

    if (startHere)
        process.start(binary, arguments, QIODevice::ReadOnly);
    // A process handed over may have ended already; what it printed is still to be read.
    const bool started = process.state() == QProcess::NotRunning
                             ? process.error() != QProcess::FailedToStart
                             : process.waitForStarted(30000);
    if (!started) {
        response.result = SynchronousProcessResponse::StartFailed;
    } else if (flags & RunFlags::FullySynchronously) {
        if (startHere)
            process.closeWriteChannel();
        if (!process.waitForFinished(timeOutMs > 0 ? timeOutMs : -1)) {
            timedOut = process.state() != QProcess::NotRunning;
        }
    } else {
        if (startHere)
            process.closeWriteChannel();
        QEventLoop loop;
        // Drain the pipes as data comes, so the child never blocks on a full pipe.
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop,
                         [&] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, &loop,
                         [&] { err += process.readAllStandardError(); });
        QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                         &loop, &QEventLoop::quit);
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        if (timeOutMs > 0)
            timer.start(timeOutMs);
        if (process.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    if (timedOut) {
        // Whatever the client started goes with it, or it would go on changing files.
        process.killTree();
        process.waitForFinished(1000);
        response.result = SynchronousProcessResponse::Hang;
    } else if (started) {
        // The response starts out as StartFailed; only a process that ran gets a verdict
        // from its exit.
        if (process.exitStatus() == QProcess::CrashExit) {
            response.result = SynchronousProcessResponse::TerminatedAbnormally;
        } else {
            response.exitCode = process.exitCode();
            response.result = interpreter ? interpreter->interpretExitCode(response.exitCode)
                              : response.exitCode == 0 ? SynchronousProcessResponse::Finished
                                                       : SynchronousProcessResponse::FinishedError;
        }
    }
    if (started) {
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
    }
    response.stdOut = decode(out, outputCodec);
    response.stdErr = decode(err, outputCodec);

    if ((flags & RunFlags::ShowStdOutInLogWindow) && !response.stdOut.isEmpty())
        VcsOutputWindow::append(response.stdOut);
    if (!(flags & RunFlags::SuppressStdErrInLogWindow) && !response.stdErr.isEmpty())
        VcsOutputWindow::appendError(response.stdErr);
    if (response.result == SynchronousProcessResponse::Finished) {
        if (flags & RunFlags::ShowSuccessMessage)
            VcsOutputWindow::appendMessage(response.exitMessage(binary, timeOutMs));
    } else if (!(flags & RunFlags::SuppressFailMessageInLogWindow)) {
        VcsOutputWindow::appendError(response.exitMessage(binary, timeOutMs));
    }
    return response;
}

} // namespace Internal
} // namespace VcsBase
