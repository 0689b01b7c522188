// End-to-end tests of the Team Foundation plugin: the real workbench loads the real plugin and
// runs scripts, each in a sandbox of its own. Against the stand-in tf on a seeded server the
// tests check what ends up on the server and on disk; against the recording tf they check the
// exact command lines of the user's roads, what the pane shows of them, and what it hides.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "e2eutils.h"

#include <algorithm>

namespace {

using E2e::acceptLicence;
using E2e::hasWriteBit;
using E2e::readAll;
using E2e::runProgram;
using E2e::Run;
using E2e::writeFile;

QString describe(const Run &run)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(run.exitCode).arg(run.out, run.err);
}

// One run of tf or tfpt as the recording stand-in saw it, as "name|cwd|arg|arg...".
QStringList recordedCalls(const QString &logFile)
{
    QStringList calls;
    const QList<QByteArray> lines = readAll(logFile).split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        QStringList fields{record.value(QStringLiteral("name")).toString(),
                           record.value(QStringLiteral("cwd")).toString()};
        const QJsonArray args = record.value(QStringLiteral("args")).toArray();
        for (const QJsonValue &arg : args)
            fields << QString::fromUtf8(QByteArray::fromBase64(arg.toString().toLatin1()));
        calls << fields.join(QLatin1Char('|'));
    }
    return calls;
}

// The silent reads: the probes, and the pending changes read after the project opened and
// after each command (counted in tst_PendingChanges).
bool isProbe(const QString &call)
{
    const QString word = call.section(QLatin1Char('|'), 2, 2);
    return word == QLatin1String("info") || word == QLatin1String("status");
}

QStringList withoutProbes(const QStringList &calls)
{
    QStringList result;
    for (const QString &call : calls) {
        if (!isProbe(call))
            result << call;
    }
    return result;
}

QString call(const QString &name, const QString &cwd, const QStringList &arguments)
{
    return (QStringList{name, cwd} + arguments).join(QLatin1Char('|'));
}

// A temporary world for one test: the workbench's settings, the stand-in's client state (its
// profile folder, the licence accepted) and everything the scripts create live below one
// temporary directory.
class Sandbox
{
public:
    Sandbox()
    {
        QDir().mkpath(path("runtime"));
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_licence = acceptLicence(QStringLiteral(TF_EXECUTABLE), path("profile"));
        if (!m_licence.isEmpty())
            qWarning("%s", qPrintable(m_licence));
    }

    bool isValid() const { return m_dir.isValid() && m_licence.isEmpty(); }
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    QString settingsFile() const { return path("settings/workbench.ini"); }

    QProcessEnvironment environment(const QStringList &extra) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The sandbox's server is named explicitly; one from the caller's world must not leak in.
        env.remove(QStringLiteral("TF_SERVER"));
        for (const QString &name : env.keys()) {
            if (name.startsWith(QLatin1String("TFREC_")))
                env.remove(name);
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("TEE_PROFILE_DIRECTORY"), path("profile"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        env.insert(QStringLiteral("SANDBOX"), root());
        // No session bus: the passwords of these runs stay out of the keychain of the person
        // running the tests, in the sandbox's settings file.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        for (const QString &assignment : extra)
            env.insert(assignment.section(QLatin1Char('='), 0, 0),
                       assignment.section(QLatin1Char('='), 1));
        return env;
    }

    Run start(const QString &program, const QStringList &arguments, const QString &workingDirectory,
              const QStringList &extraEnvironment = {}) const
    {
        return runProgram(program, arguments, environment(extraEnvironment), workingDirectory);
    }

    // Runs the workbench with the plugin on the script file.
    Run runScriptFile(const QString &scriptFile, const QStringList &extraEnvironment = {}) const
    {
        const QStringList arguments{QStringLiteral("-pluginpath"), QStringLiteral(PLUGIN_DIR),
                                    QStringLiteral("-settingspath"), path("settings"),
                                    QStringLiteral("--script"), scriptFile};
        return start(QStringLiteral(WORKBENCH_EXECUTABLE), arguments, root(), extraEnvironment);
    }

    Run runScript(const QString &script, const QStringList &extraEnvironment = {}) const
    {
        const QString scriptFile = path("script.wb");
        if (!writeFile(scriptFile, script.toUtf8())) {
            Run failed;
            failed.err = QStringLiteral("cannot write %1").arg(scriptFile);
            return failed;
        }
        return runScriptFile(scriptFile, extraEnvironment);
    }

    // The stand-in tf, as a person would run it beside the workbench.
    Run runTf(const QStringList &arguments, const QString &workingDirectory) const
    {
        return start(QStringLiteral(TF_EXECUTABLE), arguments, workingDirectory);
    }

private:
    QTemporaryDir m_dir;
    QString m_licence; // what went wrong accepting the licence
};

// A sandbox whose "tf" and "tfpt" are the recording stand-in, with a working copy "ws" that
// it reports as managed: main.cpp (read-only, as tf leaves files that are not checked out),
// util.cpp and notes.txt.
class RecordingSandbox : public Sandbox
{
public:
    RecordingSandbox()
    {
        QDir().mkpath(path("bin"));
        QFile::link(QStringLiteral(TFRECORDER_EXECUTABLE), tf());
        QFile::link(QStringLiteral(TFRECORDER_EXECUTABLE), tfpt());
        writeFile(ws("main.cpp"), "int main() { return 0; }\n");
        writeFile(ws("util.cpp"), "int util() { return 1; }\n");
        writeFile(ws("notes.txt"), "notes\n");
        QFile::setPermissions(ws("main.cpp"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }

    QString tf() const { return path("bin/tf"); }
    QString tfpt() const { return path("bin/tfpt"); }
    QString ws(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? path("ws") : path("ws/" + relative);
    }
    QString logFile() const { return path("calls.log"); }
    QStringList calls() const { return recordedCalls(logFile()); }

    // The options line that points the plugin at the recorder, with optional credentials.
    QString optionsLine(const QString &credentials = QString()) const
    {
        return QStringLiteral("options T.TeamFoundation pathChooser=${SANDBOX}/bin/tf "
                              "tfptPathChooser=${SANDBOX}/bin/tfpt timeOutSpinBox=20 %1\n")
            .arg(credentials);
    }

    Run run(const QString &script, const QStringList &extraEnvironment = {}) const
    {
        return runScript(script, QStringList{QStringLiteral("TFREC_LOG=") + logFile(),
                                             QStringLiteral("TFREC_MANAGED_ROOT=") + ws()}
                                     + extraEnvironment);
    }
};

// The lines of the pane that show a started command.
QStringList executingLines(const QString &out)
{
    QStringList lines;
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Executing in ")))
            lines << line;
    }
    return lines;
}

} // namespace

#define EXPECT_OK(run) QVERIFY2((run).exitCode == 0, qPrintable(describe(run)))
#define EXPECT_FAILED_LINE(run)                                                                    \
    QVERIFY2((run).exitCode == 1 && (run).err.contains(QLatin1String("script.wb:")),               \
             qPrintable(describe(run)))

class TeamFoundationEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    // The stand-in tf on a seeded server.
    void demoRoadOnASeededServer();
    void checkoutWithAWrongPasswordGetsNothing();
    void refusedLoginIsShownOncePerCause();
    void aLinuxUsersDay();
    void renameAndDeleteReachTheServerWithTfExe();
    void processesOfADay_data();
    void processesOfADay();
    void aNewFolderInsideAMappingIsAdded();
    void historyAnnotationDiffAndGetOfTwoUsers_data();
    void historyAnnotationDiffAndGetOfTwoUsers();

