#include "historyview.h"

#include <core/iversioncontrol.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Workbench {

namespace {
const int IdRole = Qt::UserRole;

bool isServerItem(const QString &path)
{
    return path.startsWith(QLatin1Char('$'));
}
} // namespace

void showViewMessage(QLabel *label, const QString &text, bool isError)
{
    label->setText(text);
    QPalette palette = QApplication::palette(label);
    if (isError)
        palette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    label->setPalette(palette);
}

Core::IVersionHistory *versionHistoryFor(const QString &path)
{
    const QList<Core::IVersionHistory *> providers =
        ExtensionSystem::PluginManager::getObjects<Core::IVersionHistory>();
    if (isServerItem(path)) {
        for (Core::IVersionHistory *provider : providers) {
            if (provider->versionControl() && provider->versionControl()->isConfigured())
                return provider;
        }
        return nullptr;
    }
    const QFileInfo info(path);
    const QString directory = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    Core::IVersionControl *vc = Core::VcsManager::findVersionControlForDirectory(directory);
    if (!vc)
        return nullptr;
    for (Core::IVersionHistory *provider : providers) {
        if (provider->versionControl() == vc)
            return provider;
    }
    return nullptr;
}

HistoryView::HistoryView(QWidget *parent)
    : QWidget(parent), m_message(new QLabel), m_moreButton(new QPushButton(tr("More"))),
      m_table(new QTreeWidget), m_comment(new QPlainTextEdit), m_items(new QTreeWidget)
{
    setObjectName(QStringLiteral("historyView"));
    m_message->setObjectName(QStringLiteral("historyMessage"));
    // What the version control says is shown as it is, never as markup.
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_moreButton->setObjectName(QStringLiteral("historyMore"));
    m_moreButton->setToolTip(tr("Read the next %1 older changesets").arg(PageSize));
    m_table->setObjectName(QStringLiteral("historyTable"));
    m_table->setHeaderLabels({tr("Changeset"), tr("User"), tr("Date"), tr("Comment")});
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->header()->setStretchLastSection(true);
    m_comment->setObjectName(QStringLiteral("historyComment"));
    m_comment->setReadOnly(true);
    m_items->setObjectName(QStringLiteral("historyItems"));
    m_items->setHeaderLabels({tr("Change"), tr("Item")});
    m_items->setRootIsDecorated(false);
    m_items->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto top = new QHBoxLayout;
    top->setContentsMargins(4, 2, 4, 2);
    top->addWidget(m_message, 1);
    top->addWidget(m_moreButton);
    auto details = new QSplitter(Qt::Horizontal);
    details->addWidget(m_comment);
    details->addWidget(m_items);
    auto split = new QSplitter(Qt::Vertical);
    split->addWidget(m_table);
    split->addWidget(details);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    auto layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addWidget(split, 1);

    connect(m_moreButton, &QPushButton::clicked, this, [this] { readMore(); });
    connect(m_table, &QTreeWidget::itemSelectionChanged, this, &HistoryView::showSelection);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = createContextMenu(this);
        menu->exec(m_table->viewport()->mapToGlobal(pos));
        delete menu;
    });
    showRows();
}

HistoryView::~HistoryView() = default;

bool HistoryView::showHistory(const QString &path)
{
    m_path = isServerItem(path) ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    m_isFolder = !isServerItem(path) && QFileInfo(path).isDir();
    m_changesets.clear();
    m_more = false;
    m_error.clear();
    Core::IVersionHistory *provider = versionHistoryFor(m_path);
    if (provider != m_provider) {
        if (m_provider)
            disconnect(m_provider, nullptr, this, nullptr);
        m_provider = provider;
        if (provider) {
            connect(provider, &Core::IVersionHistory::historyRead, this, &HistoryView::historyRead);
            connect(provider, &Core::IVersionHistory::requestFailed, this,
                    &HistoryView::requestFailed);
        }
    }
    if (!provider) {
        m_request = 0;
        m_error = tr("No version control offers the history of %1.")
                      .arg(QDir::toNativeSeparators(m_path));
        showRows();
        emit readFinished();
        return false;
    }
    return read(0);
}

bool HistoryView::readMore()
{
    if (!m_provider || !m_more || m_request || m_changesets.isEmpty())
        return false;
    return read(m_changesets.last().id);
}

bool HistoryView::read(int olderThan)
{
    m_request = -1; // an answer may come before the number does
    showRows();
    const int request = m_provider->readHistory(m_path, olderThan, PageSize);
    if (m_request == -1)
        m_request = request;
    if (request == 0) {
        m_request = 0;
        m_error = tr("The history of %1 was not read (see the Version Control pane).")
                      .arg(QDir::toNativeSeparators(m_path));
        showRows();
        emit readFinished();
        return false;
    }
    return true;
}

void HistoryView::historyRead(int request, const QList<Core::ChangesetInfo> &changesets, bool more)
{
    if (m_request == 0 || (m_request != -1 && request != m_request))
        return;
    m_request = 0;
    m_changesets += changesets;
    m_more = more;
    m_error.clear();
    showRows();
    emit readFinished();
}

