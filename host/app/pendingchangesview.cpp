#include "pendingchangesview.h"

#include <core/iversioncontrol.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/hostosinfo.h>

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Workbench {

namespace {
// Which row of m_rows an item shows; group items carry none.
const int RowRole = Qt::UserRole;

QString cleanDirectory(const QString &directory)
{
    return directory.isEmpty() ? QString() : QDir::cleanPath(QDir(directory).absolutePath());
}
} // namespace

PendingChangesView::PendingChangesView(QWidget *parent)
    : QWidget(parent), m_refreshButton(new QPushButton(tr("Refresh"))), m_message(new QLabel),
      m_tree(new QTreeWidget)
{
    setObjectName(QStringLiteral("pendingChangesView"));
    m_refreshButton->setObjectName(QStringLiteral("refreshPendingChanges"));
    m_refreshButton->setToolTip(tr("Read the pending changes of the project again"));
    // The messages come from the version control's output: shown as they are, never as markup.
    m_message->setObjectName(QStringLiteral("pendingChangesMessage"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_tree->setObjectName(QStringLiteral("pendingChangesList"));
    m_tree->setColumnCount(3);
    m_tree->setHeaderLabels({tr("Change"), tr("File"), tr("Folder")});
    m_tree->setRootIsDecorated(false);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(true);

    auto top = new QHBoxLayout;
    top->setContentsMargins(4, 2, 4, 2);
    top->addWidget(m_refreshButton);
    top->addWidget(m_message, 1);
    auto layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(m_tree, 1);

    connect(m_refreshButton, &QPushButton::clicked, this, [this] { refresh(); });
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QVariant row = item->data(0, RowRole);
        if (row.isValid() && !m_rows.at(row.toInt()).localFile.isEmpty())
            emit openRequested(m_rows.at(row.toInt()).localFile);
    });
    connect(m_tree, &QWidget::customContextMenuRequested, this,
            &PendingChangesView::showContextMenu);
    // A version control that became configured (or stopped being) answers differently now.
    if (Core::VcsManager *manager = Core::VcsManager::instance()) {
        connect(manager, &Core::VcsManager::configurationChanged, this,
                [this](Core::IVersionControl *vc) {
                    if (!m_project.isEmpty() &&
                        Core::VcsManager::findVersionControlForDirectory(m_project) == vc)
                        refresh();
                });
    }
    showRows();
}

PendingChangesView::~PendingChangesView() = default;

void PendingChangesView::setProject(const QString &directory)
{
    m_project = cleanDirectory(directory);
    m_rows.clear();
    m_error.clear();
    m_readFailed = false;
    emit rowsChanged();
    refresh();
}

Core::IPendingChanges *PendingChangesView::providerForProject() const
{
    if (m_project.isEmpty())
        return nullptr;
    Core::IVersionControl *vc = Core::VcsManager::findVersionControlForDirectory(m_project);
    if (!vc)
        return nullptr;
    for (Core::IPendingChanges *provider :
         ExtensionSystem::PluginManager::getObjects<Core::IPendingChanges>()) {
        if (provider->versionControl() == vc)
            return provider;
    }
    return nullptr;
}

void PendingChangesView::connectProvider(Core::IPendingChanges *provider)
{
    if (m_provider == provider)
        return;
    if (m_provider)
        disconnect(m_provider, nullptr, this, nullptr);
    m_provider = provider;
    connect(provider, &Core::IPendingChanges::rowsRead, this, &PendingChangesView::rowsRead);
    connect(provider, &Core::IPendingChanges::readFailed, this, &PendingChangesView::readFailed);
    connect(provider, &QObject::destroyed, this, &PendingChangesView::providerGone);
}

bool PendingChangesView::refresh()
{
    Core::IPendingChanges *provider = providerForProject();
    QString reason;
    if (m_project.isEmpty())
        reason = tr("No project is open.");
    else if (!provider)
        reason = tr("No version control lists the pending changes of this project.");
    else if (!provider->versionControl()->isConfigured())
        reason = tr("%1 is not configured (Tools > Options).")
                     .arg(provider->versionControl()->displayName());
    if (!reason.isEmpty()) {
        if (m_provider)
            disconnect(m_provider, nullptr, this, nullptr);
        m_provider = nullptr;
        m_rows.clear();
        m_error = reason;
        m_readFailed = false;
        showRows();
        emit rowsChanged();
        finishRefresh();
        return false;
    }
    connectProvider(provider);
    m_refreshing = true;
    showRows();
    // The answer may come before refresh() returns.
    provider->refresh(m_project);
    return true;
}

bool PendingChangesView::isProjectDirectory(const QString &directory) const
{
    return !m_project.isEmpty() &&
           cleanDirectory(directory).compare(m_project,
                                             Utils::HostOsInfo::fileNameCaseSensitivity()) == 0;
}

void PendingChangesView::rowsRead(const QString &directory,
                                  const QList<Core::PendingChangeRow> &rows)
{
    if (!isProjectDirectory(directory))
        return;
    m_rows = rows;
    for (Core::PendingChangeRow &row : m_rows) {
        if (!row.localFile.isEmpty())
            row.localFile = QDir::cleanPath(row.localFile);
    }
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [this](const Core::PendingChangeRow &a, const Core::PendingChangeRow &b) {
                         if (a.candidate != b.candidate)
                             return b.candidate;
                         return relativePath(a) < relativePath(b);
                     });
    m_error.clear();
    m_readFailed = false;
    finishRefresh();
    showRows();
    emit rowsChanged();
}

