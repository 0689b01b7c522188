// End-to-end tests of the workbench: each test writes a script, runs the real workbench
// executable on it (offscreen) with the fake version-control plugin, and checks what the run
// printed and what it did to the disk, the settings file and the fake tool's call log.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "e2eutils.h"

#include <cerrno>
#include <csignal>

namespace {

using E2e::Run;
using E2e::readAll;

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(E2e::writeFile(path, content));
}

bool isWritable(const QString &path)
{
    return E2e::hasWriteBit(path);
}

// A temporary world for one run: a FakeVcs working copy ("repo", with main.cpp and util.cpp
// tracked and notes.txt not), a directory no version control manages ("plain"), a settings
// directory whose store names the fake tool, and the tool's call log.
class Sandbox
{
public:
    Sandbox()
    {
        writeFile(repo(".fakevcs"), "tracked main.cpp\ntracked util.cpp\n");
        writeFile(repo("main.cpp"), "int main()\n{\n    return 0;\n}\n");
        writeFile(repo("util.cpp"), "int util() { return 1; }\n");
        writeFile(repo("notes.txt"), "not tracked\n");
        writeFile(plain("readme.txt"), "plain\n");
        setSetting(QStringLiteral("FakeVcs/Binary"), QStringLiteral(FAKEVCS_TOOL));
    }

    QString root() const { return m_dir.path(); }
    QString repo(const char *name = nullptr) const { return path("repo", name); }
    QString plain(const char *name = nullptr) const { return path("plain", name); }
    QString settingsDir() const { return m_dir.path() + QStringLiteral("/settings"); }
    QString settingsFile() const { return settingsDir() + QStringLiteral("/workbench.ini"); }
    QString logFile() const { return m_dir.path() + QStringLiteral("/calls.log"); }

    void setSetting(const QString &key, const QVariant &value)
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(key, value);
    }
    QVariant setting(const QString &key) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        return settings.value(key);
    }

    // The fake tool's calls, one "working directory|argument|..." line each.
    QStringList calls() const
    {
        return QString::fromUtf8(readAll(logFile())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    Run run(const QString &script, const QStringList &environment = {},
            const QString &pluginDir = QFileInfo(QStringLiteral(FAKEVCS_PLUGIN)).absolutePath(),
            const QStringList &extraArguments = {}) const
    {
        const QString scriptFile = m_dir.path() + QStringLiteral("/script.wb");
        QFile file(scriptFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return Run();
        file.write(script.toUtf8());
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("FAKEVCS_LOG"), logFile());
        env.insert(QStringLiteral("REPO"), repo());
        env.insert(QStringLiteral("PLAIN"), plain());
        env.insert(QStringLiteral("SANDBOX"), root());
        env.insert(QStringLiteral("TOOL"), QStringLiteral(FAKEVCS_TOOL));
        for (const QString &assignment : environment)
            env.insert(assignment.section(QLatin1Char('='), 0, 0),
                       assignment.section(QLatin1Char('='), 1));
        QStringList arguments{QStringLiteral("-pluginpath"), pluginDir,
                              QStringLiteral("-settingspath"), settingsDir()};
        arguments << extraArguments << QStringLiteral("--script") << scriptFile;
        return E2e::runProgram(QStringLiteral(WORKBENCH_EXECUTABLE), arguments, env, root());
    }

private:
    QString path(const char *dir, const char *name) const
    {
        QString p = m_dir.path() + QLatin1Char('/') + QLatin1String(dir);
        if (name)
            p += QLatin1Char('/') + QLatin1String(name);
        return p;
    }

    QTemporaryDir m_dir;
};

QString call(const QString &workingDirectory, const QStringList &arguments)
{
    return (QStringList{workingDirectory} + arguments).join(QLatin1Char('|'));
}

} // namespace

