#include "warmrunner.h"

#include <utils/treeprocess.h>
#include <vcsbase/vcsbaseplugin.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextCodec>

#include <algorithm>

namespace TeamFoundation {
namespace Internal {

namespace {
const char STANDARD_INPUT[] = "@";
// How long a client given no command may take to end, when the command has no time-out.
const int TRY_TIME_OUT_MS = 60000;
} // namespace

bool WarmRunner::Start::operator==(const Start &other) const
{
    return executable == other.executable && workingDirectory == other.workingDirectory &&
           environment == other.environment;
}

WarmRunner::WarmRunner(KeepWarm keepWarm, QObject *parent) : QObject(parent), m_keepWarm(keepWarm)
{
}

WarmRunner::~WarmRunner() = default;

bool WarmRunner::standardInputLine(const QStringList &arguments, QString *line)
{
    QStringList words;
    for (const QString &argument : arguments) {
        if (argument.contains(QLatin1Char('\n')) || argument.contains(QLatin1Char('\r')))
            return false;
        const bool quoted =
            argument.isEmpty() || argument.contains(QLatin1Char('"')) ||
            std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return c.isSpace(); });
        if (quoted) {
            words << QLatin1Char('"') +
                         QString(argument).replace(QLatin1String("\""), QLatin1String("\"\"")) +
                         QLatin1Char('"');
        } else {
            words << argument;
        }
    }
    *line = words.join(QLatin1Char(' '));
    return true;
}

WarmRunner::Start WarmRunner::startOf(const QString &executable, const QString &workingDirectory,
                                      const QProcessEnvironment &environment)
{
    // The environment is part of what the client was started with, so the IDE's own counts
    // as it is now, not as it was when the client started.
    const bool inherited = environment.isEmpty();
    return {executable, workingDirectory,
            inherited ? QProcessEnvironment::systemEnvironment() : environment, inherited};
}

QByteArray WarmRunner::encodedLine(const QStringList &arguments, QTextCodec *codec)
{
    QString line;
    if (!standardInputLine(arguments, &line))
        return QByteArray();
    line += QLatin1Char('\n');
    // tf.exe reads its input in the console's code page, as it writes its output.
    if (!codec)
        return line.toUtf8();
    return codec->canEncode(line) ? codec->fromUnicode(line) : QByteArray();
}

WarmRunner::Channel WarmRunner::channel(const QString &executable) const
{
    return m_channels.value(executable, Untried);
}

Utils::TreeProcess *WarmRunner::startClient(const Start &start)
{
    auto process = new Utils::TreeProcess(this);
    if (!start.workingDirectory.isEmpty())
        process->setWorkingDirectory(start.workingDirectory);
    // Copying the IDE's environment into the child costs more than inheriting it.
    if (!start.inherited)
        process->setProcessEnvironment(start.environment);
    process->start(start.executable, {QLatin1String(STANDARD_INPUT)});
    return process;
}

Utils::TreeProcess *WarmRunner::handOver(const Start &start, const QByteArray &line)
{
    Utils::TreeProcess *process = nullptr;
    if (m_warm && m_warmStart == start) {
        process = m_warm;
        m_warm = nullptr;
        // One that ended unasked (killed, out of memory) is of no use.
        if (process->state() == QProcess::NotRunning) {
            delete process;
            process = nullptr;
        }
    }
    if (!process)
        process = startClient(start);
    process->write(line);
    process->closeWriteChannel();
    return process;
}

void WarmRunner::keepWarm(const Start &start)
{
    if (m_warm && m_warmStart == start && m_warm->state() != QProcess::NotRunning)
        return;
    delete m_warm;
    m_warm = startClient(start);
    m_warmStart = start;
}

void WarmRunner::tryStandardInput(const Start &start, int timeOutMs)
{
    using VcsBase::VcsBasePlugin;
    const unsigned silent = VcsBasePlugin::SuppressStdErrInLogWindow |
                            VcsBasePlugin::SuppressFailMessageInLogWindow |
                            VcsBasePlugin::SuppressCommandLogging;
    const Utils::SynchronousProcessResponse response = VcsBasePlugin::runVcs(
        start.workingDirectory, start.executable, {QLatin1String(STANDARD_INPUT)},
        timeOutMs > 0 ? timeOutMs : TRY_TIME_OUT_MS, silent, nullptr, start.environment);
    // Only an error says no; a client that crashed or hung says nothing about "@".
    if (response.result == Utils::SynchronousProcessResponse::FinishedError)
        useCommandLine(start.executable);
    else
        m_channels.insert(start.executable, StandardInput);
}

