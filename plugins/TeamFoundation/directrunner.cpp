#include "directrunner.h"

#include <vcsbase/vcsbaseplugin.h>

namespace TeamFoundation {
namespace Internal {

Utils::SynchronousProcessResponse DirectRunner::run(const TeamFoundationCommand &command)
{
    return VcsBase::VcsBasePlugin::runVcs(command.workingDirectory, command.executable,
                                          command.arguments, command.timeOutMs, command.flags,
                                          command.codec, command.environment);
}

VcsBase::VcsJob *DirectRunner::job(const TeamFoundationCommand &command)
{
    return createJob(command);
}

VcsBase::VcsJob::Starter DirectRunner::starter(const QString &executable)
{
    Q_UNUSED(executable)
    // No starter: each job starts its executable itself.
    return {};
}

} // namespace Internal
} // namespace TeamFoundation
