#include "basecheckoutwizard.h"
#include "command.h"
#include "vcsoutputwindow.h"

#include <core/icore.h>

#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QWizard>

#include <memory>

namespace VcsBase {

BaseCheckoutWizard::BaseCheckoutWizard(QObject *parent) : Core::IWizard(parent)
{
    setWizardKind(ProjectWizard);
    setCategory(QStringLiteral("T.Import"));
    setDisplayCategory(tr("Project from Version Control"));
}

BaseCheckoutWizard::~BaseCheckoutWizard() = default;

QWizard *BaseCheckoutWizard::createWizardDialog(const QString &path, QWidget *parent)
{
    auto dialog = new QWizard(parent);
    dialog->setObjectName(QStringLiteral("checkoutWizardDialog"));
    dialog->setWindowTitle(displayName());
    dialog->setOption(QWizard::NoBackButtonOnStartPage, true);
    const QList<QWizardPage *> pages = createParameterPages(path);
    for (QWizardPage *page : pages)
        dialog->addPage(page);
    // Wide enough that server paths and local directories can be read in their fields.
    const QSize hint = dialog->sizeHint();
    dialog->resize(qMax(hint.width(), 680), hint.height());
    return dialog;
}

void BaseCheckoutWizard::startCheckout(QWizard *dialog, CheckoutDone done)
{
    QList<QWizardPage *> pages;
    for (int id : dialog->pageIds())
        pages.append(dialog->page(id));
    QString checkoutPath;
    Command *command = createCommand(pages, &checkoutPath);
    if (!command) {
        done(QString(), tr("The wizard did not provide a checkout command."));
        return;
    }
    // A checkout still running when the wizard goes (at shutdown) goes with it.
    command->setParent(this);
    connect(command, &Command::finished, this, [command, checkoutPath, done](bool ok) {
        command->deleteLater();
        if (!ok) {
            done(QString(), tr("The checkout failed."));
            return;
        }
        const QString shownPath = QDir::toNativeSeparators(checkoutPath);
        VcsOutputWindow::appendMessage(tr("Checked out into %1.").arg(shownPath));
        const QString projectFile = findProjectFile(checkoutPath);
        if (projectFile.isEmpty()) {
            VcsOutputWindow::appendWarning(tr("No project file was found in %1.").arg(shownPath));
        } else if (!Core::ICore::openProject(projectFile)) {
            VcsOutputWindow::appendWarning(tr("The project %1 could not be opened.")
                                               .arg(QDir::toNativeSeparators(projectFile)));
        }
        done(checkoutPath, QString());
    });
    command->start();
}

QString BaseCheckoutWizard::checkout(QWizard *dialog, QString *errorMessage)
{
    QEventLoop loop;
    bool ended = false;
    QString result;
    startCheckout(dialog, [&](const QString &checkoutPath, const QString &error) {
        result = checkoutPath;
        *errorMessage = error;
        ended = true;
        loop.quit();
    });
    if (!ended)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result;
}

QString BaseCheckoutWizard::findProjectFile(const QString &directory)
{
    const QDir dir(directory);
    if (dir.exists(QStringLiteral("CMakeLists.txt")))
        return dir.absoluteFilePath(QStringLiteral("CMakeLists.txt"));
    const QStringList pro = dir.entryList({QStringLiteral("*.pro")}, QDir::Files, QDir::Name);
    return pro.isEmpty() ? QString() : dir.absoluteFilePath(pro.first());
}

void BaseCheckoutWizard::runWizard(const QString &path, QWidget *parent, const QVariantMap &extraValues)
{
    Q_UNUSED(extraValues)
    std::unique_ptr<QWizard> dialog(createWizardDialog(path, parent));
    if (dialog->exec() != QDialog::Accepted)
        return;
    QPointer<QWidget> window(parent);
    startCheckout(dialog.get(), [window](const QString &checkoutPath, const QString &error) {
        if (checkoutPath.isEmpty())
            QMessageBox::warning(window, tr("Checkout"), error);
    });
}

} // namespace VcsBase
