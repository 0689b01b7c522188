#include "teamfoundationplugin.h"
#include "checkoutwizard.h"
#include "passwordkeeper.h"
#include "settingspage.h"
#include "teamfoundationclient.h"
#include "teamfoundationconstants.h"
#include "teamfoundationcontrol.h"
#include "teamfoundationpendingchanges.h"
#include "teamfoundationhistory.h"
#include "warmrunner.h"
#include "workspacecache.h"
#include "workspaceknowledge.h"

#include <core/actionmanager.h>
#include <core/icore.h>
#include <locator/commandlocator.h>
#include <utils/hostosinfo.h>
#include <utils/parameteraction.h>
#include <utils/qtcassert.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QProcessEnvironment>

namespace TeamFoundation {
namespace Internal {

TeamFoundationPlugin *TeamFoundationPlugin::m_teamFoundationPluginInstance = nullptr;

// How long a command or the options page waits for the keychain to hand out the password at
// start-up: long enough for a person to unlock the keychain when it asks.
const int PASSWORD_WAIT_MS = 30000;

TeamFoundationPlugin::TeamFoundationPlugin() = default;

TeamFoundationPlugin::~TeamFoundationPlugin()
{
    // Nobody may reach a destroyed plugin through instance().
    if (m_teamFoundationPluginInstance == this)
        m_teamFoundationPluginInstance = nullptr;
}

bool TeamFoundationPlugin::initialize(const QStringList &arguments, QString *errorMessage)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorMessage)

    m_knowledge = new WorkspaceKnowledge(this);
    m_workspaceCache = new WorkspaceCache(this);
    auto control = new TeamFoundationControl(this, m_knowledge, m_workspaceCache);
    // Connected before the host hears of the changes, so that it asks anew of a plugin that
    // has forgotten what it knew.
    connect(control, &Core::IVersionControl::configurationChanged, m_knowledge,
            &WorkspaceKnowledge::forget);
    connect(control, &Core::IVersionControl::repositoryChanged, m_knowledge,
            &WorkspaceKnowledge::forget);
    initializeVcs(control);
    m_teamFoundationPluginInstance = this;
    m_settings.readSettings(Core::ICore::settings(QSettings::UserScope));
    m_passwordKeeper = new PasswordKeeper(this);
    // Nothing is announced: whatever needs the password waited for it, so nothing was
    // found out without it.
    connect(m_passwordKeeper, &PasswordKeeper::passwordRead, this, [this](const QString &password) {
        m_settings.setValue(TeamFoundationSettings::passwordKey, password);
    });
    m_passwordKeeper->load(m_settings);
    // Which directories are in a workspace is read from the client's own cache, without a
    // process; when its mappings change, what was learnt by asking may be wrong, and the
    // host asks again.
    connect(m_workspaceCache, &WorkspaceCache::changed, this, [this, control] {
        m_knowledge->forget();
        emit control->answersChanged();
    });
    connect(control, &Core::IVersionControl::configurationChanged, this,
            &TeamFoundationPlugin::locateWorkspaceCache);
    locateWorkspaceCache();
    m_client =
        new TeamFoundationClient(this, m_settings, m_knowledge, std::make_unique<WarmRunner>());
    // A client that worked again answers what it could not tell before.
    // Said from the event loop: the news comes while a command ends, and the host asks its
    // questions anew when it hears it.
    connect(m_client, &TeamFoundationClient::succeeded, this, [this, control] {
        const bool faults = m_knowledge->forgetFaults();
        if (control->retryFailedServerPathReads() || faults)
            QMetaObject::invokeMethod(control, &Core::IVersionControl::answersChanged,
                                      Qt::QueuedConnection);
    });
    connect(m_knowledge, &WorkspaceKnowledge::forgotten, control,
            &TeamFoundationControl::forgetServerPathReads);
    addAutoReleasedObject(new SettingsPage);
    addAutoReleasedObject(new CheckoutWizard);
    createActions();
    m_pendingChanges = new TeamFoundationPendingChanges(this, m_client, m_knowledge);
    addAutoReleasedObject(m_pendingChanges);
    m_history = new TeamFoundationHistory(this, m_client, m_pendingChanges, m_settings);
    addAutoReleasedObject(m_history);
    connect(versionControl(), &Core::IVersionControl::configurationChanged, this,
            &TeamFoundationPlugin::updateConfigurationHint);
    updateConfigurationHint();
    return true;
}

