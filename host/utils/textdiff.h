#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Utils {

// A file's bytes as text, the way the IDE reads files: UTF-8 unless a byte-order mark names
// another Unicode encoding. Binary content (a NUL byte outside UTF-16/32) is not text.
class DecodedText
{
public:
    static DecodedText decode(const QByteArray &bytes);

    bool binary = false;
    // The lines without their line ends ("\n" or "\r\n"); a text ending with a line end has
    // no empty line after it.
    QStringList lines;
};

// One step of a line comparison: a line both texts keep, or one only the old or the new has.
class DiffEdit
{
public:
    enum Kind { Equal, Deleted, Inserted };
    Kind kind;
    int oldLine; // index into the old lines (Equal, Deleted), else -1
    int newLine; // index into the new lines (Equal, Inserted), else -1
};

// A stretch of a comparison with its context, as a unified diff shows it: the edits
// [firstEdit, firstEdit + editCount) of the script.
class DiffHunk
{
public:
    int oldStart = 0; // first old line shown (0-based), and how many
    int oldCount = 0;
    int newStart = 0;
    int newCount = 0;
    int firstEdit = 0;
    int editCount = 0;
};

// Line and word comparisons: a shortest edit script found in O((N+M)·D) time and linear memory
// (Wu, Manber and Myers' O(NP) algorithm of dtl), so that comparing the long versions of a file
// that differ in a few lines costs about as much as reading them.
namespace TextDiff {

// Deleted lines of a changed stretch come before the inserted ones.
QVector<DiffEdit> diffLines(const QStringList &oldLines, const QStringList &newLines);

// The edits grouped into hunks with 'context' lines of context around each change; hunks
// whose context would touch are one.
QVector<DiffHunk> hunks(const QVector<DiffEdit> &edits, int context = 3);

// The unified diff ("---"/"+++" headers, "@@" hunks) of the two texts; empty when they are
// equal. A last line without a line end is not marked: the lines are compared as text.
QString unified(const QString &oldLabel, const QStringList &oldLines, const QString &newLabel,
                const QStringList &newLines, int context = 3);

// The character ranges (start, length) of 'oldLine' and 'newLine' that differ, word by word:
// what to highlight within a changed line.
void changedWords(const QString &oldLine, const QString &newLine,
                  QVector<QPair<int, int>> *oldRanges, QVector<QPair<int, int>> *newRanges);

} // namespace TextDiff
} // namespace Utils