    // The recording tf.
    void menuAndLocatorCommandLines();
    void hostFileOperationCommandLines();
    void checkOutBeforeEditCommandLine();
    void refusedFileOperationsLeaveTheWorkingCopyAlone_data();
    void refusedFileOperationsLeaveTheWorkingCopyAlone();
    void dialogsInScripts_data();
    void dialogsInScripts();
    void probesClimbSilently();
    void repositoryIsAskedOncePerDirectory();
    void passwordIsMaskedInThePaneOnly();

    // A tf that cannot be run.
    void wronglyConfiguredTfStartsNothing_data();
    void wronglyConfiguredTfStartsNothing();
    void correctingThePathEnablesThePlugin();
};

// --- The stand-in tf on a seeded server -----------------------------------------------------

// Seeds a server below the sandbox, with the user "ann" when a password is given.
static bool seedServer(const Sandbox &box, const QString &password = QString())
{
    const QString collection = QStringLiteral("-collection:") + box.path("server");
    const Run seed = box.runTf({QStringLiteral("seed"), collection}, box.root());
    if (seed.exitCode != 0) {
        qWarning("%s", qPrintable(describe(seed)));
        return false;
    }
    if (password.isEmpty())
        return true;
    const Run add = box.runTf({QStringLiteral("useradd"), QStringLiteral("ann"), password, collection},
                           box.root());
    if (add.exitCode != 0)
        qWarning("%s", qPrintable(describe(add)));
    return add.exitCode == 0;
}

// Gets $/Demo/App into a new workspace of that name, in the sandbox directory of that name, as
// a colleague would: what it holds is what the server holds.
static Run getIntoNewWorkspace(const Sandbox &box, const QString &name, const QString &login)
{
    const QString collection = QStringLiteral("-collection:") + box.path("server");
    QList<QStringList> steps{
        {QStringLiteral("workspace"), QStringLiteral("-new"), name, collection},
        {QStringLiteral("workfold"), QStringLiteral("-map"), QStringLiteral("$/Demo/App"),
         box.path(name), collection, QStringLiteral("-workspace:") + name},
        {QStringLiteral("get"), box.path(name), QStringLiteral("-recursive")}};
    Run run;
    for (QStringList step : steps) {
        if (!login.isEmpty())
            step << login;
        run = box.runTf(step, box.root());
        if (run.exitCode != 0)
            return run;
    }
    return run;
}

void TeamFoundationEndToEndTest::demoRoadOnASeededServer()
{
    Sandbox box;
    QVERIFY(box.isValid());
    // Blanks and a comma: the login travels as one argument, and only the first comma splits.
    const QString password = QStringLiteral("open, sesame 42");
    QVERIFY(seedServer(box, password));
    QDir().mkpath(box.path("work"));
    QDir().mkpath(box.path("shots"));

    const Run run = box.runScriptFile(
        QStringLiteral(DEMO_SCRIPT),
        {QStringLiteral("TF=") + QStringLiteral(TF_EXECUTABLE),
         QStringLiteral("TFPT=") + QStringLiteral(TFPT_EXECUTABLE),
         QStringLiteral("TF_SERVER_DIR=") + box.path("server"), QStringLiteral("TF_USER=ann"),
         QStringLiteral("TF_PASSWORD=") + password, QStringLiteral("WORK=") + box.path("work"),
         QStringLiteral("SHOTS=") + box.path("shots")});
    EXPECT_OK(run);

    // The pane: the login masked wherever it went, the two check-ins, the menu with the name.
    QVERIFY(!run.out.contains(QLatin1String("sesame")));
    QVERIFY(!run.err.contains(QLatin1String("sesame")));
    QVERIFY(run.out.contains(QLatin1String(" -login:ann,********\n")));
    QVERIFY(run.out.contains(QLatin1String("[x] Check In main.cpp  (TeamFoundation.CheckIn)\n")));
    QVERIFY(run.out.contains(QLatin1String("[x] History for main.cpp  (TeamFoundation.History)\n")));
    QVERIFY(run.out.contains(QLatin1String("Changeset #4 checked in.")));
    QVERIFY(run.out.contains(QLatin1String("Changeset #5 checked in.")));
    QVERIFY(run.out.contains(QLatin1String("version control: Team Foundation\n")));

    // The working copy: the checked-out files, the edit kept, the thrown-away change undone,
    // and everything read-only again after the check-ins and the undo.
    const QString app = box.path("work/App");
    for (const char *name : {"CMakeLists.txt", "main.cpp", "README.md", "greeting.h"})
        QVERIFY2(QFileInfo::exists(app + QLatin1Char('/') + QLatin1String(name)), name);
    const QByteArray mainCpp = readAll(app + QStringLiteral("/main.cpp"));
    QVERIFY(mainCpp.endsWith("}\n// Checked out by typing into it.\n"));
    QVERIFY(!mainCpp.contains("A change to throw away"));
    QVERIFY(!mainCpp.contains("And one more"));
    QVERIFY(!hasWriteBit(app + QStringLiteral("/main.cpp")));
    QVERIFY(!hasWriteBit(app + QStringLiteral("/greeting.h")));

    // What was left for later is pending, as the view listed it, and nothing else.
    QVERIFY2(run.out.contains(QLatin1String("\nadd  NOTES.md\nedit  README.md\n")),
             qPrintable(run.out));
    const QString login = QStringLiteral("-login:ann,") + password;
    const Run status = box.runTf({QStringLiteral("status"), app, QStringLiteral("-recursive"), login}, app);
    QCOMPARE(status.exitCode, 0);
    QVERIFY2(status.out.contains(QLatin1String("\n2 change(s)\n")), qPrintable(status.out));

    // The server: changeset 4 is ann's edit of main.cpp, 5 her added greeting.h.
    const Run mainHistory = box.runTf({QStringLiteral("history"), app + QStringLiteral("/main.cpp"), login}, app);
    QCOMPARE(mainHistory.exitCode, 0);
    QVERIFY2(mainHistory.out.contains(QRegularExpression(QStringLiteral("(?m)^4\\s+edit\\s+ann\\s"))),
             qPrintable(mainHistory.out));
    const Run addHistory = box.runTf({QStringLiteral("history"), app + QStringLiteral("/greeting.h"), login}, app);
    QCOMPARE(addHistory.exitCode, 0);
    QVERIFY2(addHistory.out.contains(QRegularExpression(QStringLiteral("(?m)^5\\s+add\\s+ann\\s"))),
             qPrintable(addHistory.out));

    const Run colleague = getIntoNewWorkspace(box, QStringLiteral("colleague"), login);
    QVERIFY2(colleague.exitCode == 0, qPrintable(describe(colleague)));
    QCOMPARE(readAll(box.path("colleague/main.cpp")), mainCpp);
    QCOMPARE(readAll(box.path("colleague/greeting.h")),
             QByteArray("#pragma once\ninline const char *greeting() { return \"Hello from App\"; }\n"));

    // The settings the options page wrote, and the pictures: three different views.
    QSettings settings(box.settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("TeamFoundation/BinaryPath")).toString(),
             QStringLiteral(TF_EXECUTABLE));
    QCOMPARE(settings.value(QStringLiteral("TeamFoundation/Username")).toString(), QStringLiteral("ann"));
    QList<QSize> sizes;
    for (const char *name : {"options-page.png", "checkout-wizard.png", "team-foundation-menu.png",
                             "main-window.png", "check-in-dialog.png", "pending-changes.png"}) {
        const QImage image(box.path(QStringLiteral("shots/") + QLatin1String(name)));
        QVERIFY2(!image.isNull(), name);
        sizes << image.size();
    }
    QVERIFY(sizes.at(0) != sizes.at(1));
    QVERIFY(sizes.at(0) != sizes.at(2));
    QVERIFY(sizes.at(1) != sizes.at(2));
}

