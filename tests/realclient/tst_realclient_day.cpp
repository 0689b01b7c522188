// A person's day in the workbench with the plugin and the real cross-platform client against
// the local server: a store, a server and a client profile of the test's own. The first
// session checks the project out through the wizard, changes it through the IDE and checks a
// chosen part in; a colleague checks in meanwhile; the next session gets latest, undoes the
// rest and compares an edit. What counts is what the server's store then holds and what the
// IDE showed. The client turns an unexpected exception into silence and exit code 0, so its
// log is read as well, and it is started through a wrapper that writes down each command line
// it got, which is what other users of the computer see in the process list.
#include "realclient.h"
#include "serverstore.h"
#include "tfserverprocess.h"
#include "workspace.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>

namespace {
const char PASSWORD[] = "day-s3cret";
const QByteArray mainCpp = "int main()\n{\n    return 0;\n}\n";
const QByteArray cmake = "project(App)\nadd_executable(app main.cpp)\n";
const QByteArray readme = "# App\n";
const QByteArray util = "int util() { return 1; }\n";

using RealClient::readFile;
using RealClient::writeFile;

// The server paths of a changeset's changes, "change path", sorted.
QStringList changesOf(const Tf::ServerStore &store, int number)
{
    QStringList changes;
    for (const Tf::ChangeEntry &entry : store.changeset(number, true).changes)
        changes << entry.change + QLatin1Char(' ') + entry.path;
    changes.sort();
    return changes;
}

// What the workbench printed, without the pane's command lines, for the 'n'th (from 0) script line
// 'line' in 'out' (with --echo).
QString answer(const QString &out, const QString &line, int n = 0)
{
    const QString echo = QStringLiteral("> ") + line + QLatin1Char('\n');
    int at = -1;
    for (int i = 0; i <= n; ++i) {
        at = out.indexOf(echo, at + 1);
        if (at < 0)
            return QStringLiteral("(no line \"%1\")").arg(line);
    }
    at += echo.size();
    const int end = out.indexOf(QLatin1String("\n> "), at - 1);
    // The pane's lines of the commands that the line ran go to the same output.
    QStringList lines =
        (end < 0 ? out.mid(at) : out.mid(at, end + 1 - at)).split(QLatin1Char('\n'));
    lines.erase(std::remove_if(
                    lines.begin(), lines.end(),
                    [](const QString &l) { return l.startsWith(QLatin1String("Executing in ")); }),
                lines.end());
    return lines.join(QLatin1Char('\n'));
}

QByteArray latestContent(const Tf::ServerStore &store, const QString &serverPath)
{
    const Tf::ItemRecord item = store.item(serverPath);
    return item.isLive() ? store.content(item.latest()->blob) : QByteArray("(gone)");
}
} // namespace

class tst_RealClientDay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aDayWithTheServer();

private:
    // Runs the workbench on 'script' with the real client as its tf and the password set.
    RealClient::Outcome workbench(const QString &name, const QString &script);
    QStringList starts() const;
    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    QTemporaryDir m_dir;
    RealClient::Profile m_profile;
    QString m_store;
    TfServerProcess m_server;
};

void tst_RealClientDay::initTestCase()
{
    const QString reason = RealClient::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_dir.isValid());
    QVERIFY(m_profile.isValid());
    m_store = path(QStringLiteral("store"));
    Tf::ServerStore store(m_store);
    store.create();
    store.addUser(QStringLiteral("ann"), QString::fromLatin1(PASSWORD));
    store.commit(
        {{Tf::PendingCommit::AddFolder, QStringLiteral("$/Demo"), {}, {}},
         {Tf::PendingCommit::AddFolder, QStringLiteral("$/Demo/App"), {}, {}},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/CMakeLists.txt"), {}, cmake},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/main.cpp"), {}, mainCpp},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/README.md"), {}, readme},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/util.cpp"), {}, util},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/old.txt"), {}, "old\n"}},
        QStringLiteral("alice"), QStringLiteral("Create the App project"));
    QVERIFY2(m_server.start(m_store), qPrintable(m_server.errorText()));

    const QString client = QFileInfo(RealClient::clientPath()).absoluteFilePath();
    // The client finds its libraries beside its launcher, or where TF_CLC_HOME says.
    QVERIFY(writeFile(path(QStringLiteral("bin/tf")),
                      QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n"
                                     "TF_CLC_HOME='%2' exec '%3' \"$@\"\n")
                          .arg(path(QStringLiteral("starts.log")), QFileInfo(client).path(), client)
                          .toUtf8(),
                      true));
    QVERIFY(QDir().mkpath(path(QStringLiteral("work"))));
}

