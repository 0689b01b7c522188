#include "mainwindow.h"
#include "scriptrunner.h"

#include <core/actionmanager.h>
#include <core/icore.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/qtcassert.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>

#include <memory>

using namespace Workbench;

namespace {

struct Options
{
    QString pluginPath;
    QString settingsPath;
    QString script;
    bool echo = false;
    bool help = false;
    QStringList paths;
    QString error;
};

QString usageText()
{
    return QCoreApplication::translate(
        "Workbench",
        "Usage: workbench [options] [PROJECT-DIR | FILE ...]\n"
        "\n"
        "  -pluginpath DIR     load the plugins from DIR instead of the default directory\n"
        "  -settingspath DIR   keep the settings file (workbench.ini) in DIR\n"
        "  --script FILE       run the commands of FILE, then quit (with -platform offscreen\n"
        "                      no display is needed); exit status 0 when every line ran,\n"
        "                      1 at the first failing line, 2 for a bad command line\n"
        "  --echo              in a scripted run, print each command before running it\n"
        "  -help               show this text\n"
        "\n"
        "A directory given on the command line is opened as the project, a file in the editor.\n");
}

Options parseArguments(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        auto value = [&](QString *target) {
            if (i + 1 >= arguments.size()) {
                options.error =
                    QCoreApplication::translate("Workbench", "%1 needs a value.").arg(arg);
                return;
            }
            *target = arguments.at(++i);
        };
        if (arg == QLatin1String("-pluginpath") || arg == QLatin1String("--pluginpath"))
            value(&options.pluginPath);
        else if (arg == QLatin1String("-settingspath") || arg == QLatin1String("--settingspath"))
            value(&options.settingsPath);
        else if (arg == QLatin1String("--script") || arg == QLatin1String("-script"))
            value(&options.script);
        else if (arg == QLatin1String("--echo") || arg == QLatin1String("-echo"))
            options.echo = true;
        else if (arg == QLatin1String("-help") || arg == QLatin1String("--help") ||
                 arg == QLatin1String("-h"))
            options.help = true;
        else if (arg.startsWith(QLatin1Char('-')))
            options.error = QCoreApplication::translate("Workbench", "Unknown option %1.").arg(arg);
        else
            options.paths << arg;
        if (!options.error.isEmpty())
            break;
    }
    return options;
}

QString defaultPluginPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QLatin1String(WORKBENCH_RELATIVE_PLUGIN_DIR));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("workbench"));

    const Options options = parseArguments(QCoreApplication::arguments());
    if (!options.error.isEmpty()) {
        writeStandardError(QLatin1String("workbench: ") + options.error + QLatin1String("\n\n") +
                           usageText());
        return 2;
    }
    if (options.help) {
        writeStandardOutput(usageText());
        return 0;
    }
    const bool scripted = !options.script.isEmpty();
    if (!options.settingsPath.isEmpty())
        Core::ICore::setSettingsPath(options.settingsPath);

    // The host's services exist before any plugin is loaded: plugins reach them in initialize().
    auto actionManager = std::make_unique<Core::ActionManager>();
    auto vcsManager = std::make_unique<Core::VcsManager>();
    auto jobQueue = std::make_unique<VcsBase::JobQueue>();
    auto pluginManager = std::make_unique<ExtensionSystem::PluginManager>();
    auto window = std::make_unique<MainWindow>();
    window->setInteractive(!scripted);
    MainWindow *windowPtr = window.get();

    Utils::setAssertHandler([windowPtr, scripted](const QString &message) {
        writeStandardError(QLatin1String("SOFT ASSERT: ") + message + QLatin1Char('\n'));
        if (!scripted)
            windowPtr->statusBar()->showMessage(message, 15000);
    });
    Core::ICore::setOptionsDialogHandler(
        [windowPtr](Core::Id category, Core::Id page, QWidget *parent) {
            return windowPtr->showOptionsDialog(category, page, parent);
        });
    Core::ICore::setProjectOpener([windowPtr](const QString &projectFile) {
        const Outcome outcome = windowPtr->openProject(projectFile);
        if (!outcome.ok)
            windowPtr->notify(outcome.message);
        return outcome.ok;
    });
    QObject mirror;
    if (scripted) {
        QObject::connect(VcsBase::VcsOutputWindow::instance(),
                         &VcsBase::VcsOutputWindow::textAppended, &mirror,
                         [](const QString &text) { writeStandardOutput(text); });
    }

    const QString pluginPath = options.pluginPath.isEmpty()
                                   ? defaultPluginPath()
                                   : QDir(options.pluginPath).absolutePath();
    QStringList errors;
    if (!QFileInfo(pluginPath).isDir()) {
        errors << QCoreApplication::translate("Workbench",
                                              "The plugin directory %1 does not exist; no plugins "
                                              "are loaded.")
                      .arg(QDir::toNativeSeparators(pluginPath));
        writeStandardError(QLatin1String("workbench: ") + errors.last() + QLatin1Char('\n'));
    } else {
        // The plugin manager reports each failing plugin on standard error as it goes on.
        pluginManager->loadPlugins(pluginPath);
        errors = pluginManager->errors();
    }
    if (!Core::ICore::settingsError().isEmpty()) {
        errors << Core::ICore::settingsError();
        writeStandardError(QLatin1String("workbench: ") + Core::ICore::settingsError() +
                           QLatin1Char('\n'));
    }
    window->pluginsLoaded(errors);

    for (const QString &path : options.paths) {
        const QFileInfo info(path);
        const Outcome outcome = info.isDir() ? window->openProject(info.absoluteFilePath())
                                             : window->openFile(info.absoluteFilePath());
        if (!outcome.ok) {
            writeStandardError(QLatin1String("workbench: ") + outcome.message + QLatin1Char('\n'));
            window->notify(outcome.message);
        }
    }

    window->show();
    int status = 0;
    if (scripted) {
        ScriptRunner runner(window.get());
        runner.setEcho(options.echo);
        QTimer::singleShot(0, &runner, [&] { QCoreApplication::exit(runner.run(options.script)); });
        status = app.exec();
    } else {
        status = app.exec();
    }

    // Tear down in the order that keeps every pointer valid: the window refers to the
    // host's services; the settings and the menus may hold texts that live in a plugin's
    // library, so they go before the plugins are unloaded.
    Core::ICore::setOptionsDialogHandler({});
    Core::ICore::setProjectOpener({});
    // A job still running ends with its process tree before anything it reports to goes.
    jobQueue.reset();
    window.reset();
    Core::ICore::resetSettings();
    actionManager.reset();
    pluginManager->shutdown();
    pluginManager.reset();
    vcsManager.reset();
    Utils::setAssertHandler({});
    return status;
}
