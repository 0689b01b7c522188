#pragma once

#include <QList>
#include <QObject>

namespace VcsBase {

class VcsJob;

// Runs the version-control jobs of the whole host one after another, while the window goes on
// taking input: submit() returns at once and a job waits its turn. A person's commands run in
// the order they were submitted, before the reads the IDE makes on its own (background jobs,
// which run in their order after them): a person never waits behind such a read, and one that
// runs when a person's command comes is stopped and run again after it. The workbench creates
// one in main(); instance() finds it.
class JobQueue : public QObject
{
    Q_OBJECT
public:
    // The host's queue becomes instance() unless another one already is; a private queue
    // serves only whoever made it.
    enum Scope { HostWide, Private };
    explicit JobQueue(QObject *parent = nullptr, Scope scope = HostWide);
    // Ends the running job's process tree and drops the waiting jobs without a word: at
    // shutdown nobody is left to hear of them.
    ~JobQueue() override;

    static JobQueue *instance();

    // Takes the job; it starts when those submitted before it have finished. The queue
    // deletes it after it has emitted finished().
    void submit(VcsJob *job);

    VcsJob *runningJob() const { return m_running; }
    int waitingCount() const { return m_waiting.size(); }
    // No job runs or waits, and none is about to start: between one job's end and the next
    // one's start, whoever heard of the end may still queue more (as idle() says too).
    bool isIdle() const { return !m_running && m_waiting.isEmpty() && !m_startPending; }
    // Whether a job a person started runs or waits; the background reads are left out.
    bool hasPersonsJobs() const;

    void cancelRunning();
    // Cancels the waiting jobs, then the running one.
    void cancelAll();

signals:
    void jobStarted(VcsBase::VcsJob *job);
    void jobFinished(VcsBase::VcsJob *job);
    void waitingCountChanged(int count);
    // The last job has finished and none waits.
    void idle();

private:
    friend class VcsJob;
    void remove(VcsJob *job);
    // A background job stopped for a person's command waits again, first of its kind.
    void putBack(VcsJob *job);
    int firstBackgroundIndex() const;
    void startSoon();
    void jobEnded(VcsJob *job);
    void startNext();

    VcsJob *m_running = nullptr;
    QList<VcsJob *> m_waiting;
    bool m_startPending = false;
};

} // namespace VcsBase
