#include "settingspagewidget.h"
#include "teamfoundationsettings.h"

namespace TeamFoundation {
namespace Internal {

// An executable that the lookup cannot find is shown as it is stored rather than as an empty
// field: the field is what apply writes back, and an empty one would silently wipe the
// user's setting (and the chooser marks the unresolved text as invalid anyway).
static QString executableToShow(const QString &resolved, const QString &stored)
{
    return resolved.isEmpty() ? stored : resolved;
}

SettingsPageWidget::SettingsPageWidget(QWidget *parent) : QWidget(parent)
{
    m_ui.setupUi(this);
    m_ui.pathChooser->setExpectedKind(Utils::PathChooser::ExistingCommand);
    m_ui.pathChooser->setPromptDialogTitle(tr("Team Foundation Command"));
    m_ui.tfptPathChooser->setExpectedKind(Utils::PathChooser::ExistingCommand);
    m_ui.tfptPathChooser->setPromptDialogTitle(tr("Team Foundation Power Tools Command"));
    setPasswordNote(QString());
}

SettingsPageWidget::~SettingsPageWidget() = default;

void SettingsPageWidget::setSettings(const TeamFoundationSettings &settings)
{
    m_ui.pathChooser->setPath(executableToShow(
        settings.binaryPath(), settings.stringValue(TeamFoundationSettings::binaryPathKey)));
    m_ui.tfptPathChooser->setPath(
        executableToShow(settings.powerToolsBinaryPath(),
                         settings.stringValue(TeamFoundationSettings::powerToolsBinaryPathKey)));
    m_ui.usernameLineEdit->setText(
        settings.stringValue(TeamFoundationSettings::userNameKey, QString()));
    m_ui.passwordLineEdit->setText(
        settings.stringValue(TeamFoundationSettings::passwordKey, QString()));
    m_ui.timeOutSpinBox->setValue(settings.intValue(TeamFoundationSettings::timeoutKey, 0));
    m_ui.clientKindComboBox->setCurrentIndex(int(settings.clientKind()));
}

// A fresh record: the keys that the page does not show (the search path) go back to their
// defaults.
TeamFoundationSettings SettingsPageWidget::settings() const
{
    TeamFoundationSettings rc;
    rc.setValue(TeamFoundationSettings::binaryPathKey, m_ui.pathChooser->rawPath());
    rc.setValue(TeamFoundationSettings::powerToolsBinaryPathKey, m_ui.tfptPathChooser->rawPath());
    rc.setValue(TeamFoundationSettings::userNameKey, m_ui.usernameLineEdit->text());
    rc.setValue(TeamFoundationSettings::passwordKey, m_ui.passwordLineEdit->text());
    rc.setValue(TeamFoundationSettings::timeoutKey, m_ui.timeOutSpinBox->value());
    // The box lists the kinds in the order of the enumeration.
    rc.setClientKind(ClientKind(m_ui.clientKindComboBox->currentIndex()));
    return rc;
}

void SettingsPageWidget::setPasswordNote(const QString &note)
{
    m_ui.passwordNoteLabel->setText(note);
    m_ui.passwordNoteLabel->setVisible(!note.isEmpty());
}

QString SettingsPageWidget::searchKeywords() const
{
    QString rc;
    const QLatin1Char sep(' ');
    rc += sep + m_ui.generalGroupBox->title();
    rc += sep + m_ui.commandLabel->text();
    rc += sep + m_ui.tfptLabel->text();
    rc += sep + m_ui.clientKindLabel->text();
    rc += sep + m_ui.userGroupBox->title();
    rc += sep + m_ui.usernameLabel->text();
    rc += sep + m_ui.passwordLabel->text();
    rc += sep + m_ui.miscGroupBox->title();
    rc += sep + m_ui.timeOutLabel->text();
    // A translation may mark mnemonics; the user filters by the words, not the markers.
    rc.remove(QLatin1Char('&'));
    return rc;
}

} // namespace Internal
} // namespace TeamFoundation
