#include "mainwindow.h"
#include "editorwidget.h"
#include "fileoperations.h"
#include "heartbeat.h"
#include "jobstatus.h"
#include "locatorwidget.h"
#include "newprojectdialog.h"
#include "optionsdialog.h"
#include "outputpane.h"
#include "annotateview.h"
#include "diffview.h"
#include "historyview.h"
#include "pendingchangesview.h"
#include "projectmodel.h"

#include <core/actionmanager.h>
#include <core/documentmanager.h>
#include <core/iversioncontrol.h>
#include <core/iwizard.h>
#include <core/iversionhistory.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsbaseplugin.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>

#include <memory>
#include <QTreeView>
#include <QVBoxLayout>

namespace Workbench {

namespace {
QWidget *titled(const QString &title, QLabel **label, QWidget *content)
{
    auto box = new QWidget;
    auto layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto header = new QLabel(title);
    header->setContentsMargins(4, 2, 4, 2);
    QFont font = header->font();
    font.setBold(true);
    header->setFont(font);
    if (label)
        *label = header;
    layout->addWidget(header);
    layout->addWidget(content, 1);
    return box;
}

// The status bar's temporary messages, in a widget of their own left of the permanent ones:
// the status bar paints a message right up to its first permanent widget and cuts it off
// there, so that it runs into "Repository:". This one ends a message that does not fit with
// "...", keeps a gap to the widgets on its right and offers the whole message as its tooltip.
class StatusMessage : public QLabel
{
public:
    StatusMessage()
    {
        setObjectName(QStringLiteral("statusMessage"));
        // As wide as the room the permanent widgets leave, never wider.
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setContentsMargins(4, 0, 16, 0);
    }

