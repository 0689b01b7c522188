// The pending changes of the real plugin in the workbench's own window, against the stand-in
// tf on a seeded server: what the view and the project tree show after the IDE's file
// operations, and what a check-in, an undo or a compare of a chosen part runs and leaves
// pending on the server.

#include "e2eutils.h"
#include "pendingrows.h"

#include <core/actionmanager.h>
#include <core/hostservices.h>
#include <core/icore.h>
#include <dialoganswerer.h>
#include <extensionsystem/pluginmanager.h>
#include <mainwindow.h>
#include <pendingchangesview.h>
#include <projectmodel.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

class tst_PendingChangesE2e : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void viewAndTreeFollowTheIde_data();
    void viewAndTreeFollowTheIde();
    void actOnAChosenPart_data();
    void actOnAChosenPart();
    void checkInTakesTheNewFolder();
    void undoAsksFirst_data();
    void undoAsksFirst();

private:
    QString path(const QString &relative) const { return m_dir->path() + QLatin1Char('/') + relative; }
    QString ws(const QString &file = QString()) const
    {
        return file.isEmpty() ? path(QStringLiteral("ws")) : path(QStringLiteral("ws/") + file);
    }
    // Runs the stand-in as a person would beside the workbench; its standard output.
    QString tf(const QStringList &arguments, int *exitCode = nullptr) const;
    // "change|path" of each row the view shows, candidates prefixed with "?".
    QStringList shownRows() const;
    QString treeName(const QString &file) const
    {
        Workbench::ProjectModel *model = m_window->projectModel();
        return model->data(model->index(ws(file))).toString();
    }
    // The file names that the stand-in's status lists as pending in the workspace.
    QStringList pendingOnServer() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Core::HostServices> m_services;
    std::unique_ptr<VcsBase::JobQueue> m_queue;
    std::unique_ptr<Workbench::MainWindow> m_window;
};

QString tst_PendingChangesE2e::tf(const QStringList &arguments, int *exitCode) const
{
    const E2e::Run run = E2e::runProgram(QStringLiteral(TF_EXECUTABLE), arguments,
                                         QProcessEnvironment(), m_dir->path());
    if (exitCode)
        *exitCode = run.exitCode;
    return run.out + run.err;
}

QStringList tst_PendingChangesE2e::shownRows() const
{
    return E2e::shownPendingRows(m_window->pendingChanges());
}

QStringList tst_PendingChangesE2e::pendingOnServer() const
{
    int exitCode = -1;
    const QString out = tf({QStringLiteral("status"), ws(), QStringLiteral("-recursive")}, &exitCode);
    if (exitCode != 0)
        return {QStringLiteral("status failed: ") + out};
    // Below the table's dashes, the file name is the first word of each line but the server
    // folders' headings and the blank lines between them; an empty line ends the table.
    QStringList names;
    bool inTable = false;
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("---")))
            inTable = true;
        else if (line.isEmpty())
            inTable = false;
        else if (inTable && !line.trimmed().isEmpty() && !line.startsWith(QLatin1String("$/")))
            names << line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    }
    names.sort();
    return names;
}

void tst_PendingChangesE2e::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    // The stand-in keeps its workspaces in the profile folder of the test; no keychain is reached.
    qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
    qputenv("TEE_PROFILE_DIRECTORY", path(QStringLiteral("profile")).toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    qunsetenv("TF_SERVER");
    // Files found on disk but not pending are listed as the real client lists them for a
    // local workspace, so that the view shows what it does with them.
    qputenv("TF_STANDIN_CANDIDATES", "1");
    const QString licence = E2e::acceptLicence(QStringLiteral(TF_EXECUTABLE), path(QStringLiteral("profile")));
    QVERIFY2(licence.isEmpty(), qPrintable(licence));
    const QString collection = QStringLiteral("-collection:") + path(QStringLiteral("server"));
    const QList<QStringList> steps{
        {QStringLiteral("seed"), collection},
        {QStringLiteral("workspace"), QStringLiteral("-new"), QStringLiteral("ws"), collection},
        {QStringLiteral("workfold"), QStringLiteral("-map"), QStringLiteral("$/Demo/App"), ws(),
         collection, QStringLiteral("-workspace:ws")},
        {QStringLiteral("get"), ws(), QStringLiteral("-recursive")}};
    for (const QStringList &step : steps) {
        int exitCode = -1;
        const QString out = tf(step, &exitCode);
        QVERIFY2(exitCode == 0, qPrintable(step.join(QLatin1Char(' ')) + QLatin1Char('\n') + out));
    }
    QVERIFY(E2e::writeFile(path(QStringLiteral("settings/workbench.ini")),
                           "[TeamFoundation]\nBinaryPath=" TF_EXECUTABLE
                           "\nClientKind=CrossPlatform\nTimeout=60\n"));

    Core::ICore::setSettingsPath(path(QStringLiteral("settings")));
    m_services = std::make_unique<Core::HostServices>();
    m_queue = std::make_unique<VcsBase::JobQueue>();
    m_window = std::make_unique<Workbench::MainWindow>();
    m_window->setInteractive(false);
    m_services->pluginManager()->loadPlugins(QStringLiteral(PLUGIN_DIR));
    QCOMPARE(m_services->pluginManager()->errors(), QStringList());
    m_window->pluginsLoaded({});
    m_window->show();
    m_window->showPendingChanges();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(m_window->openProject(ws()).ok);
    Workbench::PendingChangesView *view = m_window->pendingChanges();
    QTRY_VERIFY_WITH_TIMEOUT(!view->isRefreshing(), 30000);
    QCOMPARE(view->errorMessage(), QString());
    QCOMPARE(shownRows(), QStringList());
    VcsBase::VcsOutputWindow::clearContents();
}

