// Reading the pending changes that "tf status -format:xml" prints: the layouts of both real
// clients, what newer clients may add, broken output, and what the stand-in tf prints.
#include "../common/statussamples.h"

#include <pendingchanges.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using namespace TeamFoundation::Internal;

namespace {

// Every field that is set, so that a row shows at a glance what was read.
QString summary(const PendingChange &c)
{
    QStringList parts{QLatin1String(c.candidate ? "candidate" : "pending"),
                      c.changeTypes.join(QLatin1Char('+')), c.serverItem};
    auto add = [&](const char *label, const QString &value) {
        if (!value.isEmpty())
            parts << QLatin1String(label) + QLatin1Char('=') + value;
    };
    add("from", c.sourceItem);
    add("local", c.localItem);
    add("lock", c.lock);
    add("version", c.version ? QString::number(c.version) : QString());
    add("owner", c.owner);
    add("workspace", c.workspace);
    add("computer", c.computer);
    add("date", c.date);
    add("file-type", c.fileType);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class tst_PendingChanges : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void standInStatus();
};

void tst_PendingChanges::parse_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QByteArray>("encoding"); // what the bytes are in, for the decoded reading
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("error"); // the start of the message; empty: no error

    const QByteArray sample(crossPlatformStatusSample);
    QTest::newRow("cross-platform client: a rename and a candidate")
        << sample << QByteArray("UTF-8")
        << QStringList{"pending rename $/P/F/New.java from=$/P/F/Old.java "
                       "local=/home/ann/w/F/New.java lock=none version=217 owner=ann "
                       "workspace=W1 computer=PC1 date=2017-02-08T11:12:06.766-0500 "
                       "file-type=windows-1252",
                       "candidate add $/P/test.txt local=/home/ann/w/test.txt lock=none owner=ann "
                       "workspace=W1 computer=PC1 date=2016-07-13T12:36:51.060-0400"}
        << QString();
    // The .NET client's console: CR LF, a UTF-16 declaration on 8-bit text, words as its
    // enumeration prints them, a lock.
    QTest::newRow("tf.exe: CR LF, UTF-16 declared, several words")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<status>\r\n"
                      "<pending-changes>\r\n<pending-change server-item=\"$/P/Sub Dir/B.cs\" "
                      "version=\"9\" lock=\"checkin\" change-type=\"Edit, Rename\" "
                      "source-item=\"$/P/A.cs\" local-item=\"C:\\w\\Sub Dir\\B.cs\" />\r\n"
                      "</pending-changes>\r\n<candidate-pending-changes />\r\n</status>\r\n")
        << QByteArray("UTF-8")
        << QStringList{"pending edit+rename $/P/Sub Dir/B.cs from=$/P/A.cs "
                       "local=C:\\w\\Sub Dir\\B.cs lock=checkin version=9"}
        << QString();
    QTest::newRow("tf.exe: its code page declared")
        << QByteArray(
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<status><pending-changes>"
               "<pending-change server-item=\"$/P/caf\xe9.txt\" change-type=\"delete\" "
               "local-item=\"C:\\w\\caf\xe9.txt\"/></pending-changes></status>")
        << QByteArray("windows-1252")
        << QStringList{QString::fromUtf8("pending delete $/P/caf\xc3\xa9.txt "
                                         "local=C:\\w\\caf\xc3\xa9.txt")}
        << QString();
    QTest::newRow("escaped characters, no local item")
        << QByteArray("<status><pending-changes><pending-change server-item=\"$/P/a&amp;b "
                      "&lt;&quot;c&quot;&gt;.md\" change-type=\"add, encoding\"/>"
                      "</pending-changes></status>")
        << QByteArray("UTF-8") << QStringList{"pending add+encoding $/P/a&b <\"c\">.md"}
        << QString();
    QTest::newRow("empty lists")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<status>\n<pending-changes>\n"
                      "</pending-changes>\n<candidate-pending-changes/>\n</status>\n")
        << QByteArray("UTF-8") << QStringList() << QString();
    QTest::newRow("<status/>") << QByteArray("<status/>") << QByteArray("UTF-8") << QStringList()
                               << QString();
    QTest::newRow("what newer clients may add is passed over")
        << QByteArray("<status summary=\"1\"><conflicts><pending-change server-item=\"$/P/c\"/>"
                      "</conflicts><pending-changes><note/><pending-change server-item=\"$/P/x\" "
                      "change-type=\"edit\" future=\"yes\"><detail><pending-change "
                      "server-item=\"$/P/inner\"/></detail></pending-change></pending-changes>"
                      "</status>")
        << QByteArray("UTF-8") << QStringList{"pending edit $/P/x"} << QString();

    QTest::newRow("truncated") << sample.left(sample.indexOf("<candidate-pending-changes>") + 40)
                               << QByteArray("UTF-8") << QStringList()
                               << "Line 9, column 12: Premature end of document.";
    QTest::newRow("malformed")
        << QByteArray("<status>\n<pending-changes>\n<pending-change server-item=\"$/P/x\">\n"
                      "</pending-changes>\n</status>\n")
        << QByteArray("UTF-8") << QStringList()
        << "Line 4, column 18: Opening and ending tag mismatch.";
    QTest::newRow("no output") << QByteArray() << QByteArray("UTF-8") << QStringList()
                               << "Line 1, column 0: Premature end of document.";
    QTest::newRow("a message instead of XML")
        << QByteArray("Unable to determine the workspace.\n") << QByteArray("UTF-8")
        << QStringList() << "Line 1, column 1: Start tag expected.";
    QTest::newRow("another document")
        << QByteArray("<html><body/></html>") << QByteArray("UTF-8") << QStringList()
        << "Line 1, column 6: The document is no status but <html>.";
    QTest::newRow("a change without server item")
        << QByteArray("<status><pending-changes><pending-change local-item=\"/w/x\"/>"
                      "</pending-changes></status>")
        << QByteArray("UTF-8") << QStringList()
        << "Line 1, column 60: A pending change names no server item.";
    QTest::newRow("something after the document")
        << QByteArray("<status/>\nThe command failed.") << QByteArray("UTF-8") << QStringList()
        << "Line 2, column 1: Extra content at end of document.";
}

