#include "recording.h"

class BetaPlugin : public RecordingPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin")
public:
    BetaPlugin() : RecordingPlugin(QStringLiteral("beta")) {}
};

#include "betaplugin.moc"
