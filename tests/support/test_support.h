#pragma once
#include "platform/log.h"
#include "platform/services.h"
#include <algorithm>
#include <cstring>
#include <string>

// Starts the services once for the whole test binary.
inline void ensureServices() { [[maybe_unused]] static const bool started = (startServices(), true); }
inline void resetLog() {  // clears the Log between tests
    ensureServices();
    gLog->discard();
}
inline std::string logText() {  // the Log's complete lines, each ending in '\n'
    std::string text;
    for (int i = 0; i < gLog->lineTotal(); ++i) text.append(gLog->line(i), std::strcspn(gLog->line(i), "\n") + 1);
    return text;
}
