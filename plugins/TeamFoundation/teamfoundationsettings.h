#pragma once

#include <vcsbase/vcsbaseclientsettings.h>

namespace TeamFoundation {
namespace Internal {

// Where tf.exe and tfpt.exe are, the credentials passed with every command, the time-out
// of a command, and extra directories to look for the executables in.
class TeamFoundationSettings : public VcsBase::VcsBaseClientSettings
{
public:
    static const QLatin1String powerToolsBinaryPathKey;
    static const QLatin1String passwordKey;

    TeamFoundationSettings();
    TeamFoundationSettings(const TeamFoundationSettings &other) = default;
    TeamFoundationSettings &operator=(const TeamFoundationSettings &other) = default;
    ~TeamFoundationSettings() override;

    // The Power Tools executable found through the search path; remembered once found.
    QString powerToolsBinaryPath() const;
    QString userName() const;
    QString password() const;
    int timeOutMs() const;

private:
    mutable QString m_powerToolsBinaryFullPath;
};

} // namespace Internal
} // namespace TeamFoundation