RealClient::Outcome tst_RealClientDay::workbench(const QString &name, const QString &script)
{
    const QString file = path(name + QStringLiteral(".wb"));
    if (!writeFile(file, QStringLiteral("options T.TeamFoundation pathChooser=%1 "
                                        "usernameLineEdit=ann passwordLineEdit=${SECRET} "
                                        "timeOutSpinBox=120\n")
                                 .arg(path(QStringLiteral("bin/tf")))
                                 .toUtf8() +
                             script.toUtf8()))
        return RealClient::Outcome();
    // Downloads need a retry count of at least one: with none the client skips them.
    QProcessEnvironment environment =
        m_profile.environment(QProcessEnvironment::systemEnvironment(), 1);
    // The server's certificate is made for its run.
    environment.insert(QStringLiteral("TF_ACCEPT_UNTRUSTED_CERTIFICATES"), QStringLiteral("1"));
    // No keychain of the person running the tests: the password stays in the settings file.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("COLLECTION"), m_server.url());
    environment.insert(QStringLiteral("WORK"), path(QStringLiteral("work")));
    environment.insert(QStringLiteral("SECRET"), QLatin1String(PASSWORD));
    return RealClient::run(QStringLiteral(WORKBENCH_EXECUTABLE),
                           {QStringLiteral("-settingspath"), path(QStringLiteral("settings")),
                            QStringLiteral("--echo"), QStringLiteral("--script"), file},
                           m_dir.path(), environment, QByteArray(), 300000);
}

QStringList tst_RealClientDay::starts() const
{
    QStringList lines = QString::fromUtf8(readFile(path(QStringLiteral("starts.log"))))
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines;
}

