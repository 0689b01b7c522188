#pragma once

#include <QDialog>

QT_BEGIN_NAMESPACE
class QLabel;
class QTreeWidget;
QT_END_NAMESPACE

namespace Core {
class IWizard;
}

namespace Utils {
class PathChooser;
}

namespace Workbench {

// The new-project dialog: the wizards of the object pool by category, with their
// descriptions, and the directory in which the chosen wizard creates the project.
class NewProjectDialog : public QDialog
{
    Q_OBJECT
public:
    NewProjectDialog(const QString &defaultPath, QWidget *parent = nullptr);

    Core::IWizard *selectedWizard() const;
    QString path() const;

private:
    void updateSelection();

    QTreeWidget *m_tree;
    QLabel *m_description;
    Utils::PathChooser *m_path;
    QPushButton *m_choose = nullptr;
};

} // namespace Workbench
