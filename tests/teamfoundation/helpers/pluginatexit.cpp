// Loads the plugin library given as the argument the way a host may: takes the plugin's
// instance and returns from main without deleting it or unloading the library, leaving
// both to Qt's own clean-up at exit. Exits 0 when the library loaded; the process must
// then also end cleanly.
#include <QCoreApplication>
#include <QPluginLoader>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pluginatexit PLUGIN-LIBRARY\n");
        return 2;
    }
    QPluginLoader loader(QString::fromLocal8Bit(argv[1]));
    if (!loader.instance()) {
        std::fprintf(stderr, "pluginatexit: %s\n", qPrintable(loader.errorString()));
        return 1;
    }
    return 0;
}