void TeamFoundationEndToEndTest::checkoutWithAWrongPasswordGetsNothing()
{
    Sandbox box;
    QVERIFY(seedServer(box, QStringLiteral("right")));
    QDir().mkpath(box.path("work"));
    const Run run = box.runScript(
        QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 "
                       "usernameLineEdit=ann passwordLineEdit=wrong-guess\n"
                       "wizard T.TeamFoundation ${SANDBOX}/work repositoryLineEdit=$/Demo/App "
                       "checkoutDirectoryLineEdit=App collectionEdit=${SANDBOX}/server\n"
                       "state\n")
            .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE)));
    // The failed checkout fails its line; no project opens and nothing is on disk.
    EXPECT_FAILED_LINE(run);
    QVERIFY(run.err.contains(QLatin1String("script.wb:2:")));
    QVERIFY(!run.out.contains(QLatin1String("wrong-guess")));
    QVERIFY(run.out.contains(QLatin1String("-login:ann,********")));
    QVERIFY(!run.out.contains(QLatin1String("Checked out into")));
    QVERIFY(!QFileInfo::exists(box.path("work/App/main.cpp")));
    QVERIFY(!QFileInfo::exists(box.path("work/App/CMakeLists.txt")));
}

void TeamFoundationEndToEndTest::refusedLoginIsShownOncePerCause()
{
    Sandbox box;
    QVERIFY(seedServer(box, QStringLiteral("right")));
    const Run got = getIntoNewWorkspace(box, QStringLiteral("ws"), QStringLiteral("-login:ann,right"));
    QVERIFY2(got.exitCode == 0, qPrintable(describe(got)));
    QDir().mkpath(box.path("ws/src"));
    // tf.exe keeps no workspace cache the plugin reads here, so the plugin asks the client.
    const Run run =
        box.runScript(QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 "
                                     "clientKindComboBox=\"Visual Studio (tf.exe)\" "
                                     "usernameLineEdit=ann passwordLineEdit=wrong-guess\n"
                                     "project ${SANDBOX}/ws\n"
                                     "open main.cpp\n"
                                     "state\n"
                                     "menu\n"
                                     "project ${SANDBOX}\n"
                                     "options T.TeamFoundation passwordLineEdit=still-wrong\n"
                                     "open ${SANDBOX}/ws/README.md\n"
                                     "options T.TeamFoundation passwordLineEdit=right\n"
                                     "state\n")
                          .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE)),
                      {QStringLiteral("TF_STANDIN_GRAMMAR=tf.exe")});
    EXPECT_OK(run);
    // Every probe in the workspace is refused: said once, and once more after the settings
    // changed, with the command line that failed; the directories outside any workspace
    // stay silent.
    QVERIFY2(run.out.count(QLatin1String("TF30063")) == 2, qPrintable(run.out));
    // A refusal is no answer: the workspace is not taken for unmanaged, and once the login
    // is accepted the plugin knows it again.
    QVERIFY2(run.out.contains(QStringLiteral("version control: Team Foundation (unavailable: "
                                             "TF30063: You are not authorized")),
             qPrintable(run.out));
    // The menu stays: the file's commands ask the client again.
    QVERIFY2(run.out.contains(QLatin1String("[x] Check In main.cpp  (TeamFoundation.CheckIn)")),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("version control: Team Foundation\ntop level: %1\n")
                                  .arg(box.path("ws"))),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral(" info %1 /login:ann,********\n").arg(box.path("ws"))),
             qPrintable(run.out));
    QVERIFY2(!run.out.contains(QLatin1String("Unable to determine")), qPrintable(run.out));
    for (const QString &text : {run.out, run.err}) {
        QVERIFY(!text.contains(QLatin1String("wrong-guess")));
        QVERIFY(!text.contains(QLatin1String("still-wrong")));
    }
}

// A Linux user's day with the cross-platform client, the platform's default kind: check out,
// add a file, edit, and check the project in with a comment written in the IDE while the edit
// is still unsaved. The check-in saves it first and leaves the file read-only; typing into it
// again checks it out again, and undo asks before it drops that unsaved change.
void TeamFoundationEndToEndTest::aLinuxUsersDay()
{
    Sandbox box;
    const QString password = QStringLiteral("s3cret");
    QVERIFY(seedServer(box, password));
    QDir().mkpath(box.path("work"));
    const QString comment = QStringLiteral("Greet from Linux, \"politely\"\nand add greeting.h");
    const Run run = box.runScript(
        QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 "
                       "usernameLineEdit=ann passwordLineEdit=%3\n"
                       "wizard T.TeamFoundation ${SANDBOX}/work repositoryLineEdit=$/Demo/App "
                       "checkoutDirectoryLineEdit=App collectionEdit=${SANDBOX}/server "
                       "workspaceEdit=linux\n"
                       "new greeting.h \"#pragma once\\n\"\n"
                       "open main.cpp\n"
                       "type \"// Greeted from Linux.\\n\"\n"
                       "dialog commentEdit=${COMMENT}\n"
                       "trigger TeamFoundation.CheckInProject\n"
                       "type \"// Not for today.\\n\"\n"
                       "dialog\n"
                       "dialog\n"
                       "trigger TeamFoundation.UndoProject\n")
            .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE), password),
        {QStringLiteral("COMMENT=") + comment});
    EXPECT_OK(run);
    const QString app = box.path("work/App");
    const QString mainCpp = app + QStringLiteral("/main.cpp");
    // Typing asked for a check-out twice: before the check-in and after it.
    QCOMPARE(run.out.count(QStringLiteral(" checkout %1 -noprompt -login:ann,********\n").arg(mainCpp)), 2);
    const QByteArray content = readAll(mainCpp);
    QVERIFY2(content.endsWith("// Greeted from Linux.\n"), content.constData());
    QVERIFY(!hasWriteBit(mainCpp));
    QVERIFY(!hasWriteBit(app + QStringLiteral("/greeting.h")));

    const QString login = QStringLiteral("-login:ann,") + password;
    const Run status = box.runTf({QStringLiteral("status"), app, QStringLiteral("-recursive"), login}, app);
    QVERIFY2(status.exitCode == 0 && status.out.contains(QLatin1String("There are no matching pending changes.")),
             qPrintable(describe(status)));
    // The brief table shows a comment's first line; the detailed layout all of it.
    const Run history = box.runTf(
        {QStringLiteral("history"), mainCpp, QStringLiteral("-format:detailed"), login}, app);
    QVERIFY2(history.out.contains(QLatin1String("Greet from Linux, \"politely\""))
                 && history.out.contains(QLatin1String("and add greeting.h")),
             qPrintable(describe(history)));
    // What the server got is what the editor showed.
    const Run colleague = getIntoNewWorkspace(box, QStringLiteral("colleague"), login);
    QVERIFY2(colleague.exitCode == 0, qPrintable(describe(colleague)));
    QCOMPARE(readAll(box.path("colleague/main.cpp")), content);
    QVERIFY(QFileInfo::exists(box.path("colleague/greeting.h")));

    // As the real client does, the stand-in takes "/recursive" for an item, not an option.
    const Run slash = box.runTf({QStringLiteral("status"), app, QStringLiteral("/recursive"), login}, app);
    QVERIFY2(slash.exitCode == 100 && slash.err.contains(QLatin1String("/recursive")),
             qPrintable(describe(slash)));
}

