// The stand-in answers as the real cross-platform client where an answer needs no server: a
// command line it refuses, the licence, a folder in no workspace, the workspace cache alone and
// command files. Each row runs through both, with the same profile folder contents and in the
// same kind of folder, and must end with the same exit code and the same first line of standard
// error. The real client is the reference; each row also names the exit code it gives.
#include "realclient.h"

#include <QtTest>

class tst_StandInParity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAnswer_data();
    void sameAnswer();

private:
    // How a row runs: as a line of one "tf @" per group (licence accepted or not), or as a
    // process of its own with an input.
    struct Row
    {
        const char *name;
        bool licenceAccepted;
        bool ownProcess;
        QStringList arguments;
        QByteArray input;
        int exitCode; // what the real client answers
    };
    // Runs the rows of the table through one client; the outcomes by row index.
    QHash<int, RealClient::Outcome> runAll(const QString &client);

    QTemporaryDir m_sandbox;
    QVector<Row> m_rows;
    QHash<int, RealClient::Outcome> m_real;
    QHash<int, RealClient::Outcome> m_standIn;
};

QHash<int, RealClient::Outcome> tst_StandInParity::runAll(const QString &client)
{
    QHash<int, RealClient::Outcome> outcomes;
    const QString outside = m_sandbox.filePath(QStringLiteral("outside"));
    for (bool accepted : {false, true}) {
        RealClient::Profile profile(accepted ? RealClient::Profile::LicenceAccepted
                                             : RealClient::Profile::LicenceNotAccepted);
        if (!profile.isValid())
            return outcomes;
        QProcessEnvironment environment = profile.environment();
        environment.remove(QStringLiteral("TF_STANDIN_GRAMMAR"));
        QStringList lines;
        QVector<int> indexes;
        for (int i = 0; i < m_rows.size(); ++i) {
            const Row &row = m_rows.at(i);
            if (row.licenceAccepted != accepted)
                continue;
            if (row.ownProcess) {
                outcomes.insert(i, RealClient::run(client, row.arguments, outside, environment,
                                                   row.input));
            } else {
                lines << row.arguments.join(QLatin1Char(' '));
                indexes << i;
            }
        }
        const QList<RealClient::Outcome> lineOutcomes =
            RealClient::runLines(client, lines, outside, environment);
        for (int j = 0; j < lineOutcomes.size(); ++j)
            outcomes.insert(indexes.at(j), lineOutcomes.at(j));
    }
    return outcomes;
}

void tst_StandInParity::initTestCase()
{
    const QString reason = RealClient::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_sandbox.isValid());
    QVERIFY(QDir().mkpath(m_sandbox.filePath(QStringLiteral("outside"))));
    const QString closed = QStringLiteral("-collection:") + RealClient::closedCollectionUrl();
    const auto words = [](const char *line) { return QString::fromUtf8(line).split(' '); };
    // Lines are written as a line of "tf @" takes them: no word holds a blank.
    m_rows = {
        // Before the licence is accepted.
        {"info needs the licence", false, false, words("info ."), {}, 100},
        {"status needs it", false, false, words("status -recursive -format:xml"), {}, 100},
        {"workfold needs it", false, false, words("workfold"), {}, 100},
        {"workspace -new needs it", false, false, words("workspace -new X"), {}, 100},
        {"a refused option comes first", false, false, words("info -bogus"), {}, -1},
        {"workspaces -remove: the cache alone", false, false, words("workspaces -remove:nope"), {}, 1},
        {"workspaces: the empty cache", false, false, words("workspaces"), {}, 1},
        {"eula -noprompt", false, false, words("eula -noprompt"), {}, 100},
        {"help needs no licence", false, false, words("help eula"), {}, 0},
        {"eula without an answer", false, true, words("eula"), {}, 100},
        {"eula answered no", false, true, words("eula"), "\n\n\nno\n", 100},
        // Accepted, in a folder that no workspace maps.
        {"info: no collection", true, false, words("info ."), {}, 100},
        {"status: no collection", true, false, words("status -recursive -format:xml"), {}, 100},
        {"history: no collection", true, false, words("history $/Proj"), {}, 100},
        {"workspace -new: no collection", true, false, words("workspace -new X"), {}, 100},
        {"workfold: no workspace", true, false, words("workfold"), {}, 100},
        {"workfold -map: no workspace", true, false, words("workfold -map $/Proj d"), {}, 100},
        {"workfold -map: a collection is not one", true, false,
         QStringList{"workfold", "-map", "$/Proj", "d", closed}, {}, 100},
        {"workfold -map: an unknown workspace", true, false,
         words("workfold -map $/Proj d -workspace:nope"), {}, 100},
        {"get: no workspace", true, false, words("get -r"), {}, 100},
        {"checkin: no workspace", true, false, words("checkin -comment:x"), {}, 100},
        {"add: no workspace", true, false, words("add x"), {}, 100},
        {"undo: no workspace", true, false, words("undo x -noprompt"), {}, 100},
        {"eula once accepted", true, false, words("eula"), {}, 1},
        {"eula -accept once accepted", true, false, words("eula -accept"), {}, 1},
        {"an unknown command", true, false, words("bogus"), {}, -1},
        {"an unknown option", true, false, words("status -bogus"), {}, -1},
        {"an option of another command", true, false, words("get -comment:x"), {}, 100},
        {"a flag given a value", true, false, words("get -RECURSIVE:yes"), {}, -1},
        {"a value option without one", true, false, words("checkin -comment"), {}, -1},
        {"an empty value", true, false, words("checkin -Comment:"), {}, -1},
        {"detailed workspaces need a collection", true, false, words("workspaces -format:xml"), {}, 100},
        {"workspaces -remove: two names", true, false, words("workspaces -remove:a,b"), {}, 1},
        // Command files.
        {"@: no input", true, true, words("@"), {}, 255},
        {"@: comments only", true, true, words("@"), "# a comment\n  rem another\n\n", 255},
        {"@: no such file", true, true, words("@nothere.tfc"), {}, 255},
        {"@: the first failure ends it", true, true, words("@"),
         "workspaces -remove:a\nworkspaces -remove:b\n", 1},
        {"@ -continueOnError", true, true, words("@ -continueOnError"),
         "info .\nworkspaces -remove:b\n", 1},
    };
    m_real = runAll(RealClient::clientPath());
    m_standIn = runAll(QStringLiteral(TF_STANDIN));
}

void tst_StandInParity::sameAnswer_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < m_rows.size(); ++i)
        QTest::newRow(m_rows.at(i).name) << i;
}

void tst_StandInParity::sameAnswer()
{
    QFETCH(int, row);
    QVERIFY2(m_real.contains(row), "the real client did not run this row");
    QVERIFY2(m_standIn.contains(row), "the stand-in did not run this row");
    const RealClient::Outcome &real = m_real.value(row);
    const RealClient::Outcome &standIn = m_standIn.value(row);
    const QString context = QStringLiteral("real client: %1\nstand-in: %2")
                                .arg(real.describe(), standIn.describe());
    QVERIFY2(real.exitCode == m_rows.at(row).exitCode, qPrintable(context));
    QVERIFY2(standIn.exitCode == real.exitCode, qPrintable(context));
    QVERIFY2(standIn.firstErrorLine() == real.firstErrorLine(), qPrintable(context));
}

QTEST_GUILESS_MAIN(tst_StandInParity)
#include "tst_standinparity.moc"
