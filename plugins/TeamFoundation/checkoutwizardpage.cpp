#include "checkoutwizardpage.h"

#include <QLineEdit>

namespace TeamFoundation {
namespace Internal {

CheckoutWizardPage::CheckoutWizardPage(QWidget *parent) : VcsBase::BaseCheckoutWizardPage(parent)
{
    setTitle(tr("Location"));
    setSubTitle(tr("Specify server path, checkout directory and path."));
    setRepositoryLabel(tr("Server path:"));
    // A server folder has no branches to choose from.
    setBranchSelectorVisible(false);
    setRepository(QStringLiteral("$/"));

    m_collectionEdit = new QLineEdit(this);
    m_collectionEdit->setObjectName(QStringLiteral("collectionEdit"));
    addRepositoryControl(tr("Collection: (leave empty for default)"), m_collectionEdit);

    m_workspaceEdit = new QLineEdit(this);
    m_workspaceEdit->setObjectName(QStringLiteral("workspaceEdit"));
    addRepositoryControl(tr("Workspace: (leave empty for default)"), m_workspaceEdit);
}

CheckoutWizardPage::~CheckoutWizardPage() = default;

QString CheckoutWizardPage::collection() const
{
    return m_collectionEdit->text();
}

QString CheckoutWizardPage::workspace() const
{
    return m_workspaceEdit->text();
}

QString CheckoutWizardPage::directoryFromRepository(const QString &repository) const
{
    // The last element of the server path names the local directory; only "/" separates
    // server path elements, and the "$" that marks the server root is not part of a name.
    QString directory = repository.trimmed();
    const int slash = directory.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        directory.remove(0, slash + 1);
    directory.remove(QLatin1Char('$'));
    return directory;
}

} // namespace Internal
} // namespace TeamFoundation
