#pragma once

#include "runflags.h"

#include <utils/synchronousprocess.h>

#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

QT_BEGIN_NAMESPACE
class QProcess;
class QTextCodec;
QT_END_NAMESPACE

namespace Utils {
class TreeProcess;
}

namespace VcsBase {

namespace Internal {

// Prepares a process that is about to start as the run flags say: its environment (an empty
// one means the host's own, inherited as it is), working directory and output channels.
void setUpProcess(QProcess *process, const QString &workingDirectory,
                  const QProcessEnvironment &environment, RunFlags flags);

// Runs 'binary' with 'arguments' (never through a shell) in 'workingDirectory' until it ends
// or 'timeOutMs' passes (zero or less: no limit), then kills it with everything it started.
// Reports in the output pane as 'flags' say. The caller waits in a BlockingWait: the window
// keeps painting, a run that lasts says what it waits for and can be cancelled (the result
// is then Cancelled, the process tree ended), and no other input is served meanwhile, with
// FullySynchronously or without. A 'starter' may hand over a process already started for
// the command instead (see VcsBasePlugin::ProcessStarter).
Utils::SynchronousProcessResponse
runProcess(const QString &workingDirectory, const QString &binary, const QStringList &arguments,
           int timeOutMs, RunFlags flags, QTextCodec *outputCodec,
           const QProcessEnvironment &environment,
           const Utils::ExitCodeInterpreter *interpreter = nullptr,
           const std::function<Utils::TreeProcess *()> &starter = {});

} // namespace Internal
} // namespace VcsBase
