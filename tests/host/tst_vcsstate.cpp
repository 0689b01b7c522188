// Which version control manages what, how plugins hear about the current context, and
// the checkout page's rules.

#include <core/iversioncontrol.h>
#include <core/vcsmanager.h>
#include <utils/hostosinfo.h>
#include <vcsbase/basecheckoutwizardpage.h>
#include <vcsbase/vcsbaseplugin.h>

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using Core::VcsManager;
using VcsBase::VcsBasePlugin;

Q_DECLARE_METATYPE(VcsBasePlugin::ActionState)
Q_DECLARE_METATYPE(Utils::HostOsInfo::OsType)

namespace {
// Manages every directory at or below its root, and counts how often it is asked.
class FakeVersionControl : public Core::IVersionControl
{
    Q_OBJECT
public:
    FakeVersionControl(const QString &id, const QString &root) : m_id(id.toUtf8()), m_root(root) {}

    QString displayName() const override { return QString::fromUtf8(m_id); }
    Core::Id id() const override { return Core::Id(m_id); }
    bool managesDirectory(const QString &directory, QString *topLevel) const override
    {
        ++calls;
        asked.append(directory);
        const bool managed = !m_root.isEmpty()
                             && (directory == m_root || directory.startsWith(m_root + QLatin1Char('/')));
        if (managed && topLevel)
            *topLevel = m_root;
        return managed;
    }
    bool managesFile(const QString &, const QString &) const override { return false; }
    bool isConfigured() const override { return true; }
    bool supportsOperation(Operation) const override { return false; }
    bool vcsOpen(const QString &) override { return false; }
    bool vcsAdd(const QString &) override { return false; }
    bool vcsDelete(const QString &) override { return false; }
    bool vcsMove(const QString &, const QString &) override { return false; }
    bool vcsCreateRepository(const QString &) override { return false; }
    bool vcsCheckout(const QString &, const QByteArray &) override { return false; }
    QString vcsGetRepositoryURL(const QString &) override { return QString(); }
    bool vcsAnnotate(const QString &, int) override { return false; }

    void setRoot(const QString &root) { m_root = root; }

    mutable int calls = 0;
    mutable QStringList asked;

private:
    QByteArray m_id;
    QString m_root;
};

// A version-control plugin that records the action states the host gives it.
class FakeVcsPlugin : public VcsBasePlugin
{
    Q_OBJECT
public:
    explicit FakeVcsPlugin(FakeVersionControl *vc) : m_vc(vc) {}
    bool initialize(const QStringList &, QString *) override
    {
        initializeVcs(m_vc);
        return true;
    }
    QList<ActionState> states;

protected:
    void updateActions(ActionState state) override { states.append(state); }

private:
    FakeVersionControl *m_vc;
};

// A checkout page that proposes the last part of a server path as directory.
class TestCheckoutPage : public VcsBase::BaseCheckoutWizardPage
{
    Q_OBJECT
protected:
    QString directoryFromRepository(const QString &repository) const override
    {
        return repository.section(QLatin1Char('/'), -1);
    }
};
} // namespace

class tst_VcsState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void managerCachesAnswers();
    void managerDropsCacheOnChange_data();
    void managerDropsCacheOnChange();
    void innermostTopLevelWins();
    void managerCacheFollowsFileNameCase_data();
    void managerCacheFollowsFileNameCase();

    void pluginActionState_data();
    void pluginActionState();
    void pluginHearsOfChanges();
    void enableMenuAction_data();
    void enableMenuAction();

    void checkoutPageCompleteness_data();
    void checkoutPageCompleteness();
    void checkoutPageProposesDirectory();

private:
    QString dir(const QString &relative) const { return m_tempDir.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_tempDir;
    VcsManager *m_manager = nullptr;
    FakeVersionControl *m_mine = nullptr;
    FakeVersionControl *m_other = nullptr;
    FakeVcsPlugin *m_plugin = nullptr;
};

