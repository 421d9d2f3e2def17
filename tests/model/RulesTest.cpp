// The warning rules at both sides of every bound, with their marks: a rule
// that holds marks (when it is a marking rule), one that does not hold
// leaves an existing mark alone.
#include <cstdint>
#include <functional>
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
constexpr int32_t kI32Min = std::numeric_limits<int32_t>::min();

struct TableCase {
    std::string name;
    std::function<void(TRelation&)> set;
    bool expected;
};

struct IndexCase {
    std::string name;
    std::function<void(TIndex&, TRelation&)> set;
    bool expected;
};

struct DbCase {
    std::string name;
    std::function<void(TDatabaseInfo&)> set;
    bool expected;
};

class RulesTest : public RulesFixture {
protected:
    // Each case runs twice: on an unmarked table and on a marked one.
    void CheckTable(const char* rule, bool (*fn)(TRelation&), bool marks,
                    const std::vector<TableCase>& cases) {
        for (const auto& c : cases) {
            for (bool startMark : {false, true}) {
                OptionSettings = TOptionSettings{};
                DBInfo->PageSize = 4096;
                TRelation r(nullptr);
                c.set(r);
                r.Problem = startMark;
                EXPECT_EQ(fn(r), c.expected) << rule << ": " << c.name;
                EXPECT_EQ(r.Problem, startMark || (marks && c.expected))
                    << rule << " mark: " << c.name << " (marked before: " << startMark << ")";
            }
        }
    }

    void CheckIndex(const char* rule, bool (*fn)(TIndex&), bool marks,
                    const std::vector<IndexCase>& cases) {
        for (const auto& c : cases) {
            for (bool startMark : {false, true}) {
                OptionSettings = TOptionSettings{};
                DBInfo->PageSize = 4096;
                TRelation r(nullptr);
                TIndex i(nullptr);
                i.Relation = &r;
                c.set(i, r);
                i.Problem = startMark;
                r.Problem = startMark;
                EXPECT_EQ(fn(i), c.expected) << rule << ": " << c.name;
                const bool want = startMark || (marks && c.expected);
                EXPECT_EQ(i.Problem, want) << rule << " index mark: " << c.name;
                EXPECT_EQ(r.Problem, want) << rule << " table mark: " << c.name;
            }
        }
    }

    void CheckDb(const char* rule, bool (*fn)(const TDatabaseInfo&), const std::vector<DbCase>& cases) {
        for (const auto& c : cases) {
            OptionSettings = TOptionSettings{};
            TDatabaseInfo db(nullptr);
            db.PageSize = 4096;
            c.set(db);
            EXPECT_EQ(fn(db), c.expected) << rule << ": " << c.name;
        }
    }
};

// ---------------------------------------------------------------- tables

TEST_F(RulesTest, IsFillMismatch) {
    auto fill = [](int32_t avg, int32_t real) {
        return [=](TRelation& r) { r.AverageFill = avg; r.RealFill = real; };
    };
    CheckTable("IsFillMismatch", IsFillMismatch, false, {
        {"50 vs 60 (10 apart)", fill(50, 60), false},
        {"50 vs 61", fill(50, 61), true},
        {"61 vs 50", fill(61, 50), true},
        {"60 vs 50", fill(60, 50), false},
        {"extremes apart, no 32-bit wrap", fill(kI32Min, kI32Max), true},
        {"extremes equal", fill(kI32Max, kI32Max), false},
    });
}

TEST_F(RulesTest, HasMassDeletes) {
    auto t = [](int32_t maxVer, int64_t versions, int64_t records) {
        return [=](TRelation& r) { r.MaxVer = maxVer; r.Versions = versions; r.Records = records; };
    };
    CheckTable("HasMassDeletes", HasMassDeletes, false, {
        {"MaxVer 2", t(2, 100000, 100), false},
        {"versions equal to VersDeletes", t(1, 5000, 100), false},
        {"versions just above VersDeletes", t(1, 5001, 100), true},
        {"share exactly 10 %", t(1, 6000, 60000), false},
        {"share just above 10 %", t(1, 6000, 59999), true},
        {"beyond 2^31: share exactly 10 %", t(1, 3000000000LL, 30000000000LL), false},
        {"beyond 2^31: share above 10 %", t(1, 3000000000LL, 29999999999LL), true},
        {"versions and no records at all", t(1, 5001, 0), true},
    });
}

