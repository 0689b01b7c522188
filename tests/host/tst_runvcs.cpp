// The synchronous process runner through which every version-control command goes, and
// the output pane it reports in.

#include "recordfile.h"

#include <utils/synchronousprocess.h>
#include <utils/treeprocess.h>
#include <vcsbase/vcsbaseplugin.h>
#include <vcsbase/vcsoutputwindow.h>

#include <algorithm>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#endif

using Utils::SynchronousProcessResponse;
using VcsBase::RunFlag;
using VcsBase::RunFlags;
using VcsBase::VcsBasePlugin;
using VcsBase::VcsOutputWindow;

Q_DECLARE_METATYPE(SynchronousProcessResponse::Result)

namespace {
const QString helper = QStringLiteral(CHILD_PROCESS);

const RunFlags ShowStdOut = RunFlag::ShowStdOutInLogWindow;
const RunFlags SuppressStdErr = RunFlag::SuppressStdErrInLogWindow;
const RunFlags SuppressFail = RunFlag::SuppressFailMessageInLogWindow;
const RunFlags SuppressCommand = RunFlag::SuppressCommandLogging;
const RunFlags Synchronously = RunFlag::FullySynchronously;

#ifdef Q_OS_UNIX
bool processIsGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}
#endif

// The pane's lines with their kinds, as textAppended reported them.
struct PaneRecorder
{
    PaneRecorder()
    {
        VcsOutputWindow::clearContents();
        QObject::connect(VcsOutputWindow::instance(), &VcsOutputWindow::textAppended, &context,
                         [this](const QString &text, VcsOutputWindow::Kind kind) {
                             texts.append(qMakePair(text, kind));
                         });
    }
    QStringList ofKind(VcsOutputWindow::Kind kind) const
    {
        QStringList result;
        for (const auto &entry : texts) {
            if (entry.second == kind)
                result.append(entry.first);
        }
        return result;
    }
    QObject context;
    QList<QPair<QString, VcsOutputWindow::Kind>> texts;
};
} // namespace

class tst_RunVcs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void result_data();
    void result();
    void timeOutKillsTheProcess_data();
    void timeOutKillsTheProcess();
    void noTimeLimit_data();
    void noTimeLimit();
    void standardInputIsClosed();

    void paneFollowsFlags_data();
    void paneFollowsFlags();
    void passwordIsMaskedButPassedOn();
    void maskPassword_data();
    void maskPassword();

    void argumentsArriveByteExact_data();
    void argumentsArriveByteExact();
    void outputDecoding_data();
    void outputDecoding();
    void environment_data();
    void environment();
    void largeOutputIsLinear_data();
    void largeOutputIsLinear();
    void starterHandsAStartedProcess_data();
    void starterHandsAStartedProcess();

    void historyLimitDropsOldestLines_data();
    void historyLimitDropsOldestLines();
    void historyLimitKeepsTheTailOfOneLongLine();

private:
    QTemporaryDir m_tempDir;
};

void tst_RunVcs::init()
{
    QVERIFY(m_tempDir.isValid());
    QVERIFY(QFileInfo(helper).isExecutable());
    VcsOutputWindow::clearContents();
}

void tst_RunVcs::cleanup()
{
    qunsetenv("HOSTTEST_INHERITED");
}

void tst_RunVcs::result_data()
{
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<SynchronousProcessResponse::Result>("result");
    QTest::addColumn<int>("exitCode");

    const QString missing = QStringLiteral("/nonexistent/hosttest/no-such-binary");
    for (const bool sync : {false, true}) {
        const char *mode = sync ? "sync" : "event loop";
        QTest::addRow("exit 0, %s", mode)
            << helper << QStringList{"exit", "0"} << QString() << SynchronousProcessResponse::Finished << 0;
        QTest::addRow("exit 1, %s", mode)
            << helper << QStringList{"exit", "1"} << QString() << SynchronousProcessResponse::FinishedError << 1;
        QTest::addRow("exit 255, %s", mode) << helper << QStringList{"exit", "255"} << QString()
                                           << SynchronousProcessResponse::FinishedError << 255;
        QTest::addRow("crash, %s", mode) << helper << QStringList{"crash"} << QString()
                                        << SynchronousProcessResponse::TerminatedAbnormally << -1;
        QTest::addRow("missing binary, %s", mode) << missing << QStringList{"exit", "0"} << QString()
                                                 << SynchronousProcessResponse::StartFailed << -1;
        QTest::addRow("missing working directory, %s", mode)
            << helper << QStringList{"exit", "0"} << QStringLiteral("/nonexistent/hosttest/dir")
            << SynchronousProcessResponse::StartFailed << -1;
    }
}

