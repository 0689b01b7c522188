#include "teamfoundationsettings.h"
#include "teamfoundationconstants.h"

#include <utils/environment.h>
#include <utils/hostosinfo.h>

namespace TeamFoundation {
namespace Internal {

const QLatin1String TeamFoundationSettings::powerToolsBinaryPathKey("PowerToolsBinaryPath");
const QLatin1String TeamFoundationSettings::passwordKey("Password");
const QLatin1String TeamFoundationSettings::clientKindKey("ClientKind");

namespace {
const char VISUAL_STUDIO[] = "VisualStudio";
const char CROSS_PLATFORM[] = "CrossPlatform";

QString clientKindText(ClientKind kind)
{
    return QLatin1String(kind == ClientKind::VisualStudio ? VISUAL_STUDIO : CROSS_PLATFORM);
}
} // namespace

TeamFoundationSettings::TeamFoundationSettings()
{
    setSettingsGroup(QLatin1String(Constants::SETTINGS_GROUP));
    declareKey(binaryPathKey, defaultBinaryPath());
    declareKey(powerToolsBinaryPathKey, QLatin1String("tfpt.exe"));
    declareKey(passwordKey, QString());
    declareKey(clientKindKey, clientKindText(defaultClientKind()));
}

TeamFoundationSettings::~TeamFoundationSettings() = default;

QString TeamFoundationSettings::powerToolsBinaryPath() const
{
    if (!m_powerToolsBinaryFullPath.isEmpty())
        return m_powerToolsBinaryFullPath;
    // Empty entries are kept: the lookup itself decides what they mean.
    const QStringList searchPaths = stringValue(pathKey, QString())
                                        .split(Utils::HostOsInfo::pathListSeparator(),
                                               Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QString executable = stringValue(powerToolsBinaryPathKey, QString());
    m_powerToolsBinaryFullPath =
        Utils::Environment::systemEnvironment().searchInPath(executable, searchPaths);
    return m_powerToolsBinaryFullPath;
}

QString TeamFoundationSettings::userName() const
{
    return stringValue(userNameKey, QString());
}

QString TeamFoundationSettings::password() const
{
    return stringValue(passwordKey, QString());
}

int TeamFoundationSettings::timeOutMs() const
{
    return intValue(timeoutKey, 0) * 1000;
}

ClientKind TeamFoundationSettings::clientKind() const
{
    const QString text = stringValue(clientKindKey, QString());
    if (text == QLatin1String(VISUAL_STUDIO))
        return ClientKind::VisualStudio;
    if (text == QLatin1String(CROSS_PLATFORM))
        return ClientKind::CrossPlatform;
    return defaultClientKind();
}

void TeamFoundationSettings::setClientKind(ClientKind kind)
{
    setValue(clientKindKey, clientKindText(kind));
}

QString TeamFoundationSettings::defaultBinaryPath()
{
    // Only Windows has tf.exe; elsewhere the cross-platform client is installed as tf.
    return QLatin1String(Utils::HostOsInfo::isWindowsHost() ? "tf.exe" : "tf");
}

ClientKind TeamFoundationSettings::defaultClientKind()
{
    return Utils::HostOsInfo::isWindowsHost() ? ClientKind::VisualStudio
                                              : ClientKind::CrossPlatform;
}

} // namespace Internal
} // namespace TeamFoundation