// The road with tf.exe: the stand-in takes its grammar, and check-in asks nothing of the IDE.
void TeamFoundationEndToEndTest::renameAndDeleteReachTheServerWithTfExe()
{
    Sandbox box;
    QVERIFY(seedServer(box));
    QDir().mkpath(box.path("work"));
    const Run before = getIntoNewWorkspace(box, QStringLiteral("before"), QString());
    QVERIFY2(before.exitCode == 0, qPrintable(describe(before)));
    const QByteArray originalMain = readAll(box.path("before/main.cpp"));
    QVERIFY(!originalMain.isEmpty());

    const Run run = box.runScript(
        QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 "
                       "clientKindComboBox=\"Visual Studio (tf.exe)\"\n"
                       "wizard T.TeamFoundation ${SANDBOX}/work repositoryLineEdit=$/Demo/App "
                       "checkoutDirectoryLineEdit=App collectionEdit=${SANDBOX}/server "
                       "workspaceEdit=mine\n"
                       "rename main.cpp app.cpp\n"
                       "delete README.md\n"
                       "trigger TeamFoundation.CheckInProject\n")
            .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE)),
        {QStringLiteral("TF_STANDIN_GRAMMAR=tf.exe")});
    EXPECT_OK(run);
    QVERIFY2(run.out.contains(QStringLiteral(" checkin %1 /prompt /recursive\n").arg(box.path("work/App"))),
             qPrintable(run.out));

    const QString app = box.path("work/App");
    QCOMPARE(QDir(app).entryList(QDir::Files, QDir::Name),
             QStringList({QStringLiteral("CMakeLists.txt"), QStringLiteral("app.cpp")}));
    QCOMPARE(readAll(app + QStringLiteral("/app.cpp")), originalMain);

    const Run colleague = getIntoNewWorkspace(box, QStringLiteral("colleague"), QString());
    QVERIFY2(colleague.exitCode == 0, qPrintable(describe(colleague)));
    QCOMPARE(QDir(box.path("colleague")).entryList(QDir::Files, QDir::Name),
             QStringList({QStringLiteral("CMakeLists.txt"), QStringLiteral("app.cpp")}));
    QCOMPARE(readAll(box.path("colleague/app.cpp")), originalMain);
}

// A stand-in tf that writes each of its command lines to bin/starts.log before it starts.
static QString countingTf(const Sandbox &box)
{
    const QString wrapper = box.path("bin/tf");
    writeFile(wrapper, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\nexec '%2' \"$@\"\n")
                           .arg(box.path("bin/starts.log"), QStringLiteral(TF_EXECUTABLE))
                           .toUtf8());
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return wrapper;
}

// Puts src/d1 ... src/d5, two files each, on the server, as a colleague would have.
static bool addFolders(const Sandbox &box, const QString &login)
{
    if (getIntoNewWorkspace(box, QStringLiteral("setup"), login).exitCode != 0)
        return false;
    for (int d = 1; d <= 5; ++d) {
        for (int f = 1; f <= 2; ++f)
            writeFile(box.path(QStringLiteral("setup/src/d%1/f%2.cpp").arg(d).arg(f)), "int f;\n");
    }
    for (const QStringList &step : {QStringList{"add", box.path("setup/src"), "-recursive", login},
                                    QStringList{"checkin", box.path("setup"), "-recursive",
                                                "-comment:Five folders", login}}) {
        const Run run = box.runTf(step, box.path("setup"));
        if (run.exitCode != 0) {
            qWarning("%s", qPrintable(describe(run)));
            return false;
        }
    }
    return true;
}

// A person's day costs few processes: the directories of a mapping are known once its top
// level is, whichever of them the project is, and the login is on no command line.
void TeamFoundationEndToEndTest::processesOfADay_data()
{
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("opened");    // files opened after the project, in order
    QTest::addColumn<QStringList>("edited"); // read-only files typed into
    QTest::addColumn<bool>("checkIn");       // the project checked in at the end
    QTest::addColumn<int>("processes");      // at most
    // The top level's probe and the failing one above it, a check-out per edited file, the
    // check-in and the client started for the next command; and one for each reading of the
    // pending changes: when the project opened, after each check-out and after the check-in
    // (whose dialog lists what the last one read).
    QTest::newRow("the day: 10 files in 5 folders, 2 edited, checked in")
        << "ws" << "src/d1/f1.cpp src/d1/f2.cpp src/d2/f1.cpp src/d2/f2.cpp src/d3/f1.cpp "
                   "src/d3/f2.cpp src/d4/f1.cpp src/d4/f2.cpp src/d5/f1.cpp src/d5/f2.cpp"
        << QStringList{"src/d2/f1.cpp", "src/d4/f2.cpp"} << true << 6 + 4;
    // Three probes up to the top level and one above it, the check-out and the client started
    // for the next command; the pending changes read when the project opened and after the
    // check-out.
    QTest::newRow("a project two levels below its top")
        << "ws/src/d1" << "f1.cpp f2.cpp ../d2/f1.cpp ../d3/f2.cpp ../../main.cpp"
        << QStringList{"f2.cpp"} << false << 6 + 2;
}

void TeamFoundationEndToEndTest::processesOfADay()
{
    QFETCH(QString, project);
    QFETCH(QString, opened);
    QFETCH(QStringList, edited);
    QFETCH(bool, checkIn);
    QFETCH(int, processes);
    Sandbox box;
    const QString password = QStringLiteral("day, \"pass\"");
    const QString login = QStringLiteral("-login:ann,") + password;
    QVERIFY(seedServer(box, password));
    QVERIFY(addFolders(box, login));
    const Run got = getIntoNewWorkspace(box, QStringLiteral("ws"), login);
    QVERIFY2(got.exitCode == 0, qPrintable(describe(got)));
    const QString tf = countingTf(box);

    QString script = QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 "
                                    "usernameLineEdit=ann passwordLineEdit=${SECRET}\n"
                                    "project ${SANDBOX}/%3\n")
                         .arg(tf, QStringLiteral(TFPT_EXECUTABLE), project);
    for (const QString &file : opened.split(QLatin1Char(' ')))
        script += QStringLiteral("open %1\n").arg(file);
    for (const QString &file : edited)
        script += QStringLiteral("edit %1 \"// edited today\\n\"\n").arg(file);
    if (checkIn)
        script += QStringLiteral("dialog commentEdit=\"The day's work\"\ntrigger TeamFoundation.CheckInProject\n");
    const Run run = box.runScript(script, {QStringLiteral("SECRET=") + password});
    EXPECT_OK(run);

    const QStringList starts = QString::fromUtf8(readAll(box.path("bin/starts.log"))).split(
        QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(starts.size() <= processes, qPrintable(starts.join(QLatin1Char('\n'))));
    for (const QString &start : starts)
        QCOMPARE(start, QStringLiteral("@"));
    // The edits reached the disk, and with the check-in the server.
    const QString base = box.path(project);
    for (const QString &file : edited) {
        const QString path = QDir(base).absoluteFilePath(file);
        QVERIFY2(readAll(path).endsWith("// edited today\n"), qPrintable(path));
        const Run history = box.runTf({QStringLiteral("history"), path, login}, base);
        QCOMPARE(history.out.contains(QLatin1String("The day's work")), checkIn);
    }
}

