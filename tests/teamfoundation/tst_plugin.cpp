// The plugin as the host sees it: its library, its lifecycle, its settings record and the
// version control it registers.
#include "testhost.h"

#include <core/icore.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>
#include <locator/commandlocator.h>
#include <utils/hostosinfo.h>
#include <utils/qtcassert.h>

#include <teamfoundationclient.h>
#include <teamfoundationcontrol.h>
#include <teamfoundationplugin.h>
#include <teamfoundationsettings.h>

#include <QtTest>

using namespace TeamFoundation::Internal;

static const char pluginFile[] = PLUGIN_FILE;

class tst_Plugin : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: no plugin object has been made in this process yet.
    void resourceBeforeAnyPluginObject();
    void instanceBeforeInitialize();
    void libraryMetaData();
    void pluginLeftToQtAtExit();
    void initializeRegistersAndReadsSettings();
    void initializeReadsStoredSettings();
    void autoReleasedObjects();
    void instanceAfterShutdown();
    void setSettingsEqualWritesNothing();
    void setSettingsDifferentWritesAndAnnounces();
    void notifyChange_data();
    void notifyChange();
    void submitEditorAboutToClose();

    void settingsDefaults();
    void settingsTimeOut_data();
    void settingsTimeOut();
    void powerToolsSearchPath();
    void powerToolsCache();
    void settingsEqualityIgnoresCache();
    void clientKind_data();
    void clientKind();

    void configured_data();
    void configured();
    void operations_data();
    void operations();
    void identity();
};

void tst_Plugin::resourceBeforeAnyPluginObject()
{
    QFile file(QStringLiteral(":/teamfoundation/images/teamfoundation.png"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray png = file.readAll();
    // IHDR: 36 x 36, 8 bits per channel, colour type 2 (RGB without alpha).
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(qFromBigEndian<quint32>(png.constData() + 16), 36u);
    QCOMPARE(qFromBigEndian<quint32>(png.constData() + 20), 36u);
    QCOMPARE(int(png.at(24)), 8);
    QCOMPARE(int(png.at(25)), 2);
    const QImage image = QImage::fromData(png);
    QCOMPARE(image.size(), QSize(36, 36));
    QVERIFY(!image.hasAlphaChannel());
}

void tst_Plugin::instanceBeforeInitialize()
{
    QStringList asserts;
    Utils::setAssertHandler([&](const QString &m) { asserts << m; });
    QCOMPARE(TeamFoundationPlugin::instance(), nullptr);
    QCOMPARE(TeamFoundationPlugin::instance(), nullptr);
    Utils::setAssertHandler(nullptr);
    // Once per call, naming the condition in the host's format.
    QCOMPARE(asserts.size(), 2);
    QVERIFY2(asserts.first().startsWith(QLatin1String("\"m_teamFoundationPluginInstance\" in file ")),
             qPrintable(asserts.first()));
    QVERIFY(asserts.first().contains(QLatin1String("teamfoundationplugin.cpp, line ")));
}

void tst_Plugin::libraryMetaData()
{
    QPluginLoader loader(QString::fromLatin1(pluginFile));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QLatin1String("IID")).toString(), QStringLiteral("org.qt-project.Qt.QtCreatorPlugin"));
    QCOMPARE(meta.value(QLatin1String("className")).toString(), QStringLiteral("TeamFoundationPlugin"));
    const QJsonObject data = meta.value(QLatin1String("MetaData")).toObject();
    QCOMPARE(data.value(QLatin1String("Description")).toString(),
             QStringLiteral("Team Foundation Server plugin for Qt Creator"));
    QVERIFY(!data.value(QLatin1String("Vendor")).toString().isEmpty());
    QVERIFY(!data.value(QLatin1String("Url")).toString().isEmpty());

    QObject *first = loader.instance();
    QVERIFY(qobject_cast<TeamFoundationPlugin *>(first));
    QCOMPARE(loader.instance(), first);
    // Creating the object does not initialize it.
    Utils::setAssertHandler([](const QString &) {});
    QCOMPARE(TeamFoundationPlugin::instance(), nullptr);
    Utils::setAssertHandler(nullptr);
    delete first;
    // The guarded pointer notices the deletion and makes a new object.
    QObject *second = loader.instance();
    QVERIFY(second);
    delete second;
}