void PendingChangesView::readFailed(const QString &directory, const QString &message)
{
    if (!isProjectDirectory(directory))
        return;
    showFailure(message.trimmed().isEmpty()
                    ? tr("The pending changes could not be read.")
                    : tr("The pending changes could not be read: %1").arg(message.trimmed()));
}

void PendingChangesView::providerGone()
{
    if (!m_refreshing)
        return;
    showFailure(tr("The version control went away before it answered."));
}

void PendingChangesView::showFailure(const QString &error)
{
    // No rows rather than old ones: what they said is no longer known to be true.
    m_rows.clear();
    m_error = error;
    m_readFailed = true;
    finishRefresh();
    showRows();
    emit rowsChanged();
}

void PendingChangesView::finishRefresh()
{
    if (!m_refreshing)
        return;
    m_refreshing = false;
    emit refreshFinished();
}

QString PendingChangesView::relativePath(const Core::PendingChangeRow &row) const
{
    if (row.localFile.isEmpty())
        return row.serverItem;
    const QString file = QDir::cleanPath(row.localFile);
    if (!m_project.isEmpty() &&
        file.startsWith(m_project + QLatin1Char('/'), Utils::HostOsInfo::fileNameCaseSensitivity()))
        return file.mid(m_project.size() + 1);
    return file;
}

void PendingChangesView::setMessage(const QString &text, bool isError)
{
    m_message->setText(text);
    QPalette palette = m_message->palette();
    palette.setColor(QPalette::WindowText, isError
                                               ? QColor(0xb0, 0x00, 0x20)
                                               : QWidget::palette().color(QPalette::WindowText));
    m_message->setPalette(palette);
}

void PendingChangesView::showRows()
{
    m_tree->clear();
    // Pressed again while reading, it asks again: a version control that never answered must
    // not leave the view stuck.
    m_refreshButton->setEnabled(!m_project.isEmpty());
    int pending = 0;
    for (const Core::PendingChangeRow &row : qAsConst(m_rows))
        pending += row.candidate ? 0 : 1;
    const int candidates = m_rows.size() - pending;

    if (m_refreshing)
        setMessage(tr("Reading the pending changes..."), false);
    else if (!m_error.isEmpty())
        setMessage(m_error, m_readFailed);
    else if (m_rows.isEmpty())
        setMessage(tr("No pending changes."), false);
    else
        setMessage(QString(), false); // the groups say how many
    // An error is not an empty list: no list is shown then.
    m_tree->setVisible(!m_rows.isEmpty());
    if (m_rows.isEmpty())
        return;

    auto group = [this](const QString &title) {
        auto item = new QTreeWidgetItem(m_tree, {title});
        item->setFlags(Qt::ItemIsEnabled);
        QFont font = item->font(0);
        font.setBold(true);
        item->setFont(0, font);
        item->setFirstColumnSpanned(true);
        item->setExpanded(true);
        return item;
    };
    QTreeWidgetItem *pendingGroup = group(tr("Pending Changes (%1)").arg(pending));
    QTreeWidgetItem *candidateGroup =
        candidates ? group(tr("Candidates, detected but not pending (%1)").arg(candidates))
                   : nullptr;
    for (int i = 0; i < m_rows.size(); ++i) {
        const Core::PendingChangeRow &row = m_rows.at(i);
        const QString path = relativePath(row);
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        auto item = new QTreeWidgetItem(
            row.candidate ? candidateGroup : pendingGroup,
            {row.changeType, path.mid(slash + 1),
             slash < 0 ? QString() : QDir::toNativeSeparators(path.left(slash))});
        item->setData(0, RowRole, i);
        item->setToolTip(1, row.serverItem.isEmpty() ? QDir::toNativeSeparators(row.localFile)
                                                     : QDir::toNativeSeparators(row.localFile) +
                                                           QLatin1Char('\n') + row.serverItem);
    }
    m_tree->expandAll();
}

QList<Core::PendingChangeRow> PendingChangesView::selectedRows() const
{
    QList<Core::PendingChangeRow> rows;
    for (int g = 0; g < m_tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = m_tree->topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c) {
            QTreeWidgetItem *item = group->child(c);
            if (item->isSelected())
                rows << m_rows.at(item->data(0, RowRole).toInt());
        }
    }
    return rows;
}

QMenu *PendingChangesView::createContextMenu(QWidget *parent)
{
    auto menu = new QMenu(parent);
    const QList<Core::PendingChangeRow> rows = selectedRows();
    auto add = [&](const QString &text,
                   void (Core::IPendingChanges::*request)(const QList<Core::PendingChangeRow> &)) {
        QAction *action = menu->addAction(text);
        action->setEnabled(m_provider && !rows.isEmpty());
        QPointer<Core::IPendingChanges> provider = m_provider;
        connect(action, &QAction::triggered, this, [provider, request, rows] {
            if (provider)
                (provider->*request)(rows);
        });
    };
    add(tr("Compare"), &Core::IPendingChanges::compare);
    add(tr("Undo"), &Core::IPendingChanges::undo);
    add(tr("Check In"), &Core::IPendingChanges::checkIn);
    // The history of one file; the version control's own menu may show it elsewhere.
    menu->addSeparator();
    QAction *history = menu->addAction(tr("History"));
    const QString file = rows.size() == 1 ? rows.first().localFile : QString();
    history->setEnabled(!file.isEmpty());
    connect(history, &QAction::triggered, this, [this, file] { emit historyRequested(file); });
    return menu;
}

void PendingChangesView::showContextMenu(const QPoint &pos)
{
    QMenu *menu = createContextMenu(this);
    menu->exec(m_tree->viewport()->mapToGlobal(pos));
    delete menu;
}

} // namespace Workbench
