#pragma once

#include <core/secretstore.h>

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

namespace TeamFoundation {
namespace Internal {

class TeamFoundationSettings;

// Keeps the password of the settings in the system keychain instead of the settings file.
//
// The keychain entry is the service "TeamFoundation" with the user name as its key: the
// password belongs to that account, and a person finds it under that name in the keyring's
// manager. The settings file says where the password is. A "Password" value in it is the
// password: one written by an earlier version, one the keychain has not confirmed yet, or one
// kept there because no keychain runs. Without it, "PasswordInKeychain" says that the keychain
// holds one; with neither, there is none. A password in the file is taken out of it only once
// the keychain confirmed that it holds it, so nothing is lost on the way.
//
// At start-up the keychain answers later; everything that needs the password waits for that
// answer, bounded: what the IDE waits for (a file operation, the options page) through
// waitForPassword(), the queued commands through whenRead() as a step of their turn.
class PasswordKeeper : public QObject
{
    Q_OBJECT
public:
    explicit PasswordKeeper(QObject *parent = nullptr);

    // With the settings just read from the file: moves a password found there into the
    // keychain, or asks the keychain for the one it holds, which passwordRead() brings.
    void load(const TeamFoundationSettings &settings);
    // After 'current' replaced 'previous' and was written to the settings file, password
    // included: takes the password into the keychain, or out of it when it was cleared.
    void store(const TeamFoundationSettings &previous, const TeamFoundationSettings &current);

    // Whether the settings hold the person's password. While the keychain has not answered at
    // start-up, waits for it (showing so after a moment, serving no other input meanwhile), at
    // most 'timeoutMs' from the first wait on; a keychain that did not answer by then, or
    // could not be read, leaves it unknown for the session (false), and the pane says so. A
    // person who cancels the wait gets false, with 'cancelled' set.
    bool waitForPassword(int timeoutMs, bool *cancelled = nullptr);
    // Calls 'then' once the keychain has answered (at once when it has), bounded as above,
    // unless 'context' is gone by then; with an empty text when the password is known, else
    // with why it is not.
    void whenRead(int timeoutMs, QObject *context,
                  const std::function<void(const QString &)> &then);
    bool isReading() const { return m_state == State::Reading; }
    // Why the password is not known, for a command that cannot run without it.
    QString unknownReason() const;
    // Where the password is when it is not in the keychain, for the options page; empty when
    // it is there or there is none.
    QString note() const;

signals:
    void passwordRead(const QString &password);
    // The keychain answered the start-up read, whatever it said.
    void readFinished();
    // note() may say something else now.
    void noteChanged();

private:
    enum class State { Known, Reading, Unreadable };

    void moveIntoKeychain(const QString &user, const QString &password, const QString &formerUser,
                          bool formerEntry);
    void confirmed(bool inKeychain);
    void failed(const Core::SecretStore::Answer &answer, const QString &message);
    void readFailed(const QString &reason);
    void startGivingUp(int timeoutMs);
    void giveUp();
    // Writes 'text' to the pane, once a session.
    void report(const QString &text);

    State m_state = State::Known;
    // The keychain holds the password (or holds none when it is empty) and the file does not.
    bool m_confirmed = true;
    Core::SecretStore::Outcome m_lastOutcome = Core::SecretStore::Done;
    // Counts the passwords set: an answer about an earlier one changes nothing.
    int m_generation = 0;
    QSet<QString> m_reported;
    QTimer m_giveUp; // how long the keychain's first answer is waited for
};

} // namespace Internal
} // namespace TeamFoundation
