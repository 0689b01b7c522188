#include "pathchooser.h"
#include "environment.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace Utils {

PathChooser::PathChooser(QWidget *parent)
    : QWidget(parent), m_lineEdit(new QLineEdit(this)), m_browseButton(new QPushButton(tr("Browse..."), this))
{
    m_lineEdit->setObjectName(QStringLiteral("pathChooserLineEdit"));
    m_browseButton->setObjectName(QStringLiteral("pathChooserBrowseButton"));
    auto layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_lineEdit);
    layout->addWidget(m_browseButton);
    setFocusProxy(m_lineEdit);
    connect(m_lineEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        updateValidity();
        emit changed(text);
    });
    connect(m_browseButton, &QPushButton::clicked, this, &PathChooser::browse);
    updateValidity();
}

void PathChooser::setExpectedKind(Kind kind)
{
    m_kind = kind;
    updateValidity();
}

void PathChooser::setPromptDialogTitle(const QString &title)
{
    m_promptDialogTitle = title;
}

QString PathChooser::path() const
{
    QString p = m_lineEdit->text().trimmed();
    if (p == QLatin1String("~") || p.startsWith(QLatin1String("~/")))
        p.replace(0, 1, QDir::homePath());
    return p;
}

QString PathChooser::rawPath() const
{
    return m_lineEdit->text();
}

void PathChooser::setPath(const QString &path)
{
    m_lineEdit->setText(QDir::toNativeSeparators(path));
}

QString PathChooser::errorMessage() const
{
    const QString p = path();
    if (p.isEmpty())
        return tr("The path must not be empty.");
    const QFileInfo fi(p);
    switch (m_kind) {
    case ExistingDirectory:
        if (!fi.isDir())
            return tr("The path \"%1\" is not an existing directory.").arg(p);
        break;
    case File:
        if (!fi.isFile())
            return tr("The path \"%1\" is not an existing file.").arg(p);
        break;
    case ExistingCommand:
        if (Environment::systemEnvironment().searchInPath(p).isEmpty())
            return tr("The path \"%1\" is not an executable file.").arg(p);
        break;
    case Directory:
        if (fi.exists() && !fi.isDir())
            return tr("The path \"%1\" is not a directory.").arg(p);
        break;
    case SaveFile:
    case Command:
    case Any:
        break;
    }
    return QString();
}

bool PathChooser::isValid() const
{
    return m_valid;
}

void PathChooser::updateValidity()
{
    const QString error = errorMessage();
    const bool valid = error.isEmpty();
    m_lineEdit->setToolTip(error);
    m_lineEdit->setStyleSheet(valid || m_lineEdit->text().isEmpty()
                                  ? QString()
                                  : QStringLiteral("QLineEdit { color: #b00020; }"));
    if (valid != m_valid) {
        m_valid = valid;
        emit validChanged(valid);
    }
}

void PathChooser::browse()
{
    const QString title = m_promptDialogTitle.isEmpty() ? tr("Choose...") : m_promptDialogTitle;
    QString chosen;
    if (m_kind == ExistingDirectory || m_kind == Directory)
        chosen = QFileDialog::getExistingDirectory(this, title, path());
    else if (m_kind == SaveFile)
        chosen = QFileDialog::getSaveFileName(this, title, path());
    else
        chosen = QFileDialog::getOpenFileName(this, title, path());
    if (!chosen.isEmpty())
        setPath(chosen);
}

} // namespace Utils
