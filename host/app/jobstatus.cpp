#include "jobstatus.h"

#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsjob.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace Workbench {

JobStatus::JobStatus(VcsBase::JobQueue *queue, QWidget *parent)
    : QWidget(parent), m_queue(queue), m_label(new QLabel), m_busy(new QProgressBar),
      m_cancel(new QToolButton)
{
    setObjectName(QStringLiteral("jobStatus"));
    m_label->setObjectName(QStringLiteral("jobLabel"));
    // Without a range the bar moves to and fro: the client gives no progress to show.
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedWidth(80);
    m_cancel->setObjectName(QStringLiteral("cancelJobButton"));
    m_cancel->setText(tr("Cancel"));
    m_cancel->setToolTip(tr("Ends the running command and every process it started"));
    auto layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_busy);
    layout->addWidget(m_cancel);
    connect(m_cancel, &QToolButton::clicked, this, [this] {
        // Once is enough: the job ends as soon as its process tree has.
        m_cancel->setEnabled(false);
        m_queue->cancelRunning();
    });
    connect(queue, &VcsBase::JobQueue::jobStarted, this, &JobStatus::update);
    connect(queue, &VcsBase::JobQueue::jobFinished, this, &JobStatus::update);
    connect(queue, &VcsBase::JobQueue::waitingCountChanged, this, &JobStatus::update);
    update();
}

QString JobStatus::text() const
{
    return m_label->text();
}

void JobStatus::update()
{
    VcsBase::VcsJob *job = m_queue->runningJob();
    setVisible(job);
    if (!job)
        return;
    QString text = tr("Running: %1").arg(job->description());
    if (const int waiting = m_queue->waitingCount())
        text += tr(" (%n more waiting)", nullptr, waiting);
    m_label->setText(text);
    m_cancel->setEnabled(job->state() == VcsBase::VcsJob::Running);
}

} // namespace Workbench
