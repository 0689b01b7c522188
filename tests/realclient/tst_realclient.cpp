// What the real cross-platform client makes of what the plugin sends it: every command line the
// plugin builds for it passes its parser, and a line handed to "tf @" reaches it word for word.
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

private:
    // A table's rows by name, the lines handed to the client and what each line did.
    struct Table
    {
        QStringList names;
        QList<QStringList> arguments;
        QList<RealClient::Outcome> outcomes;
        // Runs every row in one client; false when a row could not be written as a line.
        bool run(const QString &workingDirectory, const QProcessEnvironment &environment);
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
        if (!WarmRunner::standardInputLine(words, &line))
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
    QTest::addColumn<int>("row");
    for (int i = 0; i < m_commandLines.names.size(); ++i)
        QTest::newRow(qPrintable(m_commandLines.names.at(i))) << i;
}

void tst_RealClient::commandLinesPassTheParser()
{
    QFETCH(int, row);
    QVERIFY2(row < m_commandLines.outcomes.size(), "the client stopped before this line");
    const RealClient::Outcome &outcome = m_commandLines.outcomes.at(row);
    const QString context = m_commandLines.arguments.at(row).join(QLatin1Char(' ')) +
                            QLatin1Char('\n') + outcome.describe();
    QVERIFY2(outcome.firstErrorLine() == QLatin1String("An error occurred: Connection refused"),
             qPrintable(context));
    QVERIFY2(outcome.exitCode == 100, qPrintable(context));
}

void tst_RealClient::standardInputReachesTheClientExactly_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < m_quoting.names.size(); ++i)
        QTest::newRow(qPrintable(m_quoting.names.at(i))) << i;
}

void tst_RealClient::standardInputReachesTheClientExactly()
{
    QFETCH(int, row);
    QVERIFY2(row < m_quoting.outcomes.size(), "the client stopped before this line");
    const RealClient::Outcome &outcome = m_quoting.outcomes.at(row);
    // The client names the workspace it could not find, the word after "-remove:".
    const QString word = m_quoting.arguments.at(row).constLast().mid(int(qstrlen("-remove:")));
    QVERIFY2(outcome.firstErrorLine() ==
                 QStringLiteral("No workspace in the cache matches %1 for all servers.").arg(word),
             qPrintable(outcome.describe()));
    QCOMPARE(outcome.exitCode, 1);
}

QTEST_GUILESS_MAIN(tst_RealClient)
#include "tst_realclient.moc"