void tst_RunVcs::result()
{
    QFETCH(QString, binary);
    QFETCH(QStringList, arguments);
    QFETCH(QString, workingDirectory);
    QFETCH(SynchronousProcessResponse::Result, result);
    QFETCH(int, exitCode);
    const RunFlags flags =
        QByteArray(QTest::currentDataTag()).endsWith(", sync") ? Synchronously : RunFlags();

    const SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(workingDirectory, binary, arguments, 10000, flags);
    QCOMPARE(response.result, result);
    if (result == SynchronousProcessResponse::Finished || result == SynchronousProcessResponse::FinishedError)
        QCOMPARE(response.exitCode, exitCode);
}

void tst_RunVcs::timeOutKillsTheProcess_data()
{
    QTest::addColumn<RunFlags>("flags");
    QTest::addColumn<bool>("messageShown");
    QTest::newRow("event loop") << RunFlags() << true;
    QTest::newRow("sync") << Synchronously << true;
    QTest::newRow("event loop, no fail message") << SuppressFail << false;
    QTest::newRow("sync, no fail message") << (Synchronously | SuppressFail) << false;
}

void tst_RunVcs::timeOutKillsTheProcess()
{
    QFETCH(RunFlags, flags);
    QFETCH(bool, messageShown);
    const int timeOutMs = 400;
    PaneRecorder pane;

    QElapsedTimer timer;
    timer.start();
    const SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(QString(), helper, {"sleep", "30000"}, timeOutMs, flags);
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(response.result, SynchronousProcessResponse::Hang);
    // Ended by the time-out, long before the helper would have woken; coarse timers may
    // fire up to a twentieth early.
    QVERIFY2(elapsed >= timeOutMs * 9 / 10 && elapsed < 15000, qPrintable(QString::number(elapsed)));
    // The helper printed its pid before sleeping; it must not survive the time-out.
    bool ok = false;
    const qint64 pid = response.stdOut.section(QLatin1Char('\n'), 0, 0).toLongLong(&ok);
    QVERIFY2(ok && pid > 0, qPrintable(response.stdOut));
#ifdef Q_OS_UNIX
    QTRY_VERIFY_WITH_TIMEOUT(processIsGone(pid), 10000);
#endif
    QVERIFY(!response.stdOut.contains(QLatin1String("woke")));

    const QStringList errors = pane.ofKind(VcsOutputWindow::Error);
    QCOMPARE(errors.size(), messageShown ? 1 : 0);
    if (messageShown)
        QVERIFY2(errors.first().contains(QString::number(timeOutMs)), qPrintable(errors.first()));
}

void tst_RunVcs::noTimeLimit_data()
{
    QTest::addColumn<int>("timeOutMs");
    QTest::addColumn<RunFlags>("flags");
    QTest::newRow("zero, event loop") << 0 << RunFlags();
    QTest::newRow("zero, sync") << 0 << Synchronously;
    QTest::newRow("negative, event loop") << -1 << RunFlags();
    QTest::newRow("negative, sync") << -1 << Synchronously;
}

void tst_RunVcs::noTimeLimit()
{
    QFETCH(int, timeOutMs);
    QFETCH(RunFlags, flags);
    const SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(QString(), helper, {"sleep", "300"}, timeOutMs, flags);
    QCOMPARE(response.result, SynchronousProcessResponse::Finished);
    QVERIFY(response.stdOut.endsWith(QLatin1String("woke\n")));
}

void tst_RunVcs::standardInputIsClosed()
{
    // A client that prompts (for a password, say) must see the end of its input at once
    // rather than wait for the time-out.
    QElapsedTimer timer;
    timer.start();
    for (const RunFlags flags : {RunFlags(), Synchronously}) {
        const SynchronousProcessResponse response =
            VcsBasePlugin::runVcs(QString(), helper, {"stdin"}, 5000, flags);
        QCOMPARE(response.result, SynchronousProcessResponse::Finished);
        QCOMPARE(response.stdOut, QStringLiteral("0"));
    }
    QVERIFY(timer.elapsed() < 5000);
}

