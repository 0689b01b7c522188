// The version control's answers to the host: the top-level search, the file probes and the
// file operations the IDE's own file handling asks for.
#include "testhost.h"

#include <checkoutwizard.h>
#include <checkoutwizardpage.h>
#include <teamfoundationclient.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>
#include <workspacecache.h>

#include <extensionsystem/pluginmanager.h>
#include <vcsbase/command.h>

#include <QtTest>

using namespace TeamFoundation::Internal;

class tst_Adapter : public QObject
{
    Q_OBJECT

private slots:
    void topLevelSearch_data();
    void topLevelSearch();
    void topLevelAtFilesystemRoot();
    void managesFile_data();
    void managesFile();
    void fileOperations();
    void annotateIgnoresLine();
    void repositoryUrl();
    void notConfiguredAnswersWithoutProcess();
    void knowledge_data();
    void knowledge();
    void workspaceCache_data();
    void workspaceCache();
    void workspaceCacheFollowsTheFile();
    void cacheLocation_data();
    void cacheLocation();
};

void tst_Adapter::topLevelSearch_data()
{
    QTest::addColumn<QString>("mapped");   // the top of the mapping, relative to the sandbox
    QTest::addColumn<QString>("asked");    // the directory the host asks about
    QTest::addColumn<bool>("managed");
    QTest::addColumn<QString>("topLevel");
    QTest::addColumn<int>("probes");
    QTest::newRow("not managed") << "ws/App" << "elsewhere" << false << "" << 1;
    QTest::newRow("top of the mapping") << "ws/App" << "ws/App" << true << "ws/App" << 2;
    QTest::newRow("two levels below") << "ws/App" << "ws/App/src/core" << true << "ws/App" << 4;
    QTest::newRow("given with a trailing slash") << "ws/App" << "ws/App/src/" << true << "ws/App" << 3;
}

void tst_Adapter::topLevelSearch()
{
    QFETCH(QString, mapped);
    QFETCH(QString, asked);
    QFETCH(bool, managed);
    QFETCH(QString, topLevel);
    QFETCH(int, probes);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(mapped);
    host.makeDirectory(asked);
    host.setResponse("TFREC_MANAGED_ROOT", top.toLocal8Bit());
    const QString directory = host.sandbox() + QLatin1Char('/') + asked;

    QString found = QStringLiteral("untouched");
    QCOMPARE(plugin->versionControl()->managesDirectory(directory, &found), managed);
    QCOMPARE(found, managed ? host.sandbox() + QLatin1Char('/') + topLevel : QStringLiteral("untouched"));
    QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), probes);
    // The first probe gets the directory as the host gave it; the parents go by absolute path.
    QCOMPARE(runs.first().arguments, QStringList({"info", directory}));
    QCOMPARE(runs.first().workingDirectory, QDir(directory).absolutePath());
    QDir expected(directory);
    for (int i = 1; i < runs.size(); ++i) {
        QVERIFY(expected.cdUp());
        QCOMPARE(runs.at(i).arguments, QStringList({"info", expected.absolutePath()}));
    }
    for (const Handed &handed : host.takeHanded())
        QCOMPARE(unsigned(handed.command.flags), 0x38u);
}

void tst_Adapter::topLevelAtFilesystemRoot()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    host.setResponse("TFREC_MANAGED_ROOT", "/");
    const QString directory = host.makeDirectory(QStringLiteral("a/b"));
    const int depth = directory.count(QLatin1Char('/'));

    QString found;
    QVERIFY(plugin->versionControl()->managesDirectory(directory, &found));
    QCOMPARE(found, QStringLiteral("/"));
    // k levels below the root: the first probe and one per parent, none above the root.
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), depth + 1);
    QCOMPARE(runs.last().arguments, QStringList({"info", "/"}));
}

void tst_Adapter::managesFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("relative") << "src/main.cpp" << "proj/src/main.cpp";
    QTest::newRow("absolute") << "@/other/main.cpp" << "other/main.cpp";
}

