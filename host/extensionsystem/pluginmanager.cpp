#include "pluginmanager.h"
#include "iplugin.h"

#include <QDebug>
#include <QDir>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>

namespace ExtensionSystem {

static PluginManager *m_instance = nullptr;

PluginManager::PluginManager()
{
    m_instance = this;
}

PluginManager::~PluginManager()
{
    unloadLibraries();
    if (m_instance == this)
        m_instance = nullptr;
}

PluginManager *PluginManager::instance()
{
    return m_instance;
}

void PluginManager::loadPlugins(const QString &directory, const QStringList &arguments)
{
    const QDir dir(directory);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    QList<Loaded> candidates;
    for (const QString &file : files) {
        const QString path = dir.absoluteFilePath(file);
        if (!QLibrary::isLibrary(path))
            continue;
        auto loader = new QPluginLoader(path);
        const QJsonObject meta = loader->metaData();
        if (meta.value(QLatin1String("IID")).toString() != QLatin1String(QtCreatorPlugin_iid)) {
            delete loader;
            continue;
        }
        Loaded loaded;
        loaded.loader = loader;
        loaded.entry.fileName = path;
        loaded.entry.className = meta.value(QLatin1String("className")).toString();
        QObject *object = loader->instance();
        loaded.entry.plugin = qobject_cast<IPlugin *>(object);
        if (!loaded.entry.plugin) {
            loaded.entry.errorString = object
                ? tr("The plugin \"%1\" does not derive from IPlugin.").arg(path)
                : tr("The plugin \"%1\" could not be loaded: %2").arg(path, loader->errorString());
            m_errors.append(loaded.entry.errorString);
            qWarning().noquote() << loaded.entry.errorString;
            if (object)
                loader->unload();
            delete loader;
            continue;
        }
        candidates.append(loaded);
    }

    for (Loaded &loaded : candidates) {
        QString error;
        if (!loaded.entry.plugin->initialize(arguments, &error)) {
            loaded.entry.errorString =
                tr("The plugin \"%1\" failed to initialize: %2")
                    .arg(loaded.entry.fileName, error.isEmpty() ? tr("no reason given") : error);
            m_errors.append(loaded.entry.errorString);
            qWarning().noquote() << loaded.entry.errorString;
            loaded.entry.plugin->releaseAutoReleasedObjects();
            delete loaded.entry.plugin;
            loaded.loader->unload();
            delete loaded.loader;
            continue;
        }
        m_loaded.append(loaded);
    }
    for (const Loaded &loaded : qAsConst(m_loaded))
        loaded.entry.plugin->extensionsInitialized();
}

void PluginManager::shutdown()
{
    for (const Loaded &loaded : qAsConst(m_loaded))
        loaded.entry.plugin->aboutToShutdown();
    while (!m_loaded.isEmpty()) {
        Loaded loaded = m_loaded.takeLast();
        loaded.entry.plugin->releaseAutoReleasedObjects();
        delete loaded.entry.plugin;
        m_shutDown.append(loaded.loader);
    }
}

void PluginManager::unloadLibraries()
{
    shutdown();
    while (!m_shutDown.isEmpty()) {
        QPluginLoader *loader = m_shutDown.takeFirst();
        loader->unload();
        delete loader;
    }
}

QList<PluginManager::PluginSpec> PluginManager::plugins() const
{
    QList<PluginSpec> result;
    for (const Loaded &loaded : m_loaded)
        result.append(loaded.entry);
    return result;
}

void PluginManager::addObject(QObject *object)
{
    if (!m_instance || !object || m_instance->m_objects.contains(object))
        return;
    m_instance->m_objects.append(object);
    emit m_instance->objectAdded(object);
}

void PluginManager::removeObject(QObject *object)
{
    if (!m_instance || !m_instance->m_objects.contains(object))
        return;
    emit m_instance->aboutToRemoveObject(object);
    m_instance->m_objects.removeAll(object);
}

QList<QObject *> PluginManager::allObjects()
{
    return m_instance ? m_instance->m_objects : QList<QObject *>();
}

} // namespace ExtensionSystem
