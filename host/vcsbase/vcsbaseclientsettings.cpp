#include "vcsbaseclientsettings.h"

#include <utils/environment.h>
#include <utils/hostosinfo.h>

#include <QSettings>

namespace VcsBase {

const QLatin1String VcsBaseClientSettings::binaryPathKey("BinaryPath");
const QLatin1String VcsBaseClientSettings::userNameKey("Username");
const QLatin1String VcsBaseClientSettings::timeoutKey("Timeout");
const QLatin1String VcsBaseClientSettings::pathKey("Path");

VcsBaseClientSettings::VcsBaseClientSettings()
{
    declareKey(binaryPathKey, QString());
    declareKey(userNameKey, QString());
    declareKey(timeoutKey, 30);
    declareKey(pathKey, QString());
}

VcsBaseClientSettings::~VcsBaseClientSettings() = default;

void VcsBaseClientSettings::declareKey(const QString &key, const QVariant &defaultValue)
{
    m_defaults.insert(key, defaultValue);
    m_values.insert(key, defaultValue);
}

QVariant VcsBaseClientSettings::value(const QString &key) const
{
    return m_values.value(key);
}

void VcsBaseClientSettings::setValue(const QString &key, const QVariant &v)
{
    if (m_values.contains(key))
        m_values.insert(key, v);
}

QString VcsBaseClientSettings::stringValue(const QString &key, const QString &defaultValue) const
{
    const QVariant v = m_values.value(key);
    return v.canConvert<QString>() ? v.toString() : defaultValue;
}

int VcsBaseClientSettings::intValue(const QString &key, int defaultValue) const
{
    const QVariant v = m_values.value(key);
    bool ok = false;
    const int i = v.toInt(&ok);
    return ok ? i : defaultValue;
}

bool VcsBaseClientSettings::boolValue(const QString &key, bool defaultValue) const
{
    const QVariant v = m_values.value(key);
    return v.canConvert<bool>() ? v.toBool() : defaultValue;
}

bool VcsBaseClientSettings::equals(const VcsBaseClientSettings &rhs) const
{
    if (this == &rhs)
        return true;
    return m_values == rhs.m_values;
}

void VcsBaseClientSettings::readSettings(const QSettings *settings)
{
    const QString prefix = m_group.isEmpty() ? QString() : m_group + QLatin1Char('/');
    for (auto it = m_defaults.constBegin(); it != m_defaults.constEnd(); ++it) {
        const QVariant stored = settings->value(prefix + it.key());
        if (!stored.isValid()) {
            m_values.insert(it.key(), it.value());
            continue;
        }
        QVariant converted = stored;
        if (it.value().isValid() && it.value().userType() != stored.userType()
            && !converted.convert(it.value().userType())) {
            // A value the store cannot give as the declared type: keep the default.
            m_values.insert(it.key(), it.value());
            continue;
        }
        m_values.insert(it.key(), converted);
    }
    readLegacySettings(settings);
}

void VcsBaseClientSettings::writeSettings(QSettings *settings) const
{
    const QString prefix = m_group.isEmpty() ? QString() : m_group + QLatin1Char('/');
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it)
        settings->setValue(prefix + it.key(), it.value());
}

QStringList VcsBaseClientSettings::searchPathList() const
{
    return stringValue(pathKey).split(Utils::HostOsInfo::pathListSeparator(), Qt::SkipEmptyParts);
}

QString VcsBaseClientSettings::binaryPath() const
{
    return Utils::Environment::systemEnvironment().searchInPath(stringValue(binaryPathKey),
                                                                searchPathList());
}

} // namespace VcsBase
