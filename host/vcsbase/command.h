#pragma once

#include "vcsjob.h"

#include <QObject>
#include <QPointer>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

namespace Utils {
class ExitCodeInterpreter;
}

namespace VcsBase {

class JobQueue;

// A sequence of runs of one executable in one working directory: the jobs run through the
// host's job queue one after another in the order added, each reporting in the output pane,
// and the first failure stops the sequence.
class Command : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        QStringList arguments;
        int timeout = -1; // milliseconds; zero or less: no limit
        Utils::ExitCodeInterpreter *exitCodeInterpreter = nullptr;
        // Asked when the job's turn comes; false skips it as done (see VcsJob::setCondition).
        std::function<bool()> condition;
    };

    Command(const QString &binary, const QString &workingDirectory,
            const QProcessEnvironment &environment);
    ~Command() override;

    void addJob(const QStringList &arguments, int timeout = -1,
                Utils::ExitCodeInterpreter *interpreter = nullptr,
                std::function<bool()> condition = {});
    // Hands each job a process started for it (see VcsJob::Starter).
    void setStarter(VcsJob::Starter starter) { m_starter = std::move(starter); }

    QString binaryPath() const { return m_binary; }
    QString workingDirectory() const { return m_workingDirectory; }
    QProcessEnvironment processEnvironment() const { return m_environment; }
    QList<Job> jobs() const { return m_jobs; }

    // Submits the jobs to the host's queue and returns; finished() follows. Without a host
    // queue (a test, a tool) the command brings its own.
    void start();
    // Starts and waits for the end, serving no user input meanwhile, for callers that must
    // have the answer before they go on; true when every job succeeded.
    bool run();
    bool isRunning() const { return m_running; }
    // Cancels the running job and those still waiting; the command finishes as failed.
    void cancel();

    int lastExitCode() const { return m_lastExitCode; }
    // How many jobs ran (the failing one included).
    int jobsRun() const { return m_jobsRun; }

signals:
    void output(const QString &text);
    void errorText(const QString &text);
    void finished(bool ok, int exitCode);

private:
    void jobFinished(VcsJob *job);
    void end(bool ok);

    QString m_binary;
    QString m_workingDirectory;
    QProcessEnvironment m_environment;
    QList<Job> m_jobs;
    VcsJob::Starter m_starter;
    QList<QPointer<VcsJob>> m_submitted;
    JobQueue *m_ownQueue = nullptr;
    bool m_running = false;
    int m_lastExitCode = 0;
    int m_jobsRun = 0;
};

} // namespace VcsBase