#define EXPECT_OK(run)                                                                             \
    QVERIFY2((run).exitCode == 0, qPrintable(QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3")   \
                                                 .arg((run).exitCode)                              \
                                                 .arg((run).out, (run).err)))

class WorkbenchTest : public QObject
{
    Q_OBJECT

private slots:
    void menuFollowsTheCurrentFileAndProject();
    void stateNamesTheManagingVersionControl();
    void triggerRunsTheCommandAndMirrorsThePane();
    void triggerFailsForUnknownAndDisabledCommands();
    void jobRunsWhileTheScriptGoesOnAndIsCancelled();
    void locatorAsksTheFilterOfThePrefix();
    void optionsApplyWritesTheSettingsStore();
    void optionsRefuseValuesTheFormDoesNotTake();
    void wizardChecksOutAndOpensTheProject();
    void wizardFailsOnAnIncompletePage();
    void editOfAWriteProtectedFileOpensItFirst();
    void editIsRefusedWhenOpeningFails_data();
    void editIsRefusedWhenOpeningFails();
    void fileOperationsGoThroughTheVersionControl();
    void fileOperationsKeepFilesWhenTheVersionControlRefuses();
    void fileOperationsWithoutVersionControlSupport();
    void annotate();
    void pendingPrintsTheViewsRows_data();
    void pendingPrintsTheViewsRows();
    void editorFollowsChangesReportedByTheVersionControl();
    void scriptSyntax();
    void failingLineIsNamedAndEndsTheRun();
    void commandLine_data();
    void commandLine();
    void secretsAreMaskedAndAssertionsGoToStandardError();
    void brokenPluginIsReportedAndTheRunGoesOn();
    void pluginsShutDownBeforeTheManagers();
    void screenshots();
};

void WorkbenchTest::menuFollowsTheCurrentFileAndProject()
{
    Sandbox box;
    const Run run = box.run(QStringLiteral("menu FakeVcs.Menu\n"
                                           "project ${REPO}\n"
                                           "open main.cpp\n"
                                           "menu FakeVcs.Menu\n"
                                           "menu QtCreator.Menu.Tools\n"
                                           "project ${PLAIN}\n"
                                           "open readme.txt\n"
                                           "menu FakeVcs.Menu\n"));
    EXPECT_OK(run);
    const QString expected = QStringLiteral(
        // Nothing is managed yet: the menu is there but nothing in it can be chosen.
        "[ ] Status current file  (FakeVcs.Status)\n"
        "[ ] Update current file  (FakeVcs.Update)\n"
        "----\n"
        "[ ] Log (Repository)  (FakeVcs.Log)\n"
        "[ ] Update (Repository)  (FakeVcs.UpdateAll)\n"
        "[ ] Log In  (FakeVcs.Login)\n"
        // A managed file: the per-file commands carry its name.
        "[x] Status main.cpp  (FakeVcs.Status)\n"
        "[x] Update main.cpp  (FakeVcs.Update)\n"
        "----\n"
        "[x] Log (Repository)  (FakeVcs.Log)\n"
        "[x] Update (Repository)  (FakeVcs.UpdateAll)\n"
        "[x] Log In  (FakeVcs.Login)\n"
        // The Tools menu: the plugin's menu, then the host's Options (needs a person).
        "[x] FakeVcs  (FakeVcs.Menu)\n"
        "----\n"
        "[ ] Options...  (QtCreator.Options)\n"
        // An unmanaged file and project: disabled again, and main.cpp, a file of the
        // previous project, was closed when the other project opened.
        "[ ] Status current file  (FakeVcs.Status)\n"
        "[ ] Update current file  (FakeVcs.Update)\n"
        "----\n"
        "[ ] Log (Repository)  (FakeVcs.Log)\n"
        "[ ] Update (Repository)  (FakeVcs.UpdateAll)\n"
        "[ ] Log In  (FakeVcs.Login)\n");
    QCOMPARE(run.out, expected);
    QVERIFY(box.calls().isEmpty());
}

void WorkbenchTest::stateNamesTheManagingVersionControl()
{
    Sandbox box;
    QVERIFY(QDir().mkpath(box.repo("src/deep")));
    writeFile(box.repo("src/deep/x.cpp"), "x\n");
    const Run run = box.run(QStringLiteral("state\n"
                                           "project ${REPO}\n"
                                           "open src/deep/x.cpp\n"
                                           "state\n"
                                           "open ${PLAIN}/readme.txt\n"
                                           "state\n"));
    EXPECT_OK(run);
    const QString repo = box.repo();
    const QString expected =
        QStringLiteral("file: (none)\nproject: (none)\nversion control: (none)\n"
                       "top level: (none)\nrepository: \n"
                       "file: %1/src/deep/x.cpp\nproject: %1\n"
                       "version control: FakeVcs\ntop level: %1\nrepository: \n"
                       "file: %2/readme.txt\nproject: %1\n"
                       "version control: FakeVcs\ntop level: %1\nrepository: \n")
            .arg(repo, box.plain());
    QCOMPARE(run.out, expected);
}

void WorkbenchTest::triggerRunsTheCommandAndMirrorsThePane()
{
    Sandbox box;
    const Run run = box.run(QStringLiteral("project ${REPO}\n"
                                           "open main.cpp\n"
                                           "trigger FakeVcs.Status\n"
                                           "trigger FakeVcs.Log\n"));
    EXPECT_OK(run);
    QCOMPARE(box.calls(), QStringList({call(box.repo(), {"status", box.repo("main.cpp")}),
                                       call(box.repo(), {"log"})}));
    // The pane, mirrored on standard output in the order written: command line, then output.
    const QString expected = QStringLiteral("Executing in %1: %2 status %1/main.cpp\n"
                                            "status of main.cpp: tracked\n"
                                            "Executing in %1: %2 log\n"
                                            "log of %1\n")
                                 .arg(box.repo(), QStringLiteral(FAKEVCS_TOOL));
    QCOMPARE(run.out, expected);
}

// POSIX: the pid the tool printed is checked with kill().
void WorkbenchTest::jobRunsWhileTheScriptGoesOnAndIsCancelled()
{
    Sandbox box;
    // The log job takes a minute; meanwhile the script asks for a status, which runs at once,
    // and then cancels the log.
    const Run run = box.run(QStringLiteral("project ${REPO}\n"
                                           "open main.cpp\n"
                                           "trigger FakeVcs.Log\n"
                                           "wait 300\n"
                                           "trigger FakeVcs.Status\n"
                                           "cancel\n"
                                           "open main.cpp\n"
                                           "cancel\n"),
                            {QStringLiteral("FAKEVCS_LOG_DELAY_MS=60000")});
    // The line after the cancel waits for the job's end; then nothing is left to cancel.
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("script.wb:8: no version-control command is running")),
             qPrintable(run.err));
    const QString tool = QStringLiteral(FAKEVCS_TOOL);
    const int log =
        run.out.indexOf(QStringLiteral("Executing in %1: %2 log\n").arg(box.repo(), tool));
    const int status = run.out.indexOf(QStringLiteral("status of main.cpp: tracked\n"));
    const int cancelled =
        run.out.indexOf(QStringLiteral("\"fakevcs log\" was cancelled.\n"));
    QVERIFY2(log >= 0 && log < status && status < cancelled, qPrintable(run.out));
    QVERIFY2(!run.out.contains(QStringLiteral("log of")), qPrintable(run.out));
    // The tool says its pid when it has started; by then it has been ended.
    const QRegularExpressionMatch pid =
        QRegularExpression(QStringLiteral("pid (\\d+)\n")).match(run.out);
    if (pid.hasMatch())
        QVERIFY(::kill(pid.captured(1).toInt(), 0) == -1 && errno == ESRCH);
}