void tst_PendingChangesE2e::cleanup()
{
    m_queue.reset();
    m_services->shutdownPlugins();
    m_window.reset();
    m_services.reset();
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("TEE_PROFILE_DIRECTORY");
    m_dir.reset();
}

void tst_PendingChangesE2e::viewAndTreeFollowTheIde_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("row");      // as the view shows it
    QTest::addColumn<QString>("treeFile"); // and the tree; empty: the file is gone from disk
    QTest::addColumn<QString>("marked");
    QTest::newRow("edit") << "edit" << "edit|main.cpp" << "main.cpp" << "main.cpp [edit]";
    QTest::newRow("add") << "new" << "add|added.h" << "added.h" << "added.h [add]";
    QTest::newRow("delete") << "delete" << "delete|README.md" << QString() << QString();
    QTest::newRow("rename") << "rename" << "rename|app.cpp" << "app.cpp" << "app.cpp [rename]";
}

void tst_PendingChangesE2e::viewAndTreeFollowTheIde()
{
    QFETCH(QString, operation);
    QFETCH(QString, row);
    QFETCH(QString, treeFile);
    QFETCH(QString, marked);
    Workbench::Outcome done;
    if (operation == QLatin1String("edit"))
        done = m_window->editFile(ws("main.cpp"), QStringLiteral("// more\n"));
    else if (operation == QLatin1String("new"))
        done = m_window->newFile(ws("added.h"), QStringLiteral("#pragma once\n"));
    else if (operation == QLatin1String("delete"))
        done = m_window->deleteFile(ws("README.md"));
    else
        done = m_window->renameFile(ws("main.cpp"), ws("app.cpp"));
    QVERIFY2(done.ok, qPrintable(done.message));
    // No Refresh pressed: the plugin read them again after its file operation.
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), QStringList(row), 30000);
    if (!treeFile.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(treeName(treeFile), marked, 30000);
    QCOMPARE(treeName(QStringLiteral("CMakeLists.txt")), QStringLiteral("CMakeLists.txt"));
    QVERIFY(!VcsBase::VcsOutputWindow::content().contains(QLatin1String("status")));
}

// Check In of the project with some of its changes unchecked, and the view's Check In,
// Undo and Compare of the selected rows: what runs, and what stays pending on the server.
void tst_PendingChangesE2e::actOnAChosenPart_data()
{
    QTest::addColumn<QString>("action");     // "menu": Check In of the project; else the view's
    QTest::addColumn<QStringList>("selected"); // the view's rows acted on
    QTest::addColumn<QString>("checked");    // what the dialog keeps checked; null: as it opens
    QTest::addColumn<QString>("failure");    // why the dialog was cancelled; empty: it was not
    QTest::addColumn<QString>("commandLine"); // what tf was given; %1 is the workspace
    QTest::addColumn<QStringList>("remaining"); // pending on the server afterwards
    QTest::addColumn<QStringList>("rows");      // in the view afterwards

    const QStringList all{"a.h", "b.h", "main.cpp"};
    const QStringList allRows{"add|a.h", "add|b.h", "edit|main.cpp"};
    QTest::newRow("all checked: the whole path")
        << "menu" << QStringList() << "a.h,b.h,main.cpp" << QString()
        << "checkin %1 -comment:part -noprompt -recursive" << QStringList() << QStringList();
    QTest::newRow("some: named one by one")
        << "menu" << QStringList() << "main.cpp, a.h" << QString()
        << "checkin %1/a.h %1/main.cpp -comment:part -noprompt" << QStringList{"b.h"}
        << QStringList{"add|b.h"};
    QTest::newRow("none: OK is disabled") << "menu" << QStringList() << "" << "did not take the answer"
                                          << QString() << all << allRows;
    QTest::newRow("an unknown name") << "menu" << QStringList() << "a.h,c.h" << "has no item \"c.h\""
                                     << QString() << all << allRows;
    QTest::newRow("the view's Check In: the selected rows checked")
        << "Check In" << QStringList{"a.h", "main.cpp"} << QString() << QString()
        << "checkin %1/a.h %1/main.cpp -comment:part -noprompt" << QStringList{"b.h"}
        << QStringList{"add|b.h"};
    // An add undone leaves the file on disk: a candidate now.
    QTest::newRow("the view's Undo")
        << "Undo" << QStringList{"b.h", "main.cpp"} << QString() << QString()
        << "undo %1/b.h %1/main.cpp -noprompt" << QStringList{"a.h"} << QStringList{"add|a.h", "?add|b.h"};
    // The cross-platform client's compare of a file is the IDE's diff view, which reads the
    // file's history first.
    QTest::newRow("the view's Compare")
        << "Compare" << QStringList{"main.cpp"} << QString() << QString()
        << "history %1/main.cpp -format:xml -noprompt -itemmode" << all << allRows;
}

