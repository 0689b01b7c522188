#pragma once

#include <vcsbase/vcsbaseoptionspage.h>

#include <QPointer>

namespace TeamFoundation {
namespace Internal {

class SettingsPageWidget;

// The Team Foundation page of the host's options dialog: shows the plugin's settings and
// hands what the user applies to the plugin, which stores and announces it.
class SettingsPage : public VcsBase::VcsBaseOptionsPage
{
    Q_OBJECT
public:
    SettingsPage();
    ~SettingsPage() override;

    bool matches(const QString &searchKeyWord) const override;
    QWidget *createPage(QWidget *parent) override;
    void apply() override;
    void finish() override;

private:
    // Taken from the first widget and kept: the filter works on the page's texts, which do
    // not change with the values shown.
    QString m_searchKeywords;
    // Owned by its parent, the options dialog, which may delete it without telling the page.
    QPointer<SettingsPageWidget> m_widget;
};

} // namespace Internal
} // namespace TeamFoundation
