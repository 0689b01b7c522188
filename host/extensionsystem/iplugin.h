#pragma once

#include <QObject>
#include <QStringList>

namespace ExtensionSystem {

// The base of every plugin: the host calls initialize(), then extensionsInitialized(),
// and at shutdown releases the objects the plugin handed over with addAutoReleasedObject().
class IPlugin : public QObject
{
    Q_OBJECT
public:
    enum ShutdownFlag { SynchronousShutdown, AsynchronousShutdown };

    IPlugin();
    ~IPlugin() override;

    virtual bool initialize(const QStringList &arguments, QString *errorString) = 0;
    virtual void extensionsInitialized() {}
    virtual bool delayedInitialize() { return false; }
    virtual ShutdownFlag aboutToShutdown() { return SynchronousShutdown; }
    virtual QObject *remoteCommand(const QStringList &options, const QStringList &arguments)
    {
        Q_UNUSED(options)
        Q_UNUSED(arguments)
        return nullptr;
    }

    // Publishes 'object' in the host's object pool; the host removes and deletes it at
    // shutdown, in the reverse order of hand-over.
    void addAutoReleasedObject(QObject *object);
    void addObject(QObject *object);
    void removeObject(QObject *object);

    QList<QObject *> autoReleasedObjects() const { return m_autoReleasedObjects; }
    // Called by the plugin manager at shutdown.
    void releaseAutoReleasedObjects();

private:
    QList<QObject *> m_autoReleasedObjects;
};

} // namespace ExtensionSystem

#define QtCreatorPlugin_iid "org.qt-project.Qt.QtCreatorPlugin"
