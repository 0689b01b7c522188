// Reading the pending changes that "tf status -format:xml" prints: the layouts of both real
// clients, what newer clients may add, broken output, and what the stand-in tf prints; and
// the plugin offering them to the IDE: what it announces, and what its reads cost.
#include "../common/statussamples.h"
#include "testhost.h"

#include <core/ipendingchanges.h>
#include <core/iversioncontrol.h>
#include <extensionsystem/pluginmanager.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>

#include <checkindialog.h>
#include <pendingchanges.h>
#include <teamfoundationclient.h>
#include <teamfoundationplugin.h>

#include <QDeadlineTimer>
#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTreeWidget>
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

// The recording tf's processes that run now, below this test.
QSet<qint64> runningRecorders()
{
    QSet<qint64> pids;
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    const QString recorder = QFileInfo(QStringLiteral(TFRECORDER_PATH)).canonicalFilePath();
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold anything.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1) == self && fields.value(0) != "Z" &&
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath() == recorder)
            pids.insert(entry.toLongLong());
    }
    return pids;
}

// The processes started since the last call, once those still running have written down
// their start: a client kept for the next command may be younger than the last answer.
// 'seen' holds those met before.
QList<Started> settledStarts(TestHost &host, QSet<qint64> &seen)
{
    QList<Started> starts;
    // Bounded: a start not written down by then shows as a missing process.
    (void)QTest::qWaitFor(
        [&] {
            for (const Started &start : host.takeStarts()) {
                starts << start;
                seen.insert(start.pid);
            }
            return seen.contains(runningRecorders());
        },
        30000);
    return starts;
}

Core::IPendingChanges *provider()
{
    return ExtensionSystem::PluginManager::getObject<Core::IPendingChanges>();
}

} // namespace

class tst_PendingChanges : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void standInStatus();
    void offeredToTheIde_data();
    void offeredToTheIde();
    void readsAfterChanges_data();
    void readsAfterChanges();
    void checkInTakesTheFoldersItNeeds_data();
    void checkInTakesTheFoldersItNeeds();
    void undoAsksWhenTheChangesCome_data();
    void undoAsksWhenTheChangesCome();
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
    // tf.exe's layout read into the same values; it names no lock.
    QTest::newRow("tf.exe: the same rename")
        << QByteArray(tfExeStatusSample) << QByteArray("UTF-8")
        << QStringList{"pending rename $/P/F/New.java from=$/P/F/Old.java "
                       "local=C:\\w\\F\\New.java version=217 owner=ann workspace=W1 computer=PC1 "
                       "date=2017-02-08T11:12:06.766-0500 file-type=windows-1252"}
        << QString();
    // The .NET client's console: CR LF, a UTF-16 declaration on 8-bit text, two pending sets,
    // change types as its enumeration prints them, a binary file.
    QTest::newRow("tf.exe: CR LF, UTF-16 declared, several words")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<Status>\r\n"
                      "<PendingSet computer=\"PC1\" name=\"W1\" owner=\"dom\\ann\">\r\n"
                      "<PendingChanges>\r\n<PendingChange chg=\"Edit Rename\" "
                      "item=\"$/P/Sub Dir/B.cs\" ver=\"9\" srcitem=\"$/P/A.cs\" "
                      "local=\"C:\\w\\Sub Dir\\B.cs\" enc=\"-1\" />\r\n</PendingChanges>\r\n"
                      "</PendingSet>\r\n<PendingSet name=\"W2\"><PendingChanges><PendingChange "
                      "chg=\"Add, Encoding\" item=\"$/Q/n.txt\" enc=\"65001\"/></PendingChanges>"
                      "</PendingSet>\r\n</Status>\r\n")
        << QByteArray("UTF-8")
        << QStringList{"pending edit+rename $/P/Sub Dir/B.cs from=$/P/A.cs "
                       "local=C:\\w\\Sub Dir\\B.cs version=9 owner=dom\\ann workspace=W1 "
                       "computer=PC1 file-type=binary",
                       "pending add+encoding $/Q/n.txt workspace=W2 file-type=utf-8"}
        << QString();
    QTest::newRow("tf.exe: its code page declared")
        << QByteArray(
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Status><PendingSet name=\"W\">"
               "<PendingChanges><PendingChange item=\"$/P/caf\xe9.txt\" chg=\"Delete\" "
               "local=\"C:\\w\\caf\xe9.txt\"/></PendingChanges></PendingSet></Status>")
        << QByteArray("windows-1252")
        << QStringList{QString::fromUtf8("pending delete $/P/caf\xc3\xa9.txt "
                                         "local=C:\\w\\caf\xc3\xa9.txt workspace=W")}
        << QString();
    QTest::newRow("tf.exe: a change without its item")
        << QByteArray("<Status><PendingSet><PendingChanges><PendingChange local=\"C:\\x\"/>"
                      "</PendingChanges></PendingSet></Status>")
        << QByteArray("UTF-8") << QStringList()
        << "Line 1, column 65: A pending change names no server item.";
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
// file that is not added and one missing on disk (listed as candidates, as the real client
// lists them for a local workspace).
void tst_PendingChanges::standInStatus()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TF_SERVER"));
    env.remove(QStringLiteral("TF_STANDIN_GRAMMAR"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("xdg")));
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("TEE_PROFILE_DIRECTORY"), dir.filePath(QStringLiteral("profile")));
    env.insert(QStringLiteral("TF_STANDIN_CANDIDATES"), QStringLiteral("1"));
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
    const QString collection = QStringLiteral("-collection:") + dir.filePath(QStringLiteral("server"));
    tf({"eula", "-accept"});
    tf({"seed", collection});
    tf({"workspace", "-new", "W", collection});
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