// tf.exe says nothing is known of a folder not added yet; the plugin knows it is in the
// mapping, so a file created in it is added, and checked in.
void TeamFoundationEndToEndTest::aNewFolderInsideAMappingIsAdded()
{
    Sandbox box;
    QVERIFY(seedServer(box));
    const Run got = getIntoNewWorkspace(box, QStringLiteral("ws"), QString());
    QVERIFY2(got.exitCode == 0, qPrintable(describe(got)));
    const Run run = box.runScript(
        QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 "
                       "clientKindComboBox=\"Visual Studio (tf.exe)\"\n"
                       "project ${SANDBOX}/ws\n"
                       "new lib/util/added.cpp \"int added;\\n\"\n"
                       "trigger TeamFoundation.CheckInProject\n")
            .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE)),
        {QStringLiteral("TF_STANDIN_GRAMMAR=tf.exe")});
    EXPECT_OK(run);
    QVERIFY2(run.out.contains(QStringLiteral(" add %1\n").arg(box.path("ws/lib/util/added.cpp"))),
             qPrintable(run.out));
    const Run colleague = getIntoNewWorkspace(box, QStringLiteral("colleague"), QString());
    QVERIFY2(colleague.exitCode == 0, qPrintable(describe(colleague)));
    QCOMPARE(readAll(box.path("colleague/lib/util/added.cpp")), QByteArray("int added;\n"));
}

// A file checked in by two users from two workspaces, some lines kept across changesets, some
// changed, and one added locally: the History view, the annotation, Compare with Previous, the
// local edit against its version and Get This Version, through both client kinds.
void TeamFoundationEndToEndTest::historyAnnotationDiffAndGetOfTwoUsers_data()
{
    QTest::addColumn<bool>("tfExe");
    QTest::newRow("cross-platform client: print in one tf @") << false;
    QTest::newRow("tf.exe without tfpt: view /output in one tf @") << true;
}

void TeamFoundationEndToEndTest::historyAnnotationDiffAndGetOfTwoUsers()
{
    QFETCH(bool, tfExe);
    Sandbox box;
    const QString collection = QStringLiteral("-collection:") + box.path("server");
    QVERIFY(seedServer(box, QStringLiteral("pw")));
    const QString ann = QStringLiteral("-login:ann,pw");
    const QString bob = QStringLiteral("-login:bob,pw");
    QCOMPARE(box.runTf({QStringLiteral("useradd"), QStringLiteral("bob"), QStringLiteral("pw"),
                        collection, ann},
                       box.root())
                 .exitCode,
             0);
    QCOMPARE(getIntoNewWorkspace(box, QStringLiteral("ws"), ann).exitCode, 0);
    QCOMPARE(getIntoNewWorkspace(box, QStringLiteral("bobs"), bob).exitCode, 0);
    auto checkIn = [&](const QString &workspace, const QString &login, const QByteArray &content,
                       const QString &comment) {
        const QString file = box.path(workspace + QStringLiteral("/main.cpp"));
        const QString dir = box.path(workspace);
        return box.runTf({QStringLiteral("get"), dir, QStringLiteral("-recursive"), login}, dir)
                       .exitCode == 0 &&
               box.runTf({QStringLiteral("checkout"), file, login}, dir).exitCode == 0 &&
               writeFile(file, content) &&
               box.runTf({QStringLiteral("checkin"), file, QStringLiteral("-comment:") + comment, login},
                         dir)
                       .exitCode == 0;
    };
    const QByteArray v4 = "#include <iostream>\n\nint main()\n{\n"
                          "    std::cout << \"Hello from App\" << std::endl;\n    return 1;\n}\n";
    QVERIFY(checkIn(QStringLiteral("bobs"), bob, v4, QStringLiteral("Return one")));
    QVERIFY(checkIn(QStringLiteral("ws"), ann, "// Written by ann and bob\n" + v4,
                    QStringLiteral("Name the authors")));
    // Ann's local change, pending.
    const QString main = box.path("ws/main.cpp");
    QCOMPARE(box.runTf({QStringLiteral("checkout"), main, ann}, box.path("ws")).exitCode, 0);
    QVERIFY(writeFile(main, "// Written by ann and bob\n" + v4 + "// local note\n"));

    // Every start of the client is recorded with the lines it was given.
    QDir().mkpath(box.path("starts"));
    const QString wrapper = box.path("bin/tf");
    QVERIFY(writeFile(wrapper, QStringLiteral("#!/bin/sh\nf=$(mktemp \"%1/XXXXXX\")\n"
                                              "tee \"$f\" | \"%2\" \"$@\"\n")
                                   .arg(box.path("starts"), QStringLiteral(TF_EXECUTABLE))
                                   .toUtf8()));
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString kind = tfExe ? QStringLiteral("clientKindComboBox=\"Visual Studio (tf.exe)\" ")
                               : QString();
    const Run run = box.runScript(
        QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=${SANDBOX}/no/tfpt "
                       "usernameLineEdit=ann passwordLineEdit=pw timeOutSpinBox=60 %2\n"
                       "project ${SANDBOX}/ws\n"
                       "history main.cpp\n"
                       "annotation main.cpp\n"
                       "diff main.cpp C4\n"
                       "diff main.cpp\n"
                       "get README.md C1\n"
                       // Getting another version of the edited file undoes the edit: asked first.
                       "dialog\n"
                       "get main.cpp C2\n")
            .arg(wrapper, kind),
        tfExe ? QStringList{QStringLiteral("TF_STANDIN_GRAMMAR=tf.exe")} : QStringList());
    EXPECT_OK(run);
    const QString expected =
        QStringLiteral("C5  ann  Name the authors\n"
                       "C4  bob  Return one\n"
                       "C2  bob  Print a greeting\n"
                       "C1  alice  Create the App project\n"
                       "C5  ann  | // Written by ann and bob\n"
                       "C1  alice  | #include <iostream>\n"
                       "C1  alice  | \n"
                       "C1  alice  | int main()\n"
                       "C1  alice  | {\n"
                       "C2  bob  |     std::cout << \"Hello from App\" << std::endl;\n"
                       "C4  bob  |     return 1;\n"
                       "C1  alice  | }\n"
                       "local  | // local note\n"
                       "--- $/Demo/App/main.cpp;C2\n"
                       "+++ $/Demo/App/main.cpp;C4\n"
                       "@@ -3,5 +3,5 @@\n"
                       " int main()\n"
                       " {\n"
                       "     std::cout << \"Hello from App\" << std::endl;\n"
                       "-    return 0;\n"
                       "+    return 1;\n"
                       " }\n"
                       "--- $/Demo/App/main.cpp;C5\n"
                       "+++ %1\n"
                       "@@ -6,3 +6,4 @@\n"
                       "     std::cout << \"Hello from App\" << std::endl;\n"
                       "     return 1;\n"
                       " }\n"
                       "+// local note\n")
            .arg(QDir::toNativeSeparators(main));
    // What the script printed, without the pane's lines of the commands in between.
    QStringList printed = run.out.split(QLatin1Char('\n'));
    printed.erase(std::remove_if(printed.begin(), printed.end(),
                                 [](const QString &line) {
                                     return line.startsWith(QLatin1String("Executing in "));
                                 }),
                  printed.end());
    QVERIFY2(printed.join(QLatin1Char('\n')).contains(expected), qPrintable(run.out));
    QCOMPARE(readAll(box.path("ws/README.md")), QByteArray("# App\n\nA small sample project.\n"));
    QCOMPARE(readAll(main), QByteArray("#include <iostream>\n\nint main()\n{\n"
                                       "    std::cout << \"Hello from App\" << std::endl;\n"
                                       "    return 0;\n}\n"));
    const Run status = box.runTf({QStringLiteral("status"), main, ann}, box.path("ws"));
    QVERIFY2(status.out.contains(QLatin1String("There are no matching pending changes.")),
             qPrintable(describe(status)));

    // The four versions of the annotation were read by one client, not one client each.
    QStringList versionReaders;
    for (const QString &start : QDir(box.path("starts")).entryList(QDir::Files)) {
        const QString lines = QString::fromUtf8(readAll(box.path("starts/") + start));
        const int reads = lines.count(QRegularExpression(QStringLiteral("^(print|view) "),
                                                         QRegularExpression::MultilineOption));
        if (reads > 0)
            versionReaders << QString::number(reads);
    }
    versionReaders.sort();
    // The annotation's four, Compare with Previous's two, the local edit's one.
    QCOMPARE(versionReaders, QStringList({"1", "2", "4"}));
}

