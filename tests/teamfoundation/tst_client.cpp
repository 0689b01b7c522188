// The command client: the exact command lines of the thirteen commands and the host's file
// operations, the runner's configured test, credentials, time-out and run flags, and the
// repository probes with the server-path parser.
#include "testhost.h"

#include <core/documentmanager.h>
#include <utils/hostosinfo.h>
#include <utils/qtcassert.h>

#include <checkoutwizard.h>
#include <checkoutwizardpage.h>
#include <commandlines.h>
#include <teamfoundationclient.h>
#include <teamfoundationhistory.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>

#include <vcsbase/command.h>
#include <vcsbase/vcsoutputwindow.h>
#include <extensionsystem/pluginmanager.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCodec>
#include <QtTest>

using namespace TeamFoundation::Internal;

Q_DECLARE_METATYPE(ClientKind)

Q_DECLARE_METATYPE(TeamFoundation::Internal::CommandLines::Failure)

class tst_Client : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void viewsInsteadOfText_data();
    void viewsInsteadOfText();
    void unsavedChanges_data();
    void unsavedChanges();
    void windowsCommandLines();
    void outputCodec_data();
    void outputCodec();
    void environment_data();
    void environment();
    void recursiveDecidedAtRunTime_data();
    void recursiveDecidedAtRunTime();
    void renameUsesAbsolutePaths();
    void credentials_data();
    void credentials();
    void addLoginArgumentsAppendsOnlyWhenBothSet();
    void notConfiguredRunsNothing_data();
    void notConfiguredRunsNothing();
    void failureKeepsOutput();
    void timeOutReachesRunner();
    void changeAnnouncedOnlyAfterSuccess_data();
    void changeAnnouncedOnlyAfterSuccess();
    void licence_data();
    void licence();
    void slotWithoutStateRunsNothing_data();
    void slotWithoutStateRunsNothing();
    void awkwardArgumentsArriveExactly_data();
    void awkwardArgumentsArriveExactly();
    void probes();
    void failures_data();
    void failures();
    void parseServerPath_data();
    void parseServerPath();
    void parseServerPathLargeOutput();
    void parseServerPathNearMisses_data();
    void parseServerPathNearMisses();
};

namespace {
const char JAVA_ARGUMENTS[] = "-Duser.language=en -Duser.country=US -Dfile.encoding=UTF-8";
const char DIFF_COMMAND[] = "diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\"";
// What the user has in the environment already; the plugin's Java options come after it.
const char USER_JAVA_ARGUMENTS[] = "-Xmx512m";
} // namespace

void tst_Client::initTestCase()
{
    qputenv("TF_ADDITIONAL_JAVA_ARGS", USER_JAVA_ARGUMENTS);
    qunsetenv("TF_DIFF_COMMAND");
}

void tst_Client::commands_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<bool>("onProject");
    QTest::addColumn<ClientKind>("kind");
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QStringList>("words");   // command word, then the options after the path
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<bool>("credentials");
    QTest::addColumn<QString>("comment");     // typed into the check-in dialog; null: no dialog
    QTest::addColumn<bool>("cancel");         // the dialog is cancelled: nothing runs

    // Quotes and commas: one argument, exactly as typed. A comment of several lines, or one
    // that a client would take for the name of a file, comes in a file ("-comment:@" below).
    const QString comment = QStringLiteral("Fix \"quoted\", with commas");
    const QString lines = QStringLiteral("Fix \"quoted\",\nand a second line");
    const QString mention = QStringLiteral("@ann reviewed it");
    struct Row
    {
        const char *slot;
        bool project;
        const char *exe;
        QStringList words;
        unsigned flags;
        QString comment;
        bool cancel;
        const char *note;
    };
    const QList<Row> visualStudio{
        {"addCurrentFile", false, "tf", {"add"}, 0x1, {}, false, ""},
        {"deleteCurrentFile", false, "tf", {"delete"}, 0x1, {}, false, ""},
        {"compareCurrentFile", false, "tf", {"difference", "/format:Visual", "/prompt"}, 0x1, {}, false, ""},
        {"undoCurrentFile", false, "tf", {"undo"}, 0x101, {}, false, ""},
        {"checkInCurrentFile", false, "tf", {"checkin", "/prompt"}, 0x1, {}, false, ""},
        {"annotateCurrentFile", false, "tfpt", {"annotate"}, 0x1, {}, false, ""},
        {"getLatestCurrentFile", false, "tf", {"get", "/prompt"}, 0x1, {}, false, ""},
        {"historyCurrentFile", false, "tf", {"history", "/prompt"}, 0x1, {}, false, ""},
        {"historyProject", true, "tf", {"history", "/prompt", "/recursive"}, 0x1, {}, false, ""},
        {"getLatestProject", true, "tf", {"get", "/prompt", "/recursive"}, 0x1, {}, false, ""},
        {"undoProject", true, "tf", {"undo", "/recursive"}, 0x101, {}, false, ""},
        {"compareProject", true, "tf", {"difference", "/format:Visual", "/prompt", "/recursive"}, 0x1, {}, false, ""},
        {"checkInProject", true, "tf", {"checkin", "/prompt", "/recursive"}, 0x1, {}, false, ""},
    };
    // Its history, compare of a file and annotate show the IDE's views: viewsInsteadOfText.
    const QList<Row> crossPlatform{
        {"addCurrentFile", false, "tf", {"add", "-noprompt"}, 0x1, {}, false, ""},
        {"deleteCurrentFile", false, "tf", {"delete", "-noprompt"}, 0x1, {}, false, ""},
        {"undoCurrentFile", false, "tf", {"undo", "-noprompt"}, 0x101, {}, false, ""},
        {"checkInCurrentFile", false, "tf", {"checkin", "-comment:" + comment, "-noprompt"}, 0x1, comment, false, ""},
        {"getLatestCurrentFile", false, "tf", {"get", "-noprompt"}, 0x1, {}, false, ""},
        {"getLatestProject", true, "tf", {"get", "-noprompt", "-recursive"}, 0x1, {}, false, ""},
        {"undoProject", true, "tf", {"undo", "-noprompt", "-recursive"}, 0x101, {}, false, ""},
        {"compareProject", true, "tf", {"difference", "-noprompt", "-recursive"}, 0x1, {}, false, ""},
        {"checkInProject", true, "tf", {"checkin", "-comment:@", "-noprompt", "-recursive"}, 0x1, lines, false, " comment of two lines"},
        {"checkInCurrentFile", false, "tf", {"checkin", "-comment:@", "-noprompt"}, 0x1, mention, false, " comment starting with @"},
        {"checkInProject", true, "tf", {"checkin", "-noprompt", "-recursive"}, 0x1, " \n\t", false, " blank comment"},
        {"checkInCurrentFile", false, "tf", {}, 0x1, comment, true, " cancelled"},
        {"undoProject", true, "tf", {"undo"}, 0x101, {}, true, " cancelled"},
    };
    for (ClientKind kind : {ClientKind::VisualStudio, ClientKind::CrossPlatform}) {
        const bool vs = kind == ClientKind::VisualStudio;
        for (const Row &row : vs ? visualStudio : crossPlatform) {
            for (bool credentials : {false, true}) {
                if (credentials && row.cancel)
                    continue;
                QTest::addRow("%s %s%s%s", vs ? "tf.exe" : "cross-platform", row.slot, row.note,
                              credentials ? " with login" : "")
                    << QByteArray(row.slot) << row.project << kind << QString::fromLatin1(row.exe)
                    << row.words << row.flags << credentials << row.comment << row.cancel;
            }
        }
    }
}