void tst_RunVcs::paneFollowsFlags_data()
{
    QTest::addColumn<RunFlags>("flags");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("commandShown");
    QTest::addColumn<bool>("stdOutShown");
    QTest::addColumn<bool>("stdErrShown");
    QTest::addColumn<bool>("failureShown");

    QTest::newRow("no flags, success") << RunFlags() << 0 << true << false << true << false;
    QTest::newRow("show stdout") << ShowStdOut << 0 << true << true << true << false;
    QTest::newRow("suppress stderr") << SuppressStdErr << 0 << true << false << false << false;
    QTest::newRow("suppress command") << SuppressCommand << 0 << false << false << true << false;
    QTest::newRow("no flags, failure") << RunFlags() << 3 << true << false << true << true;
    QTest::newRow("show stdout, failure") << ShowStdOut << 7 << true << true << true << true;
    QTest::newRow("suppress fail message") << SuppressFail << 3 << true << false << true << false;
    QTest::newRow("silent probe") << (SuppressCommand | SuppressStdErr | SuppressFail) << 3 << false
                                  << false << false << false;
    QTest::newRow("everything, sync")
        << (ShowStdOut | Synchronously) << 3 << true << true << true << true;
}

void tst_RunVcs::paneFollowsFlags()
{
    QFETCH(RunFlags, flags);
    QFETCH(int, exitCode);
    QFETCH(bool, commandShown);
    QFETCH(bool, stdOutShown);
    QFETCH(bool, stdErrShown);
    QFETCH(bool, failureShown);
    PaneRecorder pane;

    const QStringList arguments{"outerr", "text-on-stdout", "text-on-stderr", QString::number(exitCode)};
    const SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(m_tempDir.path(), helper, arguments, 10000, flags);
    // What the pane shows never changes what the caller gets.
    QCOMPARE(response.stdOut, QStringLiteral("text-on-stdout"));
    QCOMPARE(response.stdErr, QStringLiteral("text-on-stderr"));

    const QStringList commands = pane.ofKind(VcsOutputWindow::CommandLine);
    QCOMPARE(commands.size(), commandShown ? 1 : 0);
    if (commandShown) {
        QVERIFY(commands.first().contains(helper));
        QVERIFY(commands.first().contains(QLatin1String("outerr text-on-stdout text-on-stderr")));
    }
    QCOMPARE(pane.ofKind(VcsOutputWindow::Normal),
             stdOutShown ? QStringList{"text-on-stdout\n"} : QStringList());

    QStringList errors = pane.ofKind(VcsOutputWindow::Error);
    QCOMPARE(errors.removeAll(QStringLiteral("text-on-stderr\n")), stdErrShown ? 1 : 0);
    QCOMPARE(errors.size(), failureShown ? 1 : 0);
    if (failureShown)
        QVERIFY2(errors.first().contains(QString::number(exitCode)), qPrintable(errors.first()));

    // The pane's content is what was announced, nothing more.
    QString announced;
    for (const auto &entry : pane.texts)
        announced += entry.first;
    QCOMPARE(VcsOutputWindow::content(), announced);
}

void tst_RunVcs::passwordIsMaskedButPassedOn()
{
    const QString record = m_tempDir.filePath(QStringLiteral("masked.rec"));
    const QStringList arguments{"record", record, "0", "checkin", "/login:alice,s3cr3t word"};
    const SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(QString(), helper, arguments, 10000, ShowStdOut);
    QCOMPARE(response.result, SynchronousProcessResponse::Finished);

    const QString content = VcsOutputWindow::content();
    QVERIFY2(content.contains(QLatin1String("/login:alice,********")), qPrintable(content));
    QVERIFY2(!content.contains(QLatin1String("s3cr3t")), qPrintable(content));

    bool ok = false;
    const QList<RecordedRun> runs = RecordFile::read(record, &ok);
    QVERIFY(ok);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().arguments, (QStringList{"checkin", "/login:alice,s3cr3t word"}));
}

