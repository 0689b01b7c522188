// Runs the real tf and tfpt executables against servers and workspaces made
// in a temporary directory, as the plugin and a user would.

#include "../common/statussamples.h"
#include "serverstore.h"
#include "tferror.h"
#include "textdiff.h"
#include "workspacecache.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegExp>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TfStandInTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTrip();
    void info_data();
    void info();
    void badInput_data();
    void badInput();
    void spacesAndUnicodeInPaths();
    void login_data();
    void login();
    void unwritableStoreLocation();
    void checkinFailureKeepsEverything();
    void getNeverOverwritesLocalWork_data();
    void getNeverOverwritesLocalWork();
    void checkinAgainstNewerVersionFails();
    void checkinNeedsTheNewFolder();
    void itemsNamedByFolder();
    void killedCheckinIsRolledBack();
    void checkinFinishedByNextCommand();
    void oldHaveTableIsSplit();
    void concurrentCheckins();
    void unifiedDiff_data();
    void unifiedDiff();
    void commandLines_data();
    void commandLines();
    void comments_data();
    void comments();
    void standardInputHoldsNoLockWhileWaiting();
    void startupDelay();
    void statusXml_data();
    void statusXml();
    void recorderReadsStandardInput_data();
    void recorderReadsStandardInput();
    void recorderStartsAndProcessTree();
    void licence_data();
    void licence();
    void outsideWorkspaces_data();
    void outsideWorkspaces();
    void workspaceCacheFile();
    void workspaceCacheLookup_data();
    void workspaceCacheLookup();
    void workspaceCacheLock();

private:
    Result tf(const QStringList &args, const QString &workingDirectory = QString(),
              const QString &program = QString(TF_EXECUTABLE));
    // Runs "tf", "tfpt" or "tfrecorder" (the first word) with the rest as arguments, the
    // extra environment ("NAME=VALUE") and the input on its standard input.
    Result run(const QStringList &command, const QString &workingDirectory,
               const QStringList &environment = {}, const QByteArray &input = {});
    Result tfOk(const QStringList &args, const QString &workingDirectory = QString());
    QProcess *startTf(const QStringList &args, const QString &workingDirectory);
    // Seeds the default server and checks $/Demo/App out into <parent>/App
    // the way the checkout wizard does; returns the local App directory.
    QString checkoutDemo(const QString &parent, const QString &workspace);
    QString path(const QString &relative) const { return m_dir->path() + '/' + relative; }
    QString serverPath(const QString &relative) const { return path("xdg/tf-standin/server/" + relative); }
    static QByteArray readAll(const QString &file);
    static void writeAll(const QString &file, const QByteArray &data);
    static bool isWritable(const QString &file);

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcessEnvironment m_env;
};

void TfStandInTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.remove("TF_SERVER");
    m_env.insert("XDG_DATA_HOME", path("xdg"));
    m_env.insert("HOME", path("home"));
    QDir().mkpath(path("home"));
    // The client's state (licence, workspace cache) in a profile of the test's own, the
    // licence accepted as a person would.
    m_env.remove("TF_ADDITIONAL_JAVA_ARGS");
    m_env.remove("TFSVC_CACHE_DIR");
    m_env.insert("TEE_PROFILE_DIRECTORY", path("profile"));
    // The same profile for what the test reads of it in its own process.
    qputenv("TEE_PROFILE_DIRECTORY", path("profile").toUtf8());
    qunsetenv("TFSVC_CACHE_DIR");
    QCOMPARE(tf({"eula", "-accept"}).exitCode, 0);
}

void TfStandInTest::cleanup()
{
    qunsetenv("TEE_PROFILE_DIRECTORY");
    // Files that get left read-only must not stop the directory's removal.
    QDirIterator it(m_dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_dir.reset();
}

Result TfStandInTest::tf(const QStringList &args, const QString &workingDirectory, const QString &program)
{
    const QString name = program == TFPT_EXECUTABLE ? "tfpt" : "tf";
    return run(QStringList(name) + args, workingDirectory);
}

Result TfStandInTest::run(const QStringList &command, const QString &workingDirectory,
                          const QStringList &environment, const QByteArray &input)
{
    static const QHash<QString, QString> programs = {
        {"tf", TF_EXECUTABLE}, {"tfpt", TFPT_EXECUTABLE}, {"tfrecorder", TFRECORDER_EXECUTABLE}};
    QProcessEnvironment env = m_env;
    for (const QString &setting : environment)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory.isEmpty() ? m_dir->path() : workingDirectory);
    process.start(programs.value(command.first()), command.mid(1));
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    Result r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

Result TfStandInTest::tfOk(const QStringList &args, const QString &workingDirectory)
{
    const Result r = tf(args, workingDirectory);
    if (r.exitCode != 0)
        qWarning().noquote() << "tf" << args << "exited with" << r.exitCode << r.err;
    return r;
}

QProcess *TfStandInTest::startTf(const QStringList &args, const QString &workingDirectory)
{
    auto process = new QProcess(this);
    process->setProcessEnvironment(m_env);
    process->setWorkingDirectory(workingDirectory);
    process->start(TF_EXECUTABLE, args);
    return process;
}

QString TfStandInTest::checkoutDemo(const QString &parent, const QString &workspace)
{
    if (!QFileInfo::exists(path("xdg/tf-standin/server/format")) && tf({"seed"}).exitCode != 0)
        return QString();
    QDir().mkpath(parent);
    if (tf({"workspace", "-new", workspace, "-collection:" + path("xdg/tf-standin/server")}, parent).exitCode != 0
        || tf({"workfold", "-map", "$/Demo/App", parent + "/App", "-workspace:" + workspace}, parent).exitCode != 0
        || tf({"get", "App", "-recursive"}, parent).exitCode != 0)
        return QString();
    return parent + "/App";
}

QByteArray TfStandInTest::readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TfStandInTest::writeAll(const QString &file, const QByteArray &data)
{
    QFile f(file);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
    f.write(data);
}

// Root may write anything, so the permission bits are what the user sees.
bool TfStandInTest::isWritable(const QString &file)
{
    return QFileInfo(file).permissions() & QFileDevice::WriteOwner;
}

void TfStandInTest::roundTrip()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    const QString main = app + "/main.cpp";
    QVERIFY(readAll(main).contains("Hello from App"));
    for (const char *file : {"main.cpp", "CMakeLists.txt", "README.md"})
        QVERIFY2(!isWritable(app + "/" + file), file);

    // Check out (through the "edit" alias, an upper-case option), edit, compare.
    QCOMPARE(tf({"EDIT", main, "-NOPROMPT"}, app).exitCode, 0);
    QVERIFY(isWritable(main));
    QByteArray edited = readAll(main);
    edited.replace("Hello from App", "Hello, round trip");
    writeAll(main, edited);
    m_env.insert("TF_DIFF_COMMAND", "diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\"");
    Result r = tfOk({"difference", main, "-noprompt"}, app);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains("-    std::cout << \"Hello from App\"") && r.out.contains("+    std::cout << \"Hello, round trip\""),
             qPrintable(r.out));

    r = tfOk({"checkin", main, "-noprompt", "-comment:Greet the round trip", "-login:carol,secret"}, app);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains("Changeset #4"), qPrintable(r.out));
    QVERIFY(!isWritable(main));
    QVERIFY(tfOk({"status"}, app).out.contains("There are no matching pending changes."));

    r = tfOk({"history", main, "-noprompt"}, app);
    QVERIFY2(r.out.contains(QRegExp("\\n4 +edit +carol .*Greet the round trip\\n")), qPrintable(r.out));
    QVERIFY(r.out.contains(QRegExp("\\n2 +edit +bob ")));

    r = tf({"annotate", main}, app, TFPT_EXECUTABLE);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QRegExp("\\n4 +carol +    std::cout << \"Hello, round trip\"")), qPrintable(r.out));
    QVERIFY(r.out.contains(QRegExp("(^|\\n)1 +alice +int main\\(\\)\\n")));

    // Undo puts the workspace version back, read-only.
    QCOMPARE(tf({"checkout", main}, app).exitCode, 0);
    writeAll(main, "scratch\n");
    QCOMPARE(tf({"undo", main}, app).exitCode, 0);
    QCOMPARE(readAll(main), edited);
    QVERIFY(!isWritable(main));

    // Add, rename and delete reach the server.
    writeAll(app + "/extra.cpp", "int extra() { return 1; }\n");
    QCOMPARE(tf({"add", app + "/extra.cpp"}, app).exitCode, 0);
    QCOMPARE(tf({"rename", app + "/README.md", app + "/docs/NOTES.md"}, app).exitCode, 0);
    QVERIFY(QFileInfo::exists(app + "/docs/NOTES.md") && !QFileInfo::exists(app + "/README.md"));
    QCOMPARE(tf({"delete", app + "/CMakeLists.txt"}, app).exitCode, 0);
    QVERIFY(!QFileInfo::exists(app + "/CMakeLists.txt"));
    r = tfOk({"checkin", app, "-recursive", "-comment:Reshape"}, path("work"));
    QVERIFY2(r.out.contains("Changeset #5"), qPrintable(r.out));

    QCOMPARE(tf({"info", "$/Demo/App/extra.cpp"}, app).exitCode, 0);
    QCOMPARE(tf({"info", "$/Demo/App/docs/NOTES.md"}, app).exitCode, 0);
    QVERIFY(tf({"info", "$/Demo/App/README.md"}, app).out.startsWith("No items match"));
    QVERIFY(tf({"info", "$/Demo/App/CMakeLists.txt"}, app).out.startsWith("No items match"));
    // The renamed file keeps its history.
    r = tfOk({"history", "$/Demo/App/docs/NOTES.md", "-itemmode"}, app);
    QVERIFY2(r.out.contains(QRegExp("\\n5 +rename ")) && r.out.contains(QRegExp("\\n3 +edit +alice ")), qPrintable(r.out));
    // By default the history is the path's: it begins where the item came to it.
    r = tfOk({"history", "$/Demo/App/docs/NOTES.md"}, app);
    QVERIFY2(r.out.contains(QRegExp("\\n5 +rename ")) && !r.out.contains(QRegExp("\\n3 ")), qPrintable(r.out));

    // A second workspace sees exactly the server's new state.
    const QString other = checkoutDemo(path("other"), "W2");
    QVERIFY(!other.isEmpty());
    QCOMPARE(QDir(other).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"docs", "extra.cpp", "main.cpp"}));
    QCOMPARE(readAll(other + "/main.cpp"), edited);
    QCOMPARE(readAll(other + "/docs/NOTES.md"), readAll(app + "/docs/NOTES.md"));

    // Get latest brings the first workspace up to date with the second's check-in.
    QCOMPARE(tf({"checkout", other + "/extra.cpp"}, other).exitCode, 0);
    writeAll(other + "/extra.cpp", "int extra() { return 2; }\n");
    QCOMPARE(tf({"checkin", other + "/extra.cpp"}, other).exitCode, 0);
    QCOMPARE(tf({"get", app, "-noprompt", "-recursive"}, path("work")).exitCode, 0);
    QCOMPARE(readAll(app + "/extra.cpp"), QByteArray("int extra() { return 2; }\n"));
    QVERIFY(!isWritable(app + "/extra.cpp"));
}

