#include "recording.h"

class AlphaPlugin : public RecordingPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin")
public:
    AlphaPlugin() : RecordingPlugin(QStringLiteral("alpha")) {}
};

#include "alphaplugin.moc"
