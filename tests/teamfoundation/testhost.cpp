#include "testhost.h"

#include <core/actionmanager.h>
#include <core/hostservices.h>
#include <core/icore.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/qtcassert.h>

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

using namespace TeamFoundation::Internal;

TestHost::TestHost()
{
    // No test reaches the keychain of the person running it: without a session bus the
    // plugin keeps the password in the settings file, as the tests here expect.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    Core::ICore::setSettingsPath(settingsDirectory());
    m_services = std::make_unique<Core::HostServices>();
    Core::ActionManager::createMenu(Core::Id(Core::Constants::M_TOOLS));

    QDir(m_dir.path()).mkpath(QStringLiteral("bin"));
    QFile::link(QStringLiteral(TFRECORDER_PATH), tfPath());
    QFile::link(QStringLiteral(TFRECORDER_PATH), tfptPath());
    qputenv("TFREC_LOG", logPath().toLocal8Bit());

    VcsBase::VcsBasePlugin::setRunVcsObserver(
        [this](const VcsBase::VcsBasePlugin::RunVcsCall &call) { m_calls.append(call); });
    Utils::setAssertHandler([this](const QString &message) { m_asserts.append(message); });
}

TestHost::~TestHost()
{
    m_services.reset();
    VcsBase::VcsBasePlugin::setRunVcsObserver(nullptr);
    VcsBase::VcsBasePlugin::setGlobalState(VcsBase::VcsBasePluginState());
    Utils::setAssertHandler(nullptr);
    qunsetenv("TFREC_LOG");
    for (const QByteArray &name : qAsConst(m_responseVariables))
        qunsetenv(name.constData());
}

TeamFoundationPlugin *TestHost::loadPlugin()
{
    ExtensionSystem::PluginManager *manager = m_services->pluginManager();
    manager->loadPlugins(QStringLiteral(PLUGIN_DIR));
    m_plugin = qobject_cast<TeamFoundationPlugin *>(manager->plugins().value(0).plugin);
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
    // Runs inside the dialog's own event loop, once it is shown.
    QTimer::singleShot(0, [answer] {
        if (auto dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            answer(dialog);
    });
}

QList<Recorded> TestHost::takeRuns()
{
    QList<Recorded> runs;
    QFile log(logPath());
    if (!log.open(QIODevice::ReadOnly))
        return runs;
    while (!log.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(log.readLine()).object();
        Recorded r;
        r.name = o.value(QLatin1String("name")).toString();
        r.workingDirectory = o.value(QLatin1String("cwd")).toString();
        for (const QJsonValue &v : o.value(QLatin1String("args")).toArray())
            r.arguments.append(QString::fromUtf8(QByteArray::fromBase64(v.toString().toLatin1())));
        runs.append(r);
    }
    log.close();
    log.remove();
    return runs;
}

QList<VcsBase::VcsBasePlugin::RunVcsCall> TestHost::takeRunVcsCalls()
{
    QList<VcsBase::VcsBasePlugin::RunVcsCall> calls;
    calls.swap(m_calls);
    return calls;
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
