// The stand-in answers as the real cross-platform client once a server is there: the same
// commands run through the real client against tfserver and through the stand-in against a
// store of its own with the same content, from a workspace folder of each, and each must end
// with the same exit code and print the same, once the sandbox's folder, the dates and the
// server's address are put aside. The real client is the reference: where they differ, the
// stand-in is mended.
#include "realclient.h"
#include "serverstore.h"
#include "tfserverprocess.h"

#include <QtTest>

namespace {
const QByteArray mainCpp = "int main()\n{\n    return 0;\n}\n";

// What is left of an answer to compare: the sandbox's folder, the dates and the server's
// address put aside.
QString normalised(QString text, const QString &sandbox)
{
    text.replace(sandbox, QStringLiteral("SANDBOX"));
    text.replace(QRegularExpression(QStringLiteral("date=\"[^\"]*\"")),
                 QStringLiteral("date=\"\""));
    // A workspace's server: the real client's URL, the stand-in's store.
    text.replace(QRegularExpression(QStringLiteral("server=\"[^\"]*\"")),
                 QStringLiteral("server=\"\""));
    text.replace(QRegularExpression(QStringLiteral(
                     "[A-Z][a-z]{2} \\d{1,2}, \\d{4}, \\d{1,2}:\\d\\d:\\d\\d [AP]M")),
                 QStringLiteral("DATE"));
    text.replace(
        QRegularExpression(QStringLiteral("\\d{1,2}/\\d{1,2}/\\d\\d, \\d{1,2}:\\d\\d [AP]M")),
        QStringLiteral("DATE"));
    return text;
}
} // namespace

class tst_ServerParity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAnswer_data();
    void sameAnswer();

private:
    // One client's day: its sandbox (the workspace folder App in it), and the outcome of each
    // line of both runs.
    struct Day
    {
        QString sandbox;
        QList<RealClient::Outcome> outcomes;
    };
    Day runDay(const QString &client, const QString &collection, const QString &sandbox);

    QTemporaryDir m_dir;
    RealClient::Profile m_realProfile;
    RealClient::Profile m_standInProfile;
    TfServerProcess m_server;
    QStringList m_lines;
    Day m_real;
    Day m_standIn;
};

// The commands of the day: the first run gets the files and checks two out, then main.cpp is
// changed and new files are made, and the second run does the rest.
static const char *const firstRun[] = {
    "workspace -new Day -collection:%1",
    "workfold -map $/Demo/App App -workspace:Day -collection:%1",
    "get -recursive App",
    "checkout App/main.cpp App/README.md",
    "workspaces -format:xml -collection:%1",
};
static const char *const secondRun[] = {
    "add sub/deep/x.txt sub/y.txt",
    "rename README.md READ.md",
    "delete CMakeLists.txt",
    "status -recursive -format:xml",
    "status",
    "info main.cpp",
    "info sub",
    "undo sub/y.txt",
    "add sub/y.txt",
    "delete sub/y.txt",
    "difference main.cpp",
    "difference CMakeLists.txt",
    "checkin -comment:Day main.cpp sub sub/deep sub/deep/x.txt",
    "history main.cpp",
    "history main.cpp -format:detailed",
    "history nothere.cpp -format:xml",
    "history . -recursive",
    "history main.cpp -format:xml -itemmode",
    "history . -format:xml -stopafter:100 -recursive",
    "print -version:C1 main.cpp",
    "get main.cpp -version:C1",
    "get -recursive .",
    "info nothere.cpp",
    "undo -recursive .",
    "checkout nothere.cpp",
    "delete nothere.cpp",
    "add main.cpp",
    "rename main.cpp README.md",
    "checkin -comment:none",
    "status",
};

