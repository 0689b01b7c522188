#include "textdiff.h"

#include <algorithm>
#include <vector>

namespace Tf {

QStringList splitLines(const QByteArray &content)
{
    if (content.isEmpty())
        return {};
    QStringList lines = QString::fromUtf8(content).split('\n');
    if (content.endsWith('\n'))
        lines.removeLast();
    return lines;
}

QVector<DiffOp> diffLines(const QStringList &a, const QStringList &b)
{
    QVector<DiffOp> ops;
    int prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix
           && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;

    for (int i = 0; i < prefix; ++i)
        ops.append({DiffOp::Equal, i, i});

    const int n = a.size() - prefix - suffix;
    const int m = b.size() - prefix - suffix;
    const qint64 cells = qint64(n + 1) * qint64(m + 1);
    if (n > 0 && m > 0 && cells <= 8 * 1000 * 1000) {
        // Longest common subsequence table over the changed middle, filled
        // from the end so that the walk below goes forwards.
        std::vector<int> lcs(size_t(cells), 0);
        auto at = [&](int i, int j) -> int & { return lcs[size_t(i) * size_t(m + 1) + size_t(j)]; };
        for (int i = n - 1; i >= 0; --i) {
            for (int j = m - 1; j >= 0; --j) {
                at(i, j) = a[prefix + i] == b[prefix + j] ? at(i + 1, j + 1) + 1
                                                          : std::max(at(i + 1, j), at(i, j + 1));
            }
        }
        int i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && a[prefix + i] == b[prefix + j]) {
                ops.append({DiffOp::Equal, prefix + i, prefix + j});
                ++i, ++j;
            } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
                // Removed lines before added ones, as readers of diffs expect.
                ops.append({DiffOp::Delete, prefix + i, -1});
                ++i;
            } else {
                ops.append({DiffOp::Insert, -1, prefix + j});
                ++j;
            }
        }
    } else {
        for (int i = 0; i < n; ++i)
            ops.append({DiffOp::Delete, prefix + i, -1});
        for (int j = 0; j < m; ++j)
            ops.append({DiffOp::Insert, -1, prefix + j});
    }

    for (int k = 0; k < suffix; ++k)
        ops.append({DiffOp::Equal, a.size() - suffix + k, b.size() - suffix + k});
    return ops;
}

QString unifiedDiff(const QString &oldLabel, const QByteArray &oldContent,
                    const QString &newLabel, const QByteArray &newContent)
{
    if (oldContent == newContent)
        return QString();
    const QStringList a = splitLines(oldContent);
    const QStringList b = splitLines(newContent);
    const QVector<DiffOp> ops = diffLines(a, b);
    const int context = 3;

    QString out = QString("--- %1\n+++ %2\n").arg(oldLabel, newLabel);
    int k = 0;
    while (k < ops.size()) {
        while (k < ops.size() && ops[k].kind == DiffOp::Equal)
            ++k;
        if (k == ops.size())
            break;
        // A hunk runs from `context` lines before the first change to
        // `context` lines after the last change that is not separated from
        // the next one by more than twice the context.
        const int start = std::max(0, k - context);
        int end = k;
        int lastChange = k;
        while (end < ops.size()) {
            if (ops[end].kind != DiffOp::Equal)
                lastChange = end;
            else if (end - lastChange > 2 * context)
                break;
            ++end;
        }
        end = std::min<int>(ops.size(), lastChange + 1 + context);

        // Lines of each side consumed before the hunk give its positions.
        int oldBefore = 0, newBefore = 0;
        for (int i = 0; i < start; ++i) {
            oldBefore += ops[i].kind != DiffOp::Insert;
            newBefore += ops[i].kind != DiffOp::Delete;
        }
        int oldCount = 0, newCount = 0;
        QString body;
        for (int i = start; i < end; ++i) {
            const DiffOp &op = ops[i];
            oldCount += op.kind != DiffOp::Insert;
            newCount += op.kind != DiffOp::Delete;
            const QChar marker = op.kind == DiffOp::Equal ? ' ' : op.kind == DiffOp::Delete ? '-' : '+';
            body += marker + (op.kind == DiffOp::Insert ? b[op.newLine] : a[op.oldLine]) + '\n';
        }
        // An empty side is reported at the line after which it would go.
        auto range = [](int before, int count) {
            return count == 0 ? QString("%1,0").arg(before) : QString("%1,%2").arg(before + 1).arg(count);
        };
        out += QString("@@ -%1 +%2 @@\n").arg(range(oldBefore, oldCount), range(newBefore, newCount)) + body;
        k = end;
    }
    return out;
}

} // namespace Tf