void tst_Plugin::pluginLeftToQtAtExit()
{
    // Qt deletes a plugin object that its host never deleted after the statics of the host
    // libraries are gone; nothing may use them then.
    QProcess host;
    host.start(QStringLiteral(PLUGINATEXIT_HELPER), {QString::fromLocal8Bit(pluginFile)});
    QVERIFY(host.waitForFinished(60000));
    const QByteArray errors = host.readAllStandardError();
    QVERIFY2(host.exitStatus() == QProcess::NormalExit, errors.constData());
    QVERIFY2(host.exitCode() == 0, errors.constData());
}

void tst_Plugin::initializeRegistersAndReadsSettings()
{
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QVERIFY(plugin);
    QCOMPARE(TeamFoundationPlugin::instance(), plugin);
    QVERIFY(host.takeAsserts().isEmpty());

    auto control = qobject_cast<TeamFoundationControl *>(plugin->versionControl());
    QVERIFY(control);
    QCOMPARE(Core::VcsManager::versionControls(), QList<Core::IVersionControl *>{control});
    QVERIFY(ExtensionSystem::PluginManager::allObjects().contains(control));
    QVERIFY(plugin->client());
    QCOMPARE(plugin->client()->parent(), plugin);

    // A first start reads the defaults.
    QCOMPARE(plugin->settings().stringValue(TeamFoundationSettings::binaryPathKey),
             QLatin1String(Utils::HostOsInfo::isWindowsHost() ? "tf.exe" : "tf"));
    QCOMPARE(plugin->settings().stringValue(TeamFoundationSettings::powerToolsBinaryPathKey),
             QStringLiteral("tfpt.exe"));
    QCOMPARE(plugin->settings().password(), QString());
}

void tst_Plugin::initializeReadsStoredSettings()
{
    TestHost host;
    host.configure(QStringLiteral("alice"), QStringLiteral("s3cret"), 45);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QCOMPARE(plugin->settings().binaryPath(), host.tfPath());
    QCOMPARE(plugin->settings().userName(), QStringLiteral("alice"));
    QCOMPARE(plugin->settings().password(), QStringLiteral("s3cret"));
    QCOMPARE(plugin->settings().timeOutMs(), 45000);
}

void tst_Plugin::autoReleasedObjects()
{
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QList<QObject *> objects = plugin->autoReleasedObjects();
    QStringList classes;
    for (QObject *o : objects)
        classes << QString::fromLatin1(o->metaObject()->className());
    QCOMPARE(classes, QStringList({"TeamFoundation::Internal::SettingsPage",
                                   "TeamFoundation::Internal::CheckoutWizard",
                                   "Locator::CommandLocator",
                                   "TeamFoundation::Internal::TeamFoundationPendingChanges",
                                   "TeamFoundation::Internal::TeamFoundationHistory"}));
    // The version control is the host's through initializeVcs, not an auto-released object.
    QVERIFY(!objects.contains(plugin->versionControl()));
}

void tst_Plugin::instanceAfterShutdown()
{
    {
        TestHost host;
        QVERIFY(host.loadPlugin());
    }
    Utils::setAssertHandler([](const QString &) {});
    // A destroyed plugin must not be reachable.
    QCOMPARE(TeamFoundationPlugin::instance(), nullptr);
    Utils::setAssertHandler(nullptr);
}

void tst_Plugin::setSettingsEqualWritesNothing()
{
    TestHost host;
    host.configure(QStringLiteral("bob"), QStringLiteral("pw"), 30);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    Core::IVersionControl *vc = plugin->versionControl();
    QSignalSpy config(vc, &Core::IVersionControl::configurationChanged);
    QSignalSpy files(vc, &Core::IVersionControl::filesChanged);
    QSignalSpy repos(vc, &Core::IVersionControl::repositoryChanged);

    // Change the store behind the plugin's back: an equal record must not overwrite it.
    Core::ICore::settings()->setValue(QStringLiteral("TeamFoundation/Timeout"), 99);
    TeamFoundationSettings same = plugin->settings();
    plugin->setSettings(same);
    QCOMPARE(Core::ICore::settings()->value(QStringLiteral("TeamFoundation/Timeout")).toInt(), 99);
    QCOMPARE(config.count() + files.count() + repos.count(), 0);
}

