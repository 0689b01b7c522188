#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>

namespace Utils {
class ExitCodeInterpreter;
}

namespace VcsBase {

// A sequence of runs of one executable in one working directory: the jobs run one after
// another in the order added, each reporting in the output pane, and the first failure
// stops the sequence.
class Command : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        QStringList arguments;
        int timeout = -1; // milliseconds; zero or less: no limit
        Utils::ExitCodeInterpreter *exitCodeInterpreter = nullptr;
    };

    Command(const QString &binary, const QString &workingDirectory,
            const QProcessEnvironment &environment);
    ~Command() override;

    void addJob(const QStringList &arguments, int timeout = -1,
                Utils::ExitCodeInterpreter *interpreter = nullptr);

    QString binaryPath() const { return m_binary; }
    QString workingDirectory() const { return m_workingDirectory; }
    QProcessEnvironment processEnvironment() const { return m_environment; }
    QList<Job> jobs() const { return m_jobs; }

    // Runs the jobs, keeping the window painted meanwhile; true when every job succeeded.
    bool run();
    int lastExitCode() const { return m_lastExitCode; }
    // How many jobs ran (the failing one included).
    int jobsRun() const { return m_jobsRun; }

signals:
    void output(const QString &text);
    void errorText(const QString &text);
    void finished(bool ok, int exitCode);

private:
    QString m_binary;
    QString m_workingDirectory;
    QProcessEnvironment m_environment;
    QList<Job> m_jobs;
    int m_lastExitCode = 0;
    int m_jobsRun = 0;
};

} // namespace VcsBase
