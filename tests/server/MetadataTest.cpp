// ReadMetadata against a real database whose model comes from the server's
// own statistics of it.
#include <gtest/gtest.h>

#include "tests/server/DMTestSupport.h"
#include "model/utils.h"

using namespace dv;
using namespace dv::test;

namespace {

// Indices are created after the rows, so the engine stores real selectivity
// for them; IDX_ITEMS_OFF is then made inactive, which keeps it out of the
// statistics.
const char* kMetadataDdl = R"(
create table ITEMS (
  ID integer not null,
  CODE smallint,
  QTY bigint,
  PRICE numeric(9,2),
  AMOUNT numeric(18,4),
  SMALLNUM numeric(4,1),
  RATE double precision,
  F float,
  NAME varchar(40) character set UTF8,
  TAG char(5) character set UTF8,
  BORN date,
  AT_TIME time,
  STAMP timestamp,
  FLAG boolean,
  NOTE blob sub_type text,
  constraint PK_ITEMS primary key (ID)
);
create table PARTS (ZID integer, ALPHA varchar(10));
create table "  Leading" (" ID" integer);
commit;
set term ^;
execute block as declare i integer = 0; begin
  while (i < 100) do begin
    insert into ITEMS (ID, CODE, NAME, TAG) values (:i, mod(:i, 4), 'N' || mod(:i, 10), 'T' || mod(:i, 5));
    insert into PARTS values (:i, 'A' || mod(:i, 25));
    insert into "  Leading" values (mod(:i, 50));
    i = i + 1;
  end
end^
set term ;^
commit;
create index IDX_ITEMS_NAME_CODE on ITEMS (NAME, CODE);
create index IDX_ITEMS_UPPER on ITEMS computed by (upper(NAME));
create index IDX_ITEMS_OFF on ITEMS (TAG, BORN);
create descending index IDX_PARTS_ALPHA on PARTS (ALPHA);
create index "  IX_LEAD" on "  Leading" (" ID");
commit;
alter index IDX_ITEMS_OFF inactive;
)";

struct ExpectedColumn {
    const char* Name;
    int32_t DataType, Length, Scale, Precision, SubType;
    int32_t CharLength = 0;   // declared characters of text columns
};

// The engine's type codes for the declared types.
const ExpectedColumn kItemsColumns[] = {
    {"ID", 8, 4, 0, 0, 0},         {"CODE", 7, 2, 0, 0, 0},      {"QTY", 16, 8, 0, 0, 0},
    {"PRICE", 8, 4, -2, 9, 1},     {"AMOUNT", 16, 8, -4, 18, 1}, {"SMALLNUM", 7, 2, -1, 4, 1},
    {"RATE", 27, 8, 0, 0, 0},      {"F", 10, 4, 0, 0, 0},        {"NAME", 37, 160, 0, 0, 0, 40},
    {"TAG", 14, 20, 0, 0, 0, 5},       {"BORN", 12, 4, 0, 0, 0},     {"AT_TIME", 13, 4, 0, 0, 0},
    {"STAMP", 35, 8, 0, 0, 0},     {"FLAG", 23, 1, 0, 0, 0},     {"NOTE", 261, 8, 0, 0, 1},
};

void ExpectColumns(const TRelation& r, const ExpectedColumn* expected, size_t count) {
    ASSERT_EQ(r.Fields.size(), count) << r.TableName;
    for (size_t i = 0; i < count; ++i) {
        const TRelationField& f = *r.Fields[i];
        const ExpectedColumn& e = expected[i];
        SCOPED_TRACE(r.TableName + "." + e.Name);
        EXPECT_EQ(f.FieldName, e.Name);
        EXPECT_EQ(f.id, static_cast<int32_t>(i));
        EXPECT_EQ(f.DataType, e.DataType);
        EXPECT_EQ(f.Length, e.Length);
        EXPECT_EQ(f.Scale, e.Scale);
        EXPECT_EQ(f.Precision, e.Precision);
        EXPECT_EQ(f.SubType, e.SubType);
        EXPECT_EQ(f.CharLength, e.CharLength);
        EXPECT_EQ(f.Owner(), &r);
    }
}

class MetadataTest : public DMTest {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        CreateDatabase(kMetadataDdl);
        if (HasFatalFailure()) return;
        LoadModelFromServer();
    }
};

}  // namespace

