#include "heartbeat.h"

namespace Workbench {

Heartbeat::Heartbeat(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &Heartbeat::beat);
    m_clock.start();
    m_timer.start();
}

void Heartbeat::count(qint64 now)
{
    const qint64 stall = now - m_last - IntervalMs;
    m_last = now;
    if (stall <= 0)
        return;
    m_stalls.longestMs = qMax(m_stalls.longestMs, stall);
    if (stall > CountedStallMs)
        m_stalls.totalMs += stall;
}

void Heartbeat::beat()
{
    count(m_clock.elapsed());
}

Heartbeat::Stalls Heartbeat::take()
{
    // The time since the last beat is a stall as well when it is long: whoever asks may have
    // held the thread until now.
    const qint64 now = m_clock.elapsed();
    if (now - m_last > IntervalMs)
        count(now);
    const Stalls stalls = m_stalls;
    m_stalls = Stalls();
    return stalls;
}

} // namespace Workbench
