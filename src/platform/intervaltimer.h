#pragma once

#include <QObject>

// An interval timer of the window: Interval in milliseconds and Enabled.
// All start with interval 0 and enabled; interval 0 (or less) never ticks.
// Setting Enabled to the state it has, or Interval to the value it has,
// leaves a running count alone; a new interval while enabled restarts it.
// While enabled with an interval it ticks every interval, on the GUI thread.
class IntervalTimer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    int interval() const { return m_interval; }
    void setInterval(int ms);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Ticking: enabled with a positive interval.
    bool isCounting() const { return m_enabled && m_interval > 0; }

signals:
    void Timer();

protected:
    // Start counting a full interval from now, replacing any running count.
    virtual void startCount() = 0;
    virtual void stopCount() = 0;

private:
    int m_interval = 0;
    bool m_enabled = true;
};
