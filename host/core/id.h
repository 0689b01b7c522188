#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>

namespace Core {

// A name that identifies actions, menus, pages, wizards and version controls.
class Id
{
public:
    Id() = default;
    Id(const char *name) : m_name(name) {}
    explicit Id(const QByteArray &name) : m_name(name) {}
    static Id fromString(const QString &name) { return Id(name.toUtf8()); }

    QByteArray name() const { return m_name; }
    QString toString() const { return QString::fromUtf8(m_name); }
    bool isValid() const { return !m_name.isEmpty(); }

    bool operator==(const Id &other) const { return m_name == other.m_name; }
    bool operator!=(const Id &other) const { return m_name != other.m_name; }
    bool operator<(const Id &other) const { return m_name < other.m_name; }

private:
    QByteArray m_name;
};

inline uint qHash(const Id &id, uint seed = 0)
{
    return ::qHash(id.name(), seed);
}

// The set of Ids in which an action is active.
class Context
{
public:
    Context() = default;
    explicit Context(Id c1) { m_ids.append(c1); }
    Context(Id c1, Id c2) { m_ids << c1 << c2; }

    bool contains(Id id) const { return m_ids.contains(id); }
    int size() const { return m_ids.size(); }
    bool isEmpty() const { return m_ids.isEmpty(); }
    Id at(int i) const { return m_ids.at(i); }
    void add(Id id) { m_ids.append(id); }
    bool operator==(const Context &other) const { return m_ids == other.m_ids; }

private:
    QList<Id> m_ids;
};

namespace Constants {
const char C_GLOBAL[] = "Global Context";
const char M_TOOLS[] = "QtCreator.Menu.Tools";
const char M_FILE[] = "QtCreator.Menu.File";
} // namespace Constants

} // namespace Core

Q_DECLARE_METATYPE(Core::Id)