TEST_F(RulesTest, HasMassDeletesFollowsTheOptions) {
    TRelation r(nullptr);
    r.MaxVer = 1;
    r.Versions = 200;
    r.Records = 1000;   // 20 %
    EXPECT_FALSE(HasMassDeletes(r));
    OptionSettings.VersDeletes = 199;
    EXPECT_TRUE(HasMassDeletes(r));
    OptionSettings.DelPercent = 20;
    EXPECT_FALSE(HasMassDeletes(r));
}

TEST_F(RulesTest, IsEmptyTable) {
    auto t = [](int32_t pages, int64_t records, int64_t versions, int32_t pointerPage = 5) {
        return [=](TRelation& r) {
            r.DataPages = pages;
            r.Records = records;
            r.Versions = versions;
            r.PointerPage = pointerPage;
        };
    };
    CheckTable("IsEmptyTable", IsEmptyTable, false, {
        {"all zero", t(0, 0, 0), true},
        {"index statistics only: no data figures at all", t(0, 0, 0, 0), false},
        {"one page", t(1, 0, 0), false},
        {"one record", t(0, 1, 0), false},
        {"one version", t(0, 0, 1), false},
        {"sums that wrap to 0 in 64 bits are not 0", t(0, kI64Min, kI64Min), false},
        {"largest values", t(kI32Max, kI64Max, kI64Max), false},
        {"a sum of exactly 2^64 is not 0", t(2, kI64Max, kI64Max), false},
    });
}

TEST_F(RulesTest, IsIndexLargerThanData) {
    auto t = [](double size, double isize) {
        return [=](TRelation& r) { r.SizeMB = size; r.ISizeMB = isize; };
    };
    CheckTable("IsIndexLargerThanData", IsIndexLargerThanData, false, {
        {"10 MB of data is not above 10", t(10, 20), false},
        {"indices as big as the data", t(10.5, 10.5), true},
        {"indices just smaller", t(10.5, 10.49), false},
        {"indices bigger", t(64, 100), true},
    });
}

TEST_F(RulesTest, IsBlobFragmented) {
    // Page size 4096, 101 pages, record length 65.6 (100 bytes with the
    // overhead), full pages: capacity 4136.96, rounded 4137; 1.44 x 2872 =
    // 4135.68 is below it, 1.44 x 2873 = 4137.12 is not.
    auto t = [](int32_t pages, int64_t records, int64_t versions) {
        return [=](TRelation& r) {
            r.DataPages = pages;
            r.RecLen = 65.6;
            r.AverageFill = 100;
            r.Records = records;
            r.Versions = versions;
        };
    };
    CheckTable("IsBlobFragmented", IsBlobFragmented, true, {
        {"100 pages never", t(100, 0, 0), false},
        {"101 pages, 2872 records and versions", t(101, 2000, 872), true},
        {"101 pages, 2873 records and versions", t(101, 2000, 873), false},
        {"sum beyond 64 bits", t(101, kI64Max, kI64Max), false},
        {"capacity between 2^63 and 2^64", [](TRelation& r) {
             r.DataPages = kI32Max; r.RecLen = 65.6; r.VerLen = -85; r.AverageFill = kI32Max; r.Records = 1;
         }, true},
        {"no record length: no capacity", [](TRelation& r) { r.DataPages = 500; r.AverageFill = 100; }, false},
    });
}

TEST_F(RulesTest, HasLongVersions) {
    // Record length 82.8: 100 bytes with the overhead, limit 110 bytes.
    auto t = [](int64_t records, int64_t versions, double verLen) {
        return [=](TRelation& r) {
            r.Records = records;
            r.Versions = versions;
            r.RecLen = 82.8;
            r.VerLen = verLen;
        };
    };
    CheckTable("HasLongVersions", HasLongVersions, true, {
        {"version 110.01 bytes", t(10, 10, 92.81), true},
        {"version 109.99 bytes", t(10, 10, 92.79), false},
        {"no versions", t(10, 0, 500), false},
        {"no records", t(0, 10, 500), false},
    });
}

