// What the user sees when tf misbehaves or the machine does: killed or hanging clients,
// missing executables, bytes that are not text, floods of output, a broken settings file,
// that the password never shows, and that nothing runs without it.
#include "testhost.h"

#include <core/icore.h>
#include <core/secretstore.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

#include <teamfoundationclient.h>
#include <teamfoundationhistory.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>

#include <QDialog>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using namespace TeamFoundation::Internal;

namespace {
// A keychain that answers when the test says, in any order the test chooses.
class FakeSecretStore : public Core::SecretStore
{
public:
    struct Request
    {
        QString kind; // "read", "write", "remove"
        QString key;
        QString secret;
        QPointer<QObject> receiver;
        Handler handler;
    };

    void read(const QString &, const QString &key, QObject *receiver, Handler handler) override
    {
        requests.append({QStringLiteral("read"), key, QString(), receiver, std::move(handler)});
    }
    void write(const QString &, const QString &key, const QString &secret, QObject *receiver,
               Handler handler) override
    {
        requests.append({QStringLiteral("write"), key, secret, receiver, std::move(handler)});
    }
    void remove(const QString &, const QString &key, QObject *receiver, Handler handler) override
    {
        requests.append({QStringLiteral("remove"), key, QString(), receiver, std::move(handler)});
    }
    bool isIdle() const override { return requests.isEmpty(); }

    // Answers the first request of 'kind' (with 'secret', for a write the one it names).
    bool answer(const QString &kind, Outcome outcome, const QString &secret = QString())
    {
        for (int i = 0; i < requests.size(); ++i) {
            const Request &r = requests.at(i);
            if (r.kind != kind || (kind == QLatin1String("write") && r.secret != secret))
                continue;
            const Request taken = requests.takeAt(i);
            Answer a;
            a.outcome = outcome;
            a.secret = secret;
            a.error = outcome == Failed ? QStringLiteral("refused") : QString();
            if (taken.receiver)
                taken.handler(a);
            if (requests.isEmpty())
                emit idle();
            return true;
        }
        return false;
    }

    QList<Request> requests;
};

QVariant fileValue(const char *key)
{
    return Core::ICore::settings()->value(QLatin1String("TeamFoundation/") + QLatin1String(key));
}
} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void init() { VcsBase::VcsOutputWindow::clearContents(); }

    void killedBySignal_data();
    void killedBySignal();
    void hangingClientIsKilled_data();
    void hangingClientIsKilled();
    void missingPowerTools();
    void executableLosesItsPermission();
    void outputThatIsNotText();
    void hundredMegabytesOfOutput();
    void corruptSettingsFile();
    void unwritableSettingsFile();
    void passwordNeverShown();
    void unreadableKeychainRunsNothing();
    void lateKeychainAnswers_data();
    void lateKeychainAnswers();
    void commandWaitsForTheKeychainInItsTurn();
};

void tst_Faults::killedBySignal_data()
{
    QTest::addColumn<int>("signal");
#ifdef Q_OS_UNIX
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGSEGV") << int(SIGSEGV);
    QTest::newRow("SIGTERM") << int(SIGTERM);
#else
    QTest::newRow("no signals") << 0;
#endif
}

void tst_Faults::killedBySignal()
{
    QFETCH(int, signal);
#ifndef Q_OS_UNIX
    QSKIP("The recording client kills itself with a POSIX signal.");
#endif
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setResponse("TFREC_SIGNAL", QByteArray::number(signal));
    QSignalSpy files(plugin->versionControl(), &Core::IVersionControl::filesChanged);

    QVERIFY(plugin->client()->getLatest(file));
    host.waitForJobs();
    QVERIFY(!plugin->client()->checkoutFile(file));
    QCOMPARE(files.count(), 0);
    QVERIFY2(VcsBase::VcsOutputWindow::content().contains(QLatin1String("terminated abnormally")),
             qPrintable(VcsBase::VcsOutputWindow::content()));

    // A probe that crashes is a fault, not "not under version control": said once.
    VcsBase::VcsOutputWindow::clearContents();
    QVERIFY(!plugin->client()->managesFile(file));
    QVERIFY(!plugin->versionControl()->managesDirectory(QFileInfo(file).absolutePath()));
    const QString pane = VcsBase::VcsOutputWindow::content();
    QCOMPARE(pane.count(QLatin1String("terminated abnormally")), 1);
    QVERIFY2(pane.contains(QStringLiteral(" info %1\n").arg(file)), qPrintable(pane));
}

