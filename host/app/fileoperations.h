#pragma once

#include "outcome.h"

#include <QByteArray>
#include <QString>

namespace Core {
class IVersionControl;
}

namespace Workbench {

// The IDE's own file handling, done together with the version control that manages the
// file's directory: creating, deleting and renaming files of the project, opening a
// write-protected file for editing, and annotating.
//
// The file system is the host's business and the record of the change the version control's:
// - create: the host writes the file, then the version control adds it;
// - delete and rename of a file the version control manages: the version control does the
//   operation (its client changes the disk as well); the host finishes what is left on disk.
//   When the version control refuses, the file stays as it was, so that the working copy and
//   the repository never disagree behind the user's back;
// - delete and rename of a file it does not manage (not added yet, or no version control):
//   the host alone changes the disk.
namespace FileOperations {

// Whether 'file' is an existing file that may be written. A file without any write
// permission bit counts as write-protected even for a user (such as root) whom the system
// would let write it: version controls protect the files not opened for editing that way.
bool isWritableFile(const QString &file);

// The version control that manages the directory of 'file', or null.
Core::IVersionControl *versionControlFor(const QString &file, QString *topLevel = nullptr);

// Makes a write-protected file writable through its version control, when that opens files
// for editing. Success means the file is writable now.
Outcome openForEditing(const QString &file);
// Creates 'file' (and missing parent directories) with 'content'; never overwrites.
Outcome createFile(const QString &file, const QByteArray &content);
Outcome deleteFile(const QString &file);
// Renames or moves 'from' to 'to'; never overwrites 'to'.
Outcome renameFile(const QString &from, const QString &to);
Outcome annotate(const QString &file, int line);

} // namespace FileOperations
} // namespace Workbench
