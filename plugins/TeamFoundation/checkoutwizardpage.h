#pragma once

#include <vcsbase/basecheckoutwizardpage.h>

QT_BEGIN_NAMESPACE
class QLineEdit;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// The checkout wizard's page: the server folder to map, the optional collection and
// workspace, and the new local directory with the path it is created in.
class CheckoutWizardPage : public VcsBase::BaseCheckoutWizardPage
{
    Q_OBJECT

public:
    explicit CheckoutWizardPage(QWidget *parent = nullptr);
    ~CheckoutWizardPage() override;

    // Both as typed: blanks are the user's and go to tf as they stand.
    QString collection() const;
    QString workspace() const;

protected:
    QString directoryFromRepository(const QString &repository) const override;

private:
    QLineEdit *m_collectionEdit;
    QLineEdit *m_workspaceEdit;
};

} // namespace Internal
} // namespace TeamFoundation
