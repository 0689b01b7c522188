#pragma once

#include "teamfoundationrunner.h"

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
// list; a command that fails through "@" fails with the client's own words, and is not
// started again with its command line. Only a command that asks for its command line
// (tf.exe's dialogs) gets one.
//
// One client is kept started, in the workspace the person works in: commands name their items
// by absolute paths, so a client started in a workspace's top level serves every command of
// that workspace. After each command of the person (a menu or locator command, a checkout
// step, a file operation) a client is started there for the next one. A command elsewhere gets
// a client started for it. A read the IDE makes on its own (the pending changes after a
// command) takes the kept client wherever it was started, and another is started in its
// place, so that such a read costs one process and the person's next command still finds its
// client.
class WarmRunner : public QObject, public TeamFoundationRunner
{
    Q_OBJECT
public:
    // After which commands a client is started ahead for the next one.
    enum KeepWarm { AfterPersonsCommands, AfterEveryCommand };

    explicit WarmRunner(KeepWarm keepWarm = AfterPersonsCommands, QObject *parent = nullptr);
    ~WarmRunner() override;

    Utils::SynchronousProcessResponse run(const TeamFoundationCommand &command) override;
    VcsBase::VcsJob *job(const TeamFoundationCommand &command) override;
    VcsBase::VcsJob::Starter starter(const QString &executable) override;

    // The line that hands 'arguments' to "tf @": the words separated by blanks, a word that
    // is empty or holds white space or a double quote in double quotes, with each double
    // quote in it doubled. False for a word with a line break, which no line can carry.
    // With 'outerWords' the client was started with words after the "@", and it replaces
    // "%1", "%2" ... anywhere in the line by them; a word holding '%' and a digit then goes
    // in double quotes that close just before the '%' and open again after it, so that the
    // line no longer holds the pair and the client still reads the word as it was.
    static bool standardInputLine(const QStringList &arguments, QString *line,
                                  bool outerWords = false);

private:
    // What a client is started for: a command elsewhere needs another one.
    class Start
    {
    public:
        bool operator==(const Start &other) const;
        QString executable;
        QString directory;
        QProcessEnvironment environment; // the IDE's own, when the command brings none
        bool inherited = false;          // the command brought none
    };

    // Where a command's client is started: in its workspace's top level when that is known.
    static Start startOf(const QString &executable, const QString &directory,
                         const QProcessEnvironment &environment);
    // The bytes of the line for the client, or empty when it cannot take the arguments so.
    static QByteArray encodedLine(const QStringList &arguments, QTextCodec *codec);
    Utils::TreeProcess *startClient(const Start &start);
    // The kept client when it fits 'start' (or, for a read of the IDE's own, any kept client
    // of the same executable and environment), else a new one; given 'line' and its input
    // closed. Without a line, a process that failed to start: the command fails, rather than
    // go on a command line with the login.
    Utils::TreeProcess *handOver(const Start &start, const QByteArray &line, bool anywhere,
                                 bool silent);
    void keepWarm(const Start &start);
    // The process of a job whose client is started in 'place'; 'keep' starts another there
    // for the next command.
    Utils::TreeProcess *startJob(const VcsBase::VcsJob &job, const QString &place, bool background,
                                 bool keep);

    const KeepWarm m_keepWarm;
    Utils::TreeProcess *m_warm = nullptr;
    Start m_warmStart;
};

} // namespace Internal
} // namespace TeamFoundation
