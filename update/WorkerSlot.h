// Progress of one download worker, guarded by UpdateManager::statusMutex.
#pragma once

#include <cstdint>
#include <string>

struct WorkerSlot
{
    std::wstring fileName; // empty while idle
    double fraction = 0.0;
    double speed = 0.0; // bytes per second over the last sample window
    int32_t doneKB = 0;
    int32_t totalKB = 0;
    int64_t lastSampleTime = 0; // steady clock, nanoseconds
    double lastSampleBytes = 0.0;
};
