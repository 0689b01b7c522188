#include "undodialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace TeamFoundation {
namespace Internal {

namespace {
QString cleanLocal(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(path));
}
} // namespace

UndoDialog::UndoDialog(const QString &path, QWidget *parent)
    : QDialog(parent), m_path(cleanLocal(QFileInfo(path).absoluteFilePath())), m_note(new QLabel),
      m_changesList(new QTreeWidget)
{
    setObjectName(QStringLiteral("undoDialog"));
    setWindowTitle(tr("Undo Pending Changes"));

    auto form = new QFormLayout;
    auto pathLabel = new QLabel(QDir::toNativeSeparators(path));
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("Path:"), pathLabel);

    // What tf and the file system say is shown as it is, never as markup.
    m_note->setObjectName(QStringLiteral("undoNote"));
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    m_changesList->setObjectName(QStringLiteral("changesList"));
    m_changesList->setColumnCount(2);
    m_changesList->setHeaderLabels({tr("Change"), tr("File")});
    m_changesList->setRootIsDecorated(false);
    m_changesList->setSelectionMode(QAbstractItemView::NoSelection);
    m_changesList->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_changesList->header()->setStretchLastSection(true);

    auto buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Undo"));
    // Undoing loses work; pressing Return by habit must not.
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_note);
    layout->addWidget(m_changesList, 1);
    layout->addWidget(buttons);
    resize(560, 360);
}

UndoDialog::~UndoDialog() = default;

void UndoDialog::setChanges(const QList<PendingChange> &changes)
{
    struct Row
    {
        QString shown;
        const PendingChange *change;
    };
    QList<Row> rows;
    for (const PendingChange &change : changes) {
        if (!change.candidate)
            rows.append({QDir::toNativeSeparators(shownItem(change, m_path)), &change});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row &a, const Row &b) { return a.shown < b.shown; });
    m_changesList->clear();
    for (const Row &row : qAsConst(rows)) {
        auto item = new QTreeWidgetItem(m_changesList, {row.change->changeTypeText(), row.shown});
        item->setToolTip(1, row.change->serverItem);
    }
    m_changesList->setVisible(!rows.isEmpty());
    m_note->setText(tr("Undo these pending changes? What they changed on disk is lost; files "
                       "that were added stay on disk, no longer pending."));
}

void UndoDialog::setChangesUnknown(const QString &reason)
{
    m_changesList->clear();
    m_changesList->hide();
    m_note->setText(tr("The pending changes could not be listed (%1). Undo every pending "
                       "change at and below the path? What they changed on disk is lost.")
                        .arg(reason.trimmed()));
}

int UndoDialog::changeCount() const
{
    return m_changesList->topLevelItemCount();
}

} // namespace Internal
} // namespace TeamFoundation
