// The Team Foundation menu, its thirteen commands and the tfs locator filter as the host
// shows them, following the host's current state.
#include "testhost.h"

#include <core/actionmanager.h>
#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <locator/commandlocator.h>
#include <utils/hostosinfo.h>
#include <vcsbase/vcsoutputwindow.h>

#include <teamfoundationclient.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>

#include <QDialog>
#include <QtTest>

using namespace TeamFoundation::Internal;

namespace {

struct CommandRow
{
    const char *id;
    const char *emptyText;
    const char *fileText; // with main.cpp; null for repository commands
    const char *executable;
    const char *word;
};

const CommandRow commandTable[] = {
    {"TeamFoundation.Add", "Add current file", "Add main.cpp", "tf", "add"},
    {"TeamFoundation.Delete", "Delete current file", "Delete main.cpp", "tf", "delete"},
    {"TeamFoundation.Compare", "Compare current file", "Compare main.cpp", "tf", "difference"},
    {"TeamFoundation.Undo", "Undo current file", "Undo main.cpp", "tf", "undo"},
    {"TeamFoundation.CheckIn", "Check in current file", "Check In main.cpp", "tf", "checkin"},
    {"TeamFoundation.Annotate", "Annotate current file", "Annotate main.cpp", "tfpt", "annotate"},
    {"TeamFoundation.History", "History...", "History for main.cpp", "tf", "history"},
    {"TeamFoundation.GetLatest", "Get latest...", "Get latest main.cpp", "tf", "get"},
    {"TeamFoundation.HistoryProject", "History (Repository)", nullptr, "tf", "history"},
    {"TeamFoundation.GetLatestProject", "Get latest (Repository)", nullptr, "tf", "get"},
    {"TeamFoundation.UndoProject", "Undo (Repository)", nullptr, "tf", "undo"},
    {"TeamFoundation.CompareProject", "Compare (Repository)", nullptr, "tf", "difference"},
    {"TeamFoundation.CheckInProject", "Check in (Repository)", nullptr, "tf", "checkin"},
};

// Another version control, to see how the plugin behaves when it is not the one in charge.
class OtherVersionControl : public Core::IVersionControl
{
public:
    QString displayName() const override { return QStringLiteral("Other"); }
    Core::Id id() const override { return Core::Id("O.Other"); }
    bool managesDirectory(const QString &, QString *) const override { return false; }
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
};

// Translates every text of the plugin's own contexts, leaving the "%1" alone.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (QByteArray(context).startsWith("TeamFoundation::"))
            return QLatin1String("<<") + QString::fromUtf8(sourceText) + QLatin1String(">>");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

Locator::CommandLocator *locator()
{
    for (Locator::CommandLocator *filter :
         ExtensionSystem::PluginManager::getObjects<Locator::CommandLocator>()) {
        if (filter->shortcutString() == QLatin1String("tfs"))
            return filter;
    }
    return nullptr;
}

QMenu *teamFoundationMenu()
{
    QMenu *tools = Core::ActionManager::actionContainer(Core::Id(Core::Constants::M_TOOLS))->menu();
    for (QAction *action : tools->actions()) {
        if (action->menu() && action->menu()->objectName() == QLatin1String("TeamFoundation.Menu"))
            return action->menu();
    }
    return nullptr;
}

Core::Command *command(const char *id)
{
    return Core::ActionManager::command(Core::Id(id));
}

} // namespace

class tst_Menu : public QObject
{
    Q_OBJECT

private slots:
    void structure();
    void unconfiguredSaysWhy();
    void states_data();
    void states();
    void hostAnsweringFalseKeepsFileActions_data();
    void hostAnsweringFalseKeepsFileActions();
    void triggering_data();
    void triggering();
    void locatorMatching();
    void translations();
};

void tst_Menu::structure()
{
    TestHost host;
    host.loadPlugin();
    QMenu *menu = teamFoundationMenu();
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("Team Foundation"));

    const QList<QAction *> entries = menu->actions();
    QCOMPARE(entries.size(), 14);
    QStringList ids;
    for (int i = 0; i < entries.size(); ++i) {
        if (i == 8) {
            QVERIFY(entries.at(i)->isSeparator());
            continue;
        }
        ids << entries.at(i)->objectName();
    }
    QStringList expected;
    for (const CommandRow &row : commandTable)
        expected << QLatin1String(row.id);
    QCOMPARE(ids, expected);

    for (const CommandRow &row : commandTable) {
        Core::Command *cmd = command(row.id);
        QVERIFY(cmd);
        QCOMPARE(cmd->hasAttribute(Core::Command::CA_UpdateText), row.fileText != nullptr);
        QCOMPARE(cmd->context().at(0).toString(), QStringLiteral("Global Context"));
        QVERIFY(cmd->action()->shortcut().isEmpty());
        QCOMPARE(cmd->registeredAction()->parent(), host.plugin());
        QCOMPARE(cmd->description(), QString::fromLatin1(row.emptyText));
    }

    Locator::CommandLocator *filter = locator();
    QVERIFY(filter);
    QCOMPARE(filter->id().toString(), QStringLiteral("Team Foundation"));
    QCOMPARE(filter->displayName(), QStringLiteral("tfs"));
    QStringList locatorIds;
    for (Core::Command *cmd : filter->commands())
        locatorIds << cmd->id().toString();
    QCOMPARE(locatorIds, expected);
}

