#pragma once

// What the real-client tier's tests share: finding the real cross-platform client and a Java
// runtime for it, a profile folder of each test's own (the client keeps its licence acceptance
// and its workspace cache there, never in the home of the user running the tests), and running
// a client with an environment and an optional standard input. The same calls run the stand-in
// (build/bin/tf), so that a row can be run against both.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QXmlStreamWriter>

namespace RealClient {

// Where the real client is: TF_REAL_CLIENT, else the shared folder beside the checkout.
inline QString clientPath()
{
    const QString chosen = qEnvironmentVariable("TF_REAL_CLIENT");
#ifdef REAL_CLIENT_DEFAULT
    if (chosen.isEmpty())
        return QDir::cleanPath(QStringLiteral(REAL_CLIENT_DEFAULT));
#endif
    return chosen;
}

// Why the tier cannot run here; empty when it can.
inline QString unavailableReason()
{
    const QString client = clientPath();
    const QFileInfo info(client);
    if (client.isEmpty() || !info.isFile() || !info.isExecutable())
        return QStringLiteral("no real client at %1 (set TF_REAL_CLIENT)")
            .arg(client.isEmpty() ? QStringLiteral("(none)") : client);
    if (QStandardPaths::findExecutable(QStringLiteral("java")).isEmpty())
        return QStringLiteral("no Java runtime (java is not in PATH)");
    return QString();
}

// How one run of a client ended.
struct Outcome
{
    bool finished = false; // false: it did not start, crashed or outlived its time
    int exitCode = -1;     // -1 when the client did not say (a line of "tf @" without it)
    QString stdOut;
    QString stdErr;

    QString firstErrorLine() const { return stdErr.section(QLatin1Char('\n'), 0, 0).trimmed(); }
    // What a failed check prints.
    QString describe() const
    {
        return QStringLiteral("exit %1%2\n--- stdout\n%3\n--- stderr\n%4")
            .arg(exitCode)
            .arg(finished ? QString() : QStringLiteral(" (did not finish)"))
            .arg(stdOut.left(2000), stdErr.left(2000));
    }
};

// A profile folder of the test's own, the client's TEE_PROFILE_DIRECTORY.
class Profile
{
public:
    enum Licence { LicenceAccepted, LicenceNotAccepted };

    explicit Profile(Licence licence = LicenceAccepted)
    {
        if (licence == LicenceAccepted)
            m_valid = m_dir.isValid() && acceptLicence();
        else
            m_valid = m_dir.isValid();
    }

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString cacheFile() const
    {
        return m_dir.filePath(QStringLiteral("Cache/VersionControl.config"));
    }
    QString licenceFile() const
    {
        return m_dir.filePath(
            QStringLiteral("Configuration/TEE-Mementos/com.microsoft.tfs.client.productid.xml"));
    }

    // Whether the licence file says it was accepted (either form of the element).
    bool licenceAccepted() const
    {
        QFile file(licenceFile());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = file.readAll();
        return text.contains("<eula-14.0") && text.toLower().contains("value=\"true\"");
    }