void TfStandInTest::info_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("serverPath");

    QTest::newRow("mapped directory, probed from itself") << "work/App" << "work/App" << 0 << "$/Demo/App";
    QTest::newRow("mapped directory, probed from its parent") << "work/App" << "work" << 0 << "$/Demo/App";
    QTest::newRow("mapped file") << "work/App/main.cpp" << "work/App" << 0 << "$/Demo/App/main.cpp";
    QTest::newRow("relative file") << "main.cpp" << "work/App" << 0 << "$/Demo/App/main.cpp";
    QTest::newRow("parent of the mapping") << "work" << "work" << 100 << "";
    QTest::newRow("unmapped path") << "elsewhere" << "" << 100 << "";
    QTest::newRow("root directory") << "/" << "" << 100 << "";
}

void TfStandInTest::info()
{
    QFETCH(QString, item);
    QFETCH(QString, workingDirectory);
    QFETCH(int, exitCode);
    QFETCH(QString, serverPath);

    QVERIFY(!checkoutDemo(path("work"), "W").isEmpty());
    QDir().mkpath(path("elsewhere"));
    const QString argument = item.startsWith('/') || item == "main.cpp" ? item : path(item);
    const Result r = tf({"info", argument}, path(workingDirectory));
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY(!r.err.isEmpty());
        return;
    }
    QVERIFY(r.out.contains("Local information:") && r.out.contains("Server information:"));
    QVERIFY(!r.out.contains('\r'));
    // The plugin's own parser of the server path.
    QRegExp pattern("Server path\\s*:\\s*([^\\s]*)\\n", Qt::CaseSensitive, QRegExp::RegExp);
    pattern.setMinimal(true);
    QVERIFY(pattern.indexIn(r.out) >= 0);
    QCOMPARE(pattern.cap(1), serverPath);
}

void TfStandInTest::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << QStringList{"get", "-recursivly"} << 100 << "The option '-recursivly' is unknown.";
    QTest::newRow("option of another command") << QStringList{"get", "-comment:x"} << 100
                                               << "Command 'get' does not support option 'comment'.";
    QTest::newRow("flag given a value") << QStringList{"get", "-R:yes"} << 100 << "Option 'r' does not take any values.";
    QTest::newRow("value option without value") << QStringList{"checkin", "-comment"} << 100
                                                 << "Option 'comment' requires a single value.";
    QTest::newRow("empty value") << QStringList{"checkin", "-Comment:"} << 100
                                 << "An option value for 'Comment' must be supplied.";
    QTest::newRow("bad status format") << QStringList{"status", "-format:Fancy"} << 100 << "format";
    QTest::newRow("comment file missing") << QStringList{"checkin", "-comment:@nothere.txt"} << 100 << "nothere.txt";
    QTest::newRow("add without operand") << QStringList{"add"} << 100 << "needs 1 argument";
    QTest::newRow("rename with one operand") << QStringList{"rename", "main.cpp"} << 100 << "needs 2 arguments";
    QTest::newRow("rename with three operands") << QStringList{"rename", "a", "b", "c"} << 100 << "at most 2";
    QTest::newRow("add of a missing file") << QStringList{"add", "nothere.cpp"} << 100 << "does not exist";
    QTest::newRow("server path with ..") << QStringList{"info", "$/Demo/../App"} << 100 << "invalid name";
    QTest::newRow("unreachable collection URL") << QStringList{"workspaces", "-collection:http://tfs:8080/tfs"} << 100 << "cannot be reached";
    QTest::newRow("checkout of an unknown item") << QStringList{"checkout", "nothere.cpp"} << 100 << "No items match";
}

void TfStandInTest::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    const QByteArray pendingBefore = tf({"status"}, app).out.toUtf8();
    const Result r = tf(args, app);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(tf({"status"}, app).out.toUtf8(), pendingBefore);
}

void TfStandInTest::spacesAndUnicodeInPaths()
{
    const QString app = checkoutDemo(path("work space/ünï côdé"), "Wörk");
    QVERIFY(!app.isEmpty());
    const QString dir = app + "/dir with spaces";
    QVERIFY(QDir().mkpath(dir));
    const QString file = dir + "/Grüße – 日本.txt";
    writeAll(file, "Grüße\n");
    QCOMPARE(tf({"add", dir, "-recursive"}, app).exitCode, 0);
    QCOMPARE(tf({"checkin", "-comment:Ünïcode"}, app).exitCode, 0);
    const Result r = tfOk({"info", file}, dir);
    QVERIFY2(r.out.contains("Server path: $/Demo/App/dir with spaces/Grüße – 日本.txt\n"), qPrintable(r.out));

    const QString other = checkoutDemo(path("other"), "W2");
    QCOMPARE(readAll(other + "/dir with spaces/Grüße – 日本.txt"), QByteArray("Grüße\n"));
    QVERIFY(tfOk({"history", other + "/dir with spaces/Grüße – 日本.txt"}).out.contains("Ünïcode"));
}

void TfStandInTest::login_data()
{
    QTest::addColumn<QStringList>("loginArguments");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("no login") << QStringList() << 100;
    QTest::newRow("wrong password") << QStringList{"-login:alice,pa"} << 100;
    QTest::newRow("password cut at the second comma") << QStringList{"-login:alice,pa,ss"} << 100;
    QTest::newRow("unknown user") << QStringList{"-login:mallory,pa,ss word"} << 100;
    QTest::newRow("comma and blank in the password") << QStringList{"-login:alice,pa,ss word"} << 0;
    QTest::newRow("user name in another case") << QStringList{"-login:ALICE,pa,ss word"} << 0;
}

void TfStandInTest::login()
{
    QFETCH(QStringList, loginArguments);
    QFETCH(int, exitCode);

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QCOMPARE(tf({"useradd", "alice", "pa,ss word"}).exitCode, 0);
    const QString main = app + "/main.cpp";

    const Result r = tf(QStringList{"checkout", main} + loginArguments, app);
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY(r.err.contains("not authorized"));
        QVERIFY(!isWritable(main));
        return;
    }
    writeAll(main, "changed\n");
    QCOMPARE(tf(QStringList{"checkin", main} + loginArguments, app).exitCode, 0);
    // The changeset belongs to the registered user, not to the name as typed.
    const Result history = tf(QStringList{"history", main, "-login:alice,pa,ss word"}, app);
    QVERIFY2(history.out.contains(QRegExp("\\n4 +edit +alice ")), qPrintable(history.out));
}

void TfStandInTest::unwritableStoreLocation()
{
    // Tests run as root, which ignores permission bits; a store whose parent
    // is a regular file cannot be created or written by anyone.
    writeAll(path("plainfile"), "not a directory\n");
    const QString collection = "-collection:" + path("plainfile/server");
    const QStringList commands[] = {
        {"seed", collection},
        {"init", collection},
        {"workspace", "-new", "W", collection},
        {"workspaces", collection},
    };
    for (const QStringList &args : commands) {
        const Result r = tf(args);
        QCOMPARE(r.exitCode, 100);
        QVERIFY2(r.err.contains(path("plainfile/server")), qPrintable(r.err));
    }
    QCOMPARE(readAll(path("plainfile")), QByteArray("not a directory\n"));
    QVERIFY(!QFileInfo::exists(path("work")));
    QVERIFY(!QFileInfo::exists(path("profile/Cache/VersionControl.config")));
}

void TfStandInTest::checkinFailureKeepsEverything()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    const QString main = app + "/main.cpp";
    QCOMPARE(tf({"checkout", main}, app).exitCode, 0);
    writeAll(main, "edited\n");
    writeAll(app + "/new.cpp", "new\n");
    QCOMPARE(tf({"add", app + "/new.cpp"}, app).exitCode, 0);

    // Make the changeset file impossible to write (a file where its directory
    // should be) so that the check-in fails after writing item records.
    const QString changesets = path("xdg/tf-standin/server/changesets");
    QVERIFY(QDir(changesets).removeRecursively());
    writeAll(changesets, "in the way\n");
    const Result failed = tf({"checkin", "-comment:doomed"}, app);
    QCOMPARE(failed.exitCode, 100);
    QVERIFY(!failed.err.isEmpty());
    QCOMPARE(readAll(main), QByteArray("edited\n"));
    QVERIFY(isWritable(main));
    const Result status = tfOk({"status"}, app);
    QVERIFY(status.out.contains("main.cpp") && status.out.contains("new.cpp"));

    // Nothing of the failed check-in is visible; once the store can be
    // written again the same changes go in as the next changeset.
    QVERIFY(QFile::remove(changesets));
    // Not on the server: its server information names no server path.
    QVERIFY(tf({"info", "$/Demo/App/new.cpp"}, app).out.contains("\n  Server path:   \n"));
    const Result retried = tfOk({"checkin", "-comment:second try"}, app);
    QVERIFY2(retried.out.contains("Changeset #4"), qPrintable(retried.out));
    const Result history = tfOk({"history", app, "-recursive"}, path("work"));
    QVERIFY(history.out.contains("second try") && !history.out.contains("doomed"));
    QVERIFY(!QFileInfo::exists(path("xdg/tf-standin/server/transaction")));
}

void TfStandInTest::getNeverOverwritesLocalWork_data()
{
    QTest::addColumn<bool>("checkOut");
    QTest::newRow("pending edit") << true;
    QTest::newRow("writable local edit without a checkout") << false;
}

void TfStandInTest::getNeverOverwritesLocalWork()
{
    QFETCH(bool, checkOut);
    const QString app = checkoutDemo(path("work"), "W");
    const QString other = checkoutDemo(path("other"), "W2");
    QVERIFY(!app.isEmpty() && !other.isEmpty());

    QCOMPARE(tf({"checkout", other + "/main.cpp"}, other).exitCode, 0);
    writeAll(other + "/main.cpp", "from the other workspace\n");
    QCOMPARE(tf({"checkout", other + "/README.md"}, other).exitCode, 0);
    writeAll(other + "/README.md", "new readme\n");
    QCOMPARE(tf({"checkin"}, other).exitCode, 0);

    const QString main = app + "/main.cpp";
    if (checkOut) {
        QCOMPARE(tf({"checkout", main}, app).exitCode, 0);
    } else {
        QFile::setPermissions(main, QFile::permissions(main) | QFileDevice::WriteOwner);
    }
    writeAll(main, "my local work\n");
    const Result r = tf({"get", app, "-recursive"}, path("work"));
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("main.cpp"), qPrintable(r.err));
    QCOMPARE(readAll(main), QByteArray("my local work\n"));
    // The rest of the get still happened.
    QCOMPARE(readAll(app + "/README.md"), QByteArray("new readme\n"));
}

