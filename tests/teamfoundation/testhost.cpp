#include "testhost.h"

#include <core/actionmanager.h>
#include <core/hostservices.h>
#include <core/icore.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/qtcassert.h>

#include <vcsbase/jobqueue.h>

#include <teamfoundationclient.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtTest>

using namespace TeamFoundation::Internal;

namespace {
// Puts down each run that the client hands over, then lets the client's own runner do it.
class RecordingRunner : public TeamFoundationRunner
{
public:
    RecordingRunner(std::unique_ptr<TeamFoundationRunner> inner, QList<Handed> *handed)
        : m_inner(std::move(inner)), m_handed(handed)
    {
    }
    Utils::SynchronousProcessResponse run(const TeamFoundationCommand &command) override
    {
        m_handed->append({command, false});
        return m_inner->run(command);
    }
    VcsBase::VcsJob *job(const TeamFoundationCommand &command) override
    {
        m_handed->append({command, true});
        return m_inner->job(command);
    }
    VcsBase::VcsJob::Starter starter(const QString &executable) override
    {
        return m_inner->starter(executable);
    }

private:
    std::unique_ptr<TeamFoundationRunner> m_inner;
    QList<Handed> *m_handed;
};

QStringList fromBase64(const QJsonValue &list)
{
    QStringList result;
    for (const QJsonValue &v : list.toArray())
        result.append(QString::fromUtf8(QByteArray::fromBase64(v.toString().toLatin1())));
    return result;
}

// The lines of a log the stand-in wrote, as JSON objects; the log is gone afterwards.
QList<QJsonObject> takeLog(const QString &path)
{
    QList<QJsonObject> objects;
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return objects;
    while (!log.atEnd())
        objects.append(QJsonDocument::fromJson(log.readLine()).object());
    log.close();
    log.remove();
    return objects;
}
} // namespace

TestHost::TestHost()
{
    // No test reaches the keychain of the person running it: without a session bus the
    // plugin keeps the password in the settings file, as the tests here expect.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    Core::ICore::setSettingsPath(settingsDirectory());
    m_services = std::make_unique<Core::HostServices>();
    m_jobQueue = std::make_unique<VcsBase::JobQueue>();
    Core::ActionManager::createMenu(Core::Id(Core::Constants::M_TOOLS));

    QDir(m_dir.path()).mkpath(QStringLiteral("bin"));
    QFile::link(QStringLiteral(TFRECORDER_PATH), tfPath());
    QFile::link(QStringLiteral(TFRECORDER_PATH), tfptPath());
    qputenv("TFREC_LOG", logPath().toLocal8Bit());
    qputenv("TFREC_START_LOG", startLogPath().toLocal8Bit());
    // The cross-platform client's profile folder, with its licence accepted as a person would
    // have: what the plugin reads of the client's own files (its licence, its workspace cache)
    // is the sandbox's, not the home's.
    const QString licence = profileDirectory() +
                            QLatin1String("/Configuration/TEE-Mementos/com.microsoft.tfs.client.productid.xml");
    QDir().mkpath(QFileInfo(licence).path());
    QFile accepted(licence);
    if (accepted.open(QIODevice::WriteOnly))
        accepted.write("<ProductIdData><eula-14.0 value=\"true\"/></ProductIdData>");
    qputenv("TEE_PROFILE_DIRECTORY", profileDirectory().toLocal8Bit());
    qunsetenv("TFSVC_CACHE_DIR");

    Utils::setAssertHandler([this](const QString &message) { m_asserts.append(message); });
}

TestHost::~TestHost()
{
    // A job still running ends with its process tree before the plugin that hears of it.
    m_jobQueue.reset();
    m_services.reset();
    VcsBase::VcsBasePlugin::setGlobalState(VcsBase::VcsBasePluginState());
    Utils::setAssertHandler(nullptr);
    qunsetenv("TFREC_LOG");
    qunsetenv("TFREC_START_LOG");
    qunsetenv("TEE_PROFILE_DIRECTORY");
    for (const QByteArray &name : qAsConst(m_responseVariables))
        qunsetenv(name.constData());
}

TeamFoundationPlugin *TestHost::loadPlugin()
{
    ExtensionSystem::PluginManager *manager = m_services->pluginManager();
    manager->loadPlugins(QStringLiteral(PLUGIN_DIR));
    m_plugin = qobject_cast<TeamFoundationPlugin *>(manager->plugins().value(0).plugin);
    if (m_plugin) {
        TeamFoundationClient *client = m_plugin->client();
        client->replaceRunner(
            std::make_unique<RecordingRunner>(client->replaceRunner(nullptr), &m_handed));
    }
    return m_plugin;
}

QString TestHost::makeDirectory(const QString &relativePath) const
{
    QDir(m_dir.path()).mkpath(relativePath);
    return QDir::cleanPath(m_dir.path() + QLatin1Char('/') + relativePath);
}