void tst_Adapter::managesFile()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString working = host.makeDirectory(QStringLiteral("proj"));
    host.makeFile(QStringLiteral("proj/src/main.cpp"));
    host.makeFile(QStringLiteral("other/main.cpp"));
    fileName.replace(QLatin1Char('@'), host.sandbox());
    const QString path = host.sandbox() + QLatin1Char('/') + expected;

    QVERIFY(plugin->versionControl()->managesFile(working, fileName));
    host.setResponse("TFREC_EXIT", "100");
    QVERIFY(!plugin->versionControl()->managesFile(working, fileName));
    // The cross-platform client's answer for a file of a workspace never added.
    host.setResponse("TFREC_EXIT", "0");
    host.setResponse("TFREC_STDOUT", ("No items match " + path + "\n").toLocal8Bit());
    QVERIFY(!plugin->versionControl()->managesFile(working, fileName));
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs.first().arguments, QStringList({"info", path}));
    QCOMPARE(runs.first().workingDirectory, QFileInfo(path).absolutePath());
}

void tst_Adapter::fileOperations()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    Core::IVersionControl *vc = plugin->versionControl();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    const QString renamed = dir + QLatin1String("/renamed.cpp");

    QVERIFY(vc->vcsOpen(file));
    QVERIFY(vc->vcsAdd(file));
    QVERIFY(vc->vcsDelete(file));
    QVERIFY(vc->vcsMove(file, renamed));
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs.at(0).arguments, QStringList({"checkout", file}));
    QCOMPARE(runs.at(1).arguments, QStringList({"add", file}));
    QCOMPARE(runs.at(2).arguments, QStringList({"delete", file}));
    QCOMPARE(runs.at(3).arguments, QStringList({"rename", file, renamed}));
    for (const Recorded &run : runs)
        QCOMPARE(run.workingDirectory, dir);
    const QList<Handed> handed = host.takeHanded();
    QCOMPARE(unsigned(handed.at(0).command.flags), 0x1u);
    QCOMPARE(unsigned(handed.at(3).command.flags), 0x101u);

    // A failing command is a failing operation.
    host.setResponse("TFREC_EXIT", "1");
    QVERIFY(!vc->vcsOpen(file));
    QVERIFY(!vc->vcsAdd(file));
    QVERIFY(!vc->vcsDelete(file));
    QVERIFY(!vc->vcsMove(file, renamed));
}

void tst_Adapter::annotateIgnoresLine()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    QVERIFY(plugin->versionControl()->vcsAnnotate(file, 42));
    QVERIFY(plugin->versionControl()->vcsAnnotate(file, 1));
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs.at(0).name, QStringLiteral("tfpt"));
    QCOMPARE(runs.at(0).arguments, QStringList({"annotate", file}));
    QCOMPARE(runs.at(1).arguments, runs.at(0).arguments);
    QCOMPARE(runs.at(1).workingDirectory, runs.at(0).workingDirectory);
}

// The server path is never waited for: the first question starts one read in the background
// and answers nothing yet; the host hears when the answer is there.
void tst_Adapter::repositoryUrl()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    Core::IVersionControl *vc = plugin->versionControl();
    const QString top = host.makeDirectory(QStringLiteral("ws/App"));
    host.makeDirectory(QStringLiteral("ws/App/src"));
    host.setResponse("TFREC_MANAGED_ROOT", top.toLocal8Bit());
    QSignalSpy answers(vc, &Core::IVersionControl::answersChanged);
    QCOMPARE(vc->vcsGetRepositoryURL(top + QLatin1String("/src")), QString());
    QCOMPARE(vc->vcsGetRepositoryURL(top + QLatin1String("/src")), QString());
    QTRY_COMPARE(answers.count(), 1);
    QCOMPARE(vc->vcsGetRepositoryURL(top + QLatin1String("/src")),
             QStringLiteral("$/Recorded/src"));
    const QList<Handed> handed = host.takeHanded();
    QCOMPARE(handed.size(), 1);
    QVERIFY(handed.first().command.background);
    QCOMPARE(handed.first().command.arguments, QStringList({"info", top + QLatin1String("/src")}));
    // Outside a workspace there is none to announce, and one read says so.
    QCOMPARE(vc->vcsGetRepositoryURL(host.sandbox()), QString());
    host.waitForJobs();
    QCOMPARE(vc->vcsGetRepositoryURL(host.sandbox()), QString());
    QCOMPARE(answers.count(), 1);
    QCOMPARE(host.takeRuns().size(), 2);
}