void TfStandInTest::checkinAgainstNewerVersionFails()
{
    const QString app = checkoutDemo(path("work"), "W");
    const QString other = checkoutDemo(path("other"), "W2");
    QVERIFY(!app.isEmpty() && !other.isEmpty());
    QCOMPARE(tf({"checkout", app + "/main.cpp"}, app).exitCode, 0);
    QCOMPARE(tf({"checkout", other + "/main.cpp"}, other).exitCode, 0);
    writeAll(app + "/main.cpp", "first\n");
    writeAll(other + "/main.cpp", "second\n");
    writeAll(other + "/added.cpp", "added\n");
    QCOMPARE(tf({"add", other + "/added.cpp"}, other).exitCode, 0);
    QCOMPARE(tf({"checkin", app + "/main.cpp"}, app).exitCode, 0);

    // All or nothing: the add that could go in does not go in alone.
    const Result r = tf({"checkin"}, other);
    QCOMPARE(r.exitCode, 100);
    QVERIFY2(r.err.contains("changed on the server"), qPrintable(r.err));
    QVERIFY(tf({"info", "$/Demo/App/added.cpp"}, app).out.startsWith("No items match"));
    QCOMPARE(readAll(other + "/main.cpp"), QByteArray("second\n"));
    QVERIFY(tfOk({"status"}, other).out.contains("2 change(s)"));
}

void TfStandInTest::killedCheckinIsRolledBack()
{
    const QString app = checkoutDemo(path("work"), "W");
    const QString other = checkoutDemo(path("other"), "W2");
    QVERIFY(!app.isEmpty() && !other.isEmpty());
    QCOMPARE(tf({"checkout", app + "/main.cpp"}, app).exitCode, 0);
    writeAll(app + "/main.cpp", "edited by the check-in that dies\n");
    writeAll(app + "/big.bin", QByteArray(4 << 20, 'x'));
    QCOMPARE(tf({"add", app + "/big.bin"}, app).exitCode, 0);

    // The file size limit kills tf (SIGXFSZ) when it writes the big content,
    // after it has rewritten the item records: a real death half-way, which
    // leaves its lock and its transaction behind.
    QProcess killed;
    killed.setProcessEnvironment(m_env);
    killed.setWorkingDirectory(app);
    killed.start("/bin/sh", {"-c", "ulimit -f 1024; exec \"$0\" checkin -comment:doomed", TF_EXECUTABLE});
    QVERIFY(killed.waitForFinished(30000));
    QCOMPARE(killed.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFileInfo::exists(serverPath("transaction")));

    // The next writer, from another workspace, cleans up and takes the
    // number: the dead check-in's edit of main.cpp must not surface as its own.
    QCOMPARE(tf({"checkout", other + "/README.md"}, other).exitCode, 0);
    writeAll(other + "/README.md", "readme from the other workspace\n");
    const Result next = tfOk({"checkin", other + "/README.md", "-comment:next"}, other);
    QVERIFY2(next.out.contains("Changeset #4"), qPrintable(next.out));
    QVERIFY(!QFileInfo::exists(serverPath("transaction")));
    Result r = tfOk({"history", "$/Demo/App/main.cpp"}, app);
    QVERIFY2(!r.out.contains(QRegExp("\\n4 ")) && !r.out.contains("doomed"), qPrintable(r.out));
    QVERIFY(tf({"info", "$/Demo/App/big.bin"}, app).out.contains("\n  Server path:   \n"));

    // The dying workspace still has its pending changes and can check them in.
    r = tfOk({"status"}, app);
    QVERIFY2(r.out.contains("main.cpp") && r.out.contains("big.bin"), qPrintable(r.out));
    QCOMPARE(tf({"get", app + "/README.md"}, app).exitCode, 0);
    r = tfOk({"checkin", "-comment:second try"}, app);
    QVERIFY2(r.out.contains("Changeset #5"), qPrintable(r.out));
    const QString third = checkoutDemo(path("third"), "W3");
    QCOMPARE(readAll(third + "/main.cpp"), QByteArray("edited by the check-in that dies\n"));
    QCOMPARE(readAll(third + "/big.bin").size(), 4 << 20);
    QCOMPARE(readAll(third + "/README.md"), QByteArray("readme from the other workspace\n"));
}

void TfStandInTest::checkinFinishedByNextCommand()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    const QString main = app + "/main.cpp";
    QCOMPARE(tf({"checkout", main}, app).exitCode, 0);
    writeAll(main, "edited\n");
    QCOMPARE(tfOk({"info", main}, app).out.count("Changeset:   2\n"), 1);

    // A directory where the new pending changes are written makes the check-in
    // fail after its commit point: the changeset is in, the workspace is not
    // yet updated.
    const QString obstacle = serverPath("workspaces/w/pending.json.tmp");
    QVERIFY(QDir().mkpath(obstacle));
    const Result failed = tf({"checkin", main, "-comment:half"}, app);
    QCOMPARE(failed.exitCode, 100);
    QVERIFY2(failed.err.contains("Changeset #4 was checked in"), qPrintable(failed.err));
    QVERIFY(QFileInfo::exists(serverPath("transaction")));
    QVERIFY(QDir(obstacle).removeRecursively());

    // The next command finishes the update before it reads the workspace.
    Result r = tfOk({"status"}, app);
    QVERIFY2(r.out.contains("There are no matching pending changes."), qPrintable(r.out));
    QVERIFY(!QFileInfo::exists(serverPath("transaction")));
    r = tfOk({"info", main}, app);
    QVERIFY2(r.out.count("Changeset:   4\n") == 1, qPrintable(r.out));
    QVERIFY(tfOk({"history", main}, app).out.contains(QRegExp("\\n4 +edit .*half\\n")));
    // Up to date: the edit is not taken for a local change.
    QCOMPARE(tf({"get", app, "-recursive"}, path("work")).exitCode, 0);
    QCOMPARE(readAll(main), QByteArray("edited\n"));
}

void TfStandInTest::oldHaveTableIsSplit()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    // An earlier tf kept the whole have table in one file.
    const QString workspaceDir = serverPath("workspaces/w");
    QByteArray table;
    QDirIterator it(workspaceDir + "/have", QDir::Files);
    while (it.hasNext())
        table += readAll(it.next());
    QCOMPARE(table.count('\n'), 4); // $/Demo/App and its three files
    QVERIFY(QDir(workspaceDir + "/have").removeRecursively());
    writeAll(workspaceDir + "/have.txt", table);

    Result r = tfOk({"info", app + "/main.cpp"}, app);
    QVERIFY2(r.out.count("Changeset:   2\n") == 1, qPrintable(r.out));
    QVERIFY(!QFileInfo::exists(workspaceDir + "/have.txt"));
    // Nothing is fetched again or taken for a local change.
    r = tfOk({"get", app, "-recursive"}, path("work"));
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(!r.out.contains("main.cpp"), qPrintable(r.out));
}

void TfStandInTest::concurrentCheckins()
{
    const QString app = checkoutDemo(path("work"), "W");
    const QString other = checkoutDemo(path("other"), "W2");
    QVERIFY(!app.isEmpty() && !other.isEmpty());
    // Enough files that the two check-ins overlap in time.
    for (int i = 0; i < 40; ++i) {
        writeAll(app + QString("/a%1.txt").arg(i), QByteArray::number(i) + '\n');
        writeAll(other + QString("/b%1.txt").arg(i), QByteArray::number(i) + '\n');
    }
    QCOMPARE(tf({"add", app, "-recursive"}, app).exitCode, 0);
    QCOMPARE(tf({"add", other, "-recursive"}, other).exitCode, 0);

    QProcess *first = startTf({"checkin", "-comment:first"}, app);
    QProcess *second = startTf({"checkin", "-comment:second"}, other);
    QVERIFY(first->waitForFinished(30000) && second->waitForFinished(30000));
    const int codes[] = {first->exitCode(), second->exitCode()};
    for (int code : codes)
        QVERIFY2(code == 0 || code == 100, qPrintable(QString::number(code)));
    QVERIFY(codes[0] == 0 || codes[1] == 0);

    // Distinct changesets, each holding exactly its own files, and a third
    // workspace gets everything that went in.
    const Result history = tfOk({"history", "$/Demo/App", "-recursive"}, app);
    QCOMPARE(history.exitCode, 0);
    // A recursive history lists no change types.
    QCOMPARE(history.out.count(QRegExp("\\n[45] ")), (codes[0] == 0) + (codes[1] == 0));
    const QString third = checkoutDemo(path("third"), "W3");
    QVERIFY(!third.isEmpty());
    for (int i = 0; i < 40; ++i) {
        QCOMPARE(QFileInfo::exists(third + QString("/a%1.txt").arg(i)), codes[0] == 0);
        QCOMPARE(QFileInfo::exists(third + QString("/b%1.txt").arg(i)), codes[1] == 0);
    }
    QCOMPARE(readAll(third + "/a7.txt"), codes[0] == 0 ? QByteArray("7\n") : QByteArray("<missing>"));
}

void TfStandInTest::unifiedDiff_data()
{
    QTest::addColumn<QByteArray>("oldText");
    QTest::addColumn<QByteArray>("newText");
    QTest::addColumn<QString>("expected");

    QTest::newRow("identical") << QByteArray("a\nb\n") << QByteArray("a\nb\n") << QString();
    QTest::newRow("new file") << QByteArray() << QByteArray("x\ny\n")
                              << QString("--- old\n+++ new\n@@ -0,0 +1,2 @@\n+x\n+y\n");
    QTest::newRow("deleted file") << QByteArray("x\n") << QByteArray()
                                  << QString("--- old\n+++ new\n@@ -1,1 +0,0 @@\n-x\n");
    QTest::newRow("change in the middle keeps three lines of context")
        << QByteArray("1\n2\n3\n4\n5\n6\n7\n8\n9\n") << QByteArray("1\n2\n3\n4\nfive\n6\n7\n8\n9\n")
        << QString("--- old\n+++ new\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n");
    QTest::newRow("insertion after the last line")
        << QByteArray("1\n2\n") << QByteArray("1\n2\n3\n")
        << QString("--- old\n+++ new\n@@ -1,2 +1,3 @@\n 1\n 2\n+3\n");
    QTest::newRow("distant changes make two hunks")
        << QByteArray("a\n1\n2\n3\n4\n5\n6\n7\n8\nz\n") << QByteArray("A\n1\n2\n3\n4\n5\n6\n7\n8\nZ\n")
        << QString("--- old\n+++ new\n@@ -1,4 +1,4 @@\n-a\n+A\n 1\n 2\n 3\n@@ -7,4 +7,4 @@\n 6\n 7\n 8\n-z\n+Z\n");
}