void tst_Client::viewsInsteadOfText_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<ClientKind>("kind");
    QTest::addColumn<QString>("signal"); // the view asked for; empty: a process runs instead
    QTest::addColumn<bool>("onProject");
    const ClientKind cross = ClientKind::CrossPlatform;
    const ClientKind vs = ClientKind::VisualStudio;
    QTest::newRow("cross-platform history of the file")
        << QByteArray("historyCurrentFile") << cross << "history" << false;
    QTest::newRow("cross-platform history of the project")
        << QByteArray("historyProject") << cross << "history" << true;
    QTest::newRow("cross-platform compare of the file")
        << QByteArray("compareCurrentFile") << cross << "compare" << false;
    QTest::newRow("cross-platform compare of the project runs")
        << QByteArray("compareProject") << cross << QString() << true;
    QTest::newRow("cross-platform annotate, even with tfpt")
        << QByteArray("annotateCurrentFile") << cross << "annotate" << false;
    QTest::newRow("tf.exe history keeps its window")
        << QByteArray("historyCurrentFile") << vs << QString() << false;
    QTest::newRow("tf.exe annotate with tfpt runs it")
        << QByteArray("annotateCurrentFile") << vs << QString() << false;
}

void tst_Client::viewsInsteadOfText()
{
    QFETCH(QByteArray, slot);
    QFETCH(ClientKind, kind);
    QFETCH(QString, signal);
    QFETCH(bool, onProject);
    TestHost host;
    host.configure(QString(), QString(), 30, kind);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("src/proj"));
    const QString file = host.makeFile(QStringLiteral("src/proj/main.cpp"));
    host.setCurrentFile(file, project);
    Core::IVersionHistory *views = plugin->versionHistory();
    QStringList asked;
    connect(views, &Core::IVersionHistory::historyRequested, this,
            [&](const QString &path) { asked << "history " + path; });
    connect(views, &Core::IVersionHistory::compareRequested, this,
            [&](const QString &path, int older, int newer) {
                // The edit against the version it was checked out from.
                QCOMPARE(older, int(Core::IVersionHistory::WorkspaceVersion));
                QCOMPARE(newer, int(Core::IVersionHistory::LocalFile));
                asked << "compare " + path;
            });
    connect(views, &Core::IVersionHistory::annotateRequested, this,
            [&](const QString &path) { asked << "annotate " + path; });
    QVERIFY(QMetaObject::invokeMethod(plugin->client(), slot.constData(), Qt::DirectConnection));
    QList<Recorded> runs = host.takeRuns();
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const Recorded &r) { return r.arguments.value(0) == "status"; }),
               runs.end());
    if (signal.isEmpty()) {
        QVERIFY(asked.isEmpty());
        QCOMPARE(runs.size(), 1);
    } else {
        QCOMPARE(asked, QStringList(signal + QLatin1Char(' ') + (onProject ? project : file)));
        QVERIFY(runs.isEmpty());
    }
}

