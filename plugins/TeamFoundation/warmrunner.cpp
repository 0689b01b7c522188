#include "warmrunner.h"

#include <utils/treeprocess.h>
#include <vcsbase/vcsbaseplugin.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QPointer>
#include <QRegularExpression>
#include <QTextCodec>

#include <algorithm>

namespace TeamFoundation {
namespace Internal {

namespace {
const char STANDARD_INPUT[] = "@";

// A run the person asked for (or a checkout step, or a file operation of the IDE), not a
// silent probe or a read of the IDE's own: the next command is likely to run where it ran.
bool isPersons(VcsBase::RunFlags flags, bool background)
{
    return !background && !(flags & VcsBase::RunFlag::SuppressCommandLogging);
}

QString placeOf(const TeamFoundationCommand &command)
{
    return command.topLevel.isEmpty() ? command.workingDirectory : command.topLevel;
}
} // namespace

bool WarmRunner::Start::operator==(const Start &other) const
{
    return executable == other.executable && directory == other.directory &&
           environment == other.environment;
}

WarmRunner::WarmRunner(KeepWarm keepWarm, QObject *parent) : QObject(parent), m_keepWarm(keepWarm)
{
}

WarmRunner::~WarmRunner() = default;

bool WarmRunner::standardInputLine(const QStringList &arguments, QString *line, bool outerWords)
{
    static const QRegularExpression substituted(QStringLiteral("%(?=\\d)"));
    QStringList words;
    for (const QString &argument : arguments) {
        if (argument.contains(QLatin1Char('\n')) || argument.contains(QLatin1Char('\r')))
            return false;
        const bool guarded = outerWords && argument.contains(substituted);
        const bool quoted =
            guarded || argument.isEmpty() || argument.contains(QLatin1Char('"')) ||
            std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return c.isSpace(); });
        if (quoted) {
            QString text = QString(argument).replace(QLatin1String("\""), QLatin1String("\"\""));
            if (guarded)
                text.replace(substituted, QStringLiteral("\"%\""));
            words << QLatin1Char('"') + text + QLatin1Char('"');
        } else {
            words << argument;
        }
    }
    *line = words.join(QLatin1Char(' '));
    return true;
}

WarmRunner::Start WarmRunner::startOf(const QString &executable, const QString &directory,
                                      const QProcessEnvironment &environment)
{
    // The environment is part of what the client was started with, so the IDE's own counts
    // as it is now, not as it was when the client started.
    const bool inherited = environment.isEmpty();
    return {executable, directory,
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

Utils::TreeProcess *WarmRunner::startClient(const Start &start)
{
    auto process = new Utils::TreeProcess(this);
    if (!start.directory.isEmpty())
        process->setWorkingDirectory(start.directory);
    // Copying the IDE's environment into the child costs more than inheriting it.
    if (!start.inherited)
        process->setProcessEnvironment(start.environment);
    process->start(start.executable, {QLatin1String(STANDARD_INPUT)});
    return process;
}

Utils::TreeProcess *WarmRunner::handOver(const Start &start, const QByteArray &line, bool anywhere,
                                         bool silent)
{
    if (line.isEmpty()) {
        if (!silent) {
            VcsBase::VcsOutputWindow::appendError(
                tr("The command cannot be handed to the client: a word of it holds a line "
                   "break, or a character that the console's code page cannot write."));
        }
        auto refused = new Utils::TreeProcess(this);
        // No program: the process fails to start, and the command with it.
        refused->start(QString(), QStringList());
        return refused;
    }
    Utils::TreeProcess *process = nullptr;
    const bool fits = m_warm && (m_warmStart == start ||
                                 (anywhere && m_warmStart.executable == start.executable &&
                                  m_warmStart.environment == start.environment));
    if (fits) {
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

Utils::SynchronousProcessResponse WarmRunner::run(const TeamFoundationCommand &command)
{
    using VcsBase::VcsBasePlugin;
    if (command.commandLine) {
        return VcsBasePlugin::runVcs(command.workingDirectory, command.executable,
                                     command.arguments, command.timeOutMs, command.flags,
                                     command.codec, command.environment);
    }
    const Start start = startOf(command.executable, placeOf(command), command.environment);
    const QByteArray line = encodedLine(command.arguments, command.codec);
    const bool silent = command.flags & VcsBase::RunFlag::SuppressFailMessageInLogWindow;
    const bool hadWarm = m_warm;
    const Start kept = m_warmStart;
    const Utils::SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(command.workingDirectory, command.executable, command.arguments,
                              command.timeOutMs, command.flags, command.codec, command.environment,
                              [&] { return handOver(start, line, false, silent); });
    if (m_keepWarm == AfterEveryCommand || isPersons(command.flags, command.background))
        keepWarm(start);
    else if (hadWarm && !m_warm)
        keepWarm(kept); // a probe took it: the person's place stays
    return response;
}

VcsBase::VcsJob *WarmRunner::job(const TeamFoundationCommand &command)
{
    VcsBase::VcsJob *job = createJob(command);
    if (!command.commandLine) {
        QPointer<WarmRunner> self(this);
        const QString place = placeOf(command);
        const bool background = command.background;
        const bool keep =
            m_keepWarm == AfterEveryCommand || isPersons(command.flags, command.background);
        job->setStarter([self, place, background, keep](const VcsBase::VcsJob &job) {
            return self ? self->startJob(job, place, background, keep) : nullptr;
        });
    }
    return job;
}

VcsBase::VcsJob::Starter WarmRunner::starter(const QString &executable)
{
    Q_UNUSED(executable)
    QPointer<WarmRunner> self(this);
    // A checkout's steps name their directory relative to where they run.
    return [self](const VcsBase::VcsJob &job) {
        return self ? self->startJob(job, job.workingDirectory(), false, true) : nullptr;
    };
}

Utils::TreeProcess *WarmRunner::startJob(const VcsBase::VcsJob &job, const QString &place,
                                         bool background, bool keep)
{
    const QByteArray line = encodedLine(job.arguments(), job.codec());
    const bool silent = job.flags() & VcsBase::RunFlag::SuppressFailMessageInLogWindow;
    const Start start = startOf(job.binary(), place, job.environment());
    if (background) {
        // A read names its items by absolute paths: the kept client serves it wherever it was
        // started, and the person's place stays.
        const bool hadWarm = m_warm;
        const Start kept = m_warmStart;
        Utils::TreeProcess *process = handOver(start, line, true, silent);
        if (hadWarm && !m_warm)
            keepWarm(kept);
        return process;
    }
    Utils::TreeProcess *process = handOver(start, line, false, silent);
    if (keep)
        keepWarm(start);
    return process;
}

} // namespace Internal
} // namespace TeamFoundation
