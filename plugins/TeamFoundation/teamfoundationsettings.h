#pragma once

#include <vcsbase/vcsbaseclientsettings.h>

namespace TeamFoundation {
namespace Internal {

// Which command-line client the plugin talks to: Windows' tf.exe, or the cross-platform tf
// of Team Explorer Everywhere. They differ in their grammar and in what they show of their own.
// The options page lists them in this order.
enum class ClientKind { VisualStudio, CrossPlatform };

// Where tf.exe and tfpt.exe are, which kind of client tf is, the credentials passed with
// every command, the time-out of a command, and extra directories to look for the
// executables in.
class TeamFoundationSettings : public VcsBase::VcsBaseClientSettings
{
public:
    static const QLatin1String powerToolsBinaryPathKey;
    static const QLatin1String passwordKey;
    static const QLatin1String clientKindKey;

    TeamFoundationSettings();
    TeamFoundationSettings(const TeamFoundationSettings &other) = default;
    TeamFoundationSettings &operator=(const TeamFoundationSettings &other) = default;
    ~TeamFoundationSettings() override;

    // The Power Tools executable found through the search path; remembered once found.
    QString powerToolsBinaryPath() const;
    QString userName() const;
    QString password() const;
    int timeOutMs() const;
    // Text that names no kind (an older or hand-edited store) means the host system's default.
    ClientKind clientKind() const;
    void setClientKind(ClientKind kind);
    // tf.exe on Windows, the cross-platform client everywhere else.
    static ClientKind defaultClientKind();
    // The client as the default kind is installed: "tf.exe" on Windows, "tf" elsewhere.
    static QString defaultBinaryPath();

private:
    mutable QString m_powerToolsBinaryFullPath;
};

} // namespace Internal
} // namespace TeamFoundation