void tst_Client::commands()
{
    QFETCH(QByteArray, slot);
    QFETCH(bool, onProject);
    QFETCH(ClientKind, kind);
    QFETCH(QString, executable);
    QFETCH(QStringList, words);
    QFETCH(unsigned, flags);
    QFETCH(bool, credentials);
    QFETCH(QString, comment);
    QFETCH(bool, cancel);
    const bool crossPlatform = kind == ClientKind::CrossPlatform;

    TestHost host;
    if (credentials)
        host.configure(QStringLiteral("dom\\user"), QStringLiteral("pa ss"), 30, kind);
    else
        host.configure(QString(), QString(), 30, kind);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("src/proj"));
    const QString file = host.makeFile(QStringLiteral("src/proj/main.cpp"));
    const QString target = onProject ? project : file;
    host.setCurrentFile(file, project);
    VcsBase::VcsOutputWindow::clearContents();

    // The check-in dialog asks for the comment; undo asks whether to throw the changes away.
    const bool asks = !comment.isNull() || words.value(0) == QLatin1String("undo");
    // What the comment file held when the check-in was handed over, and who could read it.
    QString commentFile;
    QString commentInFile;
    QFile::Permissions commentPermissions;
    auto lookAtCommentFile = [&](const QList<Handed> &handed) {
        for (const Handed &h : handed) {
            for (const QString &argument : h.command.arguments) {
                if (!argument.startsWith(QLatin1String("-comment:@")))
                    continue;
                commentFile = argument.mid(10);
                QFile file(commentFile);
                if (file.open(QIODevice::ReadOnly))
                    commentInFile = QString::fromUtf8(file.readAll());
                commentPermissions = file.permissions();
            }
        }
    };
    QStringList dialogs;
    QList<Handed> handed;
    host.answerNextDialog([&](QDialog *dialog) {
        dialogs << dialog->findChild<QLabel *>(QStringLiteral("pathLabel"))->text();
        if (cancel) {
            dialog->reject();
            return;
        }
        if (auto edit = dialog->findChild<QPlainTextEdit *>(QStringLiteral("commentEdit")))
            edit->setPlainText(comment);
        dialog->accept();
        // Accepting hands the check-in over; it has not run yet.
        handed = host.takeHanded();
        lookAtCommentFile(handed);
    });
    QVERIFY(QMetaObject::invokeMethod(plugin->client(), slot.constData(), Qt::DirectConnection));
    // Undo lists the pending changes it reads first, and asks when they have come; the
    // check-in dialog opens once its list was read (see tst_PendingChanges).
    QTRY_COMPARE(dialogs, asks ? QStringList(target) : QStringList());

    // The other commands run as jobs: the slot has returned, the job has not ended yet.
    const QList<Handed> later = host.takeHanded();
    lookAtCommentFile(later);
    handed += later;
    handed.erase(std::remove_if(handed.begin(), handed.end(),
                                [](const Handed &h) {
                                    return h.command.arguments.value(0) == QLatin1String("status");
                                }),
                 handed.end());
    if (!commentFile.isEmpty()) {
        QCOMPARE(commentInFile, comment);
        QCOMPARE(commentPermissions & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }
    QList<Recorded> runs = host.takeRuns();
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const Recorded &r) { return r.arguments.value(0) == "status"; }),
               runs.end());
    QVERIFY(host.takeAsserts().isEmpty());
    if (cancel) {
        QVERIFY(runs.isEmpty());
        QVERIFY(handed.isEmpty());
        return;
    }
    QCOMPARE(words.contains(QLatin1String("-comment:@")), !commentFile.isEmpty());
    QVERIFY(!QFile::exists(commentFile));
    QStringList expected{words.first(), target};
    expected += words.mid(1);
    expected.replaceInStrings(QRegularExpression(QStringLiteral("^-comment:@$")),
                              QLatin1String("-comment:@") + commentFile);
    if (credentials)
        expected << QLatin1String(crossPlatform ? "-" : "/") + QStringLiteral("login:dom\\user,pa ss");
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().name, executable);
    QCOMPARE(runs.first().arguments, expected);
    QCOMPARE(runs.first().workingDirectory, onProject ? host.sandbox() + QLatin1String("/src") : project);
    // Through the client's standard input: the login is on no command line. tf.exe shows
    // its dialogs (and the Power Tools their annotation) only when started with the command.
    const bool ownWindow = !crossPlatform && (words.contains(QLatin1String("/prompt")) ||
                                              words.first() == QLatin1String("annotate"));
    QCOMPARE(runs.first().argv, ownWindow ? expected : QStringList(QStringLiteral("@")));

    QCOMPARE(handed.size(), 1);
    const TeamFoundationCommand &command = handed.first().command;
    QVERIFY(handed.first().job);
    QCOMPARE(unsigned(command.flags), flags);
    // Nobody may end tf.exe's dialog while a person answers it.
    QCOMPARE(command.timeOutMs, ownWindow ? 0 : 30000);
    QVERIFY(command.codec);
    QCOMPARE(command.codec->name(), QByteArray("UTF-8"));
    // tf.exe inherits the IDE's environment; the cross-platform client gets it with English,
    // UTF-8 output and, to compare, a tool that prints the differences.
    const QProcessEnvironment environment = command.environment;
    const bool compares = words.first() == QLatin1String("difference");
    if (crossPlatform) {
        QCOMPARE(environment.value(QStringLiteral("PATH")), qEnvironmentVariable("PATH"));
        QCOMPARE(environment.value(QStringLiteral("TF_ADDITIONAL_JAVA_ARGS")),
                 QLatin1String(USER_JAVA_ARGUMENTS) + QLatin1Char(' ') + QLatin1String(JAVA_ARGUMENTS));
        QCOMPARE(environment.value(QStringLiteral("TF_DIFF_COMMAND")),
                 compares ? QLatin1String(DIFF_COMMAND) : QString());
    } else {
        QVERIFY(environment.isEmpty());
    }
    // The recorder prints nothing: equal files. Only where the differences come to the pane
    // does the pane say there are none.
    QCOMPARE(VcsBase::VcsOutputWindow::content().contains(QLatin1String("No differences")),
             compares && crossPlatform);
}

// Before a command reads files the editor's unsaved changes there are saved; before one
// replaces them the user is asked. A failed save or a "no" runs nothing.
void tst_Client::unsavedChanges_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<bool>("onProject");
    QTest::addColumn<QString>("asked");  // "save", "discard" or empty
    QTest::addColumn<bool>("agree");     // the save succeeds, or the user agrees
    QTest::newRow("check-in saves") << QByteArray("checkInProject") << true << "save" << true;
    QTest::newRow("check-in after a failed save") << QByteArray("checkInCurrentFile") << false << "save" << false;
    QTest::newRow("compare after a failed save") << QByteArray("compareProject") << true << "save" << false;
    QTest::newRow("undo agreed") << QByteArray("undoCurrentFile") << false << "discard" << true;
    QTest::newRow("undo declined") << QByteArray("undoProject") << true << "discard" << false;
    QTest::newRow("get declined") << QByteArray("getLatestCurrentFile") << false << "discard" << false;
    QTest::newRow("history reads nothing unsaved") << QByteArray("historyProject") << true << "" << false;
    QTest::newRow("add neither") << QByteArray("addCurrentFile") << false << "" << false;
}

void tst_Client::unsavedChanges()
{
    QFETCH(QByteArray, slot);
    QFETCH(bool, onProject);
    QFETCH(QString, asked);
    QFETCH(bool, agree);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setCurrentFile(file, project);
    QStringList questions;
    Core::DocumentManager::setSaveHandler([&](const QString &path, QString *error) {
        questions << QLatin1String("save ") + path;
        *error = QStringLiteral("main.cpp is read-only.");
        return agree;
    });
    Core::DocumentManager::setDiscardHandler([&](const QString &path) {
        questions << QLatin1String("discard ") + path;
        return agree;
    });
    VcsBase::VcsOutputWindow::clearContents();
    // Undo lists what it would throw away first; the unsaved changes are asked about after.
    if (slot.startsWith("undo"))
        host.answerNextDialog([](QDialog *dialog) { dialog->accept(); });
    QVERIFY(QMetaObject::invokeMethod(plugin->client(), slot.constData(), Qt::DirectConnection));
    QTRY_COMPARE(questions, asked.isEmpty() ? QStringList()
                                            : QStringList(asked + QLatin1Char(' ') + (onProject ? project : file)));
    QList<Recorded> runs = host.takeRuns();
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const Recorded &r) { return r.arguments.value(0) == "status"; }),
               runs.end());
    QCOMPARE(runs.size(), asked.isEmpty() || agree ? 1 : 0);
    // A failed save says why; a "no" is the user's own choice and needs no word.
    QCOMPARE(VcsBase::VcsOutputWindow::content().contains(
                 QLatin1String("main.cpp is read-only. The command was not run.")),
             asked == QLatin1String("save") && !agree);
}

