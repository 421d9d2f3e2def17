#include "model/moninfo.h"

namespace dv {

TDBMonInfo* DBMonInfo = nullptr;

void InitMonitorInfo() {
    if (!DBMonInfo) DBMonInfo = new TDBMonInfo(nullptr);
}

void ResetMonitorInfo(TDBMonInfo& info) {
    info.AllocatedPages = 1024;
    info.CacheBuffers = 2048;
    info.PageReads = 0;
    info.PageWrites = 0;
    info.PageFetches = 0;
    info.PageMarks = 0;
}

}  // namespace dv
