// The ten problem lists computed from hand-made models: membership at the
// bounds of each rule, model order, the options that switch a list off, and
// the marks asking the rules leaves behind.
#include <gtest/gtest.h>

#include <functional>

#include "model/problems.h"
#include "tests/support/TestModel.h"

namespace dv::test {
namespace {

class ProblemListsTest : public DbInfoModelTest {};

TEST_F(ProblemListsTest, EachListHoldsItsObjectsInModelOrderAndMarksThem) {
    AddOneOfEachProblem();
    AddTable("A_EMPTY", 0, 0);
    const TProblemLists l = ComputeProblemLists(*DBInfo);
    auto tables = [](const std::vector<TRelation*>& v) {
        std::vector<std::string> out;
        for (TRelation* r : v) out.push_back(r->TableName);
        return out;
    };
    auto indices = [](const std::vector<TIndex*>& v) {
        std::vector<std::string> out;
        for (TIndex* i : v) out.push_back(i->IndexName);
        return out;
    };
    using S = std::vector<std::string>;
    EXPECT_EQ(tables(l.FragmentedTables), S{"FRAG"});
    EXPECT_EQ(tables(l.VersionedTables), S{"VERS"});
    EXPECT_EQ(tables(l.TablesFragmentedWithBlobs), S{"BLOB"});
    EXPECT_EQ(tables(l.MassiveDeletes), S{"MASS"});
    EXPECT_EQ(tables(l.VeryBigTables), S{"BIG"});
    EXPECT_EQ(tables(l.TablesWithNoRecords), (S{"EMPTY", "A_EMPTY"}));
    EXPECT_EQ(indices(l.DeepIndices), S{"IDX_DEEP"});
    EXPECT_EQ(indices(l.BadIndices), (S{"IDX_BAD", "IDX_USELESS"}));
    EXPECT_EQ(indices(l.UselessIndices), S{"IDX_USELESS"});
    EXPECT_EQ(indices(l.BrokenIndices), S{"IDX_BROKEN"});
    EXPECT_TRUE(DBInfo->Relations[1]->Problem);   // VERS
    EXPECT_TRUE(DBInfo->Indices[3]->Problem);     // IDX_BROKEN
}

TEST_F(ProblemListsTest, MembershipAtTheBounds) {
    struct Case {
        const char* name;
        std::function<void()> build;
        std::function<size_t(const TProblemLists&)> size;
        size_t expected;
    };
    auto table = [this](int64_t records, int32_t pages) { return AddTable("T", records, pages); };
    const Case cases[] = {
        {"24 pages at 8 KB are not fragmented", [&] { table(1000, 24)->AverageFill = 10; },
         [](const TProblemLists& l) { return l.FragmentedTables.size(); }, 0},
        {"25 pages at 8 KB are", [&] { table(1000, 25)->AverageFill = 10; },
         [](const TProblemLists& l) { return l.FragmentedTables.size(); }, 1},
        {"blob list needs 101 pages (100)", [&] { table(1, 100); },
         [](const TProblemLists& l) { return l.TablesFragmentedWithBlobs.size(); }, 0},
        {"blob list needs 101 pages (101)", [&] { table(1, 101); },
         [](const TProblemLists& l) { return l.TablesFragmentedWithBlobs.size(); }, 1},
        {"very big: one page below the band", [&] { table(300000000, NearPageLimitLow(8192) - 1); },
         [](const TProblemLists& l) { return l.VeryBigTables.size(); }, 0},
        {"very big: upper end of the band", [&] { table(300000000, NearPageLimitHigh(8192)); },
         [](const TProblemLists& l) { return l.VeryBigTables.size(); }, 1},
        {"very big: one page above the band", [&] { table(300000000, NearPageLimitHigh(8192) + 1); },
         [](const TProblemLists& l) { return l.VeryBigTables.size(); }, 0},
        {"versions 30 for 10 records (RecVer 3)", [&] { table(10, 1)->Versions = 30; },
         [](const TProblemLists& l) { return l.VersionedTables.size(); }, 0},
        {"versions 31 for 10 records", [&] { table(10, 1)->Versions = 31; },
         [](const TProblemLists& l) { return l.VersionedTables.size(); }, 1},
        {"mass deletes need more than 5000 versions",
         [&] { auto* t = table(10000, 1); t->MaxVer = 1; t->Versions = 5000; },
         [](const TProblemLists& l) { return l.MassiveDeletes.size(); }, 0},
        {"5001 versions", [&] { auto* t = table(10000, 1); t->MaxVer = 1; t->Versions = 5001; },
         [](const TProblemLists& l) { return l.MassiveDeletes.size(); }, 1},
        {"a table with versions is not empty", [&] { auto* t = table(0, 0); t->Versions = 1; },
         [](const TProblemLists& l) { return l.TablesWithNoRecords.size(); }, 0},
        {"empty tables with ZeroTables off", [&] { table(0, 0); OptionSettings.ZeroTables = false; },
         [](const TProblemLists& l) { return l.TablesWithNoRecords.size(); }, 0},
        {"depth 3 is not deep", [&] { AddIndex(table(10, 1), "I", 10)->Depth = 3; },
         [](const TProblemLists& l) { return l.DeepIndices.size(); }, 0},
        {"depth 4 is", [&] { AddIndex(table(10, 1), "I", 10)->Depth = 4; },
         [](const TProblemLists& l) { return l.DeepIndices.size(); }, 1},
        {"many duplicates without a long chain is not bad",
         [&] { auto* i = AddIndex(table(1000, 1), "I", 1000); i->TotalDup = 901; i->MaxDup = 300; },
         [](const TProblemLists& l) { return l.BadIndices.size(); }, 0},
        {"many duplicates with a chain of 301 is",
         [&] { auto* i = AddIndex(table(1000, 1), "I", 1000); i->TotalDup = 901; i->MaxDup = 301; },
         [](const TProblemLists& l) { return l.BadIndices.size(); }, 1},
        {"a long chain without many duplicates is not",
         [&] { auto* i = AddIndex(table(1000, 1), "I", 1000); i->TotalDup = 900; i->MaxDup = 900; },
         [](const TProblemLists& l) { return l.BadIndices.size(); }, 0},
        {"1000 nodes with one value are not useless",
         [&] { auto* i = AddIndex(table(1000, 1), "I", 1000); i->Uniques = 1; },
         [](const TProblemLists& l) { return l.UselessIndices.size(); }, 0},
        {"1001 nodes with one value are",
         [&] { auto* i = AddIndex(table(1001, 1), "I", 1001); i->Uniques = 1; },
         [](const TProblemLists& l) { return l.UselessIndices.size(); }, 1},
        {"inactive index with missing keys is not broken",
         [&] { AddIndex(table(1000, 1), "I", 0)->Inactive = 1; },
         [](const TProblemLists& l) { return l.BrokenIndices.size(); }, 0},
        {"active index with one key missing is",
         [&] { AddIndex(table(1000, 1), "I", 999); },
         [](const TProblemLists& l) { return l.BrokenIndices.size(); }, 1},
        {"as many keys as records is not", [&] { AddIndex(table(1000, 1), "I", 1000); },
         [](const TProblemLists& l) { return l.BrokenIndices.size(); }, 0},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        c.build();
        EXPECT_EQ(c.size(ComputeProblemLists(*DBInfo)), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace dv::test