void WarmRunner::useCommandLine(const QString &executable)
{
    m_channels.insert(executable, CommandLine);
    delete m_warm;
    m_warm = nullptr;
    VcsBase::VcsOutputWindow::appendWarning(
        tr("%1 does not take commands on its standard input (\"%2 @\"). From now on each "
           "command starts it with its command line, which other users of this computer can "
           "see, the login included.")
            .arg(QDir::toNativeSeparators(executable), QFileInfo(executable).fileName()));
}

Utils::SynchronousProcessResponse WarmRunner::run(const TeamFoundationCommand &command)
{
    using VcsBase::VcsBasePlugin;
    auto runDirectly = [&command] {
        return VcsBasePlugin::runVcs(command.workingDirectory, command.executable,
                                     command.arguments, command.timeOutMs, command.flags,
                                     command.codec, command.environment);
    };
    const QByteArray line = encodedLine(command.arguments, command.codec);
    if (line.isEmpty() || channel(command.executable) == CommandLine)
        return runDirectly();

    const Start start = startOf(command.executable, command.workingDirectory, command.environment);
    const bool untried = channel(command.executable) == Untried;
    Utils::SynchronousProcessResponse response = VcsBasePlugin::runVcs(
        command.workingDirectory, command.executable, command.arguments, command.timeOutMs,
        command.flags, command.codec, command.environment, [&] { return handOver(start, line); });
    if (response.result == Utils::SynchronousProcessResponse::Finished) {
        m_channels.insert(command.executable, StandardInput);
    } else if (untried && response.result == Utils::SynchronousProcessResponse::FinishedError) {
        // Either the command failed, or the client refused "@" and never saw it.
        tryStandardInput(start, command.timeOutMs);
        if (channel(command.executable) == CommandLine)
            response = runDirectly();
    }
    if (m_keepWarm == AfterEveryCommand && channel(command.executable) == StandardInput)
        keepWarm(start);
    return response;
}

void WarmRunner::submit(const TeamFoundationCommand &command, const Finished &finished)
{
    // Whether the client takes "@" is known before the job's turn comes, so that the job
    // gets the right process at once.
    if (channel(command.executable) == Untried)
        tryStandardInput(startOf(command.executable, command.workingDirectory, command.environment),
                         command.timeOutMs);
    VcsBase::VcsJob *job = createJob(command);
    QPointer<WarmRunner> self(this);
    const bool background = command.background;
    job->setStarter([self, background](const VcsBase::VcsJob &job) {
        return self ? self->startJob(job, background) : nullptr;
    });
    enqueue(job, finished);
}

VcsBase::VcsJob::Starter WarmRunner::starter(const QString &executable)
{
    if (channel(executable) == Untried)
        tryStandardInput(startOf(executable, QString(), QProcessEnvironment()), 0);
    QPointer<WarmRunner> self(this);
    return [self](const VcsBase::VcsJob &job) { return self ? self->startJob(job) : nullptr; };
}

Utils::TreeProcess *WarmRunner::startJob(const VcsBase::VcsJob &job, bool background)
{
    if (channel(job.binary()) == CommandLine)
        return nullptr;
    const QByteArray line = encodedLine(job.arguments(), job.codec());
    if (line.isEmpty())
        return nullptr;
    const Start start = startOf(job.binary(), job.workingDirectory(), job.environment());
    if (background) {
        if (m_warm && m_warm->state() != QProcess::NotRunning &&
            m_warmStart.executable == start.executable &&
            m_warmStart.environment == start.environment) {
            const Start kept = m_warmStart;
            Utils::TreeProcess *process = handOver(kept, line);
            keepWarm(kept);
            return process;
        }
        // Nothing kept fits: the read pays its own start, and the person's place stays.
        return handOver(start, line);
    }
    Utils::TreeProcess *process = handOver(start, line);
    // A person who started one command is likely to start the next one in the same place.
    keepWarm(start);
    return process;
}

} // namespace Internal
} // namespace TeamFoundation