void tst_RealClientDay::aDayWithTheServer()
{
    QElapsedTimer timer;
    timer.start();
    const QString app = path(QStringLiteral("work/App"));
    // The first session: the workspace named by the IDE (the field left empty), a read-only
    // file typed into, a file in a new folder, a rename and a delete, a file added and deleted
    // again; the edit and the new folder checked in, the rest left pending.
    const RealClient::Outcome first = workbench(
        QStringLiteral("first"),
        QStringLiteral(
            "wizard T.TeamFoundation ${WORK} repositoryLineEdit=$/Demo/App "
            "checkoutDirectoryLineEdit=App collectionEdit=${COLLECTION} workspaceEdit=\"\"\n"
            "state\n"
            "edit main.cpp \"// edited today\\n\"\n"
            "new src/added.cpp \"int added;\\n\"\n"
            "rename util.cpp helper.cpp\n"
            "delete old.txt\n"
            "new scratch.txt \"x\\n\"\n"
            "delete scratch.txt\n"
            "pending\n"
            "tree\n"
            "dialog commentEdit=\"Part of the day\" changesList=main.cpp,src/added.cpp\n"
            "trigger TeamFoundation.CheckInProject\n"
            "pending\n"
            "history main.cpp\n"));
    QVERIFY2(first.finished && first.exitCode == 0, qPrintable(first.describe()));
    QString problem = m_profile.unexpectedExceptions();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString shown = first.stdOut;
    // A file added and deleted again is gone from the disk and from the pending changes.
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("/scratch.txt")));
    QCOMPARE(answer(shown, QStringLiteral("state")),
             QStringLiteral("file: (none)\nproject: %1\nversion control: Team Foundation\n"
                            "top level: %1\nrepository: $/Demo/App\n")
                 .arg(app));
    QCOMPARE(answer(shown, QStringLiteral("pending")),
             QStringLiteral("rename  helper.cpp\nedit  main.cpp\ndelete  old.txt\nadd  src\n"
                            "add  src/added.cpp\n"));
    QCOMPARE(answer(shown, QStringLiteral("tree")),
             QStringLiteral("CMakeLists.txt\nREADME.md\nhelper.cpp [rename]\nmain.cpp [edit]\n"
                            "src [add]\nsrc/added.cpp [add]\n"));
    QCOMPARE(answer(shown, QStringLiteral("pending"), 1),
             QStringLiteral("rename  helper.cpp\ndelete  old.txt\n"));
    QCOMPARE(answer(shown, QStringLiteral("history main.cpp")),
             QStringLiteral("C2  ann  Part of the day\nC1  alice  Create the App project\n"));
    QString workspace;
    {
        Tf::ServerStore store(m_store);
        store.open();
        QCOMPARE(store.head(), 2);
        QCOMPARE(store.changeset(2).comment, QStringLiteral("Part of the day"));
        QCOMPARE(store.changeset(2).owner, QStringLiteral("ann"));
        QCOMPARE(changesOf(store, 2), (QStringList{QStringLiteral("add $/Demo/App/src"),
                                                   QStringLiteral("add $/Demo/App/src/added.cpp"),
                                                   QStringLiteral("edit $/Demo/App/main.cpp")}));
        QCOMPARE(latestContent(store, QStringLiteral("$/Demo/App/main.cpp")),
                 mainCpp + "// edited today\n");
        QCOMPARE(latestContent(store, QStringLiteral("$/Demo/App/src/added.cpp")),
                 QByteArray("int added;\n"));
        // The wizard named the workspace after the computer, as the client's own default.
        QStringList names = Tf::Workspace::names(store);
        names.removeAll(QString());
        QCOMPARE(names, QStringList(QSysInfo::machineHostName()));
        workspace = names.first();
    }

    // A colleague checks in meanwhile.
    {
        Tf::ServerStore store(m_store);
        store.open();
        store.commit({{Tf::PendingCommit::Edit,
                       QStringLiteral("$/Demo/App/README.md"),
                       {},
                       "# App, by a colleague\n"}},
                     QStringLiteral("bob"), QStringLiteral("Describe it"));
    }

    // A file the build left, never added: the IDE renames it on its own.
    QVERIFY(writeFile(app + QStringLiteral("/notes.txt"), "notes\n"));

    // The next session: the project opened, latest got, the rest undone (after its question,
    // which lists what it throws away, and the one for the text typed into main.cpp and not
    // saved), a new edit compared.
    const RealClient::Outcome second = workbench(
        QStringLiteral("second"), QStringLiteral("project ${WORK}/App\n"
                                                 "trigger TeamFoundation.GetLatestProject\n"
                                                 "rename notes.txt notes.md\n"
                                                 "open main.cpp\n"
                                                 "type \"// not for today\\n\"\n"
                                                 "dialog\n"
                                                 "dialog\n"
                                                 "trigger TeamFoundation.UndoProject\n"
                                                 "pending\n"
                                                 "edit README.md \"More.\\n\"\n"
                                                 "diff README.md\n"
                                                 "tree\n"));
    QVERIFY2(second.finished && second.exitCode == 0, qPrintable(second.describe()));
    problem = m_profile.unexpectedExceptions();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString next = second.stdOut;
    QCOMPARE(readFile(app + QStringLiteral("/README.md")), "# App, by a colleague\nMore.\n");
    QCOMPARE(readFile(app + QStringLiteral("/main.cpp")), mainCpp + "// edited today\n");
    QCOMPARE(readFile(app + QStringLiteral("/util.cpp")), util);
    QCOMPARE(readFile(app + QStringLiteral("/old.txt")), QByteArray("old\n"));
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("/helper.cpp")));
    QCOMPARE(answer(next, QStringLiteral("pending")), QString());
    QCOMPARE(answer(next, QStringLiteral("diff README.md")),
             QStringLiteral("--- $/Demo/App/README.md;C3\n+++ %1/README.md\n@@ -1 +1,2 @@\n"
                            " # App, by a colleague\n+More.\n")
                 .arg(app));
    QCOMPARE(answer(next, QStringLiteral("tree")),
             QStringLiteral("CMakeLists.txt\nREADME.md [edit]\nmain.cpp\nnotes.md\nold.txt\nsrc\n"
                            "src/added.cpp\nutil.cpp\n"));
    {
        Tf::ServerStore store(m_store);
        store.open();
        QCOMPARE(store.head(), 3);
        Tf::Workspace ws(store, workspace);
        QStringList pending;
        for (const Tf::PendingChange &change : ws.pending())
            pending << change.kindText() + QLatin1Char(' ') + change.serverPath;
        QCOMPARE(pending, QStringList(QStringLiteral("edit $/Demo/App/README.md")));
        QCOMPARE(ws.have(QStringLiteral("$/Demo/App/README.md")), 3);
        QVERIFY(!store.item(QStringLiteral("$/Demo/App/helper.cpp")).isLive());
        QVERIFY(store.item(QStringLiteral("$/Demo/App/old.txt")).isLive());
        QVERIFY(store.item(QStringLiteral("$/Demo/App/notes.md")).isNull());
    }

    // The login never showed in the process list: each client got "@" and read its commands.
    const QStringList started = starts();
    QVERIFY(!started.isEmpty());
    for (const QString &line : started) {
        QVERIFY2(line == QLatin1String("@") ||
                     line.startsWith(QLatin1String("@ -outputSeparator:")),
                 qPrintable(line));
    }
    QVERIFY(!(first.stdOut + first.stdErr + second.stdOut + second.stdErr)
                 .contains(QLatin1String(PASSWORD)));
    qInfo().noquote() << QStringLiteral("the day: %1 starts of the real client in %2 s")
                             .arg(started.size())
                             .arg(timer.elapsed() / 1000.0, 0, 'f', 1);
}

QTEST_GUILESS_MAIN(tst_RealClientDay)
#include "tst_realclient_day.moc"
