#include "command.h"
#include "jobqueue.h"
#include "vcsprocess.h"

#include <utils/qtcassert.h>

#include <QEventLoop>

namespace VcsBase {

Command::Command(const QString &binary, const QString &workingDirectory,
                 const QProcessEnvironment &environment)
    : m_binary(binary), m_workingDirectory(workingDirectory), m_environment(environment)
{
}

Command::~Command()
{
    // Jobs of a command that is gone must not run on without it.
    for (const QPointer<VcsJob> &job : qAsConst(m_submitted)) {
        if (job) {
            job->disconnect(this);
            job->cancel();
        }
    }
}

void Command::addJob(const QStringList &arguments, int timeout,
                     Utils::ExitCodeInterpreter *interpreter, std::function<bool()> condition)
{
    m_jobs.append(Job{arguments, timeout, interpreter, std::move(condition)});
}

void Command::start()
{
    QTC_ASSERT(!m_running, return );
    m_running = true;
    m_jobsRun = 0;
    m_lastExitCode = 0;
    m_submitted.clear();
    if (m_jobs.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_running = false;
                emit finished(true, 0);
            },
            Qt::QueuedConnection);
        return;
    }
    JobQueue *queue = JobQueue::instance();
    if (!queue) {
        if (!m_ownQueue)
            m_ownQueue = new JobQueue(this, JobQueue::Private);
        queue = m_ownQueue;
    }
    // All jobs are submitted together, so that no other command runs between them.
    for (const Job &job : qAsConst(m_jobs)) {
        auto vcsJob = new VcsJob(m_binary, job.arguments, m_workingDirectory);
        vcsJob->setEnvironment(m_environment);
        vcsJob->setTimeOutMs(job.timeout);
        vcsJob->setFlags(RunFlag::ShowStdOutInLogWindow);
        vcsJob->setExitCodeInterpreter(job.exitCodeInterpreter);
        vcsJob->setStarter(m_starter);
        vcsJob->setCondition(job.condition);
        connect(vcsJob, &VcsJob::started, this, [this] { ++m_jobsRun; });
        connect(vcsJob, &VcsJob::finished, this, [this, vcsJob] { jobFinished(vcsJob); });
        m_submitted.append(vcsJob);
        queue->submit(vcsJob);
    }
}

bool Command::run()
{
    QEventLoop loop;
    bool ok = false;
    connect(this, &Command::finished, &loop, [&](bool success) {
        ok = success;
        loop.quit();
    });
    start();
    if (m_running)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return ok;
}

void Command::cancel()
{
    if (!m_running)
        return;
    // The waiting jobs go quietly; the running one ends the command when its tree has ended.
    VcsJob *running = nullptr;
    for (const QPointer<VcsJob> &job : qAsConst(m_submitted)) {
        if (job && job->state() == VcsJob::Running) {
            running = job;
        } else if (job && job->state() == VcsJob::Waiting) {
            job->disconnect(this);
            job->cancel();
        }
    }
    if (running)
        running->cancel();
    else
        end(false);
}

void Command::jobFinished(VcsJob *job)
{
    if (!m_running)
        return;
    m_lastExitCode = job->exitCode();
    if (!job->stdOut().isEmpty())
        emit output(job->stdOut());
    if (!job->stdErr().isEmpty())
        emit errorText(job->stdErr());
    if (!job->succeeded() || job == m_submitted.last())
        end(job->succeeded());
}

void Command::end(bool ok)
{
    m_running = false;
    // The jobs still waiting depended on those before them.
    for (const QPointer<VcsJob> &job : qAsConst(m_submitted)) {
        if (job && job->state() != VcsJob::Done) {
            job->disconnect(this);
            job->cancel();
        }
    }
    m_submitted.clear();
    emit finished(ok, m_lastExitCode);
}

} // namespace VcsBase
