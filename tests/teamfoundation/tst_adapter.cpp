// The version control's answers to the host: the top-level search, the file probes and the
// file operations the IDE's own file handling asks for.
#include "testhost.h"

#include <checkoutwizard.h>
#include <checkoutwizardpage.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>

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
        QCOMPARE(handed.command.flags, 0x38u);
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
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 2);
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
    QCOMPARE(handed.at(0).command.flags, 0x1u);
    QCOMPARE(handed.at(3).command.flags, 0x101u);

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

void tst_Adapter::repositoryUrl()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(QStringLiteral("ws/App"));
    host.makeDirectory(QStringLiteral("ws/App/src"));
    host.setResponse("TFREC_MANAGED_ROOT", top.toLocal8Bit());
    QCOMPARE(plugin->versionControl()->vcsGetRepositoryURL(top + QLatin1String("/src")),
             QStringLiteral("$/Recorded/src"));
    QCOMPARE(plugin->versionControl()->vcsGetRepositoryURL(host.sandbox()), QString());
    // Success without output is no location either.
    host.setResponse("TFREC_MANAGED_ROOT", "");
    QCOMPARE(plugin->versionControl()->vcsGetRepositoryURL(top), QString());
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
// costs no process, unless it comes after such an event or the first answer was a fault.
void tst_Adapter::knowledge_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("question"); // "directory" or "url"
    QTest::addColumn<QString>("asked");    // below the sandbox
    QTest::addColumn<QString>("answer");   // the top level or the server path; empty: not managed
    QTest::addColumn<int>("processes");
    // The first question, about ws/App/src with ws/App mapped, learns src and App (managed,
    // top level App) and ws (not managed).
    QTest::newRow("the same directory") << "" << "directory" << "ws/App/src" << "ws/App" << 0;
    QTest::newRow("a new folder below, not added yet") << "" << "directory" << "ws/App/src/new/deep" << "ws/App" << 0;
    QTest::newRow("another folder of the mapping") << "" << "directory" << "ws/App/lib" << "ws/App" << 0;
    QTest::newRow("the directory above") << "" << "directory" << "ws" << "" << 0;
    QTest::newRow("beside the mapping") << "" << "directory" << "ws/Other" << "" << 1;
    QTest::newRow("a refused login is no answer") << "fault" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after the configuration changed") << "configuration" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after the repository changed") << "repository" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after a checkout") << "checkout" << "directory" << "ws/App/src" << "ws/App" << 3;
    QTest::newRow("after a file changed") << "file" << "directory" << "ws/App/src" << "ws/App" << 0;
    QTest::newRow("server path of a probed directory") << "" << "url" << "ws/App/src" << "$/Recorded/src" << 0;
    QTest::newRow("server path of a folder below") << "" << "url" << "ws/App/src/new" << "$/Recorded/src/new" << 1;
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
    const QString app = host.makeDirectory(QStringLiteral("ws/App"));
    const QString src = host.makeDirectory(QStringLiteral("ws/App/src"));
    host.makeDirectory(QStringLiteral("ws/Other"));
    const bool fault = event == QLatin1String("fault");
    if (fault) {
        host.setResponse("TFREC_EXIT", "100");
        host.setResponse("TFREC_STDERR", "TF30063: You are not authorized.\n");
    } else {
        host.setResponse("TFREC_MANAGED_ROOT", app.toLocal8Bit());
    }
    vc->managesDirectory(src, nullptr);
    QCOMPARE(host.takeRuns().size(), fault ? 1 : 3);

    if (fault) {
        host.setResponse("TFREC_EXIT", "0");
        host.setResponse("TFREC_STDERR", "");
        host.setResponse("TFREC_MANAGED_ROOT", app.toLocal8Bit());
    } else if (event == QLatin1String("configuration")) {
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
        QString topLevel = QStringLiteral("untouched");
        QCOMPARE(vc->managesDirectory(path, &topLevel), !answer.isEmpty());
        QCOMPARE(topLevel, answer.isEmpty() ? QStringLiteral("untouched") : host.sandbox() + QLatin1Char('/') + answer);
    }
    QCOMPARE(host.takeRuns().size(), processes);
}

QTEST_MAIN(tst_Adapter)
#include "tst_adapter.moc"
