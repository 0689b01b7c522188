// The real cross-platform client against the local server, one command after
// another as a person types them: workspace -new, workfold -map, get,
// checkout, add, delete, undo, rename, status, difference, checkin, history,
// info, print, and get again after a change made elsewhere. What counts is
// what the store and the files then hold: the client turns an unexpected
// exception into silence and exit code 0, so its log is read as well.

#include "realclient.h"
#include "serverstore.h"
#include "tfserverprocess.h"
#include "workspace.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QByteArray mainVersion1 = "int main()\n{\n    return 0;\n}\n";
const QByteArray mainVersion2 = "int main()\n{\n    return 2;\n}\n";
const QByteArray readme = "# App\n";
const QByteArray cmake = "project(App)\n";

using RealClient::readFile;
using RealClient::writeFile;

bool isWritable(const QString &path)
{
    return QFileInfo(path).permission(QFile::WriteOwner);
}

} // namespace

class TfServerRealClientTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aDayByHand();

private:
    RealClient::Outcome tf(const QStringList &arguments, const QString &directory,
                           const QProcessEnvironment &extra = QProcessEnvironment());

    QTemporaryDir m_dir;
    QString m_store;
    std::unique_ptr<RealClient::Profile> m_profile;
    QString m_work;
    QString m_login = QStringLiteral("-login:ann,secret");
    int m_runs = 0;
};

void TfServerRealClientTest::initTestCase()
{
    const QString unavailable = RealClient::unavailableReason();
    if (!unavailable.isEmpty())
        QSKIP(qPrintable(unavailable));
    m_profile = std::make_unique<RealClient::Profile>();
    QVERIFY(m_profile->isValid());
    QVERIFY(m_dir.isValid());
    m_store = m_dir.filePath(QStringLiteral("store"));
    m_work = m_dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(m_work));
    Tf::ServerStore store(m_store);
    store.create();
    store.addUser(QStringLiteral("ann"), QStringLiteral("secret"));
    store.commit(
        {{Tf::PendingCommit::AddFolder, QStringLiteral("$/Demo"), {}, {}},
         {Tf::PendingCommit::AddFolder, QStringLiteral("$/Demo/App"), {}, {}},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/main.cpp"), {}, mainVersion1},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/README.md"), {}, readme},
         {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/CMakeLists.txt"), {}, cmake}},
        QStringLiteral("alice"), QStringLiteral("Create the App project"));
    store.commit(
        {{Tf::PendingCommit::Edit, QStringLiteral("$/Demo/App/main.cpp"), {}, mainVersion2}},
        QStringLiteral("bob"), QStringLiteral("Return two"));
}

RealClient::Outcome TfServerRealClientTest::tf(const QStringList &arguments,
                                               const QString &directory,
                                               const QProcessEnvironment &extra)
{
    // Downloads need a retry count of at least one: with none the client
    // skips them and leaves empty files.
    QProcessEnvironment environment =
        m_profile->environment(QProcessEnvironment::systemEnvironment(), 1);
    environment.insert(QStringLiteral("TF_ACCEPT_UNTRUSTED_CERTIFICATES"), QStringLiteral("1"));
    for (const QString &key : extra.keys())
        environment.insert(key, extra.value(key));
    ++m_runs;
    return RealClient::run(RealClient::clientPath(), arguments + QStringList{m_login}, directory,
                           environment);
}

