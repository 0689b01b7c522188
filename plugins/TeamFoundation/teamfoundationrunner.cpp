#include "teamfoundationrunner.h"

#include <vcsbase/jobqueue.h>

namespace TeamFoundation {
namespace Internal {

namespace {
// Exit code 1 as done: what the client could change it changed, the rest it listed.
class PartialSuccess : public Utils::ExitCodeInterpreter
{
public:
    using Utils::ExitCodeInterpreter::ExitCodeInterpreter;
    Utils::SynchronousProcessResponse::Result interpretExitCode(int code) const override
    {
        return code == 0 || code == 1 ? Utils::SynchronousProcessResponse::Finished
                                      : Utils::SynchronousProcessResponse::FinishedError;
    }
};
} // namespace

TeamFoundationRunner::~TeamFoundationRunner() = default;

VcsBase::VcsJob *TeamFoundationRunner::createJob(const TeamFoundationCommand &command)
{
    auto job = new VcsBase::VcsJob(command.executable, command.arguments, command.workingDirectory);
    job->setEnvironment(command.environment);
    job->setTimeOutMs(command.timeOutMs);
    job->setFlags(command.flags);
    job->setCodec(command.codec);
    job->setDescription(command.description);
    // It lives as long as the job it judges.
    if (command.partialSuccess)
        job->setExitCodeInterpreter(new PartialSuccess(job));
    job->setBackground(command.background);
    job->setPreparation(command.prepare);
    if (command.started) {
        const std::function<void(VcsBase::VcsJob &)> started = command.started;
        QObject::connect(job, &VcsBase::VcsJob::started, job, [job, started] { started(*job); });
    }
    return job;
}

void TeamFoundationRunner::queue(VcsBase::VcsJob *job, const Finished &finished)
{
    VcsBase::JobQueue *queue = VcsBase::JobQueue::instance();
    if (!queue) {
        if (!m_ownQueue)
            m_ownQueue = std::make_unique<VcsBase::JobQueue>(nullptr, VcsBase::JobQueue::Private);
        queue = m_ownQueue.get();
    }
    if (finished)
        QObject::connect(job, &VcsBase::VcsJob::finished, job, [job, finished] { finished(*job); });
    queue->submit(job);
}

} // namespace Internal
} // namespace TeamFoundation