void tst_VcsState::init()
{
    QVERIFY(m_tempDir.isValid());
    m_manager = new VcsManager;
    // The plugin owns its version control, as the host deletes it with the plugin.
    m_mine = new FakeVersionControl(QStringLiteral("Test.Mine"), dir(QStringLiteral("mine")));
    m_plugin = new FakeVcsPlugin(m_mine);
    QString error;
    QVERIFY(m_plugin->initialize(QStringList(), &error));
    m_other = new FakeVersionControl(QStringLiteral("Test.Other"), dir(QStringLiteral("other")));
    VcsManager::addVersionControl(m_other);
    QCOMPARE(VcsManager::versionControls(), (QList<Core::IVersionControl *>{m_mine, m_other}));
}

void tst_VcsState::cleanup()
{
    VcsBasePlugin::setCurrentContext(QString(), QString());
    delete m_plugin;
    delete m_other;
    delete m_manager;
}

void tst_VcsState::managerCachesAnswers()
{
    QString topLevel;
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a/b/c"), &topLevel), m_mine);
    QCOMPARE(topLevel, dir("mine"));
    QCOMPARE(m_mine->calls, 1);

    // The directory again, in other spellings, and those up to the top level: from memory.
    for (const char *again : {"mine/a/b/c", "mine/a/b/c/", "mine/a/x/../b/c", "mine/a/b", "mine/a", "mine"}) {
        topLevel.clear();
        QCOMPARE(VcsManager::findVersionControlForDirectory(dir(again), &topLevel), m_mine);
        QCOMPARE(topLevel, dir("mine"));
    }
    QCOMPARE(m_mine->calls, 1);
    QCOMPARE(m_other->calls, 1);

    // Below or beside what was asked is not known yet.
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a/b/c/d")), m_mine);
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a/sibling")), m_mine);
    QCOMPARE(m_mine->calls, 3);

    // "Nobody manages this" is remembered as well.
    topLevel = QStringLiteral("stale");
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("elsewhere"), &topLevel), nullptr);
    QCOMPARE(topLevel, QString());
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("elsewhere")), nullptr);
    QCOMPARE(m_mine->calls, 4);
    // A directory whose name merely starts like the top level is not under it.
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine2")), nullptr);
}

void tst_VcsState::managerDropsCacheOnChange_data()
{
    QTest::addColumn<bool>("repositoryChange");
    QTest::newRow("repositoryChanged") << true;
    QTest::newRow("configurationChanged") << false;
}

void tst_VcsState::managerDropsCacheOnChange()
{
    QFETCH(bool, repositoryChange);
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a")), m_mine);
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a")), m_mine);
    QCOMPARE(m_mine->calls, 1);

    // The directory stops being managed; the version control says so.
    m_mine->setRoot(QString());
    if (repositoryChange)
        emit m_mine->repositoryChanged(dir("mine"));
    else
        emit m_mine->configurationChanged();
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a")), nullptr);
    QCOMPARE(m_mine->calls, 2);
}

void tst_VcsState::innermostTopLevelWins()
{
    m_other->setRoot(dir("mine/nested"));
    QString topLevel;
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/nested/src"), &topLevel), m_other);
    QCOMPARE(topLevel, dir("mine/nested"));
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/src"), &topLevel), m_mine);
    QCOMPARE(topLevel, dir("mine"));
}

void tst_VcsState::managerCacheFollowsFileNameCase_data()
{
    QTest::addColumn<Utils::HostOsInfo::OsType>("os");
    QTest::addColumn<bool>("fromMemory");
    QTest::newRow("Linux: another directory") << Utils::HostOsInfo::HostOsLinux << false;
    QTest::newRow("Windows: the same directory") << Utils::HostOsInfo::HostOsWindows << true;
}

