// The workbench's window as a person uses it: the status bar's messages and the locator.

#include <core/hostservices.h>
#include <heartbeat.h>
#include <locatorwidget.h>
#include <mainwindow.h>
#include <outputpane.h>

#include <vcsbase/vcsoutputwindow.h>

#include <QScrollBar>
#include <QStatusBar>
#include <QThread>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void messagesLeaveTheLocatorAlone();
    void paneShowsTheStartOfItsLines();
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

void tst_MainWindow::paneShowsTheStartOfItsLines()
{
    // A line wider than the pane, written before the window is first shown (a plugin's
    // message at start-up), must not scroll the pane sideways: every later line would then
    // show only its end, or nothing.
    Core::HostServices services;
    Workbench::MainWindow window;
    VcsBase::VcsOutputWindow::appendWarning(QString(300, QLatin1Char('x')));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto pane = window.findChild<Workbench::OutputPane *>();
    QVERIFY(pane->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(pane->horizontalScrollBar()->value(), 0);
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
