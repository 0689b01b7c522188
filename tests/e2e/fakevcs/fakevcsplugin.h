#pragma once

#include <core/ipendingchanges.h>
#include <core/iversioncontrol.h>
#include <vcsbase/basecheckoutwizard.h>
#include <vcsbase/basecheckoutwizardpage.h>
#include <vcsbase/vcsbaseoptionspage.h>
#include <vcsbase/vcsbaseplugin.h>

#include <QPointer>
#include <QSet>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QLineEdit;
class QSpinBox;
QT_END_NAMESPACE

namespace Locator {
class CommandLocator;
}
namespace Utils {
class ParameterAction;
class PathChooser;
} // namespace Utils

namespace E2e {

// A small version control for the workbench's end-to-end tests. Its working copies are the
// directories below one holding a ".fakevcs" marker; its executable is the fakevcs tool named
// in its settings. It offers every road a version-control plugin takes through the host: a
// menu and locator filter, the host's file operations, an options page and a checkout wizard,
// and, with FAKEVCS_PENDING=1, its pending changes.

class FakeVcsPlugin;

class FakeVersionControl : public Core::IVersionControl
{
    Q_OBJECT
public:
    explicit FakeVersionControl(FakeVcsPlugin *plugin) : m_plugin(plugin) {}

    QString displayName() const override { return QStringLiteral("FakeVcs"); }
    Core::Id id() const override { return Core::Id("F.FakeVcs"); }
    bool managesDirectory(const QString &directory, QString *topLevel) const override;
    bool managesFile(const QString &workingDirectory, const QString &fileName) const override;
    bool isConfigured() const override;
    // FAKEVCS_UNSUPPORTED=add,delete,move,annotate takes operations away.
    bool supportsOperation(Operation operation) const override;
    OpenSupportMode openSupportMode() const override { return OpenMandatory; }
    bool vcsOpen(const QString &fileName) override;
    bool vcsAdd(const QString &fileName) override;
    bool vcsDelete(const QString &fileName) override;
    bool vcsMove(const QString &from, const QString &to) override;
    bool vcsCreateRepository(const QString &) override { return false; }
    bool vcsCheckout(const QString &, const QByteArray &) override { return false; }
    QString vcsGetRepositoryURL(const QString &) override { return QString(); }
    bool vcsAnnotate(const QString &file, int line) override;

private:
    // Passes 'done' on, telling the pending changes when the working copy changed.
    bool changed(bool done) const;

    FakeVcsPlugin *m_plugin;
};

// The pending changes as the tool lists them, read by a silent job; read again after the
// plugin's own commands and file operations, once for a burst of them.
class FakePendingChanges : public Core::IPendingChanges
{
    Q_OBJECT
public:
    explicit FakePendingChanges(FakeVcsPlugin *plugin);

    Core::IVersionControl *versionControl() const override;
    void refresh(const QString &directory) override;
    void compare(const QList<Core::PendingChangeRow> &rows) override;
    void undo(const QList<Core::PendingChangeRow> &rows) override;
    void checkIn(const QList<Core::PendingChangeRow> &rows) override;

    // The working copy changed through the plugin.
    void changed();

private:
    void run(const QString &command, const QList<Core::PendingChangeRow> &rows);
    void read(const QString &directory);

    FakeVcsPlugin *m_plugin;
    QSet<QString> m_directories; // asked about: read again after changes
    QSet<QString> m_reading;
    QSet<QString> m_readAgain; // asked again while being read
    QTimer m_changed;
};

class FakeSettingsPage : public VcsBase::VcsBaseOptionsPage
{
    Q_OBJECT
public:
    explicit FakeSettingsPage(FakeVcsPlugin *plugin);

    bool matches(const QString &word) const override;
    QWidget *createPage(QWidget *parent) override;
    void apply() override;
    void finish() override {}

private:
    FakeVcsPlugin *m_plugin;
    QPointer<Utils::PathChooser> m_binary;
    QPointer<QLineEdit> m_user;
    QPointer<QLineEdit> m_password;
    QPointer<QSpinBox> m_timeout;
};

class FakeCheckoutPage : public VcsBase::BaseCheckoutWizardPage
{
    Q_OBJECT
public:
    FakeCheckoutPage();
    QString branchName() const;

protected:
    QString directoryFromRepository(const QString &repository) const override;

private:
    QLineEdit *m_branch;
};

class FakeCheckoutWizard : public VcsBase::BaseCheckoutWizard
{
    Q_OBJECT
public:
    explicit FakeCheckoutWizard(FakeVcsPlugin *plugin);

    QList<QWizardPage *> createParameterPages(const QString &path) override;
    VcsBase::Command *createCommand(const QList<QWizardPage *> &pages,
                                    QString *checkoutPath) override;

private:
    FakeVcsPlugin *m_plugin;
};

class FakeVcsPlugin : public VcsBase::VcsBasePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "fakevcs.json")
public:
    ~FakeVcsPlugin() override;
    bool initialize(const QStringList &arguments, QString *errorString) override;
    // FAKEVCS_SHUTDOWN_LOG=FILE: both write there whether the plugin's command and version
    // control are still registered.
    ShutdownFlag aboutToShutdown() override;

    QString binary() const;
    QString user() const;
    QString password() const;
    int timeoutMs() const;
    // Runs the tool; true when it exited with 0.
    bool run(const QString &workingDirectory, const QStringList &arguments);
    // The pending changes it offers; null unless FAKEVCS_PENDING=1.
    FakePendingChanges *pendingChanges() const { return m_pendingChanges; }

protected:
    void updateActions(ActionState state) override;

private:
    void reportRegistrations(const char *when) const;
    void runOnCurrentFile(const QString &command);
    void update();
    void log();
    void updateAll();
    void login();

    Locator::CommandLocator *m_locator = nullptr;
    FakePendingChanges *m_pendingChanges = nullptr;
    QAction *m_menuAction = nullptr;
    QList<Utils::ParameterAction *> m_fileActions;
};

} // namespace E2e
