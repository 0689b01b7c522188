#include "jobqueue.h"
#include "vcsjob.h"

#include <utils/qtcassert.h>

namespace VcsBase {

static JobQueue *m_instance = nullptr;

JobQueue::JobQueue(QObject *parent, Scope scope) : QObject(parent)
{
    if (scope == HostWide && !m_instance)
        m_instance = this;
}

JobQueue::~JobQueue()
{
    if (m_instance == this)
        m_instance = nullptr;
    const QList<VcsJob *> jobs = QList<VcsJob *>(m_waiting) << m_running;
    m_waiting.clear();
    m_running = nullptr;
    for (VcsJob *job : jobs) {
        if (!job)
            continue;
        job->blockSignals(true);
        delete job;
    }
}

JobQueue *JobQueue::instance()
{
    return m_instance;
}

void JobQueue::submit(VcsJob *job)
{
    QTC_ASSERT(job && job->state() == VcsJob::Waiting && !m_waiting.contains(job), return );
    job->setParent(this);
    job->m_queue = this;
    connect(job, &VcsJob::started, this, [this, job] { emit jobStarted(job); });
    connect(job, &VcsJob::finished, this, [this, job] { jobEnded(job); });
    if (job->isBackground()) {
        m_waiting.append(job);
    } else {
        m_waiting.insert(firstBackgroundIndex(), job);
        // A read can be made again; the person should not wait for it.
        if (m_running && m_running->isBackground())
            m_running->interrupt();
    }
    emit waitingCountChanged(m_waiting.size());
    if (!m_running && !m_startPending)
        startNext();
}

bool JobQueue::hasPersonsJobs() const
{
    return (m_running && !m_running->isBackground()) || firstBackgroundIndex() > 0;
}

int JobQueue::firstBackgroundIndex() const
{
    for (int i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting.at(i)->isBackground())
            return i;
    }
    return m_waiting.size();
}

void JobQueue::putBack(VcsJob *job)
{
    if (m_running == job)
        m_running = nullptr;
    m_waiting.insert(firstBackgroundIndex(), job);
    emit waitingCountChanged(m_waiting.size());
    startSoon();
}

void JobQueue::startSoon()
{
    if (m_startPending)
        return;
    m_startPending = true;
    QMetaObject::invokeMethod(this, &JobQueue::startNext, Qt::QueuedConnection);
}

void JobQueue::cancelRunning()
{
    if (m_running)
        m_running->cancel();
}

void JobQueue::cancelAll()
{
    // From the last, so that no waiting job starts while the others are cancelled.
    while (!m_waiting.isEmpty())
        m_waiting.last()->cancel();
    cancelRunning();
}

void JobQueue::remove(VcsJob *job)
{
    if (m_waiting.removeOne(job))
        emit waitingCountChanged(m_waiting.size());
}

void JobQueue::jobEnded(VcsJob *job)
{
    remove(job);
    if (job == m_running) {
        m_running = nullptr;
        emit jobFinished(job);
        // The next job starts from the event loop, so that whoever waited for this one has
        // seen its end (and may have cancelled what depended on it) before it starts.
        startSoon();
    } else if (isIdle()) {
        emit idle();
    }
    job->deleteLater();
}

void JobQueue::startNext()
{
    m_startPending = false;
    if (m_running)
        return;
    if (m_waiting.isEmpty()) {
        emit idle();
        return;
    }
    m_running = m_waiting.takeFirst();
    emit waitingCountChanged(m_waiting.size());
    m_running->start(this);
}

} // namespace VcsBase
