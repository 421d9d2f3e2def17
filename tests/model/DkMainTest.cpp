// The model classes: reset, freeing, totals (also over values that only a
// damaged save file can hold), the property lists that define the save file,
// and the component-tree protocol.
#include <cmath>
#include <limits>

#include "tests/model/StatTestSupport.h"
#include "tests/support/TestModel.h"

using namespace dv;
using namespace dv::test;

namespace {

class Model : public StatFixture {
protected:
    TRelation* AddTable(int id, const std::string& name, int64_t records = 0, double recLen = 0,
                        int64_t versions = 0, double verLen = 0, int32_t dataPages = 0) {
        TRelation* r = NewTable(name, "Relation" + std::to_string(id));
        r->Id = id;
        r->Records = records;
        r->RecLen = recLen;
        r->Versions = versions;
        r->VerLen = verLen;
        r->DataPages = dataPages;
        return r;
    }
    TIndex* AddIndex(TRelation* r, int id, const std::string& name, int32_t leafs = 0) {
        TIndex* i = NewIndex(r, name, std::string(r->Name()) + "Index" + std::to_string(id));
        i->id = id;
        i->Leafs = leafs;
        return i;
    }
};

std::vector<std::string> StoredNames(const TComponent& c) {
    std::vector<std::string> r;
    for (const TPropInfo& p : c.Props())
        if (p.Stored && p.Name != "Tag") r.push_back(p.Name);
    return r;
}

TEST_F(Model, InitCreatesTheNamedModelOnceAndRegistersTheTreeClasses) {
    TDatabaseInfo* first = DBInfo;
    InitStatisticsModel();
    EXPECT_EQ(DBInfo, first);
    EXPECT_EQ(DBInfo->Name(), "DBInfo");
    EXPECT_EQ(DBInfo->Owner(), nullptr);
    for (const char* cls : {"TRelation", "TIndex", "TRelationField"}) EXPECT_NE(FindClass(cls), nullptr) << cls;
    EXPECT_EQ(FindClass("TDatabaseInfo"), nullptr);
}

TEST_F(Model, ResetClearsHeaderAndTotalsAndOptionallyTheItems) {
    TDatabaseInfo& db = *DBInfo;
    TRelation* t = AddTable(128, "T");
    AddIndex(t, 0, "I");
    db.DbName = "x";
    db.ODS = "11.2";
    db.Attrib = "a";
    db.CDate = db.WDate = db.DDate = db.Age = 5;
    db.PageSize = db.OIT = db.OAT = db.OST = db.NxT = db.Dialect = 7;
    db.Generation = 9;
    db.FW = 0;
    db.ODSMajor = db.ODSMinor = 3;
    db.Sweep = 1;
    db.MaxIName = db.MaxRName = db.Pages = db.DBSize = 4;
    db.AverageTran = 99;
    db.RecordSize = db.VersionSize = db.IndexSize = 8;
    db.Garbage = 2.5;
    db.IsRecordInfoAvailable = db.IsNullSegInfoAvailable = true;

    db.Reset(false);
    EXPECT_EQ(db.DbName, "");
    EXPECT_EQ(db.ODS, "");
    EXPECT_EQ(db.Attrib, "");
    EXPECT_EQ(db.CDate + db.WDate + db.DDate + db.Age, 0);
    EXPECT_EQ(db.PageSize, 0);
    EXPECT_EQ(db.Generation, 0);
    EXPECT_EQ(db.OIT + db.OAT + db.OST + db.NxT + db.Dialect, 0);
    EXPECT_EQ(db.FW, 1);
    EXPECT_EQ(db.ODSMajor + db.ODSMinor, 0);
    EXPECT_EQ(db.Sweep, 20000);
    EXPECT_EQ(db.MaxIName + db.MaxRName + db.Pages + db.DBSize, 0);
    EXPECT_EQ(db.AverageTran, 1);
    EXPECT_EQ(db.RecordSize + db.VersionSize + db.IndexSize, 0);
    EXPECT_EQ(db.Garbage, 0);
    EXPECT_FALSE(db.IsRecordInfoAvailable || db.IsNullSegInfoAvailable);
    // Without FreeItems tables and indices stay.
    EXPECT_EQ(db.Relations.size(), 1u);
    EXPECT_EQ(db.Indices.size(), 1u);
    EXPECT_EQ(t->ComponentCount(), 1);

    db.Reset(true);
    EXPECT_TRUE(db.Relations.empty());
    EXPECT_TRUE(db.Indices.empty());
    EXPECT_EQ(db.ComponentCount(), 0);
}

TEST_F(Model, ResetWithItemsAlsoFreesWhatNoListHolds) {
    TRelation* t = AddTable(128, "T");
    auto* column = new TRelationField(t);
    t->Fields.push_back(column);
    new TIndex(t);             // owned by the table, in no list
    new TIndex(DBInfo);        // left under the model by a damaged save file
    auto* stray = new TRelation(DBInfo);
    stray->SetName("Relation128x");
    DBInfo->Reset(true);
    EXPECT_EQ(DBInfo->ComponentCount(), 0);
    // The names are free again.
    AddTable(128, "T");
    EXPECT_EQ(DBInfo->ComponentCount(), 1);
}

TEST_F(Model, FreeIndicesThenFreeRelations) {
    TRelation* a = AddTable(128, "A");
    TRelation* b = AddTable(129, "B");
    AddIndex(a, 0, "A0");
    AddIndex(a, 1, "A1");
    AddIndex(b, 0, "B0");
    auto* column = new TRelationField(b);
    b->Fields.push_back(column);
    FreeIndices(*DBInfo);
    EXPECT_TRUE(DBInfo->Indices.empty());
    EXPECT_EQ(a->ComponentCount(), 0);
    EXPECT_EQ(b->ComponentCount(), 1);
    EXPECT_EQ(DBInfo->Relations.size(), 2u);
    FreeRelations(*DBInfo);
    EXPECT_TRUE(DBInfo->Relations.empty());
    EXPECT_EQ(DBInfo->ComponentCount(), 0);
}

TEST_F(Model, TotalsOfAnEmptyModelAreZero) {
    DBInfo->PageSize = 8192;
    DBInfo->RecordSize = DBInfo->IndexSize = 5;
    DBInfo->Garbage = 3;
    CalcDatabaseTotals(*DBInfo);
    EXPECT_EQ(DBInfo->RecordSize + DBInfo->VersionSize + DBInfo->IndexSize, 0);
    EXPECT_EQ(DBInfo->Pages + DBInfo->MaxRName + DBInfo->MaxIName, 0);
    EXPECT_EQ(DBInfo->Garbage, 0);
}

TEST_F(Model, TotalsOfRecordsVersionsPagesAndNames) {
    DBInfo->PageSize = 4096;
    TRelation* a = AddTable(128, "A", 100, 83, 10, 33, 7);   // 100 * 100, 10 * 50
    TRelation* b = AddTable(129, "LONGER_NAME", 1, 35.5, 1, 36.5, 5);   // N(52.5) = 52, N(53.5) = 54
    AddIndex(a, 0, "IX", 3);
    AddIndex(b, 0, "THE_LONGEST_INDEX", 1);
    CalcDatabaseTotals(*DBInfo);
    EXPECT_EQ(DBInfo->RecordSize, 10000 + 52);
    EXPECT_EQ(DBInfo->VersionSize, 500 + 54);
    EXPECT_EQ(DBInfo->Pages, 12);
    EXPECT_DOUBLE_EQ(DBInfo->Garbage, 554.0 / (10052.0 / 100));
    EXPECT_EQ(DBInfo->MaxRName, 11);
    EXPECT_EQ(DBInfo->MaxIName, 17);
    EXPECT_EQ(DBInfo->IndexSize, 4 * 4096 + 4 * 4096 / 100);
}

TEST_F(Model, IndexSizeIsSixtyFourBitAndGrowsByItsTruncatedHundredth) {
    struct Case {
        int32_t PageSize, Leafs;
        int64_t Expected;
    } cases[] = {
        {8192, 262144, 2147483648LL + 21474836},
        {1000, 1, 1010},
        {99, 1, 99},
        {199, 1, 200},
        {1, 0, 0},
    };
    for (const Case& c : cases) {
        DBInfo->Reset(true);
        DBInfo->PageSize = c.PageSize;
        AddIndex(AddTable(128, "T"), 0, "I", c.Leafs);
        CalcDatabaseTotals(*DBInfo);
        EXPECT_EQ(DBInfo->IndexSize, c.Expected) << c.PageSize << " x " << c.Leafs;
    }
}

TEST_F(Model, GarbageNeedsVersions) {
    AddTable(128, "T", 10, 3);
    CalcDatabaseTotals(*DBInfo);
    EXPECT_EQ(DBInfo->RecordSize, 200);
    EXPECT_EQ(DBInfo->Garbage, 0);
    // Versions without any record bytes (only a save file can say so): no
    // percentage rather than a division by zero.
    DBInfo->Reset(true);
    AddTable(128, "T", 0, 3, 5, 3);
    CalcDatabaseTotals(*DBInfo);
    EXPECT_EQ(DBInfo->VersionSize, 100);
    EXPECT_EQ(DBInfo->Garbage, 0);
}

// Totals saturate at the 64-bit (Pages: 32-bit) limits; a record length that
// is not a number counts as nothing.
TEST_F(Model, TotalsSaturateInsteadOfOverflowing) {
    const int64_t max = std::numeric_limits<int64_t>::max(), min = std::numeric_limits<int64_t>::min();
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        int64_t Records;
        double RecLen;
        int32_t DataPages;
    };
    struct Case {
        const char* What;
        std::vector<Row> Rows;
        int64_t RecordSize;
        int32_t Pages;
    } cases[] = {
        {"product over the limit", {{max, 100, 1}}, max, 1},
        {"sum over the limit", {{max / 20, 3, 0}, {max / 20, 3, 0}, {1, 0, 0}}, max, 0},
        {"negative count from a file", {{-max, 100, 0}}, min, 0},
        {"negative length", {{1, -1e300, 0}}, min, 0},
        {"infinite length", {{2, inf, 0}}, max, 0},
        {"no number", {{5, nan, 0}, {1, 3, 0}}, 20, 0},
        {"pages over the limit", {{0, 0, 2147483647}, {0, 0, 1}}, 0, 2147483647},
        {"pages under the limit", {{0, 0, -2147483647}, {0, 0, -2}}, 0, -2147483647 - 1},
        {"back under the limit", {{max, 100, 0}, {-1, 17, 0}}, max - 34, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        DBInfo->Reset(true);
        int id = 128;
        for (const Row& r : c.Rows) AddTable(id++, "T", r.Records, r.RecLen, r.Records, r.RecLen, r.DataPages);
        CalcDatabaseTotals(*DBInfo);
        EXPECT_EQ(DBInfo->RecordSize, c.RecordSize);
        EXPECT_EQ(DBInfo->VersionSize, c.RecordSize);
        EXPECT_EQ(DBInfo->Pages, c.Pages);
        EXPECT_TRUE(std::isfinite(DBInfo->Garbage));
    }
    DBInfo->Reset(true);
    DBInfo->PageSize = std::numeric_limits<int32_t>::max();
    TRelation* t = AddTable(128, "T");
    AddIndex(t, 0, "A", std::numeric_limits<int32_t>::max());
    AddIndex(t, 1, "B", std::numeric_limits<int32_t>::max());
    AddIndex(t, 2, "C", std::numeric_limits<int32_t>::max());
    CalcDatabaseTotals(*DBInfo);
    EXPECT_EQ(DBInfo->IndexSize, max);
}

TEST_F(Model, StoredPropertiesInDeclarationOrder) {
    TRelation* t = AddTable(128, "T");
    TIndex* i = AddIndex(t, 0, "I");
    auto* f = new TRelationField(t);
    EXPECT_EQ(StoredNames(*DBInfo),
              (std::vector<std::string>{"DbName", "CDate", "WDate", "DDate", "Age", "PageSize", "Generation", "OIT",
                                        "OAT", "OST", "NxT", "FW", "Dialect", "ODS", "ODSMajor", "ODSMinor", "Attrib",
                                        "Sweep", "MaxIName", "MaxRName", "AverageTran", "RecordSize", "VersionSize",
                                        "IndexSize", "Pages", "Garbage", "DBSize", "IsRecordInfoAvailable",
                                        "IsNullSegInfoAvailable"}));
    EXPECT_EQ(StoredNames(*t),
              (std::vector<std::string>{"Id", "TableName", "PointerPage", "IndexPage", "RecLen", "Records",
                                        "MaxRecLen", "VerLen", "Versions", "MaxVer", "DataPages", "PageSlots",
                                        "AverageFill", "SizeMB", "ISizeMB", "Fill20", "Fill40", "Fill60", "Fill80",
                                        "Fill100", "RealFill", "Blobs", "BAvgLen", "BTotal", "BMaxBLen", "BAvgSegLen",
                                        "BSegments", "BMaxSegLen", "BPages", "BSlots", "BAvgFill", "BFill20",
                                        "BFill40", "BFill60", "BFill80", "BFill100", "BSizeMB"}));
    EXPECT_EQ(StoredNames(*i),
              (std::vector<std::string>{"id", "IndexName", "Depth", "Leafs", "Nodes", "NullSeg", "KeyLen", "TotalDup",
                                        "MaxDup", "Uniques", "SizeMb", "AverageFill", "Fill20", "Fill40", "Fill60",
                                        "Fill80", "Fill100", "Key", "Stats", "Sel", "Inactive"}));
    EXPECT_EQ(StoredNames(*f), (std::vector<std::string>{"id", "FieldName", "Length", "DataType", "Precision",
                                                         "Scale", "SubType", "CharLength"}));
    // Declared defaults: exactly these six (CharLength is left out at 0, so
    // a column without it saves as before).
    std::vector<std::pair<std::string, int64_t>> defaults;
    for (const TComponent* c : std::initializer_list<const TComponent*>{DBInfo, t, i, f})
        for (const TPropInfo& p : c->Props())
            if (p.Stored && p.HasDefault && p.Name != "Tag") defaults.push_back({p.Name, p.Default});
    EXPECT_EQ(defaults, (std::vector<std::pair<std::string, int64_t>>{
                            {"MaxIName", 0}, {"MaxRName", 0}, {"AverageTran", 1}, {"Pages", 0}, {"DBSize", 0},
                            {"CharLength", 0}}));
}

TEST_F(Model, ChildrenAndParentsOfTheComponentTree) {
    TRelation* a = AddTable(128, "A");
    TRelation* b = AddTable(129, "B");
    TIndex* i = AddIndex(a, 0, "I");
    auto* f = new TRelationField(a);
    auto* stray = new TIndex(DBInfo);
    std::vector<TComponent*> seen;
    auto collect = [&](TComponent* c) { seen.push_back(c); };
    DBInfo->GetChildren(collect, DBInfo);
    EXPECT_EQ(seen, (std::vector<TComponent*>{a, b}));
    seen.clear();
    DBInfo->GetChildren(collect, a);
    EXPECT_TRUE(seen.empty());
    a->GetChildren(collect, DBInfo);
    EXPECT_EQ(seen, (std::vector<TComponent*>{i, f}));

    // Moving into a table happens only while loading, and only into a table.
    stray->SetParentComponent(b);
    EXPECT_EQ(stray->Owner(), DBInfo);
    stray->SetState(csLoading, true);
    stray->SetParentComponent(i);
    EXPECT_EQ(stray->Owner(), DBInfo);
    stray->SetParentComponent(b);
    EXPECT_EQ(stray->Owner(), b);
    EXPECT_EQ(stray->Relation, b);
    stray->SetState(csLoading, false);

    auto* column = new TRelationField(DBInfo);
    column->SetState(csLoading, true);
    column->SetParentComponent(b);
    EXPECT_EQ(column->Owner(), b);

    RebuildModelLists(*DBInfo);
    EXPECT_EQ(DBInfo->Relations, (std::vector<TRelation*>{a, b}));
    EXPECT_EQ(DBInfo->Indices, (std::vector<TIndex*>{i, stray}));
    EXPECT_EQ(a->Fields, std::vector<TRelationField*>{f});
    EXPECT_EQ(b->Fields, std::vector<TRelationField*>{column});
}

// Names stay unique, ignoring case, also for an owner of many components
// (where the check goes through an index of the names).
TEST_F(Model, ComponentNamesStayUniqueWhateverTheCount) {
    for (int count : {3, 40, 2000}) {
        SCOPED_TRACE(count);
        DBInfo->Reset(true);
        for (int id = 0; id < count; ++id) AddTable(id, "T");
        EXPECT_THROW(AddTable(count / 2, "again"), EComponentError);
        EXPECT_THROW(DBInfo->Relations[0]->SetName("RELATION1"), EComponentError);
        // (The tables that failed their names stay unnamed under the model
        // until the next reset frees them.)
        TRelation* first = DBInfo->Relations[0];
        first->SetName("relation0");     // the same name in other case
        first->SetName("Moved");
        AddTable(0, "reuses the free name");
        EXPECT_THROW(AddTable(-1, "x"), EComponentError);
        delete first;                    // leaves the owner's list and its name
        DBInfo->Relations.erase(DBInfo->Relations.begin());
        auto* again = new TRelation(DBInfo);
        again->SetName("moved");
        EXPECT_EQ(DBInfo->FindComponent("MOVED"), again);
        DBInfo->Relations.push_back(again);
    }
}

}  // namespace