void WorkbenchTest::triggerFailsForUnknownAndDisabledCommands()
{
    Sandbox box;
    // Without a current file the per-file command is disabled.
    Run run = box.run(QStringLiteral("project ${REPO}\ntrigger FakeVcs.Status\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("script.wb:2:")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("is disabled")), qPrintable(run.err));
    QVERIFY(box.calls().isEmpty());

    run = box.run(QStringLiteral("trigger FakeVcs.NoSuchThing\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("script.wb:1: no command is registered under "
                                             "\"FakeVcs.NoSuchThing\"")),
             qPrintable(run.err));

    // The host's dialog commands need a person and are disabled in a scripted run.
    run = box.run(QStringLiteral("trigger QtCreator.Options\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("disabled")), qPrintable(run.err));
}

void WorkbenchTest::locatorAsksTheFilterOfThePrefix()
{
    Sandbox box;
    Run run = box.run(QStringLiteral("project ${REPO}\n"
                                     "open main.cpp\n"
                                     "locator fake update\n"
                                     "locator fake log in\n"));
    EXPECT_OK(run);
    QVERIFY2(run.out.startsWith(QStringLiteral("* Update main.cpp\n  Update (Repository)\n")),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("* Log In\n")), qPrintable(run.out));
    QCOMPARE(box.calls().size(), 2);
    QCOMPARE(box.calls().at(0), call(box.repo(), {"update", box.repo("main.cpp")}));
    QVERIFY(box.calls().at(1).contains(QStringLiteral("|login|")));

    // No match: the line fails and nothing runs.
    run = box.run(QStringLiteral("project ${REPO}\nlocator fake frobnicate\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("no match")), qPrintable(run.err));

    // Outside a working copy the filter is disabled, so it offers nothing.
    run = box.run(QStringLiteral("project ${PLAIN}\nlocator fake log\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("\"fake\" is disabled")), qPrintable(run.err));
    QCOMPARE(box.calls().size(), 2);
}

void WorkbenchTest::optionsApplyWritesTheSettingsStore()
{
    Sandbox box;
    const QString otherTool = box.root() + QStringLiteral("/bin/fakevcs");
    QVERIFY(QDir().mkpath(QFileInfo(otherTool).absolutePath()));
    QVERIFY(QFile::copy(QStringLiteral(FAKEVCS_TOOL), otherTool));
    const Run run =
        box.run(QStringLiteral("options F.FakeVcs userEdit=\"Ann Smith\" timeoutSpin=45 "
                               "binaryChooser=%1 passwordEdit=pw\n"
                               "project ${REPO}\nopen main.cpp\ntrigger FakeVcs.Status\n")
                    .arg(otherTool));
    EXPECT_OK(run);
    QCOMPARE(box.setting(QStringLiteral("FakeVcs/User")).toString(), QStringLiteral("Ann Smith"));
    QCOMPARE(box.setting(QStringLiteral("FakeVcs/Timeout")).toInt(), 45);
    QCOMPARE(box.setting(QStringLiteral("FakeVcs/Binary")).toString(), otherTool);
    // The plugin uses the applied executable right away.
    QVERIFY2(run.out.contains(QStringLiteral(": %1 status").arg(otherTool)), qPrintable(run.out));
    // The store may hold a password: only its owner may read it.
    QCOMPARE(QFile::permissions(box.settingsFile()) & (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
}

void WorkbenchTest::optionsRefuseValuesTheFormDoesNotTake()
{
    Sandbox box;
    box.setSetting(QStringLiteral("FakeVcs/Timeout"), 30);
    const char *scripts[] = {
        "options F.FakeVcs userEdit=bob timeoutSpin=999\n", // out of range
        "options F.FakeVcs userEdit=bob timeoutSpin=ten\n", // not a number
        "options F.FakeVcs userEdit=bob noSuchField=1\n",   // unknown field
        "options F.FakeVcs userEdit\n",                     // not NAME=VALUE
        "options No.Such.Page userEdit=bob\n",              // unknown page
    };
    for (const char *script : scripts) {
        const Run run = box.run(QString::fromLatin1(script));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("script.wb:1:")), qPrintable(run.err));
        // Nothing of a refused form is applied.
        QVERIFY2(box.setting(QStringLiteral("FakeVcs/User")).isNull(), script);
        QCOMPARE(box.setting(QStringLiteral("FakeVcs/Timeout")).toInt(), 30);
    }
}

void WorkbenchTest::wizardChecksOutAndOpensTheProject()
{
    Sandbox box;
    const Run run = box.run(QStringLiteral("wizard F.FakeVcs.Checkout ${SANDBOX} "
                                           "repositoryLineEdit=server/demo branchEdit=dev\n"
                                           "state\n"
                                           "edit main.cpp \"// changed\\n\"\n"));
    EXPECT_OK(run);
    const QString checkout = box.root() + QStringLiteral("/demo");
    QCOMPARE(box.calls().value(0),
             call(box.root(), {"clone", "server/demo", "demo", "--branch=dev"}));
    QVERIFY2(
        run.out.contains(
            QStringLiteral("project: %1\nversion control: FakeVcs\ntop level: %1\n").arg(checkout)),
        qPrintable(run.out));
    // The checked-out project is really usable: its read-only file is opened, then edited.
    QCOMPARE(box.calls().value(1),
             call(checkout, {"open", checkout + QStringLiteral("/main.cpp")}));
    QCOMPARE(readAll(checkout + QStringLiteral("/main.cpp")),
             QByteArray("int main() { return 0; }\n// changed\n"));
}

void WorkbenchTest::wizardFailsOnAnIncompletePage()
{
    Sandbox box;
    QVERIFY(QDir().mkpath(box.root() + QStringLiteral("/demo")));
    Run run = box.run(
        QStringLiteral("wizard F.FakeVcs.Checkout ${SANDBOX} repositoryLineEdit=server/demo\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("not complete")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("already exists")), qPrintable(run.err));
    QVERIFY(box.calls().isEmpty());

    run = box.run(
        QStringLiteral("wizard F.FakeVcs.Checkout ${SANDBOX}/missing repositoryLineEdit=a/b\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY(box.calls().isEmpty());

    // Without a configured tool the configuration page comes first and is incomplete.
    box.setSetting(QStringLiteral("FakeVcs/Binary"), box.root() + QStringLiteral("/nothing"));
    run = box.run(
        QStringLiteral("wizard F.FakeVcs.Checkout ${SANDBOX} repositoryLineEdit=server/app\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("Configuration")), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(box.root() + QStringLiteral("/app")));
}

void WorkbenchTest::editOfAWriteProtectedFileOpensItFirst()
{
    Sandbox box;
    const QString main = box.repo("main.cpp");
    const QString util = box.repo("util.cpp");
    const QString tail = box.repo("tail.txt");
    writeFile(tail, "last line");
    QVERIFY(QFile::setPermissions(main, QFile::ReadOwner));
    QVERIFY(QFile::setPermissions(tail, QFile::ReadOwner));
    const Run run = box.run(QStringLiteral("project ${REPO}\n"
                                           "edit tail.txt \"+more\"\n"
                                           "edit main.cpp \"// one\\n\"\n"
                                           "edit main.cpp \"// two\\n\"\n"
                                           "edit util.cpp \"// writable already\"\n"));
    EXPECT_OK(run);
    // Opened once, before the first change; a writable file is not opened at all.
    QCOMPARE(box.calls(),
             QStringList({call(box.repo(), {"open", tail}), call(box.repo(), {"open", main})}));
    // Typing goes on at the end, also of a file without a final newline.
    QCOMPARE(readAll(tail), QByteArray("last line+more"));
    QCOMPARE(readAll(main), QByteArray("int main()\n{\n    return 0;\n}\n// one\n// two\n"));
    QVERIFY(isWritable(main));
    QCOMPARE(readAll(util), QByteArray("int util() { return 1; }\n// writable already"));
}

void WorkbenchTest::editIsRefusedWhenOpeningFails_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("calls");
    QTest::newRow("open fails") << "FAKEVCS_FAIL=open"
                                << "repo/main.cpp"
                                << "could not open" << 1;
    QTest::newRow("open leaves it read-only") << "FAKEVCS_OPEN_KEEPS_READONLY=1"
                                              << "repo/main.cpp"
                                              << "still read-only" << 1;
    QTest::newRow("no version control") << ""
                                        << "plain/readme.txt"
                                        << "no version control manages it" << 0;
}

void WorkbenchTest::editIsRefusedWhenOpeningFails()
{
    QFETCH(QString, environment);
    QFETCH(QString, file);
    QFETCH(QString, message);
    QFETCH(int, calls);
    Sandbox box;
    const QString path = box.root() + QLatin1Char('/') + file;
    const QByteArray before = readAll(path);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    const Run run = box.run(QStringLiteral("edit %1 \"typed\"\nstate\n").arg(path),
                            environment.isEmpty() ? QStringList() : QStringList(environment));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("script.wb:1:")), qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(!run.out.contains(QStringLiteral("file:")), "the run must stop at the failing line");
    QCOMPARE(readAll(path), before);
    QCOMPARE(box.calls().size(), calls);
}

void WorkbenchTest::fileOperationsGoThroughTheVersionControl()
{
    Sandbox box;
    const Run run = box.run(QStringLiteral("project ${REPO}\n"
                                           "new src/added.cpp \"int added;\\n\"\n"
                                           "state\n"
                                           "rename util.cpp tools.cpp\n"
                                           "delete main.cpp\n"
                                           "delete notes.txt\n"));
    EXPECT_OK(run);
    const QString added = box.repo("src/added.cpp");
    QCOMPARE(box.calls(),
             QStringList({call(box.repo("src"), {"add", added}),
                          call(box.repo(), {"move", box.repo("util.cpp"), box.repo("tools.cpp")}),
                          call(box.repo(), {"delete", box.repo("main.cpp")})}));
    QCOMPARE(readAll(added), QByteArray("int added;\n"));
    // The new file becomes the current one.
    QVERIFY2(run.out.contains(QStringLiteral("file: %1\n").arg(added)), qPrintable(run.out));
    QCOMPARE(readAll(box.repo(".fakevcs")),
             QByteArray("tracked src/added.cpp\ntracked tools.cpp\n"));
    QVERIFY(!QFileInfo::exists(box.repo("util.cpp")));
    QCOMPARE(readAll(box.repo("tools.cpp")), QByteArray("int util() { return 1; }\n"));
    QVERIFY(!QFileInfo::exists(box.repo("main.cpp")));
    // An untracked file is the host's alone to delete.
    QVERIFY(!QFileInfo::exists(box.repo("notes.txt")));
}

void WorkbenchTest::fileOperationsKeepFilesWhenTheVersionControlRefuses()
{
    Sandbox box;
    const QStringList fail{QStringLiteral("FAKEVCS_FAIL=delete,move,add")};
    Run run = box.run(QStringLiteral("delete ${REPO}/main.cpp\n"), fail);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("the file was kept")), qPrintable(run.err));
    QVERIFY(QFileInfo::exists(box.repo("main.cpp")));

    run = box.run(QStringLiteral("rename ${REPO}/main.cpp ${REPO}/other.cpp\n"), fail);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(QFileInfo::exists(box.repo("main.cpp")));
    QVERIFY(!QFileInfo::exists(box.repo("other.cpp")));

    // A created file that could not be added stays on disk, and the line says so.
    run = box.run(QStringLiteral("new ${REPO}/fresh.cpp \"x\"\n"), fail);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("could not add")), qPrintable(run.err));
    QCOMPARE(readAll(box.repo("fresh.cpp")), QByteArray("x"));

    // Never overwrite: neither a new file nor a rename replaces an existing one.
    const int callsBefore = box.calls().size();
    run = box.run(QStringLiteral("new ${REPO}/util.cpp \"clobber\"\n"));
    QCOMPARE(run.exitCode, 1);
    run = box.run(QStringLiteral("rename ${REPO}/main.cpp ${REPO}/util.cpp\n"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("already exists")), qPrintable(run.err));
    QCOMPARE(readAll(box.repo("util.cpp")), QByteArray("int util() { return 1; }\n"));
    QCOMPARE(readAll(box.repo("main.cpp")), QByteArray("int main()\n{\n    return 0;\n}\n"));
    QCOMPARE(box.calls().size(), callsBefore);
}

void WorkbenchTest::fileOperationsWithoutVersionControlSupport()
{
    Sandbox box;
    const Run run = box.run(QStringLiteral("project ${REPO}\n"
                                           "new fresh.cpp\n"
                                           "rename main.cpp moved.cpp\n"
                                           "delete util.cpp\n"
                                           "new ${PLAIN}/other.txt text\n"),
                            {QStringLiteral("FAKEVCS_UNSUPPORTED=add,delete,move")});
    EXPECT_OK(run);
    // The host did the file system changes alone.
    QVERIFY(box.calls().isEmpty());
    QVERIFY(QFileInfo::exists(box.repo("fresh.cpp")));
    QVERIFY(QFileInfo::exists(box.repo("moved.cpp")));
    QVERIFY(!QFileInfo::exists(box.repo("main.cpp")));
    QVERIFY(!QFileInfo::exists(box.repo("util.cpp")));
    QCOMPARE(readAll(box.plain("other.txt")), QByteArray("text"));
}

void WorkbenchTest::annotate()
{
    Sandbox box;
    Run run = box.run(QStringLiteral("project ${REPO}\nannotate main.cpp 3\n"));
    EXPECT_OK(run);
    QCOMPARE(box.calls(), QStringList({call(box.repo(), {"annotate", box.repo("main.cpp"), "3"})}));
    QVERIFY(run.out.contains(QStringLiteral("annotation of main.cpp at line 3\n")));

    const char *failing[] = {"annotate ${PLAIN}/readme.txt 1\n", "annotate ${REPO}/main.cpp zero\n",
                             "annotate ${REPO}/main.cpp 0\n", "annotate ${REPO}/missing.cpp 1\n"};
    for (const char *script : failing) {
        run = box.run(QString::fromLatin1(script));
        QVERIFY2(run.exitCode == 1, script);
    }
    run = box.run(QStringLiteral("annotate ${REPO}/main.cpp 1\n"),
                  {QStringLiteral("FAKEVCS_UNSUPPORTED=annotate")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("does not annotate")), qPrintable(run.err));
    QCOMPARE(box.calls().size(), 1);
}

void WorkbenchTest::editorFollowsChangesReportedByTheVersionControl()
{
    // If the editor kept its old text, saving the next edit would undo the version control's
    // change to the file.
    Sandbox box;
    Run run = box.run(QStringLiteral("project ${REPO}\n"
                                     "open util.cpp\n"
                                     "trigger FakeVcs.Update\n"
                                     "edit util.cpp \"// mine\\n\"\n"
                                     "trigger FakeVcs.UpdateAll\n"
                                     "edit util.cpp \"// mine again\\n\"\n"));
    EXPECT_OK(run);
    QCOMPARE(readAll(box.repo("util.cpp")), QByteArray("int util() { return 1; }\n"
                                                       "// updated by fakevcs\n// mine\n"
                                                       "// updated by fakevcs\n// mine again\n"));
}

void WorkbenchTest::pendingPrintsTheViewsRows_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("rows");  // the end of standard output
    QTest::addColumn<QString>("error"); // empty: the run succeeds

    const QStringList offered{"FAKEVCS_PENDING=1"};
    QTest::newRow("nothing changed yet")
        << "project ${REPO}\npending\n" << offered << "candidate add  notes.txt\n" << QString();
    QTest::newRow("changed through the IDE")
        << "project ${REPO}\nedit main.cpp \"// more\\n\"\nnew src/b.cpp\n"
           "rename util.cpp src/util2.cpp\npending\n"
        << offered
        << "edit  main.cpp\nadd  src/b.cpp\nrename  src/util2.cpp\ncandidate add  notes.txt\n"
        << QString();
    QTest::newRow("the project tree marks them")
        << "project ${REPO}\nedit main.cpp \"// more\\n\"\nnew src/b.cpp\n"
           "rename util.cpp src/util2.cpp\ntree\n"
        << offered << "main.cpp [edit]\nnotes.txt\nsrc\nsrc/b.cpp [add]\nsrc/util2.cpp [rename]\n"
        << QString();
    QTest::newRow("they cannot be read")
        << "project ${REPO}\npending\n" << (offered + QStringList{"FAKEVCS_FAIL=pending"})
        << QString()
        << "script.wb:2: The pending changes could not be read: fakevcs: pending refused\n";
    QTest::newRow("the version control does not offer them")
        << "project ${REPO}\npending\n" << QStringList() << QString()
        << "script.wb:2: No version control lists the pending changes of this project.\n";
    QTest::newRow("no project") << "pending\n" << offered << QString()
                                << "script.wb:1: No project is open.\n";
    QTest::newRow("no project for the tree")
        << "tree\n" << offered << QString() << "script.wb:1: no project is open\n";
}

void WorkbenchTest::pendingPrintsTheViewsRows()
{
    QFETCH(QString, script);
    QFETCH(QStringList, environment);
    QFETCH(QString, rows);
    QFETCH(QString, error);
    Sandbox box;
    QVERIFY(QFile::setPermissions(box.repo("main.cpp"), QFile::ReadOwner));
    const Run run = box.run(script, environment);
    if (error.isEmpty()) {
        EXPECT_OK(run);
        QVERIFY2(run.out.endsWith(rows), qPrintable(run.out));
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(error), qPrintable(run.err));
    }
}

void WorkbenchTest::scriptSyntax()
{
    Sandbox box;
    const Run run =
        box.run(QStringLiteral("# a comment\n"
                               "\n"
                               "   # an indented comment\n"
                               "project \"${REPO}\"\r\n"
                               "new \"with blank.txt\" \"a \\\"quoted\\\" word\\tand tab\\n\"\n"
                               "new escapes.txt \"keep \\\\ and \\${HOME} and C:\\dir\"\n"
                               "new \"\" x\n"));
    QCOMPARE(run.exitCode, 1); // the last line names an empty file
    QVERIFY2(run.err.contains(QStringLiteral("script.wb:7:")), qPrintable(run.err));
    QCOMPARE(readAll(box.repo("with blank.txt")), QByteArray("a \"quoted\" word\tand tab\n"));
    QCOMPARE(readAll(box.repo("escapes.txt")), QByteArray("keep \\ and ${HOME} and C:\\dir"));

    const char *malformed[] = {"state \"unterminated\n", "project ${NOT_SET_ANYWHERE_42}\n",
                               "project ${unclosed\n",   "frobnicate\n",
                               "state extra\n",          "edit only-one-argument\n"};
    for (const char *script : malformed) {
        const Run bad = box.run(QString::fromLatin1(script));
        QVERIFY2(bad.exitCode == 1, script);
        QVERIFY2(bad.err.contains(QStringLiteral("script.wb:1:")), qPrintable(bad.err));
        QVERIFY2(!bad.out.contains(QStringLiteral("file:")), script);
    }
}

void WorkbenchTest::failingLineIsNamedAndEndsTheRun()
{
    Sandbox box;
    const Run run = box.run(QStringLiteral("project ${REPO}\n"
                                           "open main.cpp\n"
                                           "\n"
                                           "open no-such-file.cpp\n"
                                           "trigger FakeVcs.Status\n"),
                            {}, QFileInfo(QStringLiteral(FAKEVCS_PLUGIN)).absolutePath(),
                            {QStringLiteral("--echo")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("script.wb:4: ")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("no-such-file.cpp is not an existing file")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("in: open no-such-file.cpp")), qPrintable(run.err));
    QVERIFY(box.calls().isEmpty());
    QCOMPARE(run.out,
             QStringLiteral("> project ${REPO}\n> open main.cpp\n> open no-such-file.cpp\n"));
}

void WorkbenchTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // on standard output for 0, else standard error
    // No display is needed for any of these: none opens a window.
    QTest::newRow("help") << QStringList{"-help"} << 0 << "Usage: workbench";
    QTest::newRow("help after a Qt option") << QStringList{"-style", "fusion", "--help"} << 0
                                            << "Usage: workbench";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2
                                    << "Unknown option --frobnicate";
    QTest::newRow("option without its value") << QStringList{"-settingspath"} << 2
                                              << "-settingspath needs a value";
    QTest::newRow("unreadable script")
        << QStringList{"-platform", "offscreen", "--script", "/nonexistent/script.wb"} << 2
        << "cannot be read";
}

void WorkbenchTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(WORKBENCH_EXECUTABLE), arguments);
    QVERIFY(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit, qPrintable(err));
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2((exitCode == 0 ? out : err).contains(output), qPrintable(out + err));
}

void WorkbenchTest::secretsAreMaskedAndAssertionsGoToStandardError()
{
    Sandbox box;
    box.setSetting(QStringLiteral("FakeVcs/User"), QStringLiteral("ann"));
    box.setSetting(QStringLiteral("FakeVcs/Password"), QStringLiteral("s3cret-pw"));
    const Run run = box.run(QStringLiteral("trigger FakeVcs.Login\n"
                                           "project ${PLAIN}\n"
                                           "trigger FakeVcs.Log\n"));
    EXPECT_OK(run);
    QVERIFY2(run.out.contains(QStringLiteral("/login:ann,********")), qPrintable(run.out));
    QVERIFY(!run.out.contains(QStringLiteral("s3cret")));
    QVERIFY(!run.err.contains(QStringLiteral("s3cret")));
    // The repository command without a repository is refused by the plugin's soft assertion.
    QVERIFY2(run.err.contains(QStringLiteral("SOFT ASSERT: \"state.hasTopLevel()\" in file")),
             qPrintable(run.err));
    QVERIFY(!run.out.contains(QStringLiteral("SOFT ASSERT")));
    QCOMPARE(box.calls().size(), 1);
}

