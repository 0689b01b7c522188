#include "checkindialog.h"

#include <utils/hostosinfo.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace TeamFoundation {
namespace Internal {

namespace {
// Which entry of m_changes a list item shows.
const int ChangeRole = Qt::UserRole;

QString cleanLocal(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(path));
}

// A change that puts a folder in its place on the server: what lies below it cannot be
// checked in before it.
bool placesFolder(const PendingChange &change)
{
    for (const char *type : {"add", "rename", "branch", "undelete"}) {
        if (change.hasChangeType(QLatin1String(type)))
            return true;
    }
    return false;
}

// Server paths are the same whatever the case of their letters.
bool isBelow(const QString &serverItem, const QString &folder)
{
    return !folder.isEmpty() && serverItem.size() > folder.size() + 1 &&
           serverItem.startsWith(folder, Qt::CaseInsensitive) &&
           serverItem.at(folder.size()) == QLatin1Char('/');
}
} // namespace

CheckInDialog::CheckInDialog(const QString &path, QWidget *parent)
    : QDialog(parent), m_path(cleanLocal(QFileInfo(path).absoluteFilePath())),
      m_form(new QFormLayout), m_changesNote(new QLabel), m_changesList(new QTreeWidget),
      m_commentEdit(new QPlainTextEdit), m_neededNote(new QLabel)
{
    setObjectName(QStringLiteral("checkInDialog"));
    setWindowTitle(tr("Check In"));

    auto pathLabel = new QLabel(QDir::toNativeSeparators(path));
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_form->addRow(tr("Path:"), pathLabel);

    // What tf and the file system say is shown as it is, never as markup.
    m_changesNote->setObjectName(QStringLiteral("changesNote"));
    m_changesNote->setTextFormat(Qt::PlainText);
    m_changesNote->setWordWrap(true);
    m_changesNote->hide();
    m_changesList->setObjectName(QStringLiteral("changesList"));
    m_changesList->setColumnCount(2);
    m_changesList->setHeaderLabels({tr("File"), tr("Change")});
    m_changesList->setRootIsDecorated(false);
    m_changesList->setSelectionMode(QAbstractItemView::NoSelection);
    m_changesList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_changesList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_changesList->header()->setStretchLastSection(false);
    m_changesList->hide();
    connect(m_changesList, &QTreeWidget::itemChanged, this, &CheckInDialog::itemChanged);
    m_neededNote->setObjectName(QStringLiteral("neededNote"));
    m_neededNote->setTextFormat(Qt::PlainText);
    m_neededNote->setWordWrap(true);
    m_neededNote->hide();

    m_commentEdit->setObjectName(QStringLiteral("commentEdit"));
    m_commentEdit->setTabChangesFocus(true);
    m_commentEdit->setPlaceholderText(tr("Describe the change (optional)"));

    auto buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_okButton->setText(tr("Check In"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(m_changesNote);
    layout->addWidget(m_changesList, 1);
    layout->addWidget(m_neededNote);
    layout->addWidget(new QLabel(tr("Comment:")));
    layout->addWidget(m_commentEdit, 1);
    layout->addWidget(buttons);
    m_commentEdit->setFocus();
    resize(560, 420);
}

CheckInDialog::~CheckInDialog() = default;

void CheckInDialog::setChanges(const QList<PendingChange> &changes, const Selection &checked)
{
    m_changes.clear();
    for (const PendingChange &change : changes) {
        if (!change.candidate)
            m_changes << change;
    }
    QStringList chosen;
    for (const QString &file : checked.items())
        chosen << cleanLocal(file);
    const Qt::CaseSensitivity sensitivity = Utils::HostOsInfo::fileNameCaseSensitivity();
    std::stable_sort(m_changes.begin(), m_changes.end(),
                     [this](const PendingChange &a, const PendingChange &b) {
                         return shownItem(a, m_path) < shownItem(b, m_path);
                     });

    m_needs = QVector<QList<int>>(m_changes.size());
    for (int i = 0; i < m_changes.size(); ++i) {
        for (int folder = 0; folder < m_changes.size(); ++folder) {
            if (placesFolder(m_changes.at(folder)) &&
                isBelow(m_changes.at(i).serverItem, m_changes.at(folder).serverItem))
                m_needs[i] << folder;
        }
        // Nearest first: the longest server path.
        std::sort(m_needs[i].begin(), m_needs[i].end(), [this](int a, int b) {
            return m_changes.at(a).serverItem.size() > m_changes.at(b).serverItem.size();
        });
    }

    const QSignalBlocker blocker(m_changesList);
    m_changesList->clear();
    m_neededNote->hide();
    QList<int> checkedChanges;
    for (int i = 0; i < m_changes.size(); ++i) {
        const PendingChange &change = m_changes.at(i);
        auto item = new QTreeWidgetItem(
            m_changesList, {QDir::toNativeSeparators(shownItem(change, m_path)), change.changeTypeText()});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(0, ChangeRole, i);
        item->setToolTip(0, change.serverItem);
        const bool on = checked.isWholePath() || chosen.contains(itemOf(change), sensitivity);
        item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
        if (on)
            checkedChanges << i;
    }
    // Chosen without the folder it needs (the rows selected in a view): the folder goes too.
    checkNeeded(checkedChanges);
    m_changesList->setVisible(!m_changes.isEmpty());
    m_changesNote->setText(m_changes.isEmpty()
                               ? tr("There are no pending changes under this path.")
                               : tr("Uncheck the changes that are to stay pending:"));
    m_changesNote->show();
    m_listed = true;
    updateOk();
}

void CheckInDialog::setChangesUnknown(const QString &reason)
{
    m_changes.clear();
    const QSignalBlocker blocker(m_changesList);
    m_changesList->clear();
    m_changesList->hide();
    m_changesNote->setText(
        tr("The pending changes could not be listed (%1). Everything under the path is "
           "checked in.")
            .arg(reason.trimmed()));
    m_changesNote->show();
    m_listed = false;
    updateOk();
}

QString CheckInDialog::comment() const
{
    return m_commentEdit->toPlainText();
}

Selection CheckInDialog::chosen() const
{
    for (int i = 0; i < m_changesList->topLevelItemCount(); ++i) {
        if (m_changesList->topLevelItem(i)->checkState(0) != Qt::Checked)
            return Selection::only(checkedItems());
    }
    return Selection::wholePath();
}

QStringList CheckInDialog::checkedItems() const
{
    QStringList items;
    for (int i = 0; i < m_changesList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_changesList->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            items << itemOf(m_changes.at(item->data(0, ChangeRole).toInt()));
    }
    return items;
}

QTreeWidgetItem *CheckInDialog::listItem(int change) const
{
    for (int i = 0; i < m_changesList->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_changesList->topLevelItem(i);
        if (item->data(0, ChangeRole).toInt() == change)
            return item;
    }
    return nullptr;
}

void CheckInDialog::checkNeeded(const QList<int> &checked)
{
    QStringList added;
    QStringList needing;
    const QSignalBlocker blocker(m_changesList);
    for (int change : checked) {
        for (int folder : m_needs.value(change)) {
            QTreeWidgetItem *item = listItem(folder);
            if (item && item->checkState(0) != Qt::Checked) {
                item->setCheckState(0, Qt::Checked);
                added << tr("%1 (%2)").arg(item->text(0), item->text(1));
                needing << listItem(change)->text(0);
            }
        }
    }
    if (added.isEmpty())
        return;
    needing.removeDuplicates();
    m_neededNote->setText(
        tr("Also checked: %1. %2 cannot be checked in without the pending "
           "change of the folder above it.")
            .arg(added.join(QLatin1String(", ")), needing.join(QLatin1String(", "))));
    m_neededNote->show();
}

void CheckInDialog::itemChanged(QTreeWidgetItem *item)
{
    const int change = item->data(0, ChangeRole).toInt();
    if (item->checkState(0) == Qt::Checked) {
        checkNeeded({change});
    } else {
        QStringList dropped;
        {
            const QSignalBlocker blocker(m_changesList);
            for (int other = 0; other < m_needs.size(); ++other) {
                QTreeWidgetItem *needing = listItem(other);
                if (m_needs.at(other).contains(change) && needing &&
                    needing->checkState(0) == Qt::Checked) {
                    needing->setCheckState(0, Qt::Unchecked);
                    dropped << needing->text(0);
                }
            }
        }
        if (!dropped.isEmpty()) {
            m_neededNote->setText(
                tr("Also unchecked: %1, which cannot be checked in without %2 "
                   "(%3).")
                    .arg(dropped.join(QLatin1String(", ")), item->text(0), item->text(1)));
            m_neededNote->show();
        }
    }
    updateOk();
}

void CheckInDialog::updateOk()
{
    m_okButton->setEnabled(!m_listed || !checkedItems().isEmpty());
}

void CheckInDialog::accept()
{
    if (!m_okButton->isEnabled())
        return;
    QDialog::accept();
}

} // namespace Internal
} // namespace TeamFoundation
