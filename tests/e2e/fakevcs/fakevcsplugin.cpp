#include "fakevcsplugin.h"

#include <core/actionmanager.h>
#include <core/icore.h>
#include <core/vcsmanager.h>
#include <locator/commandlocator.h>
#include <utils/parameteraction.h>
#include <utils/pathchooser.h>
#include <utils/qtcassert.h>
#include <vcsbase/command.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsconfigurationpage.h>
#include <vcsbase/vcsjob.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

namespace E2e {

namespace {
const char MARKER[] = ".fakevcs";
const char GROUP[] = "FakeVcs";

QString topLevelOf(const QString &directory)
{
    QDir dir(directory);
    if (!dir.exists())
        return QString();
    do {
        if (dir.exists(QLatin1String(MARKER)))
            return dir.absolutePath();
    } while (dir.cdUp());
    return QString();
}

QString settingsValue(const char *key, const QString &fallback = QString())
{
    QSettings *settings = Core::ICore::settings();
    return settings->value(QLatin1String(GROUP) + QLatin1Char('/') + QLatin1String(key), fallback)
        .toString();
}
} // namespace

// --- version control

bool FakeVersionControl::managesDirectory(const QString &directory, QString *topLevel) const
{
    const QString top = topLevelOf(directory);
    if (top.isEmpty())
        return false;
    if (topLevel)
        *topLevel = top;
    return true;
}

bool FakeVersionControl::managesFile(const QString &workingDirectory, const QString &fileName) const
{
    const QString file = QDir(workingDirectory).absoluteFilePath(fileName);
    const QString top = topLevelOf(QFileInfo(file).absolutePath());
    QFile marker(top + QLatin1Char('/') + QLatin1String(MARKER));
    if (top.isEmpty() || !marker.open(QIODevice::ReadOnly))
        return false;
    const QStringList lines = QString::fromUtf8(marker.readAll()).split(QLatin1Char('\n'));
    return lines.contains(QLatin1String("tracked ") + QDir(top).relativeFilePath(file));
}

bool FakeVersionControl::isConfigured() const
{
    const QFileInfo binary(m_plugin->binary());
    return binary.isFile() && binary.isExecutable();
}

bool FakeVersionControl::supportsOperation(Operation operation) const
{
    const QStringList unsupported =
        qEnvironmentVariable("FAKEVCS_UNSUPPORTED").split(QLatin1Char(','));
    switch (operation) {
    case AddOperation:
        return !unsupported.contains(QLatin1String("add"));
    case DeleteOperation:
        return !unsupported.contains(QLatin1String("delete"));
    case MoveOperation:
        return !unsupported.contains(QLatin1String("move"));
    case AnnotateOperation:
        return !unsupported.contains(QLatin1String("annotate"));
    default:
        return false;
    }
}

bool FakeVersionControl::vcsOpen(const QString &fileName)
{
    return changed(
        m_plugin->run(QFileInfo(fileName).absolutePath(), {QStringLiteral("open"), fileName}));
}

bool FakeVersionControl::vcsAdd(const QString &fileName)
{
    return changed(
        m_plugin->run(QFileInfo(fileName).absolutePath(), {QStringLiteral("add"), fileName}));
}

bool FakeVersionControl::vcsDelete(const QString &fileName)
{
    return changed(
        m_plugin->run(QFileInfo(fileName).absolutePath(), {QStringLiteral("delete"), fileName}));
}

bool FakeVersionControl::vcsMove(const QString &from, const QString &to)
{
    return changed(
        m_plugin->run(QFileInfo(from).absolutePath(), {QStringLiteral("move"), from, to}));
}

bool FakeVersionControl::changed(bool done) const
{
    if (done && m_plugin->pendingChanges())
        m_plugin->pendingChanges()->changed();
    return done;
}

bool FakeVersionControl::vcsAnnotate(const QString &file, int line)
{
    return m_plugin->run(QFileInfo(file).absolutePath(),
                         {QStringLiteral("annotate"), file, QString::number(line)});
}

// --- pending changes

FakePendingChanges::FakePendingChanges(FakeVcsPlugin *plugin) : m_plugin(plugin)
{
    m_changed.setSingleShot(true);
    m_changed.setInterval(0);
    connect(&m_changed, &QTimer::timeout, this, [this] {
        for (const QString &directory : qAsConst(m_directories))
            read(directory);
    });
}

Core::IVersionControl *FakePendingChanges::versionControl() const
{
    return m_plugin->versionControl();
}

void FakePendingChanges::refresh(const QString &directory)
{
    m_directories.insert(directory);
    read(directory);
}

void FakePendingChanges::changed()
{
    m_changed.start();
}

void FakePendingChanges::read(const QString &directory)
{
    if (m_reading.contains(directory)) {
        m_readAgain.insert(directory);
        return;
    }
    if (!VcsBase::JobQueue::instance()) {
        emit readFailed(directory, QStringLiteral("no job queue"));
        return;
    }
    m_reading.insert(directory);
    auto job =
        new VcsBase::VcsJob(m_plugin->binary(), {QStringLiteral("pending"), directory}, directory);
    job->setTimeOutMs(m_plugin->timeoutMs());
    job->setFlags(VcsBase::RunFlag::SuppressCommandLogging |
                  VcsBase::RunFlag::SuppressStdErrInLogWindow |
                  VcsBase::RunFlag::SuppressFailMessageInLogWindow);
    job->setDescription(QStringLiteral("fakevcs pending"));
    connect(job, &VcsBase::VcsJob::finished, this, [this, job, directory] {
        m_reading.remove(directory);
        if (job->succeeded()) {
            QList<Core::PendingChangeRow> rows;
            for (const QString &line : job->stdOut().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QStringList fields = line.split(QLatin1Char('|'));
                if (fields.size() == 4)
                    rows.append({fields.at(1), fields.at(2), fields.at(3),
                                 fields.at(0) == QLatin1String("candidate")});
            }
            emit rowsRead(directory, rows);
        } else {
            const QString error = job->stdErr().trimmed();
            emit readFailed(directory, error.isEmpty() ? job->exitMessage() : error);
        }
        if (m_readAgain.remove(directory))
            read(directory);
    });
    VcsBase::JobQueue::instance()->submit(job);
}

void FakePendingChanges::compare(const QList<Core::PendingChangeRow> &rows)
{
    run(QStringLiteral("compare"), rows);
}

void FakePendingChanges::undo(const QList<Core::PendingChangeRow> &rows)
{
    run(QStringLiteral("undo"), rows);
}

void FakePendingChanges::checkIn(const QList<Core::PendingChangeRow> &rows)
{
    run(QStringLiteral("checkin"), rows);
}

void FakePendingChanges::run(const QString &command, const QList<Core::PendingChangeRow> &rows)
{
    if (rows.isEmpty() || !VcsBase::JobQueue::instance())
        return;
    QStringList arguments{command};
    for (const Core::PendingChangeRow &row : rows)
        arguments << row.localFile;
    auto job = new VcsBase::VcsJob(m_plugin->binary(), arguments,
                                   QFileInfo(rows.first().localFile).absolutePath());
    job->setTimeOutMs(m_plugin->timeoutMs());
    job->setFlags(VcsBase::RunFlag::ShowStdOutInLogWindow);
    job->setDescription(QStringLiteral("fakevcs ") + command);
    connect(job, &VcsBase::VcsJob::finished, this, &FakePendingChanges::changed);
    VcsBase::JobQueue::instance()->submit(job);
}

// --- options page

FakeSettingsPage::FakeSettingsPage(FakeVcsPlugin *plugin) : m_plugin(plugin)
{
    setId(Core::Id("F.FakeVcs"));
    setDisplayName(QStringLiteral("FakeVcs"));
}

bool FakeSettingsPage::matches(const QString &word) const
{
    return QStringLiteral("FakeVcs executable user password timeout")
        .contains(word, Qt::CaseInsensitive);
}

QWidget *FakeSettingsPage::createPage(QWidget *parent)
{
    auto widget = new QWidget(parent);
    m_binary = new Utils::PathChooser;
    m_binary->setObjectName(QStringLiteral("binaryChooser"));
    m_binary->setExpectedKind(Utils::PathChooser::ExistingCommand);
    m_binary->setPath(m_plugin->binary());
    m_user = new QLineEdit(m_plugin->user());
    m_user->setObjectName(QStringLiteral("userEdit"));
    m_password = new QLineEdit(m_plugin->password());
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    m_timeout = new QSpinBox;
    m_timeout->setObjectName(QStringLiteral("timeoutSpin"));
    m_timeout->setRange(1, 360);
    m_timeout->setSuffix(QStringLiteral("s"));
    m_timeout->setValue(m_plugin->timeoutMs() / 1000);
    auto layout = new QFormLayout(widget);
    layout->addRow(QStringLiteral("FakeVcs executable:"), m_binary);
    layout->addRow(QStringLiteral("User:"), m_user);
    layout->addRow(QStringLiteral("Password:"), m_password);
    layout->addRow(QStringLiteral("Timeout:"), m_timeout);
    return widget;
}

void FakeSettingsPage::apply()
{
    QTC_ASSERT(m_binary && m_user && m_password && m_timeout, return );
    QSettings *settings = Core::ICore::settings();
    settings->beginGroup(QLatin1String(GROUP));
    const bool changed =
        settings->value(QStringLiteral("Binary")).toString() != m_binary->path() ||
        settings->value(QStringLiteral("User")).toString() != m_user->text() ||
        settings->value(QStringLiteral("Password")).toString() != m_password->text() ||
        settings->value(QStringLiteral("Timeout")).toInt() != m_timeout->value();
    settings->setValue(QStringLiteral("Binary"), m_binary->path());
    settings->setValue(QStringLiteral("User"), m_user->text());
    settings->setValue(QStringLiteral("Password"), m_password->text());
    settings->setValue(QStringLiteral("Timeout"), m_timeout->value());
    settings->endGroup();
    if (changed)
        emit m_plugin->versionControl()->configurationChanged();
}

// --- checkout wizard

FakeCheckoutPage::FakeCheckoutPage() : m_branch(new QLineEdit(this))
{
    setTitle(QStringLiteral("Location"));
    setRepositoryLabel(QStringLiteral("Repository:"));
    setBranchSelectorVisible(false);
    m_branch->setObjectName(QStringLiteral("branchEdit"));
    addRepositoryControl(QStringLiteral("Branch:"), m_branch);
}

QString FakeCheckoutPage::branchName() const
{
    return m_branch->text();
}

QString FakeCheckoutPage::directoryFromRepository(const QString &repository) const
{
    return repository.section(QLatin1Char('/'), -1);
}

FakeCheckoutWizard::FakeCheckoutWizard(FakeVcsPlugin *plugin) : m_plugin(plugin)
{
    setId(Core::Id("F.FakeVcs.Checkout"));
    setDisplayName(QStringLiteral("FakeVcs Checkout"));
    setDescription(QStringLiteral("Clones a FakeVcs repository and opens its project."));
}

QList<QWizardPage *> FakeCheckoutWizard::createParameterPages(const QString &path)
{
    QList<QWizardPage *> pages;
    if (!m_plugin->versionControl()->isConfigured())
        pages << new VcsBase::VcsConfigurationPage(m_plugin->versionControl());
    auto page = new FakeCheckoutPage;
    page->setPath(path);
    pages << page;
    return pages;
}

VcsBase::Command *FakeCheckoutWizard::createCommand(const QList<QWizardPage *> &pages,
                                                    QString *checkoutPath)
{
    FakeCheckoutPage *page = nullptr;
    for (QWizardPage *p : pages) {
        if (auto candidate = qobject_cast<FakeCheckoutPage *>(p))
            page = candidate;
    }
    QTC_ASSERT(page, return nullptr);
    *checkoutPath = page->path() + QLatin1Char('/') + page->directory();
    auto command = new VcsBase::Command(m_plugin->binary(), page->path(),
                                        QProcessEnvironment::systemEnvironment());
    QStringList arguments{QStringLiteral("clone"), page->repository(), page->directory()};
    if (!page->branchName().isEmpty())
        arguments << QLatin1String("--branch=") + page->branchName();
    command->addJob(arguments, 30000);
    return command;
}

// --- plugin

bool FakeVcsPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)
    initializeVcs(new FakeVersionControl(this));
    if (qEnvironmentVariable("FAKEVCS_PENDING") == QLatin1String("1")) {
        m_pendingChanges = new FakePendingChanges(this);
        addAutoReleasedObject(m_pendingChanges);
    }
    addAutoReleasedObject(new FakeSettingsPage(this));
    addAutoReleasedObject(new FakeCheckoutWizard(this));

    const Core::Context context{Core::Id(Core::Constants::C_GLOBAL)};
    Core::ActionContainer *menu = Core::ActionManager::createMenu(Core::Id("FakeVcs.Menu"));
    m_locator = new Locator::CommandLocator(Core::Id("FakeVcs"), QStringLiteral("fake"),
                                            QStringLiteral("fake"));
    addAutoReleasedObject(m_locator);

    auto fileAction = [&](const QString &empty, const QString &withFile, const char *id) {
        auto action = new Utils::ParameterAction(
            empty, withFile, Utils::ParameterAction::EnabledWithParameter, this);
        Core::Command *command = Core::ActionManager::registerAction(action, Core::Id(id), context);
        command->setAttribute(Core::Command::CA_UpdateText);
        menu->addAction(command);
        m_locator->appendCommand(command);
        m_fileActions << action;
        return action;
    };
    auto repositoryAction = [&](const QString &text, const char *id) {
        auto action = new QAction(text, this);
        Core::Command *command = Core::ActionManager::registerAction(action, Core::Id(id), context);
        menu->addAction(command);
        m_locator->appendCommand(command);
        return action;
    };
    connect(fileAction(QStringLiteral("Status current file"), QStringLiteral("Status %1"),
                       "FakeVcs.Status"),
            &QAction::triggered, this, [this] { runOnCurrentFile(QStringLiteral("status")); });
    connect(fileAction(QStringLiteral("Update current file"), QStringLiteral("Update %1"),
                       "FakeVcs.Update"),
            &QAction::triggered, this, &FakeVcsPlugin::update);
    menu->addSeparator(context);
    connect(repositoryAction(QStringLiteral("Log (Repository)"), "FakeVcs.Log"),
            &QAction::triggered, this, &FakeVcsPlugin::log);
    connect(repositoryAction(QStringLiteral("Update (Repository)"), "FakeVcs.UpdateAll"),
            &QAction::triggered, this, &FakeVcsPlugin::updateAll);
    connect(repositoryAction(QStringLiteral("Log In"), "FakeVcs.Login"), &QAction::triggered, this,
            &FakeVcsPlugin::login);

    Core::ActionContainer *tools =
        Core::ActionManager::actionContainer(Core::Id(Core::Constants::M_TOOLS));
    QTC_ASSERT(tools, return true);
    tools->addMenu(menu);
    menu->menu()->setTitle(QStringLiteral("FakeVcs"));
    m_menuAction = menu->menu()->menuAction();
    return true;
}

