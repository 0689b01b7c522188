#pragma once

#include <extensionsystem/iplugin.h>

#include <QObject>
#include <QStringList>

// The events that the test plugins and their objects record, in the order they happen;
// shared by the plugins and the test through this library.
QStringList &eventLog();

// An object that a test plugin publishes in the pool; it records its own deletion.
class RecordingObject : public QObject
{
    Q_OBJECT
public:
    explicit RecordingObject(const QString &name);
    ~RecordingObject() override;
};

// A plugin that records its lifecycle and publishes three auto-released RecordingObjects
// named "<name>-1" to "<name>-3".
class RecordingPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
public:
    explicit RecordingPlugin(const QString &name);
    ~RecordingPlugin() override;

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

protected:
    QString m_name;
};
