#include "teamfoundationcontrol.h"
#include "teamfoundationclient.h"
#include "teamfoundationconstants.h"
#include "teamfoundationplugin.h"

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
    // The top level is the highest directory reached by an unbroken chain of managed parents.
    const TeamFoundationClient *client = m_plugin->client();
    if (!client->managesDirectory(directory))
        return false;
    QDir dir(directory);
    do {
        if (topLevel)
            *topLevel = dir.absolutePath();
        if (!dir.cdUp())
            break;
    } while (client->managesDirectory(dir.absolutePath()));
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
    return m_plugin->client()->repositoryUrl(directory);
}

bool TeamFoundationControl::vcsAnnotate(const QString &file, int line)
{
    Q_UNUSED(line) // the annotate tool has no way to go to a line
    return m_plugin->client()->annotateFile(file);
}

} // namespace Internal
} // namespace TeamFoundation