void tst_Faults::hangingClientIsKilled_data()
{
    QTest::addColumn<bool>("fullySynchronous");
    QTest::newRow("checkout") << false;
    QTest::newRow("rename, fully synchronous") << true;
}

void tst_Faults::hangingClientIsKilled()
{
    QFETCH(bool, fullySynchronous);
    TestHost host;
    host.configure(QString(), QString(), 1);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setResponse("TFREC_DELAY_MS", "60000");

    // A timer stands for the window: it ticks only while events are processed.
    int ticks = 0;
    QTimer window;
    window.setInterval(20);
    connect(&window, &QTimer::timeout, [&ticks] { ++ticks; });
    window.start();

    // Every wait the IDE must make keeps the window painted, rename's too.
    const bool ok = fullySynchronous
                        ? plugin->client()->renameFile(file, file + QLatin1String(".new"))
                        : plugin->client()->checkoutFile(file);
    QVERIFY(!ok);
    QVERIFY(ticks > 0);
    // Killed at the one-second time-out, not ended by the client, which would have answered
    // after a minute.
    QVERIFY2(VcsBase::VcsOutputWindow::content().contains(QLatin1String("did not respond within the timeout limit (1000 ms)")),
             qPrintable(VcsBase::VcsOutputWindow::content()));
}

void tst_Faults::missingPowerTools()
{
    for (ClientKind kind : {ClientKind::VisualStudio, ClientKind::CrossPlatform}) {
        TestHost host;
        host.configure(QString(), QString(), 30, kind);
        TeamFoundationPlugin *plugin = host.loadPlugin();
        TeamFoundationSettings s = plugin->settings();
        s.setValue(TeamFoundationSettings::powerToolsBinaryPathKey,
                   host.sandbox() + QLatin1String("/no/tfpt"));
        plugin->setSettings(s);
        const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));

        // Nothing to run: the annotation is computed from the history in the IDE's view,
        // which the plugin asks for; the pane has nothing to complain about.
        qRegisterMetaType<VcsBase::VcsOutputWindow::Kind>();
        QSignalSpy pane(VcsBase::VcsOutputWindow::instance(),
                        &VcsBase::VcsOutputWindow::textAppended);
        QSignalSpy asked(plugin->versionHistory(), &Core::IVersionHistory::annotateRequested);
        QVERIFY(plugin->client()->annotateFile(file));
        QVERIFY(host.takeRuns().isEmpty());
        QVERIFY(host.takeHanded().isEmpty());
        QCOMPARE(pane.count(), 0);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.first().at(0).toString(), file);
    }
}

void tst_Faults::executableLosesItsPermission()
{
#ifndef Q_OS_UNIX
    QSKIP("Taking the permission to run a file away is POSIX's; Windows goes by its name.");
#endif
    TestHost host;
    const QString copy = host.sandbox() + QLatin1String("/bin/tf-copy");
    QVERIFY(QFile::copy(QStringLiteral(TFRECORDER_PATH), copy));
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    TeamFoundationSettings s = plugin->settings();
    s.setValue(TeamFoundationSettings::binaryPathKey, copy);
    plugin->setSettings(s);
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    QVERIFY(plugin->client()->addFile(file));

    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(!plugin->versionControl()->isConfigured());
    QVERIFY(!plugin->client()->addFile(file));
    QVERIFY(!plugin->versionControl()->managesDirectory(host.sandbox()));
    QCOMPARE(host.takeRuns().size(), 1);
}

void tst_Faults::outputThatIsNotText()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    host.setResponse("TFREC_STDOUT", QByteArray("Local path: /x/\xff\xfe\xc3\x28\nServer path: $/Demo/App\n\x80\x81"));
    const TeamFoundationResponse r =
        plugin->client()->runTf(dir, {QStringLiteral("history")}, InteractiveRunFlags);
    QVERIFY(!r.error);
    QVERIFY(r.stdOut.contains(QChar::ReplacementCharacter));
    QVERIFY(VcsBase::VcsOutputWindow::content().contains(QChar::ReplacementCharacter));
    QCOMPARE(plugin->client()->repositoryUrl(dir), QStringLiteral("$/Demo/App"));
}