    // Writes the workspace cache as the client keeps it: 'folders' (absolute local paths)
    // mapped in the workspace 'workspace' of 'owner' on this computer, on 'collection'.
    bool mapFolders(const QString &collection, const QString &workspace, const QStringList &folders,
                    const QString &owner = QStringLiteral("tester")) const
    {
        if (!QDir().mkpath(QFileInfo(cacheFile()).path()))
            return false;
        QFile file(cacheFile());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QXmlStreamWriter xml(&file);
        xml.setAutoFormatting(true);
        xml.setAutoFormattingIndent(2);
        xml.writeStartElement(QStringLiteral("VersionControlServer"));
        xml.writeStartElement(QStringLiteral("Servers"));
        xml.writeStartElement(QStringLiteral("ServerInfo"));
        xml.writeAttribute(QStringLiteral("repositoryGuid"),
                           QStringLiteral("ba99f1f5-d1fa-4029-8621-28b72ed1b4fb"));
        QString uri = collection;
        while (uri.endsWith(QLatin1Char('/')))
            uri.chop(1);
        xml.writeAttribute(QStringLiteral("uri"), uri);
        xml.writeStartElement(QStringLiteral("WorkspaceInfo"));
        xml.writeAttribute(QStringLiteral("LastSavedCheckinTimeStamp"),
                           QStringLiteral("0001-01-01T00:00:00.000Z"));
        xml.writeAttribute(QStringLiteral("comment"), QString());
        xml.writeAttribute(QStringLiteral("computer"), QSysInfo::machineHostName());
        xml.writeAttribute(QStringLiteral("isLocalWorkspace"), QStringLiteral("false"));
        xml.writeAttribute(QStringLiteral("name"), workspace);
        xml.writeAttribute(QStringLiteral("options"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("ownerDisplayName"), owner);
        xml.writeAttribute(QStringLiteral("ownerName"), owner);
        xml.writeStartElement(QStringLiteral("MappedPaths"));
        for (const QString &folder : folders) {
            xml.writeEmptyElement(QStringLiteral("MappedPath"));
            xml.writeAttribute(QStringLiteral("path"), QDir::cleanPath(folder));
        }
        xml.writeEndElement();
        xml.writeEmptyElement(QStringLiteral("OwnerAliases"));
        xml.writeEndElement();
        xml.writeEndElement();
        xml.writeEndElement();
        xml.writeEndElement();
        return !xml.hasError() && file.flush();
    }

    // 'base' with this profile and, for the real client, the Java options of a test: connections
    // tried 'connectTries' times after the first (0: a refused one fails at once; a test that
    // gets file contents needs 1, since with 0 the client skips every download).
    QProcessEnvironment
    environment(const QProcessEnvironment &base = QProcessEnvironment::systemEnvironment(),
                int connectTries = 0) const
    {
        QProcessEnvironment environment = base;
        environment.insert(QStringLiteral("TEE_PROFILE_DIRECTORY"), path());
        const QString java = QStringLiteral("TF_ADDITIONAL_JAVA_ARGS");
        const QString retry =
            QStringLiteral("-Dcom.microsoft.tfs.core.maxRequestRetry=%1").arg(connectTries);
        const QString own = environment.value(java).trimmed();
        environment.insert(java, own.isEmpty() ? retry : own + QLatin1Char(' ') + retry);
        return environment;
    }

private:
    // As "tf eula -accept" leaves it, without paying a client's start.
    bool acceptLicence() const
    {
        if (!QDir().mkpath(QFileInfo(licenceFile()).path()))
            return false;
        QFile file(licenceFile());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write("<ProductIdData><eula-14.0 value=\"true\"/></ProductIdData>") > 0;
    }

    QTemporaryDir m_dir;
    bool m_valid = false;
};

// A collection URL on the loopback interface where nothing listens: a connection is refused at
// once, so a command that gets as far as contacting the server ends there.
inline QString closedCollectionUrl()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return QStringLiteral("http://127.0.0.1:9/tfs/DefaultCollection");
    const quint16 port = server.serverPort();
    server.close();
    return QStringLiteral("http://127.0.0.1:%1/tfs/DefaultCollection").arg(port);
}

// Runs 'executable' with 'arguments' in 'workingDirectory' and 'environment', hands it 'input'
// on its standard input and closes that, and waits for its end.
inline Outcome run(const QString &executable, const QStringList &arguments,
                   const QString &workingDirectory, const QProcessEnvironment &environment,
                   const QByteArray &input = QByteArray(), int timeOutMs = 180000)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessEnvironment(environment);
    process.start(executable, arguments);
    Outcome outcome;
    if (!process.waitForStarted(30000))
        return outcome;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeOutMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        outcome.finished = process.exitStatus() == QProcess::NormalExit;
        outcome.exitCode = process.exitCode();
    }
    outcome.stdOut = QString::fromUtf8(process.readAllStandardOutput());
    outcome.stdErr = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

// Runs many command lines (as the lines of "tf @" take them) in ONE client started as
// "tf @ -continueOnError -outputSeparator:SEPARATOR", so that the tier pays one start for all
// of them; each line gets "-exitcode" so that its own exit code is printed. The outcome of
// each line: its exit code (-1 where the client printed none, as after an argument error),
// its standard output without the exit-code line, its standard error. Fewer outcomes than
// lines mean that the client stopped early; 'whole' gets the run's own outcome. "tf @"
// replaces "%1", "%2" ... in a line by the words of its own command line: the lines are
// written as for a client with such words (WarmRunner::standardInputLine).
inline QList<Outcome> runLines(const QString &executable, const QStringList &lines,
                               const QString &workingDirectory,
                               const QProcessEnvironment &environment, Outcome *whole = nullptr)
{
    const QString separator = QStringLiteral("=====real-client-tier=====");
    QByteArray input;
    for (const QString &line : lines)
        input += (line + QStringLiteral(" -exitcode\n")).toUtf8();
    const Outcome all = run(executable,
                            {QStringLiteral("@"), QStringLiteral("-continueOnError"),
                             QStringLiteral("-outputSeparator:") + separator},
                            workingDirectory, environment, input);
    if (whole)
        *whole = all;
    const QStringList out = all.stdOut.split(separator + QLatin1Char('\n'));
    const QStringList err = all.stdErr.split(separator + QLatin1Char('\n'));
    // The exit code is the last thing a line prints; a question left without its line end
    // (the licence's) runs into it.
    const QRegularExpression exitLine(QStringLiteral("ExitCode: (-?\\d+)\\n\\n?$"));
    QList<Outcome> outcomes;
    for (int i = 0; i + 1 < out.size() && i + 1 < err.size(); ++i) {
        Outcome line;
        line.finished = true;
        line.stdOut = out.at(i);
        line.stdErr = err.at(i);
        const QRegularExpressionMatch match = exitLine.match(line.stdOut);
        if (match.hasMatch()) {
            line.exitCode = match.captured(1).toInt();
            line.stdOut.truncate(match.capturedStart());
        }
        outcomes << line;
    }
    return outcomes;
}

} // namespace RealClient
