#pragma once

#include <QWizardPage>

QT_BEGIN_NAMESPACE
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
QT_END_NAMESPACE

namespace Utils {
class PathChooser;
}

namespace VcsBase {

// The page of a checkout wizard where the user names the repository, the new checkout
// directory and the path it is created in. It is complete when the repository and the
// directory are given, the path is an existing directory and the checkout directory does
// not exist yet.
class BaseCheckoutWizardPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit BaseCheckoutWizardPage(QWidget *parent = nullptr);
    ~BaseCheckoutWizardPage() override;

    QString path() const;
    void setPath(const QString &path);
    QString directory() const;
    void setDirectory(const QString &directory);
    QString repository() const;
    void setRepository(const QString &repository);
    QString branch() const;

    bool isComplete() const override;

protected:
    void setRepositoryLabel(const QString &label);
    void setBranchSelectorVisible(bool visible);
    bool isBranchSelectorVisible() const;
    void addRepositoryControl(const QString &label, QWidget *control);

    // The directory name proposed for a repository; the default is the repository itself.
    virtual QString directoryFromRepository(const QString &repository) const;
    virtual QStringList branches(const QString &repository, int *current);
    virtual bool checkIsValid() const;

private:
    void repositoryChanged(const QString &repository);
    void updateValidity();

    QFormLayout *m_repositoryLayout;
    QLabel *m_repositoryLabel;
    QLineEdit *m_repositoryEdit;
    QLabel *m_branchLabel;
    QComboBox *m_branchComboBox;
    QLineEdit *m_directoryEdit;
    Utils::PathChooser *m_pathChooser;
    QLabel *m_statusLabel;
    bool m_directoryEdited = false;
    bool m_settingDirectory = false;
};

} // namespace VcsBase