void tst_Adapter::notConfiguredAnswersWithoutProcess()
{
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    TeamFoundationSettings s;
    s.setValue(TeamFoundationSettings::binaryPathKey, host.sandbox() + QLatin1String("/no/tf"));
    s.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, host.tfptPath());
    plugin->setSettings(s);
    Core::IVersionControl *vc = plugin->versionControl();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    QString top = QStringLiteral("untouched");
    QVERIFY(!vc->managesDirectory(dir, &top));
    QCOMPARE(top, QStringLiteral("untouched"));
    QVERIFY(!vc->managesFile(dir, QStringLiteral("main.cpp")));
    QCOMPARE(vc->vcsGetRepositoryURL(dir), QString());
    QVERIFY(!vc->vcsOpen(file));
    QVERIFY(!vc->vcsAdd(file));
    QVERIFY(!vc->vcsDelete(file));
    QVERIFY(!vc->vcsMove(file, dir + QLatin1String("/b.cpp")));
    QVERIFY(!vc->vcsAnnotate(file, 3));
    QVERIFY(host.takeRuns().isEmpty());
    QVERIFY(host.takeHanded().isEmpty());
}

// What the probes found is remembered until something may have changed it: a second question
// costs no process, unless it comes after such an event. A fault (a refused login) is no
// answer: the plugin cannot tell, and says so without asking again until the client was seen
// to work again, or the settings changed.
void tst_Adapter::knowledge_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("question"); // "directory" or "url"
    QTest::addColumn<QString>("asked");    // below the sandbox
    QTest::addColumn<QString>(
        "answer"); // the top level or the server path; empty: not managed; "?": cannot tell
    QTest::addColumn<int>("processes");
    // The first question, about ws/App/src with ws/App mapped, learns src and App (managed,
    // top level App) and ws (not managed).
    QTest::newRow("the same directory") << "" << "directory" << "ws/App/src" << "ws/App" << 0;
    QTest::newRow("a new folder below, not added yet") << "" << "directory" << "ws/App/src/new/deep" << "ws/App" << 0;
    QTest::newRow("another folder of the mapping") << "" << "directory" << "ws/App/lib" << "ws/App" << 0;
    QTest::newRow("the directory above") << "" << "directory" << "ws" << "" << 0;
    QTest::newRow("beside the mapping") << "" << "directory" << "ws/Other" << "" << 1;
    QTest::newRow("a refused login is no answer") << "fault"
                                                  << "directory"
                                                  << "ws/App/src"
                                                  << "?" << 0;
    QTest::newRow("until the client worked again") << "fault, then a command"
                                                   << "directory"
                                                   << "ws/App/src"
                                                   << "ws/App" << 3;
    QTest::newRow("or the settings changed") << "fault, then the settings"
                                             << "directory"
                                             << "ws/App/src"
                                             << "ws/App" << 3;
    // The parent of the top reached could not be told about: that top may be too low.
    QTest::newRow("a climb a fault ended") << "fault above"
                                           << "directory"
                                           << "ws/App/src"
                                           << "ws" << 4;
    // Known not to be managed, ws/Other holds no answer for what is below it, even below a
    // directory known to be managed: a mapping may start further down (or a cloak).
    QTest::newRow("below a directory not managed") << "mapping widened"
                                                   << "directory"
                                                   << "ws/Other/deep"
                                                   << "ws/Other/deep" << 1;
    QTest::newRow("after the configuration changed") << "configuration" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after the repository changed") << "repository" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after a checkout") << "checkout" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after a file changed") << "file" << "directory" << "ws/App/src" << "ws/App" << 0;
    QTest::newRow("server path of a probed directory") << ""
                                                       << "url"
                                                       << "ws/App/src"
                                                       << "$/Recorded/src" << 0;
}

