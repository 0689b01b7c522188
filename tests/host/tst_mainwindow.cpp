// The workbench's window as a person uses it: the status bar's messages and the locator.

#include <core/hostservices.h>
#include <locatorwidget.h>
#include <mainwindow.h>

#include <QStatusBar>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void messagesLeaveTheLocatorAlone();
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

QTEST_MAIN(tst_MainWindow)

#include "tst_mainwindow.moc"