void tst_PendingChangesE2e::actOnAChosenPart()
{
    QFETCH(QString, action);
    QFETCH(QStringList, selected);
    QFETCH(QString, checked);
    QFETCH(QString, failure);
    QFETCH(QString, commandLine);
    QFETCH(QStringList, remaining);
    QFETCH(QStringList, rows);
    QVERIFY(m_window->editFile(ws("main.cpp"), QStringLiteral("// part of it\n")).ok);
    QVERIFY(m_window->newFile(ws("a.h"), QStringLiteral("int a;\n")).ok);
    QVERIFY(m_window->newFile(ws("b.h"), QStringLiteral("int b;\n")).ok);
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), QStringList({"add|a.h", "add|b.h", "edit|main.cpp"}),
                              30000);

    Workbench::DialogAnswerer answerer;
    if (action == QLatin1String("menu") || action == QLatin1String("Check In")) {
        Workbench::DialogAnswerer::Answer answer;
        answer.fields = {{QStringLiteral("commentEdit"), QStringLiteral("part")}};
        if (!checked.isNull())
            answer.fields.append({QStringLiteral("changesList"), checked});
        answerer.arm(answer);
    } else if (action == QLatin1String("Undo")) {
        answerer.arm({}); // Undo asks first
    }
    if (action == QLatin1String("menu")) {
        Core::ActionManager::command(Core::Id("TeamFoundation.CheckInProject"))->action()->trigger();
    } else {
        auto list = m_window->pendingChanges()->findChild<QTreeWidget *>(
            QStringLiteral("pendingChangesList"));
        QTreeWidgetItem *group = list->topLevelItem(0);
        for (int c = 0; c < group->childCount(); ++c)
            group->child(c)->setSelected(selected.contains(group->child(c)->text(1)));
        std::unique_ptr<QMenu> menu(m_window->pendingChanges()->createContextMenu());
        for (QAction *entry : menu->actions()) {
            if (entry->text() == action)
                entry->trigger();
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(answerer.armed().isEmpty() && m_queue->isIdle(), 30000);
    const QString why = answerer.takeFailure();
    QVERIFY2(failure.isEmpty() ? why.isEmpty() : why.contains(failure), qPrintable(why));

    const QString pane = VcsBase::VcsOutputWindow::content();
    if (commandLine.isEmpty()) {
        QVERIFY2(!pane.contains(QLatin1String(" checkin ")), qPrintable(pane));
    } else {
        const QString ran = QStringLiteral(TF_EXECUTABLE " ") + commandLine.arg(ws());
        QVERIFY2(pane.contains(ran + QLatin1Char('\n')), qPrintable(pane));
    }
    QCOMPARE(pendingOnServer(), remaining);
    // The command brought the output pane (a compare: the Compare view) to the front; the
    // person goes back to the list, which has followed on its own.
    m_window->showPendingChanges();
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), rows, 30000);
}

