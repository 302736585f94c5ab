#pragma once

#include "clip_item.h"

// Where "now" comes from, so that tests can fix it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual TimeInterval now() const = 0;
};

class SystemClock final : public Clock
{
public:
    TimeInterval now() const override;
};