    void showMessage(const QString &message)
    {
        QString line = message;
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        setText(line);
        setToolTip(message);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRect room = contentsRect();
        painter.drawText(room, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
    }
};

bool isBelow(const QString &path, const QString &directory)
{
    if (directory.isEmpty())
        return true;
    const QString dir = QDir::cleanPath(directory);
    return path == dir || path.startsWith(dir + QLatin1Char('/'));
}
} // namespace

MainWindow::MainWindow()
    : m_heartbeat(new Heartbeat(this)), m_model(new ProjectModel(this)), m_tree(new QTreeView),
      m_treeStack(new QStackedWidget), m_editor(new EditorWidget), m_pane(new OutputPane),
      m_pendingChanges(new PendingChangesView), m_history(new HistoryView), m_diff(new DiffView),
      m_annotate(new AnnotateView), m_paneTabs(new QTabWidget), m_locator(new LocatorWidget(this)),
      m_repositoryLabel(new QLabel)
{
    setObjectName(QStringLiteral("mainWindow"));
    m_model->setReadOnly(true);
    m_tree->setObjectName(QStringLiteral("projectTree"));
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    auto noProject = new QLabel(tr("No project is open.\n\nFile > Open Project..."));
    noProject->setAlignment(Qt::AlignCenter);
    noProject->setContextMenuPolicy(Qt::NoContextMenu);
    m_treeStack->addWidget(noProject);
    m_treeStack->addWidget(m_tree);

    m_paneTabs->setObjectName(QStringLiteral("paneTabs"));
    m_paneTabs->setDocumentMode(true);
    m_paneTabs->addTab(m_pane, tr("Version Control"));
    m_paneTabs->addTab(m_pendingChanges, tr("Pending Changes"));
    m_paneTabs->addTab(m_history, tr("History"));
    m_paneTabs->addTab(m_diff, tr("Compare"));
    m_paneTabs->addTab(m_annotate, tr("Annotate"));
    // A person's command writes into the pane; it must not do so behind another tab.
    connect(VcsBase::VcsOutputWindow::instance(), &VcsBase::VcsOutputWindow::popupRequested, this,
            [this] { m_paneTabs->setCurrentWidget(m_pane); });
    auto right = new QSplitter(Qt::Vertical);
    // One line above the editor says why its file could not be opened for editing, with a
    // Retry, as long as the editor does not ask again on its own.
    m_editRefusal = new QFrame;
    m_editRefusal->setObjectName(QStringLiteral("editRefusal"));
    m_editRefusalLabel = new QLabel;
    m_editRefusalLabel->setObjectName(QStringLiteral("editRefusalLabel"));
    m_editRefusalLabel->setTextFormat(Qt::PlainText);
    m_editRefusalLabel->setWordWrap(true);
    auto retry = new QPushButton(tr("Retry"));
    retry->setObjectName(QStringLiteral("retryEditButton"));
    retry->setToolTip(tr("Asks the version control again to open the file for editing"));
    auto refusalLayout = new QHBoxLayout(m_editRefusal);
    refusalLayout->setContentsMargins(4, 2, 4, 2);
    refusalLayout->addWidget(m_editRefusalLabel, 1);
    refusalLayout->addWidget(retry);
    m_editRefusal->hide();
    auto editorBox = new QWidget;
    auto editorLayout = new QVBoxLayout(editorBox);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setSpacing(0);
    editorLayout->addWidget(m_editRefusal);
    editorLayout->addWidget(m_editor, 1);
    right->addWidget(titled(tr("No file"), &m_editorTitle, editorBox));
    right->addWidget(m_paneTabs);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    auto main = new QSplitter(Qt::Horizontal);
    main->addWidget(titled(tr("Project"), nullptr, m_treeStack));
    main->addWidget(right);
    main->setStretchFactor(1, 1);
    main->setSizes({260, 840});
    setCentralWidget(main);

    // All are permanent: temporary messages would hide normal widgets, and with them what
    // a person is typing into the locator. The messages take the room left of the others.
    auto message = new StatusMessage;
    statusBar()->addPermanentWidget(message, 1);
    connect(statusBar(), &QStatusBar::messageChanged, message, &StatusMessage::showMessage);
    statusBar()->addPermanentWidget(m_repositoryLabel);
    m_locator->setMinimumWidth(320);
    statusBar()->addPermanentWidget(m_locator);
    if (VcsBase::JobQueue *queue = VcsBase::JobQueue::instance())
        statusBar()->addPermanentWidget(new JobStatus(queue));
    auto locatorShortcut = new QShortcut(QKeySequence(tr("Ctrl+K")), this);
    connect(locatorShortcut, &QShortcut::activated, this, [this] {
        m_locator->setFocus(Qt::ShortcutFocusReason);
        m_locator->selectAll();
    });

    m_editor->setEditGuard(&FileOperations::openForEditing);
    connect(m_editor, &EditorWidget::editRefused, this, [this](const QString &message) {
        m_editRefusalLabel->setText(message);
        notify(message);
    });
    connect(m_editor, &EditorWidget::editRefusalChanged, this,
            [this] { m_editRefusal->setVisible(m_editor->isEditRefused()); });
    connect(retry, &QPushButton::clicked, this, [this] {
        if (m_editor->retryEdit())
            m_editor->setFocus();
    });
    connect(m_editor, &EditorWidget::annotateRequested, this,
            [this](int line) { report(annotate(m_editor->filePath(), line)); });
    connect(m_editor->document(), &QTextDocument::modificationChanged, this,
            [this] { updateContext(); });
    connect(m_editor, &EditorWidget::changedOnDisk, this, [this] { updateContext(); });
    Core::DocumentManager::setSaveHandler([this](const QString &path, QString *errorMessage) {
        return saveChangesAt(path, errorMessage);
    });
    Core::DocumentManager::setDiscardHandler(
        [this](const QString &path) { return discardChangesAt(path); });
    connect(m_tree, &QTreeView::activated, this, [this](const QModelIndex &index) {
        const QString path = m_model->filePath(index);
        if (QFileInfo(path).isFile())
            report(openFile(path));
    });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &MainWindow::treeContextMenu);
    // The tree marks the files with the changes that the view lists.
    connect(m_pendingChanges, &PendingChangesView::rowsChanged, this,
            [this] { m_model->setPendingChanges(m_pendingChanges->rows()); });
    connect(m_pendingChanges, &PendingChangesView::openRequested, this,
            [this](const QString &file) { report(openFile(file)); });
    connect(m_pendingChanges, &PendingChangesView::historyRequested, this,
            &MainWindow::showHistory);
    connect(m_history, &HistoryView::compareRequested, this, &MainWindow::showDiff);
    connect(m_history, &HistoryView::annotateRequested, this, &MainWindow::showAnnotation);
    connect(m_annotate, &AnnotateView::changesetActivated, this,
            [this](const QString &file, int changeset) {
                // The history may not be read yet: the changeset is selected once it is.
                if (m_history->path() == file && !m_history->isReading() &&
                    m_history->selectChangeset(changeset)) {
                    m_paneTabs->setCurrentWidget(m_history);
                    return;
                }
                auto select = std::make_shared<QMetaObject::Connection>();
                *select = connect(m_history, &HistoryView::readFinished, this,
                                  [this, select, changeset] {
                                      disconnect(*select);
                                      m_history->selectChangeset(changeset);
                                  });
                if (!showHistory(file))
                    disconnect(*select);
            });

