// End-to-end tests of where the plugin keeps the password: the real workbench with the real
// plugin against the stand-in tf on a server whose user must log in, with a keychain of the
// test's own (a private session bus and an unlocked GNOME keyring in a temporary home) and
// without any session bus. No run ever sees the keychain of the person running the tests.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "e2eutils.h"

namespace {

using E2e::acceptLicence;
using E2e::Run;
using E2e::runProgram;
using E2e::writeFile;

const char USER[] = "ann";
// Blanks and a comma: it reaches tf as part of one argument.
const char PASSWORD[] = "open, sesame 7";
const char NO_KEYCHAIN_LINE[] = "The Team Foundation password is stored in the settings file, "
                                "readable by you only: no system keychain is running.";

QString describe(const Run &run)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3")
        .arg(run.exitCode)
        .arg(run.out, run.err);
}

// Everything below one temporary directory: a stand-in server with $/Demo/App and the user
// ann, got into the workspace "ws"; the workbench's settings; a home, data and runtime
// directory for every process started; and, once started, a session bus of its own (without
// service activation) with a GNOME keyring on it, created and unlocked with a throw-away
// password. Without that keyring the processes have no session bus at all.
class Sandbox
{
public:
    ~Sandbox()
    {
        for (QProcess *process : {&m_keyring, &m_bus}) {
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    QString path(const QString &relative) const
    {
        return m_dir.path() + QLatin1Char('/') + relative;
    }
    QString settingsFile() const { return path(QStringLiteral("settings/workbench.ini")); }

    // Each returns what went wrong, empty when nothing did.
    QString seed() const
    {
        const QString collection = QStringLiteral("-collection:") + path(QStringLiteral("server"));
        const QString login =
            QStringLiteral("-login:%1,%2").arg(QLatin1String(USER), QLatin1String(PASSWORD));
        const QString licence = acceptLicence(QStringLiteral(TF_EXECUTABLE), path(QStringLiteral("profile")));
        if (!licence.isEmpty())
            return licence;
        const QList<QStringList> steps{
            {QStringLiteral("seed"), collection},
            {QStringLiteral("useradd"), QLatin1String(USER), QLatin1String(PASSWORD), collection},
            {QStringLiteral("workspace"), QStringLiteral("-new"), QStringLiteral("ws"), collection,
             login},
            {QStringLiteral("workfold"), QStringLiteral("-map"), QStringLiteral("$/Demo/App"),
             path(QStringLiteral("ws")), collection, QStringLiteral("-workspace:ws"), login},
            {QStringLiteral("get"), path(QStringLiteral("ws")), QStringLiteral("-recursive"),
             login}};
        for (const QStringList &step : steps) {
            const Run run = runProgram(QStringLiteral(TF_EXECUTABLE), step, environment());
            if (run.exitCode != 0)
                return describe(run);
        }
        return QString();
    }

    QString startKeyring()
    {
        const QString config = path(QStringLiteral("bus.conf"));
        writeFile(config, "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                          "<policy context=\"default\"><allow send_destination=\"*\" "
                          "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                          "</policy></busconfig>\n");
        m_bus.setProcessEnvironment(environment());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1"),
                     QStringLiteral("--nofork")});
        QElapsedTimer timer;
        timer.start();
        while (m_bus.waitForStarted(30000) && !m_bus.canReadLine() && timer.elapsed() < 30000)
            m_bus.waitForReadyRead(1000);
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
        if (address.isEmpty())
            return QStringLiteral("dbus-daemon gave no address (scripts/setup installs it): ") +
                   m_bus.readAllStandardError();
        m_busAddress = address;

        m_keyring.setProcessEnvironment(environment());
        m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                        {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                         QStringLiteral("--components=secrets")});
        m_keyring.write("keyring-test-password");
        m_keyring.closeWriteChannel();
        const QStringList hasOwner{
            QStringLiteral("--print-reply"), QStringLiteral("--dest=org.freedesktop.DBus"),
            QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
            QStringLiteral("string:org.freedesktop.secrets")};
        while (timer.elapsed() < 60000) {
            if (runProgram(QStringLiteral("dbus-send"), hasOwner, environment())
                    .out.contains(QLatin1String("boolean true")))
                return QString();
            QTest::qWait(100);
        }
        return QStringLiteral("the keyring did not come up (scripts/setup installs it): ") +
               m_keyring.readAllStandardError();
    }

    // Runs the workbench with the plugin on 'script'.
    Run runWorkbench(const QString &script) const
    {
        const QString scriptFile = path(QStringLiteral("script.wb"));
        writeFile(scriptFile, script.toUtf8());
        return runProgram(QStringLiteral(WORKBENCH_EXECUTABLE),
                          {QStringLiteral("-pluginpath"), QStringLiteral(PLUGIN_DIR),
                           QStringLiteral("-settingspath"), path(QStringLiteral("settings")),
                           QStringLiteral("--script"), scriptFile},
                          environment());
    }

    // The password QtKeychain keeps for 'user'; null when there is none.
    QString lookup(const QString &user) const
    {
        const Run run = runProgram(QStringLiteral("secret-tool"),
                                   {QStringLiteral("lookup"), QStringLiteral("server"),
                                    QStringLiteral("TeamFoundation"), QStringLiteral("user"), user},
                                   environment());
        return run.exitCode == 0 ? run.out : QString();
    }

