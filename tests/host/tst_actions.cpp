// Registered commands, menus and the command locator.

#include <core/actionmanager.h>
#include <locator/commandlocator.h>
#include <utils/parameteraction.h>

#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

using Core::ActionManager;
using Core::Command;

class tst_Actions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandFollowsRegisteredAction_data();
    void commandFollowsRegisteredAction();
    void triggeringIsForwardedOnce();
    void menusHoldCommands();

    void locatorMatching_data();
    void locatorMatching();
    void locatorFollowsEnabledState();
    void locatorAcceptTriggersOnce();

private:
    Command *registerCommand(const char *id, QAction *action, bool updateText);
    void setUpLocatorCommands();

    ActionManager *m_manager = nullptr;
    QObject *m_actionOwner = nullptr;
    Locator::CommandLocator *m_locator = nullptr;
    QMap<QString, QAction *> m_actions;
    QMap<QString, int> m_triggerCounts;
};

void tst_Actions::init()
{
    m_manager = new ActionManager;
    m_actionOwner = new QObject;
    m_actions.clear();
    m_triggerCounts.clear();
}

void tst_Actions::cleanup()
{
    delete m_locator;
    m_locator = nullptr;
    delete m_manager;
    delete m_actionOwner;
    QVERIFY(!ActionManager::instance());
}

Command *tst_Actions::registerCommand(const char *id, QAction *action, bool updateText)
{
    Command *command = ActionManager::registerAction(action, Core::Id(id), Core::Context(Core::Constants::C_GLOBAL));
    if (command && updateText)
        command->setAttribute(Command::CA_UpdateText);
    return command;
}

void tst_Actions::commandFollowsRegisteredAction_data()
{
    QTest::addColumn<bool>("updateText");
    QTest::newRow("fixed text") << false;
    QTest::newRow("CA_UpdateText") << true;
}

void tst_Actions::commandFollowsRegisteredAction()
{
    QFETCH(bool, updateText);
    QCOMPARE(int(Command::CA_UpdateText), 2);
    auto action = new Utils::ParameterAction(QStringLiteral("Check In"), QStringLiteral("Check In \"%1\""),
                                             Utils::ParameterAction::EnabledWithParameter, m_actionOwner);
    Command *command = registerCommand("Test.CheckIn", action, updateText);
    QVERIFY(command);
    QCOMPARE(command->id(), Core::Id("Test.CheckIn"));
    QCOMPARE(ActionManager::command(Core::Id("Test.CheckIn")), command);
    QVERIFY(command->action() != action);
    QCOMPARE(command->action()->text(), QStringLiteral("Check In"));
    QVERIFY(!command->action()->isEnabled());

    action->setParameter(QStringLiteral("main.cpp"));
    QVERIFY(command->action()->isEnabled());
    QCOMPARE(command->action()->text(), updateText ? QStringLiteral("Check In \"main.cpp\"") : QStringLiteral("Check In"));

    action->setParameter(QString());
    QVERIFY(!command->action()->isEnabled());
    QCOMPARE(command->action()->text(), QStringLiteral("Check In"));

    action->setParameter(QStringLiteral("b.cpp"));
    action->setVisible(false);
    QVERIFY(!command->action()->isVisible());
    action->setVisible(true);
    QVERIFY(command->action()->isVisible());
}

void tst_Actions::triggeringIsForwardedOnce()
{
    auto action = new QAction(QStringLiteral("Add"), m_actionOwner);
    Command *command = registerCommand("Test.Add", action, false);
    QSignalSpy triggered(action, &QAction::triggered);

    command->action()->trigger();
    QCOMPARE(triggered.size(), 1);
    // Triggering the registered action itself does not loop back through the command.
    action->trigger();
    QCOMPARE(triggered.size(), 2);

    action->setEnabled(false);
    command->action()->trigger();
    QCOMPARE(triggered.size(), 2);
}

