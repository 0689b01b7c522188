#pragma once

#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QProgressBar;
class QToolButton;
QT_END_NAMESPACE

namespace VcsBase {
class JobQueue;
}

namespace Workbench {

// The status bar's view of the version-control job queue: while a job runs, what runs and
// how many wait, a busy indicator and a Cancel button that ends the running job. Hidden
// while nothing runs.
class JobStatus : public QWidget
{
    Q_OBJECT
public:
    explicit JobStatus(VcsBase::JobQueue *queue, QWidget *parent = nullptr);

    QString text() const;

private:
    void update();

    VcsBase::JobQueue *m_queue;
    QLabel *m_label;
    QProgressBar *m_busy;
    QToolButton *m_cancel;
};

} // namespace Workbench
