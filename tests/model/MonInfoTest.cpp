// Live counters: zeros until the first file load, then the reset values
// whatever a refresh had read.
#include <gtest/gtest.h>

#include "model/moninfo.h"

namespace dv::test {
namespace {

TEST(MonInfoTest, StartsAtZeroAndResetsToTheFileLoadValues) {
    TDBMonInfo fresh(nullptr);
    EXPECT_EQ(fresh.AllocatedPages, 0);
    EXPECT_EQ(fresh.CacheBuffers, 0);
    EXPECT_EQ(fresh.PageReads, 0);
    EXPECT_EQ(fresh.PageWrites, 0);
    EXPECT_EQ(fresh.PageFetches, 0);
    EXPECT_EQ(fresh.PageMarks, 0);

    // As after a refresh from a server.
    fresh.AllocatedPages = 99999;
    fresh.CacheBuffers = 75;
    fresh.PageReads = 1;
    fresh.PageWrites = 2;
    fresh.PageFetches = 3;
    fresh.PageMarks = 4;
    ResetMonitorInfo(fresh);
    EXPECT_EQ(fresh.AllocatedPages, 1024);
    EXPECT_EQ(fresh.CacheBuffers, 2048);
    EXPECT_EQ(fresh.PageReads, 0);
    EXPECT_EQ(fresh.PageWrites, 0);
    EXPECT_EQ(fresh.PageFetches, 0);
    EXPECT_EQ(fresh.PageMarks, 0);
}

TEST(MonInfoTest, OneGlobalInstance) {
    InitMonitorInfo();
    TDBMonInfo* first = DBMonInfo;
    ASSERT_NE(first, nullptr);
    InitMonitorInfo();
    EXPECT_EQ(DBMonInfo, first);
    EXPECT_EQ(DBMonInfo->Owner(), nullptr);
    // Plain fields, never published: nothing of them goes into a save file.
    EXPECT_EQ(DBMonInfo->Props().size(), TComponent(nullptr).Props().size());
}

}  // namespace
}  // namespace dv::test
