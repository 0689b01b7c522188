#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace VcsBase {

// A record of declared keys with defaults and current values, stored under a group of
// the host's settings store.
class VcsBaseClientSettings
{
public:
    static const QLatin1String binaryPathKey;
    static const QLatin1String userNameKey;
    static const QLatin1String timeoutKey;
    static const QLatin1String pathKey;

    VcsBaseClientSettings();
    VcsBaseClientSettings(const VcsBaseClientSettings &other) = default;
    VcsBaseClientSettings &operator=(const VcsBaseClientSettings &other) = default;
    virtual ~VcsBaseClientSettings();

    // Loads the declared keys from the group; a key that is missing, or whose stored value
    // cannot be read as the declared type, keeps its default.
    void readSettings(const QSettings *settings);
    void writeSettings(QSettings *settings) const;

    bool equals(const VcsBaseClientSettings &rhs) const;
    bool operator==(const VcsBaseClientSettings &rhs) const { return equals(rhs); }
    bool operator!=(const VcsBaseClientSettings &rhs) const { return !equals(rhs); }

    QStringList keys() const { return m_values.keys(); }
    bool hasKey(const QString &key) const { return m_values.contains(key); }
    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &v);
    QVariant defaultValue(const QString &key) const { return m_defaults.value(key); }
    QString stringValue(const QString &key, const QString &defaultValue = QString()) const;
    int intValue(const QString &key, int defaultValue = 0) const;
    bool boolValue(const QString &key, bool defaultValue = false) const;

    // The full path of the executable named under binaryPathKey, looked up in the
    // directories under pathKey and then PATH; empty when there is none.
    QString binaryPath() const;
    QStringList searchPathList() const;

    QString settingsGroup() const { return m_group; }

protected:
    void setSettingsGroup(const QString &group) { m_group = group; }
    void declareKey(const QString &key, const QVariant &defaultValue);
    virtual void readLegacySettings(const QSettings *settings) { Q_UNUSED(settings) }

private:
    QString m_group;
    QMap<QString, QVariant> m_values;
    QMap<QString, QVariant> m_defaults;
};

} // namespace VcsBase
