#include "newprojectdialog.h"

#include <core/iwizard.h>
#include <extensionsystem/pluginmanager.h>
#include <utils/pathchooser.h>

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Workbench {

namespace {
const int WizardRole = Qt::UserRole + 1;
}

NewProjectDialog::NewProjectDialog(const QString &defaultPath, QWidget *parent)
    : QDialog(parent), m_tree(new QTreeWidget), m_description(new QLabel),
      m_path(new Utils::PathChooser)
{
    setObjectName(QStringLiteral("newProjectDialog"));
    setWindowTitle(tr("New Project"));
    m_tree->setObjectName(QStringLiteral("wizards"));
    m_tree->setHeaderHidden(true);
    m_tree->setIconSize(QSize(36, 36));
    m_description->setObjectName(QStringLiteral("wizardDescription"));
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_description->setMinimumWidth(240);
    m_path->setObjectName(QStringLiteral("projectPathChooser"));
    m_path->setExpectedKind(Utils::PathChooser::ExistingDirectory);
    m_path->setPath(defaultPath);

    QList<Core::IWizard *> wizards = ExtensionSystem::PluginManager::getObjects<Core::IWizard>();
    std::stable_sort(wizards.begin(), wizards.end(), [](Core::IWizard *a, Core::IWizard *b) {
        if (a->category() != b->category())
            return a->category() < b->category();
        return a->displayName() < b->displayName();
    });
    QHash<QString, QTreeWidgetItem *> categories;
    for (Core::IWizard *wizard : qAsConst(wizards)) {
        QTreeWidgetItem *category = categories.value(wizard->category());
        if (!category) {
            category = new QTreeWidgetItem(m_tree, QStringList(wizard->displayCategory()));
            category->setFlags(Qt::ItemIsEnabled);
            categories.insert(wizard->category(), category);
        }
        auto item = new QTreeWidgetItem(category, QStringList(wizard->displayName()));
        item->setIcon(0, wizard->icon());
        item->setData(0, WizardRole, QVariant::fromValue(static_cast<QObject *>(wizard)));
    }
    m_tree->expandAll();

    auto buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_choose = buttons->addButton(tr("Choose..."), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto top = new QHBoxLayout;
    top->addWidget(m_tree, 1);
    top->addWidget(m_description, 1);
    auto form = new QFormLayout;
    form->addRow(tr("Create in:"), m_path);
    auto layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(m_tree, &QTreeWidget::currentItemChanged, this, &NewProjectDialog::updateSelection);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (selectedWizard())
            accept();
    });
    if (!wizards.isEmpty() && m_tree->topLevelItemCount() > 0 &&
        m_tree->topLevelItem(0)->childCount() > 0)
        m_tree->setCurrentItem(m_tree->topLevelItem(0)->child(0));
    if (wizards.isEmpty())
        m_description->setText(tr("No plugin offers a wizard."));
    updateSelection();
    resize(640, 400);
}

Core::IWizard *NewProjectDialog::selectedWizard() const
{
    QTreeWidgetItem *item = m_tree->currentItem();
    return item ? qobject_cast<Core::IWizard *>(item->data(0, WizardRole).value<QObject *>())
                : nullptr;
}

QString NewProjectDialog::path() const
{
    return m_path->path();
}

void NewProjectDialog::updateSelection()
{
    Core::IWizard *wizard = selectedWizard();
    if (wizard)
        m_description->setText(wizard->description());
    m_choose->setEnabled(wizard != nullptr);
}

} // namespace Workbench