TEST_F(MetadataTest, FillsColumnsKeysAndStoredSelectivityAndAddsTheInactiveIndex) {
    TRelation* items = RelationNamed("ITEMS");
    TRelation* parts = RelationNamed("PARTS");
    ASSERT_TRUE(items && parts);
    ASSERT_EQ(IndexNamed("IDX_ITEMS_OFF"), nullptr) << "the statistics list the inactive index";
    const size_t listed = DBInfo->Indices.size();

    dm->ReadMetadata();

    ExpectColumns(*items, kItemsColumns, std::size(kItemsColumns));
    const ExpectedColumn partsColumns[] = {{"ZID", 8, 4, 0, 0, 0}, {"ALPHA", 37, 10, 0, 0, 0, 10}};
    ExpectColumns(*parts, partsColumns, std::size(partsColumns));
    // Only the right-hand padding of the system tables' names is padding.
    TRelation* leading = RelationNamed("  Leading");
    ASSERT_NE(leading, nullptr);
    const ExpectedColumn leadingColumns[] = {{" ID", 8, 4, 0, 0, 0}};
    ExpectColumns(*leading, leadingColumns, std::size(leadingColumns));
    // The columns hint gives the declared characters, not the UTF8 bytes;
    // the record length estimate keeps counting bytes.
    const std::string hint = FieldListText(*items);
    EXPECT_NE(hint.find("NAME      VARCHAR(40)\r\n"), std::string::npos) << hint;
    EXPECT_NE(hint.find("TAG       CHAR(5)\r\n"), std::string::npos) << hint;
    EXPECT_EQ(FieldListText(*parts), "ZID    INTEGER\r\nALPHA  VARCHAR(10)");

    struct ExpectedIndex {
        const char* Name;
        const char* Key;
        float Stats;
    } indices[] = {
        {"PK_ITEMS", "ID", 0.0f},   // made with the empty table
        {"IDX_ITEMS_NAME_CODE", "NAME, CODE", 1.0f / 20},   // 10 names x 4 codes repeat every 20 rows
        {"IDX_ITEMS_UPPER", "(upper(NAME))", 1.0f / 10},
        {"IDX_PARTS_ALPHA", "ALPHA", 1.0f / 25},
        {"  IX_LEAD", " ID", 1.0f / 50},
    };
    for (const ExpectedIndex& e : indices) {
        SCOPED_TRACE(e.Name);
        TIndex* ix = IndexNamed(e.Name);
        ASSERT_NE(ix, nullptr);
        EXPECT_EQ(ix->Key, e.Key);
        EXPECT_FLOAT_EQ(ix->Stats, e.Stats);
        EXPECT_FLOAT_EQ(ix->Stats, static_cast<float>(StoredStatistics(e.Name)));
        EXPECT_EQ(ix->Inactive, 0);
    }

    // The index the statistics did not list: new, inactive, under its table.
    ASSERT_EQ(DBInfo->Indices.size(), listed + 1);
    TIndex* off = DBInfo->Indices.back();
    EXPECT_EQ(off->IndexName, "IDX_ITEMS_OFF");
    EXPECT_EQ(off->Inactive, 1);
    EXPECT_EQ(off->Key, "Inactive: TAG, BORN");
    EXPECT_EQ(off->Relation, items);
    EXPECT_EQ(off->Owner(), items);
    EXPECT_EQ(off->Name(), "");
    EXPECT_EQ(off->Depth, 0);
    EXPECT_EQ(off->Nodes, 0);
    EXPECT_FLOAT_EQ(off->Stats, static_cast<float>(StoredStatistics("IDX_ITEMS_OFF")));

    // Everything is closed again.
    EXPECT_FALSE(dm->DB->Connected());
    EXPECT_FALSE(dm->TR->InTransaction());
}

