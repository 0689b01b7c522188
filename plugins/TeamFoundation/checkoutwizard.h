#pragma once

#include <vcsbase/basecheckoutwizard.h>

namespace TeamFoundation {
namespace Internal {

// The "Team Foundation Checkout" entry of the new-project dialog: maps a server folder to
// a new local directory, optionally in a new workspace, and gets its contents.
class CheckoutWizard : public VcsBase::BaseCheckoutWizard
{
    Q_OBJECT

public:
    CheckoutWizard();
    ~CheckoutWizard() override;

    QList<QWizardPage *> createParameterPages(const QString &path) override;
    VcsBase::Command *createCommand(const QList<QWizardPage *> &parameterPages,
                                    QString *checkoutPath) override;
};

} // namespace Internal
} // namespace TeamFoundation