    // What the settings file holds under the plugin's group.
    QVariant stored(const QString &key) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        return settings.value(QStringLiteral("TeamFoundation/") + key);
    }

private:
    QProcessEnvironment environment() const
    {
        QDir().mkpath(path(QStringLiteral("runtime")));
        QFile::setPermissions(path(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TF_SERVER"));
        env.remove(QStringLiteral("TF_STANDIN_GRAMMAR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        env.insert(QStringLiteral("TEE_PROFILE_DIRECTORY"), path(QStringLiteral("profile")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
        env.insert(QStringLiteral("SANDBOX"), m_dir.path());
        return env;
    }

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    // An address that leads nowhere until the keyring's bus runs.
    QString m_busAddress = QStringLiteral("disabled:");
};

QString optionsLine(const QString &credentials)
{
    return QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 %3\n")
        .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE), credentials);
}

const QString setPassword = optionsLine(
    QStringLiteral("usernameLineEdit=ann \"passwordLineEdit=%1\"").arg(QLatin1String(PASSWORD)));

// A start of the workbench that needs the login: the probes of the project and the history.
const QString history = QStringLiteral("project ${SANDBOX}/ws\n"
                                       "open main.cpp\n"
                                       "history main.cpp\n");

// Whether the run logged in: the stand-in refuses every command without the login.
bool loggedIn(const Run &run)
{
    return run.exitCode == 0 && run.out.contains(QLatin1String("C1  alice  Create the App project\n")) &&
           run.out.contains(QLatin1String(" -login:ann,********")) &&
           !run.out.contains(QLatin1String("TF30063"));
}

} // namespace

class KeychainEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void passwordMovesIntoTheKeychain_data();
    void passwordMovesIntoTheKeychain();
    void withoutASessionBusTheFileKeepsIt();
};

void KeychainEndToEndTest::passwordMovesIntoTheKeychain_data()
{
    QTest::addColumn<bool>("earlierVersion");
    QTest::newRow("set on the options page") << false;
    QTest::newRow("found in the settings file of an earlier version") << true;
}

void KeychainEndToEndTest::passwordMovesIntoTheKeychain()
{
    QFETCH(bool, earlierVersion);
    Sandbox box;
    for (const QString &error : {box.seed(), box.startKeyring()})
        QVERIFY2(error.isEmpty(), qPrintable(error));

    if (earlierVersion) {
        QSettings file(box.settingsFile(), QSettings::IniFormat);
        file.setValue(QStringLiteral("TeamFoundation/BinaryPath"), QStringLiteral(TF_EXECUTABLE));
        file.setValue(QStringLiteral("TeamFoundation/Username"), QLatin1String(USER));
        file.setValue(QStringLiteral("TeamFoundation/Password"), QLatin1String(PASSWORD));
    } else {
        const Run set = box.runWorkbench(setPassword);
        QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
        QVERIFY2(!set.out.contains(QLatin1String("system keychain")), qPrintable(set.out));
    }

    // A start logs in with it; afterwards the keychain holds it and the file does not.
    const Run run = box.runWorkbench(history);
    QVERIFY2(loggedIn(run), qPrintable(describe(run)));
    QVERIFY2(!run.out.contains(QLatin1String("system keychain")), qPrintable(run.out));
    QCOMPARE(box.lookup(QLatin1String(USER)), QLatin1String(PASSWORD));
    QVERIFY(!box.stored(QStringLiteral("Password")).isValid());
    QVERIFY(!E2e::readAll(box.settingsFile()).contains("sesame"));
    // The start after that has nothing but the keychain.
    QVERIFY2(loggedIn(box.runWorkbench(history)), "a second start did not log in");

    // Cleared on the page, it is gone from the keychain too, and from the file.
    const Run cleared = box.runWorkbench(optionsLine(QStringLiteral("passwordLineEdit=\"\"")));
    QVERIFY2(cleared.exitCode == 0, qPrintable(describe(cleared)));
    QCOMPARE(box.lookup(QLatin1String(USER)), QString());
    QVERIFY(!box.stored(QStringLiteral("Password")).isValid());
    const Run withoutPassword = box.runWorkbench(history);
    QVERIFY2(withoutPassword.out.contains(QLatin1String("TF30063")),
             qPrintable(describe(withoutPassword)));
}

void KeychainEndToEndTest::withoutASessionBusTheFileKeepsIt()
{
    Sandbox box;
    const QString seedError = box.seed();
    QVERIFY2(seedError.isEmpty(), qPrintable(seedError));

    const Run set = box.runWorkbench(setPassword);
    QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
    QCOMPARE(set.out.count(QLatin1String(NO_KEYCHAIN_LINE)), 1);
    QCOMPARE(box.stored(QStringLiteral("Password")).toString(), QLatin1String(PASSWORD));
    QCOMPARE(QFile::permissions(box.settingsFile()) &
                 (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());

    // Every start says it once, and logs in with the password from the file.
    const Run run = box.runWorkbench(history);
    QVERIFY2(loggedIn(run), qPrintable(describe(run)));
    QCOMPARE(run.out.count(QLatin1String(NO_KEYCHAIN_LINE)), 1);
    QCOMPARE(box.stored(QStringLiteral("Password")).toString(), QLatin1String(PASSWORD));
}

QTEST_GUILESS_MAIN(KeychainEndToEndTest)

#include "tst_keychain_e2e.moc"
