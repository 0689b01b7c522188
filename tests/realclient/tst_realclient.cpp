// What the real cross-platform client makes of what the plugin sends it: every command line the
// plugin builds for it passes its parser, a line handed to "tf @" reaches it word for word, and
// the plugin reads the client's licence and its answers for a folder in no workspace.
// The command lines run in a folder that the test's profile maps to a workspace on a loopback
// port where nothing listens: a line the client accepts gets as far as contacting the server,
// whose refusal ends it. All lines of a table run in one client ("tf @"), one start for all.
#include "realclient.h"

#include <commandlines.h>
#include <warmrunner.h>

#include <QtTest>

using namespace TeamFoundation::Internal;

class tst_RealClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLinesPassTheParser_data();
    void commandLinesPassTheParser();
    void standardInputReachesTheClientExactly_data();
    void standardInputReachesTheClientExactly();
    void licenceThenAFolderInNoWorkspace();

private:
    // A table's rows by name, the lines handed to the client and what each line did.
    struct Table
    {
        QStringList names;
        QList<QStringList> arguments;
        QList<RealClient::Outcome> outcomes;
        // Runs every row in one client; false when a row could not be written as a line.
        bool run(const QString &workingDirectory, const QProcessEnvironment &environment);
        // The test's data: the rows by their names.
        void addRows() const;
        // What row 'row' did; null when the client stopped before it.
        const RealClient::Outcome *outcome(int row) const;
    };

    QTemporaryDir m_sandbox;
    Table m_commandLines;
    Table m_quoting;
};

namespace {
const char USER[] = "tester";
const char PASSWORD[] = "Secr3t,pw";

QStringList withLogin(QStringList arguments)
{
    return arguments << CommandLines::login(ClientKind::CrossPlatform, QLatin1String(USER),
                                            QLatin1String(PASSWORD));
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

bool tst_RealClient::Table::run(const QString &workingDirectory,
                                const QProcessEnvironment &environment)
{
    QStringList lines;
    for (const QStringList &words : qAsConst(arguments)) {
        QString line;
        if (!WarmRunner::standardInputLine(words, &line, true))
            return false;
        lines << line;
    }
    RealClient::Outcome whole;
    outcomes = RealClient::runLines(RealClient::clientPath(), lines, workingDirectory, environment,
                                    &whole);
    if (outcomes.size() != lines.size())
        qWarning("The client stopped after %d of %d lines:\n%s", int(outcomes.size()),
                 int(lines.size()), qPrintable(whole.describe()));
    return true;
}

void tst_RealClient::Table::addRows() const
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < names.size(); ++i)
        QTest::newRow(qPrintable(names.at(i))) << i;
}

const RealClient::Outcome *tst_RealClient::Table::outcome(int row) const
{
    return row < outcomes.size() ? &outcomes.at(row) : nullptr;
}

