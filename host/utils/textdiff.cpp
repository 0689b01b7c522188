#include "textdiff.h"

#include <QHash>
#include <QTextCodec>

#include <dtl/dtl.hpp>

#include <algorithm>
#include <vector>

namespace Utils {

DecodedText DecodedText::decode(const QByteArray &bytes)
{
    DecodedText decoded;
    QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
    QTextCodec *codec = QTextCodec::codecForUtfText(bytes, utf8);
    // UTF-16 and UTF-32 text is full of NUL bytes; elsewhere one means the file is no text.
    if (codec == utf8 && bytes.contains('\0')) {
        decoded.binary = true;
        return decoded;
    }
    QString text = codec->toUnicode(bytes);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    if (text.isEmpty())
        return decoded;
    decoded.lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        decoded.lines.removeLast();
    for (QString &line : decoded.lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return decoded;
}

namespace TextDiff {

namespace {
// The shortest edit script of two sequences of numbers (equal numbers, equal elements), with
// the deletions of each changed stretch before its insertions.
QVector<DiffEdit> diffNumbers(const std::vector<int> &a, const std::vector<int> &b)
{
    QVector<DiffEdit> edits;
    edits.reserve(int(std::max(a.size(), b.size())));
    if (a.empty() || b.empty()) {
        // dtl needs something on both sides to walk.
        for (int i = 0; i < int(a.size()); ++i)
            edits.append({DiffEdit::Deleted, i, -1});
        for (int j = 0; j < int(b.size()); ++j)
            edits.append({DiffEdit::Inserted, -1, j});
        return edits;
    }
    dtl::Diff<int> diff(a, b, true);
    diff.onHuge();
    diff.compose();
    for (const auto &element : diff.getSes().getSequence()) {
        const dtl::elemInfo &info = element.second;
        switch (info.type) {
        case dtl::SES_COMMON:
            edits.append({DiffEdit::Equal, int(info.beforeIdx - 1), int(info.afterIdx - 1)});
            break;
        case dtl::SES_DELETE:
            edits.append({DiffEdit::Deleted, int(info.beforeIdx - 1), -1});
            break;
        default:
            edits.append({DiffEdit::Inserted, -1, int(info.afterIdx - 1)});
            break;
        }
    }
    // Within each changed stretch, what goes before what comes.
    for (int i = 0; i < edits.size();) {
        if (edits.at(i).kind == DiffEdit::Equal) {
            ++i;
            continue;
        }
        int end = i;
        while (end < edits.size() && edits.at(end).kind != DiffEdit::Equal)
            ++end;
        std::stable_partition(edits.begin() + i, edits.begin() + end,
                              [](const DiffEdit &e) { return e.kind == DiffEdit::Deleted; });
        i = end;
    }
    return edits;
}

template <typename T> std::vector<int> numbered(const QVector<T> &items, QHash<T, int> *numbers)
{
    std::vector<int> result;
    result.reserve(size_t(items.size()));
    for (const T &item : items)
        result.push_back(numbers->insert(item, numbers->value(item, numbers->size())).value());
    return result;
}

// The words of a line: runs of letters, digits and '_', runs of white space, and each other
// character on its own, as (start, length).
QVector<QPair<int, int>> words(const QString &line)
{
    QVector<QPair<int, int>> result;
    auto classOf = [](QChar c) {
        if (c.isLetterOrNumber() || c == QLatin1Char('_'))
            return 1;
        return c.isSpace() ? 2 : 3;
    };
    for (int i = 0; i < line.size();) {
        const int kind = classOf(line.at(i));
        int end = i + 1;
        if (kind != 3) {
            while (end < line.size() && classOf(line.at(end)) == kind)
                ++end;
        }
        result.append({i, end - i});
        i = end;
    }
    return result;
}
} // namespace

QVector<DiffEdit> diffLines(const QStringList &oldLines, const QStringList &newLines)
{
    QHash<QString, int> numbers;
    return diffNumbers(numbered(oldLines.toVector(), &numbers),
                       numbered(newLines.toVector(), &numbers));
}

QVector<DiffHunk> hunks(const QVector<DiffEdit> &edits, int context)
{
    QVector<DiffHunk> result;
    int i = 0;
    while (i < edits.size()) {
        while (i < edits.size() && edits.at(i).kind == DiffEdit::Equal)
            ++i;
        if (i == edits.size())
            break;
        const int first = std::max(0, i - context);
        // Extend over changes whose context would touch this hunk's.
        int last = i;
        for (int j = i; j < edits.size(); ++j) {
            if (edits.at(j).kind != DiffEdit::Equal)
                last = j;
            else if (j - last > 2 * context)
                break;
        }
        const int end = std::min(int(edits.size()), last + 1 + context);
        DiffHunk hunk;
        hunk.firstEdit = first;
        hunk.editCount = end - first;
        hunk.oldStart = -1;
        hunk.newStart = -1;
        // Where each side starts: its first line in the hunk, else the line after the place.
        int oldNext = 0;
        int newNext = 0;
        for (int j = first - 1; j >= 0; --j) {
            if (oldNext == 0 && edits.at(j).oldLine >= 0)
                oldNext = edits.at(j).oldLine + 1;
            if (newNext == 0 && edits.at(j).newLine >= 0)
                newNext = edits.at(j).newLine + 1;
            if (oldNext && newNext)
                break;
        }
        for (int j = first; j < end; ++j) {
            const DiffEdit &e = edits.at(j);
            if (e.oldLine >= 0) {
                if (hunk.oldStart < 0)
                    hunk.oldStart = e.oldLine;
                ++hunk.oldCount;
            }
            if (e.newLine >= 0) {
                if (hunk.newStart < 0)
                    hunk.newStart = e.newLine;
                ++hunk.newCount;
            }
        }
        if (hunk.oldStart < 0)
            hunk.oldStart = oldNext;
        if (hunk.newStart < 0)
            hunk.newStart = newNext;
        result.append(hunk);
        i = end;
    }
    return result;
}

QString unified(const QString &oldLabel, const QStringList &oldLines, const QString &newLabel,
                const QStringList &newLines, int context)
{
    const QVector<DiffEdit> edits = diffLines(oldLines, newLines);
    const QVector<DiffHunk> found = hunks(edits, context);
    if (found.isEmpty())
        return QString();
    QString text = QStringLiteral("--- %1\n+++ %2\n").arg(oldLabel, newLabel);
    // An empty side is numbered from the line before it, as diff -u does.
    auto range = [](int start, int count) {
        const int shown = count == 0 ? start : start + 1;
        return count == 1 ? QString::number(shown) : QStringLiteral("%1,%2").arg(shown).arg(count);
    };
    for (const DiffHunk &hunk : found) {
        text += QStringLiteral("@@ -%1 +%2 @@\n")
                    .arg(range(hunk.oldStart, hunk.oldCount), range(hunk.newStart, hunk.newCount));
        for (int j = hunk.firstEdit; j < hunk.firstEdit + hunk.editCount; ++j) {
            const DiffEdit &e = edits.at(j);
            if (e.kind == DiffEdit::Equal)
                text += QLatin1Char(' ') + oldLines.at(e.oldLine);
            else if (e.kind == DiffEdit::Deleted)
                text += QLatin1Char('-') + oldLines.at(e.oldLine);
            else
                text += QLatin1Char('+') + newLines.at(e.newLine);
            text += QLatin1Char('\n');
        }
    }
    return text;
}

void changedWords(const QString &oldLine, const QString &newLine,
                  QVector<QPair<int, int>> *oldRanges, QVector<QPair<int, int>> *newRanges)
{
    oldRanges->clear();
    newRanges->clear();
    const QVector<QPair<int, int>> oldWords = words(oldLine);
    const QVector<QPair<int, int>> newWords = words(newLine);
    QVector<QString> oldTexts;
    QVector<QString> newTexts;
    for (const auto &w : oldWords)
        oldTexts.append(oldLine.mid(w.first, w.second));
    for (const auto &w : newWords)
        newTexts.append(newLine.mid(w.first, w.second));
    QHash<QString, int> numbers;
    const QVector<DiffEdit> edits =
        diffNumbers(numbered(oldTexts, &numbers), numbered(newTexts, &numbers));
    // Neighbouring changed words make one range.
    auto add = [](QVector<QPair<int, int>> *ranges, const QPair<int, int> &word) {
        if (!ranges->isEmpty() && ranges->last().first + ranges->last().second == word.first)
            ranges->last().second += word.second;
        else
            ranges->append(word);
    };
    for (const DiffEdit &e : edits) {
        if (e.kind == DiffEdit::Deleted)
            add(oldRanges, oldWords.at(e.oldLine));
        else if (e.kind == DiffEdit::Inserted)
            add(newRanges, newWords.at(e.newLine));
    }
}

} // namespace TextDiff
} // namespace Utils
