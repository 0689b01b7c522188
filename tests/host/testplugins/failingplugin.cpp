#include "recording.h"

// Fails its initialization after publishing an object, as a plugin does that finds its
// configuration unusable half-way.
class FailingPlugin : public RecordingPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin")
public:
    FailingPlugin() : RecordingPlugin(QStringLiteral("failing")) {}

    bool initialize(const QStringList &arguments, QString *errorString) override
    {
        Q_UNUSED(arguments)
        addAutoReleasedObject(new RecordingObject(QStringLiteral("failing-1")));
        *errorString = QStringLiteral("the team server is not configured");
        return false;
    }
};

#include "failingplugin.moc"
