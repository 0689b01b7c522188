#include "vcsjob.h"
#include "jobqueue.h"
#include "vcsoutputwindow.h"
#include "vcsprocess.h"

#include <utils/lineends.h>
#include <utils/synchronousprocess.h>
#include <utils/treeprocess.h>

#include <QDir>
#include <QFileInfo>
#include <QTextCodec>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace VcsBase {

namespace {
// Output beyond this many characters leaves freed memory worth handing back to the system.
const qint64 BigOutputCharacters = 4 * 1024 * 1024;
// How much of a process's output is read, decoded and shown at a time.
const qint64 ReadChunkBytes = 64 * 1024;

void keepEnd(QString *text, int characters)
{
    int cut = text->size() - characters;
    if (cut <= 0)
        return;
    if (text->at(cut).isLowSurrogate())
        ++cut;
    text->remove(0, cut);
}
} // namespace

// One output channel of the process: decoded as the bytes come, so that a character or a
// CR LF split between two reads comes out right; shown in the pane when the flags say so;
// kept whole, or only its end when it went into the pane.
class VcsJob::Stream
{
public:
    Stream(QTextCodec *codec, bool toPane, VcsOutputWindow::Kind kind, QString *kept, qint64 *size)
        : m_codec(codec ? codec : QTextCodec::codecForMib(106)), m_toPane(toPane), m_kind(kind),
          m_kept(kept), m_size(size)
    {
    }

    void add(const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            return;
        QString text = m_codec->toUnicode(bytes.constData(), bytes.size(), &m_state);
        if (m_pendingCr)
            text.prepend(QLatin1Char('\r'));
        // A CR at the end may be the first half of a CR LF; it waits for the next read.
        m_pendingCr = text.endsWith(QLatin1Char('\r'));
        if (m_pendingCr)
            text.chop(1);
        take(text);
    }

    void end()
    {
        QString text;
        if (m_pendingCr)
            text += QLatin1Char('\r');
        // The process ended inside a multi-byte character.
        if (m_state.remainingChars > 0)
            text += QChar(QChar::ReplacementCharacter);
        m_pendingCr = false;
        m_state.remainingChars = 0;
        take(text);
        if (m_toPane)
            keepEnd(m_kept, TailCharacters);
    }

private:
    void take(QString text)
    {
        Utils::dropCarriageReturns(&text);
        if (text.isEmpty())
            return;
        *m_size += text.size();
        *m_kept += text;
        if (m_toPane) {
            VcsOutputWindow::appendOutput(text, m_kind);
            // Trimmed in batches so that keeping the end stays linear.
            if (m_kept->size() > 2 * TailCharacters)
                keepEnd(m_kept, TailCharacters);
        }
    }

    QTextCodec *m_codec;
    QTextCodec::ConverterState m_state;
    bool m_pendingCr = false;
    bool m_toPane;
    VcsOutputWindow::Kind m_kind;
    QString *m_kept;
    qint64 *m_size;
};

VcsJob::VcsJob(const QString &binary, const QStringList &arguments, const QString &workingDirectory,
               QObject *parent)
    : QObject(parent), m_binary(binary), m_arguments(arguments),
      m_workingDirectory(workingDirectory)
{
}

VcsJob::~VcsJob()
{
    // A process still running ends its tree when it is deleted, unheard: the job is gone.
    if (m_process) {
        m_process->disconnect(this);
        delete m_process;
    }
#ifdef __GLIBC__
    if (m_stdOutSize + m_stdErrSize > BigOutputCharacters) {
        m_stdOut = QString();
        m_stdErr = QString();
        // The pieces of a big output went through the pane and were freed, but glibc keeps
        // freed memory for the process unless asked to hand it back.
        malloc_trim(0);
    }
#endif
}

QString VcsJob::description() const
{
    if (!m_description.isEmpty())
        return m_description;
    QString text = QFileInfo(m_binary).completeBaseName();
    if (!m_arguments.isEmpty())
        text += QLatin1Char(' ') + VcsOutputWindow::maskPassword(m_arguments.first());
    return text;
}

void VcsJob::setExitCodeInterpreter(const Utils::ExitCodeInterpreter *interpreter)
{
    m_interpreter = interpreter;
}