void tst_RealClient::initTestCase()
{
    const QString reason = RealClient::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_sandbox.isValid());
    const ClientKind kind = ClientKind::CrossPlatform;
    const QString work = m_sandbox.filePath(QStringLiteral("work"));
    const QString app = work + QStringLiteral("/App");
    const QString file = app + QStringLiteral("/main.cpp");
    const QString commentFile = m_sandbox.filePath(QStringLiteral("comment.txt"));
    QVERIFY(writeFile(file, "int main() {}\n"));
    QVERIFY(writeFile(app + QStringLiteral("/sub/util.cpp"), "\n"));
    QVERIFY(writeFile(commentFile, "first line\nsecond line\n"));
    const QString collection = RealClient::closedCollectionUrl();
    const QString server = QStringLiteral("$/Proj/App/gone.cpp");

    RealClient::Profile profile;
    QVERIFY(profile.isValid());
    QVERIFY(profile.mapFolders(collection, QStringLiteral("tier"), {work}));

    const QList<QPair<const char *, QStringList>> rows{
        {"add", CommandLines::add(kind, file)},
        {"delete", CommandLines::remove(kind, file)},
        {"rename", CommandLines::rename(kind, file, app + QStringLiteral("/renamed.cpp"))},
        {"checkout", CommandLines::checkout(kind, file)},
        {"check in a file", CommandLines::checkIn(kind, file, false, QStringLiteral("fix"))},
        {"check in a directory", CommandLines::checkIn(kind, app, true, QStringLiteral("a fix"))},
        {"check in without a comment", CommandLines::checkIn(kind, app, true)},
        {"check in, comment in a file",
         CommandLines::checkIn(kind, app, true, QLatin1Char('@') + commentFile)},
        {"check in chosen items",
         CommandLines::checkInItems(kind, {file, server}, QStringLiteral("some \"quoted\" words"))},
        {"compare a file", CommandLines::difference(kind, file, false)},
        {"compare a directory", CommandLines::difference(kind, app, true)},
        {"get a file", CommandLines::get(kind, file, false)},
        {"get a directory", CommandLines::get(kind, app, true)},
        {"history of a file", CommandLines::history(kind, file, false)},
        {"history of a directory", CommandLines::history(kind, app, true)},
        {"undo a file", CommandLines::undo(kind, file, false)},
        {"undo a directory", CommandLines::undo(kind, app, true)},
        {"undo chosen items", CommandLines::undoItems(kind, {file, server})},
        {"probe a directory", CommandLines::info(kind, app)},
        {"probe a file", CommandLines::info(kind, file)},
        {"pending changes", CommandLines::status(kind, app)},
        {"history view: a file across renames",
         CommandLines::historyRead(kind, file, false, 0, 0, true)},
        {"history view: the next page of a folder",
         CommandLines::historyRead(kind, app, true, 40, 100, false)},
        {"a file's version", CommandLines::printVersion(kind, server, 3, QString())},
        {"get a version", CommandLines::getVersion(kind, app, true, 3)},
        {"checkout: the collection's workspaces", CommandLines::workspaces(kind, collection)},
        {"checkout: new workspace",
         CommandLines::newWorkspace(kind, QStringLiteral("tier2"), collection)},
        {"checkout: map", CommandLines::mapFolder(kind, QStringLiteral("$/Proj/App"), app,
                                                  collection, QStringLiteral("tier"))},
        {"checkout: get", CommandLines::getFolder(kind, QStringLiteral("App"))},
    };
    for (const auto &row : rows) {
        m_commandLines.names << QLatin1String(row.first);
        m_commandLines.arguments << withLogin(row.second);
    }
    // The compare tool is part of every compare's environment; the other commands pass it by.
    QVERIFY(m_commandLines.run(work, CommandLines::environment(kind, QStringLiteral("difference"),
                                                               profile.environment())));

    // Words that need quoting on a line, each echoed by a command that needs no server. The
    // plugin's own environment, on a system without a UTF-8 locale, carries the non-ASCII ones.
    const QList<QPair<const char *, QStringList>> quoting{
        {"blanks", {QStringLiteral("a b  c")}},
        {"quotes", {QStringLiteral("say \"hi\"")}},
        {"a quote at the end", {QStringLiteral("end\"")}},
        {"non-ASCII", {QString::fromUtf8("Grüße 日本")}},
        {"a tab", {QStringLiteral("a\tb")}},
        {"an empty word before", {QString(), QStringLiteral("after empty")}},
        // The tier's client has words after its "@", which stand for "%1", "%2" ...
        {"percent signs and digits", {QStringLiteral("50%1 off%%9\"%2")}},
    };
    for (const auto &row : quoting) {
        QStringList words{QStringLiteral("workspaces")};
        words << row.second.mid(0, row.second.size() - 1)
              << QStringLiteral("-remove:") + row.second.constLast();
        m_quoting.names << QLatin1String(row.first);
        m_quoting.arguments << words;
    }
    QProcessEnvironment ascii = profile.environment();
    ascii.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    ascii.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    QVERIFY(
        m_quoting.run(work, CommandLines::environment(kind, QStringLiteral("workspaces"), ascii)));
}

void tst_RealClient::commandLinesPassTheParser_data()
{
    m_commandLines.addRows();
}

void tst_RealClient::commandLinesPassTheParser()
{
    QFETCH(int, row);
    const RealClient::Outcome *found = m_commandLines.outcome(row);
    QVERIFY2(found, "the client stopped before this line");
    const RealClient::Outcome &outcome = *found;
    const QString context = m_commandLines.arguments.at(row).join(QLatin1Char(' ')) +
                            QLatin1Char('\n') + outcome.describe();
    QVERIFY2(outcome.firstErrorLine() == QLatin1String("An error occurred: Connection refused"),
             qPrintable(context));
    QVERIFY2(outcome.exitCode == 100, qPrintable(context));
}

