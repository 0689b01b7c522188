#include "teamfoundationcontrol.h"
#include "teamfoundationclient.h"
#include "teamfoundationconstants.h"
#include "teamfoundationplugin.h"
#include "workspaceknowledge.h"

#include <QDir>
#include <QFileInfo>

namespace TeamFoundation {
namespace Internal {

TeamFoundationControl::TeamFoundationControl(TeamFoundationPlugin *plugin) : m_plugin(plugin) {}

TeamFoundationControl::~TeamFoundationControl() = default;

QString TeamFoundationControl::displayName() const
{
    return QLatin1String(Constants::TEAMFOUNDATION_DISPLAY_NAME);
}

Core::Id TeamFoundationControl::id() const
{
    return Core::Id(Constants::TEAMFOUNDATION_ID);
}

bool TeamFoundationControl::isConfigured() const
{
    const QString binary = m_plugin->settings().binaryPath();
    if (binary.isEmpty())
        return false;
    const QFileInfo fi(binary);
    return fi.exists() && fi.isFile() && fi.isExecutable();
}

bool TeamFoundationControl::supportsOperation(Operation operation) const
{
    const bool configured = isConfigured();
    switch (operation) {
    case CreateRepositoryOperation:
    case SnapshotOperations:
    case InitialCheckoutOperation:
        return false;
    default:
        return configured;
    }
}

Core::IVersionControl::OpenSupportMode TeamFoundationControl::openSupportMode() const
{
    return OpenMandatory;
}

bool TeamFoundationControl::managesDirectory(const QString &directory, QString *topLevel) const
{
    // What was learnt is no answer while no tf can be run.
    if (!isConfigured())
        return false;
    WorkspaceKnowledge *knowledge = m_plugin->knowledge();
    if (const std::optional<WorkspaceKnowledge::Directory> known =
            knowledge->directory(directory)) {
        if (known->managed && topLevel)
            *topLevel = known->topLevel;
        return known->managed;
    }

    // The top level is the highest directory reached by an unbroken chain of managed parents.
    const TeamFoundationClient *client = m_plugin->client();
    const TeamFoundationClient::Probe first = client->probeDirectory(directory);
    if (!first.managed) {
        // A fault (a refused login, a crash) says nothing about the directory.
        if (first.answered)
            knowledge->learnNotManaged(directory);
        return false;
    }
    QDir dir(directory);
    QString top = dir.absolutePath();
    QList<QPair<QString, QString>> managed{{top, first.serverPath}};
    bool certain = true;
    while (dir.cdUp()) {
        const QString parent = dir.absolutePath();
        if (const std::optional<WorkspaceKnowledge::Directory> known =
                knowledge->directory(parent)) {
            if (known->managed)
                top = known->topLevel;
            break;
        }
        const TeamFoundationClient::Probe probe = client->probeDirectory(parent);
        if (!probe.managed) {
            if (probe.answered)
                knowledge->learnNotManaged(parent);
            certain = probe.answered;
            break;
        }
        top = parent;
        managed.append({parent, probe.serverPath});
    }
    // A top level that a fault ended the search at may be too low.
    if (certain) {
        for (const auto &learnt : qAsConst(managed))
            knowledge->learnManaged(learnt.first, top, learnt.second);
    }
    if (topLevel)
        *topLevel = top;
    return true;
}

bool TeamFoundationControl::managesFile(const QString &workingDirectory, const QString &fileName) const
{
    return m_plugin->client()->managesFile(QDir(workingDirectory).absoluteFilePath(fileName));
}

bool TeamFoundationControl::vcsOpen(const QString &fileName)
{
    return m_plugin->client()->checkoutFile(fileName);
}

bool TeamFoundationControl::vcsAdd(const QString &fileName)
{
    return m_plugin->client()->addFile(fileName);
}

bool TeamFoundationControl::vcsDelete(const QString &fileName)
{
    return m_plugin->client()->deleteFile(fileName);
}

bool TeamFoundationControl::vcsMove(const QString &from, const QString &to)
{
    return m_plugin->client()->renameFile(from, to);
}

bool TeamFoundationControl::vcsCreateRepository(const QString &directory)
{
    Q_UNUSED(directory)
    return false;
}

bool TeamFoundationControl::vcsCheckout(const QString &directory, const QByteArray &url)
{
    Q_UNUSED(directory)
    Q_UNUSED(url)
    return false;
}

QString TeamFoundationControl::vcsGetRepositoryURL(const QString &directory)
{
    if (isConfigured()) {
        const std::optional<WorkspaceKnowledge::Directory> known =
            m_plugin->knowledge()->directory(directory);
        if (known && known->serverPath)
            return *known->serverPath;
    }
    return m_plugin->client()->repositoryUrl(directory);
}

bool TeamFoundationControl::vcsAnnotate(const QString &file, int line)
{
    Q_UNUSED(line) // the annotate tool has no way to go to a line
    return m_plugin->client()->annotateFile(file);
}

} // namespace Internal
} // namespace TeamFoundation