void TfStandInTest::unifiedDiff()
{
    QFETCH(QByteArray, oldText);
    QFETCH(QByteArray, newText);
    QFETCH(QString, expected);
    QCOMPARE(Tf::unifiedDiff("old", oldText, "new", newText), expected);
}

// What each grammar takes and refuses, and command lines read from standard
// input. Every row runs in a workspace where main.cpp and README.md are checked
// out and changed, CMakeLists.txt is checked out unchanged, and the folder build
// is not on the server. The expected outputs are regular expressions in which
// "." matches line breaks too.
void TfStandInTest::commandLines_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const auto row = [](const char *name, const QStringList &command, const QStringList &environment,
                        const QByteArray &input, int exitCode, const QString &out, const QString &err) {
        QTest::newRow(name) << command << environment << input << exitCode << out << err;
    };
    const QStringList none;
    const QStringList tfExe{"TF_STANDIN_GRAMMAR=tf.exe"};
    const QStringList unifiedDiff{"TF_DIFF_COMMAND=diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\""};
    const QString nothing = "\\A\\z";
    const QString usage = "\\AUsage: tf COMMAND ";
    const QString info = "Server path: \\$/Demo/App/main\\.cpp\n";
    const QString argumentError = "\\AAn argument error occurred: ";
    const QString noMapping = "A client error occurred: There is no working folder mapping for ";

    row("a /word is an item", {"tf", "get", "/recursive"}, none, {}, 100, "", noMapping + "/recursive\\.\n");
    row("tf.exe: /recursive", {"tf", "get", "/recursive"}, tfExe, {}, 0, "", "");
    row("no -prompt, the usage follows", {"tf", "checkout", "main.cpp", "-prompt"}, none, {}, 100,
        "\\AUsage: tf checkout ", argumentError + "The option '-prompt' is unknown\\.\n\\z");
    row("tf.exe: /prompt", {"tf", "checkout", "main.cpp", "/prompt"}, tfExe, {}, 0, "", "");
    row("the client's short forms", {"tf", "get", "-r"}, none, {}, 0, "", "");
    row("no others", {"tf", "get", "-i"}, none, {}, 100, "", argumentError + "The option '-i' is unknown\\.\n");
    row("tf.exe: short forms", {"tf", "get", "/r"}, tfExe, {}, 0, "", "");
    row("case-blind names, -noprompt", {"tf", "get", "-RECURSIVE", "-NoPrompt"}, none, {}, 0, "", "");
    row("unknown option named without its value", {"tf", "status", "-bogus:secret"}, none, {}, 100, "",
        argumentError + "The option '-bogus' is unknown\\.\n\\z");
    row("tf.exe: unknown option", {"tf", "status", "/bogus"}, tfExe, {}, 2, "", "Unrecognized option: /bogus\n");
    row("unknown command", {"tf", "frobnicate"}, none, {}, 100, usage, argumentError + "The command 'frobnicate' is unknown\\.\n");
    row("options before the command", {"tf", "-noprompt", "info", "main.cpp"}, none, {}, 0, info, nothing);
    row("empty words passed over", {"tf", "info", "", "main.cpp", ""}, none, {}, 0, info, nothing);
    row("tf.exe: unknown command", {"tf", "frobnicate"}, tfExe, {}, 2, "", "\\AUnrecognized command: frobnicate\n");
    row("no -format for difference", {"tf", "difference", "main.cpp", "-format:Unified"}, unifiedDiff, {}, 100,
        QString(usage).replace("COMMAND", "difference"), argumentError + "Command 'difference' does not support option 'format'\\.\n");
    row("tf.exe: /format:Unified", {"tf", "difference", "main.cpp", "/format:Unified"}, tfExe, {}, 0,
        "\n\\+changed main\n", nothing);
    row("compare tool unset", {"tf", "difference", "main.cpp"}, none, {}, 100, nothing, "TF_DIFF_COMMAND.*diff -u");
    // The client names each change, then the two sides by their path from the current
    // directory, the base version and the change's date.
    const QString shortDate = "\\d{1,2}/\\d{1,2}/\\d\\d, \\d{1,2}:\\d\\d [AP]M";
    row("compare tool: base, local file and labels", {"tf", "difference", "main.cpp"}, unifiedDiff, {}, 0,
        "\\Aedit: [^\n]*/work/App/main\\.cpp\n--- main\\.cpp;C2  \\(server\\)    " + shortDate +
            "\n\\+\\+\\+ main\\.cpp  \\(local\\)    " + shortDate + "\n.*\n-int main\\(\\)\n.*\\+changed main\n\\z",
        nothing);
    row("compare tool: once per changed file", {"tf", "difference", ".", "-recursive"},
        {"TF_DIFF_COMMAND=echo \"%6 | %7\""}, {}, 0,
        "\\Aedit: [^\n]*/App/CMakeLists\\.txt\nedit: [^\n]*/App/main\\.cpp\nmain\\.cpp;C2  \\(server\\)    " +
            shortDate + " \\| main\\.cpp  \\(local\\)    " + shortDate +
            "\nedit: [^\n]*/App/README\\.md\nREADME\\.md;C3  \\(server\\)    " + shortDate +
            " \\| README\\.md  \\(local\\)    " + shortDate + "\n\\z",
        nothing);
    row("compare tool that cannot start", {"tf", "difference", "main.cpp"},
        {"TF_DIFF_COMMAND=/nonexistent/compare %1 %2"}, {}, 100, "\\Aedit: [^\n]*/App/main\\.cpp\n\\z",
        "/nonexistent/compare .*cannot be started");
    for (const char *form : {"-h", "-HELP", "-?"})
        row(form, {"tf", form}, none, {}, 0, usage, nothing);
    row("--help is no option", {"tf", "--help"}, none, {}, 100, usage, argumentError + "The option '--help' is unknown\\.\n");
    row("-help with a command", {"tf", "checkin", "-help"}, none, {}, 0, "\\AUsage: tf checkin ", nothing);
    row("-exitcode", {"tf", "info", "main.cpp", "-exitcode"}, none, {}, 0, info + ".*\nExitCode: 0\n\n\\z", nothing);
    row("tf.exe: /?", {"tf", "/?"}, tfExe, {}, 0, usage, nothing);
    row("no arguments", {"tf"}, none, {}, 0, usage, nothing);
    row("help COMMAND", {"tf", "help", "checkin"}, none, {}, 0, "\\AUsage: tf checkin (?!.*workfold)", nothing);
    row("help of an unknown command", {"tf", "help", "frob"}, none, {}, 100, "", argumentError + "The command 'frob' is unknown");
    row("tfpt without arguments", {"tfpt"}, none, {}, 2, "\\AUsage: tfpt COMMAND ", nothing);
    row("info of an item not on the server", {"tf", "info", "build"}, none, {}, 0,
        "\\ANo items match /[^\n]*/App/build\n\\z",
        nothing);
    row("tf.exe: info of an item not on the server", {"tf", "info", "build"}, tfExe, {}, 100, nothing,
        "No items match build");
    // The real client goes on after an item it cannot show: a partial success.
    row("info outside every mapping", {"tf", "info", "../.."}, none, {}, 1, nothing,
        "\\AThere is no working folder mapping for /");
    row("undo of nothing pending fails", {"tf", "undo", "."}, none, {}, 100, nothing,
        "\\ANo pending changes were found for \\.\\.\n\\z");
    row("get of what is up to date", {"tf", "get", "CMakeLists.txt"}, none, {}, 0,
        "\\AAll files up to date\\.\n\\z", nothing);
    // The cross-platform client compares pending changes only, checks in nothing with exit code
    // 1, and finds no history, successfully, for an item the server never had.
    row("difference of a file without a pending change", {"tf", "@"}, unifiedDiff,
        "undo CMakeLists.txt\ndifference CMakeLists.txt\n", 100, "\\AUndoing edit: CMakeLists\\.txt\n\\z",
        "\\AThere is no pending change for 'CMakeLists\\.txt'\n\\z");
    row("check-in of nothing", {"tf", "@"}, none, "undo . -recursive\ncheckin -comment:none\n", 1,
        "\nThere are no changes to checkin in this workspace\\.\n\\z", nothing);
    row("history of an item the server never had", {"tf", "history", "build", "-format:xml"}, none, {}, 0,
        "\\A<\\?xml version=\"1\\.0\" encoding=\"utf-8\"\\?><history/>\n\\z", nothing);
    row("tf.exe: history of an item the server never had", {"tf", "history", "build"}, tfExe, {}, 100,
        nothing, "No history entries were found for build");
    row("a grammar it does not know", {"tf", "status"}, {"TF_STANDIN_GRAMMAR=bogus"}, {}, 100, nothing,
        "TF_STANDIN_GRAMMAR");
    row("a start-up delay that is no number", {"tf", "status"}, {"TF_STANDIN_STARTUP_MS=soon"}, {}, 100, nothing,
        "TF_STANDIN_STARTUP_MS");

    // History and versions, in the layouts of the clients' printers.
    const QString main1 = "#include <iostream>\n\nint main\\(\\)\n\\{\n    return 0;\n\\}\n";
    const QString xmlDate = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d{4}";
    row("history as xml, newest first", {"tf", "history", "main.cpp", "-format:XML"}, none, {}, 0,
        "\\A<\\?xml version=\"1\\.0\" encoding=\"utf-8\"\\?><history>\n"
        "  <changeset id=\"2\" owner=\"bob\" committer=\"bob\" date=\"" + xmlDate + "\">\n"
        "    <comment>Print a greeting</comment>\n"
        "    <item change-type=\"edit\" server-item=\"\\$/Demo/App/main\\.cpp\"/>\n"
        "  </changeset>\n  <changeset id=\"1\" owner=\"alice\".*"
        "<item change-type=\"add\" server-item=\"\\$/Demo/App/main\\.cpp\"/>\n  </changeset>\n</history>\n\\z",
        nothing);
    row("history detailed, stopped after one", {"tf", "history", "main.cpp", "-format:detailed", "-stopafter:1"},
        none, {}, 0,
        "\\AChangeset: 2\nUser: bob\nDate: [A-Z][a-z]{2} \\d+, \\d{4}, \\d+:\\d\\d:\\d\\d [AP]M\n\n"
        "Comment:\n  Print a greeting\n\nItems:\n  edit \\$/Demo/App/main\\.cpp\n\n\\z",
        nothing);
    row("tf.exe: detailed, a dashed line before each", {"tf", "history", "main.cpp", "/format:detailed"}, tfExe,
        {}, 0, "\\A-{79}\nChangeset: 2\nUser: bob\nDate: [A-Z][a-z]+day, .*\n-{79}\nChangeset: 1\n", nothing);
    row("history brief of a folder, without changes", {"tf", "history", ".", "-recursive"}, none, {}, 0,
        "\\AChangeset User +Date +Comment\n-{9} -{5} -+ -+\n3 +alice .*Describe the build\n2 +bob .*\n1 +alice .*\n\\z",
        nothing);
    row("history of a version range", {"tf", "history", ".", "-recursive", "-version:C2~T", "-format:xml"}, none, {},
        0, "<changeset id=\"3\".*<changeset id=\"2\"(?!.*<changeset)", nothing);
    row("history of an empty range", {"tf", "history", "main.cpp;C3~C3"}, none, {}, 0,
        "\\ANo history entries were found for the item and version combination specified\\.\n\\z", nothing);
    row("history: item mode of a folder is ignored", {"tf", "history", ".", "-recursive", "-itemmode"}, none, {}, 0,
        "\\AChangeset", "\\AIgnoring the 'itemmode' option\\.\n\\z");
    row("history: item mode or slot mode", {"tf", "history", "main.cpp", "-itemmode", "-slotmode"}, none, {}, 100,
        nothing, "cannot be combined");
    row("print a version", {"tf", "print", "main.cpp;C1"}, none, {}, 0, "\\A" + main1 + "\\z", nothing);
    row("print -version", {"tf", "print", "$/Demo/App/main.cpp", "-version:1"}, none, {}, 0, "\\A" + main1 + "\\z",
        nothing);
    row("print a range", {"tf", "print", "main.cpp", "-version:C1~C2"}, none, {}, 100, nothing,
        "range is not permitted");
    row("print a folder", {"tf", "print", "$/Demo/App"}, none, {}, 100, nothing,
        "does not exist at the specified version");
    row("print is not tf.exe's", {"tf", "print", "main.cpp"}, tfExe, {}, 2, nothing, "print");
    row("tf.exe: view a version", {"tf", "view", "main.cpp", "/version:C1"}, tfExe, {}, 0, "\\A" + main1 + "\\z",
        nothing);
    row("view is tf.exe's", {"tf", "view", "main.cpp"}, none, {}, 100, nothing, "'view' is unknown");
    row("@: versions told apart by the separator", {"tf", "@", "-outputSeparator:--sep--"}, none,
        "print main.cpp;C1\nprint main.cpp -version:C2 -noprompt\n", 0,
        "\\A" + main1 + "--sep--\n#include.*Hello from App.*\\}\n--sep--\n\\z", "\\A--sep--\n--sep--\n\\z");

    const QStringList tfAt{"tf", "@"};
    const QStringList tfAtSeparated{"tf", "@", "-outputSeparator:=="};
    row("@: no line run", tfAt, none, {}, 255, nothing, nothing);
    row("@: comments and blank lines only", tfAt, none, "\n  # a comment\nREM another\n\t\n", 255, nothing, nothing);
    row("@: a command file that is not there", {"tf", "@nothere.tfc"}, none, {}, 255, nothing,
        "\\AThe command file 'nothere\\.tfc' could not be found\\.\n");
    row("@: blank lines skipped, CR LF taken", tfAt, none, "\n  \r\n  info main.cpp\r\n", 0, info, nothing);
    row("@: each line sees the one before", tfAt, none, "undo main.cpp\nstatus main.cpp\n", 0,
        "\nThere are no matching pending changes.\n\\z", nothing);
    row("@: a failure ends the run with its code", tfAt, none, "status ../..\ninfo main.cpp\n", 100, nothing, noMapping);
    row("@ -continueOnError: every line, partial success", {"tf", "@", "-continueOnError"}, none,
        "status ../..\ninfo main.cpp\n", 1, info, noMapping);
    row("@ -continueOnError: all succeeded", {"tf", "@", "-continueOnError"}, none, "info main.cpp\nstatus\n", 0, info,
        nothing);
    row("@ -outputSeparator: after each line, on both streams", tfAtSeparated, none, "info main.cpp\nfrobnicate\n", 100,
        info + ".*\n==\nUsage: tf COMMAND .*\n==\n\\z",
        "\\A==\nAn argument error occurred: The command 'frobnicate' is unknown\\.\n==\n\\z");
    row("@ -outputSeparator: no line break added before it", {"tf", "@", "-continueOnError", "-outputSeparator:=="},
        {"TF_DIFF_COMMAND=printf %6"}, "difference main.cpp\nhelp -exitcode\n", 0,
        "\\Aedit: [^\n]*/App/main\\.cpp\nmain\\.cpp;C2  \\(server\\)    [^=\n]*==\nUsage: .*\nExitCode: 0\n\n==\n\\z",
        "\\A==\n==\n\\z");
    row("@: %1 is the first word after the @", {"tf", "@", "main.cpp", "-outputSeparator:=="}, none,
        "info %1\nworkspaces -remove:%2\n", 1, info + ".*\n==\n==\n\\z",
        "\\A==\nNo workspace in the cache matches -outputSeparator:== for all servers\\.\n==\n\\z");
    row("@: a quote left open runs to the end", tfAt, none, "info \"main.cpp\n", 0, info, nothing);
    row("@: an empty word is passed over", tfAt, none, "info \"\" main.cpp\n", 0, info, nothing);
    row("tfpt @", {"tfpt", "@"}, none, "annotate \"CMakeLists.txt\"\n", 0, "\\A1 +alice +cmake_minimum_required",
        nothing);
}