void tst_Faults::hundredMegabytesOfOutput()
{
    TestHost host;
    host.configure(QString(), QString(), 120);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    QByteArray chunk(64 * 1024 - 1, 'x');
    chunk.append('\n');
    host.setResponse("TFREC_STDOUT", chunk);
    host.setResponse("TFREC_REPEAT", "1600");

    QElapsedTimer timer;
    timer.start();
    const TeamFoundationResponse r =
        plugin->client()->runTf(dir, {QStringLiteral("history"), dir}, InteractiveRunFlags);
    QVERIFY(!r.error);
    QCOMPARE(r.stdOut.size(), 1600 * 64 * 1024);
    // The pane keeps the most recent text, not all of it.
    QVERIFY(VcsBase::VcsOutputWindow::content().size() <= VcsBase::VcsOutputWindow::historyLimit());
    QVERIFY(VcsBase::VcsOutputWindow::content().endsWith(QLatin1String("xxx\n")));
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
}

void tst_Faults::corruptSettingsFile()
{
    TestHost host;
    QDir().mkpath(host.settingsDirectory());
    const QString ini = host.settingsDirectory() + QLatin1String("/workbench.ini");
    const QByteArray corrupt("[TeamFoundation\nBinaryPath=/evil\nPassword=leaked\n");
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(corrupt);
    file.close();
    Core::ICore::resetSettings();

    TeamFoundationPlugin *plugin = host.loadPlugin();
    QVERIFY(plugin);
    QVERIFY(plugin->settings().equals(TeamFoundationSettings()));
    QVERIFY(!Core::ICore::settingsError().isEmpty());
    // The user's file is kept for them to look at.
    QFile kept(ini + QLatin1String(".corrupt"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), corrupt);
    // And the plugin goes on working with what the user sets next.
    host.configure();
    QVERIFY(plugin->versionControl()->isConfigured());
    QVERIFY(plugin->client()->addFile(host.makeFile(QStringLiteral("a.cpp"))));
}

void tst_Faults::unwritableSettingsFile()
{
    TestHost host;
    // A regular file where the settings directory's parent should be defeats even root.
    const QString blocker = host.makeFile(QStringLiteral("blocker"));
    Core::ICore::setSettingsPath(blocker + QLatin1String("/settings"));
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QVERIFY(plugin);
    TeamFoundationSettings s = plugin->settings();
    s.setValue(TeamFoundationSettings::userNameKey, QStringLiteral("dora"));
    plugin->setSettings(s);
    QVERIFY(!Core::ICore::syncSettings());
    QVERIFY(!Core::ICore::settingsError().isEmpty());
    // The session keeps what the user chose, though it could not be stored.
    QCOMPARE(plugin->settings().userName(), QStringLiteral("dora"));
}

void tst_Faults::passwordNeverShown()
{
    const QString password = QStringLiteral("Sup3r$ecret,pw");
    TestHost host;
    host.configure(QStringLiteral("alice"), password, 1);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setCurrentFile(file, top);

    const QList<QByteArray> slotNames{"addCurrentFile", "deleteCurrentFile", "compareCurrentFile",
                                      "undoCurrentFile", "checkInCurrentFile", "annotateCurrentFile",
                                      "getLatestCurrentFile", "historyCurrentFile", "historyProject",
                                      "getLatestProject", "undoProject", "compareProject", "checkInProject"};
    auto runAll = [&] {
        // Undo asks first, once for the two undos chosen before the changes were read.
        host.answerNextDialog([](QDialog *dialog) { dialog->accept(); });
        for (const QByteArray &slot : slotNames)
            QMetaObject::invokeMethod(plugin->client(), slot.constData(), Qt::DirectConnection);
        plugin->versionControl()->vcsMove(file, top + QLatin1String("/b.cpp"));
        plugin->versionControl()->managesDirectory(top, nullptr);
        host.waitForJobs();
    };
    runAll();
    host.setResponse("TFREC_EXIT", "100");
    host.setResponse("TFREC_STDERR", "TF30063: You are not authorized.\n");
    runAll();
    host.setResponse("TFREC_DELAY_MS", "3000");
    plugin->client()->checkoutFile(file);
    host.waitForJobs();

    const QString pane = VcsBase::VcsOutputWindow::content();
    QVERIFY(!pane.contains(password));
    QVERIFY(!pane.contains(QLatin1String("Sup3r")));
    QVERIFY(pane.contains(QLatin1String("/login:alice,********")));
    QVERIFY(!host.takeAsserts().join(QLatin1Char('\n')).contains(QLatin1String("Sup3r")));
    // The client itself still receives it.
    const QList<Recorded> runs = host.takeRuns();
    QVERIFY(!runs.isEmpty());
    QCOMPARE(runs.first().arguments.last(), QLatin1String("/login:alice,") + password);
}