void TfServerRealClientTest::aDayByHand()
{
    TfServerProcess server;
    QVERIFY2(server.start(m_store), qPrintable(server.errorText()));
    const QString url = server.url();
    const QString collection = QStringLiteral("-collection:") + url;
    QElapsedTimer timer;
    timer.start();

    auto ok = [&](const QStringList &arguments, const QString &directory,
                  const QProcessEnvironment &extra = QProcessEnvironment()) {
        RealClient::Outcome o = tf(arguments, directory, extra);
        const QString problem = m_profile->unexpectedExceptions();
        if (o.exitCode != 0 || !problem.isEmpty())
            qWarning().noquote() << arguments.join(QLatin1Char(' ')) << o.describe() << problem;
        if (!problem.isEmpty())
            o.exitCode = -1;
        return o;
    };
    auto pendingOf = [&]() {
        Tf::ServerStore store(m_store);
        store.open();
        QMap<QString, QString> changes;
        Tf::Workspace ws(store, QStringLiteral("Day"));
        for (const Tf::PendingChange &c : ws.pending())
            changes.insert(c.serverPath,
                           c.kindText() +
                               (c.rename ? QStringLiteral(" from ") + c.sourcePath : QString()));
        return changes;
    };
    const QString file = m_work + QStringLiteral("/main.cpp");

    QCOMPARE(ok({QStringLiteral("workspace"), QStringLiteral("-new"), QStringLiteral("Day"),
                 collection, QStringLiteral("-noprompt")},
                m_work)
                 .exitCode,
             0);
    QCOMPARE(ok({QStringLiteral("workfold"), QStringLiteral("-map"), QStringLiteral("$/Demo/App"),
                 m_work, QStringLiteral("-workspace:Day"), collection},
                m_work)
                 .exitCode,
             0);
    {
        Tf::ServerStore store(m_store);
        store.open();
        const Tf::Workspace ws(store, QStringLiteral("Day"));
        QCOMPARE(ws.owner(), QStringLiteral("ann"));
        QCOMPARE(ws.serverPathFor(file), QStringLiteral("$/Demo/App/main.cpp"));
    }

    // Get: every file with its latest content, read-only as in any server workspace.
    QCOMPARE(ok({QStringLiteral("get"), m_work, QStringLiteral("-recursive")}, m_work).exitCode, 0);
    QCOMPARE(readFile(file), mainVersion2);
    QCOMPARE(readFile(m_work + QStringLiteral("/README.md")), readme);
    QVERIFY(!isWritable(file));

    QCOMPARE(ok({QStringLiteral("checkout"), QStringLiteral("main.cpp")}, m_work).exitCode, 0);
    QVERIFY(isWritable(file));
    QVERIFY(writeFile(file, mainVersion2 + "// changed\n"));
    QVERIFY(writeFile(m_work + QStringLiteral("/src/new.txt"), "new\n"));
    QCOMPARE(ok({QStringLiteral("add"), QStringLiteral("src/new.txt")}, m_work).exitCode, 0);
    QCOMPARE(ok({QStringLiteral("delete"), QStringLiteral("README.md")}, m_work).exitCode, 0);
    QVERIFY(!QFileInfo::exists(m_work + QStringLiteral("/README.md")));
    QCOMPARE(ok({QStringLiteral("rename"), QStringLiteral("CMakeLists.txt"),
                 QStringLiteral("build.cmake")},
                m_work)
                 .exitCode,
             0);
    QCOMPARE(readFile(m_work + QStringLiteral("/build.cmake")), cmake);
    QCOMPARE(pendingOf(), (QMap<QString, QString>{
                              {QStringLiteral("$/Demo/App/main.cpp"), QStringLiteral("edit")},
                              {QStringLiteral("$/Demo/App/src"), QStringLiteral("add")},
                              {QStringLiteral("$/Demo/App/src/new.txt"), QStringLiteral("add")},
                              {QStringLiteral("$/Demo/App/README.md"), QStringLiteral("delete")},
                              {QStringLiteral("$/Demo/App/build.cmake"),
                               QStringLiteral("rename from $/Demo/App/CMakeLists.txt")}}));

    // Undo brings the deleted file back as the server has it.
    QCOMPARE(ok({QStringLiteral("undo"), QStringLiteral("README.md")}, m_work).exitCode, 0);
    QCOMPARE(readFile(m_work + QStringLiteral("/README.md")), readme);
    QVERIFY(!pendingOf().contains(QStringLiteral("$/Demo/App/README.md")));

    // The pending changes as the plugin reads them.
    const RealClient::Outcome status =
        ok({QStringLiteral("status"), QStringLiteral("-format:xml")}, m_work);
    QCOMPARE(status.exitCode, 0);
    QMap<QString, QString> listed;
    QXmlStreamReader xml(status.stdOut);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("pending-change"))
            listed.insert(xml.attributes().value(QLatin1String("server-item")).toString(),
                          xml.attributes().value(QLatin1String("change-type")).toString());
    }
    QCOMPARE(listed, (QMap<QString, QString>{
                         {QStringLiteral("$/Demo/App/main.cpp"), QStringLiteral("edit")},
                         {QStringLiteral("$/Demo/App/src"), QStringLiteral("add")},
                         {QStringLiteral("$/Demo/App/src/new.txt"), QStringLiteral("add")},
                         {QStringLiteral("$/Demo/App/build.cmake"), QStringLiteral("rename")}}));

    // The compare tool gets the base version from the server and the local file.
    QProcessEnvironment diff;
    diff.insert(QStringLiteral("TF_DIFF_COMMAND"), QStringLiteral("diff -u \"%1\" \"%2\""));
    const RealClient::Outcome difference =
        ok({QStringLiteral("difference"), QStringLiteral("main.cpp")}, m_work, diff);
    QVERIFY2(difference.stdOut.contains(QLatin1String("\n+// changed\n")),
             qPrintable(difference.describe()));

    QCOMPARE(
        ok({QStringLiteral("checkin"), QStringLiteral("-comment:The first day")}, m_work).exitCode,
        0);
    {
        Tf::ServerStore store(m_store);
        store.open();
        QCOMPARE(store.head(), 3);
        const Tf::Changeset cs = store.changeset(3, true);
        QCOMPARE(cs.comment, QStringLiteral("The first day"));
        QCOMPARE(cs.owner, QStringLiteral("ann"));
        QStringList changes;
        for (const Tf::ChangeEntry &e : cs.changes)
            changes << e.change + QLatin1Char(' ') + e.path;
        changes.sort();
        QCOMPARE(changes, (QStringList{QStringLiteral("add $/Demo/App/src"),
                                       QStringLiteral("add $/Demo/App/src/new.txt"),
                                       QStringLiteral("edit $/Demo/App/main.cpp"),
                                       QStringLiteral("rename $/Demo/App/build.cmake")}));
        QCOMPARE(store.content(store.item(QStringLiteral("$/Demo/App/main.cpp")).latest()->blob),
                 mainVersion2 + "// changed\n");
        QCOMPARE(store.content(store.item(QStringLiteral("$/Demo/App/src/new.txt")).latest()->blob),
                 QByteArray("new\n"));
        QCOMPARE(store.content(store.item(QStringLiteral("$/Demo/App/build.cmake")).latest()->blob),
                 cmake);
        QVERIFY(!store.item(QStringLiteral("$/Demo/App/CMakeLists.txt")).isLive());
        Tf::Workspace ws(store, QStringLiteral("Day"));
        QVERIFY(ws.pending().isEmpty());
        QCOMPARE(ws.have(QStringLiteral("$/Demo/App/main.cpp")), 3);
    }
    QVERIFY(!isWritable(file));

    // Every layout lists the three changesets, newest first; the detailed one also asks the
    // work item service for each changeset's work items (there are none) and prints nothing
    // on its error output when it gets them.
    const struct
    {
        const char *format;
        const char *changeset; // how a changeset's number starts its entry
    } layouts[] = {
        {"xml", "<changeset id=\"%1\""}, {"brief", "\n%1 "}, {"detailed", "Changeset: %1\n"}};
    for (const auto &layout : layouts) {
        const RealClient::Outcome history =
            ok({QStringLiteral("history"), QStringLiteral("main.cpp"),
                QStringLiteral("-format:") + QLatin1String(layout.format)},
               m_work);
        QVERIFY2(history.exitCode == 0 && history.stdErr.isEmpty(), qPrintable(history.describe()));
        QList<int> at;
        for (int number = 3; number >= 1; --number)
            at << history.stdOut.indexOf(QString::fromLatin1(layout.changeset).arg(number));
        QVERIFY2(at[0] >= 0 && at[0] < at[1] && at[1] < at[2], qPrintable(history.describe()));
    }

    const RealClient::Outcome info =
        ok({QStringLiteral("info"), QStringLiteral("main.cpp")}, m_work);
    QVERIFY2(info.stdOut.contains(QLatin1String("Server path: $/Demo/App/main.cpp")) &&
                 info.stdOut.contains(QRegularExpression(QStringLiteral("Changeset: +3\\n"))),
             qPrintable(info.describe()));

    const RealClient::Outcome print =
        ok({QStringLiteral("print"), QStringLiteral("-version:C1"), QStringLiteral("main.cpp")},
           m_work);
    QCOMPARE(print.stdOut.toUtf8(), mainVersion1);

    // A change made elsewhere arrives with the next get.
    {
        Tf::ServerStore store(m_store);
        store.open();
        store.commit({{Tf::PendingCommit::Edit,
                       QStringLiteral("$/Demo/App/README.md"),
                       {},
                       "# App, elsewhere\n"}},
                     QStringLiteral("bob"), QStringLiteral("Elsewhere"));
    }
    QCOMPARE(ok({QStringLiteral("get")}, m_work).exitCode, 0);
    QCOMPARE(readFile(m_work + QStringLiteral("/README.md")), QByteArray("# App, elsewhere\n"));

    qInfo().noquote() << QStringLiteral("%1 runs of the real client in %2 s")
                             .arg(m_runs)
                             .arg(timer.elapsed() / 1000.0, 0, 'f', 1);
}

QTEST_GUILESS_MAIN(TfServerRealClientTest)
#include "tst_tfserver_realclient.moc"