void tst_RunVcs::maskPassword_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("shown");
    QTest::newRow("login") << "/login:user,password" << "/login:user,********";
    QTest::newRow("domain user") << "/login:DOMAIN\\user,pw" << "/login:DOMAIN\\user,********";
    QTest::newRow("comma in password") << "/login:user,pa,ss" << "/login:user,********";
    QTest::newRow("empty password") << "/login:user," << "/login:user,********";
    QTest::newRow("upper case") << "/LOGIN:user,password" << "/LOGIN:user,********";
    QTest::newRow("dash form") << "-login:user,password" << "-login:user,********";
    QTest::newRow("no password") << "/login:user" << "/login:user";
    QTest::newRow("not a login") << "/loginx,user" << "/loginx,user";
    QTest::newRow("plain") << "$/Project/file.cpp,v2" << "$/Project/file.cpp,v2";
}

void tst_RunVcs::maskPassword()
{
    QFETCH(QString, argument);
    QFETCH(QString, shown);
    QCOMPARE(VcsOutputWindow::maskPassword(argument), shown);
}

void tst_RunVcs::argumentsArriveByteExact_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("spaces") << QStringList{"a file.cpp", " leading", "trailing ", "two  spaces"};
    QTest::newRow("quotes") << QStringList{"\"double\"", "'single'", "mis\"matched", "it's"};
    QTest::newRow("commas") << QStringList{"/login:user,pass", "a,b,,c", ","};
    QTest::newRow("unicode") << QStringList{QString::fromUtf8("Grüße"), QString::fromUtf8("日本語"),
                                            QString::fromUtf8("emoji \xF0\x9F\x98\x80")};
    QTest::newRow("shell syntax") << QStringList{"$(touch pwned)", "`id`", "a;b", "a|b", "*", "~",
                                                 "$HOME", "a && b", "> out"};
    QTest::newRow("leading dash") << QStringList{"-rf", "--", "-", "--help"};
    QTest::newRow("backslashes and newline") << QStringList{"C:\\tfs\\x", "\\\\server\\share", "a\nb", "\t"};
    QTest::newRow("empty argument") << QStringList{"", "after empty", ""};
    QTest::newRow("no arguments") << QStringList();
}

void tst_RunVcs::argumentsArriveByteExact()
{
    QFETCH(QStringList, arguments);
    const QString record = m_tempDir.filePath(QStringLiteral("%1.rec").arg(QTest::currentDataTag()));
    const SynchronousProcessResponse response = VcsBasePlugin::runVcs(
        m_tempDir.path(), helper, QStringList{"record", record, "0"} + arguments, 10000, {});
    QCOMPARE(response.result, SynchronousProcessResponse::Finished);

    bool ok = false;
    const QList<RecordedRun> runs = RecordFile::read(record, &ok);
    QVERIFY(ok);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().arguments, arguments);
    QCOMPARE(runs.first().workingDirectory, QDir(m_tempDir.path()).canonicalPath());
    // Nothing was interpreted by a shell.
    QVERIFY(!QFile::exists(m_tempDir.filePath(QStringLiteral("pwned"))));
    QVERIFY(!QFile::exists(m_tempDir.filePath(QStringLiteral("out"))));
}

void tst_RunVcs::outputDecoding_data()
{
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QString>("text");

    QTest::newRow("utf-8 by default") << "out" << QByteArray("4772c3bc c39f65").replace(' ', "")
                                      << QByteArray() << QString::fromUtf8("Grüße");
    QTest::newRow("utf-8 on stderr") << "err" << QByteArray("e697a5e69cac") << QByteArray()
                                     << QString::fromUtf8("日本");
    QTest::newRow("crlf to lf") << "out" << QByteArray("610d0a620d0a") << QByteArray() << "a\nb\n";
    QTest::newRow("crlf to lf on stderr") << "err" << QByteArray("610d0a62") << QByteArray() << "a\nb";
    QTest::newRow("empty lines") << "out" << QByteArray("0d0a0d0a78") << QByteArray() << "\n\nx";
    QTest::newRow("lone cr kept") << "out" << QByteArray("610d62") << QByteArray() << "a\rb";
    QTest::newRow("given codec") << "out" << QByteArray("e90d0a") << QByteArray("ISO-8859-1")
                                 << QString::fromUtf8("é\n");
}

