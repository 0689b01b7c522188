#include "licencedialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace TeamFoundation {
namespace Internal {

LicenceDialog::LicenceDialog(const QString &binary, const QString &text, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("eulaDialog"));
    setWindowTitle(tr("Team Foundation Licence"));

    auto intro =
        new QLabel(tr("The Team Foundation client %1 works with a server only once its licence is "
                      "accepted. Accept it to run the command.")
                       .arg(QDir::toNativeSeparators(binary)));
    intro->setObjectName(QStringLiteral("introLabel"));
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);

    // The client's own text, laid out in its columns.
    auto licence = new QPlainTextEdit;
    licence->setObjectName(QStringLiteral("licenceText"));
    licence->setReadOnly(true);
    licence->setLineWrapMode(QPlainTextEdit::NoWrap);
    licence->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    licence->setPlainText(text.isEmpty()
                              ? tr("The client did not show its licence text; \"%1 eula\" in a "
                                   "terminal shows it.")
                                    .arg(QDir::toNativeSeparators(binary))
                              : text);

    auto buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton *accept = buttons->addButton(tr("Accept"), QDialogButtonBox::AcceptRole);
    accept->setObjectName(QStringLiteral("acceptButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(licence, 1);
    layout->addWidget(buttons);
    // Wide enough for the client's 80 columns.
    resize(licence->fontMetrics().averageCharWidth() * 90, 520);
}

LicenceDialog::~LicenceDialog() = default;

} // namespace Internal
} // namespace TeamFoundation