// On Windows local paths take backslashes; server paths, options and the login do not.
void tst_Client::windowsCommandLines()
{
    const ClientKind vs = ClientKind::VisualStudio;
    const ClientKind cp = ClientKind::CrossPlatform;
    const QString file = QStringLiteral("C:/src/proj/main.cpp");
    const QString nativeFile = QStringLiteral("C:\\src\\proj\\main.cpp");
    const QString collection = QStringLiteral("http://tfs:8080/tfs/Coll");
    Utils::HostOsInfo::setOverrideHostOs(Utils::HostOsInfo::HostOsWindows);
    const QList<QPair<QStringList, QStringList>> cases{
        {CommandLines::add(vs, file), {"add", nativeFile}},
        {CommandLines::rename(cp, file, "C:/src/b.cpp"), {"rename", nativeFile, "C:\\src\\b.cpp", "-noprompt"}},
        {CommandLines::checkIn(cp, "C:/src/proj", true, "a/b"),
         {"checkin", "C:\\src\\proj", "-comment:a/b", "-noprompt", "-recursive"}},
        {CommandLines::difference(vs, "C:/src/proj", true),
         {"difference", "C:\\src\\proj", "/format:Visual", "/prompt", "/recursive"}},
        {CommandLines::info(cp, "C:/src"), {"info", "C:\\src", "-noprompt"}},
        {CommandLines::status(vs, "C:/src/App"), {"status", "C:\\src\\App", "/recursive", "/format:xml"}},
        {CommandLines::status(cp, "C:/src/App"), {"status", "C:\\src\\App", "-recursive", "-format:xml", "-noprompt"}},
        // A chosen part: the items one by one; an item with no file keeps its server path.
        {CommandLines::checkInItems(cp, {"C:/src/a.cpp", "$/P/gone.cpp"}, "part"),
         {"checkin", "C:\\src\\a.cpp", "$/P/gone.cpp", "-comment:part", "-noprompt"}},
        {CommandLines::checkInItems(vs, {"C:/src/a.cpp"}, "asked in tf.exe's dialog"),
         {"checkin", "C:\\src\\a.cpp", "/prompt"}},
        {CommandLines::undoItems(vs, {"C:/src/a.cpp", "C:/src/b.cpp"}),
         {"undo", "C:\\src\\a.cpp", "C:\\src\\b.cpp"}},
        {CommandLines::mapFolder(vs, "$/Team/App", "C:/src/App", collection, "ws"),
         {"workfold", "/map", "$/Team/App", "C:\\src\\App", "/collection:" + collection, "/workspace:ws"}},
        {CommandLines::getFolder(cp, "sub/App"), {"get", "sub\\App", "-recursive", "-noprompt"}},
        {{CommandLines::login(vs, "dom/ann", "p/w")}, {"/login:dom/ann,p/w"}},
    };
    Utils::HostOsInfo::clearOverrideHostOs();
    for (const auto &c : cases)
        QCOMPARE(c.first, c.second);
}

void tst_Client::outputCodec_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<ClientKind>("kind");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString ue = QString::fromUtf8("\xc3\xbc");
    QTest::newRow("tf.exe, console code page 850") << true << ClientKind::VisualStudio << 850 << QByteArray("\x81") << ue;
    QTest::newRow("tf.exe, console code page 1252") << true << ClientKind::VisualStudio << 1252 << QByteArray("\xfc") << ue;
    QTest::newRow("tf.exe, console in UTF-8") << true << ClientKind::VisualStudio << 65001 << QByteArray("\xc3\xbc") << ue;
    QTest::newRow("cross-platform client on Windows") << true << ClientKind::CrossPlatform << 850 << QByteArray("\xc3\xbc") << ue;
    QTest::newRow("tf.exe kind elsewhere") << false << ClientKind::VisualStudio << 850 << QByteArray("\xc3\xbc") << ue;
}

void tst_Client::outputCodec()
{
    QFETCH(bool, windows);
    QFETCH(ClientKind, kind);
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTextCodec *codec = CommandLines::outputCodec(kind, windows, codePage);
    QVERIFY(codec);
    QCOMPARE(codec->toUnicode(bytes), text);
}

void tst_Client::environment_data()
{
    QTest::addColumn<ClientKind>("kind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("userJava"); // null: not set
    QTest::addColumn<QString>("userDiff"); // null: not set
    QTest::addColumn<QString>("java");     // null: not set
    QTest::addColumn<QString>("diff");     // null: not set

    const QString java = QLatin1String(JAVA_ARGUMENTS);
    const QString diff = QLatin1String(DIFF_COMMAND);
    const QString meld = QStringLiteral("meld %1 %2");
    QTest::newRow("tf.exe inherits") << ClientKind::VisualStudio << "difference" << QString() << QString() << QString() << QString();
    QTest::newRow("history") << ClientKind::CrossPlatform << "history" << QString() << QString() << java << QString();
    QTest::newRow("after the user's Java options") << ClientKind::CrossPlatform << "get" << "-Xmx1g" << QString() << "-Xmx1g " + java << QString();
    QTest::newRow("compare") << ClientKind::CrossPlatform << "difference" << QString() << QString() << java << diff;
    QTest::newRow("the user's compare tool wins") << ClientKind::CrossPlatform << "difference" << QString() << meld << java << meld;
    QTest::newRow("an empty compare tool is none") << ClientKind::CrossPlatform << "difference" << QString() << "" << java << diff;
}

void tst_Client::environment()
{
    QFETCH(ClientKind, kind);
    QFETCH(QString, command);
    QFETCH(QString, userJava);
    QFETCH(QString, userDiff);
    QFETCH(QString, java);
    QFETCH(QString, diff);
    QProcessEnvironment system;
    system.insert(QStringLiteral("HOME"), QStringLiteral("/home/ann"));
    if (!userJava.isNull())
        system.insert(QStringLiteral("TF_ADDITIONAL_JAVA_ARGS"), userJava);
    if (!userDiff.isNull())
        system.insert(QStringLiteral("TF_DIFF_COMMAND"), userDiff);
    const QProcessEnvironment result = CommandLines::environment(kind, command, system);
    if (java.isNull()) {
        QVERIFY(result.isEmpty());
        return;
    }
    QCOMPARE(result.value(QStringLiteral("HOME")), QStringLiteral("/home/ann"));
    QCOMPARE(result.value(QStringLiteral("TF_ADDITIONAL_JAVA_ARGS")), java);
    QCOMPARE(result.contains(QStringLiteral("TF_DIFF_COMMAND")), !diff.isNull());
    QCOMPARE(result.value(QStringLiteral("TF_DIFF_COMMAND")), diff.isNull() ? QString() : diff);
}

void tst_Client::recursiveDecidedAtRunTime_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("recursive");
    QTest::newRow("file") << "proj/main.cpp" << false;
    QTest::newRow("directory") << "proj" << true;
    QTest::newRow("directory that does not exist") << "gone" << false;
}