void tst_Menu::unconfiguredSaysWhy()
{
    // The menu stays disabled without a tf to run; the menu's tooltip says why and where to
    // set it, naming the client of the kind, and the pane says it once for each configuration
    // that does not work, not again at the next start.
    const QString where = QStringLiteral("Tools > Options > Version Control > TeamFoundation");
    const QString client = Utils::HostOsInfo::isWindowsHost()
                               ? QStringLiteral("Visual Studio's client (tf.exe) \"tf.exe\"")
                               : QStringLiteral("Team Explorer Everywhere client (cross-platform "
                                                "tf) \"tf\"");
    VcsBase::VcsOutputWindow::clearContents();
    QByteArray store;
    {
        TestHost host;
        TeamFoundationPlugin *plugin = host.loadPlugin();
        QAction *menu = teamFoundationMenu()->menuAction();
        QVERIFY2(menu->toolTip().contains(where), qPrintable(menu->toolTip()));
        QVERIFY2(menu->toolTip().contains(client), qPrintable(menu->toolTip()));
        QCOMPARE(VcsBase::VcsOutputWindow::content().count(where), 1);

        host.configure();
        QVERIFY(!menu->toolTip().contains(where));
        for (const char *binary : {"missing/tf", "", "missing/tf"}) {
            TeamFoundationSettings settings = plugin->settings();
            settings.setValue(TeamFoundationSettings::binaryPathKey, QString::fromLatin1(binary));
            plugin->setSettings(settings);
            QVERIFY2(menu->toolTip().contains(where), binary);
        }
        QCOMPARE(VcsBase::VcsOutputWindow::content().count(where), 4);
        QVERIFY(Core::ICore::syncSettings());
        QFile file(host.settingsDirectory() + QLatin1String("/workbench.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        store = file.readAll();
    }
    // The next start with the same configuration keeps quiet in the pane.
    TestHost restarted;
    QVERIFY(QDir().mkpath(restarted.settingsDirectory()));
    QFile file(restarted.settingsDirectory() + QLatin1String("/workbench.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(store) == store.size());
    file.close();
    QVERIFY(restarted.loadPlugin());
    QVERIFY(teamFoundationMenu()->menuAction()->toolTip().contains(where));
    QCOMPARE(VcsBase::VcsOutputWindow::content().count(where), 4);
}

void tst_Menu::states_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<bool>("withTopLevel");
    QTest::newRow("file in a top level") << true << true;
    QTest::newRow("no file, top level") << false << true;
    QTest::newRow("file without top level") << true << false;
    QTest::newRow("nothing") << false << false;
}

void tst_Menu::states()
{
    QFETCH(bool, withFile);
    QFETCH(bool, withTopLevel);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));

    VcsBase::VcsBasePluginState state;
    if (withFile)
        state.setFile(file, withTopLevel ? top : QString(), plugin->versionControl());
    else
        state.setProject(top, withTopLevel ? top : QString(), plugin->versionControl());
    VcsBase::VcsBasePlugin::setGlobalState(state);

    QVERIFY(teamFoundationMenu()->menuAction()->isVisible());
    QVERIFY(teamFoundationMenu()->menuAction()->isEnabled());
    QCOMPARE(locator()->isEnabled(), withTopLevel);
    for (const CommandRow &row : commandTable) {
        QAction *shown = command(row.id)->action();
        if (row.fileText) {
            QCOMPARE(shown->text(), QString::fromLatin1(withFile ? row.fileText : row.emptyText));
            QCOMPARE(shown->isEnabled(), withFile);
        } else {
            QCOMPARE(shown->text(), QString::fromLatin1(row.emptyText));
            QCOMPARE(shown->isEnabled(), withTopLevel);
        }
    }
}

void tst_Menu::hostAnsweringFalseKeepsFileActions_data()
{
    QTest::addColumn<bool>("otherVcs");
    QTest::newRow("another version control") << true;
    QTest::newRow("no version control") << false;
}

void tst_Menu::hostAnsweringFalseKeepsFileActions()
{
    QFETCH(bool, otherVcs);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    VcsBase::VcsBasePluginState mine;
    mine.setFile(file, top, plugin->versionControl());
    VcsBase::VcsBasePlugin::setGlobalState(mine);
    QVERIFY(locator()->isEnabled());

    OtherVersionControl other;
    VcsBase::VcsBasePluginState elsewhere;
    const QString otherFile = host.makeFile(QStringLiteral("elsewhere/readme.txt"));
    elsewhere.setFile(otherFile, otherVcs ? host.sandbox() + QLatin1String("/elsewhere") : QString(),
                      otherVcs ? &other : nullptr);
    VcsBase::VcsBasePlugin::setGlobalState(elsewhere);

    QVERIFY(!locator()->isEnabled());
    QAction *menuAction = teamFoundationMenu()->menuAction();
    if (otherVcs) {
        QVERIFY(!menuAction->isVisible());
    } else {
        QVERIFY(menuAction->isVisible());
        QVERIFY(!menuAction->isEnabled());
    }
    // The per-file commands keep the last file's name and their enabled state.
    QCOMPARE(command("TeamFoundation.CheckIn")->action()->text(), QStringLiteral("Check In main.cpp"));
    QCOMPARE(command("TeamFoundation.History")->action()->text(), QStringLiteral("History for main.cpp"));
    QVERIFY(command("TeamFoundation.GetLatest")->action()->isEnabled());
    VcsBase::VcsBasePlugin::setGlobalState(VcsBase::VcsBasePluginState());
}

void tst_Menu::triggering_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("throughLocator");
    for (int i = 0; i < int(sizeof(commandTable) / sizeof(commandTable[0])); ++i) {
        QTest::addRow("%s from the menu", commandTable[i].id) << i << false;
        QTest::addRow("%s through the locator", commandTable[i].id) << i << true;
    }
}