void TfStandInTest::commandLines()
{
    QFETCH(QStringList, command);
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QCOMPARE(tf({"checkout", "main.cpp", "README.md", "CMakeLists.txt"}, app).exitCode, 0);
    writeAll(app + "/main.cpp", "changed main\n");
    writeAll(app + "/README.md", "changed readme\n");
    QVERIFY(QDir().mkpath(app + "/build"));

    const Result r = run(command, app, environment, input);
    QCOMPARE(r.exitCode, exitCode);
    const auto matches = [](const QString &pattern, const QString &text) {
        return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
    };
    QVERIFY2(matches(out, r.out), qPrintable(r.out));
    QVERIFY2(matches(err, r.err), qPrintable(r.err));
}

void TfStandInTest::comments_data()
{
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("comment");

    const QString tricky = "Say \"hi\", then 'bye';\nGrüße, 日本 %1 $HOME \\";
    QTest::newRow("argument") << "argument" << tricky;
    QTest::newRow("file") << "file" << tricky + "\n";
    QTest::newRow("empty file") << "file" << "";
    // A line of standard input cannot hold a line break.
    QTest::newRow("standard input") << "stdin" << QString(tricky).replace('\n', ' ');
}

// A check-in comment reaches the server exactly, whichever way it is given.
void TfStandInTest::comments()
{
    QFETCH(QString, via);
    QFETCH(QString, comment);

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QCOMPARE(tf({"checkout", "main.cpp"}, app).exitCode, 0);
    writeAll(app + "/main.cpp", "changed\n");
    Result r;
    if (via == "argument") {
        r = run({"tf", "checkin", "-comment:" + comment}, app);
    } else if (via == "file") {
        writeAll(path("comment.txt"), comment.toUtf8());
        r = run({"tf", "checkin", "-comment:@../../comment.txt"}, app);
    } else {
        const QString word = "\"-comment:" + QString(comment).replace("\"", "\"\"") + "\"";
        r = run({"tf", "@"}, app, {}, ("checkin " + word + "\n").toUtf8());
    }
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    Tf::ServerStore store(path("xdg/tf-standin/server"));
    store.open();
    QCOMPARE(store.changeset(4).comment, comment);
}

// A `tf @` started ahead of need, or waiting between two lines, lets every
// other command have the server.
void TfStandInTest::standardInputHoldsNoLockWhileWaiting()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QProcess *warm = startTf({"@"}, app);
    QVERIFY(warm->waitForStarted());
    QCOMPARE(tf({"checkout", "main.cpp"}, app).exitCode, 0);
    warm->write("status\n");
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += warm->readAllStandardOutput()).contains("1 change(s)"), 30000);
    QCOMPARE(tf({"undo", "main.cpp"}, app).exitCode, 0);
    warm->write("status\n");
    warm->closeWriteChannel();
    QVERIFY(warm->waitForFinished(30000));
    QCOMPARE(warm->exitCode(), 0);
    out += warm->readAllStandardOutput();
    QVERIFY2(out.endsWith("\n1 change(s)\nThere are no matching pending changes.\n"), out.constData());
}

void TfStandInTest::startupDelay()
{
    const QStringList programs[] = {{"tf", "TF_STANDIN_STARTUP_MS=1000"},
                                    {"tfpt", "TF_STANDIN_STARTUP_MS=1000"},
                                    {"tfrecorder", "TFREC_STARTUP_MS=1000"}};
    for (const QStringList &program : programs) {
        QElapsedTimer timer;
        timer.start();
        const Result r = run({program[0], "help"}, QString(), {program[1]});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(timer.elapsed() >= 1000, qPrintable(program[0]));
    }
}

namespace {

// One <pending-change> as a reader of the XML sees it.
struct XmlChange
{
    bool candidate = false;
    QStringList names; // the attributes in order
    QHash<QString, QString> values;
};

// The cross-platform client's words for tf.exe's kinds of change.
QString changeTypeOf(const QString &tfExeKinds)
{
    const QStringList kinds = tfExeKinds.split(' ');
    if (kinds.contains("Add"))
        return "add";
    QStringList words;
    for (const char *kind : {"Delete", "Rename", "Edit"}) {
        if (kinds.contains(kind))
            words.append(QString(kind).toLower());
    }
    return words.join(", ");
}

// Reads status XML the way an integration does, in either client's layout
// (tf.exe's values put under the cross-platform names); any other nesting is
// an error.
QVector<XmlChange> readStatusXml(const QByteArray &xml, QString *error)
{
    QVector<XmlChange> changes;
    QXmlStreamReader reader(xml);
    QStringList path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path.append(reader.name().toString());
            const QString where = path.join('/');
            if (where == "status/pending-changes/pending-change"
                || where == "status/candidate-pending-changes/pending-change"
                || where == "Status/PendingSet/PendingChanges/PendingChange") {
                XmlChange change;
                change.candidate = where.contains("candidate");
                for (const QXmlStreamAttribute &a : reader.attributes()) {
                    change.names.append(a.name().toString());
                    change.values.insert(a.name().toString(), a.value().toString());
                }
                if (where.startsWith("Status")) {
                    change.values.insert("change-type", changeTypeOf(change.values.value("chg")));
                    change.values.insert("server-item", change.values.value("item"));
                    change.values.insert("local-item", change.values.value("local"));
                    if (change.values.contains("srcitem"))
                        change.values.insert("source-item", change.values.value("srcitem"));
                }
                changes.append(change);
            } else if (where != "status" && where != "status/pending-changes"
                       && where != "status/candidate-pending-changes" && where != "Status"
                       && where != "Status/PendingSet" && where != "Status/PendingSet/PendingChanges") {
                *error = "unexpected element " + where;
            }
        } else if (reader.isEndElement()) {
            path.removeLast();
        }
    }
    if (reader.hasError())
        *error = reader.errorString();
    return changes;
}

} // namespace

