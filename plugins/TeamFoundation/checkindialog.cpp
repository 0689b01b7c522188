#include "checkindialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace TeamFoundation {
namespace Internal {

CheckInDialog::CheckInDialog(const QString &path, QWidget *parent)
    : QDialog(parent), m_form(new QFormLayout), m_commentEdit(new QPlainTextEdit)
{
    setObjectName(QStringLiteral("checkInDialog"));
    setWindowTitle(tr("Check In"));

    auto pathLabel = new QLabel(QDir::toNativeSeparators(path));
    pathLabel->setObjectName(QStringLiteral("pathLabel"));
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_form->addRow(tr("Path:"), pathLabel);

    m_commentEdit->setObjectName(QStringLiteral("commentEdit"));
    m_commentEdit->setTabChangesFocus(true);
    m_commentEdit->setPlaceholderText(tr("Describe the change (optional)"));

    auto buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Check In"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(new QLabel(tr("Comment:")));
    layout->addWidget(m_commentEdit, 1);
    layout->addWidget(buttons);
    m_commentEdit->setFocus();
    resize(520, 300);
}

CheckInDialog::~CheckInDialog() = default;

QString CheckInDialog::comment() const
{
    return m_commentEdit->toPlainText();
}

} // namespace Internal
} // namespace TeamFoundation