    createMenus();
    resize(1100, 720);
    updateContext();
}

MainWindow::~MainWindow()
{
    Core::DocumentManager::setSaveHandler({});
    Core::DocumentManager::setDiscardHandler({});
}

void MainWindow::setInteractive(bool interactive)
{
    m_interactive = interactive;
    for (Core::Command *command : qAsConst(m_dialogCommands))
        command->registeredAction()->setEnabled(interactive);
}

Core::Command *MainWindow::addHostCommand(const char *id, const QString &text,
                                          const QKeySequence &key, void (MainWindow::*slot)())
{
    auto action = new QAction(text, this);
    connect(action, &QAction::triggered, this, slot);
    Core::Command *command = Core::ActionManager::registerAction(
        action, Core::Id(id), Core::Context(Core::Id(Core::Constants::C_GLOBAL)));
    if (command && !key.isEmpty())
        command->action()->setShortcut(key);
    return command;
}

void MainWindow::createMenus()
{
    Core::ActionContainer *bar =
        Core::ActionManager::createMenuBar(Core::Id(Constants::MENU_BAR), menuBar());
    Core::ActionContainer *file =
        Core::ActionManager::createMenu(Core::Id(Core::Constants::M_FILE));
    file->menu()->setTitle(tr("&File"));
    // Plugins look the Tools menu up while they initialize, so it exists before they load.
    Core::ActionContainer *tools =
        Core::ActionManager::createMenu(Core::Id(Core::Constants::M_TOOLS));
    tools->menu()->setTitle(tr("&Tools"));
    bar->addMenu(file);
    bar->addMenu(tools);

    const Core::Context global{Core::Id(Core::Constants::C_GLOBAL)};
    Core::Command *openFile = addHostCommand(Constants::OPEN_FILE, tr("&Open File..."),
                                             QKeySequence::Open, &MainWindow::openFileDialog);
    Core::Command *openProject =
        addHostCommand(Constants::OPEN_PROJECT, tr("Open &Project..."),
                       QKeySequence(tr("Ctrl+Shift+O")), &MainWindow::openProjectDialog);
    Core::Command *newProject =
        addHostCommand(Constants::NEW_PROJECT, tr("&New Project..."),
                       QKeySequence(tr("Ctrl+Shift+N")), &MainWindow::newProjectDialog);
    Core::Command *save =
        addHostCommand(Constants::SAVE, tr("&Save"), QKeySequence::Save, &MainWindow::saveFromMenu);
    Core::Command *quit =
        addHostCommand(Constants::EXIT, tr("&Quit"), QKeySequence::Quit, &MainWindow::quitFromMenu);
    file->addAction(openFile);
    file->addAction(openProject);
    file->addAction(newProject);
    file->addSeparator(global);
    file->addAction(save);
    file->addSeparator(global);
    file->addAction(quit);
    m_dialogCommands = {openFile, openProject, newProject};
}

void MainWindow::pluginsLoaded(const QStringList &errors)
{
    Core::ActionContainer *tools =
        Core::ActionManager::actionContainer(Core::Id(Core::Constants::M_TOOLS));
    const Core::Context global{Core::Id(Core::Constants::C_GLOBAL)};
    if (!tools->menu()->actions().isEmpty())
        tools->addSeparator(global);
    Core::Command *options = addHostCommand(Constants::OPTIONS, tr("&Options..."), QKeySequence(),
                                            &MainWindow::optionsFromMenu);
    tools->addAction(options);
    m_dialogCommands.append(options);
    setInteractive(m_interactive);

    for (Core::IVersionControl *vc : Core::VcsManager::versionControls())
        connect(vc, &Core::IVersionControl::filesChanged, this, &MainWindow::filesChanged);
    connect(Core::VcsManager::instance(), &Core::VcsManager::repositoryChanged, this,
            &MainWindow::repositoryChanged);
    // What the version controls remember was dropped; the repository may be another now.
    connect(Core::VcsManager::instance(), &Core::VcsManager::repositoryChanged, this,
            &MainWindow::updateRepository);
    connect(Core::VcsManager::instance(), &Core::VcsManager::configurationChanged, this,
            &MainWindow::updateRepository);
    // The version controls' own commands show their histories, comparisons and annotations
    // in the views.
    for (Core::IVersionHistory *history :
         ExtensionSystem::PluginManager::getObjects<Core::IVersionHistory>()) {
        connect(history, &Core::IVersionHistory::historyRequested, this, &MainWindow::showHistory);
        connect(history, &Core::IVersionHistory::compareRequested, this, &MainWindow::showDiff);
        connect(history, &Core::IVersionHistory::annotateRequested, this,
                &MainWindow::showAnnotation);
    }
    connect(Core::VcsManager::instance(), &Core::VcsManager::answersChanged, this,
            &MainWindow::updateRepository);
    // What refused to open the file for editing may let it now.
    connect(Core::VcsManager::instance(), &Core::VcsManager::configurationChanged, m_editor,
            &EditorWidget::allowEditAttempt);
    if (VcsBase::JobQueue *queue = VcsBase::JobQueue::instance()) {
        connect(queue, &VcsBase::JobQueue::jobFinished, m_editor, [this](VcsBase::VcsJob *job) {
            if (!job->isBackground() && job->succeeded())
                m_editor->allowEditAttempt();
        });
    }

    if (m_interactive) {
        for (const QString &error : errors)
            VcsBase::VcsOutputWindow::appendError(error);
    }
    updateContext();
}

QString MainWindow::currentFile() const
{
    return m_editor->filePath();
}

QString MainWindow::resolvePath(const QString &path) const
{
    if (path.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    const QString base = m_project.isEmpty() ? QDir::currentPath() : m_project;
    return QDir::cleanPath(base + QLatin1Char('/') + path);
}

void MainWindow::updateContext()
{
    VcsBase::VcsBasePlugin::setCurrentContext(m_editor->filePath(), m_project);
    QString title = tr("Workbench");
    if (m_editor->hasFile()) {
        const QFileInfo info(m_editor->filePath());
        QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
        if (m_editor->isReadOnly())
            shown += tr(" (read-only)");
        if (m_editor->isModified())
            shown += QLatin1Char('*');
        m_editorTitle->setText(shown);
        title = info.fileName() + QLatin1String(" - ") + title;
    } else {
        m_editorTitle->setText(tr("No file"));
    }
    if (!m_project.isEmpty())
        title = QFileInfo(m_project).fileName() + QLatin1String(": ") + title;
    setWindowTitle(title);
    updateRepository();
}

void MainWindow::updateRepository()
{
    // The project's repository, or the current file's when the project has none. The VCS
    // manager asks each directory once, so that this costs no process at every change.
    const VcsBase::VcsBasePluginState state = VcsBase::VcsBasePlugin::globalState();
    const QString directory = state.currentProjectTopLevel().isEmpty()
                                  ? state.currentFileDirectory()
                                  : state.currentProjectTopLevel();
    m_repository = directory.isEmpty() ? QString() : Core::VcsManager::repositoryUrl(directory);
    m_repositoryLabel->setText(m_repository.isEmpty() ? QString()
                                                      : tr("Repository: %1").arg(m_repository));
}

Outcome MainWindow::openProject(const QString &path)
{
    const QFileInfo info(path);
    QString directory;
    if (info.isDir())
        directory = info.absoluteFilePath();
    else if (info.isFile())
        directory = info.absolutePath();
    else
        return Outcome::failure(tr("%1 does not exist.").arg(QDir::toNativeSeparators(path)));
    directory = QDir::cleanPath(directory);
    // The editor shows a file of the project or none: under the new project's name, a file
    // of the previous one would be taken for one of the new project.
    if (m_editor->hasFile() && !isBelow(m_editor->filePath(), directory)) {
        const Outcome released = releaseEditor();
        if (!released.ok)
            return released;
        m_editor->closeFile();
    }
    m_project = directory;
    m_model->setRootPath(m_project);
    m_tree->setRootIndex(m_model->index(m_project));
    m_treeStack->setCurrentWidget(m_tree);
    updateContext();
    m_pendingChanges->setProject(m_project);
    return Outcome::success();
}

Outcome MainWindow::releaseEditor()
{
    if (!m_editor->isModified())
        return Outcome::success();
    const QString file = QDir::toNativeSeparators(m_editor->filePath());
    if (!m_interactive)
        return Outcome::failure(tr("%1 has unsaved changes.").arg(file));
    const auto answer = QMessageBox::question(
        this, tr("Unsaved Changes"), tr("Save the changes to %1?").arg(file),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Cancel)
        return Outcome::failure(tr("Cancelled."));
    if (answer == QMessageBox::Save)
        return m_editor->save();
    return Outcome::success();
}

bool MainWindow::hasChangesAt(const QString &path) const
{
    return m_editor->isModified() &&
           isBelow(m_editor->filePath(), QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

bool MainWindow::saveChangesAt(const QString &path, QString *errorMessage)
{
    if (!hasChangesAt(path))
        return true;
    const Outcome saved = saveCurrentFile();
    if (!saved.ok && errorMessage)
        *errorMessage = saved.message;
    return saved.ok;
}

bool MainWindow::discardChangesAt(const QString &path)
{
    if (!hasChangesAt(path))
        return true;
    QMessageBox box(QMessageBox::Question, tr("Discard Unsaved Changes"),
                    tr("%1 has unsaved changes, which the command would overwrite. "
                       "Discard them?")
                        .arg(QDir::toNativeSeparators(m_editor->filePath())),
                    QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Discard)
        return false;
    report(m_editor->revert());
    updateContext();
    return true;
}

Outcome MainWindow::openFile(const QString &input)
{
    const QString file = QFileInfo(input).absoluteFilePath();
    if (!QFileInfo(file).isFile())
        return Outcome::failure(
            tr("%1 is not an existing file.").arg(QDir::toNativeSeparators(file)));
    if (file == m_editor->filePath())
        return Outcome::success();
    const Outcome released = releaseEditor();
    if (!released.ok)
        return released;
    const Outcome opened = m_editor->openFile(file);
    if (opened.ok && m_model->rootPath() == m_project && isBelow(file, m_project))
        m_tree->setCurrentIndex(m_model->index(file));
    updateContext();
    return opened;
}

Outcome MainWindow::editFile(const QString &file, const QString &text)
{
    Outcome outcome = openFile(file);
    if (!outcome.ok)
        return outcome;
    outcome = m_editor->typeAtEnd(text);
    updateContext();
    if (!outcome.ok)
        return outcome;
    return saveCurrentFile();
}

Outcome MainWindow::typeText(const QString &text)
{
    if (!m_editor->hasFile())
        return Outcome::failure(tr("No file is open."));
    const Outcome outcome = m_editor->typeAtEnd(text);
    updateContext();
    return outcome;
}

Outcome MainWindow::saveCurrentFile()
{
    const Outcome outcome = m_editor->save();
    updateContext();
    return outcome;
}

Outcome MainWindow::newFile(const QString &input, const QString &text)
{
    const QString file = QFileInfo(input).absoluteFilePath();
    const Outcome created = FileOperations::createFile(file, text.toUtf8());
    if (!QFileInfo(file).isFile())
        return created;
    // The new file becomes the current one, as in any editor, even when adding it failed.
    const Outcome opened = openFile(file);
    if (!created.ok)
        return created;
    return opened;
}

Outcome MainWindow::deleteFile(const QString &input)
{
    const QString file = QFileInfo(input).absoluteFilePath();
    const bool isCurrent = file == m_editor->filePath();
    const Outcome outcome = FileOperations::deleteFile(file);
    if (outcome.ok && isCurrent) {
        m_editor->closeFile();
        updateContext();
    }
    return outcome;
}

Outcome MainWindow::renameFile(const QString &fromInput, const QString &toInput)
{
    const QString from = QFileInfo(fromInput).absoluteFilePath();
    const QString to = QFileInfo(toInput).absoluteFilePath();
    const bool isCurrent = from == m_editor->filePath();
    if (isCurrent) {
        // The rename moves what is on disk; unsaved changes must be there first.
        const Outcome released = releaseEditor();
        if (!released.ok)
            return released;
    }
    const Outcome outcome = FileOperations::renameFile(from, to);
    if (outcome.ok && isCurrent) {
        m_editor->closeFile();
        return openFile(to);
    }
    return outcome;
}

Outcome MainWindow::annotate(const QString &file, int line)
{
    return FileOperations::annotate(QFileInfo(file).absoluteFilePath(), line);
}

bool MainWindow::showOptionsDialog(Core::Id category, Core::Id page, QWidget *parent)
{
    if (!m_interactive) {
        notify(
            tr("The options dialog is not shown in a scripted run; use the \"options\" command."));
        return false;
    }
    OptionsDialog dialog(parent ? parent : this);
    if (category.isValid() || page.isValid())
        dialog.showPage(category, page);
    return dialog.exec() == QDialog::Accepted;
}

bool MainWindow::showHistory(const QString &path)
{
    m_paneTabs->setCurrentWidget(m_history);
    return m_history->showHistory(path);
}

bool MainWindow::showDiff(const QString &file, int older, int newer)
{
    m_paneTabs->setCurrentWidget(m_diff);
    return m_diff->compare(file, older, newer);
}

bool MainWindow::showAnnotation(const QString &file)
{
    m_paneTabs->setCurrentWidget(m_annotate);
    return m_annotate->annotate(file);
}

void MainWindow::showPendingChanges()
{
    m_paneTabs->setCurrentWidget(m_pendingChanges);
}

void MainWindow::notify(const QString &message)
{
    statusBar()->showMessage(message, 15000);
    if (m_interactive)
        VcsBase::VcsOutputWindow::appendWarning(message);
}

void MainWindow::report(const Outcome &outcome)
{
    if (!outcome.ok && !outcome.message.isEmpty())
        notify(outcome.message);
}

void MainWindow::filesChanged(const QStringList &files)
{
    if (!m_editor->hasFile())
        return;
    for (const QString &file : files) {
        if (QDir::cleanPath(QFileInfo(file).absoluteFilePath()) == m_editor->filePath()) {
            report(m_editor->reload());
            updateContext();
            return;
        }
    }
}

void MainWindow::repositoryChanged(const QString &repository)
{
    if (!m_editor->hasFile())
        return;
    const QString root = repository.isEmpty()
                             ? QString()
                             : QDir::cleanPath(QFileInfo(repository).absoluteFilePath());
    if (!isBelow(m_editor->filePath(), root))
        return;
    // A get or an undo of the repository may have changed the open file, or its protection.
    if (!m_editor->isModified()) {
        report(m_editor->reload());
        updateContext();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!m_interactive) {
        event->ignore();
        emit quitRequested();
        return;
    }
    const Outcome released = releaseEditor();
    if (!released.ok) {
        report(released);
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::openFileDialog()
{
    const QString start = m_project.isEmpty() ? QDir::currentPath() : m_project;
    const QString file = QFileDialog::getOpenFileName(this, tr("Open File"), start);
    if (!file.isEmpty())
        report(openFile(file));
}

void MainWindow::openProjectDialog()
{
    const QString start = m_project.isEmpty() ? QDir::currentPath() : m_project;
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Open Project"), start);
    if (!dir.isEmpty())
        report(openProject(dir));
}

void MainWindow::newProjectDialog()
{
    const QString start =
        m_project.isEmpty() ? QDir::homePath() : QFileInfo(m_project).absolutePath();
    NewProjectDialog dialog(start, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (Core::IWizard *wizard = dialog.selectedWizard())
        wizard->runWizard(dialog.path(), this, QVariantMap());
}

void MainWindow::saveFromMenu()
{
    if (m_editor->hasFile())
        report(saveCurrentFile());
}

void MainWindow::optionsFromMenu()
{
    showOptionsDialog(Core::Id(), Core::Id(), this);
}

void MainWindow::quitFromMenu()
{
    if (m_interactive)
        close();
    else
        emit quitRequested();
}

void MainWindow::treeContextMenu(const QPoint &pos)
{
    const QModelIndex index = m_tree->indexAt(pos);
    const QString path = index.isValid() ? m_model->filePath(index) : m_project;
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString directory = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QMenu menu;
    menu.addAction(tr("New File..."), this, [this, directory] { newFileInteractive(directory); });
    if (info.isFile()) {
        menu.addAction(tr("Rename..."), this, [this, path] { renameInteractive(path); });
        menu.addAction(tr("Delete"), this, [this, path] { deleteInteractive(path); });
    }
    if (versionHistoryFor(path)) {
        menu.addSeparator();
        menu.addAction(tr("History"), this, [this, path] { showHistory(path); });
    }
    menu.exec(m_tree->viewport()->mapToGlobal(pos));
}

void MainWindow::newFileInteractive(const QString &directory)
{
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, tr("New File"), tr("File name in %1:").arg(QDir::toNativeSeparators(directory)),
        QLineEdit::Normal, QString(), &ok);
    if (ok && !name.trimmed().isEmpty())
        report(newFile(QDir(directory).absoluteFilePath(name.trimmed()), QString()));
}

void MainWindow::renameInteractive(const QString &file)
{
    bool ok = false;
    const QFileInfo info(file);
    const QString name = QInputDialog::getText(this, tr("Rename File"), tr("New name:"),
                                               QLineEdit::Normal, info.fileName(), &ok);
    if (ok && !name.trimmed().isEmpty() && name.trimmed() != info.fileName())
        report(renameFile(file, info.dir().absoluteFilePath(name.trimmed())));
}

void MainWindow::deleteInteractive(const QString &file)
{
    const auto answer = QMessageBox::question(
        this, tr("Delete File"),
        tr("Delete %1? A file under version control is deleted through the version control.")
            .arg(QDir::toNativeSeparators(file)));
    if (answer == QMessageBox::Yes)
        report(deleteFile(file));
}

} // namespace Workbench
