#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace Workbench {

// Measures how long the GUI thread was kept from serving the window: a timer beats every
// IntervalMs; a beat that comes later than that after the one before stalled for the
// difference. A wait that runs an event loop of its own (a modal progress) lets the beats
// go on and is no stall; a blocked thread is.
class Heartbeat : public QObject
{
    Q_OBJECT
public:
    static const int IntervalMs = 20;
    // Stalls longer than this are summed: shorter ones are the system's own jitter.
    static const int CountedStallMs = 50;

    class Stalls
    {
    public:
        qint64 longestMs = 0;
        qint64 totalMs = 0; // of the stalls longer than CountedStallMs
    };

    explicit Heartbeat(QObject *parent = nullptr);

    // The stalls since the previous take() (or since the start), counting anew from now.
    Stalls take();

private:
    void beat();
    void count(qint64 now);

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    Stalls m_stalls;
};

} // namespace Workbench
