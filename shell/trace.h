#pragma once

// Timing marks for the benchmark scripts: with TAVORINDLE_TRACE=1 each mark
// prints "tavorindle-trace <what> <microseconds since the epoch>" on
// standard error, so that a script can line them up with its own clock.
namespace Trace {

bool enabled();
void mark(const char *what);

} // namespace Trace