void tst_PendingChanges::parse()
{
    QFETCH(QByteArray, xml);
    QFETCH(QByteArray, encoding);
    QFETCH(QStringList, expected);
    QFETCH(QString, error);

    // The bytes as a client printed them, and the text as a job decoded it: the same reading.
    const QString text = QTextCodec::codecForName(encoding)->toUnicode(xml);
    for (const bool decoded : {false, true}) {
        QList<PendingChange> changes{PendingChange()};
        QString message = QStringLiteral("stale");
        const bool ok = decoded ? parsePendingChanges(text, &changes, &message)
                                : parsePendingChanges(xml, &changes, &message);
        QStringList rows;
        for (const PendingChange &change : qAsConst(changes))
            rows << summary(change);
        QCOMPARE(rows, expected);
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error),
                 qPrintable(message));
    }
}

// What the stand-in prints for a checked-out project with a pending edit, rename and add, a
// file that is not added and one missing on disk.
void tst_PendingChanges::standInStatus()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TF_SERVER"));
    env.remove(QStringLiteral("TF_STANDIN_GRAMMAR"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("xdg")));
    env.insert(QStringLiteral("HOME"), dir.path());
    const QString app = dir.filePath(QStringLiteral("App"));
    auto tf = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QFileInfo::exists(app) ? app : dir.path());
        process.start(QStringLiteral(TF_EXECUTABLE), arguments);
        process.waitForFinished(60000);
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qWarning() << arguments << process.readAllStandardError();
        return process.readAllStandardOutput();
    };
    auto write = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    tf({"seed"});
    tf({"workspace", "-new", "W", "-collection:"});
    tf({"workfold", "-map", "$/Demo/App", app, "-workspace:W"});
    tf({"get", app, "-recursive"});
    tf({"checkout", "main.cpp"});
    QVERIFY(write(app + "/main.cpp", "edited\n"));
    tf({"rename", "README.md", "read me.md"});
    QVERIFY(write(app + "/added.cpp", "added\n"));
    tf({"add", "added.cpp"});
    QVERIFY(write(app + "/new.txt", "not added\n"));
    QVERIFY(QFile::remove(app + "/CMakeLists.txt"));

    QList<PendingChange> changes;
    QString error;
    QVERIFY2(
        parsePendingChanges(tf({"status", app, "-recursive", "-format:xml"}), &changes, &error),
        qPrintable(error));
    QStringList rows;
    for (const PendingChange &c : qAsConst(changes)) {
        rows << QStringLiteral("%1 %2 %3 %4 <- %5")
                    .arg(QLatin1String(c.candidate ? "candidate" : "pending"), c.changeTypeText(),
                         c.serverItem, c.localItem, c.sourceItem);
        QCOMPARE(c.workspace, QStringLiteral("W"));
    }
    rows.sort();
    const QString expected[] = {
        "candidate add $/Demo/App/new.txt %1/new.txt <- ",
        "candidate delete $/Demo/App/CMakeLists.txt %1/CMakeLists.txt <- ",
        "pending add $/Demo/App/added.cpp %1/added.cpp <- ",
        "pending edit $/Demo/App/main.cpp %1/main.cpp <- ",
        "pending rename $/Demo/App/read me.md %1/read me.md <- $/Demo/App/README.md"};
    QStringList expectedRows;
    for (const QString &row : expected)
        expectedRows << row.arg(app);
    QCOMPARE(rows, expectedRows);
}

QTEST_GUILESS_MAIN(tst_PendingChanges)

#include "tst_pendingchanges.moc"
