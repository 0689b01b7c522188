#include "command.h"
#include "vcsoutputwindow.h"
#include "vcsprocess.h"

#include <utils/synchronousprocess.h>

namespace VcsBase {

Command::Command(const QString &binary, const QString &workingDirectory,
                 const QProcessEnvironment &environment)
    : m_binary(binary), m_workingDirectory(workingDirectory), m_environment(environment)
{
}

Command::~Command() = default;

void Command::addJob(const QStringList &arguments, int timeout, Utils::ExitCodeInterpreter *interpreter)
{
    m_jobs.append(Job{arguments, timeout, interpreter});
}

bool Command::run()
{
    bool ok = true;
    m_jobsRun = 0;
    m_lastExitCode = 0;
    for (const Job &job : qAsConst(m_jobs)) {
        ++m_jobsRun;
        const Utils::SynchronousProcessResponse response = Internal::runProcess(
            m_workingDirectory, m_binary, job.arguments, job.timeout,
            RunFlags::ShowStdOutInLogWindow, nullptr, m_environment, job.exitCodeInterpreter);
        m_lastExitCode = response.exitCode;
        if (!response.stdOut.isEmpty())
            emit output(response.stdOut);
        if (!response.stdErr.isEmpty())
            emit errorText(response.stdErr);
        if (response.result != Utils::SynchronousProcessResponse::Finished) {
            ok = false;
            break;
        }
    }
    emit finished(ok, m_lastExitCode);
    return ok;
}

} // namespace VcsBase
