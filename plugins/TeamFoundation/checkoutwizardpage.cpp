#include "checkoutwizardpage.h"
#include "commandlines.h"

#include <QLineEdit>

namespace TeamFoundation {
namespace Internal {

CheckoutWizardPage::CheckoutWizardPage(QWidget *parent)
    : CheckoutWizardPage(ClientKind::VisualStudio, parent)
{
}

CheckoutWizardPage::CheckoutWizardPage(ClientKind kind, QWidget *parent)
    : VcsBase::BaseCheckoutWizardPage(parent), m_kind(kind)
{
    setTitle(tr("Location"));
    setSubTitle(tr("Specify server path, checkout directory and path."));
    setRepositoryLabel(tr("Server path:"));
    // A server folder has no branches to choose from.
    setBranchSelectorVisible(false);
    setRepository(QStringLiteral("$/"));

    const bool crossPlatform = kind == ClientKind::CrossPlatform;
    m_collectionEdit = new QLineEdit(this);
    m_collectionEdit->setObjectName(QStringLiteral("collectionEdit"));
    addRepositoryControl(crossPlatform ? tr("Collection:")
                                       : tr("Collection: (leave empty for default)"),
                         m_collectionEdit);

    m_workspaceEdit = new QLineEdit(this);
    m_workspaceEdit->setObjectName(QStringLiteral("workspaceEdit"));
    addRepositoryControl(tr("Workspace: (leave empty for default)"), m_workspaceEdit);
    if (crossPlatform) {
        m_collectionEdit->setPlaceholderText(QStringLiteral("https://dev.azure.com/ORGANIZATION"));
        // Named after the computer, as tf.exe names its default workspace.
        m_workspaceEdit->setPlaceholderText(CommandLines::defaultWorkspaceName());
        connect(m_collectionEdit, &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
    }
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

bool CheckoutWizardPage::isComplete() const
{
    if (m_kind == ClientKind::CrossPlatform &&
        (!m_collectionEdit || m_collectionEdit->text().trimmed().isEmpty()))
        return false;
    return VcsBase::BaseCheckoutWizardPage::isComplete();
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
