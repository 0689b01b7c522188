#pragma once

#include "teamfoundationrunner.h"

#include <QHash>
#include <QObject>

namespace Utils {
class TreeProcess;
}

namespace TeamFoundation {
namespace Internal {

// Hides the client's start-up (a JVM and a server round trip for the cross-platform client):
// both real clients read commands from their standard input when started as "tf @", so a
// client is started ahead of need and handed the next command line, then its input is
// closed. Nothing but "@" is on its command line, so the login never shows in the process
// list. One client is kept started, for the executable, working directory and environment of
// the last command a person started (a menu or locator command, a checkout step), which is
// where the next one is most likely to run; a command elsewhere gets a client started for it,
// through "@" as well. A read the IDE makes on its own (the pending changes after a command)
// takes the kept client wherever that was started, and another is started in its place, so
// that such a read costs one process and the person's next command still finds its client.
// A client that does not take "@" is found out before a job of it runs,
// or when a command through "@" fails, and is from then on started with each command line,
// after one note in the pane.
class WarmRunner : public QObject, public TeamFoundationRunner
{
    Q_OBJECT
public:
    // After which commands a client is started ahead for the next one.
    enum KeepWarm { AfterJobs, AfterEveryCommand };

    explicit WarmRunner(KeepWarm keepWarm = AfterJobs, QObject *parent = nullptr);
    ~WarmRunner() override;

    Utils::SynchronousProcessResponse run(const TeamFoundationCommand &command) override;
    void submit(const TeamFoundationCommand &command, const Finished &finished) override;
    VcsBase::VcsJob::Starter starter(const QString &executable) override;

    // The line that hands 'arguments' to "tf @": the words separated by blanks, a word that
    // is empty or holds white space or a double quote in double quotes, with each double
    // quote in it doubled. False for a word with a line break, which no line can carry.
    static bool standardInputLine(const QStringList &arguments, QString *line);

private:
    // What a client is started for: a command elsewhere needs another one.
    class Start
    {
    public:
        bool operator==(const Start &other) const;
        QString executable;
        QString workingDirectory;
        QProcessEnvironment environment; // the IDE's own, when the command brings none
        bool inherited = false;          // the command brought none
    };
    // How an executable takes its commands.
    enum Channel { Untried, StandardInput, CommandLine };

    static Start startOf(const QString &executable, const QString &workingDirectory,
                         const QProcessEnvironment &environment);
    // The bytes of the line for the client, or empty when it cannot take the arguments so.
    static QByteArray encodedLine(const QStringList &arguments, QTextCodec *codec);
    Channel channel(const QString &executable) const;
    // Starts "executable @" ahead of need, for a command of 'start' to come.
    Utils::TreeProcess *startClient(const Start &start);
    // The kept client when it fits 'start', else a new one; given 'line' and its input closed.
    Utils::TreeProcess *handOver(const Start &start, const QByteArray &line);
    void keepWarm(const Start &start);
    // Learns whether the executable takes "@": a client given no command ends at once,
    // without an error when it does.
    void tryStandardInput(const Start &start, int timeOutMs);
    void useCommandLine(const QString &executable);
    Utils::TreeProcess *startJob(const VcsBase::VcsJob &job, bool background = false);

    const KeepWarm m_keepWarm;
    QHash<QString, Channel> m_channels;
    Utils::TreeProcess *m_warm = nullptr;
    Start m_warmStart;
};

} // namespace Internal
} // namespace TeamFoundation
