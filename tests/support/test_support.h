#pragma once
#include "platform/log.h"
#include "platform/services.h"
#include <algorithm>
#include <string>

inline void ensureServices() {  // starts the services once for the whole test binary
    static const bool started = (startServices(), true);
    (void)started;
}
inline void resetLog() {  // clears the Log between tests
    ensureServices();
    gLog->used = gLog->pending = gLog->lineCount = 0;
}
inline std::string logText() {  // the Log's complete lines, each ending in '\n'
    std::string text;
    for (int i = 0; i < gLog->lineCount; ++i)
        text.append(gLog->lines[i], std::find(gLog->lines[i], gLog->text + Log::kTextSize, '\n') + 1);
    return text;
}
