#pragma once

#include <utils/synchronousprocess.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsjob.h>

#include <QProcessEnvironment>
#include <QStringList>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QTextCodec;
QT_END_NAMESPACE

namespace Utils {
class TreeProcess;
}

namespace TeamFoundation {
namespace Internal {

// One run of tf or tfpt as the client built it. A runner changes nothing of it; it only
// chooses how the process comes to be.
class TeamFoundationCommand
{
public:
    QString executable;
    QStringList arguments; // the login, when one is set, last
    QString workingDirectory;
    QProcessEnvironment environment; // empty: the IDE's own
    QTextCodec *codec = nullptr;     // how the client's output is decoded; null: UTF-8
    int timeOutMs = 0;               // zero or less: no limit
    VcsBase::RunFlags flags;
    QString description;             // what the status bar shows while it runs as a job
    // A read the IDE makes on its own, not a person's command. It names its items by absolute
    // paths, so it may run in any directory.
    bool background = false;
    // The top level of the workspace the command works in, when known. Commands name their
    // items by absolute paths, so a client started there serves every command of the workspace.
    QString topLevel;
    // Started with its command line instead of being handed to a client started as "tf @":
    // tf.exe shows its own dialogs only then. The login, when set, shows in the process list.
    bool commandLine = false;
    // Exit code 1 counts as done: the client changed what it could and listed the rest on its
    // standard error.
    bool partialSuccess = false;
    // Hears when the command's turn has come and it starts (for a job, later than submit();
    // again when it was stopped for a person's command and starts anew).
    std::function<void(VcsBase::VcsJob &job)> started;
    // For a job: what must be there before its process starts (the password), as a step of
    // its turn; it may set the job's arguments.
    VcsBase::VcsJob::Preparation prepare;
};

// How the client's commands reach a process: every run of the plugin goes through one, and
// the host runs and shows them (runVcs for what the IDE waits for, its job queue for the
// rest). DirectRunner starts the executable with the command line; WarmRunner hands the
// command line to a client started ahead of need as "tf @", unless the command asks to be
// started with its command line.
class TeamFoundationRunner
{
public:
    // Hears of a job's end, also of one cancelled while it waited.
    using Finished = std::function<void(const VcsBase::VcsJob &job)>;

    virtual ~TeamFoundationRunner();

    // Runs the command at once, whatever jobs run or wait, and returns when it has ended.
    virtual Utils::SynchronousProcessResponse run(const TeamFoundationCommand &command) = 0;
    // Builds the command's job as this runner starts its processes; nothing runs until the
    // caller queues it (queue()), and the caller owns it until then.
    virtual VcsBase::VcsJob *job(const TeamFoundationCommand &command) = 0;
    // Queues 'job' in the host's queue, or without one (a tool, a test) in the runner's own,
    // and returns; 'finished' hears of its end. The queue owns the job.
    void queue(VcsBase::VcsJob *job, const Finished &finished = {});
    // Builds the command's job and queues it.
    void submit(const TeamFoundationCommand &command, const Finished &finished)
    {
        queue(job(command), finished);
    }
    // How the jobs of a host Command (the checkout) that runs 'executable' start their
    // processes.
    virtual VcsBase::VcsJob::Starter starter(const QString &executable) = 0;

    // Queues one client that runs every line of 'lines' in turn, as a job: "EXECUTABLE @"
    // followed by the command's arguments (options of the whole file, such as
    // -outputSeparator), the lines on its standard input (see CommandFile). False, queueing
    // nothing, when a word holds a line break, which no line can carry.
    // 'started', when given and still running, is a client that startCommandFile() started
    // for this command ahead of its lines; the job takes it.
    bool submitCommandFile(const TeamFoundationCommand &command, const QList<QStringList> &lines,
                           const Finished &finished, Utils::TreeProcess *started = nullptr);
    // Starts the client of a command file before its lines are known, so that its start-up
    // passes while what the lines need is still being read. The caller owns it until it hands
    // it to submitCommandFile().
    static Utils::TreeProcess *startCommandFile(const TeamFoundationCommand &command);

protected:
    static VcsBase::VcsJob *createJob(const TeamFoundationCommand &command);

private:
    std::unique_ptr<VcsBase::JobQueue> m_ownQueue;
};

} // namespace Internal
} // namespace TeamFoundation