void tst_Actions::menusHoldCommands()
{
    ActionManager::createMenu(Core::Id(Core::Constants::M_TOOLS));
    Core::ActionContainer *tools = ActionManager::actionContainer(Core::Id(Core::Constants::M_TOOLS));
    QVERIFY(tools && tools->menu());
    Core::ActionContainer *menu = ActionManager::createMenu(Core::Id("Test.Menu"));
    QCOMPARE(ActionManager::createMenu(Core::Id("Test.Menu")), menu);
    menu->menu()->setTitle(QStringLiteral("Test"));
    tools->addMenu(menu);

    auto action = new QAction(QStringLiteral("Add"), m_actionOwner);
    Command *command = registerCommand("Test.Add", action, false);
    menu->addAction(command);
    QAction *separator = menu->addSeparator(Core::Context(Core::Constants::C_GLOBAL));
    QVERIFY(separator->isSeparator());

    QCOMPARE(menu->menu()->actions(), (QList<QAction *>{command->action(), separator}));
    QVERIFY(tools->menu()->actions().contains(menu->menu()->menuAction()));

    // A disabled submenu's tooltip, which says why, shows when the pointer rests on it.
    QAction *entry = menu->menu()->menuAction();
    entry->setEnabled(false);
    entry->setToolTip(QStringLiteral("Not configured."));
    tools->menu()->popup(QPoint(0, 0));
    QVERIFY(QTest::qWaitForWindowExposed(tools->menu()));
    const QPoint pos = tools->menu()->actionGeometry(entry).center();
    QHelpEvent event(QEvent::ToolTip, pos, tools->menu()->mapToGlobal(pos));
    QApplication::sendEvent(tools->menu(), &event);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Not configured."));
    tools->menu()->hide();
}

void tst_Actions::setUpLocatorCommands()
{
    m_locator = new Locator::CommandLocator(Core::Id("Test.Locator"), QStringLiteral("Test"), QStringLiteral("tst"));
    const QList<QPair<const char *, QString>> commands{{"Test.Add", "&Add"},
                                                       {"Test.CheckIn", "Check In"},
                                                       {"Test.CheckOut", "Check &Out"},
                                                       {"Test.UndoCheckOut", "Undo Check Out"},
                                                       {"Test.History", "History"},
                                                       {"Test.GetLatest", "Get Latest Version"}};
    for (const auto &entry : commands) {
        auto action = new QAction(entry.second, m_actionOwner);
        const QString id = QLatin1String(entry.first);
        connect(action, &QAction::triggered, this, [this, id] { ++m_triggerCounts[id]; });
        m_actions.insert(id, action);
        m_locator->appendCommand(registerCommand(entry.first, action, true));
    }
    m_actions.value(QStringLiteral("Test.GetLatest"))->setEnabled(false);
}

void tst_Actions::locatorMatching_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("matches");
    QTest::newRow("one word, in command order") << "check" << QStringList{"Check In", "Check Out", "Undo Check Out"};
    QTest::newRow("case-insensitive, all words") << "CHECK out" << QStringList{"Check Out", "Undo Check Out"};
    QTest::newRow("part of a word") << "isto" << QStringList{"History"};
    QTest::newRow("mnemonic ignored") << "add" << QStringList{"Add"};
    QTest::newRow("extra blanks") << "  undo   out " << QStringList{"Undo Check Out"};
    QTest::newRow("one word missing") << "check history" << QStringList();
    QTest::newRow("disabled command") << "latest" << QStringList();
    QTest::newRow("nothing typed") << "" << QStringList{"Add", "Check In", "Check Out", "Undo Check Out", "History"};
}

void tst_Actions::locatorMatching()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, matches);
    setUpLocatorCommands();
    QStringList shown;
    for (const Locator::LocatorFilterEntry &match : m_locator->matchesFor(entry)) {
        QCOMPARE(match.filter, m_locator);
        shown << match.displayName;
    }
    QCOMPARE(shown, matches);
}

void tst_Actions::locatorFollowsEnabledState()
{
    setUpLocatorCommands();
    QAction *checkIn = m_actions.value(QStringLiteral("Test.CheckIn"));
    checkIn->setEnabled(false);
    QCOMPARE(m_locator->matchesFor(QStringLiteral("in")).size(), 0);
    checkIn->setEnabled(true);
    checkIn->setText(QStringLiteral("Check In \"main.cpp\""));
    const QList<Locator::LocatorFilterEntry> matches = m_locator->matchesFor(QStringLiteral("main"));
    QCOMPARE(matches.size(), 1);
    QCOMPARE(matches.first().displayName, QStringLiteral("Check In \"main.cpp\""));
}

void tst_Actions::locatorAcceptTriggersOnce()
{
    setUpLocatorCommands();
    const QList<Locator::LocatorFilterEntry> matches = m_locator->matchesFor(QStringLiteral("undo"));
    QCOMPARE(matches.size(), 1);
    m_locator->accept(matches.first());
    QCOMPARE(m_triggerCounts, (QMap<QString, int>{{"Test.UndoCheckOut", 1}}));

    // A command disabled between matching and accepting is not run.
    m_actions.value(QStringLiteral("Test.UndoCheckOut"))->setEnabled(false);
    m_locator->accept(matches.first());
    QCOMPARE(m_triggerCounts.value(QStringLiteral("Test.UndoCheckOut")), 1);
}

QTEST_MAIN(tst_Actions)

#include "tst_actions.moc"