// What the view hears for the project, read with the recording tf's status answer, and what
// the pane says when that answer cannot be read.
void tst_PendingChanges::offeredToTheIde_data()
{
    QTest::addColumn<QByteArray>("statusXml"); // %1: the project; null: the recorder's answer
    QTest::addColumn<bool>("runFails");
    QTest::addColumn<QStringList>("rows"); // "change|path below the project", "?" for candidates
    QTest::addColumn<QString>("error");    // the start of the view's message; empty: rows

    const QByteArray head("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<status>\n");
    QTest::newRow("every file checked out")
        << QByteArray() << false << QStringList{"edit|main.cpp", "edit|src/util.cpp"}
        << QString();
    QTest::newRow("several words, a candidate, a file of another project")
        << head + "<pending-changes>\n<pending-change server-item=\"$/P/b.cpp\" "
                  "change-type=\"edit, rename\" source-item=\"$/P/a.cpp\" local-item=\"%1/b.cpp\"/>\n"
                  "<pending-change server-item=\"$/Q/x.cpp\" change-type=\"edit\" "
                  "local-item=\"/elsewhere/x.cpp\"/>\n</pending-changes>\n"
                  "<candidate-pending-changes>\n<pending-change server-item=\"$/P/n.txt\" "
                  "change-type=\"add\" local-item=\"%1/n.txt\"/>\n</candidate-pending-changes>\n"
                  "</status>\n"
        << false << QStringList{"?add|n.txt", "edit, rename|b.cpp"} << QString();
    QTest::newRow("nothing pending")
        << head + "<pending-changes/><candidate-pending-changes/></status>\n" << false
        << QStringList() << QString();
    QTest::newRow("cut short")
        << head + "<pending-changes>\n<pending-change server-item=\"$/P/b.cpp\" "
                  "change-type=\"edit\" local-item=\"%1/b.cpp\"/>\n"
        << false << QStringList() << "Line ";
    QTest::newRow("malformed")
        << head + "<pending-changes><pending-change server-item=\"$/P/b.cpp\"></status>\n"
        << false << QStringList() << "Line ";
    QTest::newRow("the run fails") << QByteArray() << true << QStringList() << "The command";
}

