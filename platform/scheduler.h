#pragma once

#include <chrono>
#include <functional>

// Runs a task on the GUI thread once a delay has passed. The real one sits
// on Qt's timers; tests use a manual one that advances virtual time.
class Scheduler
{
public:
    virtual ~Scheduler() = default;
    virtual void schedule(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};
