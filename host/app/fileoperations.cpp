#include "fileoperations.h"

#include <core/iversioncontrol.h>
#include <core/vcsmanager.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Workbench {
namespace FileOperations {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("Workbench::FileOperations", text);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool managesFile(Core::IVersionControl *vc, const QString &file)
{
    const QFileInfo info(file);
    return vc->managesFile(info.absolutePath(), info.fileName());
}

Outcome makeParentDirectory(const QString &file)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (QFileInfo(dir).isDir())
        return Outcome::success();
    if (!QDir().mkpath(dir))
        return Outcome::failure(tr("The directory %1 could not be created.").arg(shown(dir)));
    return Outcome::success();
}
} // namespace

bool isWritableFile(const QString &file)
{
    // A fresh look at the disk: QFileInfo caches what it read.
    const QFileInfo info(file);
    const QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isFile() && info.isWritable() && (info.permissions() & anyWrite);
}

Core::IVersionControl *versionControlFor(const QString &file, QString *topLevel)
{
    return Core::VcsManager::findVersionControlForDirectory(QFileInfo(file).absolutePath(),
                                                            topLevel);
}

Outcome openForEditing(const QString &file)
{
    const QFileInfo info(file);
    if (!info.isFile())
        return Outcome::failure(tr("%1 is not an existing file.").arg(shown(file)));
    if (isWritableFile(file))
        return Outcome::success();
    Core::IVersionControl *vc = versionControlFor(file);
    if (!vc) {
        return Outcome::failure(
            tr("%1 is read-only and no version control manages it; it was not changed.")
                .arg(shown(file)));
    }
    if (vc->openSupportMode() == Core::IVersionControl::NoOpen) {
        return Outcome::failure(
            tr("%1 is read-only and %2 does not open files for editing; it was not changed.")
                .arg(shown(file), vc->displayName()));
    }
    if (!vc->vcsOpen(file)) {
        const QString why = vc->lastFailure();
        if (why.isEmpty()) {
            return Outcome::failure(tr("%1 could not open %2 for editing; it was not changed.")
                                        .arg(vc->displayName(), shown(file)));
        }
        return Outcome::failure(tr("%1 could not open %2 for editing (%3); it was not changed.")
                                    .arg(vc->displayName(), shown(file), why));
    }
    if (!isWritableFile(file)) {
        return Outcome::failure(
            tr("%1 reported %2 as opened for editing, but it is still read-only; "
               "it was not changed.")
                .arg(vc->displayName(), shown(file)));
    }
    return Outcome::success();
}

Outcome createFile(const QString &file, const QByteArray &content)
{
    if (QFileInfo::exists(file))
        return Outcome::failure(tr("%1 already exists.").arg(shown(file)));
    const Outcome parent = makeParentDirectory(file);
    if (!parent.ok)
        return parent;
    QFile out(file);
    // NewOnly: a file that appeared meanwhile is never overwritten.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return Outcome::failure(
            tr("%1 could not be created: %2").arg(shown(file), out.errorString()));
    }
    if (out.write(content) != content.size() || !out.flush()) {
        const QString error = out.errorString();
        out.close();
        out.remove();
        return Outcome::failure(tr("%1 could not be written: %2").arg(shown(file), error));
    }
    out.close();

    Core::IVersionControl *vc = versionControlFor(file);
    if (vc && vc->supportsOperation(Core::IVersionControl::AddOperation) && !vc->vcsAdd(file)) {
        return Outcome::failure(
            tr("%1 was created, but %2 could not add it.").arg(shown(file), vc->displayName()));
    }
    return Outcome::success();
}

Outcome deleteFile(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists())
        return Outcome::failure(tr("%1 does not exist.").arg(shown(file)));
    if (!info.isFile())
        return Outcome::failure(tr("%1 is not a file; only files are deleted.").arg(shown(file)));

    Core::IVersionControl *vc = versionControlFor(file);
    if (vc && vc->supportsOperation(Core::IVersionControl::DeleteOperation) &&
        managesFile(vc, file)) {
        if (!vc->vcsDelete(file)) {
            return Outcome::failure(tr("%1 could not delete %2; the file was kept.")
                                        .arg(vc->displayName(), shown(file)));
        }
    }
    if (QFileInfo::exists(file) && !QFile::remove(file))
        return Outcome::failure(tr("%1 could not be removed from the disk.").arg(shown(file)));
    return Outcome::success();
}

Outcome renameFile(const QString &from, const QString &to)
{
    const QFileInfo info(from);
    if (!info.exists())
        return Outcome::failure(tr("%1 does not exist.").arg(shown(from)));
    if (!info.isFile())
        return Outcome::failure(tr("%1 is not a file; only files are renamed.").arg(shown(from)));
    if (QFileInfo::exists(to))
        return Outcome::failure(tr("%1 already exists; nothing was renamed.").arg(shown(to)));
    const Outcome parent = makeParentDirectory(to);
    if (!parent.ok)
        return parent;

    Core::IVersionControl *vc = versionControlFor(from);
    if (vc && vc->supportsOperation(Core::IVersionControl::MoveOperation) &&
        managesFile(vc, from)) {
        if (!vc->vcsMove(from, to)) {
            return Outcome::failure(tr("%1 could not rename %2; the file was kept as it was.")
                                        .arg(vc->displayName(), shown(from)));
        }
        // A version control that only records the move leaves the disk to the host.
        if (QFileInfo::exists(from) && !QFileInfo::exists(to) && !QFile::rename(from, to)) {
            return Outcome::failure(tr("%1 recorded the rename, but %2 could not be renamed.")
                                        .arg(vc->displayName(), shown(from)));
        }
        if (!QFileInfo::exists(to)) {
            return Outcome::failure(tr("%1 reported the rename, but %2 does not exist.")
                                        .arg(vc->displayName(), shown(to)));
        }
        return Outcome::success();
    }
    if (!QFile::rename(from, to))
        return Outcome::failure(tr("%1 could not be renamed to %2.").arg(shown(from), shown(to)));
    return Outcome::success();
}

Outcome annotate(const QString &file, int line)
{
    if (!QFileInfo(file).isFile())
        return Outcome::failure(tr("%1 is not an existing file.").arg(shown(file)));
    if (line < 1)
        return Outcome::failure(tr("Line %1 does not exist; lines count from 1.").arg(line));
    Core::IVersionControl *vc = versionControlFor(file);
    if (!vc)
        return Outcome::failure(tr("No version control manages %1.").arg(shown(file)));
    if (!vc->supportsOperation(Core::IVersionControl::AnnotateOperation))
        return Outcome::failure(tr("%1 does not annotate files.").arg(vc->displayName()));
    if (!vc->vcsAnnotate(file, line)) {
        return Outcome::failure(
            tr("%1 could not annotate %2.").arg(vc->displayName(), shown(file)));
    }
    return Outcome::success();
}

} // namespace FileOperations
} // namespace Workbench