// A file checked alone whose folder is new goes in with the folder's add, named to tf, so that
// the server need not refuse it; the rest stays pending.
void tst_PendingChangesE2e::checkInTakesTheNewFolder()
{
    QVERIFY(m_window->editFile(ws("main.cpp"), QStringLiteral("// part of it\n")).ok);
    QVERIFY(m_window->newFile(ws("src/c.h"), QStringLiteral("int c;\n")).ok);
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), QStringList({"edit|main.cpp", "add|src", "add|src/c.h"}),
                              30000);
    Workbench::DialogAnswerer answerer;
    Workbench::DialogAnswerer::Answer answer;
    answer.fields = {{QStringLiteral("commentEdit"), QStringLiteral("part")},
                     {QStringLiteral("changesList"), QStringLiteral("src/c.h")}};
    answerer.arm(answer);
    Core::ActionManager::command(Core::Id("TeamFoundation.CheckInProject"))->action()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answerer.armed().isEmpty() && m_queue->isIdle(), 30000);
    QCOMPARE(answerer.takeFailure(), QString());
    const QString pane = VcsBase::VcsOutputWindow::content();
    const QString ran =
        QStringLiteral(TF_EXECUTABLE " checkin %1/src %1/src/c.h -comment:part -noprompt")
            .arg(ws());
    QVERIFY2(pane.contains(ran + QLatin1Char('\n')), qPrintable(pane));
    QCOMPARE(pendingOnServer(), QStringList{"main.cpp"});
}

// Undo throws away work for good: it lists what it would undo and asks. Cancel leaves every
// change pending and every file as it was; Undo undoes what it listed. With nothing pending
// under the path it says so and runs nothing.
void tst_PendingChangesE2e::undoAsksFirst_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("current");       // the editor's file
    QTest::addColumn<QStringList>("listed");    // in the question; empty: none is asked
    QTest::addColumn<QStringList>("remaining"); // pending on the server after Undo

    const QStringList all{"added.h", "main.cpp", "notes.md"};
    QTest::newRow("a saved file") << "TeamFoundation.Undo"
                                  << "main.cpp" << QStringList{"edit|main.cpp"}
                                  << QStringList{"added.h", "notes.md"};
    QTest::newRow("the repository")
        << "TeamFoundation.UndoProject"
        << "main.cpp" << QStringList{"add|added.h", "edit|main.cpp", "rename|notes.md"}
        << QStringList();
    QTest::newRow("nothing pending") << "TeamFoundation.Undo"
                                     << "CMakeLists.txt" << QStringList() << all;
}

void tst_PendingChangesE2e::undoAsksFirst()
{
    QFETCH(QString, command);
    QFETCH(QString, current);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, remaining);
    QVERIFY(m_window->editFile(ws("main.cpp"), QStringLiteral("// mine\n")).ok);
    QVERIFY(m_window->newFile(ws("added.h"), QStringLiteral("int a;\n")).ok);
    QVERIFY(m_window->renameFile(ws("README.md"), ws("notes.md")).ok);
    QTRY_COMPARE_WITH_TIMEOUT(
        shownRows(), QStringList({"add|added.h", "edit|main.cpp", "rename|notes.md"}), 30000);
    QVERIFY(m_window->openFile(ws(current)).ok);
    const QStringList before = pendingOnServer();
    const QByteArray edited = E2e::readAll(ws("main.cpp"));
    QAction *action = Core::ActionManager::command(Core::Id::fromString(command))->action();

    for (bool agree : {false, true}) {
        QStringList shown;
        bool asked = false;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            asked = true;
            QCOMPARE(dialog->objectName(), QStringLiteral("undoDialog"));
            auto list = dialog->findChild<QTreeWidget *>(QStringLiteral("changesList"));
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                shown << list->topLevelItem(i)->text(0) + QLatin1Char('|') +
                             list->topLevelItem(i)->text(1);
            agree ? dialog->accept() : dialog->reject();
        });
        answer.start(10);
        VcsBase::VcsOutputWindow::clearContents();
        action->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(asked == !listed.isEmpty() && m_queue->isIdle(), 30000);
        QCOMPARE(shown, listed);
        if (listed.isEmpty()) {
            // The answer comes from the event loop once the changes are known.
            QTRY_VERIFY2(VcsBase::VcsOutputWindow::content().contains(
                             QLatin1String("There are no pending changes at or below")),
                         qPrintable(VcsBase::VcsOutputWindow::content()));
            QCOMPARE(pendingOnServer(), before);
            return;
        }
        const QString pane = VcsBase::VcsOutputWindow::content();
        QCOMPARE(pane.contains(QLatin1String(" undo ")), agree);
        QCOMPARE(pendingOnServer(), agree ? remaining : before);
        const bool mainUndone = agree && !remaining.contains(QLatin1String("main.cpp"));
        QCOMPARE(E2e::readAll(ws("main.cpp")) == edited, !mainUndone);
        // An add undone leaves its file, a rename undone takes the file back.
        QVERIFY(QFileInfo::exists(ws("added.h")));
        QCOMPARE(QFileInfo::exists(ws("README.md")), agree && remaining.isEmpty());
    }
}

QTEST_MAIN(tst_PendingChangesE2e)

#include "tst_pendingchanges_e2e.moc"
