#include "checkoutwizard.h"
#include "checkoutwizardpage.h"
#include "commandlines.h"
#include "teamfoundationclient.h"
#include "teamfoundationconstants.h"
#include "teamfoundationplugin.h"
#include "teamfoundationrunner.h"
#include "workspaceknowledge.h"

#include <core/iversioncontrol.h>
#include <utils/qtcassert.h>
#include <vcsbase/command.h>
#include <vcsbase/vcsconfigurationpage.h>

#include <QIcon>
#include <QProcessEnvironment>

#include <memory>

namespace TeamFoundation {
namespace Internal {

CheckoutWizard::CheckoutWizard()
{
    setId(Core::Id(Constants::TEAMFOUNDATION_ID));
    setIcon(QIcon(QLatin1String(Constants::ICON_PATH)));
    setDescription(
        tr("Maps a Team Foundation Server folder and tries to load the contained project."));
    setDisplayName(tr("Team Foundation Checkout"));
}

CheckoutWizard::~CheckoutWizard() = default;

QList<QWizardPage *> CheckoutWizard::createParameterPages(const QString &path)
{
    QList<QWizardPage *> pages;
    const TeamFoundationPlugin *plugin = TeamFoundationPlugin::instance();
    const Core::IVersionControl *vc = plugin ? plugin->versionControl() : nullptr;
    // Without a usable tf the checkout cannot run; the user configures it first.
    if (!vc || !vc->isConfigured())
        pages.append(new VcsBase::VcsConfigurationPage(vc));
    auto page = new CheckoutWizardPage(plugin ? plugin->settings().clientKind()
                                              : TeamFoundationSettings::defaultClientKind());
    page->setPath(path);
    pages.append(page);
    return pages;
}

VcsBase::Command *CheckoutWizard::createCommand(const QList<QWizardPage *> &parameterPages,
                                                QString *checkoutPath)
{
    // When tf is not configured yet, the configuration page comes first.
    const CheckoutWizardPage *cwp = nullptr;
    for (QWizardPage *page : parameterPages) {
        if ((cwp = qobject_cast<const CheckoutWizardPage *>(page)))
            break;
    }
    QTC_ASSERT(cwp, return nullptr);

    const TeamFoundationPlugin *plugin = TeamFoundationPlugin::instance();
    // Not without the person's password: tf would log in as someone else, or be refused.
    if (!plugin || !plugin->waitForPassword())
        return nullptr;
    // Read now, not when the pages were made: the configuration page of this very run may
    // have set the executable or the credentials.
    const TeamFoundationSettings settings = plugin->settings();

    const QString directory = cwp->directory();
    const QString path = cwp->path();
    const QString serverPath = cwp->repository();
    *checkoutPath = path + QLatin1Char('/') + directory;

    const ClientKind kind = settings.clientKind();
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment environment = CommandLines::environment(kind, QString(), system);
    if (environment.isEmpty())
        environment = system;
    // A client that works only once its licence is accepted offers it before the checkout,
    // which would otherwise fail at its first step.
    if (plugin->versionControl()->isConfigured() &&
        CommandLines::licenceRecordedAsNotAccepted(kind, environment))
        plugin->client()->offerLicence(settings.binaryPath(), path);
    auto command = new VcsBase::Command(settings.binaryPath(), path, environment);
    // Through the client's runner, so that the login stays off the command lines; what was
    // known of the workspaces may be wrong once the new one is mapped.
    if (plugin->versionControl()->isConfigured())
        command->setStarter(plugin->client()->runner()->starter(settings.binaryPath()));
    QObject::connect(command, &VcsBase::Command::finished, plugin->knowledge(),
                     &WorkspaceKnowledge::forget);

    const QString collection = cwp->collection();
    QString workspace = cwp->workspace();
    if (kind == ClientKind::CrossPlatform) {
        // This client has no default workspace, and maps a folder outside every workspace
        // only into one it is named. The workspace is made only when the collection does not
        // have it for this computer yet, so that a second checkout maps into the same one.
        if (workspace.isEmpty())
            workspace = CommandLines::defaultWorkspaceName();
        QStringList listArguments = CommandLines::workspaces(kind, collection);
        TeamFoundationClient::addLoginArguments(listArguments);
        command->addJob(listArguments, -1);
        auto listed = std::make_shared<QString>();
        QObject::connect(command, &VcsBase::Command::output, command,
                         [listed](const QString &text) { *listed += text; });
        QStringList workspaceArguments = CommandLines::newWorkspace(kind, workspace, collection);
        TeamFoundationClient::addLoginArguments(workspaceArguments);
        const QString computer = CommandLines::computerName();
        command->addJob(workspaceArguments, -1, nullptr, [listed, workspace, computer] {
            return !CommandLines::listsWorkspace(*listed, workspace, computer);
        });
    } else if (!workspace.isEmpty()) {
        QStringList workspaceArguments = CommandLines::newWorkspace(kind, workspace, collection);
        TeamFoundationClient::addLoginArguments(workspaceArguments);
        command->addJob(workspaceArguments, -1);
    }
    QStringList mapArguments =
        CommandLines::mapFolder(kind, serverPath, *checkoutPath, collection, workspace);
    // The get runs in the path, so the directory names exactly what the mapping created.
    QStringList getArguments = CommandLines::getFolder(kind, directory);
    TeamFoundationClient::addLoginArguments(mapArguments);
    TeamFoundationClient::addLoginArguments(getArguments);
    // No time-out: getting a large folder takes as long as it takes.
    command->addJob(mapArguments, -1);
    command->addJob(getArguments, -1);
    return command;
}

} // namespace Internal
} // namespace TeamFoundation
