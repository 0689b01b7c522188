#include "commandfile.h"
#include "teamfoundationrunner.h"
#include "warmrunner.h"

#include <utils/treeprocess.h>

#include <QPointer>
#include <QUuid>

namespace TeamFoundation {
namespace Internal {

namespace CommandFile {

QByteArray newSeparator()
{
    return "--tf-output-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "--";
}

QString separatorOption(const QByteArray &separator)
{
    return QStringLiteral("-outputSeparator:") + QString::fromLatin1(separator);
}

bool split(const QByteArray &output, const QByteArray &separator, int expected,
           QList<QByteArray> *parts)
{
    parts->clear();
    int from = 0;
    while (from < output.size()) {
        const int at = output.indexOf(separator, from);
        if (at < 0)
            break;
        parts->append(output.mid(from, at - from));
        from = at + separator.size();
        // The separator is printed as a line: "\n", or "\r\n" on Windows.
        if (output.mid(from, 2) == "\r\n")
            from += 2;
        else if (output.mid(from, 1) == "\n")
            from += 1;
        else
            break;
    }
    if (from != output.size() || parts->size() != expected) {
        parts->clear();
        return false;
    }
    return true;
}

} // namespace CommandFile

Utils::TreeProcess *TeamFoundationRunner::startCommandFile(const TeamFoundationCommand &command)
{
    auto process = new Utils::TreeProcess;
    if (!command.workingDirectory.isEmpty())
        process->setWorkingDirectory(command.workingDirectory);
    if (!command.environment.isEmpty())
        process->setProcessEnvironment(command.environment);
    process->start(command.executable, QStringList(QStringLiteral("@")) + command.arguments);
    return process;
}

bool TeamFoundationRunner::submitCommandFile(const TeamFoundationCommand &command,
                                             const QList<QStringList> &lines,
                                             const Finished &finished, Utils::TreeProcess *started)
{
    QByteArray input;
    for (const QStringList &arguments : lines) {
        QString line;
        // A word with a line break fits on no line: the file would run another command.
        if (!WarmRunner::standardInputLine(arguments, &line, !command.arguments.isEmpty()))
            return false;
        input += line.toUtf8() + '\n';
    }
    TeamFoundationCommand file = command;
    file.arguments.prepend(QStringLiteral("@"));
    VcsBase::VcsJob *job = createJob(file);
    QPointer<Utils::TreeProcess> ahead(started);
    job->setStarter([input, ahead, command](const VcsBase::VcsJob &) {
        // One that ended unasked (killed, out of memory) is of no use.
        Utils::TreeProcess *process = ahead && ahead->state() != QProcess::NotRunning
                                          ? ahead.data()
                                          : startCommandFile(command);
        if (process != ahead)
            delete ahead.data();
        process->write(input);
        process->closeWriteChannel();
        return process;
    });
    queue(job, finished);
    return true;
}

} // namespace Internal
} // namespace TeamFoundation