FakeVcsPlugin::~FakeVcsPlugin()
{
    reportRegistrations("deleted");
}

ExtensionSystem::IPlugin::ShutdownFlag FakeVcsPlugin::aboutToShutdown()
{
    reportRegistrations("aboutToShutdown");
    return SynchronousShutdown;
}

void FakeVcsPlugin::reportRegistrations(const char *when) const
{
    // Until it is deleted, a plugin may use what it registered with the host's managers.
    const QString file = qEnvironmentVariable("FAKEVCS_SHUTDOWN_LOG");
    if (file.isEmpty())
        return;
    QFile log(file);
    if (!log.open(QIODevice::Append))
        return;
    const bool command = Core::ActionManager::command(Core::Id("FakeVcs.Status"));
    const bool vcs = Core::VcsManager::versionControls().contains(versionControl());
    log.write(QStringLiteral("%1: command %2, version control %3\n")
                  .arg(QLatin1String(when), QLatin1String(command ? "registered" : "gone"),
                       QLatin1String(vcs ? "registered" : "gone"))
                  .toUtf8());
}

QString FakeVcsPlugin::binary() const
{
    return settingsValue("Binary");
}

QString FakeVcsPlugin::user() const
{
    return settingsValue("User");
}

QString FakeVcsPlugin::password() const
{
    return settingsValue("Password");
}

