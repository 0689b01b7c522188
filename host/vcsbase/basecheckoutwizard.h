#pragma once

#include <core/iwizard.h>

#include <QList>

#include <functional>

QT_BEGIN_NAMESPACE
class QWizard;
class QWizardPage;
QT_END_NAMESPACE

namespace VcsBase {

class Command;

// A new-project wizard that checks a project out of a version control: it shows the pages
// that the subclass makes, asks it for the command and the checkout path, runs the command's
// jobs through the host's job queue with their output in the version-control pane, then
// opens the project it finds in the checkout path.
class BaseCheckoutWizard : public Core::IWizard
{
    Q_OBJECT
public:
    explicit BaseCheckoutWizard(QObject *parent = nullptr);
    ~BaseCheckoutWizard() override;

    void runWizard(const QString &path, QWidget *parent, const QVariantMap &extraValues) override;

    // The steps of runWizard, for a host that drives the wizard without showing it:
    // the dialog with its pages, not yet shown...
    QWizard *createWizardDialog(const QString &path, QWidget *parent);
    // ...and, once the pages are filled in, the checkout itself. The command is made from the
    // pages at once (the dialog may go afterwards); its jobs run while the window goes on.
    // 'done' gets the checkout path, or an empty string and the error message.
    using CheckoutDone = std::function<void(const QString &checkoutPath, const QString &error)>;
    void startCheckout(QWizard *dialog, CheckoutDone done);
    // The checkout waited for, serving no user input meanwhile. Returns the checkout path,
    // or an empty string with 'errorMessage' set.
    QString checkout(QWizard *dialog, QString *errorMessage);

    // The project file (CMakeLists.txt or a .pro file) in 'directory', or an empty string.
    static QString findProjectFile(const QString &directory);

    virtual QList<QWizardPage *> createParameterPages(const QString &path) = 0;
    virtual Command *createCommand(const QList<QWizardPage *> &parameterPages,
                                   QString *checkoutPath) = 0;
};

} // namespace VcsBase
