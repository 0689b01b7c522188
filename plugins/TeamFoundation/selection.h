#pragma once

#include <QStringList>

namespace TeamFoundation {
namespace Internal {

// Which items at and below a path a command takes: all of them (the whole path, said so), or
// exactly the items named (local files, or server items). An empty list names nothing, and a
// command given nothing runs nothing: "everything" is never spelt as an empty list, so a
// choice that came out empty cannot turn into a command on the whole tree.
class Selection
{
public:
    static Selection wholePath() { return Selection(true, {}); }
    static Selection only(const QStringList &items) { return Selection(false, items); }

    bool isWholePath() const { return m_wholePath; }
    // The named items; empty for the whole path.
    QStringList items() const { return m_items; }
    // Nothing is named: there is nothing to run.
    bool isNothing() const { return !m_wholePath && m_items.isEmpty(); }

    bool operator==(const Selection &other) const
    {
        return m_wholePath == other.m_wholePath && m_items == other.m_items;
    }

private:
    Selection(bool wholePath, const QStringList &items) : m_wholePath(wholePath), m_items(items) {}

    bool m_wholePath;
    QStringList m_items;
};

} // namespace Internal
} // namespace TeamFoundation
