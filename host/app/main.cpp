#include "mainwindow.h"
#include "scriptrunner.h"

#include <core/hostservices.h>
#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/qtcassert.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>

#include <functional>
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

// The options that QApplication takes out of the command line for itself: those of Qt's
// platforms and styles with a value, then those without.
bool isQtOption(const QString &arg, bool *takesValue)
{
    static const QStringList withValue{
        "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
        "qwindowtitle", "qwindowicon", "session", "style", "stylesheet", "geometry", "title",
        "icon", "display", "name", "visual", "ncols"};
    static const QStringList flags{"reverse", "widgetcount", "testability", "nograb", "dograb",
                                   "sync", "cmap"};
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const int equals = name.indexOf(QLatin1Char('='));
    *takesValue = equals < 0 && withValue.contains(name);
    if (equals >= 0)
        name.truncate(equals);
    return withValue.contains(name) || flags.contains(name) ||
           name == QLatin1String("qmljsdebugger");
}

// Reads the workbench's options. Before QApplication exists, 'skipQtOptions' passes over
// the options that it will take for itself.
Options parseArguments(const QStringList &arguments, bool skipQtOptions)
{
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        bool takesValue = false;
        if (skipQtOptions && arg.startsWith(QLatin1Char('-')) && isQtOption(arg, &takesValue)) {
            if (takesValue)
                ++i;
            continue;
        }
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

// Calls 'then' once the window has been painted for the first time (or, should no paint come,
// shortly after it was shown), from the event loop, so that the picture is on the screen first.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, std::function<void()> then) : m_then(std::move(then))
    {
        window->installEventFilter(this);
        m_fallback.setSingleShot(true);
        connect(&m_fallback, &QTimer::timeout, this, &FirstPaint::go);
        m_fallback.start(1000);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_then) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, &FirstPaint::go);
        }
        return false;
    }

private:
    void go()
    {
        m_fallback.stop();
        if (!m_then)
            return;
        const std::function<void()> then = std::move(m_then);
        m_then = nullptr;
        then();
    }

    std::function<void()> m_then;
    QTimer m_fallback;
};

QString defaultPluginPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QLatin1String(WORKBENCH_RELATIVE_PLUGIN_DIR));
}

// Answers -help and a bad command line; -1 when the workbench is to run.
int answerWithoutWindow(const Options &options)
{
    if (!options.error.isEmpty()) {
        writeStandardError(QLatin1String("workbench: ") + options.error + QLatin1String("\n\n") +
                           usageText());
        return 2;
    }
    if (options.help) {
        writeStandardOutput(usageText());
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and a bad command line need no window, so they are answered before QApplication
    // looks for a display, which it aborts without.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    const int early = answerWithoutWindow(parseArguments(rawArguments, true));
    if (early >= 0)
        return early;

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("workbench"));

    const Options options = parseArguments(QCoreApplication::arguments(), false);
    const int answered = answerWithoutWindow(options);
    if (answered >= 0)
        return answered;
    const bool scripted = !options.script.isEmpty();
    if (!options.settingsPath.isEmpty())
        Core::ICore::setSettingsPath(options.settingsPath);

    // The host's services exist before any plugin is loaded: plugins reach them in initialize().
    auto services = std::make_unique<Core::HostServices>();
    ExtensionSystem::PluginManager *pluginManager = services->pluginManager();
    auto jobQueue = std::make_unique<VcsBase::JobQueue>();
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
    std::unique_ptr<ScriptRunner> runner;
    // The window comes first: nothing of a plugin runs, and no project is opened (which asks
    // the version controls about it), before a person sees it.
    auto startUp = [&] {
        QStringList errors;
        if (!QFileInfo(pluginPath).isDir()) {
            errors << QCoreApplication::translate("Workbench",
                                                  "The plugin directory %1 does not exist; no "
                                                  "plugins are loaded.")
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
                writeStandardError(QLatin1String("workbench: ") + outcome.message +
                                   QLatin1Char('\n'));
                window->notify(outcome.message);
            }
        }
        if (scripted) {
            runner = std::make_unique<ScriptRunner>(window.get());
            runner->setEcho(options.echo);
            QCoreApplication::exit(runner->run(options.script));
        }
    };
    FirstPaint firstPaint(window.get(), startUp);
    window->show();
    const int status = app.exec();
    runner.reset();

    // Tear down in the order that keeps every pointer valid: plugins shut down while the
    // window and the managers they registered with are there; the window refers to the
    // managers; the services then go in their own order.
    Core::ICore::setOptionsDialogHandler({});
    Core::ICore::setProjectOpener({});
    // A job still running ends with its process tree before the plugins that may hear of
    // it go, and before anything it reports to.
    jobQueue.reset();
    services->shutdownPlugins();
    window.reset();
    services.reset();
    Utils::setAssertHandler({});
    return status;
}
