#include "settingspage.h"
#include "passwordkeeper.h"
#include "settingspagewidget.h"
#include "teamfoundationconstants.h"
#include "teamfoundationplugin.h"

namespace TeamFoundation {
namespace Internal {

SettingsPage::SettingsPage() : VcsBase::VcsBaseOptionsPage(nullptr)
{
    setId(Core::Id(Constants::TEAMFOUNDATION_ID));
    setDisplayName(tr("TeamFoundation"));
}

SettingsPage::~SettingsPage() = default;

bool SettingsPage::matches(const QString &searchKeyWord) const
{
    return m_searchKeywords.contains(searchKeyWord, Qt::CaseInsensitive);
}

QWidget *SettingsPage::createPage(QWidget *parent)
{
    auto widget = new SettingsPageWidget(parent);
    m_widget = widget;
    if (TeamFoundationPlugin *plugin = TeamFoundationPlugin::instance()) {
        // The field shows the password the keychain holds, not an empty one before it answered.
        plugin->waitForPassword();
        widget->setSettings(plugin->settings());
        if (PasswordKeeper *keeper = plugin->passwordKeeper()) {
            // The keychain may answer while the page is open.
            widget->setPasswordNote(keeper->note());
            connect(keeper, &PasswordKeeper::noteChanged, widget,
                    [widget, keeper] { widget->setPasswordNote(keeper->note()); });
        }
    }
    if (m_searchKeywords.isEmpty())
        m_searchKeywords = widget->searchKeywords();
    return widget;
}

void SettingsPage::apply()
{
    // Without a live widget there is nothing the user entered; applying the form's blank
    // fields would overwrite every setting.
    if (!m_widget)
        return;
    const TeamFoundationSettings settings = m_widget->settings();
    if (TeamFoundationPlugin *plugin = TeamFoundationPlugin::instance())
        plugin->setSettings(settings);
}

void SettingsPage::finish()
{
}

} // namespace Internal
} // namespace TeamFoundation