void tst_Adapter::knowledge()
{
    QFETCH(QString, event);
    QFETCH(QString, question);
    QFETCH(QString, asked);
    QFETCH(QString, answer);
    QFETCH(int, processes);
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    Core::IVersionControl *vc = plugin->versionControl();
    const QString ws = host.makeDirectory(QStringLiteral("ws"));
    const QString app = host.makeDirectory(QStringLiteral("ws/App"));
    const QString src = host.makeDirectory(QStringLiteral("ws/App/src"));
    host.makeDirectory(QStringLiteral("ws/Other/deep"));
    // The question itself is refused, or only that about a parent.
    const bool refused =
        event == QLatin1String("fault") || event.startsWith(QLatin1String("fault,"));
    if (event == QLatin1String("fault")) {
        host.setResponse("TFREC_EXIT", "100");
        host.setResponse("TFREC_STDERR", "TF30063: You are not authorized.\n");
    } else if (event == QLatin1String("fault above")) {
        // Everything from ws down is mapped, but ws cannot be asked about.
        host.setResponse("TFREC_MANAGED_ROOT", ws.toLocal8Bit());
        host.setResponse("TFREC_FAULT_PATH", ws.toLocal8Bit());
    } else if (event.startsWith(QLatin1String("fault"))) {
        host.setResponse("TFREC_FAULT_PATH", src.toLocal8Bit());
        host.setResponse("TFREC_MANAGED_ROOT", app.toLocal8Bit());
    } else if (event == QLatin1String("mapping widened")) {
        host.setResponse("TFREC_MANAGED_ROOT", app.toLocal8Bit());
        QCOMPARE(vc->answerForDirectory(host.sandbox() + QLatin1String("/ws/Other")).kind,
                 Core::IVersionControl::DirectoryAnswer::NotManaged);
        host.setResponse("TFREC_MANAGED_ROOT", ws.toLocal8Bit());
    } else {
        host.setResponse("TFREC_MANAGED_ROOT", app.toLocal8Bit());
    }
    const Core::IVersionControl::DirectoryAnswer first = vc->answerForDirectory(src);
    QCOMPARE(first.kind, refused ? Core::IVersionControl::DirectoryAnswer::CannotTell
                                 : Core::IVersionControl::DirectoryAnswer::Managed);
    if (refused)
        QVERIFY2(first.reason.startsWith(QLatin1String("TF30063")), qPrintable(first.reason));
    if (event == QLatin1String("fault above"))
        QCOMPARE(first.topLevel, app);
    host.takeRuns();

    if (event.startsWith(QLatin1String("fault"))) {
        host.setResponse("TFREC_EXIT", "0");
        host.setResponse("TFREC_STDERR", "");
        host.setResponse("TFREC_FAULT_PATH", "");
        host.setResponse("TFREC_MANAGED_ROOT",
                         (event == QLatin1String("fault above") ? ws : app).toLocal8Bit());
    }
    if (event == QLatin1String("fault, then a command")) {
        QSignalSpy answers(vc, &Core::IVersionControl::answersChanged);
        QVERIFY(plugin->client()->history(app));
        QTRY_COMPARE(answers.count(), 1);
    } else if (event == QLatin1String("fault, then the settings") ||
               event == QLatin1String("configuration")) {
        host.configure(QStringLiteral("ann"), QStringLiteral("pw"));
    } else if (event == QLatin1String("repository")) {
        plugin->notifyChange(app);
    } else if (event == QLatin1String("file")) {
        plugin->notifyChange(host.makeFile(QStringLiteral("ws/App/src/main.cpp")));
    } else if (event == QLatin1String("checkout")) {
        const QList<CheckoutWizard *> wizards = ExtensionSystem::PluginManager::getObjects<CheckoutWizard>();
        QCOMPARE(wizards.size(), 1);
        const QList<QWizardPage *> pages = wizards.first()->createParameterPages(host.sandbox());
        std::vector<std::unique_ptr<QWizardPage>> owned(pages.begin(), pages.end());
        auto page = qobject_cast<CheckoutWizardPage *>(pages.last());
        QVERIFY(page);
        page->setRepository(QStringLiteral("$/Team/Other"));
        QString checkoutPath;
        std::unique_ptr<VcsBase::Command> command(wizards.first()->createCommand(pages, &checkoutPath));
        QVERIFY(command && command->run());
    }
    host.takeRuns();

    const QString path = host.sandbox() + QLatin1Char('/') + asked;
    if (question == QLatin1String("url")) {
        QCOMPARE(vc->vcsGetRepositoryURL(path), answer);
    } else {
        const Core::IVersionControl::DirectoryAnswer second = vc->answerForDirectory(path);
        if (answer == QLatin1String("?")) {
            QCOMPARE(second.kind, Core::IVersionControl::DirectoryAnswer::CannotTell);
        } else {
            QCOMPARE(second.kind, answer.isEmpty()
                                      ? Core::IVersionControl::DirectoryAnswer::NotManaged
                                      : Core::IVersionControl::DirectoryAnswer::Managed);
            QCOMPARE(second.topLevel,
                     answer.isEmpty() ? QString() : host.sandbox() + QLatin1Char('/') + answer);
        }
        // The boolean question says the same, from what was just learnt.
        QString topLevel = QStringLiteral("untouched");
        QCOMPARE(vc->managesDirectory(path, &topLevel),
                 second.kind == Core::IVersionControl::DirectoryAnswer::Managed);
    }
    QCOMPARE(host.takeRuns().size(), processes);
}