void TfStandInTest::statusXml_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QStringList>("expected");

    const QStringList pending = {"pending add $/Demo/App/added.cpp", "pending edit $/Demo/App/main.cpp",
                                 "pending rename, edit $/Demo/App/a&b <\"c\">.md <- $/Demo/App/README.md"};
    const QStringList candidates = {"candidate add $/Demo/App/new file.txt",
                                    "candidate delete $/Demo/App/CMakeLists.txt"};
    // The real client detects candidates only in a local workspace, which the stand-in lists
    // when asked to, as if its workspace were one.
    const QStringList detect = {"TF_STANDIN_CANDIDATES=1"};
    QTest::newRow("whole workspace") << QStringList{"status", "-format:xml"} << QStringList() << pending;
    QTest::newRow("whole workspace, candidates") << QStringList{"status", "-format:xml"} << detect
                                                 << pending + candidates;
    QTest::newRow("-nodetect") << QStringList{"status", ".", "-recursive", "-format:XML", "-nodetect"}
                               << detect << pending;
    QTest::newRow("one pending file") << QStringList{"status", "main.cpp", "-format:xml"} << QStringList()
                                      << QStringList{pending[1]};
    QTest::newRow("one candidate") << QStringList{"status", "new file.txt", "-format:xml"} << detect
                                   << QStringList{candidates[0]};
    QTest::newRow("nothing pending") << QStringList{"status", "new file.txt", "-format:xml"} << QStringList()
                                     << QStringList();
    // A server workspace, which tf.exe lists, has no candidates.
    QTest::newRow("tf.exe grammar, tf.exe's layout") << QStringList{"status", "/format:xml"}
                                                     << QStringList{"TF_STANDIN_GRAMMAR=tf.exe"} << pending;
}

void TfStandInTest::statusXml()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, environment);
    QFETCH(QStringList, expected);

    QString error;
    const QVector<XmlChange> sample = readStatusXml(crossPlatformStatusSample, &error);
    QVERIFY2(error.isEmpty() && sample.size() == 2, qPrintable(error));

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    const QString renamed = "a&b <\"c\">.md";
    QCOMPARE(tf({"checkout", "main.cpp"}, app).exitCode, 0);
    writeAll(app + "/main.cpp", "edited\n");
    QCOMPARE(tf({"rename", "README.md", renamed}, app).exitCode, 0);
    QCOMPARE(tf({"checkout", renamed}, app).exitCode, 0);
    writeAll(app + "/" + renamed, "edited\n");
    writeAll(app + "/added.cpp", "added\n");
    QCOMPARE(tf({"add", "added.cpp"}, app).exitCode, 0);
    writeAll(app + "/new file.txt", "not added\n");
    QVERIFY(QFile::remove(app + "/CMakeLists.txt"));

    const Result r = run(QStringList("tf") + args, app, environment);
    QCOMPARE(r.exitCode, 0);
    const QByteArray xml = r.out.toUtf8();
    const bool tfExe = environment.contains("TF_STANDIN_GRAMMAR=tf.exe");
    // The cross-platform client's root follows its declaration on the same line, and is empty
    // when nothing is listed.
    QVERIFY2(xml.startsWith(tfExe ? "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Status>\n"
                            : expected.isEmpty() ? "<?xml version=\"1.0\" encoding=\"utf-8\"?><status/>\n"
                                                 : "<?xml version=\"1.0\" encoding=\"utf-8\"?><status>\n"),
             xml.constData());
    const QVector<XmlChange> changes = readStatusXml(xml, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QStringList rows;
    for (const XmlChange &c : changes) {
        const QString type = c.values.value("change-type");
        QString row = (c.candidate ? "candidate " : "pending ") + type + ' ' + c.values.value("server-item");
        if (c.values.contains("source-item"))
            row += " <- " + c.values.value("source-item");
        rows.append(row);
        // The real client's attributes in its order; a source only for a rename.
        QStringList names = tfExe ? QStringList{"chg", "date", "enc", "hash", "item", "itemid", "local", "pcid",
                                                "psn", "pso", "psod", "srcitem", "svrfm", "type", "uhash", "ver"}
                                  : sample[c.candidate ? 1 : 0].names;
        if (!type.contains("rename"))
            names.removeOne(tfExe ? "srcitem" : "source-item");
        QCOMPARE(c.names, names);
        QCOMPARE(c.values.value("local-item"), app + c.values.value("server-item").mid(QString("$/Demo/App").size()));
        const QString zone = tfExe ? "Z" : "[+-]\\d{4}"; // UTC as the server has it; local time with its offset
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}" + zone + "$")
                     .match(c.values.value("date")).hasMatch(), qPrintable(c.values.value("date")));
    }
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
}

void TfStandInTest::recorderReadsStandardInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("args");

    QTest::newRow("blanks and tabs separate words") << QByteArray("  info\t a   b  \n") << QStringList{"info", "a", "b"};
    QTest::newRow("a quoted word keeps its blanks") << QByteArray("add \"dir with spaces/a b.txt\"\n")
                                                    << QStringList{"add", "dir with spaces/a b.txt"};
    QTest::newRow("a doubled quote is a quote") << QByteArray("checkin \"-comment:say \"\"hi\"\"\"\n")
                                                << QStringList{"checkin", "-comment:say \"hi\""};
    QTest::newRow("commas and unicode") << QByteArray("info -login:ann,pa,ss Grüße,日本\n")
                                        << QStringList{"info", "-login:ann,pa,ss", "Grüße,日本"};
    QTest::newRow("an empty word") << QByteArray("status \"\" x\n") << QStringList{"status", "", "x"};
    QTest::newRow("quotes inside a word") << QByteArray("checkin -comment:\"two  words\"\n")
                                          << QStringList{"checkin", "-comment:two  words"};
    QTest::newRow("CR LF, no final line break") << QByteArray("\r\ninfo x\r\n\ninfo y")
                                                << QStringList{"info", "x", "|", "info", "y"};
}

// The recording tf takes its command lines from standard input as the real
// clients do and records each as its own run.
void TfStandInTest::recorderReadsStandardInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, args);

    const QString log = path("runs.log");
    const Result r = run({"tfrecorder", "@"}, QString(), {"TFREC_LOG=" + log}, input);
    QCOMPARE(r.exitCode, 0);
    QStringList recorded;
    for (const QByteArray &line : readAll(log).split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        QCOMPARE(record.value("via").toString(), QString("stdin"));
        QCOMPARE(record.value("argv").toArray(), QJsonArray{QString(QByteArray("@").toBase64())});
        if (!recorded.isEmpty())
            recorded.append("|");
        for (const QJsonValue &arg : record.value("args").toArray())
            recorded.append(QString::fromUtf8(QByteArray::fromBase64(arg.toString().toLatin1())));
    }
    QCOMPARE(recorded, args);
}

namespace {

// Starts its program as the leader of a process group of its own, as a host
// that ends whole process trees does.
class GroupLeaderProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

bool isAlive(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return !text.mid(text.lastIndexOf(')') + 2, 1).startsWith('Z');
}

} // namespace

// The recording tf counts starts apart from commands, refuses "@" on request,
// and leaves a grandchild behind unless its whole process group is ended.
void TfStandInTest::recorderStartsAndProcessTree()
{
    const QString log = path("runs.log");
    const QString starts = path("starts.log");
    const QStringList logs = {"TFREC_LOG=" + log, "TFREC_START_LOG=" + starts};
    const auto lines = [](const QString &file) { return QFileInfo::exists(file) ? readAll(file).count('\n') : 0; };

    // A warm start that reaches the end of its input executes nothing.
    QCOMPARE(run({"tfrecorder", "@"}, QString(), logs).exitCode, 0);
    QCOMPARE(lines(starts), 1);
    QCOMPARE(lines(log), 0);
    Result r = run({"tfrecorder", "@"}, QString(), logs + QStringList{"TFREC_REFUSE_AT=1"}, "info x\n");
    QCOMPARE(r.exitCode, 100);
    QCOMPARE(r.err, QString("Unrecognized command: @\n"));
    QCOMPARE(lines(starts), 2);
    QCOMPARE(lines(log), 1);

    const QString outliving = path("outliving");
    r = run({"tfrecorder", "status"}, QString(), {"TFREC_GRANDCHILD=" + outliving, "TFREC_GRANDCHILD_MS=100"});
    QCOMPARE(r.exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(outliving + ".done"), 30000);

    const QString ended = path("ended");
    QProcessEnvironment env = m_env;
    env.insert("TFREC_GRANDCHILD", ended);
    env.insert("TFREC_GRANDCHILD_MS", "30000");
    env.insert("TFREC_DELAY_MS", "60000");
    GroupLeaderProcess recorder;
    recorder.setProcessEnvironment(env);
    recorder.start(TFRECORDER_EXECUTABLE, {"status"});
    QTRY_VERIFY_WITH_TIMEOUT(readAll(ended).endsWith('\n'), 30000);
    const qint64 grandchild = readAll(ended).trimmed().toLongLong();
    QCOMPARE(qint64(::getpgid(pid_t(grandchild))), recorder.processId());
    QCOMPARE(::kill(-pid_t(recorder.processId()), SIGKILL), 0);
    QVERIFY(recorder.waitForFinished(30000));
    QTRY_VERIFY_WITH_TIMEOUT(!isAlive(grandchild), 30000);
    QVERIFY(!QFileInfo::exists(ended + ".done"));
}

