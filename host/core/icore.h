#pragma once

#include "id.h"

#include <QObject>
#include <QSettings>

#include <functional>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Core {

// The host's central services: the settings store, the options dialog and opening projects.
class ICore : public QObject
{
    Q_OBJECT
public:
    // The settings store: a real INI file. The user store lives in the directory set with
    // setSettingsPath() (the workbench's -settingspath), else in the user's configuration
    // directory. It is created readable and writable by its owner only, because it may
    // hold a password.
    static QSettings *settings(QSettings::Scope scope = QSettings::UserScope);
    static void setSettingsPath(const QString &directory);
    static QString settingsPath();
    // Problems met opening or writing the store, for the host to show.
    static QString settingsError();
    // Writes pending changes to the store now; false, with settingsError() set, on failure.
    static bool syncSettings();
    // Drops the stores (the host calls it at exit, tests between cases).
    static void resetSettings();

    using OptionsDialogHandler = std::function<bool(Id category, Id page, QWidget *parent)>;
    using ProjectOpener = std::function<bool(const QString &projectFile)>;
    static void setOptionsDialogHandler(OptionsDialogHandler handler);
    static void setProjectOpener(ProjectOpener opener);

    // Shows the options dialog at the page 'page' of 'category'; false when no dialog is there.
    static bool showOptionsDialog(Id category, Id page, QWidget *parent = nullptr);
    // Opens the project file as the current project; false when that did not happen.
    static bool openProject(const QString &projectFile);
};

} // namespace Core