void tst_PendingChanges::offeredToTheIde()
{
    QFETCH(QByteArray, statusXml);
    QFETCH(bool, runFails);
    QFETCH(QStringList, rows);
    QFETCH(QString, error);
    TestHost host;
    host.configure(QString(), QString(), 30, ClientKind::CrossPlatform);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("ws"));
    host.setCurrentFile(host.makeFile(QStringLiteral("ws/main.cpp")), project);
    host.makeFile(QStringLiteral("ws/src/util.cpp"));
    if (!statusXml.isNull())
        host.setResponse("TFREC_STATUS_XML", QString::fromUtf8(statusXml).arg(project).toUtf8());
    if (runFails)
        host.setResponse("TFREC_FAIL_WORD", "status");
    QVERIFY(plugin);
    VcsBase::VcsOutputWindow::clearContents();

    QSignalSpy read(provider(), &Core::IPendingChanges::rowsRead);
    QSignalSpy failed(provider(), &Core::IPendingChanges::readFailed);
    // Asked twice: a failure is said once in the pane.
    for (int answers = 1; answers <= 2; ++answers) {
        provider()->refresh(project);
        QTRY_COMPARE_WITH_TIMEOUT(read.count() + failed.count(), answers, 30000);
    }
    QCOMPARE(read.count(), error.isEmpty() ? 2 : 0);
    QStringList shown;
    QString message;
    if (error.isEmpty()) {
        QCOMPARE(read.last().at(0).toString(), project);
        for (const auto &row : read.last().at(1).value<QList<Core::PendingChangeRow>>()) {
            shown << QLatin1String(row.candidate ? "?" : "") + row.changeType +
                         QLatin1Char('|') + QDir(project).relativeFilePath(row.localFile);
        }
    } else {
        QCOMPARE(failed.last().at(0).toString(), project);
        message = failed.last().at(1).toString();
    }
    shown.sort();
    QCOMPARE(shown, rows);
    QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error), qPrintable(message));
    const QString pane = VcsBase::VcsOutputWindow::content();
    const QString commandLine = QStringLiteral(" status %1 -recursive -format:xml -noprompt\n").arg(project);
    QCOMPARE(pane.count(commandLine), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty())
        QCOMPARE(pane.count(message), 1);
}

// The pending changes of the project the IDE shows are read again after the plugin's
// commands (not those that only look) and file operations, once for a burst, with a client
// slow to start: each read costs at most one process more than the same work without it. A
// person's command does not wait for a read that runs: the read is stopped, and made after
// the command (whether the stopped one had got as far as its command is a matter of timing).
void tst_PendingChanges::readsAfterChanges_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("reads"); // the status runs it costs
    QTest::addColumn<bool>("stopped"); // a read was stopped: it may or may not have run
    QTest::newRow("a command") << "undo" << 1 << false;
    QTest::newRow("a command that only looks") << "history" << 0 << false;
    QTest::newRow("a file operation") << "add" << 1 << false;
    QTest::newRow("three commands in a row") << "undo undo undo" << 1 << false;
    QTest::newRow("three refreshes in a row") << "refresh refresh refresh" << 1 << false;
    QTest::newRow("a refresh while one reads") << "refresh wait refresh" << 2 << false;
    QTest::newRow("a command while one reads") << "refresh wait undo" << 2 << true;
}

void tst_PendingChanges::readsAfterChanges()
{
    QFETCH(QString, action);
    QFETCH(int, reads);
    QFETCH(bool, stopped);
    int processes[2] = {0, 0};
    for (const bool shown : {false, true}) {
        TestHost host;
        host.configure(QString(), QString(), 30, ClientKind::CrossPlatform);
        host.setResponse("TFREC_STARTUP_MS", "500");
        // Long enough to ask while a read runs.
        host.setResponse("TFREC_DELAY_MS", "200");
        TeamFoundationPlugin *plugin = host.loadPlugin();
        QVERIFY(plugin);
        // The commands run in the file's directory, the reads at the top level.
        const QString project = host.makeDirectory(QStringLiteral("ws"));
        const QString file = host.makeFile(QStringLiteral("ws/src/main.cpp"));
        host.setCurrentFile(file, project);
        QSignalSpy read(provider(), &Core::IPendingChanges::rowsRead);
        VcsBase::JobQueue *queue = VcsBase::JobQueue::instance();
        // Both ways begin with a command, which learns that tf takes "@" and keeps one started.
        QVERIFY(plugin->client()->history(file));
        host.waitForJobs();
        if (shown) {
            provider()->refresh(project);
            QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 30000);
        }
        host.takeRuns();
        QSet<qint64> seen;
        settledStarts(host, seen);

        for (const QString &step : action.split(QLatin1Char(' '))) {
            if (step == QLatin1String("history"))
                QVERIFY(plugin->client()->history(file));
            else if (step == QLatin1String("undo"))
                QVERIFY(plugin->client()->undo(file));
            else if (step == QLatin1String("add"))
                QVERIFY(plugin->versionControl()->vcsAdd(host.makeFile(QStringLiteral("ws/src/new.h"))));
            else if (step == QLatin1String("wait") && shown)
                QTRY_VERIFY_WITH_TIMEOUT(queue->runningJob() &&
                                             queue->runningJob()->arguments().value(0) == "status",
                                         30000);
            else if (step == QLatin1String("refresh") && shown)
                provider()->refresh(project);
        }
        if (shown && reads > 0)
            QTRY_COMPARE_WITH_TIMEOUT(read.count(), 2, 30000);
        QCoreApplication::processEvents();
        int statusRuns = 0;
        const QList<Recorded> runs = host.takeRuns();
        for (const Recorded &run : runs)
            statusRuns += run.arguments.value(0) == QLatin1String("status") ? 1 : 0;
        if (shown && stopped) {
            // The read that counts came after the command.
            QCOMPARE(runs.last().arguments.value(0), QStringLiteral("status"));
            QVERIFY2(statusRuns >= 1 && statusRuns <= reads,
                     qPrintable(QString::number(statusRuns)));
        } else {
            QCOMPARE(statusRuns, shown ? reads : 0);
        }
        processes[shown] = settledStarts(host, seen).size();
    }
    QVERIFY2(processes[1] - processes[0] <= reads,
             qPrintable(QStringLiteral("%1 processes without reading, %2 with")
                            .arg(processes[0])
                            .arg(processes[1])));
}