void tst_Plugin::setSettingsDifferentWritesAndAnnounces()
{
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    Core::IVersionControl *vc = plugin->versionControl();
    QSignalSpy config(vc, &Core::IVersionControl::configurationChanged);
    QSignalSpy files(vc, &Core::IVersionControl::filesChanged);
    QSignalSpy repos(vc, &Core::IVersionControl::repositoryChanged);

    TeamFoundationSettings changed = plugin->settings();
    changed.setValue(TeamFoundationSettings::userNameKey, QStringLiteral("carol"));
    changed.setValue(TeamFoundationSettings::timeoutKey, 120);
    plugin->setSettings(changed);

    QCOMPARE(config.count(), 1);
    QCOMPARE(files.count(), 0);
    QCOMPARE(repos.count(), 0);
    QCOMPARE(plugin->settings().userName(), QStringLiteral("carol"));
    QSettings *store = Core::ICore::settings();
    QCOMPARE(store->value(QStringLiteral("TeamFoundation/Username")).toString(), QStringLiteral("carol"));
    QCOMPARE(store->value(QStringLiteral("TeamFoundation/Timeout")).toInt(), 120);
    QCOMPARE(store->value(QStringLiteral("TeamFoundation/BinaryPath")).toString(),
             TeamFoundationSettings::defaultBinaryPath());

    // The store survives a restart of the host.
    QVERIFY(Core::ICore::syncSettings());
    QSettings reread(store->fileName(), QSettings::IniFormat);
    QCOMPARE(reread.value(QStringLiteral("TeamFoundation/Username")).toString(), QStringLiteral("carol"));
}

void tst_Plugin::notifyChange_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("file") << "file" << "filesChanged";
    QTest::newRow("directory") << "directory" << "repositoryChanged";
    QTest::newRow("empty") << "empty" << "configurationChanged";
    QTest::newRow("missing") << "missing" << "";
}

void tst_Plugin::notifyChange()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    QString path;
    if (kind == QLatin1String("file"))
        path = host.makeFile(QStringLiteral("proj/main.cpp"));
    else if (kind == QLatin1String("directory"))
        path = host.makeDirectory(QStringLiteral("proj"));
    else if (kind == QLatin1String("missing"))
        path = host.sandbox() + QLatin1String("/nothing/here.cpp");

    Core::IVersionControl *vc = plugin->versionControl();
    QSignalSpy config(vc, &Core::IVersionControl::configurationChanged);
    QSignalSpy files(vc, &Core::IVersionControl::filesChanged);
    QSignalSpy repos(vc, &Core::IVersionControl::repositoryChanged);
    plugin->notifyChange(path);

    QCOMPARE(files.count(), expected == QLatin1String("filesChanged") ? 1 : 0);
    QCOMPARE(repos.count(), expected == QLatin1String("repositoryChanged") ? 1 : 0);
    QCOMPARE(config.count(), expected == QLatin1String("configurationChanged") ? 1 : 0);
    if (files.count())
        QCOMPARE(files.first().first().toStringList(), QStringList(path));
    if (repos.count())
        QCOMPARE(repos.first().first().toString(), path);
}

void tst_Plugin::submitEditorAboutToClose()
{
    TestHost host;
    QVERIFY(host.loadPlugin()->submitEditorAboutToClose());
}

void tst_Plugin::settingsDefaults()
{
    const TeamFoundationSettings s;
    QCOMPARE(s.settingsGroup(), QStringLiteral("TeamFoundation"));
    // Only Windows has tf.exe; the cross-platform client is installed as tf.
    QCOMPARE(s.stringValue(TeamFoundationSettings::binaryPathKey),
             QLatin1String(Utils::HostOsInfo::isWindowsHost() ? "tf.exe" : "tf"));
    QCOMPARE(s.stringValue(TeamFoundationSettings::powerToolsBinaryPathKey), QStringLiteral("tfpt.exe"));
    QCOMPARE(s.password(), QString());
    QCOMPARE(s.userName(), QString());
    const int timeout = s.intValue(TeamFoundationSettings::timeoutKey);
    QVERIFY(timeout >= 1 && timeout <= 360);
}

void tst_Plugin::settingsTimeOut_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("ms");
    QTest::newRow("30") << QVariant(30) << 30000;
    QTest::newRow("360") << QVariant(360) << 360000;
    QTest::newRow("1") << QVariant(1) << 1000;
    QTest::newRow("text from the store") << QVariant(QStringLiteral("45")) << 45000;
    QTest::newRow("not a number") << QVariant(QStringLiteral("soon")) << 0;
}

