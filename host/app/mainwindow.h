#pragma once

#include "outcome.h"

#include <core/id.h>

#include <QMainWindow>

QT_BEGIN_NAMESPACE
class QLabel;
class QStackedWidget;
class QTabWidget;
class QTreeView;
QT_END_NAMESPACE

namespace Core {
class Command;
}

namespace Workbench {

class EditorWidget;
class Heartbeat;
class LocatorWidget;
class AnnotateView;
class DiffView;
class HistoryView;
class OutputPane;
class PendingChangesView;
class ProjectModel;

namespace Constants {
const char MENU_BAR[] = "QtCreator.MenuBar";
const char OPEN_FILE[] = "QtCreator.OpenFile";
const char OPEN_PROJECT[] = "QtCreator.OpenProject";
const char NEW_PROJECT[] = "QtCreator.NewProject";
const char SAVE[] = "QtCreator.Save";
const char EXIT[] = "QtCreator.Exit";
const char OPTIONS[] = "QtCreator.Options";
} // namespace Constants

// The IDE window: the project tree, the editor of the current file, the version-control
// output pane and the locator, with the File and Tools menus. It keeps the current file and
// project, tells the version-control plugins about them, and does the IDE's file operations
// together with the version control that manages the files.
//
// Every operation that a person starts from a dialog also exists as a plain function
// returning an Outcome, so that scripted runs drive the same code without dialogs.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    // In a scripted run nobody answers dialogs: the commands that need a person are disabled,
    // nothing asks a question, and closing is left to the script.
    void setInteractive(bool interactive);
    bool isInteractive() const { return m_interactive; }

    // Finishes the Tools menu after the plugins' menus, follows the version controls' change
    // signals and shows the plugins that failed to load.
    void pluginsLoaded(const QStringList &errors);

    QString projectDirectory() const { return m_project; }
    // The repository location of the current project (or file) that the status bar shows.
    QString repository() const { return m_repository; }
    QString currentFile() const;
    // A relative path is taken relative to the current project, else to the working directory.
    QString resolvePath(const QString &path) const;

    Outcome openProject(const QString &path);
    Outcome openFile(const QString &file);
    Outcome editFile(const QString &file, const QString &text);
    // Types 'text' at the end of the current file, leaving it unsaved.
    Outcome typeText(const QString &text);
    Outcome saveCurrentFile();
    Outcome newFile(const QString &file, const QString &text);
    Outcome deleteFile(const QString &file);
    Outcome renameFile(const QString &from, const QString &to);
    Outcome annotate(const QString &file, int line);

    // The options dialog at the given page, for Core::ICore::showOptionsDialog.
    bool showOptionsDialog(Core::Id category, Core::Id page, QWidget *parent);

    LocatorWidget *locator() const { return m_locator; }
    EditorWidget *editor() const { return m_editor; }
    PendingChangesView *pendingChanges() const { return m_pendingChanges; }
    ProjectModel *projectModel() const { return m_model; }
    // How long the window's thread was kept from serving it.
    Heartbeat *heartbeat() const { return m_heartbeat; }
    // Brings the Pending Changes view to the front, beside the output pane.
    void showPendingChanges();
    HistoryView *historyView() const { return m_history; }
    DiffView *diffView() const { return m_diff; }
    AnnotateView *annotateView() const { return m_annotate; }
    // Bring the view to the front and have it read the history of 'path', compare two
    // versions of 'file', annotate 'file'; false (the view says why) when nothing was asked.
    bool showHistory(const QString &path);
    bool showDiff(const QString &file, int older, int newer);
    bool showAnnotation(const QString &file);

    // Tells the user something went wrong: in the status bar, and in the pane when a person
    // is watching the window.
    void notify(const QString &message);

signals:
    // Quit was chosen in a scripted run; the script stops after the current line.
    void quitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    Core::Command *addHostCommand(const char *id, const QString &text, const QKeySequence &key,
                                  void (MainWindow::*slot)());
    void updateContext();
    void updateRepository();
    void filesChanged(const QStringList &files);
    void repositoryChanged(const QString &repository);
    // Lets the user save or drop unsaved changes before the editor shows something else;
    // in a scripted run unsaved changes make the operation fail.
    Outcome releaseEditor();
    // What version-control commands ask of the documents at or below 'path' (see
    // Core::DocumentManager): save the editor's unsaved changes, or throw them away once the
    // user agrees.
    bool hasChangesAt(const QString &path) const;
    bool saveChangesAt(const QString &path, QString *errorMessage);
    bool discardChangesAt(const QString &path);

    void openFileDialog();
    void openProjectDialog();
    void newProjectDialog();
    void saveFromMenu();
    void optionsFromMenu();
    void quitFromMenu();
    void treeContextMenu(const QPoint &pos);
    void newFileInteractive(const QString &directory);
    void renameInteractive(const QString &file);
    void deleteInteractive(const QString &file);
    void report(const Outcome &outcome);

    Heartbeat *m_heartbeat;
    ProjectModel *m_model;
    QTreeView *m_tree;
    QStackedWidget *m_treeStack;
    EditorWidget *m_editor;
    QLabel *m_editorTitle;
    QWidget *m_editRefusal;
    QLabel *m_editRefusalLabel;
    OutputPane *m_pane;
    PendingChangesView *m_pendingChanges;
    HistoryView *m_history;
    DiffView *m_diff;
    AnnotateView *m_annotate;
    QTabWidget *m_paneTabs;
    LocatorWidget *m_locator;
    QLabel *m_repositoryLabel;
    QString m_project;
    QString m_repository;
    bool m_interactive = true;
    QList<Core::Command *> m_dialogCommands;
};

} // namespace Workbench