// --- The recording tf ------------------------------------------------------------------------

void TeamFoundationEndToEndTest::menuAndLocatorCommandLines()
{
    RecordingSandbox box;
    const Run run = box.run(box.optionsLine()
                            + QStringLiteral("project ${SANDBOX}/ws\n"
                                             "open main.cpp\n"
                                             "dialog commentEdit=Reviewed\n"
                                             "trigger TeamFoundation.CheckIn\n"
                                             "trigger TeamFoundation.Annotate\n"
                                             "trigger TeamFoundation.HistoryProject\n"
                                             "locator \"tfs get latest\"\n"
                                             "dialog commentEdit=Release\n"
                                             "locator \"tfs Check in (Rep\"\n"));
    EXPECT_OK(run);
    const QString ws = box.ws();
    const QString file = box.ws("main.cpp");
    // File commands are about the file's directory, project commands about the top level's
    // parent, on the top level, recursively; the client runs in the top level, where the one
    // kept started for the workspace waits.
    const QStringList expected{
        call("tf", ws, {"checkin", file, "-comment:Reviewed", "-noprompt"}),
        // The cross-platform client has no annotate: the view reads the file's history first.
        call("tf", ws, {"history", file, "-format:xml", "-noprompt", "-itemmode"}),
        // Its history is the IDE's History view, read as XML, a hundred changesets at a time.
        call("tf", ws, {"history", ws, "-format:xml", "-noprompt", "-stopafter:100", "-recursive"}),
        call("tf", ws, {"get", file, "-noprompt"}),
        call("tf", ws, {"checkin", ws, "-comment:Release", "-noprompt", "-recursive"}),
    };
    QCOMPARE(withoutProbes(box.calls()), expected);

    QCOMPARE(executingLines(run.out),
             QStringList({QStringLiteral("Executing in %1: %2 checkin %3 -comment:Reviewed -noprompt")
                              .arg(ws, box.tf(), file),
                          QStringLiteral("Executing in %1: %2 history %3 -format:xml -noprompt -itemmode")
                              .arg(ws, box.tf(), file),
                          QStringLiteral("Executing in %1: %2 history %3 -format:xml -noprompt "
                                         "-stopafter:100 -recursive")
                              .arg(box.root(), box.tf(), ws),
                          QStringLiteral("Executing in %1: %2 get %3 -noprompt").arg(ws, box.tf(), file),
                          QStringLiteral("Executing in %1: %2 checkin %3 -comment:Release -noprompt -recursive")
                              .arg(box.root(), box.tf(), ws)}));
    // The locator lists the matching commands with the current file's name, the first chosen.
    QVERIFY2(run.out.contains(QLatin1String("* Get latest main.cpp\n  Get latest (Repository)\n")),
             qPrintable(run.out));
}

void TeamFoundationEndToEndTest::hostFileOperationCommandLines()
{
    RecordingSandbox box;
    const Run run = box.run(box.optionsLine()
                            + QStringLiteral("project ${SANDBOX}/ws\n"
                                             "new sub/added.cpp \"int added;\\n\"\n"
                                             "rename util.cpp sub/moved.cpp\n"
                                             "delete notes.txt\n"));
    EXPECT_OK(run);
    const QString ws = box.ws();
    QCOMPARE(withoutProbes(box.calls()),
             QStringList({call("tf", ws, {"add", box.ws("sub/added.cpp"), "-noprompt"}),
                          call("tf", ws, {"rename", box.ws("util.cpp"), box.ws("sub/moved.cpp"), "-noprompt"}),
                          call("tf", ws, {"delete", box.ws("notes.txt"), "-noprompt"})}));
    // The recorder changes nothing on disk; the host finishes what the version control left.
    QCOMPARE(readAll(box.ws("sub/added.cpp")), QByteArray("int added;\n"));
    QCOMPARE(readAll(box.ws("sub/moved.cpp")), QByteArray("int util() { return 1; }\n"));
    QVERIFY(!QFileInfo::exists(box.ws("util.cpp")));
    QVERIFY(!QFileInfo::exists(box.ws("notes.txt")));
}

void TeamFoundationEndToEndTest::checkOutBeforeEditCommandLine()
{
    RecordingSandbox box;
    const Run run = box.run(box.optionsLine()
                            + QStringLiteral("project ${SANDBOX}/ws\n"
                                             "edit main.cpp \"// typed\\n\"\n"));
    // The recorder answers the check-out with success but leaves the file read-only, so the
    // edit is refused: the file keeps its content.
    EXPECT_FAILED_LINE(run);
    QVERIFY2(run.err.contains(QLatin1String("still read-only")), qPrintable(run.err));
    QCOMPARE(withoutProbes(box.calls()),
             QStringList(call("tf", box.ws(), {"checkout", box.ws("main.cpp"), "-noprompt"})));
    QCOMPARE(readAll(box.ws("main.cpp")), QByteArray("int main() { return 0; }\n"));
}

void TeamFoundationEndToEndTest::refusedFileOperationsLeaveTheWorkingCopyAlone_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("line");
    QTest::newRow("add") << "add" << "new added.cpp text";
    QTest::newRow("delete") << "delete" << "delete notes.txt";
    QTest::newRow("rename") << "rename" << "rename util.cpp other.cpp";
    QTest::newRow("checkout") << "checkout" << "edit main.cpp text";
}