// The file says the keychain holds the password, but the keychain cannot be asked (the test
// host has no session bus): a command would log in as nobody, so none runs, and the pane says
// why once.
void tst_Faults::unreadableKeychainRunsNothing()
{
    TestHost host;
    host.configure(QStringLiteral("alice"));
    Core::ICore::settings()->remove(QStringLiteral("TeamFoundation/Password"));
    Core::ICore::settings()->setValue(QStringLiteral("TeamFoundation/PasswordInKeychain"), true);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    QVERIFY(!plugin->client()->addFile(file));
    QVERIFY(!plugin->client()->addFile(file));
    QVERIFY(host.takeRuns().isEmpty());
    const QString pane = VcsBase::VcsOutputWindow::content();
    QCOMPARE(pane.count(QLatin1String("could not be read from the system keychain")), 1);
    // Entered again, it is used.
    TeamFoundationSettings settings = plugin->settings();
    settings.setValue(TeamFoundationSettings::passwordKey, QStringLiteral("again"));
    plugin->setSettings(settings);
    QVERIFY(plugin->client()->addFile(file));
    QVERIFY(host.takeRuns().value(0).arguments.last().endsWith(QLatin1String("login:alice,again")));
}

// The keychain may confirm an earlier password after a newer one was set: that answer is
// about a password nobody uses any more, and taking it would drop the newer one from the
// settings file before the keychain holds it.
void tst_Faults::lateKeychainAnswers_data()
{
    QTest::addColumn<QString>("between"); // the password set between, "" clears it
    QTest::newRow("a late confirmation of an earlier password") << "earlier";
    QTest::newRow("a late confirmation that it was cleared") << "";
}

void tst_Faults::lateKeychainAnswers()
{
    QFETCH(QString, between);
    TestHost host;
    FakeSecretStore keychain;
    host.configure(QStringLiteral("alice"), QStringLiteral("first"));
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QVERIFY(
        keychain.answer(QStringLiteral("write"), Core::SecretStore::Done, QStringLiteral("first")));
    QVERIFY(!fileValue("Password").isValid());
    QVERIFY(fileValue("PasswordInKeychain").toBool());

    TeamFoundationSettings settings = plugin->settings();
    settings.setValue(TeamFoundationSettings::passwordKey, between);
    plugin->setSettings(settings);
    settings.setValue(TeamFoundationSettings::passwordKey, QStringLiteral("newest"));
    plugin->setSettings(settings);
    // The keychain confirms the one between, then refuses the newest.
    QVERIFY(keychain.answer(between.isEmpty() ? QStringLiteral("remove") : QStringLiteral("write"),
                            Core::SecretStore::Done, between));
    QVERIFY(keychain.answer(QStringLiteral("write"), Core::SecretStore::Failed,
                            QStringLiteral("newest")));
    QCOMPARE(fileValue("Password").toString(), QStringLiteral("newest"));
    QCOMPARE(plugin->settings().password(), QStringLiteral("newest"));
}

// A command started while the keychain is still asked for the password is queued at once; its
// turn waits for the answer, and it runs with the password the keychain gave.
void tst_Faults::commandWaitsForTheKeychainInItsTurn()
{
    TestHost host;
    FakeSecretStore keychain;
    host.configure(QStringLiteral("alice"));
    Core::ICore::settings()->remove(QStringLiteral("TeamFoundation/Password"));
    Core::ICore::settings()->setValue(QStringLiteral("TeamFoundation/PasswordInKeychain"), true);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    QCOMPARE(keychain.requests.size(), 1);

    QVERIFY(plugin->client()->history(file));
    VcsBase::JobQueue *queue = VcsBase::JobQueue::instance();
    QTRY_VERIFY(queue->runningJob());
    QVERIFY(QFile(host.logPath()).size() <= 0);
    QVERIFY(
        keychain.answer(QStringLiteral("read"), Core::SecretStore::Done, QStringLiteral("kept")));
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.first().arguments.last(), QStringLiteral("/login:alice,kept"));
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
