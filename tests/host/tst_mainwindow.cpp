// The workbench's window as a person uses it: the status bar's messages and the locator.

#include <core/hostservices.h>
#include <editorwidget.h>
#include <heartbeat.h>
#include <locatorwidget.h>
#include <mainwindow.h>
#include <outputpane.h>
#include <pendingchangesview.h>

#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>
#include <vcsbase/vcsprocess.h>

#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>
#include <QThread>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void messagesLeaveTheLocatorAlone();
    void paneKeepsOutputInSight();
    void anotherProjectTakesItsFiles_data();
    void anotherProjectTakesItsFiles();
    void heartbeatMeasuresABlockedThread();
};

void tst_MainWindow::messagesLeaveTheLocatorAlone()
{
    Core::HostServices services;
    Workbench::MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
    QTRY_VERIFY(window.locator()->hasFocus());
    QTest::keyClicks(window.locator(), QStringLiteral("tfs"));
    // A message arrives while the person is typing: it is shown, and the typing goes on.
    window.notify(QStringLiteral("The file is read-only."));
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("The file is read-only."));
    QVERIFY(window.locator()->isVisible());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(" check"));
    QCOMPARE(window.locator()->text(), QStringLiteral("tfs check"));
    QVERIFY(window.locator()->hasFocus());
}

void tst_MainWindow::paneKeepsOutputInSight()
{
    // What a person's command writes is seen: the pane comes to the front for a job whose
    // output goes there (not for the reads whose output a view shows), a line wider than the
    // pane wraps instead of running off its edge (or scrolling every line sideways), the pane
    // follows new output while it shows its end, and scrolled up it stays at what the person
    // reads, also while its oldest lines are dropped, and offers a marker to the new output.
    using VcsBase::VcsOutputWindow;
    Core::HostServices services;
    Workbench::MainWindow window;
    VcsOutputWindow::appendWarning(QString(300, QLatin1Char('x')));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto pane = window.findChild<Workbench::OutputPane *>();
    auto tabs = window.findChild<QTabWidget *>(QStringLiteral("paneTabs"));
    auto marker = pane->findChild<QToolButton *>(QStringLiteral("newOutputMarker"));
    QVERIFY(pane && tabs && marker);
    QCOMPARE(pane->horizontalScrollBar()->maximum(), 0);

    VcsBase::JobQueue queue;
    auto runJob = [&queue](VcsBase::RunFlags flags) {
        auto job = new VcsBase::VcsJob(QStringLiteral("/bin/true"), {});
        job->setFlags(flags);
        QSignalSpy ended(job, &VcsBase::VcsJob::finished);
        queue.submit(job);
        return ended.count() == 1 || ended.wait(10000);
    };
    window.showPendingChanges();
    // A silent read, and a read that logs its command but keeps its output for a view.
    for (VcsBase::RunFlags flags :
         {VcsBase::RunFlags(VcsBase::RunFlag::SuppressCommandLogging), VcsBase::RunFlags()}) {
        QVERIFY(runJob(flags));
        QCOMPARE(tabs->currentWidget(), window.pendingChanges());
    }
    QVERIFY(runJob(VcsBase::RunFlag::ShowStdOutInLogWindow));
    QCOMPARE(tabs->currentWidget(), pane);

    auto lines = [](int from, int count) {
        QString text;
        for (int i = from; i < from + count; ++i)
            text += QStringLiteral("line %1\n").arg(i);
        return text;
    };
    auto topLine = [pane] { return pane->cursorForPosition(QPoint(1, 1)).block().text(); };
    for (int i = 0; i < 15; ++i)
        VcsOutputWindow::appendOutput(lines(i * 1000, 1000));
    QVERIFY(pane->verticalScrollBar()->maximum() > 0);
    QVERIFY(pane->isAtEnd());
    QVERIFY(marker->isHidden());

    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum() - 500);
    const QString reading = topLine();
    for (int i = 15; i < 25; ++i)
        VcsOutputWindow::appendOutput(lines(i * 1000, 1000));
    QVERIFY(pane->document()->blockCount() <= Workbench::OutputPane::MaxBlocks);
    QVERIFY(pane->droppedBytes() > 0);
    QCOMPARE(topLine(), reading);
    QVERIFY(!pane->isAtEnd());
    QVERIFY(marker->isVisible());

    QTest::mouseClick(marker, Qt::LeftButton);
    QVERIFY(pane->isAtEnd());
    QVERIFY(marker->isHidden());
}

void tst_MainWindow::anotherProjectTakesItsFiles_data()
{
    QTest::addColumn<QString>("file");  // the file in the editor, relative to the sandbox
    QTest::addColumn<bool>("unsaved");  // it has unsaved changes (a scripted run: nobody asked)
    QTest::addColumn<bool>("opened");   // the other project opens
    QTest::addColumn<QString>("shown"); // the editor's file afterwards; empty: none
    QTest::newRow("a file of the previous project") << "old/main.cpp" << false << true << "";
    QTest::newRow("a file of the new project") << "new/main.cpp" << false << true << "new/main.cpp";
    QTest::newRow("unsaved changes") << "old/main.cpp" << true << false << "old/main.cpp";
}

void tst_MainWindow::anotherProjectTakesItsFiles()
{
    // A checkout opens the project it got: the editor must not go on showing a file of the
    // previous project under the new project's name, nor drop unsaved changes unasked.
    QFETCH(QString, file);
    QFETCH(bool, unsaved);
    QFETCH(bool, opened);
    QFETCH(QString, shown);
    QTemporaryDir sandbox;
    const QDir dir(sandbox.path());
    for (const char *name : {"old/main.cpp", "new/main.cpp"}) {
        QVERIFY(dir.mkpath(QFileInfo(QLatin1String(name)).path()));
        QFile out(dir.absoluteFilePath(QLatin1String(name)));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write("int main() {}\n") > 0);
    }
    Core::HostServices services;
    Workbench::MainWindow window;
    window.setInteractive(false);
    QVERIFY(window.openProject(dir.absoluteFilePath(QStringLiteral("old"))).ok);
    QVERIFY(window.openFile(dir.absoluteFilePath(file)).ok);
    if (unsaved)
        QVERIFY(window.typeText(QStringLiteral("// more\n")).ok);

    const QString project = dir.absoluteFilePath(QStringLiteral("new"));
    QCOMPARE(window.openProject(project).ok, opened);
    QCOMPARE(window.projectDirectory(),
             opened ? project : dir.absoluteFilePath(QStringLiteral("old")));
    QCOMPARE(window.currentFile(), shown.isEmpty() ? QString() : dir.absoluteFilePath(shown));
    QCOMPARE(window.editor()->isModified(), unsaved);
}

// A blocked thread keeps the heartbeat from beating: that is a stall, counted once.
void tst_MainWindow::heartbeatMeasuresABlockedThread()
{
    Workbench::Heartbeat heartbeat;
    heartbeat.take();
    QThread::msleep(300);
    const Workbench::Heartbeat::Stalls stalls = heartbeat.take();
    QVERIFY2(stalls.longestMs >= 250, qPrintable(QString::number(stalls.longestMs)));
    QVERIFY2(stalls.totalMs >= stalls.longestMs, qPrintable(QString::number(stalls.totalMs)));
    // Counted anew: the stall belongs to the period before.
    QVERIFY(heartbeat.take().longestMs < 250);
}

QTEST_MAIN(tst_MainWindow)

#include "tst_mainwindow.moc"
