#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>

#include <functional>

namespace QKeychain {
class Job;
}

namespace Core {

// Where a plugin keeps what must not stand in the settings file, such as a password: the
// system keychain in the IDE (KeychainSecretStore), a fake in tests. The store answers later,
// through the event loop: a keychain may have to be started first, or ask the person to
// unlock it. The jobs run one after another in the order they were asked for, so that a write
// followed by a delete leaves nothing behind. The latest store made is instance() until it
// goes; the host's lives in its services, from before the plugins are loaded until after they
// are gone.
class SecretStore : public QObject
{
    Q_OBJECT
public:
    enum Outcome {
        Done,       // read (the secret is in the answer), written or deleted
        NotFound,   // a read found nothing under the key
        NoKeychain, // no keychain runs (no session bus, no Secret Service on it)
        Failed      // the keychain refused or failed; the answer's error says why
    };
    struct Answer
    {
        Outcome outcome = Failed;
        QString secret;
        QString error;
    };
    using Handler = std::function<void(const Answer &answer)>;

    ~SecretStore() override;

    // Null while the host has no services.
    static SecretStore *instance();

    // 'handler' runs when the store answered, unless 'receiver' is gone by then.
    virtual void read(const QString &service, const QString &key, QObject *receiver,
                      Handler handler) = 0;
    virtual void write(const QString &service, const QString &key, const QString &secret,
                       QObject *receiver, Handler handler) = 0;
    virtual void remove(const QString &service, const QString &key, QObject *receiver,
                        Handler handler) = 0;

    virtual bool isIdle() const = 0;
    // Lets the jobs asked for finish, for at most 'timeoutMs', serving no user input meanwhile;
    // false when some are still under way.
    bool waitForJobs(int timeoutMs);

signals:
    // The last job asked for has answered.
    void idle();

protected:
    SecretStore();

private:
    SecretStore *m_previous = nullptr;
};

// The system keychain (the Secret Service on Linux desktops, the Keychain on macOS, the
// Credential Manager on Windows), through QtKeychain.
class KeychainSecretStore : public SecretStore
{
    Q_OBJECT
public:
    KeychainSecretStore();
    ~KeychainSecretStore() override;

    void read(const QString &service, const QString &key, QObject *receiver,
              Handler handler) override;
    void write(const QString &service, const QString &key, const QString &secret, QObject *receiver,
               Handler handler) override;
    void remove(const QString &service, const QString &key, QObject *receiver,
                Handler handler) override;
    bool isIdle() const override { return !m_running.job && m_queue.isEmpty(); }

private:
    struct Request
    {
        QKeychain::Job *job = nullptr;
        QPointer<QObject> receiver;
        Handler handler;
    };
    void enqueue(QKeychain::Job *job, const QString &key, QObject *receiver, Handler handler);
    void startNext();
    void finish(QKeychain::Job *job);

    QQueue<Request> m_queue;
    Request m_running;
};

} // namespace Core
