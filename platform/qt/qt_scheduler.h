#pragma once

#include "scheduler.h"

#include <QObject>

// Delayed calls on Qt's timers; tasks still pending die with the scheduler.
class QtScheduler final : public Scheduler
{
public:
    void schedule(std::chrono::milliseconds delay, std::function<void()> task) override;

private:
    QObject m_context;
};
