#pragma once

#include "ui_settingspage.h"

#include <QWidget>

namespace TeamFoundation {
namespace Internal {

class TeamFoundationSettings;

// The widget of the options page: shows a settings record in the form's fields and builds
// a new record from what the user entered.
class SettingsPageWidget : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsPageWidget(QWidget *parent = nullptr);
    ~SettingsPageWidget() override;

    void setSettings(const TeamFoundationSettings &settings);
    TeamFoundationSettings settings() const;
    // One line under the password saying where it is kept when that is not the system
    // keychain; hidden when empty.
    void setPasswordNote(const QString &note);
    // The group titles and labels as shown, for the options dialog's filter.
    QString searchKeywords() const;

private:
    Ui::SettingsPage m_ui;
};

} // namespace Internal
} // namespace TeamFoundation
