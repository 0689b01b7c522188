#include "teamfoundationclient.h"
#include "teamfoundationplugin.h"
#include "teamfoundationsettings.h"

#include <utils/qtcassert.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QFileInfo>
#include <QRegExp>

static_assert(TeamFoundation::Internal::InteractiveRunFlags == 0x1, "interactive run flags");
static_assert(TeamFoundation::Internal::SilentProbeRunFlags == 0x38, "probe run flags");
static_assert(TeamFoundation::Internal::SynchronousRunFlags == 0x101, "synchronous run flags");

namespace TeamFoundation {
namespace Internal {

// The directory a command on 'path' runs in: a file's directory, or a directory's parent.
static QString containingDirectory(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

TeamFoundationClient::TeamFoundationClient(TeamFoundationPlugin *plugin)
    : QObject(plugin), m_plugin(plugin)
{
    // A login that was fixed and broke again is worth saying again.
    if (Core::IVersionControl *vc = plugin->versionControl())
        connect(vc, &Core::IVersionControl::configurationChanged, this,
                [this] { m_shownProbeFailures.clear(); });
}

TeamFoundationClient::~TeamFoundationClient() = default;

TeamFoundationResponse TeamFoundationClient::runCommand(const QString &workingDirectory,
                                                        const QString &executable,
                                                        const QStringList &arguments,
                                                        unsigned flags) const
{
    TeamFoundationResponse response;
    // Not without the person's password: tf would log in as someone else, or be refused.
    if (!m_plugin->versionControl()->isConfigured() || !m_plugin->waitForPassword()) {
        response.error = true;
        return response;
    }
    QStringList allArguments = arguments;
    addLoginArguments(allArguments);
    const Utils::SynchronousProcessResponse sp = VcsBase::VcsBasePlugin::runVcs(
        workingDirectory, executable, allArguments, m_plugin->settings().timeOutMs(), flags,
        nullptr, QProcessEnvironment());
    response.error = sp.result != Utils::SynchronousProcessResponse::Finished;
    response.stdOut = sp.stdOut;
    response.stdErr = sp.stdErr;
    if (sp.result != Utils::SynchronousProcessResponse::Finished &&
        sp.result != Utils::SynchronousProcessResponse::FinishedError)
        response.exitMessage = sp.exitMessage(executable, m_plugin->settings().timeOutMs());
    return response;
}

TeamFoundationResponse TeamFoundationClient::runTf(const QString &workingDirectory,
                                                   const QStringList &arguments, unsigned flags) const
{
    return runCommand(workingDirectory, m_plugin->settings().binaryPath(), arguments, flags);
}

TeamFoundationResponse TeamFoundationClient::runTfpt(const QString &workingDirectory,
                                                     const QStringList &arguments, unsigned flags) const
{
    return runCommand(workingDirectory, m_plugin->settings().powerToolsBinaryPath(), arguments, flags);
}

void TeamFoundationClient::addLoginArguments(QStringList &arguments)
{
    const TeamFoundationPlugin *plugin = TeamFoundationPlugin::instance();
    if (!plugin)
        return;
    const TeamFoundationSettings &settings = plugin->settings();
    const QString userName = settings.userName();
    const QString password = settings.password();
    // One substitution for both, so that a "%2" in the user name stays as it is.
    if (!userName.isEmpty() && !password.isEmpty())
        arguments << QString::fromLatin1("/login:%1,%2").arg(userName, password);
}

void TeamFoundationClient::addRecursiveArgument(QStringList &arguments, const QString &path) const
{
    if (QFileInfo(path).isDir())
        arguments << QLatin1String("/recursive");
}

bool TeamFoundationClient::addFile(const QString &fileName)
{
    const QStringList arguments{QLatin1String("add"), fileName};
    return !runTf(containingDirectory(fileName), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::deleteFile(const QString &fileName)
{
    const QStringList arguments{QLatin1String("delete"), fileName};
    return !runTf(containingDirectory(fileName), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::renameFile(const QString &from, const QString &to)
{
    const QStringList arguments{QLatin1String("rename"), QFileInfo(from).absoluteFilePath(),
                                QFileInfo(to).absoluteFilePath()};
    return !runTf(containingDirectory(from), arguments, SynchronousRunFlags).error;
}

bool TeamFoundationClient::checkoutFile(const QString &fileName)
{
    const QStringList arguments{QLatin1String("checkout"), fileName};
    return !runTf(containingDirectory(fileName), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::annotateFile(const QString &fileName)
{
    const QStringList arguments{QLatin1String("annotate"), fileName};
    return !runTfpt(containingDirectory(fileName), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::checkIn(const QString &path)
{
    QStringList arguments{QLatin1String("checkin"), path, QLatin1String("/prompt")};
    addRecursiveArgument(arguments, path);
    return !runTf(containingDirectory(path), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::compare(const QString &path)
{
    QStringList arguments{QLatin1String("difference"), path, QLatin1String("/format:Visual"),
                          QLatin1String("/prompt")};
    addRecursiveArgument(arguments, path);
    return !runTf(containingDirectory(path), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::getLatest(const QString &path)
{
    QStringList arguments{QLatin1String("get"), path, QLatin1String("/prompt")};
    addRecursiveArgument(arguments, path);
    const bool ok = !runTf(containingDirectory(path), arguments, InteractiveRunFlags).error;
    if (ok)
        m_plugin->notifyChange(path);
    return ok;
}

bool TeamFoundationClient::history(const QString &path)
{
    QStringList arguments{QLatin1String("history"), path, QLatin1String("/prompt")};
    addRecursiveArgument(arguments, path);
    return !runTf(containingDirectory(path), arguments, InteractiveRunFlags).error;
}

bool TeamFoundationClient::undo(const QString &path)
{
    QStringList arguments{QLatin1String("undo"), path};
    addRecursiveArgument(arguments, path);
    const bool ok = !runTf(containingDirectory(path), arguments, SynchronousRunFlags).error;
    if (ok)
        m_plugin->notifyChange(path);
    return ok;
}

bool TeamFoundationClient::managesDirectory(const QString &directory) const
{
    const QStringList arguments{QLatin1String("info"), directory};
    const TeamFoundationResponse response = runTf(directory, arguments, SilentProbeRunFlags);
    reportProbeFailure(m_plugin->settings().binaryPath(), arguments, response);
    return !response.error;
}

bool TeamFoundationClient::managesFile(const QString &fileName) const
{
    const QStringList arguments{QLatin1String("info"), fileName};
    const TeamFoundationResponse response =
        runTf(containingDirectory(fileName), arguments, SilentProbeRunFlags);
    reportProbeFailure(m_plugin->settings().binaryPath(), arguments, response);
    return !response.error;
}

QString TeamFoundationClient::repositoryUrl(const QString &directory) const
{
    const QStringList arguments{QLatin1String("info"), directory};
    const TeamFoundationResponse response =
        runTf(containingDirectory(directory), arguments, SilentProbeRunFlags);
    reportProbeFailure(m_plugin->settings().binaryPath(), arguments, response);
    if (response.error || response.stdOut.isEmpty())
        return QString();
    return parseServerPath(response.stdOut);
}

QString TeamFoundationClient::parseServerPath(const QString &output)
{
    QRegExp r(QLatin1String("Server path\\s*:"), Qt::CaseSensitive, QRegExp::RegExp);
    r.setMinimal(true);
    QTC_ASSERT(r.isValid(), return QString());
    const int at = r.indexIn(output, 0, QRegExp::CaretAtOffset);
    if (at < 0)
        return QString();
    // The value is the rest of the line: server paths often hold blanks, and Windows ends
    // lines with CR LF. A line that is not ended may have been cut off, so it is no value.
    const int valueStart = at + r.matchedLength();
    const int lineEnd = output.indexOf(QLatin1Char('\n'), valueStart);
    if (lineEnd < 0)
        return QString();
    return output.mid(valueStart, lineEnd - valueStart).trimmed();
}

bool TeamFoundationClient::isNotInWorkspaceAnswer(const QString &stdErr)
{
    // What tf.exe, the cross-platform client and our stand-ins say of a path outside every
    // workspace, or of one that the server does not hold.
    static const char *const answers[] = {"Unable to determine the workspace",
                                          "The workspace could not be determined",
                                          "There is no working folder mapping",
                                          "is not in a mapped folder",
                                          "No workspace matching",
                                          "No items match"};
    for (const char *answer : answers) {
        if (stdErr.contains(QLatin1String(answer)))
            return true;
    }
    return false;
}

void TeamFoundationClient::reportProbeFailure(const QString &binary, const QStringList &arguments,
                                              const TeamFoundationResponse &response) const
{
    // A client that refuses the login or cannot reach the server fails every probe; unsaid,
    // that looks like files not under version control. A failure without a word and with an
    // exit code is the client's way to say "not in a workspace", as is not running at all
    // (not configured).
    if (!response.error)
        return;
    QString message = response.stdErr.trimmed();
    if (message.isEmpty())
        message = response.exitMessage;
    if (message.isEmpty() || isNotInWorkspaceAnswer(message) ||
        m_shownProbeFailures.contains(message))
        return;
    m_shownProbeFailures.insert(message);
    QStringList shownArguments = arguments;
    addLoginArguments(shownArguments);
    VcsBase::VcsOutputWindow::appendError(
        tr("Team Foundation cannot tell which files are under version control:\n  %1\n  %2")
            .arg(VcsBase::VcsOutputWindow::formatCommandLine(binary, shownArguments), message));
}

void TeamFoundationClient::addCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    addFile(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::deleteCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    deleteFile(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::compareCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    compare(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::undoCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    undo(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::checkInCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    checkIn(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::annotateCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    annotateFile(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::getLatestCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    getLatest(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::historyCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    history(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::historyProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    history(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::getLatestProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    getLatest(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::undoProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    undo(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::compareProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    compare(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::checkInProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    checkIn(m_plugin->currentState().topLevel());
}

} // namespace Internal
} // namespace TeamFoundation
