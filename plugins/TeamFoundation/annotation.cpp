#include "annotation.h"

#include <utils/textdiff.h>

#include <QVector>

namespace TeamFoundation {
namespace Internal {
namespace Annotation {

QList<Core::AnnotatedLine> annotate(const QList<Version> &versions, const QStringList &current)
{
    // For each line of the text so far, the index of the version that brought it; -1 for
    // the working copy.
    QVector<int> owners;
    QStringList previous;
    auto follow = [&](const QStringList &next, int owner) {
        QVector<int> nextOwners(next.size(), owner);
        for (const Utils::DiffEdit &edit : Utils::TextDiff::diffLines(previous, next)) {
            if (edit.kind == Utils::DiffEdit::Equal)
                nextOwners[edit.newLine] = owners.at(edit.oldLine);
        }
        owners = nextOwners;
        previous = next;
    };
    for (int i = 0; i < versions.size(); ++i)
        follow(versions.at(i).lines, i);
    follow(current, -1);

    QList<Core::AnnotatedLine> lines;
    lines.reserve(current.size());
    for (int i = 0; i < current.size(); ++i) {
        Core::AnnotatedLine line;
        line.text = current.at(i);
        if (owners.at(i) >= 0) {
            const Core::ChangesetInfo &changeset = versions.at(owners.at(i)).changeset;
            line.changeset = changeset.id;
            line.user = changeset.user;
            line.date = changeset.date;
        }
        lines.append(line);
    }
    return lines;
}

} // namespace Annotation
} // namespace Internal
} // namespace TeamFoundation