void tst_Client::recursiveDecidedAtRunTime()
{
    QFETCH(QString, target);
    QFETCH(bool, recursive);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    host.makeFile(QStringLiteral("proj/main.cpp"));
    const QString path = host.sandbox() + QLatin1Char('/') + target;
    TeamFoundationClient *client = plugin->client();
    client->checkIn(path);
    client->compare(path);
    client->getLatest(path);
    client->history(path);
    client->undo(path);
    // A choice that came out empty is nothing, not the whole path.
    QVERIFY(!client->checkIn(path, Selection::only({})));
    QVERIFY(!client->undo(QStringList()));
    QVERIFY(!client->undoJob(path, Selection::only({})));
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 5);
    for (const Recorded &run : runs) {
        QCOMPARE(run.arguments.at(1), path);
        QCOMPARE(run.arguments.last() == QLatin1String("/recursive"), recursive);
        QCOMPARE(run.arguments.count(QStringLiteral("/recursive")), recursive ? 1 : 0);
        QCOMPARE(run.workingDirectory, QFileInfo(path).absolutePath());
    }
}

void tst_Client::renameUsesAbsolutePaths()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    host.makeFile(QStringLiteral("proj/old.cpp"));
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir);
    QVERIFY(plugin->client()->renameFile(QStringLiteral("old.cpp"), QStringLiteral("sub/new.cpp")));
    QDir::setCurrent(oldCwd);
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().arguments,
             QStringList({"rename", dir + "/old.cpp", dir + "/sub/new.cpp"}));
    QCOMPARE(runs.first().workingDirectory, dir);
    QCOMPARE(unsigned(host.takeHanded().first().command.flags), 0x101u);
}

void tst_Client::credentials_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("login");
    QTest::newRow("both") << "alice" << "pw" << "/login:alice,pw";
    QTest::newRow("user only") << "alice" << "" << "";
    QTest::newRow("password only") << "" << "pw" << "";
    QTest::newRow("neither") << "" << "" << "";
    QTest::newRow("%2 in the user name") << "a%2b" << "pw" << "/login:a%2b,pw";
    QTest::newRow("%1 in the password") << "alice" << "p%1w" << "/login:alice,p%1w";
    QTest::newRow("comma in the password") << "alice" << "p,w" << "/login:alice,p,w";
}

void tst_Client::credentials()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, login);
    TestHost host;
    host.configure(user, password);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("proj/a.cpp"));
    TeamFoundationClient *client = plugin->client();
    QVERIFY(client->addFile(file));
    QVERIFY(client->annotateFile(file));
    QVERIFY(client->managesFile(file));
    const QStringList callerList{QStringLiteral("history"), file};
    QVERIFY(!client->runTf(QFileInfo(file).absolutePath(), callerList, InteractiveRunFlags).error);
    QCOMPARE(callerList, QStringList({"history", file}));

    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 4);
    for (const Recorded &run : runs) {
        const int logins = std::count_if(run.arguments.cbegin(), run.arguments.cend(),
                                         [](const QString &a) { return a.startsWith(QLatin1String("/login")); });
        QCOMPARE(logins, login.isEmpty() ? 0 : 1);
        if (!login.isEmpty())
            QCOMPARE(run.arguments.last(), login);
    }
}

void tst_Client::addLoginArgumentsAppendsOnlyWhenBothSet()
{
    TestHost host;
    host.configure(QStringLiteral("u"), QStringLiteral("p"));
    host.loadPlugin();
    QStringList list{QStringLiteral("get"), QStringLiteral("App"), QStringLiteral("/recursive")};
    TeamFoundationClient::addLoginArguments(list);
    QCOMPARE(list, QStringList({"get", "App", "/recursive", "/login:u,p"}));
}

void tst_Client::notConfiguredRunsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty path") << "empty";
    QTest::newRow("directory") << "directory";
    QTest::newRow("missing file") << "missing";
    QTest::newRow("not executable") << "plain";
}

void tst_Client::notConfiguredRunsNothing()
{
    QFETCH(QString, kind);
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    TeamFoundationSettings s;
    QString binary;
    if (kind == QLatin1String("directory"))
        binary = host.makeDirectory(QStringLiteral("tools"));
    else if (kind == QLatin1String("missing"))
        binary = host.sandbox() + QLatin1String("/tools/tf");
    else if (kind == QLatin1String("plain"))
        binary = host.makeFile(QStringLiteral("tools/tf"));
    s.setValue(TeamFoundationSettings::binaryPathKey, binary);
    s.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, host.tfptPath());
    plugin->setSettings(s);
    host.setResponse("TFREC_STDOUT", "Server path: $/X\n");

    TeamFoundationClient *client = plugin->client();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    for (const TeamFoundationResponse &r :
         {client->runTf(dir, {QStringLiteral("info"), dir}, InteractiveRunFlags),
          client->runTfpt(dir, {QStringLiteral("annotate"), dir}, InteractiveRunFlags)}) {
        QVERIFY(r.error);
        QVERIFY(r.stdOut.isEmpty());
        QVERIFY(r.stdErr.isEmpty());
    }
    QVERIFY(!client->addFile(dir + QLatin1String("/a.cpp")));
    QVERIFY(!client->managesDirectory(dir));
    QCOMPARE(client->repositoryUrl(dir), QString());
    QVERIFY(host.takeRuns().isEmpty());
    QVERIFY(host.takeHanded().isEmpty());
}

void tst_Client::failureKeepsOutput()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    host.setResponse("TFREC_EXIT", "100");
    host.setResponse("TFREC_STDOUT", "partial output\r\nsecond line\r\n");
    host.setResponse("TFREC_STDERR", "it went wrong\n");
    const TeamFoundationResponse r =
        plugin->client()->runTf(host.sandbox(), {QStringLiteral("status")}, InteractiveRunFlags);
    QVERIFY(r.error);
    QCOMPARE(r.stdOut, QStringLiteral("partial output\nsecond line\n"));
    QCOMPARE(r.stdErr, QStringLiteral("it went wrong\n"));
}

