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

using E2e::Run;
using E2e::writeFile;

const char USER[] = "ann";
// Blanks and a comma: it reaches tf as part of one argument.
const char PASSWORD[] = "open, sesame 7";
const char NO_KEYCHAIN_LINE[] = "The Team Foundation password is stored in the settings file, "
                                "readable by you only: no system keychain is running.";
// A session bus address that leads nowhere.
const char NO_BUS[] = "disabled:";

QString describe(const Run &run)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3")
        .arg(run.exitCode)
        .arg(run.out, run.err);
}

Run runProcess(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    Run result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("%1 did not finish").arg(program);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// A session bus of its own, without service activation, and on it a GNOME keyring whose
// login keyring is created and unlocked with a throw-away password; both live in a temporary
// home and end with the object.
class Keyring
{
public:
    ~Keyring()
    {
        for (QProcess *process : {&m_keyring, &m_bus}) {
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    // Empty when it started; else what went wrong.
    QString start()
    {
        const QString config = m_home.path() + QStringLiteral("/bus.conf");
        writeFile(config,
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                  "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                  "<policy context=\"default\"><allow send_destination=\"*\" "
                  "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                  "</policy></busconfig>\n");
        QDir().mkpath(m_home.path() + QStringLiteral("/runtime"));
        QFile::setPermissions(m_home.path() + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_bus.setProcessEnvironment(environment());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1"),
                     QStringLiteral("--nofork")});
        if (!m_bus.waitForStarted(30000))
            return QStringLiteral("dbus-daemon does not start (scripts/setup installs it)");
        QElapsedTimer timer;
        timer.start();
        while (!m_bus.canReadLine() && timer.elapsed() < 30000)
            m_bus.waitForReadyRead(1000);
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        if (m_address.isEmpty())
            return QStringLiteral("dbus-daemon gave no address: ") + m_bus.readAllStandardError();

        m_keyring.setProcessEnvironment(environment());
        m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                        {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                         QStringLiteral("--components=secrets")});
        if (!m_keyring.waitForStarted(30000))
            return QStringLiteral(
                "gnome-keyring-daemon does not start (scripts/setup installs it)");
        m_keyring.write("keyring-test-password");
        m_keyring.closeWriteChannel();
        if (!waitForSecretService(60000))
            return QStringLiteral("the keyring did not come up: ") +
                   m_keyring.readAllStandardError();
        return QString();
    }

    QString address() const { return m_address; }

    // The password QtKeychain stored for 'user'; null when there is none.
    QString lookup(const QString &user) const
    {
        const Run run = runProcess(QStringLiteral("secret-tool"),
                                   {QStringLiteral("lookup"), QStringLiteral("server"),
                                    QStringLiteral("TeamFoundation"), QStringLiteral("user"), user},
                                   environment());
        return run.exitCode == 0 ? run.out : QString();
    }

private:
    bool waitForSecretService(int timeoutMs) const
    {
        const QStringList ask{QStringLiteral("--bus=") + m_address,
                              QStringLiteral("--print-reply"),
                              QStringLiteral("--dest=org.freedesktop.DBus"),
                              QStringLiteral("/"),
                              QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                              QStringLiteral("string:org.freedesktop.secrets")};
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            const Run run = runProcess(QStringLiteral("dbus-send"), ask, environment());
            if (run.out.contains(QLatin1String("boolean true")))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path() + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   m_address.isEmpty() ? QString::fromLatin1(NO_BUS) : m_address);
        return env;
    }

    QTemporaryDir m_home;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
};

// A stand-in server with $/Demo/App and the user ann, got into the workspace "ws", and the
// workbench's settings, home and runtime directory, all below one temporary directory.
class Sandbox
{
public:
    QString path(const QString &relative) const
    {
        return m_dir.path() + QLatin1Char('/') + relative;
    }
    QString settingsFile() const { return path(QStringLiteral("settings/workbench.ini")); }

    // Empty when the server and the working copy are there; else what went wrong.
    QString seed() const
    {
        const QString collection = QStringLiteral("-collection:") + path(QStringLiteral("server"));
        const QString login =
            QStringLiteral("-login:%1,%2").arg(QLatin1String(USER), QLatin1String(PASSWORD));
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
            const Run run = runProcess(QStringLiteral(TF_EXECUTABLE), step, environment(NO_BUS));
            if (run.exitCode != 0)
                return describe(run);
        }
        return QString();
    }

    // Runs the workbench with the plugin on 'script', with 'bus' as its session bus.
    Run runWorkbench(const QString &script, const QString &bus) const
    {
        const QString scriptFile = path(QStringLiteral("script.wb"));
        writeFile(scriptFile, script.toUtf8());
        QProcessEnvironment env = environment(bus);
        // The plugin still speaks tf.exe's grammar to the stand-in.
        env.insert(QStringLiteral("TF_STANDIN_GRAMMAR"), QStringLiteral("tf.exe"));
        return runProcess(QStringLiteral(WORKBENCH_EXECUTABLE),
                          {QStringLiteral("-pluginpath"), QStringLiteral(PLUGIN_DIR),
                           QStringLiteral("-settingspath"), path(QStringLiteral("settings")),
                           QStringLiteral("--script"), scriptFile},
                          env);
    }

    // What the settings file holds under the plugin's group, password or not.
    QVariant stored(const QString &key) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        return settings.value(QStringLiteral("TeamFoundation/") + key);
    }

