#pragma once

#include "runflags.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QTextCodec;
class QTimer;
QT_END_NAMESPACE

namespace Utils {
class ExitCodeInterpreter;
class TreeProcess;
} // namespace Utils

namespace VcsBase {

class JobQueue;

// One version-control command that runs without blocking the window: it waits its turn in
// the host's JobQueue, streams its output into the output pane as it comes (as the run flags
// of VcsBasePlugin::runVcs say), can be cancelled, and ends its whole process tree at a
// time-out or a cancel. Configure it, connect to finished(), submit it to the queue (it may
// start, and even finish, within submit()), and read the outcome when it emits finished();
// the queue deletes it afterwards.
class VcsJob : public QObject
{
    Q_OBJECT
public:
    enum State { Waiting, Running, Done };
    Q_ENUM(State)
    enum Result { Finished, FinishedError, StartFailed, Crashed, TimedOut, Cancelled };
    Q_ENUM(Result)

    // Hands the job a process already started for it (a client started ahead of need and
    // given its command), or null to let the job start the executable itself. The job takes
    // the process and logs the command line it was given, not the one the process runs.
    using Starter = std::function<Utils::TreeProcess *(const VcsJob &job)>;

    // How many characters of a stream that went into the pane the job keeps: its end.
    static const int TailCharacters = 256 * 1024;

    VcsJob(const QString &binary, const QStringList &arguments,
           const QString &workingDirectory = QString(), QObject *parent = nullptr);
    ~VcsJob() override;

    QString binary() const { return m_binary; }
    QStringList arguments() const { return m_arguments; }
    QString workingDirectory() const { return m_workingDirectory; }

    // Empty: the host's environment, inherited as it is.
    void setEnvironment(const QProcessEnvironment &environment) { m_environment = environment; }
    QProcessEnvironment environment() const { return m_environment; }
    // Zero or less: no limit, for commands where a person answers the client's own dialog.
    void setTimeOutMs(int timeOutMs) { m_timeOutMs = timeOutMs; }
    int timeOutMs() const { return m_timeOutMs; }
    void setFlags(RunFlags flags) { m_flags = flags; }
    RunFlags flags() const { return m_flags; }
    // Null: UTF-8. Either way CR LF becomes LF.
    void setCodec(QTextCodec *codec) { m_codec = codec; }
    QTextCodec *codec() const { return m_codec; }
    // What the status bar shows while the job runs, e.g. "tf checkin main.cpp".
    void setDescription(const QString &description) { m_description = description; }
    QString description() const;
    void setStarter(Starter starter) { m_starter = std::move(starter); }
    // Asked when the job's turn comes: false means that it is not needed any more (a job
    // before it found its work done) and it ends as succeeded, without running or logging.
    void setCondition(std::function<bool()> condition) { m_condition = std::move(condition); }
    // A read the IDE makes on its own, not a person's command: it waits behind the commands a
    // person started, and one running when a person starts a command is stopped and run again
    // after it (see JobQueue). It must therefore change nothing and may run twice.
    void setBackground(bool background) { m_background = background; }
    bool isBackground() const { return m_background; }
    // A job that needs something before its process can start (a password from the keychain)
    // gets it here when its turn has come: 'ready' is to be called once it is there, with an
    // empty text to go on, or with why the job cannot run, which ends it as StartFailed.
    using Ready = std::function<void(const QString &error)>;
    using Preparation = std::function<void(VcsJob &job, const Ready &ready)>;
    void setPreparation(Preparation preparation) { m_preparation = std::move(preparation); }
    // For a preparation: the arguments the process gets (the login, once it is known).
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    // Null: exit code 0 is success. The interpreter must outlive the job.
    void setExitCodeInterpreter(const Utils::ExitCodeInterpreter *interpreter);

    State state() const { return m_state; }
    Result result() const { return m_result; }
    bool succeeded() const { return m_state == Done && m_result == Finished; }
    // The exit code of a process that finished; -1 otherwise.
    int exitCode() const { return m_exitCode; }
    // The whole standard output, or, when it streamed into the pane, its last
    // TailCharacters characters.
    QString stdOut() const { return m_stdOut; }
    // How many characters of standard output came; zero when there was none.
    qint64 stdOutSize() const { return m_stdOutSize; }
    // Standard error, whole, or its end when it streamed into the pane.
    QString stdErr() const { return m_stdErr; }
    qint64 stdErrSize() const { return m_stdErrSize; }
    // The sentence the pane shows for how the job ended.
    QString exitMessage() const;

    // Ends a running job's process tree, or takes a waiting job out of its queue; the job
    // then finishes as Cancelled. Nothing happens to a job that is done.
    void cancel();
    // Stops a running background job so that it waits its turn again and starts anew (what
    // it would find is out of date, or a person's command goes first); true when it will,
    // false when it is no running background job, or ends anyway.
    bool interrupt();

signals:
    // Its turn has come; it may emit again when it was stopped for a person's command.
    void started();
    // The outcome is known and the pane has reported it.
    void finished();

private:
    friend class JobQueue;
    class Stream;

    void start(JobQueue *queue);
    void run();
    void putBack();
    void adopt(Utils::TreeProcess *process);
    void adoptStarted(Utils::TreeProcess *process);
    void startProcess();
    void readStdOut();
    void readStdErr();
    void readChannel(QProcess::ProcessChannel channel, Stream *stream);
    void processEnded();
    void processError();
    void timeOut();
    void finish(Result result);

    QString m_binary;
    QStringList m_arguments;
    QString m_workingDirectory;
    QProcessEnvironment m_environment;
    int m_timeOutMs = -1;
    RunFlags m_flags;
    QTextCodec *m_codec = nullptr;
    QString m_description;
    Starter m_starter;
    std::function<bool()> m_condition;
    Preparation m_preparation;
    bool m_background = false;
    bool m_interrupted = false;
    bool m_preparing = false;
    int m_runs = 0; // counts the starts, so that a preparation's late answer is recognised
    const Utils::ExitCodeInterpreter *m_interpreter = nullptr;

    QPointer<JobQueue> m_queue;
    Utils::TreeProcess *m_process = nullptr;
    QTimer *m_timer = nullptr;
    std::unique_ptr<Stream> m_out;
    std::unique_ptr<Stream> m_err;
    State m_state = Waiting;
    Result m_result = StartFailed;
    bool m_ending = false; // a cancel or time-out has killed the tree; its end is awaited
    int m_exitCode = -1;
    QString m_stdOut;
    QString m_stdErr;
    qint64 m_stdOutSize = 0;
    qint64 m_stdErrSize = 0;
};

} // namespace VcsBase