void tst_RunVcs::outputDecoding()
{
    QFETCH(QString, channel);
    QFETCH(QByteArray, hex);
    QFETCH(QByteArray, codec);
    QFETCH(QString, text);
    QTextCodec *textCodec = codec.isEmpty() ? nullptr : QTextCodec::codecForName(codec);
    QVERIFY(codec.isEmpty() || textCodec);

    const SynchronousProcessResponse response = VcsBasePlugin::runVcs(
        QString(), helper, {channel, QString::fromLatin1(hex)}, 10000, ShowStdOut, textCodec);
    QCOMPARE(response.result, SynchronousProcessResponse::Finished);
    QCOMPARE(channel == QLatin1String("out") ? response.stdOut : response.stdErr, text);
    QVERIFY(!VcsOutputWindow::content().contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\r')));
}

void tst_RunVcs::environment_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("seen");
    QTest::newRow("empty: the host's own") << QStringList() << "HOSTTEST_INHERITED" << "from the host";
    QTest::newRow("given: passed through") << QStringList{"HOSTTEST_GIVEN=given value"}
                                           << "HOSTTEST_GIVEN" << "given value";
    QTest::newRow("given: replaces the host's") << QStringList{"HOSTTEST_GIVEN=given value"}
                                                << "HOSTTEST_INHERITED" << "<unset>";
}

void tst_RunVcs::environment()
{
    QFETCH(QStringList, variables);
    QFETCH(QString, variable);
    QFETCH(QString, seen);
    qputenv("HOSTTEST_INHERITED", "from the host");
    QProcessEnvironment env;
    for (const QString &assignment : variables)
        env.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));

    const SynchronousProcessResponse response =
        VcsBasePlugin::runVcs(QString(), helper, {"env", variable}, 10000, {}, nullptr, env);
    QCOMPARE(response.result, SynchronousProcessResponse::Finished);
    QCOMPARE(response.stdOut, seen);
}

void tst_RunVcs::largeOutputIsLinear_data()
{
    QTest::addColumn<RunFlags>("flags");
    QTest::newRow("event loop") << ShowStdOut;
    QTest::newRow("sync") << (ShowStdOut | Synchronously);
}

void tst_RunVcs::largeOutputIsLinear()
{
    QFETCH(RunFlags, flags);
    const int lines = 620000; // 34 bytes each: about 21 MB
    // Against a quarter of it in the same run, so that a slow or loaded machine (or a
    // sanitizer) slows both: linear costs 4 times as much, quadratic 16 times.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(VcsBasePlugin::runVcs(QString(), helper, {"huge", QString::number(lines / 4)}, 60000,
                                   flags)
                 .result,
             SynchronousProcessResponse::Finished);
    const qint64 quarter = std::max<qint64>(timer.restart(), 50);
    const SynchronousProcessResponse response = VcsBasePlugin::runVcs(
        QString(), helper, {"huge", QString::number(lines)}, 60000, flags);
    const qint64 elapsed = timer.elapsed();

    QCOMPARE(response.result, SynchronousProcessResponse::Finished);
    QCOMPARE(response.stdOut.size(), lines * 33);
    QVERIFY(response.stdOut.startsWith(QLatin1String("line 00000000 of the huge output\nline 00000001")));
    QVERIFY(response.stdOut.endsWith(QLatin1String("line 00619999 of the huge output\n")));
    QVERIFY2(elapsed < 9 * quarter,
             qPrintable(QStringLiteral("%1 ms, a quarter %2 ms").arg(elapsed).arg(quarter)));
    const QString content = VcsOutputWindow::content();
    QVERIFY(content.size() <= VcsOutputWindow::historyLimit());
    QVERIFY(content.endsWith(QLatin1String("line 00619999 of the huge output\n")));
}

void tst_RunVcs::starterHandsAStartedProcess_data()
{
    QTest::addColumn<QString>("starter");
    QTest::addColumn<RunFlags>("flags");
    QTest::addColumn<SynchronousProcessResponse::Result>("result");
    QTest::addColumn<QString>("stdOut");
    // The process started ahead gets its input from the starter; one that runVcs starts
    // itself sees its input closed.
    for (const RunFlags flags : {RunFlags(), Synchronously}) {
        const char *how = flags ? "fully synchronously" : "window painted";
        QTest::addRow("started ahead, %s", how) << "stdin" << flags << SynchronousProcessResponse::Finished << "9";
        QTest::addRow("ended before it was taken, %s", how) << "exit" << flags << SynchronousProcessResponse::FinishedError << "";
        QTest::addRow("declined, %s", how) << "" << flags << SynchronousProcessResponse::Finished << "0";
    }
}