void tst_PendingChanges::checkInTakesTheFoldersItNeeds_data()
{
    QTest::addColumn<QStringList>("opened");  // checked as the dialog opens; "*": everything
    QTest::addColumn<QString>("click");       // "+file" checks it, "-file" unchecks it
    QTest::addColumn<QStringList>("checked"); // afterwards
    QTest::addColumn<QString>("note");        // the start of what the dialog says; empty: nothing

    const QStringList all{"*"};
    QTest::newRow("chosen without its new folder")
        << QStringList{"src/a.cpp"} << QString() << QStringList{"src", "src/a.cpp"}
        << "Also checked: src (add). src/a.cpp cannot";
    QTest::newRow("checked below two new folders")
        << QStringList{"main.cpp"} << "+src/sub/c.cpp"
        << QStringList{"main.cpp", "src", "src/sub", "src/sub/c.cpp"}
        << "Also checked: src/sub (add), src (add)";
    QTest::newRow("checked in a renamed folder")
        << QStringList{"main.cpp"} << "+lib/x.cpp" << QStringList{"lib", "lib/x.cpp", "main.cpp"}
        << "Also checked: lib (rename)";
    QTest::newRow("a new folder unchecked")
        << all << "-src" << QStringList{"lib", "lib/x.cpp", "main.cpp", "old", "old/y.cpp"}
        << "Also unchecked: src/a.cpp, src/sub, src/sub/c.cpp, which cannot be checked in without "
           "src (add)";
    QTest::newRow("an edit unchecked")
        << all << "-main.cpp" << QStringList{"lib", "lib/x.cpp", "old",     "old/y.cpp",
                                             "src", "src/a.cpp", "src/sub", "src/sub/c.cpp"}
        << QString();
    QTest::newRow("an edited folder needs nothing")
        << QStringList{"main.cpp"} << "+old/y.cpp" << QStringList{"main.cpp", "old/y.cpp"}
        << QString();
}

