// Loading plugin libraries, their lifecycle and the object pool.

#include "recording.h"

#include <extensionsystem/iplugin.h>
#include <extensionsystem/pluginmanager.h>

#include <QSignalSpy>
#include <QtTest>

using ExtensionSystem::PluginManager;

namespace {
const QString pluginDir = QStringLiteral(TEST_PLUGIN_DIR);

QStringList names(const QList<RecordingObject *> &objects)
{
    QStringList result;
    for (const QObject *object : objects)
        result << object->objectName();
    return result;
}

// The file name of the test library 'name' as this platform spells it ("libname.so",
// "name.dll" ...).
QString libraryFile(const QString &name)
{
    for (const QString &file : QDir(pluginDir).entryList(QDir::Files)) {
        const QString base = QFileInfo(file).completeBaseName();
        if ((base == name || base == QLatin1String("lib") + name) && QLibrary::isLibrary(file))
            return file;
    }
    return QString();
}

// The manager warns once about each broken library in the test directory.
void expectBrokenLibraryWarnings()
{
    for (const char *library : {"failingplugin", "notiplugin", "unresolvedplugin"})
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QLatin1String(library)));
}

QString errorNaming(const QStringList &errors, const QString &library)
{
    for (const QString &error : errors) {
        if (error.contains(library))
            return error;
    }
    return QString();
}
} // namespace

class tst_PluginManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { eventLog().clear(); }

    void lifecycleAndReverseRelease();
    void poolIsQueriedByType();
    void brokenLibrariesAreReportedAndSkipped_data();
    void brokenLibrariesAreReportedAndSkipped();
};

void tst_PluginManager::lifecycleAndReverseRelease()
{
    {
        PluginManager manager;
        expectBrokenLibraryWarnings();
        manager.loadPlugins(pluginDir, {"-first", "second"});

        QStringList loaded;
        for (const PluginManager::PluginSpec &plugin : manager.plugins()) {
            QVERIFY(plugin.plugin);
            QVERIFY(plugin.errorString.isEmpty());
            loaded << QFileInfo(plugin.fileName).fileName();
        }
        QCOMPARE(loaded, (QStringList{libraryFile("alphaplugin"), libraryFile("betaplugin")}));
        QCOMPARE(manager.plugins().first().className, QStringLiteral("AlphaPlugin"));

        // Every plugin is initialized before any hears that all extensions are there;
        // plugins with a foreign IID are never even constructed.
        QStringList expected{"alpha constructed",
                             "beta constructed",
                             "alpha initialize -first second",
                             "beta initialize -first second",
                             "alpha extensionsInitialized, pool 6",
                             "beta extensionsInitialized, pool 6"};
        const QStringList lifecycle = eventLog().filter(QRegularExpression(QStringLiteral("^(alpha|beta|otheriid) ")));
        QCOMPARE(lifecycle, expected);
        eventLog().clear();
    }
    // At shutdown: every plugin hears of it, then each plugin's objects leave the pool
    // and are deleted last first, then the plugin itself goes; later plugins first.
    const QStringList expected{"alpha aboutToShutdown", "beta aboutToShutdown",
                               "deleted beta-3",        "deleted beta-2",
                               "deleted beta-1",        "beta deleted",
                               "deleted alpha-3",       "deleted alpha-2",
                               "deleted alpha-1",       "alpha deleted"};
    QCOMPARE(eventLog(), expected);
    QVERIFY(PluginManager::allObjects().isEmpty());
    QVERIFY(!PluginManager::instance());
}

void tst_PluginManager::poolIsQueriedByType()
{
    PluginManager manager;
    QSignalSpy added(&manager, &PluginManager::objectAdded);
    QSignalSpy removed(&manager, &PluginManager::aboutToRemoveObject);
    expectBrokenLibraryWarnings();
    manager.loadPlugins(pluginDir);

    QObject unrelated;
    PluginManager::addObject(&unrelated);
    PluginManager::addObject(&unrelated); // once in the pool is enough
    QCOMPARE(names(PluginManager::getObjects<RecordingObject>()),
             (QStringList{"alpha-1", "alpha-2", "alpha-3", "beta-1", "beta-2", "beta-3"}));
    QCOMPARE(PluginManager::getObject<RecordingObject>()->objectName(), QStringLiteral("alpha-1"));
    QCOMPARE(PluginManager::getObjects<ExtensionSystem::IPlugin>().size(), 0);
    QCOMPARE(PluginManager::getObjects<QObject>().size(), 7);

    PluginManager::removeObject(&unrelated);
    QCOMPARE(PluginManager::getObjects<QObject>().size(), 6);
    QCOMPARE(PluginManager::getObjects<RecordingObject>().size(), 6);
    // The failing plugin's object came and went: seven added, one removed before ours.
    QCOMPARE(added.size(), 1 + 6 + 1);
    QCOMPARE(removed.size(), 1 + 1);
    QCOMPARE(removed.last().first().value<QObject *>(), &unrelated);
}

void tst_PluginManager::brokenLibrariesAreReportedAndSkipped_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("reason"); // empty: ignored without a message
    QTest::addColumn<QStringList>("events");

    QTest::newRow("initialize fails") << "failingplugin" << "the team server is not configured"
                                      << QStringList{"failing constructed", "deleted failing-1", "failing deleted"};
    QTest::newRow("root object is no IPlugin") << "notiplugin" << "IPlugin"
                                               << QStringList{"noti constructed"};
    QTest::newRow("cannot be loaded") << "unresolvedplugin" << "hosttest_symbol_that_nobody_defines"
                                      << QStringList();
    QTest::newRow("foreign IID") << "otheriidplugin" << "" << QStringList();
    QTest::newRow("not a plugin") << "plainlibrary" << "" << QStringList();
}

void tst_PluginManager::brokenLibrariesAreReportedAndSkipped()
{
    QFETCH(QString, library);
    QFETCH(QString, reason);
    QFETCH(QStringList, events);
    const QString file = libraryFile(library);
    QVERIFY2(!file.isEmpty(), qPrintable(library));

    PluginManager manager;
    expectBrokenLibraryWarnings();
    manager.loadPlugins(pluginDir);
    QCOMPARE(manager.errors().size(), 3);

    const QString error = errorNaming(manager.errors(), file);
    if (reason.isEmpty()) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
    } else {
        QVERIFY2(error.contains(pluginDir + QLatin1Char('/') + file), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
    for (const PluginManager::PluginSpec &plugin : manager.plugins())
        QVERIFY(!plugin.fileName.endsWith(file));

    // Whatever the broken library did, it undid; the good plugins are loaded regardless.
    const QString name = library.section(QLatin1String("plugin"), 0, 0);
    const QStringList seen = name.isEmpty() ? QStringList()
                                            : eventLog().filter(QRegularExpression(
                                                  QStringLiteral("^(%1 |deleted %1-)").arg(name)));
    QCOMPARE(seen, events);
    QCOMPARE(PluginManager::getObjects<RecordingObject>().size(), 6);
    QCOMPARE(manager.plugins().size(), 2);
}

QTEST_GUILESS_MAIN(tst_PluginManager)

#include "tst_pluginmanager.moc"
