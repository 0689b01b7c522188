#pragma once

// What both end-to-end suites need around a run of the workbench executable.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace E2e {

// How one run of a program ended, with everything it printed.
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs 'program' to its end (at most two minutes, then it is killed); an empty environment
// is the test's own. A crash gives the exit code -2.
inline Run runProgram(const QString &program, const QStringList &arguments,
                      const QProcessEnvironment &environment = QProcessEnvironment(),
                      const QString &workingDirectory = QString())
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
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

// The stand-in tf keeps what the cross-platform client keeps, its licence acceptance and its
// workspace cache, in the profile folder that TEE_PROFILE_DIRECTORY names: a test gives it one
// below its own directory, never the home of whoever runs the tests, and accepts the licence
// there up front, as a person would. Returns what went wrong, empty when nothing did.
inline QString acceptLicence(const QString &tf, const QString &profile)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TEE_PROFILE_DIRECTORY"), profile);
    const Run run = runProgram(tf, {QStringLiteral("eula"), QStringLiteral("-accept")}, environment);
    // 1: it was accepted before.
    if (run.exitCode == 0 || run.exitCode == 1)
        return QString();
    return QStringLiteral("tf eula -accept exited with %1: %2").arg(run.exitCode).arg(run.err);
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes 'content' to 'path', creating missing directories; false when that failed.
inline bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Write permission as a version control grants it: a write bit (root may write any file).
inline bool hasWriteBit(const QString &path)
{
    return QFile::permissions(path) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
}

} // namespace E2e
