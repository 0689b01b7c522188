// The Pending Changes view and the project tree's markers, in the workbench's own window with
// the fake version-control plugin loaded as the workbench loads it: what they show, what a
// person's clicks reach, and a version control that cannot read its changes.

#include "e2eutils.h"
#include "pendingrows.h"

#include <core/hostservices.h>
#include <core/icore.h>
#include <editorwidget.h>
#include <extensionsystem/pluginmanager.h>
#include <mainwindow.h>
#include <pendingchangesview.h>
#include <projectmodel.h>
#include <vcsbase/jobqueue.h>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {
// What scripts the fake tool, which inherits the test's environment.
const char *const TOOL_VARIABLES[] = {"FAKEVCS_PENDING", "FAKEVCS_LOG", "FAKEVCS_FAIL",
                                      "FAKEVCS_PENDING_DELAY_MS"};
} // namespace

class tst_PendingView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void viewTreeAndActions();
    void failureIsShownNotAnEmptyList();

private:
    QString repo(const QString &name = QString()) const
    {
        return m_dir->path() + QLatin1String("/repo") +
               (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QStringList calls() const
    {
        return QString::fromUtf8(E2e::readAll(m_dir->path() + QLatin1String("/calls.log")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // "change|relative path", candidates prefixed with "?", as the view lists them.
    QStringList shownRows() const;
    QString treeName(const QString &file) const
    {
        Workbench::ProjectModel *model = m_window->projectModel();
        return model->data(model->index(repo(file))).toString();
    }
    Workbench::PendingChangesView *view() const { return m_window->pendingChanges(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Core::HostServices> m_services;
    std::unique_ptr<VcsBase::JobQueue> m_queue;
    std::unique_ptr<Workbench::MainWindow> m_window;
};

QStringList tst_PendingView::shownRows() const
{
    return E2e::shownPendingRows(view());
}

void tst_PendingView::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(
        E2e::writeFile(repo(".fakevcs"), "tracked main.cpp\ntracked util.cpp\ntracked old.txt\n"));
    QVERIFY(E2e::writeFile(repo("main.cpp"), "int main() {}\n"));
    // Checked in: the first change opens it for editing through the version control.
    QVERIFY(QFile::setPermissions(repo("main.cpp"), QFile::ReadOwner | QFile::ReadGroup));
    QVERIFY(E2e::writeFile(repo("util.cpp"), "int util;\n"));
    QVERIFY(E2e::writeFile(repo("old.txt"), "old\n"));
    QVERIFY(E2e::writeFile(repo("notes.txt"), "not tracked\n"));
    QVERIFY(E2e::writeFile(m_dir->path() + QLatin1String("/settings/workbench.ini"),
                           "[FakeVcs]\nBinary=" FAKEVCS_TOOL "\n"));
    qputenv("FAKEVCS_PENDING", "1");
    qputenv("FAKEVCS_LOG", (m_dir->path() + QLatin1String("/calls.log")).toLocal8Bit());

    // As the workbench starts: services, the job queue, the window, then the plugins.
    Core::ICore::setSettingsPath(m_dir->path() + QLatin1String("/settings"));
    m_services = std::make_unique<Core::HostServices>();
    m_queue = std::make_unique<VcsBase::JobQueue>();
    m_window = std::make_unique<Workbench::MainWindow>();
    m_window->setInteractive(false);
    m_services->pluginManager()->loadPlugins(
        QFileInfo(QStringLiteral(FAKEVCS_PLUGIN)).absolutePath());
    QCOMPARE(m_services->pluginManager()->errors(), QStringList());
    m_window->pluginsLoaded({});
    m_window->show();
    m_window->showPendingChanges();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_PendingView::cleanup()
{
    m_queue.reset();
    m_services->shutdownPlugins();
    m_window.reset();
    m_services.reset();
    for (const char *name : TOOL_VARIABLES)
        qunsetenv(name);
    m_dir.reset();
}

void tst_PendingView::viewTreeAndActions()
{
    // The first reading takes long: the window goes on meanwhile and says it is reading.
    qputenv("FAKEVCS_PENDING_DELAY_MS", "1500");
    QVERIFY(m_window->openProject(repo()).ok);
    auto message = view()->findChild<QLabel *>(QStringLiteral("pendingChangesMessage"));
    QVERIFY(view()->isRefreshing());
    QCOMPARE(message->text(), QStringLiteral("Reading the pending changes..."));
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), QStringList{"?add|notes.txt"}, 30000);
    qunsetenv("FAKEVCS_PENDING_DELAY_MS");

    // Changes made through the IDE: the version control reads its changes again after them.
    QVERIFY(m_window->editFile(repo("main.cpp"), QStringLiteral("// more\n")).ok);
    QVERIFY(m_window->newFile(repo("src/new.cpp"), QStringLiteral("new\n")).ok);
    QVERIFY(m_window->renameFile(repo("util.cpp"), repo("src/util2.cpp")).ok);
    QVERIFY(m_window->deleteFile(repo("old.txt")).ok);
    const QStringList rows{"edit|main.cpp", "delete|old.txt", "add|src/new.cpp",
                           "rename|src/util2.cpp", "?add|notes.txt"};
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), rows, 30000);
    QVERIFY(message->text().isEmpty());
    // The tree marks pending changes only; candidates look as any other file.
    QCOMPARE(treeName("main.cpp"), QStringLiteral("main.cpp [edit]"));
    QCOMPARE(treeName("src/new.cpp"), QStringLiteral("new.cpp [add]"));
    QCOMPARE(treeName("src/util2.cpp"), QStringLiteral("util2.cpp [rename]"));
    QCOMPARE(treeName("notes.txt"), QStringLiteral("notes.txt"));
    QCOMPARE(treeName("src"), QStringLiteral("src"));

    // Double-clicking a row opens its file.
    auto list = view()->findChild<QTreeWidget *>(QStringLiteral("pendingChangesList"));
    QTreeWidgetItem *mainRow = list->topLevelItem(0)->child(0);
    QTreeWidgetItem *newRow = list->topLevelItem(0)->child(2);
    QCOMPARE(m_window->editor()->filePath(), repo("src/new.cpp"));
    const QPoint centre = list->visualItemRect(mainRow).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTRY_COMPARE(m_window->editor()->filePath(), repo("main.cpp"));

    // The context menu acts on the selected rows, and the view follows.
    mainRow->setSelected(true);
    newRow->setSelected(true);
    std::unique_ptr<QMenu> menu(view()->createContextMenu());
    QStringList texts;
    QAction *undo = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        texts << action->text();
        // History is of one file; two rows are selected.
        QCOMPARE(action->isEnabled(), action->text() != QLatin1String("History"));
        if (action->text() == QLatin1String("Undo"))
            undo = action;
    }
    QCOMPARE(texts, QStringList({"Compare", "Undo", "Check In", "History"}));
    undo->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(
        calls().contains((QStringList{repo(), "undo", repo("main.cpp"), repo("src/new.cpp")})
                             .join(QLatin1Char('|'))),
        30000);
    // The command brought the output pane to the front; behind it the view has followed.
    m_window->showPendingChanges();
    QTRY_COMPARE_WITH_TIMEOUT(
        shownRows(), QStringList({"delete|old.txt", "rename|src/util2.cpp", "?add|notes.txt"}),
        30000);
    QCOMPARE(treeName("main.cpp"), QStringLiteral("main.cpp"));

    // Nothing selected: nothing to act on.
    list->clearSelection();
    menu.reset(view()->createContextMenu());
    for (QAction *action : menu->actions())
        QVERIFY(action->isSeparator() || !action->isEnabled());
}

void tst_PendingView::failureIsShownNotAnEmptyList()
{
    QVERIFY(m_window->openProject(repo()).ok);
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), QStringList{"?add|notes.txt"}, 30000);
    QVERIFY(m_window->editFile(repo("main.cpp"), QStringLiteral("// more\n")).ok);
    QTRY_COMPARE_WITH_TIMEOUT(treeName("main.cpp"), QStringLiteral("main.cpp [edit]"), 30000);

    qputenv("FAKEVCS_FAIL", "pending");
    auto refresh = view()->findChild<QPushButton *>(QStringLiteral("refreshPendingChanges"));
    refresh->click();
    auto message = view()->findChild<QLabel *>(QStringLiteral("pendingChangesMessage"));
    QTRY_COMPARE_WITH_TIMEOUT(message->text(),
                              QStringLiteral("The pending changes could not be read: "
                                             "fakevcs: pending refused"),
                              30000);
    QCOMPARE(shownRows(), QStringList());
    // What was marked is no longer known to be true.
    QCOMPARE(treeName("main.cpp"), QStringLiteral("main.cpp"));

    qunsetenv("FAKEVCS_FAIL");
    refresh->click();
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(), QStringList({"edit|main.cpp", "?add|notes.txt"}), 30000);
    QVERIFY(message->text().isEmpty());
}

QTEST_MAIN(tst_PendingView)

#include "tst_pendingview.moc"
