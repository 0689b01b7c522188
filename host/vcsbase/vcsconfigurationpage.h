#pragma once

#include <QWizardPage>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

namespace Core {
class IVersionControl;
}

namespace VcsBase {

// Tells the user that a version control is not configured yet and opens its options page;
// the page is complete, and says so, once the version control is configured.
class VcsConfigurationPage : public QWizardPage
{
    Q_OBJECT
public:
    explicit VcsConfigurationPage(const Core::IVersionControl *vc, QWidget *parent = nullptr);
    ~VcsConfigurationPage() override;

    bool isComplete() const override;

private:
    void openConfiguration();
    void configurationChanged();
    void updateTexts();

    const Core::IVersionControl *m_versionControl;
    QLabel *m_label;
};

} // namespace VcsBase