TEST_F(RulesTest, IsTableNearPageLimit) {
    // A = Ceil(2147483647 / PageSize x 17.476), band A - A div 5 .. A + A div 100.
    struct Band { int32_t pageSize, low, high; };
    for (const Band b : {Band{1024, 29319864, 37016327}, Band{4096, 7329967, 9254082},
                         Band{8192, 3664984, 4627041}, Band{16384, 1832492, 2313521}}) {
        auto t = [b](int32_t pages) {
            return [=](TRelation& r) { DBInfo->PageSize = b.pageSize; r.DataPages = pages; };
        };
        const std::string ps = std::to_string(b.pageSize);
        CheckTable("IsTableNearPageLimit", IsTableNearPageLimit, true, {
            {ps + ": one below the band", t(b.low - 1), false},
            {ps + ": low end", t(b.low), true},
            {ps + ": high end", t(b.high), true},
            {ps + ": one above the band", t(b.high + 1), false},
        });
    }
    CheckTable("IsTableNearPageLimit", IsTableNearPageLimit, true, {
        {"no page size", [](TRelation& r) { DBInfo->PageSize = 0; r.DataPages = 7329967; }, false},
    });
}

TEST_F(RulesTest, IsTableUnderfilled) {
    // 200000 / 4096 = 48.8: from 49 pages on.
    auto t = [](int32_t pages, int32_t fill, double recLen) {
        return [=](TRelation& r) { r.DataPages = pages; r.AverageFill = fill; r.RecLen = recLen; };
    };
    CheckTable("IsTableUnderfilled", IsTableUnderfilled, false, {
        {"48 pages", t(48, 10, 100), false},
        {"49 pages", t(49, 10, 100), true},
        {"fill 59 below 60", t(1000, 59, 100), true},
        {"fill 60 not below 60", t(1000, 60, 100), false},
        {"record length 24", t(1000, 10, 24), false},
        {"record length 24.01", t(1000, 10, 24.01), true},
        {"no page size", [](TRelation& r) { DBInfo->PageSize = 0; r.DataPages = 1000; r.RecLen = 100; }, false},
    });
}

TEST_F(RulesTest, HasManyVersions) {
    auto t = [](int32_t recVer, int64_t records, int64_t versions) {
        return [=](TRelation& r) {
            OptionSettings.RecVer = recVer;
            r.Records = records;
            r.Versions = versions;
        };
    };
    CheckTable("HasManyVersions", HasManyVersions, true, {
        {"100 records, 300 versions", t(3, 100, 300), false},
        {"100 records, 301 versions", t(3, 100, 301), true},
        {"99 records, 300 versions", t(3, 99, 300), true},
        {"beyond 2^31", t(3, 3000000000LL, 9000000003LL), true},
        {"beyond 2^31, at the limit", t(3, 3000000000LL, 9000000000LL), false},
        // RecVer 0 allows no back versions at all.
        {"RecVer 0, one version", t(0, 1000000, 1), true},
        {"RecVer 0, no versions", t(0, 0, 0), false},
        {"RecVer 0, no versions, records", t(0, 1000, 0), false},
    });
}

// ---------------------------------------------------------------- indices

TEST_F(RulesTest, IsUselessIndex) {
    auto t = [](int64_t nodes, int64_t uniques) {
        return [=](TIndex& i, TRelation&) { i.Nodes = nodes; i.Uniques = uniques; };
    };
    CheckIndex("IsUselessIndex", IsUselessIndex, true, {
        {"1000 nodes, one key", t(1000, 1), false},
        {"1001 nodes, one key", t(1001, 1), true},
        {"1001 nodes, two keys", t(1001, 2), false},
        {"5e9 nodes, one key", t(5000000000LL, 1), true},
    });
}

