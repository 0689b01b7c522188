#include "vcsprocess.h"
#include "blockingwait.h"
#include "vcsoutputwindow.h"

#include <utils/lineends.h>
#include <utils/treeprocess.h>

#include <QDir>
#include <QFileInfo>
#include <QTextCodec>
#include <QTimer>

#include <memory>

namespace VcsBase {
namespace Internal {

static QString decode(const QByteArray &bytes, QTextCodec *codec)
{
    QString text = codec ? codec->toUnicode(bytes) : QString::fromUtf8(bytes);
    // The Windows clients end their lines with CR LF.
    Utils::dropCarriageReturns(&text);
    return text;
}

// What a wait for the command is called: the executable, the command word and the names of
// the files and directories it names, as the status bar names a job ("tf checkout main.cpp").
// Only what exists on disk is named, so that no option (a login) ever shows.
static QString describe(const QString &binary, const QStringList &arguments)
{
    QStringList words{QFileInfo(binary).completeBaseName()};
    if (!arguments.isEmpty())
        words << VcsOutputWindow::maskPassword(arguments.first());
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!QDir::isAbsolutePath(argument) || !QFileInfo::exists(argument))
            continue;
        const QString name = QFileInfo(argument).fileName();
        words << (name.isEmpty() ? QDir::toNativeSeparators(argument) : name);
    }
    return words.join(QLatin1Char(' '));
}

void setUpProcess(QProcess *process, const QString &workingDirectory,
                  const QProcessEnvironment &environment, RunFlags flags)
{
    // An empty environment means the host's own, which the child inherits as it is: copying
    // it into every child costs a tenth of a trivial command.
    if (!environment.isEmpty() || (flags & RunFlag::ForceCLocale)) {
        QProcessEnvironment env =
            environment.isEmpty() ? QProcessEnvironment::systemEnvironment() : environment;
        if (flags & RunFlag::ForceCLocale) {
            env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
            env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("C"));
        }
        process->setProcessEnvironment(env);
    }
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    if (flags & RunFlag::MergeOutputChannels)
        process->setProcessChannelMode(QProcess::MergedChannels);
}

Utils::SynchronousProcessResponse runProcess(const QString &workingDirectory, const QString &binary,
                                             const QStringList &arguments, int timeOutMs,
                                             RunFlags flags, QTextCodec *outputCodec,
                                             const QProcessEnvironment &environment,
                                             const Utils::ExitCodeInterpreter *interpreter,
                                             const std::function<Utils::TreeProcess *()> &starter)
{
    using Utils::SynchronousProcessResponse;
    if (!(flags & RunFlag::SuppressCommandLogging))
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
    bool cancelled = false;
    QByteArray out;
    QByteArray err;

    if (startHere) {
        process.start(binary, arguments, QIODevice::ReadOnly);
        process.closeWriteChannel();
    }
    // The start, the run and a time-out are awaited alike: the window goes on painting, and a
    // run that lasts shows what it waits for and can be cancelled. A process handed over may
    // have ended already; what it printed is still to be read.
    if (process.state() != QProcess::NotRunning) {
        BlockingWait wait(describe(binary, arguments));
        // Drain the pipes as data comes, so the child never blocks on a full pipe.
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &wait,
                         [&] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, &wait,
                         [&] { err += process.readAllStandardError(); });
        QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                         &wait, &BlockingWait::finish);
        QObject::connect(&process, &QProcess::errorOccurred, &wait, [&] {
            if (process.state() == QProcess::NotRunning)
                wait.finish();
        });
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &wait, [&] {
            timedOut = true;
            wait.finish();
        });
        if (timeOutMs > 0)
            timer.start(timeOutMs);
        cancelled = !wait.exec();
    }
    const bool started = process.error() != QProcess::FailedToStart;

    if (!started) {
        response.result = SynchronousProcessResponse::StartFailed;
    } else if (timedOut || cancelled) {
        // Whatever the client started goes with it, or it would go on changing files.
        process.killTree();
        process.waitForFinished(1000);
        response.result =
            cancelled ? SynchronousProcessResponse::Cancelled : SynchronousProcessResponse::Hang;
    } else if (process.exitStatus() == QProcess::CrashExit) {
        response.result = SynchronousProcessResponse::TerminatedAbnormally;
    } else {
        response.exitCode = process.exitCode();
        response.result = interpreter ? interpreter->interpretExitCode(response.exitCode)
                          : response.exitCode == 0 ? SynchronousProcessResponse::Finished
                                                   : SynchronousProcessResponse::FinishedError;
    }
    if (started) {
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
    }
    response.stdOut = decode(out, outputCodec);
    response.stdErr = decode(err, outputCodec);

    if ((flags & RunFlag::ShowStdOutInLogWindow) && !response.stdOut.isEmpty())
        VcsOutputWindow::append(response.stdOut);
    if (!(flags & RunFlag::SuppressStdErrInLogWindow) && !response.stdErr.isEmpty())
        VcsOutputWindow::appendError(response.stdErr);
    // A person cancelled: the pane says so whatever the flags, so the cancel is seen to work.
    if (response.result == SynchronousProcessResponse::Cancelled) {
        VcsOutputWindow::appendWarning(response.exitMessage(binary, timeOutMs));
    } else if (response.result == SynchronousProcessResponse::Finished) {
        if (flags & RunFlag::ShowSuccessMessage)
            VcsOutputWindow::appendMessage(response.exitMessage(binary, timeOutMs));
    } else if (!(flags & RunFlag::SuppressFailMessageInLogWindow)) {
        VcsOutputWindow::appendError(response.exitMessage(binary, timeOutMs));
    }
    return response;
}

} // namespace Internal
} // namespace VcsBase