void WorkbenchTest::brokenPluginIsReportedAndTheRunGoesOn()
{
    Sandbox box;
    const QString plugins = box.root() + QStringLiteral("/plugins");
    QVERIFY(QDir().mkpath(plugins));
    // The libraries keep the names the platform gives them, or the loader would skip them.
    const QFileInfo broken(QStringLiteral(BROKEN_PLUGIN));
    QVERIFY(QFile::copy(broken.filePath(), plugins + QLatin1Char('/') + broken.fileName()));
    const QFileInfo fakeVcs(QStringLiteral(FAKEVCS_PLUGIN));
    QVERIFY(QFile::copy(fakeVcs.filePath(), plugins + QLatin1Char('/') + fakeVcs.fileName()));
    writeFile(plugins + QStringLiteral("/README"), "not a library\n");
    writeFile(plugins + QStringLiteral("/garbage.") + broken.suffix(), "not a library either\n");
    const Run run = box.run(
        QStringLiteral("project ${REPO}\nopen main.cpp\ntrigger FakeVcs.Status\n"), {}, plugins);
    EXPECT_OK(run);
    QVERIFY2(run.err.contains(broken.fileName()), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("the broken plugin refuses to start")),
             qPrintable(run.err));
    QCOMPARE(box.calls().size(), 1);

    // No plugin directory at all: said clearly, and the host still runs its own commands.
    const Run none = box.run(QStringLiteral("menu QtCreator.Menu.Tools\n"), {},
                             box.root() + QStringLiteral("/missing"));
    EXPECT_OK(none);
    QVERIFY2(none.err.contains(QStringLiteral("does not exist; no plugins are loaded")),
             qPrintable(none.err));
    QCOMPARE(none.out, QStringLiteral("[ ] Options...  (QtCreator.Options)\n"));
}