void tst_Client::timeOutReachesRunner()
{
    TestHost host;
    host.configure(QString(), QString(), 30);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("a.cpp"));
    plugin->client()->addFile(file);
    QCOMPARE(host.takeHanded().first().command.timeOutMs, 30000);

    // A changed setting applies to the next command.
    TeamFoundationSettings s = plugin->settings();
    s.setValue(TeamFoundationSettings::timeoutKey, 2);
    plugin->setSettings(s);
    plugin->client()->addFile(file);
    QCOMPARE(host.takeHanded().first().command.timeOutMs, 2000);
}

void tst_Client::changeAnnouncedOnlyAfterSuccess_data()
{
    QTest::addColumn<QString>("worker");
    QTest::addColumn<bool>("onDirectory");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("signal");
    for (const char *worker : {"getLatest", "undo"}) {
        QTest::addRow("%s file", worker) << worker << false << 0 << "filesChanged";
        QTest::addRow("%s directory", worker) << worker << true << 0 << "repositoryChanged";
        QTest::addRow("%s failing", worker) << worker << false << 100 << "";
        // Some files replaced, the rest listed: what changed is announced all the same.
        QTest::addRow("%s partly", worker) << worker << true << 1 << "repositoryChanged";
    }
    for (const char *worker : {"checkIn", "compare", "history", "addFile", "deleteFile", "checkoutFile", "annotateFile"})
        QTest::addRow("%s", worker) << worker << false << 0 << "";
    QTest::addRow("history exit 1: no partial success") << "history" << false << 1 << "";
}

void tst_Client::changeAnnouncedOnlyAfterSuccess()
{
    QFETCH(QString, worker);
    QFETCH(bool, onDirectory);
    QFETCH(int, exitCode);
    QFETCH(QString, signal);
    const bool succeed = exitCode == 0;
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    // The path goes to the host as the caller gave it, not cleaned up.
    const QString path = onDirectory ? dir + QLatin1String("/../proj") : file;
    host.setResponse("TFREC_EXIT", QByteArray::number(exitCode));
    if (exitCode == 1)
        host.setResponse("TFREC_STDERR", "Conflict main.cpp - Unable to perform the get\n");
    VcsBase::VcsOutputWindow::clearContents();

    Core::IVersionControl *vc = plugin->versionControl();
    QSignalSpy files(vc, &Core::IVersionControl::filesChanged);
    QSignalSpy repos(vc, &Core::IVersionControl::repositoryChanged);
    QSignalSpy config(vc, &Core::IVersionControl::configurationChanged);
    TeamFoundationClient *client = plugin->client();
    bool ok = false;
    const QMap<QString, std::function<bool()>> workers{
        {"getLatest", [&] { return client->getLatest(path); }},
        {"undo", [&] { return client->undo(path); }},
        {"checkIn", [&] { return client->checkIn(path); }},
        {"compare", [&] { return client->compare(path); }},
        {"history", [&] { return client->history(path); }},
        {"addFile", [&] { return client->addFile(path); }},
        {"deleteFile", [&] { return client->deleteFile(path); }},
        {"checkoutFile", [&] { return client->checkoutFile(path); }},
        {"annotateFile", [&] { return client->annotateFile(path); }},
    };
    ok = workers.value(worker)();
    // A person's command is queued and announces nothing before its job has ended; the
    // host's own operations answer at once.
    const bool job = QStringList({"getLatest", "undo", "checkIn", "compare", "history"}).contains(worker);
    QCOMPARE(ok, succeed || job);
    if (job)
        QCOMPARE(files.count() + repos.count(), 0);
    QCOMPARE(host.takeRuns().size(), 1);
    QCOMPARE(files.count(), signal == QLatin1String("filesChanged") ? 1 : 0);
    QCOMPARE(repos.count(), signal == QLatin1String("repositoryChanged") ? 1 : 0);
    QCOMPARE(config.count(), 0);
    if (files.count())
        QCOMPARE(files.first().first().toStringList(), QStringList(path));
    if (repos.count())
        QCOMPARE(repos.first().first().toString(), path);
    const QString pane = VcsBase::VcsOutputWindow::content();
    QCOMPARE(pane.contains(QLatin1String("partly succeeded")), exitCode == 1 && !signal.isEmpty());
    QCOMPARE(pane.contains(QLatin1String("Conflict main.cpp")), exitCode == 1);
}

// The cross-platform client refuses to work before its licence is accepted. A person's
// command (a job, or a file operation the IDE waits for) shows the licence; Accept accepts it
// through the client and runs the command again, Cancel leaves it failed with one line on how
// to accept later. A probe opens nothing: it cannot tell, and the pane says so once.
void tst_Client::licence_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QStringList>("ran");
    QTest::newRow("a job, accepted") << "history" << true
                                     << QStringList{"history", "eula", "eula -accept", "history"};
    QTest::newRow("a job, cancelled") << "history" << false << QStringList{"history", "eula"};
    QTest::newRow("a file operation, accepted")
        << "checkout" << true << QStringList{"checkout", "eula", "eula -accept", "checkout"};
    QTest::newRow("a file operation, cancelled") << "checkout" << false << QStringList{"checkout", "eula"};
    QTest::newRow("a probe, twice") << "info" << true << QStringList{"info", "info"};
    // The client's own record says so before the checkout's first step would fail.
    QTest::newRow("a checkout, accepted")
        << "wizard" << true
        << QStringList{"eula", "eula -accept", "workspaces", "workspace", "workfold", "get"};
    QTest::newRow("a checkout, cancelled") << "wizard" << false << QStringList{"eula", "workspaces"};
}