QString VcsJob::exitMessage() const
{
    // A person cancels what the status bar showed them, so the pane names that.
    if (m_result == Cancelled)
        return tr("\"%1\" was cancelled.").arg(description());
    Utils::SynchronousProcessResponse response;
    response.exitCode = m_exitCode;
    switch (m_result) {
    case Finished:
        response.result = Utils::SynchronousProcessResponse::Finished;
        break;
    case FinishedError:
        response.result = Utils::SynchronousProcessResponse::FinishedError;
        break;
    case StartFailed:
        response.result = Utils::SynchronousProcessResponse::StartFailed;
        break;
    case Cancelled:
        response.result = Utils::SynchronousProcessResponse::Cancelled;
        break;
    case Crashed:
        response.result = Utils::SynchronousProcessResponse::TerminatedAbnormally;
        break;
    case TimedOut:
        response.result = Utils::SynchronousProcessResponse::Hang;
        break;
    }
    return response.exitMessage(m_binary, m_timeOutMs);
}

void VcsJob::cancel()
{
    if (m_state == Waiting) {
        if (m_queue)
            m_queue->remove(this);
        m_state = Done;
        m_result = Cancelled;
        emit finished();
    } else if (m_state == Running && m_preparing) {
        // Nothing runs yet: there is no process to end.
        m_preparing = false;
        finish(Cancelled);
    } else if (m_state == Running && (!m_ending || m_interrupted)) {
        m_ending = true;
        m_interrupted = false;
        m_result = Cancelled;
        if (m_process)
            m_process->killTree();
    }
}

bool VcsJob::interrupt()
{
    if (!m_background || m_state != Running || (m_ending && !m_interrupted))
        return false;
    if (m_preparing) {
        putBack();
        return true;
    }
    m_interrupted = true;
    m_ending = true;
    if (m_process)
        m_process->killTree();
    return true;
}

void VcsJob::putBack()
{
    if (m_timer)
        m_timer->stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_out.reset();
    m_err.reset();
    m_stdOut.clear();
    m_stdErr.clear();
    m_stdOutSize = 0;
    m_stdErrSize = 0;
    m_exitCode = -1;
    m_result = StartFailed;
    m_ending = false;
    m_interrupted = false;
    m_preparing = false;
    m_state = Waiting;
    if (m_queue)
        m_queue->putBack(this);
}

void VcsJob::start(JobQueue *queue)
{
    m_queue = queue;
    if (m_condition && !m_condition()) {
        m_state = Done;
        m_result = Finished;
        m_exitCode = 0;
        emit finished();
        return;
    }
    m_state = Running;
    const int run = ++m_runs;
    m_out = std::make_unique<Stream>(m_codec, m_flags & RunFlag::ShowStdOutInLogWindow,
                                     VcsOutputWindow::Normal, &m_stdOut, &m_stdOutSize);
    m_err = std::make_unique<Stream>(m_codec, !(m_flags & RunFlag::SuppressStdErrInLogWindow),
                                     VcsOutputWindow::Error, &m_stdErr, &m_stdErrSize);
    emit started();
    // Cancelled, or stopped for a person's command, by whoever heard that it started.
    if (m_state != Running || m_runs != run || m_ending)
        return;
    if (!m_preparation) {
        this->run();
        return;
    }
    m_preparing = true;
    QPointer<VcsJob> self(this);
    m_preparation(*this, [self, run](const QString &error) {
        if (!self || self->m_runs != run || !self->m_preparing || self->m_state != Running)
            return;
        self->m_preparing = false;
        if (error.isEmpty()) {
            self->run();
            return;
        }
        self->m_stdErr = error;
        self->m_stdErrSize = error.size();
        if (!(self->m_flags & RunFlag::SuppressStdErrInLogWindow))
            VcsOutputWindow::appendError(error);
        self->finish(StartFailed);
    });
}

void VcsJob::run()
{
    if (!(m_flags & RunFlag::SuppressCommandLogging)) {
        VcsOutputWindow::appendCommand(m_workingDirectory, m_binary, m_arguments);
        // A job whose output goes to the pane is one a person started (a menu, the locator, a
        // view's action) to read that output. The IDE's own reads keep their output, and the
        // file operations that go with editing run at once, not as jobs; neither takes the
        // pane to the front.
        if (m_flags & RunFlag::ShowStdOutInLogWindow)
            VcsOutputWindow::popup();
    }
    if (m_timeOutMs > 0) {
        if (!m_timer) {
            m_timer = new QTimer(this);
            m_timer->setSingleShot(true);
            connect(m_timer, &QTimer::timeout, this, &VcsJob::timeOut);
        }
        m_timer->start(m_timeOutMs);
    }
    Utils::TreeProcess *given = m_starter ? m_starter(*this) : nullptr;
    if (given)
        adoptStarted(given);
    else
        startProcess();
}

