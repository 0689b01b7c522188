#include "recording.h"

// Refers to data that no library defines, so the dynamic linker refuses to load it.
extern "C" int hosttest_symbol_that_nobody_defines;

class UnresolvedPlugin : public RecordingPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin")
public:
    UnresolvedPlugin() : RecordingPlugin(QStringLiteral("unresolved")) {}

    bool initialize(const QStringList &arguments, QString *errorString) override
    {
        return hosttest_symbol_that_nobody_defines > 0
               && RecordingPlugin::initialize(arguments, errorString);
    }
};

#include "unresolvedplugin.moc"
