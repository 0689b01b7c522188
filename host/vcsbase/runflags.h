#pragma once

#include <QFlags>
#include <QMetaType>

namespace VcsBase {

// How a run of a version-control executable reports in the output pane and waits: the one
// vocabulary of VcsBasePlugin::runVcs, the queue's VcsJob and the plugins' runners.
enum class RunFlag : unsigned {
    ShowStdOutInLogWindow = 0x1,
    MergeOutputChannels = 0x2,
    SshPasswordPrompt = 0x4,
    SuppressStdErrInLogWindow = 0x8,
    SuppressFailMessageInLogWindow = 0x10,
    SuppressCommandLogging = 0x20,
    ShowSuccessMessage = 0x40,
    ForceCLocale = 0x80,
    // Asked for by callers whose contract needs the answer before they return; every
    // synchronous run waits alike (input held back, a progress after a moment), so it now
    // only says so. Means nothing to a job, which never waits.
    FullySynchronously = 0x100,
    ExpectRepoChanges = 0x200
};
Q_DECLARE_FLAGS(RunFlags, RunFlag)

} // namespace VcsBase

Q_DECLARE_OPERATORS_FOR_FLAGS(VcsBase::RunFlags)
Q_DECLARE_METATYPE(VcsBase::RunFlags)
