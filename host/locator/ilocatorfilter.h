#pragma once

#include <core/id.h>

#include <QObject>
#include <QVariant>

namespace Locator {

class ILocatorFilter;

// One line that a filter offers for the text typed into the locator.
struct LocatorFilterEntry
{
    ILocatorFilter *filter = nullptr;
    QString displayName;
    QVariant internalData;
};

// A source of locator entries, chosen by its prefix ("tfs check ...").
class ILocatorFilter : public QObject
{
    Q_OBJECT
public:
    explicit ILocatorFilter(QObject *parent = nullptr) : QObject(parent) {}
    ~ILocatorFilter() override = default;

    Core::Id id() const { return m_id; }
    QString displayName() const { return m_displayName; }
    QString shortcutString() const { return m_shortcut; }
    bool isEnabled() const { return m_enabled; }

    void setId(Core::Id id) { m_id = id; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    void setShortcutString(const QString &shortcut) { m_shortcut = shortcut; }

    virtual QList<LocatorFilterEntry> matchesFor(const QString &entry) = 0;
    virtual void accept(const LocatorFilterEntry &selection) const = 0;

public slots:
    void setEnabled(bool enabled) { m_enabled = enabled; }

private:
    Core::Id m_id;
    QString m_displayName;
    QString m_shortcut;
    bool m_enabled = true;
};

} // namespace Locator
