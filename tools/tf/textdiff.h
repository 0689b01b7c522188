#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace Tf {

// Line-based comparison, used for "difference" and to carry line
// attributions from one version of a file to the next in "annotate".
struct DiffOp
{
    enum Kind { Equal, Delete, Insert };
    Kind kind;
    int oldLine; // index into the old lines (Equal, Delete), else -1
    int newLine; // index into the new lines (Equal, Insert), else -1
};

QStringList splitLines(const QByteArray &content);

// A shortest edit script between the two line lists. Very large changed
// regions fall back to "all old lines deleted, all new inserted" instead of
// spending quadratic memory; the result stays correct, only less minimal.
QVector<DiffOp> diffLines(const QStringList &oldLines, const QStringList &newLines);

// The unified diff of the two texts with three lines of context, headed by the
// two labels; empty when the texts are equal.
QString unifiedDiff(const QString &oldLabel, const QByteArray &oldContent,
                    const QString &newLabel, const QByteArray &newContent);

} // namespace Tf