// Which directories are in a workspace is read from the client's cache file, written as the
// cross-platform client writes it, without any process; what it does not hold is left to the
// probes.
void tst_Adapter::workspaceCache_data()
{
    QTest::addColumn<QString>("content"); // "mapped" paths, '|' separated; "cut short"; "none"
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("topLevel"); // empty: not managed
    QTest::addColumn<int>("processes");
    QTest::newRow("the mapped folder") << "ws/App"
                                       << "ws/App"
                                       << "ws/App" << 0;
    QTest::newRow("two levels below") << "ws/App"
                                      << "ws/App/src/core"
                                      << "ws/App" << 0;
    QTest::newRow("nested mappings: the outermost") << "ws/App/lib|ws/App"
                                                    << "ws/App/lib/x"
                                                    << "ws/App" << 0;
    QTest::newRow("mappings side by side") << "ws/App|ws/Lib"
                                           << "ws/Lib/x"
                                           << "ws/Lib" << 0;
    QTest::newRow("through a link to a mapped folder") << "ws/App"
                                                       << "link/src"
                                                       << "ws/App" << 0;
    QTest::newRow("an earlier version's layout") << "legacy ws/App"
                                                 << "ws/App/src"
                                                 << "ws/App" << 0;
    QTest::newRow("beside the mappings: the probes") << "ws/App"
                                                     << "ws/Other"
                                                     << "" << 1;
    QTest::newRow("a file cut short: the probes") << "cut short"
                                                  << "ws/App/src"
                                                  << "ws/App" << 3;
    QTest::newRow("no file: the probes") << "none"
                                         << "ws/App/src"
                                         << "ws/App" << 3;
    // As the client leaves it after "tf workspaces -remove" of the last workspace.
    QTest::newRow("no workspace left: the probes") << "no servers"
                                                   << "ws/App/src"
                                                   << "ws/App" << 3;
}