void tst_VcsState::managerCacheFollowsFileNameCase()
{
    QFETCH(Utils::HostOsInfo::OsType, os);
    QFETCH(bool, fromMemory);
    Utils::HostOsInfo::setOverrideHostOs(os);
    QCOMPARE(VcsManager::findVersionControlForDirectory(dir("mine/a/b")), m_mine);
    const int calls = m_mine->calls;
    QString topLevel;
    Core::IVersionControl *vc = VcsManager::findVersionControlForDirectory(dir("MINE/A"), &topLevel);
    Utils::HostOsInfo::clearOverrideHostOs();
    QCOMPARE(m_mine->calls, fromMemory ? calls : calls + 1);
    if (fromMemory) {
        QCOMPARE(vc, m_mine);
        QCOMPARE(topLevel, dir("mine"));
    }
}

void tst_VcsState::pluginActionState_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("project");
    QTest::addColumn<VcsBasePlugin::ActionState>("state");
    QTest::addColumn<QString>("topLevel"); // the plugin's own view of the state

    QTest::newRow("file of mine") << "mine/src/main.cpp" << "" << VcsBasePlugin::VcsEnabled << "mine";
    QTest::newRow("project of mine") << "" << "mine/app/app.pro" << VcsBasePlugin::VcsEnabled << "mine";
    QTest::newRow("file of another") << "other/main.cpp" << "" << VcsBasePlugin::OtherVcsEnabled << "";
    QTest::newRow("unmanaged file") << "plain/main.cpp" << "" << VcsBasePlugin::NoVcsEnabled << "";
    QTest::newRow("nothing open") << "" << "" << VcsBasePlugin::NoVcsEnabled << "";
    QTest::newRow("other file, my project") << "other/x.cpp" << "mine/app/app.pro" << VcsBasePlugin::VcsEnabled
                                            << "mine";
}

void tst_VcsState::pluginActionState()
{
    QFETCH(QString, file);
    QFETCH(QString, project);
    QFETCH(VcsBasePlugin::ActionState, state);
    QFETCH(QString, topLevel);
    m_plugin->states.clear();

    VcsBasePlugin::setCurrentContext(file.isEmpty() ? file : dir(file), project.isEmpty() ? project : dir(project));
    QCOMPARE(m_plugin->states, QList<VcsBasePlugin::ActionState>{state});
    const VcsBase::VcsBasePluginState &current = m_plugin->currentState();
    QCOMPARE(current.topLevel(), topLevel.isEmpty() ? QString() : dir(topLevel));
    QCOMPARE(current.hasTopLevel(), !topLevel.isEmpty());
    const bool fileIsMine = file.startsWith(QLatin1String("mine/"));
    QCOMPARE(current.hasFile(), fileIsMine);
    if (fileIsMine) {
        QCOMPARE(current.currentFile(), dir(file));
        QCOMPARE(current.currentFileName(), QStringLiteral("main.cpp"));
    }
}

void tst_VcsState::pluginHearsOfChanges()
{
    VcsBasePlugin::setCurrentContext(dir("mine/main.cpp"), QString());
    QCOMPARE(m_plugin->states, QList<VcsBasePlugin::ActionState>{VcsBasePlugin::VcsEnabled});

    // The workspace goes away: after the announcement the plugin sees the new truth.
    m_mine->setRoot(QString());
    emit m_mine->repositoryChanged(dir("mine"));
    QCOMPARE(m_plugin->states.last(), VcsBasePlugin::NoVcsEnabled);
    QVERIFY(!m_plugin->currentState().hasFile());

    m_mine->setRoot(dir("mine"));
    emit m_mine->configurationChanged();
    QCOMPARE(m_plugin->states.last(), VcsBasePlugin::VcsEnabled);
    QCOMPARE(m_plugin->currentState().currentFile(), dir("mine/main.cpp"));
    QCOMPARE(m_plugin->states.size(), 3);
}

