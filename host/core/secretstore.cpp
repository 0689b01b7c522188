#include "secretstore.h"

#include <qt5keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

#ifdef SECRET_SERVICE_ON_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#endif

namespace Core {

namespace {

SecretStore *s_instance = nullptr;

// Whether a keychain runs at all. QtKeychain reports a missing session bus, or a bus without
// a Secret Service, like any other failure; where the keychain is a D-Bus service the bus
// itself tells the two apart.
bool keychainRuns()
{
#ifdef SECRET_SERVICE_ON_DBUS
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QString name = QStringLiteral("org.freedesktop.secrets");
    QDBusConnectionInterface *interface = bus.interface();
    if (interface->isServiceRegistered(name))
        return true;
    const QDBusReply<QStringList> activatable = interface->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(name);
#else
    return true;
#endif
}

SecretStore::Answer answerOf(QKeychain::Job *job)
{
    SecretStore::Answer answer;
    switch (job->error()) {
    case QKeychain::NoError:
        answer.outcome = SecretStore::Done;
        if (auto read = qobject_cast<QKeychain::ReadPasswordJob *>(job))
            answer.secret = read->textData();
        return answer;
    case QKeychain::EntryNotFound:
        // What is not there is as good as deleted.
        answer.outcome = qobject_cast<QKeychain::DeletePasswordJob *>(job) ? SecretStore::Done
                                                                           : SecretStore::NotFound;
        return answer;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        answer.outcome = SecretStore::NoKeychain;
        break;
    default:
        answer.outcome = keychainRuns() ? SecretStore::Failed : SecretStore::NoKeychain;
        break;
    }
    answer.error = job->errorString();
    return answer;
}

} // namespace

SecretStore::SecretStore() : m_previous(s_instance)
{
    s_instance = this;
}

SecretStore::~SecretStore()
{
    if (s_instance == this)
        s_instance = m_previous;
}

SecretStore *SecretStore::instance()
{
    return s_instance;
}

KeychainSecretStore::KeychainSecretStore() = default;

KeychainSecretStore::~KeychainSecretStore()
{
    // A job not started yet can go. A running one stays with the keychain, which calls it back
    // when it answers; it deletes itself then, and its answer reaches nobody.
    for (const Request &request : qAsConst(m_queue))
        delete request.job;
}

void KeychainSecretStore::read(const QString &service, const QString &key, QObject *receiver,
                               Handler handler)
{
    enqueue(new QKeychain::ReadPasswordJob(service), key, receiver, std::move(handler));
}

void KeychainSecretStore::write(const QString &service, const QString &key, const QString &secret,
                                QObject *receiver, Handler handler)
{
    auto job = new QKeychain::WritePasswordJob(service);
    job->setTextData(secret);
    enqueue(job, key, receiver, std::move(handler));
}

void KeychainSecretStore::remove(const QString &service, const QString &key, QObject *receiver,
                                 Handler handler)
{
    enqueue(new QKeychain::DeletePasswordJob(service), key, receiver, std::move(handler));
}

bool SecretStore::waitForJobs(int timeoutMs)
{
    if (isIdle())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    connect(this, &SecretStore::idle, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return isIdle();
}

void KeychainSecretStore::enqueue(QKeychain::Job *job, const QString &key, QObject *receiver,
                                  Handler handler)
{
    job->setKey(key);
    // Never QtKeychain's own plain-text fallback: where no keychain runs, the caller decides
    // what to keep where, and says so.
    job->setInsecureFallback(false);
    connect(job, &QKeychain::Job::finished, this, &KeychainSecretStore::finish);
    m_queue.enqueue({job, receiver, std::move(handler)});
    startNext();
}

void KeychainSecretStore::startNext()
{
    if (m_running.job || m_queue.isEmpty())
        return;
    m_running = m_queue.dequeue();
    m_running.job->start();
}

void KeychainSecretStore::finish(QKeychain::Job *job)
{
    if (job != m_running.job)
        return;
    const Request done = m_running;
    m_running = Request();
    if (done.receiver && done.handler)
        done.handler(answerOf(job));
    startNext();
    if (isIdle())
        emit idle();
}

} // namespace Core
