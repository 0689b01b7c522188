// The editor follows its file on disk, as a version-control command leaves it: new content
// shows when nothing is unsaved, a file protected again is shown read-only, and the next
// change asks the edit guard again. Unsaved changes are never overwritten.

#include <editorwidget.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Workbench::EditorWidget;
using Workbench::Outcome;

class tst_Editor : public QObject
{
    Q_OBJECT

private slots:
    void followsTheDisk_data();
    void followsTheDisk();
    void refusalIsNotAskedAgainAtEveryKey();
};

void tst_Editor::followsTheDisk_data()
{
    QTest::addColumn<bool>("unsaved");      // a change typed before the disk changes
    QTest::addColumn<QByteArray>("written"); // written to the file; null: not written
    QTest::addColumn<bool>("protect");      // the write permission taken away
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("guardCalls");    // after one more key

    const QString original = QStringLiteral("int a;\nint b;\n");
    const QString typed = original + QLatin1Char('x');
    QTest::newRow("new content") << false << QByteArray("int c;\n") << false << "int c;\n" << false << 0;
    QTest::newRow("protected again") << false << QByteArray() << true << original << true << 1;
    QTest::newRow("new content and protected")
        << false << QByteArray("int c;\n") << true << "int c;\n" << true << 1;
    QTest::newRow("unsaved changes are kept") << true << QByteArray("int c;\n") << false << typed << false << 0;
    QTest::newRow("unsaved changes, protected again") << true << QByteArray() << true << typed << true << 1;
}

void tst_Editor::followsTheDisk()
{
    QFETCH(bool, unsaved);
    QFETCH(QByteArray, written);
    QFETCH(bool, protect);
    QFETCH(QString, shown);
    QFETCH(bool, readOnly);
    QFETCH(int, guardCalls);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("main.cpp"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("int a;\nint b;\n");
    out.close();

    EditorWidget editor;
    int calls = 0;
    // Refuses, so that a guarded key changes nothing.
    editor.setEditGuard([&calls](const QString &) {
        ++calls;
        return Outcome::failure(QStringLiteral("refused"));
    });
    QVERIFY(editor.openFile(file).ok);
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(5);
    editor.setTextCursor(cursor);
    if (unsaved)
        QVERIFY(editor.typeAtEnd(QStringLiteral("x")).ok);

    QSignalSpy changed(&editor, &EditorWidget::changedOnDisk);
    if (!written.isNull()) {
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(written);
        out.close();
    }
    if (protect)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
    QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(editor.isReadOnly(), readOnly, 10000);
    QCOMPARE(editor.toPlainText(), shown);
    QCOMPARE(editor.isModified(), unsaved);
    if (!unsaved)
        QCOMPARE(editor.textCursor().position(), 5);

    // The first change after the disk protected the file asks the guard, even for a buffer
    // that still holds unsaved changes.
    QVERIFY(editor.typeAtEnd(QStringLiteral("y")).ok == (guardCalls == 0));
    QCOMPARE(calls, guardCalls);
    QCOMPARE(editor.toPlainText().endsWith(QLatin1Char('y')), guardCalls == 0);
}

// A version control that refused to open the file is not asked again at each key of a burst:
// only when something may have changed (allowEditAttempt) or the person asks (retryEdit).
void tst_Editor::refusalIsNotAskedAgainAtEveryKey()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("main.cpp"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("int a;\n");
    out.close();
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));

    EditorWidget editor;
    int calls = 0;
    bool refuse = true;
    editor.setEditGuard([&](const QString &) {
        ++calls;
        if (refuse)
            return Outcome::failure(QStringLiteral("the login was refused"));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        return Outcome::success();
    });
    QVERIFY(editor.openFile(file).ok);
    QSignalSpy refused(&editor, &EditorWidget::editRefused);

    QCOMPARE(editor.typeAtEnd(QStringLiteral("abcdef")).message,
             QStringLiteral("the login was refused"));
    for (const QChar c : QStringLiteral("bcdef"))
        QVERIFY(!editor.typeAtEnd(QString(c)).ok);
    QCOMPARE(calls, 1);
    QCOMPARE(refused.count(), 1);
    QVERIFY(editor.isEditRefused());

    editor.allowEditAttempt();
    QVERIFY(!editor.typeAtEnd(QStringLiteral("g")).ok);
    QCOMPARE(calls, 2);
    refuse = false;
    QVERIFY(editor.retryEdit());
    QCOMPARE(calls, 3);
    QVERIFY(!editor.isEditRefused());
    QVERIFY(editor.typeAtEnd(QStringLiteral("h")).ok);
    QCOMPARE(editor.toPlainText(), QStringLiteral("int a;\nh"));
}

QTEST_MAIN(tst_Editor)

#include "tst_editor.moc"
