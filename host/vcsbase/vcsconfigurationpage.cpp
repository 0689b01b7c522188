#include "vcsconfigurationpage.h"
#include "vcsbaseoptionspage.h"

#include <core/icore.h>
#include <core/iversioncontrol.h>

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace VcsBase {

VcsConfigurationPage::VcsConfigurationPage(const Core::IVersionControl *vc, QWidget *parent)
    : QWizardPage(parent), m_versionControl(vc)
{
    setTitle(tr("Configuration"));
    setSubTitle(tr("Please configure <b>%1</b> now.").arg(vc ? vc->displayName() : QString()));
    auto label = new QLabel(tr("The version control system is not configured yet. "
                               "Set the path of its executable in the options."));
    label->setWordWrap(true);
    auto button = new QPushButton(tr("Configure..."));
    button->setObjectName(QStringLiteral("configureButton"));
    auto layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(button);
    layout->addStretch();
    connect(button, &QPushButton::clicked, this, &VcsConfigurationPage::openConfiguration);
    if (vc)
        connect(vc, &Core::IVersionControl::configurationChanged, this, &QWizardPage::completeChanged);
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
    emit completeChanged();
}

} // namespace VcsBase
