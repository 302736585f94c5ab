#include "clock.h"

#include <chrono>

TimeInterval SystemClock::now() const
{
    // Seconds between 1970-01-01 and 2001-01-01.
    constexpr double referenceOffset = 978307200.0;
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::system_clock::now().time_since_epoch()).count()
        - referenceOffset;
}
