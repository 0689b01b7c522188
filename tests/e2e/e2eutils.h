#pragma once

// What both end-to-end suites need around a run of the workbench executable.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace E2e {

// How one run of a program ended, with everything it printed.
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

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
