#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QPluginLoader;
QT_END_NAMESPACE

namespace ExtensionSystem {

class IPlugin;

// Loads the plugin libraries of a directory, drives their lifecycle and keeps the object
// pool through which plugins publish objects (options pages, wizards, locator filters,
// version controls) for the host to find by type.
class PluginManager : public QObject
{
    Q_OBJECT
public:
    struct PluginSpec
    {
        QString fileName;
        QString className;
        QString errorString; // empty when the plugin loaded and initialized
        IPlugin *plugin = nullptr;
    };

    PluginManager();
    ~PluginManager() override;

    static PluginManager *instance();

    // Loads every library in 'directory' whose metadata carries the plugin IID, then calls
    // initialize() on each and extensionsInitialized() on those that succeeded. A library
    // that fails is reported in errors() and skipped; the others go on.
    void loadPlugins(const QString &directory, const QStringList &arguments = QStringList());
    // Tells every plugin aboutToShutdown, then deletes the plugins in reverse load order
    // after releasing their objects. Their libraries stay loaded.
    void shutdown();
    // Shuts the plugins down if that did not happen yet, then unloads their libraries.
    void unloadLibraries();

    QList<PluginSpec> plugins() const;
    QStringList errors() const { return m_errors; }

    static void addObject(QObject *object);
    static void removeObject(QObject *object);
    static QList<QObject *> allObjects();

    template <typename T>
    static QList<T *> getObjects()
    {
        QList<T *> result;
        for (QObject *object : allObjects()) {
            if (T *t = qobject_cast<T *>(object))
                result.append(t);
        }
        return result;
    }
    template <typename T>
    static T *getObject()
    {
        const QList<T *> all = getObjects<T>();
        return all.isEmpty() ? nullptr : all.first();
    }

signals:
    void objectAdded(QObject *object);
    void aboutToRemoveObject(QObject *object);

private:
    struct Loaded
    {
        PluginSpec entry;
        QPluginLoader *loader = nullptr;
    };
    QList<Loaded> m_loaded;
    QList<QPluginLoader *> m_shutDown;
    QList<QObject *> m_objects;
    QStringList m_errors;
};

} // namespace ExtensionSystem
