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

QString itemOf(const PendingChange &change)
{
    return change.localItem.isEmpty() ? change.serverItem : cleanLocal(change.localItem);
}
} // namespace

CheckInDialog::CheckInDialog(const QString &path, QWidget *parent)
    : QDialog(parent), m_path(cleanLocal(QFileInfo(path).absoluteFilePath())),
      m_form(new QFormLayout), m_changesNote(new QLabel), m_changesList(new QTreeWidget),
      m_commentEdit(new QPlainTextEdit)
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
    connect(m_changesList, &QTreeWidget::itemChanged, this, &CheckInDialog::updateOk);

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
    layout->addWidget(new QLabel(tr("Comment:")));
    layout->addWidget(m_commentEdit, 1);
    layout->addWidget(buttons);
    m_commentEdit->setFocus();
    resize(560, 420);
}

CheckInDialog::~CheckInDialog() = default;

void CheckInDialog::setChanges(const QList<PendingChange> &changes,
                               const std::optional<QStringList> &checked)
{
    m_changes.clear();
    for (const PendingChange &change : changes) {
        if (!change.candidate)
            m_changes << change;
    }
    QStringList chosen;
    if (checked) {
        for (const QString &file : *checked)
            chosen << cleanLocal(file);
    }
    const Qt::CaseSensitivity sensitivity = Utils::HostOsInfo::fileNameCaseSensitivity();
    auto shownPath = [this, sensitivity](const PendingChange &change) {
        const QString item = itemOf(change);
        if (item.compare(m_path, sensitivity) == 0)
            return QFileInfo(item).fileName();
        if (item.startsWith(m_path + QLatin1Char('/'), sensitivity))
            return item.mid(m_path.size() + 1);
        return item;
    };
    std::stable_sort(m_changes.begin(), m_changes.end(),
                     [&](const PendingChange &a, const PendingChange &b) {
                         return shownPath(a) < shownPath(b);
                     });

    const QSignalBlocker blocker(m_changesList);
    m_changesList->clear();
    for (int i = 0; i < m_changes.size(); ++i) {
        const PendingChange &change = m_changes.at(i);
        auto item = new QTreeWidgetItem(
            m_changesList, {QDir::toNativeSeparators(shownPath(change)), change.changeTypeText()});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(0, ChangeRole, i);
        item->setToolTip(0, change.serverItem);
        const bool on = !checked || chosen.contains(itemOf(change), sensitivity);
        item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }
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

bool CheckInDialog::allChecked() const
{
    for (int i = 0; i < m_changesList->topLevelItemCount(); ++i) {
        if (m_changesList->topLevelItem(i)->checkState(0) != Qt::Checked)
            return false;
    }
    return true;
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
