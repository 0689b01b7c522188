#pragma once

#include <extensionsystem/iplugin.h>

namespace E2e {

// A plugin whose initialization fails, for checking that the workbench reports it and goes on.
class BrokenPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "brokenplugin.json")
public:
    bool initialize(const QStringList &arguments, QString *errorString) override;
};

} // namespace E2e