void tst_Plugin::settingsTimeOut()
{
    QFETCH(QVariant, stored);
    QFETCH(int, ms);
    TeamFoundationSettings s;
    s.setValue(TeamFoundationSettings::timeoutKey, stored);
    QCOMPARE(s.timeOutMs(), ms);
}

static void writeExecutable(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("never run\n");
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

void tst_Plugin::powerToolsSearchPath()
{
#ifndef Q_OS_UNIX
    QSKIP("The tools are made executable by permission bits, which only POSIX systems have.");
#endif
    QTemporaryDir dir;
    const QString a = dir.path() + QLatin1String("/a");
    const QString b = dir.path() + QLatin1String("/b");
    QDir().mkpath(a);
    writeExecutable(b + QLatin1String("/mytfpt"));
    // A tool in the current directory must not be found through an empty entry.
    writeExecutable(dir.path() + QLatin1String("/cwdtfpt"));
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());

    TeamFoundationSettings s;
    s.setValue(TeamFoundationSettings::pathKey, a + QLatin1String("::") + b);
    s.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("mytfpt"));
    QCOMPARE(s.powerToolsBinaryPath(), b + QLatin1String("/mytfpt"));

    TeamFoundationSettings cwd;
    cwd.setValue(TeamFoundationSettings::pathKey, a + QLatin1String("::") + b);
    cwd.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("cwdtfpt"));
    QCOMPARE(cwd.powerToolsBinaryPath(), QString());
    QDir::setCurrent(oldCwd);
}

void tst_Plugin::powerToolsCache()
{
#ifndef Q_OS_UNIX
    QSKIP("The tool is made executable by permission bits, which only POSIX systems have.");
#endif
    QTemporaryDir dir;
    const QString tool = dir.path() + QLatin1String("/bin/mytfpt");
    TeamFoundationSettings s;
    s.setValue(TeamFoundationSettings::pathKey, dir.path() + QLatin1String("/bin"));
    s.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("mytfpt"));

    // Not found is not remembered: the next call searches again.
    QCOMPARE(s.powerToolsBinaryPath(), QString());
    writeExecutable(tool);
    QCOMPARE(s.powerToolsBinaryPath(), tool);

    // Found is remembered, even when the file goes away or the value changes.
    QFile::remove(tool);
    QCOMPARE(s.powerToolsBinaryPath(), tool);
    s.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("other"));
    QCOMPARE(s.powerToolsBinaryPath(), tool);

    // Copies carry the cache; assigning a fresh record empties it.
    const TeamFoundationSettings copy = s;
    QCOMPARE(copy.powerToolsBinaryPath(), tool);
    s = TeamFoundationSettings();
    s.setValue(TeamFoundationSettings::pathKey, dir.path() + QLatin1String("/bin"));
    QCOMPARE(s.powerToolsBinaryPath(), QString());
}

void tst_Plugin::settingsEqualityIgnoresCache()
{
    QTemporaryDir dir;
    writeExecutable(dir.path() + QLatin1String("/mytfpt"));
    TeamFoundationSettings a;
    a.setValue(TeamFoundationSettings::pathKey, dir.path());
    a.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("mytfpt"));
    TeamFoundationSettings b = a;
    QVERIFY(!a.powerToolsBinaryPath().isEmpty()); // fills a's cache only
    TeamFoundationSettings c;
    c.setValue(TeamFoundationSettings::pathKey, dir.path());
    c.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, QStringLiteral("mytfpt"));
    QVERIFY(a.equals(c));
    QVERIFY(c.equals(a));
    QVERIFY(a.equals(b));
    c.setValue(TeamFoundationSettings::passwordKey, QStringLiteral("x"));
    QVERIFY(!a.equals(c));
}