void tst_Client::licence()
{
    QFETCH(QString, command);
    QFETCH(bool, accept);
    QFETCH(QStringList, ran);
    TestHost host;
    host.configure(QStringLiteral("ann"), QStringLiteral("secret"), 30, ClientKind::CrossPlatform);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    const QString accepted = host.sandbox() + QLatin1String("/accepted");
    host.setResponse("TFREC_LICENCE", accepted.toLocal8Bit());
    QVERIFY(QDir(host.profileDirectory()).removeRecursively());
    VcsBase::VcsOutputWindow::clearContents();
    QStringList shown;
    host.answerNextDialog([&](QDialog *dialog) {
        shown << dialog->objectName()
              << dialog->findChild<QPlainTextEdit *>(QStringLiteral("licenceText"))->toPlainText();
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });

    TeamFoundationClient *client = plugin->client();
    bool succeeded = false;
    bool ended = false;
    if (command == QLatin1String("history")) {
        QVERIFY(client->submit(file, host.tfPath(),
                               CommandLines::history(ClientKind::CrossPlatform, file, false),
                               InteractiveRunFlags, [&](const VcsBase::VcsJob &job) {
                                   succeeded = job.succeeded();
                                   ended = true;
                               }));
        // The licence is asked from the event loop: the command ends after the answer.
        QTRY_VERIFY_WITH_TIMEOUT(ended, 30000);
    } else if (command == QLatin1String("checkout")) {
        succeeded = client->checkoutFile(file);
    } else if (command == QLatin1String("wizard")) {
        const QList<CheckoutWizard *> wizards =
            ExtensionSystem::PluginManager::getObjects<CheckoutWizard>();
        QCOMPARE(wizards.size(), 1);
        const QList<QWizardPage *> pages = wizards.first()->createParameterPages(host.sandbox());
        std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());
        auto page = qobject_cast<CheckoutWizardPage *>(pages.last());
        QVERIFY(page);
        page->setRepository(QStringLiteral("$/Team/App"));
        page->findChild<QLineEdit *>(QStringLiteral("collectionEdit"))
            ->setText(QStringLiteral("http://tfs:8080/tfs/Coll"));
        QString checkoutPath;
        std::unique_ptr<VcsBase::Command> checkout(
            wizards.first()->createCommand(pages, &checkoutPath));
        QVERIFY(checkout);
        succeeded = checkout->run();
    } else {
        QVERIFY(!client->managesDirectory(dir));
        QVERIFY(!client->managesDirectory(dir));
    }

    QStringList commands;
    for (const Recorded &run : host.takeRuns()) {
        const QStringList words = run.arguments.mid(0, run.arguments.first() == "eula" ? 2 : 1);
        commands << words.join(QLatin1Char(' '));
        // Nothing is asked of the client's console, and the licence's own commands send no
        // login to a server they do not contact.
        QCOMPARE(run.arguments.contains(QLatin1String("-noprompt")), words.first() != "eula");
        QCOMPARE(run.arguments.last() == QLatin1String("-login:ann,secret"), words.first() != "eula");
        QCOMPARE(run.argv, QStringList(QStringLiteral("@")));
    }
    QCOMPARE(commands, ran);
    const bool asked = command != QLatin1String("info");
    const QStringList dialog{"eulaDialog", "LICENCE TERMS\n\nfirst page\nsecond page"};
    QCOMPARE(shown, asked ? dialog : QStringList());
    QCOMPARE(succeeded, asked && accept);
    QCOMPARE(QFileInfo::exists(accepted), asked && accept);
    const QString pane = VcsBase::VcsOutputWindow::content();
    QCOMPARE(pane.count(QLatin1String("was not accepted")), asked && !accept ? 1 : 0);
    QCOMPARE(pane.count(QLatin1String("cannot tell yet")), asked ? 0 : 1);
}

void tst_Client::slotWithoutStateRunsNothing_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("condition");
    const QString file = QStringLiteral("\"m_plugin->currentState().hasFile()\"");
    const QString top = QStringLiteral("\"m_plugin->currentState().hasTopLevel()\"");
    for (const char *slot : {"addCurrentFile", "deleteCurrentFile", "compareCurrentFile",
                             "undoCurrentFile", "checkInCurrentFile", "annotateCurrentFile",
                             "getLatestCurrentFile", "historyCurrentFile"})
        QTest::newRow(slot) << QByteArray(slot) << file;
    for (const char *slot : {"historyProject", "getLatestProject", "undoProject", "compareProject",
                             "checkInProject"})
        QTest::newRow(slot) << QByteArray(slot) << top;
}

void tst_Client::slotWithoutStateRunsNothing()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, condition);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    host.setCurrentFile(QString(), QString());
    QVERIFY(QMetaObject::invokeMethod(plugin->client(), slot.constData(), Qt::DirectConnection));
    const QStringList asserts = host.takeAsserts();
    QCOMPARE(asserts.size(), 1);
    QVERIFY2(asserts.first().startsWith(condition + QLatin1String(" in file ")), qPrintable(asserts.first()));
    QVERIFY(asserts.first().contains(QLatin1String("teamfoundationclient.cpp, line ")));
    QVERIFY(host.takeRuns().isEmpty());
}

void tst_Client::awkwardArgumentsArriveExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << "my file.cpp";
    QTest::newRow("quotes") << "say \"hi\" 'there'.cpp";
    QTest::newRow("comma and semicolon") << "a,b;c.cpp";
    QTest::newRow("unicode") << QString::fromUtf8("Grüße-日本.cpp");
    QTest::newRow("leading dash") << "-rf";
    QTest::newRow("command substitution") << "$(touch pwned).cpp";
    QTest::newRow("backticks and globs") << "`id` *.cpp";
}

void tst_Client::awkwardArgumentsArriveExactly()
{
    QFETCH(QString, name);
    TestHost host;
    host.configure(QStringLiteral("us er\"$(x)"), QString::fromUtf8("p;w,ö -x"));
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QString::fromUtf8("dir with spaces, ü"));
    // A name that starts with "-" arrives as given, relative to the current directory.
    const QString file = name.startsWith(QLatin1Char('-')) ? name : dir + QLatin1Char('/') + name;
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(dir);
    const bool ok = plugin->client()->checkoutFile(file);
    QDir::setCurrent(oldCurrent);
    QVERIFY(ok);
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().arguments,
             QStringList({QStringLiteral("checkout"), file,
                          QString::fromUtf8("/login:us er\"$(x),p;w,ö -x")}));
    QCOMPARE(runs.first().workingDirectory, dir);
    // Read from the standard input of a client started as "tf @".
    QCOMPARE(runs.first().via, QStringLiteral("stdin"));
    QVERIFY(!QFile::exists(dir + QLatin1String("/pwned")));
    QVERIFY(!QFile::exists(QLatin1String("pwned")));
}

void tst_Client::probes()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(QStringLiteral("ws/App"));
    const QString sub = host.makeDirectory(QStringLiteral("ws/App/src"));
    const QString file = host.makeFile(QStringLiteral("ws/App/src/main.cpp"));
    host.setResponse("TFREC_MANAGED_ROOT", top.toLocal8Bit());
    TeamFoundationClient *client = plugin->client();

    QVERIFY(client->managesDirectory(sub));
    QVERIFY(client->managesFile(file));
    QCOMPARE(client->repositoryUrl(sub), QStringLiteral("$/Recorded/src"));
    QVERIFY(!client->managesDirectory(host.sandbox()));
    QCOMPARE(client->repositoryUrl(host.sandbox()), QString());

    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 5);
    QCOMPARE(runs.at(0).arguments, QStringList({"info", sub}));
    QCOMPARE(runs.at(0).workingDirectory, sub);
    QCOMPARE(runs.at(1).arguments, QStringList({"info", file}));
    QCOMPARE(runs.at(1).workingDirectory, sub);
    QCOMPARE(runs.at(2).arguments, QStringList({"info", sub}));
    QCOMPARE(runs.at(2).workingDirectory, top);
    for (const Handed &handed : host.takeHanded())
        QCOMPARE(unsigned(handed.command.flags), 0x38u);
}

