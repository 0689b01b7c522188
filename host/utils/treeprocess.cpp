#include "treeprocess.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace Utils {

TreeProcess::TreeProcess(QObject *parent) : QProcess(parent)
{
#ifdef Q_OS_WIN
    // Processes that the child starts belong to its job object as well. The child runs a
    // moment before it is assigned; a client does not start helpers that early.
    connect(this, &QProcess::started, this, [this] {
        m_job = CreateJobObjectW(nullptr, nullptr);
        if (!m_job)
            return;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        if (HANDLE process =
                OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(processId()))) {
            AssignProcessToJobObject(m_job, process);
            CloseHandle(process);
        }
    });
#endif
}

TreeProcess::~TreeProcess()
{
    if (state() != QProcess::NotRunning) {
        killTree();
        waitForFinished(5000);
    }
#ifdef Q_OS_WIN
    if (m_job)
        CloseHandle(m_job);
#endif
}

void TreeProcess::setupChildProcess()
{
#ifndef Q_OS_WIN
    // Runs in the child between fork and exec: the child's pid becomes its group's id, and
    // everything it starts inherits the group.
    ::setpgid(0, 0);
#endif
}

void TreeProcess::killTree()
{
    if (state() == QProcess::NotRunning)
        return;
#ifdef Q_OS_WIN
    if (m_job)
        TerminateJobObject(m_job, 1);
#else
    // While the child has not been reaped its pid, and so the group's id, cannot be reused.
    // A child whose start has not been reported yet may have started helpers already.
    if (processId() > 0)
        ::kill(-pid_t(processId()), SIGKILL);
#endif
    kill();
}

} // namespace Utils