void VcsJob::adopt(Utils::TreeProcess *process)
{
    m_process = process;
    process->setParent(this);
    connect(process, &QProcess::readyReadStandardOutput, this, &VcsJob::readStdOut);
    connect(process, &QProcess::readyReadStandardError, this, &VcsJob::readStdErr);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &VcsJob::processEnded);
    connect(process, &QProcess::errorOccurred, this, &VcsJob::processError);
}

void VcsJob::adoptStarted(Utils::TreeProcess *process)
{
    adopt(process);
    // What a process started ahead of time printed already, and whether it is still there.
    readStdOut();
    readStdErr();
    if (process->state() == QProcess::NotRunning) {
        // A process that never ran has an exit code of 0 to read, but did not succeed.
        const bool failedToStart = process->error() == QProcess::FailedToStart;
        QMetaObject::invokeMethod(
            this,
            [this, failedToStart] {
                if (m_state != Running)
                    return;
                if (failedToStart && m_interrupted)
                    putBack();
                else if (failedToStart)
                    finish(m_ending ? m_result : StartFailed);
                else
                    processEnded();
            },
            Qt::QueuedConnection);
    } else if (m_ending) {
        // Cancelled or timed out while the starter was at work.
        process->killTree();
    }
}

void VcsJob::startProcess()
{
    auto process = new Utils::TreeProcess;
    Internal::setUpProcess(process, m_workingDirectory, m_environment, m_flags);
    adopt(process);
    process->start(m_binary, m_arguments, QIODevice::ReadOnly);
    // A client that prompts sees the end of its input at once instead of waiting.
    process->closeWriteChannel();
}

void VcsJob::readStdOut()
{
    if (m_process && m_state == Running)
        readChannel(QProcess::StandardOutput, m_out.get());
}

void VcsJob::readStdErr()
{
    if (m_process && m_state == Running)
        readChannel(QProcess::StandardError, m_err.get());
}

void VcsJob::readChannel(QProcess::ProcessChannel channel, Stream *stream)
{
    // In pieces of a bounded size, however much waited: each piece is decoded, shown and
    // let go before the next is read, so that a client printing megabytes never has them
    // held at once.
    m_process->setReadChannel(channel);
    while (m_process->bytesAvailable() > 0)
        stream->add(m_process->read(ReadChunkBytes));
}

void VcsJob::processEnded()
{
    if (m_state != Running)
        return;
    readStdOut();
    readStdErr();
    if (m_interrupted) {
        // One that succeeded before it was stopped has its answer; any other runs again.
        if (m_process->exitStatus() != QProcess::NormalExit || m_process->exitCode() != 0) {
            putBack();
            return;
        }
        m_interrupted = false;
        m_ending = false;
    }
    if (m_ending) {
        finish(m_result);
    } else if (m_process->exitStatus() == QProcess::CrashExit) {
        finish(Crashed);
    } else {
        m_exitCode = m_process->exitCode();
        const bool ok = m_interpreter ? m_interpreter->interpretExitCode(m_exitCode) ==
                                            Utils::SynchronousProcessResponse::Finished
                                      : m_exitCode == 0;
        finish(ok ? Finished : FinishedError);
    }
}

void VcsJob::processError()
{
    // Only a failed start ends the job here; every other error is followed by finished().
    if (m_state == Running && m_process->error() == QProcess::FailedToStart &&
        m_process->state() == QProcess::NotRunning) {
        if (m_interrupted)
            putBack();
        else
            finish(m_ending ? m_result : StartFailed);
    }
}

void VcsJob::timeOut()
{
    if (m_state != Running || m_ending)
        return;
    m_ending = true;
    m_result = TimedOut;
    // Without a process yet the starter is still at work; what it hands over is ended.
    if (m_process)
        m_process->killTree();
}

void VcsJob::finish(Result result)
{
    m_state = Done;
    m_result = result;
    if (m_timer)
        m_timer->stop();
    if (m_process)
        m_process->disconnect(this);
    m_out->end();
    m_err->end();
    if (result != Finished && result != FinishedError)
        m_exitCode = -1;
    // A person cancelled: the pane says so whatever the flags, so the cancel is seen to work.
    if (result == Cancelled)
        VcsOutputWindow::appendWarning(exitMessage());
    else if (result == Finished && (m_flags & RunFlag::ShowSuccessMessage))
        VcsOutputWindow::appendMessage(exitMessage());
    else if (result != Finished && !(m_flags & RunFlag::SuppressFailMessageInLogWindow))
        VcsOutputWindow::appendError(exitMessage());
    emit finished();
}

} // namespace VcsBase
