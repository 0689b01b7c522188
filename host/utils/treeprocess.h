#pragma once

#include <QProcess>

namespace Utils {

// A process that owns the tree of processes it starts: on POSIX the child leads a process
// group of its own, on Windows it runs in a job object. killTree() ends the child and every
// process it started, so that a client ended at a time-out or a cancel leaves no helper behind
// that goes on changing files. A plugin may start one ahead of need and hand it to a job.
class TreeProcess : public QProcess
{
    Q_OBJECT
public:
    explicit TreeProcess(QObject *parent = nullptr);
    // A tree still running is ended, not left behind.
    ~TreeProcess() override;

    // Ends the child and everything it started, at once and without asking them.
    void killTree();

protected:
    void setupChildProcess() override;

private:
#ifdef Q_OS_WIN
    void *m_job = nullptr; // the job object's handle
#endif
};

} // namespace Utils