void TeamFoundationPlugin::updateConfigurationHint()
{
    QSettings *store = Core::ICore::settings(QSettings::UserScope);
    const QString noticeKey = QLatin1String(Constants::SETTINGS_GROUP) + QLatin1Char('/') +
                              QLatin1String(Constants::DISABLED_NOTICE_KEY);
    if (versionControl()->isConfigured()) {
        m_menuAction->setToolTip(QString());
        // Should this configuration stop working later, that is news again.
        store->remove(noticeKey);
        return;
    }
    const QString binary = m_settings.stringValue(TeamFoundationSettings::binaryPathKey);
    const ClientKind kind = m_settings.clientKind();
    const QString client = kind == ClientKind::VisualStudio
                               ? tr("Visual Studio's client (tf.exe)")
                               : tr("the Team Explorer Everywhere client (cross-platform tf)");
    const QString reason =
        binary.isEmpty()
            ? tr("The Team Foundation commands are disabled because no path is set for %1.")
                  .arg(client)
            : tr("The Team Foundation commands are disabled because %1 \"%2\" cannot be found "
                 "or is not an executable file.")
                  .arg(client, QDir::toNativeSeparators(binary));
    const QString hint =
        reason + QLatin1Char(' ') +
        tr("Install it, or set its path in Tools > Options > Version Control > TeamFoundation.");
    m_menuAction->setToolTip(hint);
    // Said once for each configuration, not at every start: the tooltip keeps saying it, and
    // someone who works without Team Foundation need not read it each day.
    const QString configuration =
        m_settings.stringValue(TeamFoundationSettings::clientKindKey) + QLatin1Char('|') + binary;
    if (store->value(noticeKey).toString() != configuration) {
        store->setValue(noticeKey, configuration);
        VcsBase::VcsOutputWindow::appendWarning(hint);
    }
}

TeamFoundationPlugin *TeamFoundationPlugin::instance()
{
    QTC_ASSERT(m_teamFoundationPluginInstance, return nullptr);
    return m_teamFoundationPluginInstance;
}

const TeamFoundationSettings &TeamFoundationPlugin::settings() const
{
    return m_settings;
}

void TeamFoundationPlugin::setSettings(const TeamFoundationSettings &settings)
{
    if (settings.equals(m_settings))
        return;
    const TeamFoundationSettings previous = m_settings;
    m_settings = settings;
    m_settings.writeSettings(Core::ICore::settings(QSettings::UserScope));
    if (m_passwordKeeper)
        m_passwordKeeper->store(previous, m_settings);
    notifyChange(QString());
}

bool TeamFoundationPlugin::waitForPassword(QString *error) const
{
    // Without a user name no login is passed, so nothing needs the password.
    if (!m_passwordKeeper || m_settings.userName().isEmpty())
        return true;
    bool cancelled = false;
    if (m_passwordKeeper->waitForPassword(PASSWORD_WAIT_MS, &cancelled))
        return true;
    if (error) {
        *error = cancelled ? tr("The wait for the system keychain was cancelled.")
                           : m_passwordKeeper->unknownReason();
    }
    return false;
}

void TeamFoundationPlugin::whenPasswordRead(QObject *context,
                                            const std::function<void(const QString &)> &then) const
{
    if (!m_passwordKeeper || m_settings.userName().isEmpty()) {
        then(QString());
        return;
    }
    m_passwordKeeper->whenRead(PASSWORD_WAIT_MS, context, then);
}

bool TeamFoundationPlugin::isReadingPassword() const
{
    return m_passwordKeeper && !m_settings.userName().isEmpty() && m_passwordKeeper->isReading();
}

WorkspaceCache *TeamFoundationPlugin::workspaceCache() const
{
    return m_workspaceCache;
}

void TeamFoundationPlugin::locateWorkspaceCache()
{
    m_workspaceCache->setFile(WorkspaceCache::location(
        m_settings.clientKind(), Utils::HostOsInfo::hostOs(),
        QProcessEnvironment::systemEnvironment(), WorkspaceCache::userHome()));
}

PasswordKeeper *TeamFoundationPlugin::passwordKeeper() const
{
    return m_passwordKeeper;
}

TeamFoundationClient *TeamFoundationPlugin::client() const
{
    return m_client;
}

WorkspaceKnowledge *TeamFoundationPlugin::knowledge() const
{
    return m_knowledge;
}

TeamFoundationPendingChanges *TeamFoundationPlugin::pendingChanges() const
{
    return m_pendingChanges;
}

void TeamFoundationPlugin::notifyChange(const QString &path)
{
    Core::IVersionControl *vc = versionControl();
    const QFileInfo fi(path);
    if (fi.exists() && fi.isFile())
        emit vc->filesChanged(QStringList(path));
    else if (fi.exists() && fi.isDir())
        emit vc->repositoryChanged(path);
    else if (path.isEmpty())
        emit vc->configurationChanged();
}

bool TeamFoundationPlugin::submitEditorAboutToClose()
{
    return true;
}

