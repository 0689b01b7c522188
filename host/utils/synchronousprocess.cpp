#include "synchronousprocess.h"

#include <QDir>

namespace Utils {

void SynchronousProcessResponse::clear()
{
    *this = SynchronousProcessResponse();
}

QString SynchronousProcessResponse::exitMessage(const QString &binary, int timeoutMs) const
{
    const QString name = QDir::toNativeSeparators(binary);
    switch (result) {
    case Finished:
        return QObject::tr("The command \"%1\" finished successfully.").arg(name);
    case FinishedError:
        return QObject::tr("The command \"%1\" terminated with exit code %2.").arg(name).arg(exitCode);
    case TerminatedAbnormally:
        return QObject::tr("The command \"%1\" terminated abnormally.").arg(name);
    case StartFailed:
        return QObject::tr("The command \"%1\" could not be started.").arg(name);
    case Hang:
        return QObject::tr("The command \"%1\" did not respond within the timeout limit (%2 ms).")
            .arg(name)
            .arg(timeoutMs);
    case Cancelled:
        return QObject::tr("The command \"%1\" was cancelled.").arg(name);
    }
    return QString();
}

SynchronousProcessResponse::Result ExitCodeInterpreter::interpretExitCode(int code) const
{
    return code == 0 ? SynchronousProcessResponse::Finished : SynchronousProcessResponse::FinishedError;
}

} // namespace Utils