void tst_VcsState::enableMenuAction_data()
{
    QTest::addColumn<VcsBasePlugin::ActionState>("state");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("answer");
    QTest::newRow("mine") << VcsBasePlugin::VcsEnabled << true << true << true;
    QTest::newRow("another's") << VcsBasePlugin::OtherVcsEnabled << false << true << false;
    QTest::newRow("none") << VcsBasePlugin::NoVcsEnabled << true << false << false;
}

void tst_VcsState::enableMenuAction()
{
    QFETCH(VcsBasePlugin::ActionState, state);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    QFETCH(bool, answer);
    // Start from the opposite of what is expected, so that every change is seen.
    QAction menu(QStringLiteral("Test"));
    menu.setVisible(!visible);
    menu.setEnabled(!enabled || state == VcsBasePlugin::OtherVcsEnabled);
    QCOMPARE(m_plugin->enableMenuAction(state, &menu), answer);
    QCOMPARE(menu.isVisible(), visible);
    if (visible)
        QCOMPARE(menu.isEnabled(), enabled);
}

void tst_VcsState::checkoutPageCompleteness_data()
{
    // In the temporary directory: "parent/" exists with "parent/taken/" in it, "afile" is a file.
    QTest::addColumn<QString>("repository");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("complete");

    QTest::newRow("all good") << "$/Project" << "fresh" << "parent" << true;
    QTest::newRow("no repository") << "" << "fresh" << "parent" << false;
    QTest::newRow("blank repository") << "   " << "fresh" << "parent" << false;
    QTest::newRow("no directory") << "$/Project" << "" << "parent" << false;
    QTest::newRow("no path") << "$/Project" << "fresh" << "" << false;
    QTest::newRow("path does not exist") << "$/Project" << "fresh" << "missing" << false;
    QTest::newRow("path is a file") << "$/Project" << "fresh" << "afile" << false;
    QTest::newRow("directory exists") << "$/Project" << "taken" << "parent" << false;
    QTest::newRow("directory exists as a file") << "$/Project" << "afile" << "." << false;
}

void tst_VcsState::checkoutPageCompleteness()
{
    QFETCH(QString, repository);
    QFETCH(QString, directory);
    QFETCH(QString, path);
    QFETCH(bool, complete);
    QVERIFY(QDir(m_tempDir.path()).mkpath(QStringLiteral("parent/taken")));
    QFile file(dir("afile"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    TestCheckoutPage page;
    page.setRepository(repository);
    page.setDirectory(directory);
    page.setPath(path.isEmpty() ? path : dir(path));
    QCOMPARE(page.isComplete(), complete);

    if (complete) {
        // Creating the checkout directory makes the page incomplete at once.
        QSignalSpy changed(&page, &QWizardPage::completeChanged);
        QVERIFY(QDir(dir(path)).mkdir(directory));
        QVERIFY(!page.isComplete());
        page.setDirectory(directory + QStringLiteral("2"));
        QVERIFY(page.isComplete());
        QVERIFY(changed.size() >= 1);
    }
}

void tst_VcsState::checkoutPageProposesDirectory()
{
    TestCheckoutPage page;
    page.setRepository(QStringLiteral("$/Collection/Project"));
    QCOMPARE(page.directory(), QStringLiteral("Project"));
    page.setRepository(QStringLiteral("$/Collection/Other"));
    QCOMPARE(page.directory(), QStringLiteral("Other"));

    // Once the user typed a directory of their own, it stays.
    QLineEdit *directoryEdit = page.findChild<QLineEdit *>(QStringLiteral("checkoutDirectoryLineEdit"));
    QVERIFY(directoryEdit);
    directoryEdit->clear();
    QTest::keyClicks(directoryEdit, QStringLiteral("mine"));
    page.setRepository(QStringLiteral("$/Collection/Third"));
    QCOMPARE(page.directory(), QStringLiteral("mine"));
}

QTEST_MAIN(tst_VcsState)

#include "tst_vcsstate.moc"
