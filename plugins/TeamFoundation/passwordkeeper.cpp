#include "passwordkeeper.h"
#include "teamfoundationconstants.h"
#include "teamfoundationsettings.h"

#include <core/icore.h>
#include <vcsbase/blockingwait.h>
#include <vcsbase/vcsoutputwindow.h>

#include <memory>

namespace TeamFoundation {
namespace Internal {

namespace {

const char KEYCHAIN_SERVICE[] = "TeamFoundation";
// Beside the record's keys in the settings file, not one of them: where the password is
// kept is no setting that a record compares or a page edits.
const char PASSWORD_IN_KEYCHAIN_KEY[] = "PasswordInKeychain";

QString service()
{
    return QLatin1String(KEYCHAIN_SERVICE);
}

QString fileKey(const QString &key)
{
    return QLatin1String(Constants::SETTINGS_GROUP) + QLatin1Char('/') + key;
}

QSettings *settingsFile()
{
    return Core::ICore::settings(QSettings::UserScope);
}

bool keychainHoldsOne()
{
    return settingsFile()->value(fileKey(QLatin1String(PASSWORD_IN_KEYCHAIN_KEY))).toBool();
}

Core::SecretStore::Answer noKeychain()
{
    Core::SecretStore::Answer answer;
    answer.outcome = Core::SecretStore::NoKeychain;
    return answer;
}

} // namespace

PasswordKeeper::PasswordKeeper(QObject *parent) : QObject(parent)
{
    m_giveUp.setSingleShot(true);
    connect(&m_giveUp, &QTimer::timeout, this, &PasswordKeeper::giveUp);
}

void PasswordKeeper::load(const TeamFoundationSettings &settings)
{
    const QString user = settings.userName();
    if (settingsFile()->contains(fileKey(TeamFoundationSettings::passwordKey))) {
        // The latest password the person set; the keychain may hold an older one.
        m_confirmed = false;
        if (!settings.password().isEmpty() || keychainHoldsOne())
            moveIntoKeychain(user, settings.password(), user, keychainHoldsOne());
        return;
    }
    if (!keychainHoldsOne())
        return;
    Core::SecretStore *store = Core::SecretStore::instance();
    if (!store) {
        m_state = State::Unreadable;
        readFailed(tr("no system keychain is running"));
        return;
    }
    m_state = State::Reading;
    const int generation = m_generation;
    store->read(
        service(), user, this, [this, generation, user](const Core::SecretStore::Answer &answer) {
            // A password set meanwhile wins; one that came too late is not taken.
            if (generation != m_generation || m_state != State::Reading)
                return;
            switch (answer.outcome) {
            case Core::SecretStore::Done:
                m_state = State::Known;
                emit passwordRead(answer.secret);
                break;
            case Core::SecretStore::NotFound:
                // Deleted in the keyring's manager: there is none now.
                m_state = State::Known;
                settingsFile()->remove(fileKey(QLatin1String(PASSWORD_IN_KEYCHAIN_KEY)));
                Core::ICore::syncSettings();
                report(tr("The system keychain holds no Team Foundation password for \"%1\".")
                           .arg(user));
                break;
            case Core::SecretStore::NoKeychain:
                m_state = State::Unreadable;
                readFailed(tr("no system keychain is running"));
                break;
            case Core::SecretStore::Failed:
                m_state = State::Unreadable;
                readFailed(answer.error);
                break;
            }
            m_giveUp.stop();
            emit readFinished();
            emit noteChanged();
        });
}

void PasswordKeeper::store(const TeamFoundationSettings &previous,
                           const TeamFoundationSettings &current)
{
    const bool passwordChanged = previous.password() != current.password();
    // A known password follows its account to the new name.
    const bool accountChanged = previous.userName() != current.userName() &&
                                m_state == State::Known && !current.password().isEmpty();
    if (!passwordChanged && !accountChanged) {
        // The record was written whole. A password that the keychain holds, or that is not
        // known this session (the page showed it empty), stays out of the file.
        if (m_confirmed) {
            settingsFile()->remove(fileKey(TeamFoundationSettings::passwordKey));
            Core::ICore::syncSettings();
        }
        return;
    }
    ++m_generation;
    const bool wasReading = m_state == State::Reading;
    m_state = State::Known;
    m_confirmed = false;
    moveIntoKeychain(current.userName(), current.password(), previous.userName(),
                     keychainHoldsOne());
    // What waited for the keychain's answer has the password now.
    if (wasReading) {
        m_giveUp.stop();
        emit readFinished();
    }
}

void PasswordKeeper::startGivingUp(int timeoutMs)
{
    if (m_state == State::Reading && !m_giveUp.isActive())
        m_giveUp.start(timeoutMs);
}

void PasswordKeeper::giveUp()
{
    if (m_state != State::Reading)
        return;
    // Given up for the session: an answer coming later would change the password under a
    // page or a command that went on without it.
    m_state = State::Unreadable;
    readFailed(tr("it did not answer in time"));
    emit noteChanged();
    emit readFinished();
}

bool PasswordKeeper::waitForPassword(int timeoutMs, bool *cancelled)
{
    if (cancelled)
        *cancelled = false;
    if (m_state == State::Reading) {
        startGivingUp(timeoutMs);
        VcsBase::BlockingWait wait(tr("the system keychain (the Team Foundation password)"));
        connect(this, &PasswordKeeper::readFinished, &wait, &VcsBase::BlockingWait::finish);
        if (!wait.exec()) {
            if (cancelled)
                *cancelled = true;
            return false;
        }
    }
    return m_state == State::Known;
}

void PasswordKeeper::whenRead(int timeoutMs, QObject *context,
                              const std::function<void(const QString &)> &then)
{
    if (m_state != State::Reading) {
        then(unknownReason());
        return;
    }
    startGivingUp(timeoutMs);
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &PasswordKeeper::readFinished, context, [this, connection, then] {
        disconnect(*connection);
        then(unknownReason());
    });
}

QString PasswordKeeper::unknownReason() const
{
    if (m_state == State::Known)
        return QString();
    return tr("The Team Foundation password could not be read from the system keychain; enter "
              "it again in Tools > Options > Version Control > TeamFoundation.");
}

QString PasswordKeeper::note() const
{
    if (m_state != State::Known)
        return tr("kept in the system keychain, which could not be read");
    if (m_confirmed)
        return QString();
    switch (m_lastOutcome) {
    case Core::SecretStore::NoKeychain:
        return tr("stored in the settings file: no system keychain is running");
    case Core::SecretStore::Failed:
        return tr("stored in the settings file: the system keychain refused it");
    default:
        return QString();
    }
}

// The file holds the password (the caller made sure) until the keychain confirmed it.
void PasswordKeeper::moveIntoKeychain(const QString &user, const QString &password,
                                      const QString &formerUser, bool formerEntry)
{
    Core::SecretStore *store = Core::SecretStore::instance();
    const int generation = m_generation;
    if (password.isEmpty()) {
        if (!formerEntry) {
            confirmed(false);
            return;
        }
        auto removed = [this, generation](const Core::SecretStore::Answer &answer) {
            if (generation != m_generation)
                return;
            if (answer.outcome == Core::SecretStore::Done)
                confirmed(false);
            else
                failed(answer, tr("The cleared Team Foundation password is still in the system "
                                  "keychain: %1."));
        };
        if (store)
            store->remove(service(), formerUser, this, removed);
        else
            removed(noKeychain());
        return;
    }
    auto written = [this, generation, user, formerUser, formerEntry,
                    store](const Core::SecretStore::Answer &answer) {
        if (generation != m_generation)
            return;
        if (answer.outcome != Core::SecretStore::Done) {
            failed(answer, tr("The Team Foundation password is stored in the settings file, "
                              "readable by you only: %1."));
            return;
        }
        confirmed(true);
        // The entry of the former account name goes; if that fails, it merely stays behind.
        if (formerEntry && formerUser != user)
            store->remove(service(), formerUser, this, [](const Core::SecretStore::Answer &) {});
    };
    if (store)
        store->write(service(), user, password, this, written);
    else
        written(noKeychain());
}

void PasswordKeeper::confirmed(bool inKeychain)
{
    QSettings *file = settingsFile();
    file->remove(fileKey(TeamFoundationSettings::passwordKey));
    if (inKeychain)
        file->setValue(fileKey(QLatin1String(PASSWORD_IN_KEYCHAIN_KEY)), true);
    else
        file->remove(fileKey(QLatin1String(PASSWORD_IN_KEYCHAIN_KEY)));
    Core::ICore::syncSettings();
    m_confirmed = true;
    m_lastOutcome = Core::SecretStore::Done;
    emit noteChanged();
}

void PasswordKeeper::failed(const Core::SecretStore::Answer &answer, const QString &message)
{
    m_lastOutcome = answer.outcome;
    report(message.arg(answer.outcome == Core::SecretStore::NoKeychain
                           ? tr("no system keychain is running")
                           : tr("the system keychain refused it (%1)").arg(answer.error)));
    emit noteChanged();
}

void PasswordKeeper::readFailed(const QString &reason)
{
    report(tr("The Team Foundation password could not be read from the system keychain: %1. "
              "Commands that log in do not run until it is entered again in Tools > Options > "
              "Version Control > TeamFoundation.")
               .arg(reason));
}

void PasswordKeeper::report(const QString &text)
{
    if (m_reported.contains(text))
        return;
    m_reported.insert(text);
    VcsBase::VcsOutputWindow::appendWarning(text);
}

} // namespace Internal
} // namespace TeamFoundation