TEST_F(RulesTest, IsIndexMissingKeys) {
    auto t = [](uint8_t inactive, int64_t records, int64_t nodes) {
        return [=](TIndex& i, TRelation& r) { i.Inactive = inactive; r.Records = records; i.Nodes = nodes; };
    };
    CheckIndex("IsIndexMissingKeys", IsIndexMissingKeys, true, {
        {"101 records, 100 keys", t(0, 101, 100), true},
        {"100 records, 100 keys", t(0, 100, 100), false},
        {"inactive", t(1, 101, 100), false},
        {"beyond 2^31", t(0, 3000000000LL, 2999999999LL), true},
    });
    // An index without a table has nothing to compare with.
    TIndex lone(nullptr);
    lone.Nodes = -1;
    EXPECT_FALSE(IsIndexMissingKeys(lone));
    EXPECT_FALSE(lone.Problem);
}

TEST_F(RulesTest, HasManyDuplicates) {
    auto t = [](int64_t nodes, int64_t totalDup, int32_t keyTotalDup) {
        return [=](TIndex& i, TRelation&) {
            OptionSettings.KeyTotalDup = keyTotalDup;
            i.Nodes = nodes;
            i.TotalDup = totalDup;
        };
    };
    CheckIndex("HasManyDuplicates", HasManyDuplicates, true, {
        {"1000 nodes, 901 duplicates", t(1000, 901, 90), true},
        {"1000 nodes, 900 duplicates", t(1000, 900, 90), false},
        {"999 nodes never", t(999, 999, 90), false},
        {"all keys duplicate, limit above 100 %", t(1000, 1000, 200), true},
        {"one short of all, limit above 100 %", t(1000, 999, 200), false},
        {"5e9 nodes, limit 4.5e9 out of 32-bit reach", t(5000000000LL, kI32Max, 90), false},
        {"2.3e9 nodes, limit 2.07e9", t(2300000000LL, kI32Max, 90), true},
        {"5e9 nodes, 4.5e9 duplicates", t(5000000000LL, 4500000000LL, 90), false},
        {"5e9 nodes, one more than 4.5e9 duplicates", t(5000000000LL, 4500000001LL, 90), true},
    });
}

TEST_F(RulesTest, HasLongDuplicateChain) {
    auto t = [](int64_t nodes, int64_t maxDup) {
        return [=](TIndex& i, TRelation&) { i.Nodes = nodes; i.MaxDup = maxDup; };
    };
    CheckIndex("HasLongDuplicateChain", HasLongDuplicateChain, true, {
        {"1000 nodes, chain 300", t(1000, 300), false},
        {"1000 nodes, chain 301", t(1000, 301), true},
        {"999 nodes never", t(999, 999), false},
        {"1e10 nodes, chain 3e9", t(10000000000LL, 3000000000LL), false},
        {"1e10 nodes, chain one above 3e9", t(10000000000LL, 3000000001LL), true},
    });
}

TEST_F(RulesTest, IsIndexUnderfilled) {
    // 50000 / 4096 = 12.2: from 13 leaf pages on.
    auto t = [](int32_t leafs, int32_t fill) {
        return [=](TIndex& i, TRelation&) { i.Leafs = leafs; i.AverageFill = fill; };
    };
    CheckIndex("IsIndexUnderfilled", IsIndexUnderfilled, true, {
        {"12 leaf pages", t(12, 10), false},
        {"13 leaf pages", t(13, 10), true},
        {"fill 49 below 50", t(100, 49), true},
        {"fill 50 not below 50", t(100, 50), false},
        {"no page size", [](TIndex& i, TRelation&) { DBInfo->PageSize = 0; i.Leafs = 100; }, false},
    });
}

TEST_F(RulesTest, IsIndexTooDeep) {
    auto t = [](int32_t depth, int32_t limit) {
        return [=](TIndex& i, TRelation&) { OptionSettings.IndexDepth = limit; i.Depth = depth; };
    };
    CheckIndex("IsIndexTooDeep", IsIndexTooDeep, true, {
        {"depth 3", t(3, 3), false},
        {"depth 4", t(4, 3), true},
        {"depth 4, limit 4", t(4, 4), false},
    });
}

// ---------------------------------------------------------------- database