void tst_RunVcs::starterHandsAStartedProcess()
{
    QFETCH(QString, starter);
    QFETCH(RunFlags, flags);
    QFETCH(SynchronousProcessResponse::Result, result);
    QFETCH(QString, stdOut);
    const SynchronousProcessResponse response = VcsBasePlugin::runVcs(
        m_tempDir.path(), helper, {"stdin", "/login:ann,secret"}, 10000, flags | ShowStdOut, nullptr,
        QProcessEnvironment(), [&]() -> Utils::TreeProcess * {
            if (starter.isEmpty())
                return nullptr;
            auto process = new Utils::TreeProcess;
            process->start(helper, starter == QLatin1String("exit") ? QStringList{"exit", "4"}
                                                                    : QStringList{"stdin"});
            process->write("given one");
            process->closeWriteChannel();
            if (starter == QLatin1String("exit"))
                process->waitForFinished();
            return process;
        });
    QCOMPARE(response.result, result);
    QCOMPARE(response.stdOut, stdOut);
    // The pane shows the command line it was given, whatever the process runs.
    QVERIFY(VcsOutputWindow::content().contains(
        VcsOutputWindow::formatCommandLine(helper, {"stdin", "/login:ann,********"})));
}

void tst_RunVcs::historyLimitDropsOldestLines_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("piece"); // characters handed over at a time; 0: one line at a time
    QTest::newRow("line by line") << 2000 << 0;
    // Pieces of a process's output, bigger than the history keeps them, cut inside lines.
    QTest::newRow("pieces cut inside lines") << 100000 << 70001;
}

void tst_RunVcs::historyLimitDropsOldestLines()
{
    QFETCH(int, limit);
    QFETCH(int, piece);
    const int previous = VcsOutputWindow::historyLimit();
    VcsOutputWindow::setHistoryLimit(limit);
    limit = VcsOutputWindow::historyLimit();
    QString all;
    for (int i = 0; all.size() < 8 * limit; ++i)
        all += QStringLiteral("history line %1\n").arg(i);
    if (piece == 0) {
        for (const QString &line : all.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            VcsOutputWindow::append(line);
    } else {
        for (int at = 0; at < all.size(); at += piece)
            VcsOutputWindow::appendOutput(all.mid(at, piece));
    }
    const QString content = VcsOutputWindow::content();
    VcsOutputWindow::setHistoryLimit(previous);

    QVERIFY2(content.size() <= limit, qPrintable(QString::number(content.size())));
    QVERIFY(content.size() >= limit / 2);
    // One line says how much was dropped; whole lines are dropped, not parts of them, and
    // what is kept is the end of what came.
    const QString marker = content.section(QLatin1Char('\n'), 0, 0);
    const QString kept = content.mid(marker.size() + 1);
    QCOMPARE(marker, VcsOutputWindow::droppedLine(all.size() - kept.size()));
    QVERIFY2(kept.startsWith(QLatin1String("history line ")), qPrintable(kept.left(40)));
    QVERIFY(all.endsWith(kept));
}

void tst_RunVcs::historyLimitKeepsTheTailOfOneLongLine()
{
    const int previous = VcsOutputWindow::historyLimit();
    VcsOutputWindow::setHistoryLimit(2000);
    const int limit = VcsOutputWindow::historyLimit();
    VcsOutputWindow::append(QStringLiteral("first line"));
    const QString longLine = QString(5000, QLatin1Char('x')) + QStringLiteral("END");
    VcsOutputWindow::append(longLine);
    const QString content = VcsOutputWindow::content();
    VcsOutputWindow::setHistoryLimit(previous);

    QVERIFY(content.size() <= limit);
    QVERIFY2(content.endsWith(QLatin1String("xxxEND\n")), qPrintable(content.right(20)));
    QVERIFY(content.size() >= limit / 2);
}

QTEST_GUILESS_MAIN(tst_RunVcs)

#include "tst_runvcs.moc"
