#include "vcsconfigurationpage.h"
#include "vcsbaseoptionspage.h"

#include <core/icore.h>
#include <core/iversioncontrol.h>

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace VcsBase {

VcsConfigurationPage::VcsConfigurationPage(const Core::IVersionControl *vc, QWidget *parent)
    : QWizardPage(parent), m_versionControl(vc), m_label(new QLabel)
{
    setTitle(tr("Configuration"));
    m_label->setWordWrap(true);
    auto button = new QPushButton(tr("Configure..."));
    button->setObjectName(QStringLiteral("configureButton"));
    auto layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(button);
    layout->addStretch();
    connect(button, &QPushButton::clicked, this, &VcsConfigurationPage::openConfiguration);
    if (vc)
        connect(vc, &Core::IVersionControl::configurationChanged, this,
                &VcsConfigurationPage::configurationChanged);
    updateTexts();
}

VcsConfigurationPage::~VcsConfigurationPage() = default;

bool VcsConfigurationPage::isComplete() const
{
    return m_versionControl && m_versionControl->isConfigured();
}

void VcsConfigurationPage::openConfiguration()
{
    if (m_versionControl)
        Core::ICore::showOptionsDialog(Core::Id(Constants::VCS_SETTINGS_CATEGORY),
                                       m_versionControl->id(), this);
    configurationChanged();
}

void VcsConfigurationPage::configurationChanged()
{
    updateTexts();
    emit completeChanged();
}

void VcsConfigurationPage::updateTexts()
{
    // The page stays in the wizard after the user configured the version control on it, so
    // it says what holds now.
    const QString name = m_versionControl ? m_versionControl->displayName() : QString();
    if (isComplete()) {
        setSubTitle(tr("<b>%1</b> is configured.").arg(name));
        m_label->setText(tr("The version control system is configured. Continue with Next."));
    } else {
        setSubTitle(tr("Please configure <b>%1</b> now.").arg(name));
        m_label->setText(tr("The version control system is not configured yet. "
                            "Set the path of its executable in the options."));
    }
}

} // namespace VcsBase