private:
    QProcessEnvironment environment(const QString &bus) const
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
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        env.insert(QStringLiteral("SANDBOX"), m_dir.path());
        return env;
    }

    QTemporaryDir m_dir;
};

QString optionsLine(const QString &credentials)
{
    return QStringLiteral("options T.TeamFoundation pathChooser=%1 tfptPathChooser=%2 %3\n")
        .arg(QStringLiteral(TF_EXECUTABLE), QStringLiteral(TFPT_EXECUTABLE), credentials);
}

// A start of the workbench that needs the login: the probes of the project and the history.
const char HISTORY_SCRIPT[] = "project ${SANDBOX}/ws\n"
                              "open main.cpp\n"
                              "trigger TeamFoundation.History\n";

// Whether the run logged in: the stand-in refuses every command without the login.
bool loggedIn(const Run &run)
{
    return run.exitCode == 0 && run.out.contains(QLatin1String("History of $/Demo/App/main.cpp")) &&
           run.out.contains(QLatin1String(" /login:ann,********")) &&
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
    Keyring keyring;
    const QString keyringError = keyring.start();
    QVERIFY2(keyringError.isEmpty(), qPrintable(keyringError));
    Sandbox box;
    const QString seedError = box.seed();
    QVERIFY2(seedError.isEmpty(), qPrintable(seedError));

    if (earlierVersion) {
        QSettings file(box.settingsFile(), QSettings::IniFormat);
        file.beginGroup(QStringLiteral("TeamFoundation"));
        file.setValue(QStringLiteral("BinaryPath"), QStringLiteral(TF_EXECUTABLE));
        file.setValue(QStringLiteral("PowerToolsBinaryPath"), QStringLiteral(TFPT_EXECUTABLE));
        file.setValue(QStringLiteral("Username"), QLatin1String(USER));
        file.setValue(QStringLiteral("Password"), QLatin1String(PASSWORD));
        file.setValue(QStringLiteral("Timeout"), 30);
        file.endGroup();
        file.sync();
        QCOMPARE(file.status(), QSettings::NoError);
    } else {
        const Run set = box.runWorkbench(
            optionsLine(QStringLiteral("usernameLineEdit=ann \"passwordLineEdit=%1\"")
                            .arg(QLatin1String(PASSWORD))),
            keyring.address());
        QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
        QVERIFY2(!set.out.contains(QLatin1String("system keychain")), qPrintable(set.out));
    }

    // A start logs in with it; afterwards the keychain holds it and the file does not.
    const Run run = box.runWorkbench(QString::fromLatin1(HISTORY_SCRIPT), keyring.address());
    QVERIFY2(loggedIn(run), qPrintable(describe(run)));
    QVERIFY2(!run.out.contains(QLatin1String("system keychain")), qPrintable(run.out));
    QCOMPARE(keyring.lookup(QLatin1String(USER)), QLatin1String(PASSWORD));
    QVERIFY(!box.stored(QStringLiteral("Password")).isValid());
    QVERIFY(!E2e::readAll(box.settingsFile()).contains("sesame"));
    // The start after that has nothing but the keychain.
    QVERIFY2(loggedIn(box.runWorkbench(QString::fromLatin1(HISTORY_SCRIPT), keyring.address())),
             "a second start did not log in");

    // Cleared on the page, it is gone from the keychain too, and from the file.
    const Run cleared =
        box.runWorkbench(optionsLine(QStringLiteral("passwordLineEdit=\"\"")), keyring.address());
    QVERIFY2(cleared.exitCode == 0, qPrintable(describe(cleared)));
    QCOMPARE(keyring.lookup(QLatin1String(USER)), QString());
    QVERIFY(!box.stored(QStringLiteral("Password")).isValid());
    const Run withoutPassword =
        box.runWorkbench(QString::fromLatin1(HISTORY_SCRIPT), keyring.address());
    QVERIFY2(withoutPassword.out.contains(QLatin1String("TF30063")),
             qPrintable(describe(withoutPassword)));
}

void KeychainEndToEndTest::withoutASessionBusTheFileKeepsIt()
{
    Sandbox box;
    const QString seedError = box.seed();
    QVERIFY2(seedError.isEmpty(), qPrintable(seedError));

    const Run set =
        box.runWorkbench(optionsLine(QStringLiteral("usernameLineEdit=ann \"passwordLineEdit=%1\"")
                                         .arg(QLatin1String(PASSWORD))),
                         QLatin1String(NO_BUS));
    QVERIFY2(set.exitCode == 0, qPrintable(describe(set)));
    QCOMPARE(set.out.count(QLatin1String(NO_KEYCHAIN_LINE)), 1);
    QCOMPARE(box.stored(QStringLiteral("Password")).toString(), QLatin1String(PASSWORD));
    QCOMPARE(QFile::permissions(box.settingsFile()) &
                 (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());

    // Every start says it once, and logs in with the password from the file.
    const Run run = box.runWorkbench(QString::fromLatin1(HISTORY_SCRIPT), QLatin1String(NO_BUS));
    QVERIFY2(loggedIn(run), qPrintable(describe(run)));
    QCOMPARE(run.out.count(QLatin1String(NO_KEYCHAIN_LINE)), 1);
    QCOMPARE(box.stored(QStringLiteral("Password")).toString(), QLatin1String(PASSWORD));
}

QTEST_GUILESS_MAIN(KeychainEndToEndTest)

#include "tst_keychain_e2e.moc"
