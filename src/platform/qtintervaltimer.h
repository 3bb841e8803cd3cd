#pragma once

#include "intervaltimer.h"

#include <QTimer>

// The interval timer on a precise QTimer: the default coarse timer may be
// 5 % late, which the poll cycle's 20 ms steps cannot afford.
class QtIntervalTimer : public IntervalTimer
{
    Q_OBJECT

public:
    explicit QtIntervalTimer(QObject *parent = nullptr);

protected:
    void startCount() override;
    void stopCount() override;

private:
    QTimer m_timer;
};