void WorkbenchTest::pluginsShutDownBeforeTheManagers()
{
    Sandbox box;
    const QString log = box.root() + QStringLiteral("/shutdown.log");
    const Run run = box.run(QStringLiteral("project ${REPO}\nopen main.cpp\n"),
                            {QStringLiteral("FAKEVCS_SHUTDOWN_LOG=") + log});
    EXPECT_OK(run);
    QCOMPARE(QString::fromUtf8(readAll(log)),
             QStringLiteral("aboutToShutdown: command registered, version control registered\n"
                            "deleted: command registered, version control registered\n"));
}

void WorkbenchTest::screenshots()
{
    Sandbox box;
    const QString shots =
        qEnvironmentVariable("WORKBENCH_SHOTS", box.root() + QStringLiteral("/shots"));
    const Run run =
        box.run(QStringLiteral("project ${REPO}\n"
                               "open main.cpp\n"
                               "trigger FakeVcs.Status\n"
                               "screenshot %1/window.png\n"
                               "menu FakeVcs.Menu\n"
                               "screenshot %1/menu.png\n"
                               "options F.FakeVcs userEdit=ann\n"
                               "screenshot %1/options.png\n"
                               "wizard F.FakeVcs.Checkout ${SANDBOX} repositoryLineEdit=srv/demo\n"
                               "screenshot %1/wizard.png\n"
                               "state\n"
                               "screenshot %1/after.png\n")
                    .arg(shots));
    EXPECT_OK(run);
    const QImage window(shots + QStringLiteral("/window.png"));
    const QImage menu(shots + QStringLiteral("/menu.png"));
    const QImage options(shots + QStringLiteral("/options.png"));
    const QImage wizard(shots + QStringLiteral("/wizard.png"));
    const QImage after(shots + QStringLiteral("/after.png"));
    QVERIFY(!window.isNull() && !menu.isNull() && !options.isNull() && !wizard.isNull());
    QVERIFY(window.width() >= 800 && window.height() >= 500);
    // The open menu is drawn over the window: same frame, different pixels.
    QVERIFY(menu.width() >= window.width());
    QVERIFY(menu != window);
    // A dialog is pictured on its own; after another command the window is shown again.
    QVERIFY(options.size() != window.size());
    QVERIFY(wizard.size() != window.size());
    QCOMPARE(after.size(), window.size());

    const Run bad = box.run(QStringLiteral("screenshot /proc/no/such/dir/x.png\n"));
    QCOMPARE(bad.exitCode, 1);
}

QTEST_GUILESS_MAIN(WorkbenchTest)

#include "tst_workbench.moc"
