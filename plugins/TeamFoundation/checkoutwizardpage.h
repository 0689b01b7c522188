#pragma once

#include "teamfoundationsettings.h"

#include <vcsbase/basecheckoutwizardpage.h>

QT_BEGIN_NAMESPACE
class QLineEdit;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// The checkout wizard's page: the server folder to map, the collection and the workspace,
// and the new local directory with the path it is created in. tf.exe has a default
// collection, so both are optional for it; the cross-platform client has none, so with it
// the page is complete only with a collection.
class CheckoutWizardPage : public VcsBase::BaseCheckoutWizardPage
{
    Q_OBJECT

public:
    explicit CheckoutWizardPage(QWidget *parent = nullptr);
    explicit CheckoutWizardPage(ClientKind kind, QWidget *parent = nullptr);
    ~CheckoutWizardPage() override;

    // Both as typed: blanks are the user's and go to tf as they stand.
    QString collection() const;
    QString workspace() const;

    bool isComplete() const override;

protected:
    QString directoryFromRepository(const QString &repository) const override;

private:
    const ClientKind m_kind;
    QLineEdit *m_collectionEdit = nullptr;
    QLineEdit *m_workspaceEdit = nullptr;
};

} // namespace Internal
} // namespace TeamFoundation
