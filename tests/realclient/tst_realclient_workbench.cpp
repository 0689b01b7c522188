// The workbench with the plugin against the real cross-platform client, as a new Linux user
// meets it: a project in a folder of no workspace, a client whose licence was never accepted,
// a password set. The client is started through a wrapper that writes down each command line
// it was started with, which is what other users of the computer see in the process list.
#include "realclient.h"

#include <QtTest>

class tst_RealClientWorkbench : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void anUnversionedProjectAndTheLicence();

private:
    // Runs the workbench on 'script' (lines separated by \n) in the sandbox; its output pane
    // is its standard output.
    RealClient::Outcome workbench(const QString &script, const QString &settings) const;
    QStringList starts() const;

    QTemporaryDir m_sandbox;
    RealClient::Profile m_profile{RealClient::Profile::LicenceNotAccepted};
};

namespace {
const char PASSWORD[] = "s3cret-pw";
using RealClient::writeFile;
} // namespace

void tst_RealClientWorkbench::initTestCase()
{
    const QString reason = RealClient::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY(m_sandbox.isValid());
    QVERIFY(m_profile.isValid());
    const QString client = QFileInfo(RealClient::clientPath()).absoluteFilePath();
    // The client finds its libraries beside its launcher, or where TF_CLC_HOME says.
    QVERIFY(writeFile(
        m_sandbox.filePath(QStringLiteral("bin/tf")),
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n"
                       "TF_CLC_HOME='%2' exec '%3' \"$@\"\n")
            .arg(m_sandbox.filePath(QStringLiteral("starts.log")), QFileInfo(client).path(), client)
            .toUtf8(),
        true));
    QVERIFY(
        writeFile(m_sandbox.filePath(QStringLiteral("unversioned/main.cpp")), "int main() {}\n"));
    QVERIFY(writeFile(m_sandbox.filePath(QStringLiteral("unversioned/src/util.cpp")), "\n"));
    QVERIFY(QDir().mkpath(m_sandbox.filePath(QStringLiteral("work"))));
}

RealClient::Outcome tst_RealClientWorkbench::workbench(const QString &script,
                                                       const QString &settings) const
{
    const QString file = m_sandbox.filePath(settings + QStringLiteral(".wb"));
    if (!writeFile(
            file,
            QStringLiteral("options T.TeamFoundation pathChooser=%1 usernameLineEdit=ann "
                           "passwordLineEdit=%2 timeOutSpinBox=120\n")
                    .arg(m_sandbox.filePath(QStringLiteral("bin/tf")), QLatin1String(PASSWORD))
                    .toUtf8() +
                script.toUtf8()))
        return RealClient::Outcome();
    QProcessEnvironment environment = m_profile.environment();
    // No keychain of the person running the tests: the password stays in the settings file.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return RealClient::run(QStringLiteral(WORKBENCH_EXECUTABLE),
                           {QStringLiteral("-settingspath"), m_sandbox.filePath(settings),
                            QStringLiteral("--script"), file},
                           m_sandbox.path(), environment);
}

QStringList tst_RealClientWorkbench::starts() const
{
    QFile log(m_sandbox.filePath(QStringLiteral("starts.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    log.remove();
    return lines;
}

// Before the licence is accepted the project's probes cannot tell, and the pane says once
// that the next command offers the licence; the checkout offers it, accepts it and gets as
// far as the server. Afterwards the same project opens with nothing in the pane, each of its
// directories asked about once. No client ever has the password on its command line.
void tst_RealClientWorkbench::anUnversionedProjectAndTheLicence()
{
    const QString collection = RealClient::closedCollectionUrl();
    const RealClient::Outcome first =
        workbench(QStringLiteral("project %1\nopen main.cpp\nstate\ndialog\n"
                                 "wizard T.TeamFoundation %2 repositoryLineEdit=$/Proj/App "
                                 "collectionEdit=%3\n")
                      .arg(m_sandbox.filePath(QStringLiteral("unversioned")),
                           m_sandbox.filePath(QStringLiteral("work")), collection),
                  QStringLiteral("first"));
    const QString context = first.describe();
    QVERIFY2(first.finished, qPrintable(context));
    // The checkout itself fails: nothing listens at the collection.
    QVERIFY2(first.stdErr.contains(QLatin1String("The checkout failed.")), qPrintable(context));
    QVERIFY2(first.stdOut.count(QLatin1String("licence of")) == 1, qPrintable(context));
    QVERIFY2(first.stdOut.contains(QLatin1String(" eula -accept\n")), qPrintable(context));
    QVERIFY(m_profile.licenceAccepted());
    QVERIFY2(first.stdOut.contains(QLatin1String(" workspaces -format:xml -collection:") +
                                   collection +
                                   QLatin1String(" -noprompt -login:ann,********\n"
                                                 "An error occurred: Connection refused\n")),
             qPrintable(context));
    QStringList started = starts();
    QVERIFY(!started.isEmpty());

    const RealClient::Outcome second = workbench(
        QStringLiteral("project %1\nopen main.cpp\nopen src/util.cpp\nstate\nopen main.cpp\n")
            .arg(m_sandbox.filePath(QStringLiteral("unversioned"))),
        QStringLiteral("second"));
    QVERIFY2(second.finished && second.exitCode == 0, qPrintable(second.describe()));
    QVERIFY2(second.stdOut.contains(QLatin1String("version control: (none)\n")),
             qPrintable(second.stdOut));
    QVERIFY2(!second.stdOut.contains(QLatin1String("cannot tell")), qPrintable(second.stdOut));
    QVERIFY2(!second.stdOut.contains(QLatin1String("error occurred")), qPrintable(second.stdOut));
    // The project's folder and its src folder, once each.
    const QStringList probes = starts();
    QCOMPARE(probes.size(), 2);

    for (const QString &line : started + probes)
        QCOMPARE(line, QStringLiteral("@"));
}

QTEST_GUILESS_MAIN(tst_RealClientWorkbench)
#include "tst_realclient_workbench.moc"
