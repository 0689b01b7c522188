#pragma once

#include <core/iversionhistory.h>

#include <QList>
#include <QStringList>

namespace TeamFoundation {
namespace Internal {

// Who last changed each line of a file, computed from the texts of its versions: the client
// offers no annotate command on most systems. Each version is compared with the one before
// it (an O(ND) line diff, so 200 versions of 1,000 lines cost about what reading them does);
// a line a version keeps keeps its changeset, a line it brings is the version's.
namespace Annotation {

// One version of the file: its changeset and its lines.
struct Version
{
    Core::ChangesetInfo changeset;
    QStringList lines;
};

// The annotation of 'current' (the file as it is on disk): 'versions' are the checked-in
// versions, oldest first; lines of 'current' that the newest version does not hold are
// changes of the working copy (changeset 0).
QList<Core::AnnotatedLine> annotate(const QList<Version> &versions, const QStringList &current);

} // namespace Annotation
} // namespace Internal
} // namespace TeamFoundation