void TeamFoundationPlugin::createActions()
{
    const Core::Context context{Core::Id(Core::Constants::C_GLOBAL)};
    Core::ActionContainer *menu = Core::ActionManager::createMenu(Core::Id(Constants::MENU_ID));

    m_commandLocator = new Locator::CommandLocator(Core::Id(Constants::LOCATOR_ID),
                                                   QLatin1String(Constants::LOCATOR_PREFIX),
                                                   QLatin1String(Constants::LOCATOR_PREFIX));
    addAutoReleasedObject(m_commandLocator);

    QAction *action = createFileAction(context, menu, tr("Add current file"), tr("Add %1"),
                                       Constants::ADD);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::addCurrentFile);
    action = createFileAction(context, menu, tr("Delete current file"), tr("Delete %1"),
                              Constants::DELETE_FILE);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::deleteCurrentFile);
    action = createFileAction(context, menu, tr("Compare current file"), tr("Compare %1"),
                              Constants::COMPARE);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::compareCurrentFile);
    action = createFileAction(context, menu, tr("Undo current file"), tr("Undo %1"),
                              Constants::UNDO);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::undoCurrentFile);
    action = createFileAction(context, menu, tr("Check in current file"), tr("Check In %1"),
                              Constants::CHECKIN);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::checkInCurrentFile);
    action = createFileAction(context, menu, tr("Annotate current file"), tr("Annotate %1"),
                              Constants::ANNOTATE);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::annotateCurrentFile);
    action = createFileAction(context, menu, tr("History..."), tr("History for %1"),
                              Constants::HISTORY);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::historyCurrentFile);
    action = createFileAction(context, menu, tr("Get latest..."), tr("Get latest %1"),
                              Constants::GET_LATEST);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::getLatestCurrentFile);

    menu->addSeparator(context);

    action = createRepositoryAction(menu, context, tr("History (Repository)"),
                                    Constants::HISTORY_PROJECT);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::historyProject);
    action = createRepositoryAction(menu, context, tr("Get latest (Repository)"),
                                    Constants::GET_LATEST_PROJECT);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::getLatestProject);
    action = createRepositoryAction(menu, context, tr("Undo (Repository)"),
                                    Constants::UNDO_PROJECT);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::undoProject);
    action = createRepositoryAction(menu, context, tr("Compare (Repository)"),
                                    Constants::COMPARE_PROJECT);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::compareProject);
    action = createRepositoryAction(menu, context, tr("Check in (Repository)"),
                                    Constants::CHECKIN_PROJECT);
    connect(action, &QAction::triggered, m_client, &TeamFoundationClient::checkInProject);

    Core::ActionManager::actionContainer(Core::Id(Core::Constants::M_TOOLS))->addMenu(menu);
    menu->menu()->setTitle(tr("Team Foundation"));
    m_menuAction = menu->menu()->menuAction();
}

Utils::ParameterAction *TeamFoundationPlugin::createFileAction(const Core::Context &context,
                                                               Core::ActionContainer *menu,
                                                               const QString &emptyText,
                                                               const QString &parameterText,
                                                               const char *id)
{
    auto action = new Utils::ParameterAction(emptyText, parameterText,
                                             Utils::ParameterAction::EnabledWithParameter, this);
    Core::Command *command = Core::ActionManager::registerAction(action, Core::Id(id), context, false);
    command->setAttribute(Core::Command::CA_UpdateText);
    menu->addAction(command);
    m_commandLocator->appendCommand(command);
    m_fileActions.append(action);
    return action;
}

QAction *TeamFoundationPlugin::createRepositoryAction(Core::ActionContainer *menu,
                                                      Core::Context context, const QString &text,
                                                      const char *id)
{
    auto action = new QAction(text, this);
    m_repositoryActions.append(action);
    Core::Command *command = Core::ActionManager::registerAction(action, Core::Id(id), context, false);
    m_commandLocator->appendCommand(command);
    menu->addAction(command);
    return action;
}

void TeamFoundationPlugin::updateActions(VcsBase::VcsBasePlugin::ActionState state)
{
    // The repository commands refuse to run without a top level, so they follow it, as the
    // locator does.
    if (!enableMenuAction(state, m_menuAction)) {
        m_commandLocator->setEnabled(false);
        for (QAction *action : qAsConst(m_repositoryActions))
            action->setEnabled(false);
        return;
    }
    const bool hasTopLevel = currentState().hasTopLevel();
    m_commandLocator->setEnabled(hasTopLevel);
    for (QAction *action : qAsConst(m_repositoryActions))
        action->setEnabled(hasTopLevel);

    const QString fileName = currentState().currentFileName();
    for (Utils::ParameterAction *action : qAsConst(m_fileActions))
        action->setParameter(fileName);
}

} // namespace Internal
} // namespace TeamFoundation