void HistoryView::requestFailed(int request, const QString &message)
{
    if (m_request == 0 || (m_request != -1 && request != m_request))
        return;
    m_request = 0;
    // No rows rather than some: a table that stops early would look like the whole history.
    m_changesets.clear();
    m_more = false;
    m_error = tr("The history could not be read: %1").arg(message.trimmed());
    showRows();
    emit readFinished();
}

void HistoryView::showRows()
{
    const int selected = selectedChangeset();
    const QString where = QDir::toNativeSeparators(m_path);
    if (m_path.isEmpty())
        showViewMessage(m_message, tr("Choose History of a file or folder."), false);
    else if (m_request)
        showViewMessage(m_message, tr("Reading the history of %1...").arg(where), false);
    else if (!m_error.isEmpty())
        showViewMessage(m_message, m_error, true);
    else if (m_changesets.isEmpty())
        showViewMessage(m_message, tr("%1 has no history.").arg(where), false);
    else
        showViewMessage(
            m_message,
            (m_changesets.size() == 1 ? tr("%1: %2 changeset%3") : tr("%1: %2 changesets%3"))
                .arg(where)
                .arg(m_changesets.size())
                .arg(m_more ? tr(", more on demand") : QString()),
            false);
    m_moreButton->setEnabled(m_more && !m_request);
    m_table->setVisible(m_error.isEmpty());
    // Rows already shown stay; only new ones are added.
    if (m_table->topLevelItemCount() > m_changesets.size())
        m_table->clear();
    const QLocale locale;
    for (int i = m_table->topLevelItemCount(); i < m_changesets.size(); ++i) {
        const Core::ChangesetInfo &cs = m_changesets.at(i);
        auto item = new QTreeWidgetItem(
            m_table,
            {QString::number(cs.id), cs.user,
             cs.date.isValid() ? locale.toString(cs.date.toLocalTime(), QLocale::ShortFormat)
                               : QString(),
             cs.comment.section(QLatin1Char('\n'), 0, 0)});
        item->setData(0, IdRole, cs.id);
        item->setToolTip(3, cs.comment);
    }
    if (selected && selectedChangeset() != selected)
        selectChangeset(selected);
    // The newest is the one a person looks at first: its comment and items show at once.
    if (!selectedChangeset() && m_table->topLevelItemCount() > 0)
        m_table->setCurrentItem(m_table->topLevelItem(0));
    showSelection();
}

bool HistoryView::selectChangeset(int id)
{
    for (int i = 0; i < m_table->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_table->topLevelItem(i);
        if (item->data(0, IdRole).toInt() == id) {
            m_table->setCurrentItem(item);
            m_table->scrollToItem(item);
            return true;
        }
    }
    return false;
}

int HistoryView::selectedChangeset() const
{
    const QList<QTreeWidgetItem *> selected = m_table->selectedItems();
    return selected.isEmpty() ? 0 : selected.first()->data(0, IdRole).toInt();
}

void HistoryView::showSelection()
{
    m_comment->clear();
    m_items->clear();
    const int id = selectedChangeset();
    for (const Core::ChangesetInfo &cs : qAsConst(m_changesets)) {
        if (cs.id != id)
            continue;
        m_comment->setPlainText(cs.comment);
        for (const Core::ChangedItem &item : cs.items)
            new QTreeWidgetItem(m_items, {item.changeType, item.serverItem});
        if (m_items->topLevelItemCount() > 0)
            m_items->setCurrentItem(m_items->topLevelItem(0));
        break;
    }
}

QString HistoryView::comparedFile() const
{
    if (!m_isFolder)
        return m_path;
    const QList<QTreeWidgetItem *> items = m_items->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text(1);
}

QMenu *HistoryView::createContextMenu(QWidget *parent)
{
    auto menu = new QMenu(parent);
    const int id = selectedChangeset();
    const QString file = comparedFile();
    const QString path = m_path;
    QPointer<Core::IVersionHistory> provider = m_provider;
    QAction *previous = menu->addAction(tr("Compare with Previous Version"));
    previous->setEnabled(id && !file.isEmpty());
    connect(previous, &QAction::triggered, this, [this, file, id] {
        emit compareRequested(file, Core::IVersionHistory::PreviousVersion, id);
    });
    QAction *local = menu->addAction(tr("Compare with Local"));
    local->setEnabled(id && !m_isFolder && !isServerItem(path));
    connect(local, &QAction::triggered, this, [this, path, id] {
        emit compareRequested(path, id, Core::IVersionHistory::LocalFile);
    });
    QAction *get = menu->addAction(tr("Get This Version"));
    get->setEnabled(id && provider && !isServerItem(path));
    connect(get, &QAction::triggered, this, [provider, path, id] {
        if (provider)
            provider->getVersion(path, id);
    });
    QAction *annotate = menu->addAction(tr("Annotate"));
    annotate->setEnabled(!m_isFolder && !isServerItem(path) && !path.isEmpty());
    connect(annotate, &QAction::triggered, this, [this, path] { emit annotateRequested(path); });
    return menu;
}

} // namespace Workbench