TEST_F(RulesTest, IsSnapshotBelowOIT) {
    auto t = [](int32_t ost, int32_t oit) { return [=](TDatabaseInfo& d) { d.OST = ost; d.OIT = oit; }; };
    CheckDb("IsSnapshotBelowOIT", IsSnapshotBelowOIT, {
        {"9 below 10", t(9, 10), true},
        {"equal", t(10, 10), false},
        {"above", t(11, 10), false},
    });
}

TEST_F(RulesTest, IsTipOverLimit) {
    // NxT / 4 / PageSize reaches 31999.5 (rounds to 32000) at 524279808 for 4096.
    auto t = [](int32_t nxt, int32_t pageSize, int16_t major, int16_t minor) {
        return [=](TDatabaseInfo& d) {
            d.NxT = nxt;
            d.PageSize = pageSize;
            d.ODSMajor = major;
            d.ODSMinor = minor;
        };
    };
    CheckDb("IsTipOverLimit", IsTipOverLimit, {
        {"just below 31999.5", t(524279807, 4096, 10, 0), false},
        {"exactly 31999.5", t(524279808, 4096, 10, 0), true},
        {"1024 bytes: just below", t(131069951, 1024, 9, 2), false},
        {"1024 bytes: exactly 31999.5", t(131069952, 1024, 9, 2), true},
        {"32000.5 rounds to 32000, still over", t(524296192, 4096, 10, 0), true},
        {"ODS 10.1 never", t(2000000000, 4096, 10, 1), false},
        {"ODS 11.2 never", t(2000000000, 4096, 11, 2), false},
        {"ODS 8.0", t(2000000000, 4096, 8, 0), true},
        {"no page size", t(2000000000, 0, 10, 0), false},
    });
}

TEST_F(RulesTest, IsNextTransactionHigh) {
    // 80 % of the engine's limit: 2^31 - 1 below ODS 12, 2^48 - 1 from it on.
    auto t = [](int64_t nxt, int16_t ods = 11) { return [=](TDatabaseInfo& d) { d.NxT = nxt; d.ODSMajor = ods; }; };
    CheckDb("IsNextTransactionHigh", IsNextTransactionHigh, {
        {"1717986917", t(1717986917), false},
        {"1717986918", t(1717986918), true},
        {"ODS 12, 1717986918", t(1717986918, 12), false},
        {"ODS 12, 3000000000", t(3000000000, 12), false},
        {"ODS 12, 225179981368524", t(225179981368524, 12), false},
        {"ODS 12, 225179981368525", t(225179981368525, 12), true},
        {"ODS 13, 225179981368525", t(225179981368525, 13), true},
    });
}

TEST_F(RulesTest, IsOitGapOverLimit) {
    auto t = [](int64_t nxt, int64_t oit, int16_t ods = 11) {
        return [=](TDatabaseInfo& d) { d.NxT = nxt; d.OIT = oit; d.ODSMajor = ods; };
    };
    CheckDb("IsOitGapOverLimit", IsOitGapOverLimit, {
        {"gap 262140", t(262150, 10), false},
        {"gap 262141", t(262151, 10), true},
        // Counters that passed 2^31: the 32-bit difference is the real gap.
        {"wrapped next, gap 201", t(kI32Min + 100, kI32Max - 100), false},
        {"wrapped next, gap 262141", t(kI32Min + 131070, kI32Max - 131070), true},
        {"32-bit: next 2999990010 minus 7 wraps", t(2999990010, 7), false},
        // 48-bit counters: the plain difference, also past 2^31 and 2^32.
        {"ODS 12: next 2999990010 minus 7", t(2999990010, 7, 12), true},
        {"ODS 12, gap 262140 past 2^32", t(5000262140, 5000000000, 12), false},
        {"ODS 12, gap 262141 past 2^32", t(5000262141, 5000000000, 12), true},
        {"ODS 13, gap of 2^32 + 1", t(4294967297, 0, 13), true},
    });
}