void tst_Client::failures_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdErr");
    QTest::addColumn<CommandLines::Failure>("failure");
    using F = CommandLines::Failure;
    QTest::newRow("success") << 0 << "" << F::None;
    QTest::newRow("tf.exe, no workspace")
        << 100
        << "Unable to determine the workspace. You may be able to correct this by running "
           "'tf workspaces /collection:TeamProjectCollectionUrl'."
        << F::NotInWorkspace;
    QTest::newRow("cross-platform, no collection")
        << 100
        << "A client error occurred: The Team Foundation Server project collection URL to use "
           "could not be determined by the options or argument paths provided.  Specify a "
           "workspace, or use the 'collection' option.\n"
        << F::NotInWorkspace;
    QTest::newRow("cross-platform, no workspace")
        << 100
        << "An argument error occurred: The workspace could not be determined from any argument "
           "paths or the current working directory.\n"
        << F::NotInWorkspace;
    QTest::newRow("no mapping") << 100 << "There is no working folder mapping for C:\\src." << F::NotInWorkspace;
    QTest::newRow("licence")
        << 100
        << "Error: You must accept the End User License Agreement for this product\nRun 'tf "
           "eula' to accept the End User License Agreement.\n"
        << F::LicenceNotAccepted;
    // Words only a stand-in ever printed, and an item of a workspace not on the server, which
    // is in the workspace all the same.
    QTest::newRow("not in a mapped folder") << 100 << "/w/x is not in a mapped folder of the workspace W." << F::Other;
    QTest::newRow("no workspace matching") << 100 << "No workspace matching /w/x" << F::Other;
    QTest::newRow("not on the server") << 100 << "No items match /w/App/new.cpp." << F::Other;
    QTest::newRow("login refused")
        << 100 << "TF30063: You are not authorized to access https://dev.azure.com/org." << F::Other;
    QTest::newRow("server unreachable") << 100 << "An error occurred: Connection refused" << F::Other;
    QTest::newRow("nothing said") << 100 << "" << F::Other;
}

void tst_Client::failures()
{
    QFETCH(int, exitCode);
    QFETCH(QString, stdErr);
    QFETCH(CommandLines::Failure, failure);
    QCOMPARE(CommandLines::failureOf(exitCode, stdErr), failure);
    QCOMPARE(TeamFoundationClient::isNotInWorkspaceAnswer(stdErr),
             failure == CommandLines::Failure::NotInWorkspace);
}

void tst_Client::parseServerPath_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");
    QTest::newRow("info output")
        << "Local information:\n  Local path : /w/App\n  Server path: $/Demo/App\n  Changeset  : 4\n"
           "Server information:\n  Server path: $/Demo/App\n"
        << "$/Demo/App";
    QTest::newRow("spaces before the value") << "Server path:     $/A/B\n" << "$/A/B";
    QTest::newRow("spaces before the colon") << "Server path   : $/A\n" << "$/A";
    QTest::newRow("two occurrences") << "Server path: $/First\nServer path: $/Second\n" << "$/First";
    // Both clients' layout: the server path twice, aligned with blanks; Windows' CR LF.
    const QString clientInfo = QStringLiteral(
        "Local information:\n  Local path:  /home/ann/w/App/src\n"
        "  Server path: $/Team Project/App/src\n  Changeset:   42\n  Type:        folder\n"
        "Server information:\n  Server path:   $/Team Project/App/src\n  Changeset:     42\n\n");
    QTest::newRow("client layout") << clientInfo << "$/Team Project/App/src";
    QTest::newRow("client layout, CR LF")
        << QString(clientInfo).replace(QLatin1String("\n"), QLatin1String("\r\n"))
        << "$/Team Project/App/src";
    QTest::newRow("value with blanks, later one without")
        << "Server path: $/My Project \nServer path: $/Other\n" << "$/My Project";
    QTest::newRow("CR LF") << "Server path: $/A\r\n" << "$/A";
    QTest::newRow("blank value, later one set") << "Server path:   \nServer path: $/B\n" << "";
    QTest::newRow("empty value") << "Server path:\n" << "";
    QTest::newRow("no match") << "Local path: /x\n" << "";
    QTest::newRow("lower case") << "server path: $/A\n" << "";
    QTest::newRow("no line feed at the end") << "Server path: $/A" << "";
    QTest::newRow("empty output") << "" << "";
}

void tst_Client::parseServerPath()
{
    QFETCH(QString, output);
    QFETCH(QString, expected);
    QCOMPARE(TeamFoundationClient::parseServerPath(output), expected);
}

void tst_Client::parseServerPathLargeOutput()
{
    QString output;
    const QString line = QStringLiteral("  Local path : /some/where/in/a/deep/tree/file.cpp\n");
    output.reserve(6 * 1024 * 1024);
    while (output.size() < 6 * 1024 * 1024)
        output += line;
    output += QLatin1String("  Server path: $/Demo/Big\n");
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(TeamFoundationClient::parseServerPath(output), QStringLiteral("$/Demo/Big"));
    // Linear time takes milliseconds here; anything worse takes minutes.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed()) + " ms"));
}

// Output that almost matches everywhere: each "Server path" starts a match that fails only
// much later, or never. A parser that restarts its scan from each of them takes time
// quadratic in the size; these must stay as quick as ordinary output.
void tst_Client::parseServerPathNearMisses_data()
{
    QTest::addColumn<QString>("unit");
    QTest::newRow("keys and colons without white space") << "Server path:";
    QTest::newRow("keys and colons with blanks") << "Server path:     ";
    QTest::newRow("long values without line feed") << "Server path:" + QString(100, 'x');
    QTest::newRow("keys without colons") << "Server path \t \t";
    QTest::newRow("values ended by a blank") << "Server path:\t$/x ";
}

void tst_Client::parseServerPathNearMisses()
{
    QFETCH(QString, unit);
    QString output;
    output.reserve(2 * 1024 * 1024 + unit.size());
    while (output.size() < 2 * 1024 * 1024)
        output += unit;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(TeamFoundationClient::parseServerPath(output), QString());
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed()) + " ms"));
}

QTEST_MAIN(tst_Client)
#include "tst_client.moc"