tst_ServerParity::Day tst_ServerParity::runDay(const QString &client, const QString &collection,
                                               const QString &sandbox)
{
    Day day;
    day.sandbox = sandbox;
    QDir().mkpath(sandbox);
    const RealClient::Profile &profile =
        client == QLatin1String(TF_STANDIN) ? m_standInProfile : m_realProfile;
    QProcessEnvironment environment =
        profile.environment(QProcessEnvironment::systemEnvironment(), 1);
    environment.remove(QStringLiteral("TF_STANDIN_GRAMMAR"));
    environment.remove(QStringLiteral("TF_STANDIN_CANDIDATES"));
    environment.insert(QStringLiteral("TF_ACCEPT_UNTRUSTED_CERTIFICATES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("TF_DIFF_COMMAND"),
                       QStringLiteral("diff -u --label \"%6\" --label \"%7\" \"%1\" \"%2\""));
    QStringList first;
    for (const char *line : firstRun)
        first << QString::fromLatin1(line).replace(QLatin1String("%1"), collection) +
                     QStringLiteral(" -login:ann,secret");
    day.outcomes = RealClient::runLines(client, first, sandbox, environment);

    const QString app = sandbox + QStringLiteral("/App");
    RealClient::writeFile(app + QStringLiteral("/main.cpp"), mainCpp + "// changed\n");
    QDir().mkpath(app + QStringLiteral("/sub/deep"));
    RealClient::writeFile(app + QStringLiteral("/sub/deep/x.txt"), "x\n");
    RealClient::writeFile(app + QStringLiteral("/sub/y.txt"), "y\n");
    QStringList second;
    for (const char *line : secondRun)
        second << QString::fromLatin1(line) + QStringLiteral(" -login:ann,secret");
    day.outcomes += RealClient::runLines(client, second, app, environment);
    return day;
}

void tst_ServerParity::initTestCase()
{
    const QString reason = RealClient::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_dir.isValid());
    QVERIFY(m_realProfile.isValid() && m_standInProfile.isValid());
    // Two stores with the same changesets: one served to the real client, one the stand-in's.
    for (const QString &name : {QStringLiteral("served"), QStringLiteral("own")}) {
        Tf::ServerStore store(m_dir.filePath(name));
        store.create();
        store.addUser(QStringLiteral("ann"), QStringLiteral("secret"));
        store.commit(
            {{Tf::PendingCommit::AddFolder, QStringLiteral("$/Demo"), {}, {}},
             {Tf::PendingCommit::AddFolder, QStringLiteral("$/Demo/App"), {}, {}},
             {Tf::PendingCommit::AddFile,
              QStringLiteral("$/Demo/App/CMakeLists.txt"),
              {},
              "project(App)\n"},
             {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/main.cpp"), {}, mainCpp},
             {Tf::PendingCommit::AddFile, QStringLiteral("$/Demo/App/README.md"), {}, "# App\n"}},
            QStringLiteral("alice"), QStringLiteral("Create the App project"));
    }
    QVERIFY2(m_server.start(m_dir.filePath(QStringLiteral("served"))),
             qPrintable(m_server.errorText()));
    for (const char *line : firstRun)
        m_lines << QString::fromLatin1(line).replace(QLatin1String("%1"), QLatin1String("URL"));
    for (const char *line : secondRun)
        m_lines << QString::fromLatin1(line);
    m_real =
        runDay(RealClient::clientPath(), m_server.url(), m_dir.filePath(QStringLiteral("real")));
    m_standIn = runDay(QStringLiteral(TF_STANDIN), m_dir.filePath(QStringLiteral("own")),
                       m_dir.filePath(QStringLiteral("standin")));
    const QString problem = m_realProfile.unexpectedExceptions();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_ServerParity::sameAnswer_data()
{
    QTest::addColumn<int>("line");
    for (int i = 0; i < m_lines.size(); ++i)
        QTest::newRow(qPrintable(m_lines.at(i))) << i;
}

void tst_ServerParity::sameAnswer()
{
    QFETCH(int, line);
    QVERIFY2(line < m_real.outcomes.size(), "the real client stopped before this line");
    QVERIFY2(line < m_standIn.outcomes.size(), "the stand-in stopped before this line");
    const RealClient::Outcome &real = m_real.outcomes.at(line);
    const RealClient::Outcome &standIn = m_standIn.outcomes.at(line);
    const QString context =
        QStringLiteral("real client: %1\nstand-in: %2").arg(real.describe(), standIn.describe());
    // Both answers whole in the message: a comparison alone would cut them short.
    QVERIFY2(standIn.exitCode == real.exitCode, qPrintable(context));
    QVERIFY2(normalised(standIn.stdOut, m_standIn.sandbox) ==
                 normalised(real.stdOut, m_real.sandbox),
             qPrintable(context));
    QVERIFY2(normalised(standIn.stdErr, m_standIn.sandbox) ==
                 normalised(real.stdErr, m_real.sandbox),
             qPrintable(context));
}

QTEST_GUILESS_MAIN(tst_ServerParity)
#include "tst_serverparity.moc"