void tst_PendingChanges::checkInTakesTheFoldersItNeeds()
{
    // The server refuses a change below a folder whose add or rename is left out: the dialog
    // never lets the person choose so, and says what it did.
    QFETCH(QStringList, opened);
    QFETCH(QString, click);
    QFETCH(QStringList, checked);
    QFETCH(QString, note);
    const QString top = QDir::cleanPath(QDir::tempPath() + QLatin1String("/w"));
    QList<PendingChange> changes;
    const QList<QPair<QString, QString>> pending{
        {"src", "add"},           {"src/a.cpp", "add"}, {"src/sub", "add"},
        {"src/sub/c.cpp", "add"}, {"lib", "rename"},    {"lib/x.cpp", "edit"},
        {"main.cpp", "edit"},     {"old", "edit"},      {"old/y.cpp", "edit"}};
    for (const auto &entry : pending) {
        PendingChange change;
        change.serverItem = QLatin1String("$/P/") + entry.first;
        change.localItem = top + QLatin1Char('/') + entry.first;
        change.changeTypes = QStringList(entry.second);
        changes << change;
    }
    CheckInDialog dialog(top);
    if (opened == QStringList{"*"}) {
        dialog.setChanges(changes);
    } else {
        QStringList files;
        for (const QString &file : opened)
            files << top + QLatin1Char('/') + file;
        dialog.setChanges(changes, Selection::only(files));
    }
    auto list = dialog.findChild<QTreeWidget *>(QStringLiteral("changesList"));
    if (!click.isEmpty()) {
        const QList<QTreeWidgetItem *> found = list->findItems(click.mid(1), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found.first()->setCheckState(0, click.startsWith(QLatin1Char('+')) ? Qt::Checked
                                                                           : Qt::Unchecked);
    }
    QStringList shown;
    for (const QString &item : dialog.checkedItems())
        shown << QDir(top).relativeFilePath(item);
    QCOMPARE(shown, checked);
    // All checked is the whole path; anything less is exactly what is checked.
    QCOMPARE(dialog.chosen(), checked.size() == pending.size()
                                  ? Selection::wholePath()
                                  : Selection::only(dialog.checkedItems()));
    auto said = dialog.findChild<QLabel *>(QStringLiteral("neededNote"));
    QCOMPARE(!said->isHidden(), !note.isEmpty());
    QVERIFY2(said->text().startsWith(note), qPrintable(said->text()));
}

void tst_PendingChanges::undoAsksWhenTheChangesCome_data()
{
    QTest::addColumn<bool>("readFails");
    QTest::addColumn<bool>("agree");
    QTest::newRow("cancelled") << false << false;
    QTest::newRow("agreed") << false << true;
    QTest::newRow("not read, agreed") << true << true;
}

void tst_PendingChanges::undoAsksWhenTheChangesCome()
{
    // Undo of a file whose pending changes are not known yet: they are read as a job, and the
    // question comes with them. Nothing waits meanwhile: the person's Undo returns at once,
    // and chosen again before the answer it still asks once. Changes that cannot be read are
    // said in the question, which then offers to undo everything under the path.
    QFETCH(bool, readFails);
    QFETCH(bool, agree);
    TestHost host;
    host.configure(QString(), QString(), 30, ClientKind::CrossPlatform);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("ws"));
    const QString file = host.makeFile(QStringLiteral("ws/main.cpp"));
    host.makeFile(QStringLiteral("ws/other.cpp"));
    host.setCurrentFile(file, project);
    host.setResponse("TFREC_DELAY_MS", "200");
    if (readFails)
        host.setResponse("TFREC_FAIL_WORD", "status");

    int questions = 0;
    QString note;
    QStringList listed;
    for (int armed = 0; armed < 2; ++armed) {
        host.answerNextDialog([&](QDialog *dialog) {
            ++questions;
            note = dialog->findChild<QLabel *>(QStringLiteral("undoNote"))->text();
            auto list = dialog->findChild<QTreeWidget *>(QStringLiteral("changesList"));
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                listed << list->topLevelItem(i)->text(0) + QLatin1Char('|') +
                              list->topLevelItem(i)->text(1);
            agree ? dialog->accept() : dialog->reject();
        });
    }
    for (int chosen = 0; chosen < 2; ++chosen)
        QVERIFY(
            QMetaObject::invokeMethod(plugin->client(), "undoCurrentFile", Qt::DirectConnection));
    QCOMPARE(questions, 0);
    QVERIFY(!VcsBase::JobQueue::instance()->isIdle());

    QTRY_COMPARE_WITH_TIMEOUT(questions, 1, 30000);
    QStringList ran;
    for (const Recorded &run : host.takeRuns())
        ran << run.arguments.value(0);
    QCOMPARE(questions, 1);
    QCOMPARE(listed, readFails ? QStringList() : QStringList(QStringLiteral("edit|main.cpp")));
    QCOMPARE(note.contains(QLatin1String("could not be listed")), readFails);
    QStringList expected{QStringLiteral("status")};
    if (agree)
        expected << QStringLiteral("undo");
    QCOMPARE(ran, expected);
}

QTEST_MAIN(tst_PendingChanges)

#include "tst_pendingchanges.moc"