void TeamFoundationEndToEndTest::refusedFileOperationsLeaveTheWorkingCopyAlone()
{
    QFETCH(QString, word);
    QFETCH(QString, line);
    RecordingSandbox box;
    const Run run = box.run(box.optionsLine() + QStringLiteral("project ${SANDBOX}/ws\n") + line
                                + QLatin1Char('\n'),
                            {QStringLiteral("TFREC_FAIL_WORD=") + word});
    EXPECT_FAILED_LINE(run);
    QVERIFY(run.err.contains(QLatin1String("script.wb:3:")));
    QCOMPARE(withoutProbes(box.calls()).size(), 1);
    QCOMPARE(withoutProbes(box.calls()).first().section(QLatin1Char('|'), 2, 2), word);
    // A refused delete, rename or check-out changes nothing; a new file whose add failed
    // stays, so that the typed content is not lost.
    QCOMPARE(readAll(box.ws("notes.txt")), QByteArray("notes\n"));
    QCOMPARE(readAll(box.ws("util.cpp")), QByteArray("int util() { return 1; }\n"));
    QVERIFY(!QFileInfo::exists(box.ws("other.cpp")));
    QCOMPARE(readAll(box.ws("main.cpp")), QByteArray("int main() { return 0; }\n"));
    QCOMPARE(QFileInfo::exists(box.ws("added.cpp")), word == QLatin1String("add"));
}

// Dialogs that a command opens in a scripted run: answered as armed, cancelled, or failing
// the line when nothing answers them; unsaved editor changes saved or dropped by consent.
void TeamFoundationEndToEndTest::dialogsInScripts_data()
{
    QTest::addColumn<QString>("script");     // after the project and util.cpp are open
    QTest::addColumn<QString>("error");      // empty: the run succeeds
    QTest::addColumn<QStringList>("words");  // the commands that ran, probes aside
    QTest::addColumn<QString>("argument");   // one the last command got; empty: not checked
    QTest::addColumn<QByteArray>("onDisk");  // util.cpp afterwards

    const QByteArray original("int util() { return 1; }\n");
    const QByteArray typed = original + "// mine\n";
    const QString type = QStringLiteral("type \"// mine\\n\"\n");
    QTest::newRow("comment typed")
        << "dialog commentEdit=\"a, \\\"b\\\"\"\ntrigger TeamFoundation.CheckIn\n" << QString()
        << QStringList{"checkin"} << "-comment:a, \"b\"" << original;
    QTest::newRow("cancelled") << "dialog cancel\ntrigger TeamFoundation.CheckIn\n" << QString()
                               << QStringList() << QString() << original;
    QTest::newRow("no answer armed")
        << "trigger TeamFoundation.CheckIn\n"
        << "script.wb:4: the dialog \"Check In\" opened with no answer armed" << QStringList()
        << QString() << original;
    QTest::newRow("unknown field") << "dialog nosuch=1\ntrigger TeamFoundation.CheckIn\n"
                                   << "there is no field named nosuch" << QStringList()
                                   << QString() << original;
    QTest::newRow("answer nobody used")
        << "dialog commentEdit=x\ntrigger TeamFoundation.History\n"
        << "script.wb:4: no dialog opened for the answer armed here" << QStringList{"history"}
        << QString() << original;
    QTest::newRow("check-in saves first") << type + "dialog commentEdit=x\ntrigger TeamFoundation.CheckIn\n"
                                          << QString() << QStringList{"checkin"} << QString() << typed;
    // The cross-platform client's compare is the diff view, which reads the history first.
    QTest::newRow("compare saves first") << type + "trigger TeamFoundation.Compare\n" << QString()
                                         << QStringList{"history"} << QString() << typed;
    // Undo first lists the changes it throws away, then asks about the unsaved ones.
    QTest::newRow("undo drops unsaved changes when agreed")
        << type + "dialog\ndialog\ntrigger TeamFoundation.Undo\n"
        << QString() << QStringList{"undo"} << QString() << original;
    QTest::newRow("undo keeps them otherwise")
        << type + "dialog\ndialog cancel\ntrigger TeamFoundation.Undo\n"
        << QString() << QStringList() << QString() << original;
    QTest::newRow("undo cancelled at its list")
        << type + "dialog cancel\ntrigger TeamFoundation.Undo\n"
        << QString() << QStringList() << QString() << original;
    QTest::newRow("get asks too") << type + "dialog cancel\ntrigger TeamFoundation.GetLatestProject\n"
                                  << QString() << QStringList() << QString() << original;
    QTest::newRow("tf.exe asks in its own dialog")
        << "options T.TeamFoundation clientKindComboBox=\"Visual Studio (tf.exe)\"\n"
           "trigger TeamFoundation.CheckIn\n"
        << QString() << QStringList{"checkin"} << "/prompt" << original;
}

void TeamFoundationEndToEndTest::dialogsInScripts()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    QFETCH(QStringList, words);
    QFETCH(QString, argument);
    QFETCH(QByteArray, onDisk);
    RecordingSandbox box;
    const Run run = box.run(box.optionsLine() + QStringLiteral("project ${SANDBOX}/ws\nopen util.cpp\n")
                            + script);
    if (error.isEmpty())
        EXPECT_OK(run);
    else
        QVERIFY2(run.exitCode == 1 && run.err.contains(error), qPrintable(describe(run)));
    const QStringList calls = withoutProbes(box.calls());
    QStringList ran;
    for (const QString &c : calls)
        ran << c.section(QLatin1Char('|'), 2, 2);
    QCOMPARE(ran, words);
    if (!argument.isEmpty())
        QVERIFY2(calls.last().split(QLatin1Char('|')).contains(argument), qPrintable(calls.last()));
    QCOMPARE(readAll(box.ws("util.cpp")), onDisk);
}

void TeamFoundationEndToEndTest::probesClimbSilently()
{
    RecordingSandbox box;
    QDir().mkpath(box.ws("src/deep"));
    writeFile(box.ws("src/deep/x.cpp"), "x\n");
    const Run run = box.run(box.optionsLine()
                            + QStringLiteral("project ${SANDBOX}/ws/src/deep\n"
                                             "open x.cpp\n"
                                             "state\n"),
                            {QStringLiteral("TFREC_STDOUT=recorded output\n")});
    EXPECT_OK(run);
    // The top level is the highest managed directory: the probes climb from the project up to
    // the first directory that is not managed, each in the directory it asks about.
    QVERIFY2(run.out.contains(QStringLiteral("top level: %1\n").arg(box.ws())), qPrintable(run.out));
    const QStringList calls = box.calls();
    QVERIFY(!calls.isEmpty());
    for (const QString &c : calls)
        QVERIFY2(isProbe(c), qPrintable(c));
    for (const QString &dir : {box.ws("src/deep"), box.ws("src"), box.ws(), box.root()})
        QVERIFY2(calls.contains(call("tf", dir, {"info", dir, "-noprompt"})), qPrintable(dir));
    // Nothing of them reaches the pane: neither the command line nor its output.
    QVERIFY2(!run.out.contains(QLatin1String("info")), qPrintable(run.out));
    QVERIFY(!run.out.contains(QLatin1String("Executing")));
    QVERIFY(!run.out.contains(QLatin1String("Server path")));
}