void tst_Plugin::clientKind_data()
{
    QTest::addColumn<int>("os");
    QTest::addColumn<QVariant>("stored"); // invalid: nothing stored
    QTest::addColumn<bool>("visualStudio");

    const int windowsHost = Utils::HostOsInfo::HostOsWindows;
    const int linuxHost = Utils::HostOsInfo::HostOsLinux;
    QTest::newRow("Windows default") << windowsHost << QVariant() << true;
    QTest::newRow("Linux default") << linuxHost << QVariant() << false;
    QTest::newRow("macOS default") << int(Utils::HostOsInfo::HostOsMac) << QVariant() << false;
    QTest::newRow("tf.exe chosen on Linux") << linuxHost << QVariant("VisualStudio") << true;
    QTest::newRow("cross-platform chosen on Windows") << windowsHost << QVariant("CrossPlatform") << false;
    QTest::newRow("unknown text on Linux") << linuxHost << QVariant("tf.exe") << false;
    QTest::newRow("unknown text on Windows") << windowsHost << QVariant("crossplatform") << true;
}

void tst_Plugin::clientKind()
{
    QFETCH(int, os);
    QFETCH(QVariant, stored);
    QFETCH(bool, visualStudio);
    TestHost host;
    Utils::HostOsInfo::setOverrideHostOs(Utils::HostOsInfo::OsType(os));
    if (stored.isValid())
        Core::ICore::settings()->setValue(QStringLiteral("TeamFoundation/ClientKind"), stored);
    TeamFoundationSettings s;
    s.readSettings(Core::ICore::settings());
    const ClientKind kind = s.clientKind();
    Utils::HostOsInfo::clearOverrideHostOs();
    QCOMPARE(kind == ClientKind::VisualStudio, visualStudio);

    // The kind takes part in equality, so that changing it is stored and announced.
    TeamFoundationSettings other = s;
    other.setClientKind(visualStudio ? ClientKind::CrossPlatform : ClientKind::VisualStudio);
    QVERIFY(!other.equals(s));
}

void tst_Plugin::configured_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("configured");
    QTest::newRow("empty path") << "empty" << false;
    QTest::newRow("directory") << "directory" << false;
    QTest::newRow("missing file") << "missing" << false;
    QTest::newRow("not executable") << "plain" << false;
    QTest::newRow("executable") << "executable" << true;
}

static QString binaryFor(const TestHost &host, const QString &kind)
{
    if (kind == QLatin1String("empty"))
        return QString();
    if (kind == QLatin1String("directory"))
        return host.makeDirectory(QStringLiteral("tools"));
    if (kind == QLatin1String("missing"))
        return host.sandbox() + QLatin1String("/tools/tf");
    if (kind == QLatin1String("plain"))
        return host.makeFile(QStringLiteral("tools/tf"));
    return host.tfPath();
}

void tst_Plugin::configured()
{
    QFETCH(QString, kind);
    QFETCH(bool, configured);
    TestHost host;
    TeamFoundationPlugin *plugin = host.loadPlugin();
    TeamFoundationSettings s;
    s.setValue(TeamFoundationSettings::binaryPathKey, binaryFor(host, kind));
    plugin->setSettings(s);
    QCOMPARE(plugin->versionControl()->isConfigured(), configured);
}

void tst_Plugin::operations_data()
{
    QTest::addColumn<bool>("configured");
    QTest::newRow("configured") << true;
    QTest::newRow("not configured") << false;
}

void tst_Plugin::operations()
{
    QFETCH(bool, configured);
    TestHost host;
    if (configured)
        host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    if (!configured) {
        TeamFoundationSettings s;
        s.setValue(TeamFoundationSettings::binaryPathKey, host.sandbox() + QLatin1String("/none"));
        plugin->setSettings(s);
    }
    Core::IVersionControl *vc = plugin->versionControl();
    using Op = Core::IVersionControl::Operation;
    const QList<bool> expected{configured, configured, configured, false, false, configured, false};
    for (int op = 0; op < expected.size(); ++op)
        QCOMPARE(vc->supportsOperation(Op(op)), expected.at(op));
    QVERIFY(!vc->vcsCreateRepository(host.sandbox()));
    QVERIFY(!vc->vcsCheckout(host.sandbox(), QByteArray("$/x")));
    QVERIFY(host.takeRuns().isEmpty());
}

void tst_Plugin::identity()
{
    TestHost host;
    Core::IVersionControl *vc = host.loadPlugin()->versionControl();
    QCOMPARE(vc->displayName(), QStringLiteral("Team Foundation"));
    QCOMPARE(vc->id().toString(), QStringLiteral("T.TeamFoundation"));
}

QTEST_MAIN(tst_Plugin)
#include "tst_plugin.moc"
