// Estimates: exact products, rounding halves to even, 64-bit results, and
// the answers chosen where a save file can bring a divisor to 0.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/rules.h"
#include "tests/model/RulesTestSupport.h"

namespace dv::test {
namespace {

constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();
constexpr int32_t kI32Max = std::numeric_limits<int32_t>::max();

using EstimatesTest = RulesFixture;

TEST_F(EstimatesTest, CalcSelectivity) {
    struct Case { int64_t nodes; int32_t totalDup; double expected; };
    const std::vector<Case> cases = {
        {1000, 0, 0.001},
        {1000, 999, 1.0},
        {1000, 1000, 0.0},
        {1000, 1001, 0.0},
        {0, 0, 0.0},
        {5000000000LL, 0, 2e-10},
        {kI64Min, 1, 0.0},            // no overflow below the 64-bit range
        {kI64Max, -1, 1.0 / 9223372036854775808.0},
    };
    for (const Case& c : cases) {
        index.Nodes = c.nodes;
        index.TotalDup = c.totalDup;
        EXPECT_DOUBLE_EQ(CalcSelectivity(index), c.expected)
            << "nodes " << c.nodes << ", duplicates " << c.totalDup;
    }
    EXPECT_FALSE(index.Problem);
}

TEST_F(EstimatesTest, IndexStatsDiff) {
    struct Case { float stats, sel; int32_t expected; bool marks; };
    const std::vector<Case> cases = {
        {0.01f, 0.012f, 17, true},
        {0.012f, 0.01f, 17, true},
        {0.9f, 1.0f, 10, false},          // 10.0000024: not above 10
        {0.89f, 1.0f, 11, true},
        {0.1f, 0.11f, 9, false},
        {87.5f, 100.0f, 12, true},        // 12.5: halves to even
        {86.5f, 100.0f, 14, true},        // 13.5
        {0.5f, 0.5f, 0, false},
        {0.0f, 0.0f, 0, false},           // no larger value to measure against
        {-1.0f, 0.0f, 0, false},
        {-3e38f, 1.0f, kI32Max, true},    // clamped, never an inf or overflowing conversion
    };
    for (const Case& c : cases) {
        for (bool startMark : {false, true}) {
            index.Problem = startMark;
            table.Problem = startMark;
            index.Stats = c.stats;
            index.Sel = c.sel;
            EXPECT_EQ(IndexStatsDiff(index), c.expected) << "Stats " << c.stats << ", Sel " << c.sel;
            EXPECT_EQ(index.Problem, startMark || c.marks) << "Stats " << c.stats << ", Sel " << c.sel;
            EXPECT_EQ(table.Problem, startMark || c.marks) << "Stats " << c.stats << ", Sel " << c.sel;
        }
    }
}

TEST_F(EstimatesTest, EstimateRecordCapacity) {
    struct Case {
        std::string name;
        int32_t pageSize, dataPages, fill;
        double recLen, verLen;
        int64_t expected;
    };
    const std::vector<Case> cases = {
        {"4096 x 101 / 100 bytes, full", 4096, 101, 100, 65.6, 0, 4137},     // 4136.96
        {"half full", 4096, 101, 50, 65.6, 0, 2068},                         // 2068.48
        {"version length counts", 4096, 100, 100, 32.8, 32.8, 4096},         // 100 bytes a record
        {"no record length", 4096, 101, 100, 0, 0, 0},
        {"negative record length", 4096, 101, 100, -5, 0, 0},
        {"16384 x 2^28 pages: beyond 32 bits", 16384, 268435456, 100, 10, 0, 99055101601},
        {"largest product of page size and pages", kI32Max, kI32Max, 100, 1000, 0, 4458319812579679},
        {"between 2^63 and 2^64 clamps", kI32Max, kI32Max, 10000, 0.25, 0, kI64Max},
        {"version length that cancels the record: divisor 0", 4096, 101, 100, 10, -44.4, 0},
        {"divisor below 0", 4096, 101, 100, 10, -100, 0},
        {"no page size", 0, 101, 100, 65.6, 0, 0},
    };
    for (const Case& c : cases) {
        DBInfo->PageSize = c.pageSize;
        table.DataPages = c.dataPages;
        table.AverageFill = c.fill;
        table.RecLen = c.recLen;
        table.VerLen = c.verLen;
        EXPECT_EQ(EstimateRecordCapacity(table), c.expected) << c.name;
    }
    EXPECT_FALSE(table.Problem);
}

TEST_F(EstimatesTest, EstimateDataPages) {
    struct Case {
        std::string name;
        int32_t pageSize;
        int64_t records, versions;
        double recLen, verLen;
        int64_t expected;
    };
    const std::vector<Case> cases = {
        // 14.8 + 17.2 = 32 bytes a record.
        {"4096 records of 32 bytes", 4096, 4096, 0, 14.8, 0, 32},
        {"half a page rounds to even (0.5)", 4096, 64, 0, 14.8, 0, 0},
        {"one and a half pages rounds to even (2)", 4096, 192, 0, 14.8, 0, 2},
        // Version bytes are rounded on their own: 17.5 -> 18, then
        // (18 + 17.5) / 1 = 35.5 -> 36; rounding only the total would give 35.
        {"version bytes rounded first", 1, 1, 1, 0.3, 0.3, 36},
        {"beyond 2^31 records, tie to even", 4096, 4294967296LL + 64, 0, 14.8, 0, 33554432},
        {"beyond 2^31 records, other tie", 4096, 4294967296LL + 192, 0, 14.8, 0, 33554434},
        {"absurd sizes clamp", 1, kI64Max, kI64Max, 1e300, 1e300, kI64Max},
        {"no page size", 0, 4096, 0, 14.8, 0, 0},
    };
    for (const Case& c : cases) {
        DBInfo->PageSize = c.pageSize;
        table.Records = c.records;
        table.Versions = c.versions;
        table.RecLen = c.recLen;
        table.VerLen = c.verLen;
        EXPECT_EQ(EstimateDataPages(table), c.expected) << c.name;
    }
}

TEST_F(EstimatesTest, EstimateRealFill) {
    struct Case {
        std::string name;
        int32_t dataPages;
        int64_t records;
        int32_t expected;
    };
    // Page size 4096, 32-byte records: 128 records a page.
    const std::vector<Case> cases = {
        {"125 of 200 pages: 62.5 gives 62", 200, 125 * 128, 62},
        {"127 of 200 pages: 63.5 gives 64", 200, 127 * 128, 64},
        {"full", 100, 100 * 128, 100},
        {"no data pages", 0, 1000, 0},
        {"negative data pages", -5, 1000, 0},
        {"far beyond 32 bits clamps", 1, 1000000000000000LL, kI32Max},
        {"between 2^31 and 2^32 clamps", 1, 28600000LL * 128, kI32Max},
    };
    for (const Case& c : cases) {
        table.DataPages = c.dataPages;
        table.Records = c.records;
        table.RecLen = 14.8;
        EXPECT_EQ(EstimateRealFill(table), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace dv::test