int FakeVcsPlugin::timeoutMs() const
{
    return settingsValue("Timeout", QStringLiteral("30")).toInt() * 1000;
}

bool FakeVcsPlugin::run(const QString &workingDirectory, const QStringList &arguments)
{
    if (!versionControl()->isConfigured())
        return false;
    const Utils::SynchronousProcessResponse response =
        runVcs(workingDirectory, binary(), arguments, timeoutMs(),
               VcsBase::RunFlag::ShowStdOutInLogWindow);
    return response.result == Utils::SynchronousProcessResponse::Finished;
}

void FakeVcsPlugin::updateActions(ActionState state)
{
    if (!enableMenuAction(state, m_menuAction)) {
        m_locator->setEnabled(false);
        return;
    }
    m_locator->setEnabled(currentState().hasTopLevel());
    for (Utils::ParameterAction *action : qAsConst(m_fileActions))
        action->setParameter(currentState().currentFileName());
}

void FakeVcsPlugin::runOnCurrentFile(const QString &command)
{
    const VcsBase::VcsBasePluginState state = currentState();
    QTC_ASSERT(state.hasFile(), return );
    run(state.currentFileDirectory(), {command, state.currentFile()});
}

void FakeVcsPlugin::update()
{
    const VcsBase::VcsBasePluginState state = currentState();
    QTC_ASSERT(state.hasFile(), return );
    if (run(state.currentFileDirectory(), {QStringLiteral("update"), state.currentFile()}))
        emit versionControl()->filesChanged({state.currentFile()});
}

void FakeVcsPlugin::log()
{
    const VcsBase::VcsBasePluginState state = currentState();
    QTC_ASSERT(state.hasTopLevel(), return );
    // The log runs as a job: it may take long, and the window goes on meanwhile.
    if (!versionControl()->isConfigured() || !VcsBase::JobQueue::instance())
        return;
    auto job = new VcsBase::VcsJob(binary(), {QStringLiteral("log")}, state.topLevel());
    job->setTimeOutMs(timeoutMs());
    job->setFlags(VcsBase::RunFlag::ShowStdOutInLogWindow);
    job->setDescription(QStringLiteral("fakevcs log"));
    VcsBase::JobQueue::instance()->submit(job);
}

void FakeVcsPlugin::updateAll()
{
    const VcsBase::VcsBasePluginState state = currentState();
    QTC_ASSERT(state.hasTopLevel(), return );
    if (!state.hasFile())
        return;
    if (run(state.topLevel(), {QStringLiteral("update"), state.currentFile()}))
        emit versionControl()->repositoryChanged(state.topLevel());
}

void FakeVcsPlugin::login()
{
    run(QDir::currentPath(),
        {QStringLiteral("login"), QStringLiteral("/login:%1,%2").arg(user(), password())});
}

} // namespace E2e