void tst_Adapter::workspaceCache()
{
    QFETCH(QString, content);
    QFETCH(QString, asked);
    QFETCH(QString, topLevel);
    QFETCH(int, processes);
    TestHost host;
    host.configure(QString(), QString(), 30, ClientKind::CrossPlatform);
    for (const char *dir : {"ws/App/src/core", "ws/App/lib/x", "ws/Lib/x", "ws/Other"})
        host.makeDirectory(QLatin1String(dir));
    QVERIFY(QFile::link(host.sandbox() + QLatin1String("/ws/App"),
                        host.sandbox() + QLatin1String("/link")));
    // What the probes would say, where they are asked.
    host.setResponse("TFREC_MANAGED_ROOT",
                     (host.sandbox() + QLatin1String("/ws/App")).toLocal8Bit());
    if (content == QLatin1String("cut short")) {
        const QString file = host.writeWorkspaceCache({host.sandbox() + QLatin1String("/ws/App")});
        QFile cut(file);
        QVERIFY(cut.open(QIODevice::ReadWrite));
        QVERIFY(cut.resize(cut.size() / 2));
    } else if (content.startsWith(QLatin1String("legacy "))) {
        const QString file = host.writeWorkspaceCache({});
        QFile legacy(file);
        QVERIFY(legacy.open(QIODevice::ReadOnly));
        QString xml = QString::fromUtf8(legacy.readAll());
        legacy.close();
        xml.replace(QLatin1String("<MappedPaths>"),
                    QStringLiteral("<WorkingFolders><Map local=\"%1/%2\" "
                                   "server=\"$/App\"/></WorkingFolders><MappedPaths>")
                        .arg(host.sandbox(), content.mid(7)));
        QVERIFY(legacy.open(QIODevice::WriteOnly | QIODevice::Truncate));
        legacy.write(xml.toUtf8());
    } else if (content == QLatin1String("no servers")) {
        QFile file(host.writeWorkspaceCache({}));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<VersionControlServer>\n  <Servers/>\n</VersionControlServer>\n");
    } else if (content != QLatin1String("none")) {
        QStringList mapped;
        for (const QString &path : content.split(QLatin1Char('|')))
            mapped << host.sandbox() + QLatin1Char('/') + path;
        host.writeWorkspaceCache(mapped);
    }
    TeamFoundationPlugin *plugin = host.loadPlugin();

    QString found = QStringLiteral("untouched");
    const bool managed = plugin->versionControl()->managesDirectory(
        host.sandbox() + QLatin1Char('/') + asked, &found);
    QCOMPARE(managed, !topLevel.isEmpty());
    QCOMPARE(found,
             managed ? host.sandbox() + QLatin1Char('/') + topLevel : QStringLiteral("untouched"));
    QCOMPARE(host.takeRuns().size(), processes);
}