void TeamFoundationEndToEndTest::repositoryIsAskedOncePerDirectory()
{
    RecordingSandbox box;
    const QString start = box.optionsLine()
                          + QStringLiteral("project ${SANDBOX}/ws\n"
                                           "open util.cpp\n"
                                           "state\n");
    Run run = box.run(start);
    EXPECT_OK(run);
    QVERIFY2(run.out.contains(QLatin1String("\nrepository: $/Recorded\n")), qPrintable(run.out));
    const int probes = box.calls().size();
    QFile::remove(box.logFile());

    // Editing and saving change the editor's state several times; the status bar's
    // repository is known by then, so no process starts for it.
    run = box.run(start
                  + QStringLiteral("edit util.cpp one\nedit util.cpp two\nedit util.cpp three\n"
                                   "state\n"));
    EXPECT_OK(run);
    QCOMPARE(run.out.count(QLatin1String("\nrepository: $/Recorded\n")), 2);
    const QStringList calls = box.calls();
    QCOMPARE(calls.size(), probes);
    // The probe that found the top level said its server path, so none is asked for.
    QCOMPARE(calls.count(call("tf", box.root(), {"info", box.ws()})), 0);
}

void TeamFoundationEndToEndTest::passwordIsMaskedInThePaneOnly()
{
    RecordingSandbox box;
    const QString password = QStringLiteral("p@ss, \"word\" %2");
    const Run run = box.run(box.optionsLine(QStringLiteral("usernameLineEdit=CONTOSO\\ann "
                                                           "passwordLineEdit=${SECRET}"))
                                + QStringLiteral("project ${SANDBOX}/ws\n"
                                                 "open main.cpp\n"
                                                 "trigger TeamFoundation.History\n"),
                            {QStringLiteral("SECRET=") + password});
    EXPECT_OK(run);
    // The recorded command carries the real login as its last argument...
    const QString login = QStringLiteral("-login:CONTOSO\\ann,") + password;
    QCOMPARE(withoutProbes(box.calls()),
             QStringList(call("tf", box.ws(),
                              {"history", box.ws("main.cpp"), "-format:xml", "-noprompt",
                               "-stopafter:100", login})));
    for (const QString &c : box.calls())
        QVERIFY2(c.endsWith(QLatin1Char('|') + login), qPrintable(c));
    // ...while the pane shows it masked, and the password appears nowhere.
    QCOMPARE(executingLines(run.out),
             QStringList(QStringLiteral("Executing in %1: %2 history %3 -format:xml -noprompt "
                                        "-stopafter:100 -login:CONTOSO\\ann,********")
                             .arg(box.ws(), box.tf(), box.ws("main.cpp"))));
    QVERIFY(!run.out.contains(QLatin1String("p@ss")));
    QVERIFY(!run.err.contains(QLatin1String("p@ss")));
    // The settings file that keeps it is the owner's alone.
    QCOMPARE(QFile::permissions(box.settingsFile())
                 & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
}

// --- A tf that cannot be run ----------------------------------------------------------------

void TeamFoundationEndToEndTest::wronglyConfiguredTfStartsNothing_data()
{
    QTest::addColumn<QString>("binary");
    QTest::newRow("missing") << QStringLiteral("${SANDBOX}/nowhere/tf");
    QTest::newRow("directory") << QStringLiteral("${SANDBOX}/bin");
    QTest::newRow("not executable") << QStringLiteral("${SANDBOX}/plain-file");
    QTest::newRow("empty") << QString();
}

void TeamFoundationEndToEndTest::wronglyConfiguredTfStartsNothing()
{
    QFETCH(QString, binary);
    RecordingSandbox box;
    writeFile(box.path("plain-file"), "never run\n");
    QFile::setPermissions(box.path("plain-file"), QFile::ReadOwner | QFile::WriteOwner);
    const QString options =
        QStringLiteral("options T.TeamFoundation pathChooser=\"%1\" tfptPathChooser=${SANDBOX}/bin/tfpt\n")
            .arg(binary);

    // The plugin manages nothing: its menu is shown but disabled, the host creates and
    // deletes files alone.
    const Run run = box.run(options
                            + QStringLiteral("project ${SANDBOX}/ws\n"
                                             "open util.cpp\n"
                                             "state\n"
                                             "menu QtCreator.Menu.Tools\n"
                                             "menu\n"
                                             "new added.cpp x\n"
                                             "delete notes.txt\n"));
    EXPECT_OK(run);
    QVERIFY2(run.out.contains(QLatin1String("version control: (none)\ntop level: (none)\n")),
             qPrintable(run.out));
    QVERIFY(run.out.contains(QLatin1String("[ ] Team Foundation  (TeamFoundation.Menu)\n")));
    QVERIFY(run.out.contains(QLatin1String("[ ] Check in current file  (TeamFoundation.CheckIn)\n")));
    QVERIFY(!run.out.contains(QLatin1String("[x]")));
    QVERIFY(QFileInfo::exists(box.ws("added.cpp")));
    QVERIFY(!QFileInfo::exists(box.ws("notes.txt")));
    QVERIFY(!run.err.contains(QLatin1String("SOFT ASSERT")));

    // Each way to a command is closed, and refusing is a failed line, not a crash.
    const QStringList refused{
        QStringLiteral("trigger TeamFoundation.CheckIn"),
        QStringLiteral("trigger TeamFoundation.GetLatestProject"),
        QStringLiteral("locator \"tfs check\""),
        QStringLiteral("edit main.cpp typed"),
        QStringLiteral("wizard T.TeamFoundation ${SANDBOX}/work repositoryLineEdit=$/Demo/App "
                       "checkoutDirectoryLineEdit=App"),
    };
    for (const QString &line : refused) {
        const Run refusedRun =
            box.run(QStringLiteral("project ${SANDBOX}/ws\nopen util.cpp\n") + line + QLatin1Char('\n'));
        QVERIFY2(refusedRun.exitCode == 1 && refusedRun.err.contains(QLatin1String("script.wb:3:")),
                 qPrintable(line + QLatin1Char('\n') + describe(refusedRun)));
    }
    QCOMPARE(readAll(box.ws("main.cpp")), QByteArray("int main() { return 0; }\n"));
    QVERIFY(!QFileInfo::exists(box.path("work/App")));
    // No process was started at all, not even a probe.
    QVERIFY(!QFileInfo::exists(box.logFile()));
}

void TeamFoundationEndToEndTest::correctingThePathEnablesThePlugin()
{
    RecordingSandbox box;
    const Run run = box.run(QStringLiteral("options T.TeamFoundation pathChooser=${SANDBOX}/nowhere/tf\n"
                                           "project ${SANDBOX}/ws\n"
                                           "open util.cpp\n"
                                           "menu QtCreator.Menu.Tools\n")
                            + box.optionsLine()
                            + QStringLiteral("open main.cpp\n"
                                             "menu QtCreator.Menu.Tools\n"
                                             "trigger TeamFoundation.Compare\n"));
    EXPECT_OK(run);
    QVERIFY(run.out.contains(QLatin1String("[ ] Team Foundation  (TeamFoundation.Menu)\n")));
    QVERIFY(run.out.contains(QLatin1String("[x] Team Foundation  (TeamFoundation.Menu)\n")));
    // Compare of a file is the diff view, which starts with the file's history.
    QCOMPARE(withoutProbes(box.calls()),
             QStringList(call("tf", box.ws(),
                              {"history", box.ws("main.cpp"), "-format:xml", "-noprompt",
                               "-itemmode"})));
}

QTEST_GUILESS_MAIN(TeamFoundationEndToEndTest)

#include "tst_teamfoundation_e2e.moc"