// A server refuses a check-in that leaves out the pending add of a new item's
// folder: nothing goes in, nothing pending is lost.
// Each command names the items it changed as the real client does: by name, under a heading
// for each folder that is not the current directory (a folder's own change under itself), a
// blank line between folders; get names every folder in full.
void TfStandInTest::itemsNamedByFolder()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QVERIFY(QDir().mkpath(app + "/sub/deep"));
    writeAll(app + "/sub/deep/x.txt", "x\n");
    writeAll(app + "/sub/y.txt", "y\n");
    const struct
    {
        QStringList args;
        QString out;
    } steps[] = {
        {{"add", "sub/deep/x.txt", "sub/y.txt"}, "sub:\nsub\n\nsub/deep:\ndeep\nx.txt\n\nsub:\ny.txt\n"},
        {{"checkout", "main.cpp", "README.md"}, "main.cpp\nREADME.md\n"},
        {{"rename", "CMakeLists.txt", "build.cmake"}, "build.cmake\n"},
        {{"undo", "sub/y.txt"}, "sub:\nUndoing add: y.txt\n"},
        {{"checkin", "-comment:c", "main.cpp", "sub", "sub/deep", "sub/deep/x.txt"},
         "Checking in edit: main.cpp\n\nsub:\nChecking in add: sub\n\nsub/deep:\n"
         "Checking in add: deep\nChecking in add: x.txt\n\nChangeset #4 checked in.\n"},
        {{"get", path("other/App"), "-recursive"},
         QString("%1:\nGetting App\n\n%1/App:\nGetting CMakeLists.txt\nGetting main.cpp\n"
                 "Getting README.md\nGetting sub\n\n%1/App/sub:\nGetting deep\n\n%1/App/sub/deep:\n"
                 "Getting x.txt\n")
             .arg(path("other"))},
    };
    QVERIFY(QDir().mkpath(path("other")));
    QCOMPARE(tf({"workspace", "-new", "Other", "-collection:" + path("xdg/tf-standin/server")}, path("other")).exitCode, 0);
    QCOMPARE(tf({"workfold", "-map", "$/Demo/App", path("other/App"), "-workspace:Other"}, path("other")).exitCode, 0);
    for (const auto &step : steps) {
        if (step.args.first() == "checkin")
            writeAll(app + "/main.cpp", "edited\n"); // checked out by then
        const Result r = tf(step.args, step.args.first() == "get" ? path("other") : app);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, step.out);
    }
}

void TfStandInTest::checkinNeedsTheNewFolder()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QVERIFY(QDir().mkpath(app + "/lib/inner"));
    writeAll(app + "/lib/inner/a.cpp", "int a;\n");
    QCOMPARE(tf({"add", "lib", "-recursive"}, app).exitCode, 0);

    for (const QStringList &partial : {QStringList{"lib/inner/a.cpp"}, QStringList{"lib/inner/a.cpp", "lib/inner"}}) {
        const Result refused = tf(QStringList{"checkin", "-comment:partial"} + partial, app);
        QCOMPARE(refused.exitCode, 100);
        QVERIFY2(refused.err.contains("$/Demo/App/lib") && refused.err.contains("nothing was checked in"),
                 qPrintable(refused.err));
        QVERIFY(tfOk({"status"}, app).out.contains("3 change(s)"));
    }
    const Result whole = tfOk({"checkin", "lib/inner/a.cpp", "lib", "-recursive", "-comment:with its folders"}, app);
    QVERIFY2(whole.out.contains("Changeset #4"), qPrintable(whole.out));

    // The store itself refuses it, whoever hands it the changes.
    Tf::ServerStore store(path("xdg/tf-standin/server"));
    store.open();
    const Tf::PendingCommit file{Tf::PendingCommit::AddFile, "$/Demo/New/b.cpp", {}, "int b;\n"};
    const Tf::PendingCommit folder{Tf::PendingCommit::AddFolder, "$/Demo/New", {}, {}};
    QVERIFY_EXCEPTION_THROWN(store.commit({file}, "ann", "unasked folder"), Tf::Error);
    QCOMPARE(store.head(), 4);
    QCOMPARE(store.commit({file, folder}, "ann", "folder with it"), 5);
}

// The licence of the cross-platform client, in a profile folder of its own:
// where the memento is and what it says, how `eula` asks, and which commands
// need it. The fresh profile knows no workspace, so a command that gets past
// the licence stops at the next question, which server.
void TfStandInTest::licence_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("memento"); // before; empty: none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");        // the first line of standard error
    QTest::addColumn<QString>("out");        // a pattern
    QTest::addColumn<QByteArray>("after");   // the memento afterwards; empty: none

    const QByteArray accepted = "<ProductIdData><eula-14.0 value=\"true\"></eula-14.0></ProductIdData>";
    const QByteArray older = "<ProductIdData><eula-13.0 value=\"true\"/></ProductIdData>";
    const QString mustAccept = "Error: You must accept the End User License Agreement for this product";
    const QString already = "You have already accepted the terms of this End User License Agreement.";
    const QString noCollection = "A client error occurred: The Team Foundation Server project collection URL to use "
                                 "could not be determined by the options or argument paths provided.  Specify a "
                                 "workspace, or use the 'collection' option.";
    const QString echo = "(Warning: local echo could not be disabled; characters will echo)";
    const QString property = "TF_ADDITIONAL_JAVA_ARGS=-Xmx512m -Dcom.microsoft.tfs.client.eulaAccepted=";
    // Two pages of 22 lines and the question, without a line break after it.
    const QString asked = "\\ATERMS OF USE[^\n]*\n(?:[^\n]*\n){22}\n-- Press enter to continue --\n(?:[^\n]*\n){22}\n"
                          "-- Press enter to continue --\n.*\nDo you accept the terms of this End User License "
                          "Agreement\\? \\[y/N\\]: \\z";
    const QStringList none;
    const auto row = [&](const char *name, const QStringList &args, const QStringList &environment,
                         const QByteArray &input, const QByteArray &memento, int exitCode, const QString &err,
                         const QString &out, const QByteArray &after) {
        QTest::newRow(name) << args << environment << input << memento << exitCode << err << out << after;
    };

    row("a command that reaches a server needs it", {"info", "main.cpp"}, none, {}, {}, 100, mustAccept, "", {});
    row("a refused command line comes first", {"info", "-bogus"}, none, {}, {}, 100,
        "An argument error occurred: The option '-bogus' is unknown.", "", {});
    row("the cache alone needs none", {"workspaces", "-remove:W"}, none, {}, {}, 1,
        "No workspace in the cache matches W for all servers.", "", {});
    row("eula -noprompt", {"eula", "-noprompt"}, none, {}, {}, 100,
        "You cannot use 'noprompt' mode with the 'eula' command.", "\\A\\z", {});
    row("eula without an answer", {"eula"}, none, {}, {}, 100, echo, asked, {});
    row("eula answered no", {"eula"}, none, "\n\nno\n", {}, 100, echo, asked, {});
    row("eula answered yes", {"eula"}, none, "\n\nYes\n", {}, 0, echo, asked, accepted);
    row("eula -accept", {"eula", "-accept"}, none, {}, {}, 0, "", "\\A\\z", accepted);
    row("another version's acceptance is kept", {"eula", "-accept"}, none, {}, older, 0, "", "",
        "<ProductIdData><eula-13.0 value=\"true\"></eula-13.0>" + accepted.mid(15));
    row("and counts for nothing", {"info", "main.cpp"}, none, {}, older, 100, mustAccept, "", older);
    row("accepted already", {"eula", "-accept", "-noprompt"}, none, {}, accepted, 1, already, "", accepted);
    row("accepted: then the workspace is looked for", {"info", "main.cpp"}, none, {},
        QByteArray(accepted).replace("true", "TRUE"), 100, noCollection, "", QByteArray(accepted).replace("true", "TRUE"));
    row("the JVM property accepts it for the run", {"info", "main.cpp"}, {property + "true"}, {}, {}, 100,
        noCollection, "", {});
    row("its last setting counts", {"info", "main.cpp"}, {property + "true " + property.section('=', 1) + "false"},
        {}, {}, 100, mustAccept, "", {});
    row("eula with the property", {"eula"}, {property + "True"}, {}, {}, 1, already, "", {});
}

void TfStandInTest::licence()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, environment);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, memento);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, out);
    QFETCH(QByteArray, after);

    const QString file = path("fresh/Configuration/TEE-Mementos/com.microsoft.tfs.client.productid.xml");
    if (!memento.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        writeAll(file, memento);
    }
    const Result r = run(QStringList("tf") + args, m_dir->path(),
                         environment + QStringList{"TEE_PROFILE_DIRECTORY=" + path("fresh")}, input);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.err.section('\n', 0, 0), err);
    if (err == "Error: You must accept the End User License Agreement for this product")
        QCOMPARE(r.err.section('\n', 1), QString("Run 'tf eula' to accept the End User License Agreement.\n"));
    QVERIFY2(QRegularExpression(out, QRegularExpression::DotMatchesEverythingOption).match(r.out).hasMatch(),
             qPrintable(r.out));
    QCOMPARE(QFileInfo::exists(file) ? readAll(file) : QByteArray(), after);
}

// Where the stand-in finds a command's server and workspace, and what it
// answers where neither a workspace nor a collection names one (the real
// client's answers to more such lines are compared with the stand-in's in the
// real-client tier): "outside" is a directory in no mapping, "inside" the
// mapped App; %SERVER% stands for the server.
void TfStandInTest::outsideWorkspaces_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("in");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // the first line of standard error

    const QString noCollection = "A client error occurred: The Team Foundation Server project collection URL to use "
                                 "could not be determined by the options or argument paths provided.  Specify a "
                                 "workspace, or use the 'collection' option.";
    const QString noWorkspace = "An argument error occurred: The workspace could not be determined from any argument "
                                "paths or the current working directory.";
    const QString collection = "-collection:%SERVER%";
    const auto row = [](const char *name, const QStringList &args, const char *in, int exitCode, const QString &err) {
        QTest::newRow(name) << args << QString(in) << exitCode << err;
    };
    row("info", {"info", "."}, "outside", 100, noCollection);
    row("info of a mapped item from outside", {"info", "../work/App/main.cpp"}, "outside", 0, "");
    row("info with a collection still needs a workspace", {"info", ".", collection}, "outside", 100, noWorkspace);
    row("history with a collection", {"history", "$/Demo/App", collection}, "outside", 0, "");
    row("workspace -new without a collection", {"workspace", "-new", "X"}, "outside", 100, noCollection);
    row("workspace -new with one", {"workspace", "-new", "X", collection}, "outside", 0, "");
    row("workspace -new in a workspace: its server", {"workspace", "-new", "X"}, "inside", 0, "");
    row("workfold -map without a workspace", {"workfold", "-map", "$/Demo", "d"}, "outside", 100, noWorkspace);
    row("an unknown workspace", {"workfold", "-map", "$/Demo", "d", "-workspace:Nope"}, "outside", 100,
        "An argument error occurred: The workspace 'Nope' could not be found.");
    row("a known one", {"workfold", "-map", "$/Demo/Other", "d", "-workspace:w"}, "outside", 0, "");
    row("in a mapping, into its workspace", {"workfold", "-map", "$/Demo/Other", "../d"}, "inside", 0, "");
}

