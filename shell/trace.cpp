#include "trace.h"

#include <QtGlobal>

#include <chrono>
#include <cstdio>

namespace Trace {

bool enabled()
{
    static const bool on = qEnvironmentVariableIntValue("TAVORINDLE_TRACE") == 1;
    return on;
}

void mark(const char *what)
{
    if (!enabled())
        return;
    using namespace std::chrono;
    const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    std::fprintf(stderr, "tavorindle-trace %s %lld\n", what, static_cast<long long>(now.count()));
    std::fflush(stderr);
}

} // namespace Trace
