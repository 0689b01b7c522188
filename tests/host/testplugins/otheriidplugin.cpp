#include "recording.h"

// A plugin of some other application; the host must not even instantiate it.
class OtherIidPlugin : public RecordingPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.example.SomeOtherApplication.Plugin")
public:
    OtherIidPlugin() : RecordingPlugin(QStringLiteral("otheriid")) {}
};

#include "otheriidplugin.moc"
