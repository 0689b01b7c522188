#pragma once

#include <teamfoundationrunner.h>
#include <teamfoundationsettings.h>
#include <vcsbase/vcsbaseplugin.h>

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace Core {
class HostServices;
}
namespace VcsBase {
class JobQueue;
}
namespace TeamFoundation {
namespace Internal {
class TeamFoundationPlugin;
}
} // namespace TeamFoundation
class QDialog;

// One command the recording stand-in ran, as it wrote it down.
struct Recorded
{
    QString name;
    QString workingDirectory;
    QStringList arguments;
    QString via;         // "stdin" for a command read by "tf @", "argv" for one on its command line
    QStringList argv;    // the process's own arguments: what the process list shows
    qint64 pid = 0;
};

// A process start of the recording stand-in.
struct Started
{
    qint64 pid = 0;
    QStringList argv;
};

// A run the client handed to its runner.
struct Handed
{
    TeamFoundation::Internal::TeamFoundationCommand command;
    bool job = false;
};

// A host for one test: a settings store in a temporary directory, the workbench's host
// services and job queue (made and torn down in the workbench's order) with the Tools menu,
// the plugin loaded from its library through the plugin manager with a recording runner put
// around the client's own, and a sandbox with the recording stand-in installed as "tf" and
// "tfpt". No session bus is reachable, so no system keychain either.
class TestHost
{
public:
    TestHost();
    ~TestHost();

    // Loads and initializes the plugin; settings written before this are what it reads.
    TeamFoundation::Internal::TeamFoundationPlugin *loadPlugin();
    TeamFoundation::Internal::TeamFoundationPlugin *plugin() const { return m_plugin; }

    QString sandbox() const { return m_dir.path(); }
    QString settingsDirectory() const { return m_dir.path() + QLatin1String("/settings"); }
    QString tfPath() const { return m_dir.path() + QLatin1String("/bin/tf"); }
    QString tfptPath() const { return m_dir.path() + QLatin1String("/bin/tfpt"); }
    QString logPath() const { return m_dir.path() + QLatin1String("/runs.log"); }
    // The cross-platform client's profile (TEE_PROFILE_DIRECTORY), licence accepted: its
    // workspace cache is Cache/VersionControl.config in it.
    QString profileDirectory() const { return m_dir.path() + QLatin1String("/profile"); }
    // Writes the workspace cache as the cross-platform client writes it, one workspace
    // mapping 'mappedPaths' (absolute local paths); returns the file's path.
    QString writeWorkspaceCache(const QStringList &mappedPaths) const;
    QString startLogPath() const { return m_dir.path() + QLatin1String("/starts.log"); }
    // Makes a directory (with parents) in the sandbox and returns its absolute path.
    QString makeDirectory(const QString &relativePath) const;
    // Writes a file in the sandbox and returns its absolute path.
    QString makeFile(const QString &relativePath, const QByteArray &content = QByteArray("x\n")) const;

    // Makes the loaded plugin see 'file' (may be empty) in 'topLevel' as the host's current state.
    void setCurrentFile(const QString &file, const QString &topLevel) const;

    // Writes tf and tfpt paths, the client kind, and optionally credentials and a time-out,
    // to the store and hands them to the plugin when it is loaded. Most tests check tf.exe's
    // command lines, so that is the kind unless they ask for another.
    void configure(const QString &user = QString(), const QString &password = QString(),
                   int timeoutSeconds = 30,
                   TeamFoundation::Internal::ClientKind kind =
                       TeamFoundation::Internal::ClientKind::VisualStudio);

    // Has 'answer' handle the next modal dialog that opens while this host lives, once it
    // runs; when none opens, 'answer' is left unused.
    void answerNextDialog(std::function<void(QDialog *)> answer);

    // Lets the queued jobs run until none runs or waits.
    void waitForJobs();
    // Every command the stand-in ran since the last call (or the start), once the jobs ended.
    QList<Recorded> takeRuns();
    // Every run the client handed to its runner since the last call.
    QList<Handed> takeHanded();
    // The processes of the stand-in started since the last call.
    QList<Started> takeStarts();
    // Soft-assertion messages since the last call.
    QStringList takeAsserts();

    // Sets environment variables that script the stand-in (TFREC_*); cleared on destruction.
    void setResponse(const char *name, const QByteArray &value);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Core::HostServices> m_services;
    std::unique_ptr<VcsBase::JobQueue> m_jobQueue;
    TeamFoundation::Internal::TeamFoundationPlugin *m_plugin = nullptr;
    QList<Handed> m_handed;
    QStringList m_asserts;
    QList<QByteArray> m_responseVariables;
    QObject m_dialogAnswers; // what answerNextDialog() left behind goes with it
};
