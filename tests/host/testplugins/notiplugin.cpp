#include "recording.h"

// Carries the right IID, but its root object is no IPlugin.
class NotIPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin")
public:
    NotIPlugin() { eventLog().append(QStringLiteral("noti constructed")); }
};

#include "notiplugin.moc"
