#include "icore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <memory>

namespace Core {

namespace {
struct CoreState
{
    QString settingsPath;
    std::unique_ptr<QSettings> userSettings;
    std::unique_ptr<QSettings> systemSettings;
    QString settingsError;
    ICore::OptionsDialogHandler optionsDialogHandler;
    ICore::ProjectOpener projectOpener;
};

// Outlives every caller it can; isDestroyed() tells code that runs at the very end of the
// process (Qt's own clean-up of plugins) that the stores are gone.
Q_GLOBAL_STATIC(CoreState, coreState)

CoreState &state()
{
    return *coreState();
}

QString statusText(QSettings::Status status, const QString &file)
{
    switch (status) {
    case QSettings::NoError:
        return QString();
    case QSettings::AccessError:
        return ICore::tr("The settings file \"%1\" cannot be written.").arg(file);
    case QSettings::FormatError:
        return ICore::tr("The settings file \"%1\" is corrupt; defaults are used.").arg(file);
    }
    return QString();
}

QSettings *openStore(const QString &fileName)
{
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    if (!QFile::exists(fileName)) {
        QFile file(fileName);
        if (file.open(QIODevice::WriteOnly))
            file.close();
    }
    // Owner only, whether we created the file or found it: it may hold a password.
    QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner);
    auto settings = new QSettings(fileName, QSettings::IniFormat);
    if (settings->status() == QSettings::FormatError) {
        // QSettings keeps whatever it could parse of a malformed file and writes that back
        // at the next sync. Set the file aside for the user instead and start from the
        // defaults, so that half-read values are neither used nor made permanent.
        delete settings;
        const QString backup = fileName + QLatin1String(".corrupt");
        QFile::remove(backup);
        const bool kept = QFile::rename(fileName, backup);
        settings = new QSettings(fileName, QSettings::IniFormat);
        if (kept) {
            QFile file(fileName);
            if (file.open(QIODevice::WriteOnly))
                file.close();
            QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner);
            state().settingsError =
                ICore::tr("The settings file \"%1\" is corrupt; it was kept as \"%2\" and "
                          "defaults are used.")
                    .arg(fileName, backup);
        } else {
            settings->clear();
            state().settingsError = statusText(QSettings::FormatError, fileName);
        }
        return settings;
    }
    const QString error = statusText(settings->status(), fileName);
    if (!error.isEmpty())
        state().settingsError = error;
    return settings;
}
} // namespace

QString ICore::settingsPath()
{
    if (!state().settingsPath.isEmpty())
        return state().settingsPath;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QLatin1String("/workbench");
}

void ICore::setSettingsPath(const QString &directory)
{
    resetSettings();
    state().settingsPath = QDir(directory).absolutePath();
}

QSettings *ICore::settings(QSettings::Scope scope)
{
    CoreState &s = state();
    if (scope == QSettings::SystemScope) {
        if (!s.systemSettings)
            s.systemSettings.reset(openStore(settingsPath() + QLatin1String("/workbench-system.ini")));
        return s.systemSettings.get();
    }
    if (!s.userSettings)
        s.userSettings.reset(openStore(settingsPath() + QLatin1String("/workbench.ini")));
    return s.userSettings.get();
}

QString ICore::settingsError()
{
    return state().settingsError;
}

bool ICore::syncSettings()
{
    if (coreState.isDestroyed())
        return false;
    CoreState &s = state();
    if (!s.userSettings)
        return true;
    s.userSettings->sync();
    const QString error = statusText(s.userSettings->status(), s.userSettings->fileName());
    if (s.userSettings->status() == QSettings::AccessError) {
        s.settingsError = error;
        return false;
    }
    return true;
}

void ICore::resetSettings()
{
    if (coreState.isDestroyed())
        return;
    CoreState &s = state();
    if (s.userSettings)
        syncSettings();
    s.userSettings.reset();
    s.systemSettings.reset();
    s.settingsError.clear();
}

void ICore::setOptionsDialogHandler(OptionsDialogHandler handler)
{
    state().optionsDialogHandler = std::move(handler);
}

void ICore::setProjectOpener(ProjectOpener opener)
{
    state().projectOpener = std::move(opener);
}

bool ICore::showOptionsDialog(Id category, Id page, QWidget *parent)
{
    const OptionsDialogHandler &handler = state().optionsDialogHandler;
    return handler ? handler(category, page, parent) : false;
}

bool ICore::openProject(const QString &projectFile)
{
    const ProjectOpener &opener = state().projectOpener;
    return opener ? opener(projectFile) : false;
}

} // namespace Core