// The client rewrites its cache in place: a change is read again, the host hears that the
// answers changed, and a read caught half-written is tried again shortly.
void tst_Adapter::workspaceCacheFollowsTheFile()
{
    TestHost host;
    host.configure(QString(), QString(), 30, ClientKind::CrossPlatform);
    const QString app = host.makeDirectory(QStringLiteral("ws/App"));
    const QString lib = host.makeDirectory(QStringLiteral("ws/Lib/src"));
    const QString file = host.writeWorkspaceCache({app});
    TeamFoundationPlugin *plugin = host.loadPlugin();
    Core::IVersionControl *vc = plugin->versionControl();
    QSignalSpy answers(vc, &Core::IVersionControl::answersChanged);
    QCOMPARE(vc->answerForDirectory(app).kind, Core::IVersionControl::DirectoryAnswer::Managed);

    // Lib is mapped: first half the file, then the rest, as a writer would leave it.
    host.writeWorkspaceCache({app, host.sandbox() + QLatin1String("/ws/Lib")});
    QFile rewritten(file);
    QVERIFY(rewritten.open(QIODevice::ReadOnly));
    const QByteArray whole = rewritten.readAll();
    rewritten.close();
    QVERIFY(rewritten.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rewritten.write(whole.left(whole.size() / 2));
    rewritten.flush();
    QTimer::singleShot(WorkspaceCache::RetryIntervalMs, [&] {
        rewritten.write(whole.mid(whole.size() / 2));
        rewritten.close();
    });
    QTRY_VERIFY(answers.count() >= 1 && !rewritten.isOpen());
    QString found;
    QVERIFY(vc->managesDirectory(lib, &found));
    QCOMPARE(found, host.sandbox() + QLatin1String("/ws/Lib"));
    QVERIFY(host.takeRuns().isEmpty());

    // Unmapped: now it is left to the probes again.
    host.setResponse("TFREC_MANAGED_ROOT", app.toLocal8Bit());
    const int before = answers.count();
    host.writeWorkspaceCache({app});
    QTRY_VERIFY(answers.count() > before);
    QVERIFY(!vc->managesDirectory(lib, &found));
    QVERIFY(!host.takeRuns().isEmpty());
}

void tst_Adapter::cacheLocation_data()
{
    using Utils::HostOsInfo;
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("os");
    QTest::addColumn<QStringList>(
        "environment");                    // NAME=VALUE; @ stands for a directory of the test
    QTest::addColumn<QString>("expected"); // @ as above; empty: none
    const int cp = int(ClientKind::CrossPlatform);
    const int vs = int(ClientKind::VisualStudio);
    QTest::newRow("profile directory")
        << cp << int(HostOsInfo::HostOsLinux) << QStringList{"TEE_PROFILE_DIRECTORY=/p"}
        << "/p/Cache/VersionControl.config";
    QTest::newRow("relative profile directory ignored")
        << cp << int(HostOsInfo::HostOsLinux) << QStringList{"TEE_PROFILE_DIRECTORY=p"}
        << "/home/ann/.microsoft/Team Foundation/4.0/Cache/VersionControl.config";
    QTest::newRow("macOS") << cp << int(HostOsInfo::HostOsMac) << QStringList()
                           << "/home/ann/Library/Application Support/Microsoft/Team "
                              "Foundation/4.0/Cache/VersionControl.config";
    QTest::newRow("cross-platform client on Windows")
        << cp << int(HostOsInfo::HostOsWindows)
        << QStringList{"LOCALAPPDATA=C:\\Users\\ann\\AppData\\Local"}
        << "C:/Users/ann/AppData/Local/Microsoft/Team Foundation/4.0/Cache/VersionControl.config";
    QTest::newRow("cache directory of its own")
        << cp << int(HostOsInfo::HostOsLinux)
        << QStringList{"TFSVC_CACHE_DIR=%BASE%/tfs", "BASE=/b", "TEE_PROFILE_DIRECTORY=/p"}
        << "/b/tfs/VersionControl.config";
    QTest::newRow("tf.exe: the newest version holding a cache")
        << vs << int(HostOsInfo::HostOsWindows) << QStringList{"LOCALAPPDATA=@"}
        << "@/Microsoft/Team Foundation/12.0/Cache/VersionControl.config";
    QTest::newRow("tf.exe elsewhere than on Windows")
        << vs << int(HostOsInfo::HostOsLinux) << QStringList{"LOCALAPPDATA=@"} << "";
}

void tst_Adapter::cacheLocation()
{
    QFETCH(int, kind);
    QFETCH(int, os);
    QFETCH(QStringList, environment);
    QFETCH(QString, expected);
    QTemporaryDir local;
    // Visual Studio 2013 used the cache, 2015 left an empty one, 2017's has none yet.
    const QString versions = local.path() + QLatin1String("/Microsoft/Team Foundation/");
    QDir().mkpath(versions + QLatin1String("12.0/Cache"));
    QDir().mkpath(versions + QLatin1String("14.0/Cache"));
    QDir().mkpath(versions + QLatin1String("15.0"));
    QFile used(versions + QLatin1String("12.0/Cache/VersionControl.config"));
    QVERIFY(used.open(QIODevice::WriteOnly));
    QProcessEnvironment env;
    for (QString variable : environment) {
        variable.replace(QLatin1Char('@'), local.path());
        env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    }
    expected.replace(QLatin1Char('@'), local.path());
    QCOMPARE(WorkspaceCache::location(ClientKind(kind), Utils::HostOsInfo::OsType(os), env,
                                      QStringLiteral("/home/ann")),
             expected);
}

QTEST_MAIN(tst_Adapter)
#include "tst_adapter.moc"