TEST_F(RulesTest, IsActiveTransactionOld) {
    auto t = [](int32_t avg, int32_t gap) {
        return [=](TDatabaseInfo& d) { d.AverageTran = avg; d.OAT = 1000; d.NxT = 1000 + gap; };
    };
    CheckDb("IsActiveTransactionOld", IsActiveTransactionOld, {
        {"199 a day never", t(199, 1000000), false},
        {"200 a day, gap 61 over 60", t(200, 61), true},
        {"200 a day, gap 60", t(200, 60), false},
        {"1000 a day, gap 300", t(1000, 300), false},
        {"1000 a day, gap 301", t(1000, 301), true},
        // 100000000 x 100 leaves 32 bits: the limit is 100000000, not a wrapped value.
        {"product beyond 32 bits, at the limit", [](TDatabaseInfo& d) {
             OptionSettings.ActiveTran = 100;
             d.AverageTran = 100000000; d.OAT = 0; d.NxT = 100000000; }, false},
        {"product beyond 32 bits, over the limit", [](TDatabaseInfo& d) {
             OptionSettings.ActiveTran = 100;
             d.AverageTran = 100000000; d.OAT = 0; d.NxT = 100000001; }, true},
        {"sweep instead: gap equal to sweep", [](TDatabaseInfo& d) {
             OptionSettings.ActSweep = true;
             d.AverageTran = 1000; d.Sweep = 20000; d.OAT = 5; d.NxT = 20005; }, false},
        {"sweep instead: gap over sweep", [](TDatabaseInfo& d) {
             OptionSettings.ActSweep = true;
             d.AverageTran = 1000; d.Sweep = 20000; d.OAT = 5; d.NxT = 20006; }, true},
        {"sweep instead still needs 200 a day", [](TDatabaseInfo& d) {
             OptionSettings.ActSweep = true;
             d.AverageTran = 199; d.Sweep = 20000; d.OAT = 5; d.NxT = 2000000; }, false},
    });
}

TEST_F(RulesTest, IsSweepGapExceeded) {
    auto t = [](int16_t major, bool fb152, int32_t sweep, int32_t avg, int32_t oat, int32_t ost) {
        return [=](TDatabaseInfo& d) {
            OptionSettings.FB152 = fb152;
            d.ODSMajor = major;
            d.Sweep = sweep;
            d.AverageTran = avg;
            d.OIT = 100;
            d.OAT = oat;
            d.OST = ost;
        };
    };
    CheckDb("IsSweepGapExceeded", IsSweepGapExceeded, {
        {"ODS 10: snapshot gap 20000", t(10, false, 20000, 1, 1000000, 20100), false},
        {"ODS 10: snapshot gap 20001", t(10, false, 20000, 1, 100, 20101), true},
        {"ODS 11: active gap 20000", t(11, false, 20000, 1, 20100, 1000000), false},
        {"ODS 11: active gap 20001", t(11, false, 20000, 1, 20101, 100), true},
        {"ODS 10 with FB152: active gap", t(10, true, 20000, 1, 20101, 100), true},
        {"ODS 10 with FB152: snapshot gap ignored", t(10, true, 20000, 1, 100, 1000000), false},
        {"sweep 0: against 500 a day, gap 500", t(10, false, 0, 500, 100, 600), false},
        {"sweep 0: against 500 a day, gap 501", t(10, false, 0, 500, 100, 601), true},
    });
}

TEST_F(RulesTest, IsOatGapWide) {
    auto t = [](int32_t activeGap, int32_t oit, int32_t ost) {
        return [=](TDatabaseInfo& d) {
            d.OAT = 10000;
            d.NxT = 10000 + activeGap;
            d.OIT = oit;
            d.OST = ost;
        };
    };
    CheckDb("IsOatGapWide", IsOatGapWide, {
        {"1001, older gap 501 (OIT newer)", t(1001, 9499, 100), true},
        {"1001, older gap 500 (OIT newer)", t(1001, 9500, 100), false},
        {"1001, older gap 501 (OST newer)", t(1001, 100, 9499), true},
        {"1001, older gap 500 (OST newer)", t(1001, 100, 9500), false},
        {"gap 1000 never", t(1000, 0, 0), false},
    });
}

}  // namespace
}  // namespace dv::test