void TfStandInTest::outsideWorkspaces()
{
    QFETCH(QStringList, args);
    QFETCH(QString, in);
    QFETCH(int, exitCode);
    QFETCH(QString, err);

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QVERIFY(QDir().mkpath(path("outside")));
    args.replaceInStrings("%SERVER%", path("xdg/tf-standin/server"));
    const Result r = tf(args, in == "inside" ? app : path(in));
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.err.section('\n', 0, 0), err);
    // What was made is in the cache, in the workspace of the server it belongs to.
    if (exitCode == 0 && args.contains("-new"))
        QCOMPARE(Tf::WorkspaceCache::findByName("X", path("xdg/tf-standin/server")).size(), 1);
    if (exitCode == 0 && args.contains("-map")) {
        Tf::CachedWorkspace found;
        QVERIFY(Tf::WorkspaceCache::findByPath(QDir(in == "inside" ? app : path(in)).absoluteFilePath(args[3]), &found));
        QCOMPARE(found.name, QString("W"));
    }
}

namespace {

// A workspace as the client's cache holds it, read from the file as the
// client reads it.
QStringList cachedWorkspaces(const QByteArray &xml, QString *error)
{
    QStringList found;
    QXmlStreamReader reader(xml);
    QStringList path;
    QString uri;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path.append(reader.name().toString());
            const QString where = path.join('/');
            const QXmlStreamAttributes a = reader.attributes();
            if (where == "VersionControlServer/Servers/ServerInfo")
                uri = a.value("uri").toString();
            if (where == "VersionControlServer/Servers/ServerInfo/WorkspaceInfo")
                found.append(QString("%1 %2 owner=%3 computer=%4 local=%5 on %6")
                                 .arg(a.value("name").toString(), a.value("isLocalWorkspace").toString(),
                                      a.value("ownerName").toString(), a.value("computer").toString(),
                                      a.value("LastSavedCheckinTimeStamp").toString(), uri));
            if (where == "VersionControlServer/Servers/ServerInfo/WorkspaceInfo/MappedPaths/MappedPath")
                found.last() += " maps " + a.value("path").toString();
        } else if (reader.isEndElement()) {
            path.removeLast();
        }
    }
    if (reader.hasError())
        *error = reader.errorString();
    return found;
}

} // namespace

// The stand-in writes the workspaces it makes and maps into the client's
// cache, in the client's layout, and keeps the entries of others.
void TfStandInTest::workspaceCacheFile()
{
    const QString cache = path("profile/Cache/VersionControl.config");
    QVERIFY(QDir().mkpath(path("profile/Cache")));
    // An entry of the real client for a server of its own, with what it writes and we do not.
    const QByteArray theirs =
        "<VersionControlServer>\n"
        "  <Servers>\n"
        "    <ServerInfo repositoryGuid=\"ba99f1f5-d1fa-4029-8621-28b72ed1b4fb\" uri=\"http://tfs:8080/tfs/DC\">\n"
        "      <WorkspaceInfo LastSavedCheckinTimeStamp=\"2024-03-23T14:07:48.000Z\" comment=\"c\" computer=\"other\" "
        "isLocalWorkspace=\"true\" name=\"Real\" options=\"1\" ownerDisplayName=\"John Smith\" "
        "ownerName=\"DOMAIN\\jsmith\" securityToken=\"tok\">\n"
        "        <MappedPaths>\n"
        "          <MappedPath path=\"/home/js/proj\"/>\n"
        "        </MappedPaths>\n"
        "        <LastSavedCheckin>\n"
        "          <Comment>kept &amp; whole</Comment>\n"
        "        </LastSavedCheckin>\n"
        "        <OwnerAliases>\n"
        "          <OwnerAlias OwnerAlias=\"js\"/>\n"
        "        </OwnerAliases>\n"
        "      </WorkspaceInfo>\n"
        "    </ServerInfo>\n";
    writeAll(cache, theirs + "  </Servers>\n</VersionControlServer>\n");

    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    QCOMPARE(tf({"workspace", "-new", "Empty", "-collection:file://" + path("xdg/tf-standin/server")}).exitCode, 0);
    const QByteArray text = readAll(cache);
    QVERIFY2(text.startsWith(theirs), text.constData());
    QString error;
    QStringList found = cachedWorkspaces(text, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString server = path("xdg/tf-standin/server");
    const QString me = qEnvironmentVariable("USER", "user");
    const QString here = QSysInfo::machineHostName();
    QCOMPARE(found, QStringList({"Real true owner=DOMAIN\\jsmith computer=other local=2024-03-23T14:07:48.000Z on "
                                 "http://tfs:8080/tfs/DC maps /home/js/proj",
                                 QString("W false owner=%1 computer=%2 local=0001-01-01T00:00:00.000Z on %3 maps %4")
                                     .arg(me, here, server, app),
                                 QString("Empty false owner=%1 computer=%2 local=0001-01-01T00:00:00.000Z on %3")
                                     .arg(me, here, server)}));

    // Unmapped, deleted and forgotten as the client would; TFSVC_CACHE_DIR moves the file.
    QCOMPARE(tf({"workfold", "-unmap", app}, app).exitCode, 0);
    QCOMPARE(tf({"workspace", "-delete", "Empty", "-collection:" + server}).exitCode, 0);
    QCOMPARE(tf({"workspaces", "-remove:real"}).out, QString("Real;John Smith\n"));
    found = cachedWorkspaces(readAll(cache), &error);
    QCOMPARE(found, QStringList(QString("W false owner=%1 computer=%2 local=0001-01-01T00:00:00.000Z on %3")
                                    .arg(me, here, server)));
    m_env.insert("TFSVC_CACHE_DIR", path("elsewhere"));
    QCOMPARE(tf({"workspace", "-new", "Moved", "-collection:" + server}).exitCode, 0);
    QCOMPARE(cachedWorkspaces(readAll(path("elsewhere/VersionControl.config")), &error).size(), 1);
    QCOMPARE(cachedWorkspaces(readAll(cache), &error), found);

    // A file that is not the cache is reported, and left as it is.
    writeAll(path("elsewhere/VersionControl.config"), "<VersionControlServer><Servers>");
    const Result r = tf({"workspaces"});
    QCOMPARE(r.exitCode, 100);
    QVERIFY2(r.err.startsWith("An error occurred: The cache file " + path("elsewhere/VersionControl.config")
                              + " is not valid and cannot be loaded."),
             qPrintable(r.err));
    QCOMPARE(readAll(path("elsewhere/VersionControl.config")), QByteArray("<VersionControlServer><Servers>"));
}

// Which cached workspace a local path belongs to: the one with the longest
// mapped path at or above it, whichever workspace and server that is.
void TfStandInTest::workspaceCacheLookup_data()
{
    QTest::addColumn<QString>("localPath");
    QTest::addColumn<QString>("workspace"); // empty: none

    QTest::newRow("the mapped path itself") << "/w/app" << "A";
    QTest::newRow("below it") << "/w/app/src/main.cpp" << "A";
    QTest::newRow("a sibling with the same start") << "/w/application" << "";
    QTest::newRow("the longest mapping wins") << "/w/app/vendor/lib.c" << "B";
    QTest::newRow("over another server's") << "/w/app/vendor/lib/x/y" << "C";
    QTest::newRow("a mapping of the older layout") << "/old/src" << "Legacy";
    QTest::newRow("above every mapping") << "/w" << "";
}

void TfStandInTest::workspaceCacheLookup()
{
    QFETCH(QString, localPath);
    QFETCH(QString, workspace);

    QVERIFY(QDir().mkpath(path("profile/Cache")));
    writeAll(path("profile/Cache/VersionControl.config"),
             "<VersionControlServer><Servers>"
             "<ServerInfo uri=\"/srv/one\" repositoryGuid=\"g\">"
             "<WorkspaceInfo name=\"A\" ownerName=\"o\"><MappedPaths><MappedPath path=\"/w/app\"/>"
             "<MappedPath path=\"/w/other\"/></MappedPaths></WorkspaceInfo>"
             "<WorkspaceInfo name=\"B\" ownerName=\"o\"><MappedPaths><MappedPath path=\"/w/app/vendor\"/>"
             "</MappedPaths></WorkspaceInfo>"
             "<WorkspaceInfo name=\"Legacy\" ownerName=\"o\"><WorkingFolders><Map local=\"/old\"/></WorkingFolders>"
             "</WorkspaceInfo></ServerInfo>"
             "<ServerInfo uri=\"http://tfs:8080/tfs/C\" repositoryGuid=\"h\">"
             "<WorkspaceInfo name=\"C\" ownerName=\"o\"><MappedPaths><MappedPath path=\"/w/app/vendor/lib\"/>"
             "</MappedPaths></WorkspaceInfo></ServerInfo></Servers></VersionControlServer>");
    Tf::CachedWorkspace found;
    const bool known = Tf::WorkspaceCache::findByPath(localPath, &found);
    QCOMPARE(known ? found.name : QString(), workspace);
}

// The stand-in takes the client's lock on the cache: while another holds it,
// neither a reader nor a writer goes ahead, and after the client's ten
// seconds they give up in the client's words, the file untouched.
void TfStandInTest::workspaceCacheLock()
{
    const QString app = checkoutDemo(path("work"), "W");
    QVERIFY(!app.isEmpty());
    const QString cache = path("profile/Cache/VersionControl.config");
    const QByteArray before = readAll(cache);
    const int fd = ::open(QFile::encodeName(cache + ".lock").constData(), O_RDWR);
    QVERIFY(fd >= 0);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    QCOMPARE(::fcntl(fd, F_SETLK, &whole), 0);
    QProcess *reader = startTf({"info", "main.cpp"}, app);
    QProcess *writer = startTf({"workspace", "-new", "Late", "-collection:" + path("xdg/tf-standin/server")}, app);
    for (QProcess *p : {reader, writer}) {
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitCode(), 100);
        QCOMPARE(QString::fromUtf8(p->readAllStandardError()),
                 QString("An error occurred: The version control cache file could not be loaded because exclusive "
                         "access could not be acquired.\n"));
    }
    ::close(fd);
    QCOMPARE(readAll(cache), before);
    QCOMPARE(tf({"info", "main.cpp"}, app).exitCode, 0);
}

QTEST_GUILESS_MAIN(TfStandInTest)
#include "tst_tfstandin.moc"