void tst_RealClient::standardInputReachesTheClientExactly_data()
{
    m_quoting.addRows();
}

void tst_RealClient::standardInputReachesTheClientExactly()
{
    QFETCH(int, row);
    const RealClient::Outcome *found = m_quoting.outcome(row);
    QVERIFY2(found, "the client stopped before this line");
    const RealClient::Outcome &outcome = *found;
    // The client names the workspace it could not find, the word after "-remove:".
    const QString word = m_quoting.arguments.at(row).constLast().mid(int(qstrlen("-remove:")));
    QVERIFY2(outcome.firstErrorLine() ==
                 QStringLiteral("No workspace in the cache matches %1 for all servers.").arg(word),
             qPrintable(outcome.describe()));
    QCOMPARE(outcome.exitCode, 1);
}

// A client whose licence was never accepted, in a profile that maps no folder: the plugin
// tells its refusal from other failures, reads the licence text that "eula" prints without a
// terminal, accepts it with the line it sends, and then hears "not in a workspace" for the
// probes, the pending changes and a person's command on a folder outside every mapping.
void tst_RealClient::licenceThenAFolderInNoWorkspace()
{
    const ClientKind kind = ClientKind::CrossPlatform;
    RealClient::Profile profile(RealClient::Profile::LicenceNotAccepted);
    QVERIFY(profile.isValid());
    const QString folder = m_sandbox.filePath(QStringLiteral("unmapped/sub"));
    const QString file = folder + QStringLiteral("/a.cpp");
    QVERIFY(writeFile(file, "x\n"));
    const QList<QStringList> rows{
        withLogin(CommandLines::info(kind, folder)),
        CommandLines::licence(kind),
        CommandLines::acceptLicence(kind),
        CommandLines::acceptLicence(kind),
        withLogin(CommandLines::info(kind, folder)),
        withLogin(CommandLines::info(kind, file)),
        withLogin(CommandLines::status(kind, folder)),
        withLogin(CommandLines::checkout(kind, file)),
        withLogin(CommandLines::history(kind, file, false)),
    };
    Table table;
    table.arguments = rows;
    QVERIFY(table.run(
        folder, CommandLines::environment(kind, QStringLiteral("info"), profile.environment())));
    QCOMPARE(table.outcomes.size(), rows.size());
    const QList<RealClient::Outcome> &o = table.outcomes;
    using F = CommandLines::Failure;

    QCOMPARE(CommandLines::failureOf(o.at(0).exitCode, o.at(0).stdErr), F::LicenceNotAccepted);
    // Read without a terminal: every page and the question answered by the end of the input.
    QCOMPARE(o.at(1).exitCode, 100);
    const QString text = CommandLines::licenceText(o.at(1).stdOut);
    QVERIFY2(text.startsWith(QLatin1String("MICROSOFT SOFTWARE LICENSE TERMS")), qPrintable(text));
    QVERIFY(text.count(QLatin1Char('\n')) > 100);
    QVERIFY(!text.contains(QLatin1String("Press enter")));
    QVERIFY(!text.contains(QLatin1String("[y/N]")));
    QVERIFY(o.at(1).stdOut.contains(QLatin1String("Press enter")));
    // Accepted, and again: the second answer says so with exit code 1, and is no failure.
    QVERIFY2(CommandLines::licenceAccepted(o.at(2).exitCode, o.at(2).stdErr),
             qPrintable(o.at(2).describe()));
    QCOMPARE(o.at(3).exitCode, 1);
    QVERIFY2(CommandLines::licenceAccepted(o.at(3).exitCode, o.at(3).stdErr),
             qPrintable(o.at(3).describe()));
    QVERIFY(profile.licenceAccepted());
    for (int i = 4; i < o.size(); ++i) {
        QVERIFY2(
            CommandLines::failureOf(o.at(i).exitCode, o.at(i).stdErr) == F::NotInWorkspace,
            qPrintable(rows.at(i).join(QLatin1Char(' ')) + QLatin1Char('\n') + o.at(i).describe()));
    }
}

QTEST_GUILESS_MAIN(tst_RealClient)
#include "tst_realclient.moc"
