// Live page and cache counters of a server database, shown by the monitor
// view and read from the server's temporary monitoring table.
#pragma once

#include <cstdint>

#include "platform/streaming/Classes.h"

namespace dv {

// Plain fields, not published: the counters never go into a save file.
class TDBMonInfo : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TDBMonInfo"; }

    int32_t AllocatedPages = 0;
    int32_t CacheBuffers = 0;
    int32_t PageReads = 0;
    int32_t PageWrites = 0;
    int32_t PageFetches = 0;
    int32_t PageMarks = 0;
};

// The one set of counters of the run; created by InitMonitorInfo, never freed.
extern TDBMonInfo* DBMonInfo;

// Creates DBMonInfo with all counters 0 (once per process; a second call
// does nothing).
void InitMonitorInfo();

// The values shown after a statistics file load, before a refresh reads real
// counters: 1024 allocated pages, 2048 cache buffers, the rest 0.
void ResetMonitorInfo(TDBMonInfo& info);

}  // namespace dv
