#include "basecheckoutwizardpage.h"

#include <utils/pathchooser.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace VcsBase {

BaseCheckoutWizardPage::BaseCheckoutWizardPage(QWidget *parent)
    : QWizardPage(parent), m_repositoryLayout(new QFormLayout), m_repositoryLabel(new QLabel(tr("Repository:"))),
      m_repositoryEdit(new QLineEdit), m_branchLabel(new QLabel(tr("Branch:"))),
      m_branchComboBox(new QComboBox), m_directoryEdit(new QLineEdit),
      m_pathChooser(new Utils::PathChooser), m_statusLabel(new QLabel)
{
    m_repositoryEdit->setObjectName(QStringLiteral("repositoryLineEdit"));
    m_branchComboBox->setObjectName(QStringLiteral("branchComboBox"));
    m_directoryEdit->setObjectName(QStringLiteral("checkoutDirectoryLineEdit"));
    m_pathChooser->setObjectName(QStringLiteral("pathChooser"));
    m_pathChooser->setExpectedKind(Utils::PathChooser::ExistingDirectory);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setWordWrap(true);

    auto repositoryBox = new QGroupBox(tr("Repository"));
    m_repositoryLayout->addRow(m_repositoryLabel, m_repositoryEdit);
    m_repositoryLayout->addRow(m_branchLabel, m_branchComboBox);
    repositoryBox->setLayout(m_repositoryLayout);

    auto workingCopyBox = new QGroupBox(tr("Working Copy"));
    auto workingCopyLayout = new QFormLayout(workingCopyBox);
    workingCopyLayout->addRow(tr("Checkout directory:"), m_directoryEdit);
    workingCopyLayout->addRow(tr("Path:"), m_pathChooser);

    auto layout = new QVBoxLayout(this);
    layout->addWidget(repositoryBox);
    layout->addWidget(workingCopyBox);
    layout->addWidget(m_statusLabel);
    layout->addStretch();

    connect(m_repositoryEdit, &QLineEdit::textChanged, this, &BaseCheckoutWizardPage::repositoryChanged);
    connect(m_directoryEdit, &QLineEdit::textEdited, this, [this] { m_directoryEdited = true; });
    connect(m_directoryEdit, &QLineEdit::textChanged, this, &BaseCheckoutWizardPage::updateValidity);
    connect(m_pathChooser, &Utils::PathChooser::changed, this, &BaseCheckoutWizardPage::updateValidity);
    updateValidity();
}

BaseCheckoutWizardPage::~BaseCheckoutWizardPage() = default;

QString BaseCheckoutWizardPage::path() const
{
    return m_pathChooser->path();
}

void BaseCheckoutWizardPage::setPath(const QString &path)
{
    m_pathChooser->setPath(path);
}

QString BaseCheckoutWizardPage::directory() const
{
    return m_directoryEdit->text();
}

void BaseCheckoutWizardPage::setDirectory(const QString &directory)
{
    m_directoryEdit->setText(directory);
}

QString BaseCheckoutWizardPage::repository() const
{
    return m_repositoryEdit->text();
}

void BaseCheckoutWizardPage::setRepository(const QString &repository)
{
    m_repositoryEdit->setText(repository);
}

QString BaseCheckoutWizardPage::branch() const
{
    return m_branchComboBox->currentText();
}

void BaseCheckoutWizardPage::setRepositoryLabel(const QString &label)
{
    m_repositoryLabel->setText(label);
}

void BaseCheckoutWizardPage::setBranchSelectorVisible(bool visible)
{
    m_branchLabel->setVisible(visible);
    m_branchComboBox->setVisible(visible);
}

bool BaseCheckoutWizardPage::isBranchSelectorVisible() const
{
    return !m_branchComboBox->isHidden();
}

void BaseCheckoutWizardPage::addRepositoryControl(const QString &label, QWidget *control)
{
    // Rows of the repository section go above the branch selector.
    m_repositoryLayout->insertRow(m_repositoryLayout->rowCount() - 1, label, control);
}

QString BaseCheckoutWizardPage::directoryFromRepository(const QString &repository) const
{
    return repository;
}

QStringList BaseCheckoutWizardPage::branches(const QString &repository, int *current)
{
    Q_UNUSED(repository)
    Q_UNUSED(current)
    return QStringList();
}

void BaseCheckoutWizardPage::repositoryChanged(const QString &repository)
{
    // Propose a directory until the user chose one of their own.
    if (!m_directoryEdited)
        m_directoryEdit->setText(directoryFromRepository(repository));
    if (!m_branchComboBox->isHidden()) {
        int current = -1;
        m_branchComboBox->clear();
        m_branchComboBox->addItems(branches(repository, &current));
        if (current >= 0)
            m_branchComboBox->setCurrentIndex(current);
    }
    updateValidity();
}

bool BaseCheckoutWizardPage::checkIsValid() const
{
    if (repository().trimmed().isEmpty() || directory().trimmed().isEmpty())
        return false;
    const QFileInfo pathInfo(path());
    if (path().isEmpty() || !pathInfo.isDir())
        return false;
    return !QFileInfo::exists(QDir(path()).absoluteFilePath(directory()));
}

void BaseCheckoutWizardPage::updateValidity()
{
    QString status;
    if (!path().isEmpty() && !QFileInfo(path()).isDir())
        status = tr("The path \"%1\" is not an existing directory.").arg(path());
    else if (!path().isEmpty() && !directory().isEmpty()
             && QFileInfo::exists(QDir(path()).absoluteFilePath(directory())))
        status = tr("The checkout directory \"%1\" already exists.").arg(directory());
    m_statusLabel->setText(status);
    emit completeChanged();
}

bool BaseCheckoutWizardPage::isComplete() const
{
    return checkIsValid();
}

} // namespace VcsBase
