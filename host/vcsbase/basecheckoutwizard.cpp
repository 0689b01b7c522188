#include "basecheckoutwizard.h"
#include "command.h"
#include "vcsoutputwindow.h"

#include <core/icore.h>

#include <QDir>
#include <QMessageBox>
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

QString BaseCheckoutWizard::checkout(QWizard *dialog, QString *errorMessage)
{
    QList<QWizardPage *> pages;
    for (int id : dialog->pageIds())
        pages.append(dialog->page(id));
    QString checkoutPath;
    std::unique_ptr<Command> command(createCommand(pages, &checkoutPath));
    if (!command) {
        *errorMessage = tr("The wizard did not provide a checkout command.");
        return QString();
    }
    if (!command->run()) {
        *errorMessage = tr("The checkout failed.");
        return QString();
    }
    VcsOutputWindow::appendMessage(tr("Checked out into %1.").arg(QDir::toNativeSeparators(checkoutPath)));
    const QString projectFile = findProjectFile(checkoutPath);
    if (projectFile.isEmpty()) {
        VcsOutputWindow::appendWarning(
            tr("No project file was found in %1.").arg(QDir::toNativeSeparators(checkoutPath)));
    } else if (!Core::ICore::openProject(projectFile)) {
        VcsOutputWindow::appendWarning(
            tr("The project %1 could not be opened.").arg(QDir::toNativeSeparators(projectFile)));
    }
    return checkoutPath;
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
    QString error;
    if (checkout(dialog.get(), &error).isEmpty())
        QMessageBox::warning(parent, tr("Checkout"), error);
}

} // namespace VcsBase