TEST_F(MetadataTest, BeforeOds10PrecisionComesFromTheStorageLength) {
    DBInfo->ODSMajor = 9;
    dm->ReadMetadata();
    TRelation* items = RelationNamed("ITEMS");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->Fields.size(), std::size(kItemsColumns));
    struct {
        const char* Name;
        int32_t Precision;
    } cases[] = {
        {"PRICE", 9},      // 4 bytes, scale -2
        {"AMOUNT", 15},    // 8 bytes, scale -4: the length rule wins over the BIGINT rule
        {"SMALLNUM", 5},   // 2 bytes, scale -1
        {"QTY", 0},        // no scale
        {"ID", 0},
        {"RATE", 0},
    };
    for (const auto& c : cases) {
        auto it = std::find_if(items->Fields.begin(), items->Fields.end(),
                               [&](TRelationField* f) { return f->FieldName == c.Name; });
        ASSERT_NE(it, items->Fields.end()) << c.Name;
        EXPECT_EQ((*it)->Precision, c.Precision) << c.Name;
    }
}

TEST_F(MetadataTest, TableCreatedAfterTheStatisticsGivesNoColumnsButItsIndexIsAdded) {
    ASSERT_EQ(db->Exec("create table LATE (X integer);\ncreate index IDX_LATE on LATE (X);\ncommit;").Status, 0);
    const size_t tables = DBInfo->Relations.size();
    dm->ReadMetadata();
    EXPECT_EQ(DBInfo->Relations.size(), tables);
    EXPECT_EQ(RelationNamed("LATE"), nullptr);
    TIndex* late = IndexNamed("IDX_LATE");
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->Relation, nullptr);
    EXPECT_EQ(late->Owner(), nullptr);
    EXPECT_EQ(late->Inactive, 1);
    EXPECT_EQ(late->Key, "Inactive: X");
}

TEST_F(MetadataTest, ReadingTwiceReplacesTheColumnsInsteadOfAddingThem) {
    dm->ReadMetadata();
    dm->ReadMetadata();
    TRelation* items = RelationNamed("ITEMS");
    ASSERT_TRUE(items);
    EXPECT_EQ(items->Fields.size(), std::size(kItemsColumns));
    int owned = 0;
    for (TComponent* c : items->ComponentList())
        if (dynamic_cast<TRelationField*>(c)) ++owned;
    EXPECT_EQ(owned, static_cast<int>(std::size(kItemsColumns)));
}

TEST_F(MetadataTest, FailureHalfWayLeavesTheModelWithoutMetadataAndDisconnects) {
    // Another transaction changes the selectivity row of an index and keeps
    // it uncommitted; a reader that must not pass over such versions and does
    // not wait fails on the index query, after the columns were read.
    TIndexStatisticsBlocker blocker(*db, "IDX_ITEMS_NAME_CODE");

    dm->TR->Params = {"read", "read_committed", "no_rec_version", "nowait"};
    try {
        dm->ReadMetadata();
        FAIL() << "read past an uncommitted change";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("read conflicts with concurrent update"), std::string::npos) << e.what();
        EXPECT_FALSE(IsConnectionFailure(e)) << "the database's own error";
    }
    EXPECT_FALSE(dm->TR->InTransaction());
    EXPECT_FALSE(dm->DB->Connected());
    TRelation* items = RelationNamed("ITEMS");
    ASSERT_TRUE(items);
    // The columns were read before the failure, but half the metadata is
    // none: the model gets nothing of it.
    EXPECT_TRUE(items->Fields.empty());
    EXPECT_EQ(IndexNamed("IDX_ITEMS_NAME_CODE")->Key, "");

    blocker.Release();
    // With the way clear the same module reads everything.
    dm->ReadMetadata();
    EXPECT_EQ(IndexNamed("IDX_ITEMS_NAME_CODE")->Key, "NAME, CODE");
}

TEST(MetadataSql, ColumnQueryHasThePrecisionLineFromOds10On) {
    TStringList ods9 = MetadataColumnsSQL(9);
    TStringList ods10 = MetadataColumnsSQL(10);
    ASSERT_EQ(ods9.size(), 6u);
    ASSERT_EQ(ods10.size(), 7u);
    EXPECT_EQ(ods10[2], ", F.RDB$FIELD_PRECISION, F.RDB$CHARACTER_LENGTH ");
    ods10.erase(ods10.begin() + 2);
    EXPECT_EQ(ods9, ods10);
    EXPECT_EQ(ods9[4], "and r.RDB$RELATION_NAME NOT STARTING WITH 'RDB$'");
    EXPECT_EQ(MetadataIndicesSQL().front(), "select i.RDB$INDEX_NAME, i.RDB$RELATION_NAME, i.RDB$INDEX_INACTIVE,");
}