void tst_Menu::triggering()
{
    QFETCH(int, row);
    QFETCH(bool, throughLocator);
    const CommandRow &entry = commandTable[row];
    TestHost host;
    host.configure();
    QVERIFY(host.loadPlugin());
    const QString top = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setCurrentFile(file, top);

    const QString text = QString::fromLatin1(entry.fileText ? entry.fileText : entry.emptyText);
    // Undo asks first (after reading the pending changes).
    host.answerNextDialog([](QDialog *dialog) { dialog->accept(); });
    if (throughLocator) {
        const QList<Locator::LocatorFilterEntry> matches = locator()->matchesFor(text);
        auto it = std::find_if(matches.cbegin(), matches.cend(),
                               [&](const Locator::LocatorFilterEntry &e) { return e.displayName == text; });
        QVERIFY2(it != matches.cend(), qPrintable(text));
        locator()->accept(*it);
    } else {
        QAction *shown = nullptr;
        for (QAction *a : teamFoundationMenu()->actions()) {
            if (a->objectName() == QLatin1String(entry.id))
                shown = a;
        }
        QVERIFY(shown);
        QCOMPARE(shown->text(), text);
        shown->trigger();
    }

    QList<Recorded> runs = host.takeRuns();
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const Recorded &r) { return r.arguments.value(0) == "status"; }),
               runs.end());
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().name, QString::fromLatin1(entry.executable));
    QCOMPARE(runs.first().arguments.value(0), QString::fromLatin1(entry.word));
    QCOMPARE(runs.first().arguments.value(1), entry.fileText ? file : top);
    QVERIFY(host.takeAsserts().isEmpty());
}

void tst_Menu::locatorMatching()
{
    TestHost host;
    host.configure();
    QVERIFY(host.loadPlugin());
    const QString top = host.makeDirectory(QStringLiteral("proj"));
    host.setCurrentFile(host.makeFile(QStringLiteral("proj/main.cpp")), top);

    QStringList names;
    for (const Locator::LocatorFilterEntry &e : locator()->matchesFor(QStringLiteral("check")))
        names << e.displayName;
    QCOMPARE(names, QStringList({"Check In main.cpp", "Check in (Repository)"}));
    QVERIFY(host.takeRuns().isEmpty());
}

void tst_Menu::translations()
{
    MarkingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(teamFoundationMenu()->title(), QStringLiteral("<<Team Foundation>>"));
    QCOMPARE(command("TeamFoundation.History")->action()->text(), QStringLiteral("<<History...>>"));
    QCOMPARE(command("TeamFoundation.UndoProject")->action()->text(), QStringLiteral("<<Undo (Repository)>>"));
    host.setCurrentFile(host.makeFile(QStringLiteral("proj/main.cpp")), host.sandbox());
    QCOMPARE(command("TeamFoundation.CheckIn")->action()->text(), QStringLiteral("<<Check In main.cpp>>"));

    QCOMPARE(plugin->versionControl()->displayName(), QStringLiteral("Team Foundation"));
    QCOMPARE(locator()->displayName(), QStringLiteral("tfs"));
    QCOMPARE(locator()->shortcutString(), QStringLiteral("tfs"));
}

QTEST_MAIN(tst_Menu)
#include "tst_menu.moc"