QString TestHost::makeFile(const QString &relativePath, const QByteArray &content) const
{
    const QString path = QDir::cleanPath(m_dir.path() + QLatin1Char('/') + relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QString TestHost::writeWorkspaceCache(const QStringList &mappedPaths) const
{
    // The layout the client writes (no declaration, two blanks of indent, attributes in
    // alphabetical order); the file is rewritten in place, as the client does.
    QString paths;
    for (const QString &path : mappedPaths)
        paths += QStringLiteral("          <MappedPath path=\"%1\"/>\n").arg(path.toHtmlEscaped());
    const QString xml =
        QStringLiteral("<VersionControlServer>\n"
                       "  <Servers>\n"
                       "    <ServerInfo repositoryGuid=\"ba99f1f5-d1fa-4029-8621-28b72ed1b4fb\" "
                       "uri=\"http://tfs:8080/tfs/DefaultCollection\">\n"
                       "      <WorkspaceInfo "
                       "LastSavedCheckinTimeStamp=\"0001-01-01T00:00:00.000Z\" comment=\"\" "
                       "computer=\"host\" isLocalWorkspace=\"false\" name=\"ws\" options=\"0\" "
                       "ownerDisplayName=\"Ann\" ownerName=\"ann\">\n"
                       "        <MappedPaths>\n%1        </MappedPaths>\n"
                       "        <OwnerAliases/>\n"
                       "      </WorkspaceInfo>\n"
                       "    </ServerInfo>\n"
                       "  </Servers>\n"
                       "</VersionControlServer>\n")
            .arg(paths);
    const QString file = profileDirectory() + QLatin1String("/Cache/VersionControl.config");
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(xml.toUtf8());
    return file;
}

void TestHost::setCurrentFile(const QString &file, const QString &topLevel) const
{
    VcsBase::VcsBasePluginState state;
    state.setFile(file, topLevel, m_plugin->versionControl());
    VcsBase::VcsBasePlugin::setGlobalState(state);
}

void TestHost::configure(const QString &user, const QString &password, int timeoutSeconds,
                         ClientKind kind)
{
    QSettings *settings = Core::ICore::settings();
    settings->beginGroup(QStringLiteral("TeamFoundation"));
    settings->setValue(QStringLiteral("BinaryPath"), tfPath());
    settings->setValue(QStringLiteral("PowerToolsBinaryPath"), tfptPath());
    settings->setValue(QStringLiteral("Username"), user);
    settings->setValue(QStringLiteral("Password"), password);
    settings->setValue(QStringLiteral("Timeout"), timeoutSeconds);
    settings->setValue(QStringLiteral("ClientKind"), kind == ClientKind::VisualStudio
                                                         ? QStringLiteral("VisualStudio")
                                                         : QStringLiteral("CrossPlatform"));
    settings->endGroup();
    if (m_plugin) {
        TeamFoundationSettings s;
        s.readSettings(settings);
        m_plugin->setSettings(s);
    }
}

void TestHost::answerNextDialog(std::function<void(QDialog *)> answer)
{
    // Runs inside the dialog's own event loop, once it is shown: a command may read something
    // first, with the event loop running.
    auto poll = new QTimer(&m_dialogAnswers);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        auto dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        poll->stop();
        answer(dialog);
    });
    poll->start();
}

void TestHost::waitForJobs()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_jobQueue->isIdle(), 60000);
}

QList<Recorded> TestHost::takeRuns()
{
    waitForJobs();
    QList<Recorded> runs;
    for (const QJsonObject &o : takeLog(logPath())) {
        Recorded r;
        r.name = o.value(QLatin1String("name")).toString();
        r.workingDirectory = o.value(QLatin1String("cwd")).toString();
        r.arguments = fromBase64(o.value(QLatin1String("args")));
        r.via = o.value(QLatin1String("via")).toString();
        r.argv = fromBase64(o.value(QLatin1String("argv")));
        r.pid = o.value(QLatin1String("pid")).toVariant().toLongLong();
        runs.append(r);
    }
    return runs;
}

QList<Handed> TestHost::takeHanded()
{
    QList<Handed> handed;
    handed.swap(m_handed);
    return handed;
}

QList<Started> TestHost::takeStarts()
{
    QList<Started> starts;
    for (const QJsonObject &o : takeLog(startLogPath()))
        starts.append({o.value(QLatin1String("pid")).toVariant().toLongLong(),
                       fromBase64(o.value(QLatin1String("argv")))});
    return starts;
}

QStringList TestHost::takeAsserts()
{
    QStringList asserts;
    asserts.swap(m_asserts);
    return asserts;
}

void TestHost::setResponse(const char *name, const QByteArray &value)
{
    qputenv(name, value);
    m_responseVariables.append(QByteArray(name));
}
