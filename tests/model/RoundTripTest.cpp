// A model parsed from real statistics, written in the save-file text form and
// read back into a reset model, is the same model.
#include <cmath>
#include <map>

#include "tests/model/StatTestSupport.h"
#include "platform/streaming/ComponentText.h"

using namespace dv;
using namespace dv::test;

namespace {

// Every stored property of every component, in tree order: path, name, value.
struct Snapshot {
    std::vector<std::string> Paths;
    std::vector<TPropValue> Values;
    std::vector<TPropType> Types;
};

void Take(TComponent& c, const std::string& path, Snapshot& s) {
    for (const TPropInfo& p : c.Props()) {
        if (!p.Stored || !p.Get) continue;
        s.Paths.push_back(path + "." + p.Name);
        s.Values.push_back(p.Get(c));
        s.Types.push_back(p.Type);
    }
    int n = 0;
    c.GetChildren([&](TComponent* child) {
        Take(*child, path + "/" + child->ClassName() + "[" + std::to_string(n++) + "]" + std::string(child->Name()), s);
    }, DBInfo);
}

Snapshot TakeModel() {
    Snapshot s;
    Take(*DBInfo, "DBInfo", s);
    return s;
}

void ExpectSame(const Snapshot& before, const Snapshot& after) {
    ASSERT_EQ(before.Paths, after.Paths);
    for (size_t k = 0; k < before.Values.size(); ++k) {
        SCOPED_TRACE(before.Paths[k]);
        const TPropValue &a = before.Values[k], &b = after.Values[k];
        ASSERT_EQ(a.index(), b.index());
        if (const double* x = std::get_if<double>(&a)) {
            const double y = std::get<double>(b);
            // Floating values travel with 16 significant digits.
            if (before.Types[k] == TPropType::Single)
                EXPECT_EQ(static_cast<float>(*x), static_cast<float>(y));
            else
                EXPECT_NEAR(*x, y, std::fabs(*x) * 1e-15);
        } else {
            EXPECT_EQ(a, b);
        }
    }
}

class RoundTrip : public StatFixture {
protected:
    // Writes DBInfo, resets it with its items and reads the text back; the
    // lists are empty until they are rebuilt.
    std::string WriteAndReadBack() {
        const std::string text = WriteComponentText(*DBInfo);
        DBInfo->Reset(true);
        EXPECT_EQ(DBInfo->ComponentCount(), 0);
        ReadComponentText(text, *DBInfo);
        EXPECT_TRUE(DBInfo->Relations.empty());
        EXPECT_TRUE(DBInfo->Indices.empty());
        RebuildModelLists(*DBInfo);
        return text;
    }
    void ExpectLinksRebuilt() {
        for (TRelation* r : DBInfo->Relations) {
            EXPECT_FALSE(r->Problem);
            EXPECT_EQ(r->Owner(), DBInfo);
        }
        for (TIndex* i : DBInfo->Indices) {
            EXPECT_FALSE(i->Problem);
            ASSERT_NE(i->Relation, nullptr);
            EXPECT_EQ(i->Owner(), i->Relation);
        }
    }
};

TEST_F(RoundTrip, EveryRealFileReadsBackIntoTheSameModel) {
    for (const char* name : {"fb3_full.txt", "fb3_page4096.txt", "fb3_index.txt", "fb3_service.txt", "fb3_header.txt"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(ParseStatFile(DataPath(name)));
        // Marks that the rules would set must not travel.
        for (TRelation* r : DBInfo->Relations) r->Problem = true;
        for (TIndex* i : DBInfo->Indices) i->Problem = true;
        const Snapshot before = TakeModel();
        std::vector<std::string> tables, indices;
        for (TRelation* r : DBInfo->Relations) tables.emplace_back(r->Name());
        for (TIndex* i : DBInfo->Indices) indices.push_back(i->Relation->TableName + "." + i->IndexName);

        const std::string text = WriteAndReadBack();
        ExpectSame(before, TakeModel());
        ExpectLinksRebuilt();
        std::vector<std::string> tables2, indices2;
        for (TRelation* r : DBInfo->Relations) tables2.emplace_back(r->Name());
        for (TIndex* i : DBInfo->Indices) indices2.push_back(i->Relation->TableName + "." + i->IndexName);
        EXPECT_EQ(tables2, tables);
        EXPECT_EQ(indices2, indices);
        // A second write gives the same text.
        EXPECT_EQ(WriteComponentText(*DBInfo), text);
    }
}

TEST_F(RoundTrip, DefaultsAreLeftOutAndComeBack) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_header.txt")));
    DBInfo->AverageTran = 1;
    const std::string text = WriteComponentText(*DBInfo);
    for (const char* absent : {"AverageTran", "MaxIName", "MaxRName", "Pages", "DBSize", "RecordSize", "Garbage",
                               "Indices", "Relations", "Tag", "WDate"})
        EXPECT_EQ(text.find(std::string("  ") + absent + " = "), std::string::npos) << absent;
    EXPECT_NE(text.find("  IsRecordInfoAvailable = False\r\n"), std::string::npos);
    EXPECT_NE(text.find("  FW = 1\r\n"), std::string::npos);
    EXPECT_EQ(text.rfind("object DBInfo: TDatabaseInfo\r\n", 0), 0u);
    DBInfo->Reset(true);
    DBInfo->AverageTran = 77;
    DBInfo->Reset(true);
    ReadComponentText(text, *DBInfo);
    EXPECT_EQ(DBInfo->AverageTran, 1);
    EXPECT_EQ(DBInfo->Pages, 0);
}

// Columns and indices that a live database adds: an index without a
// component name, appended at the end of the model's list, comes back among
// its own table's indices.
TEST_F(RoundTrip, MetadataColumnsAndUnnamedIndicesKeepTheirTable) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_full.txt")));
    TRelation* customers = nullptr;
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == "CUSTOMERS") customers = r;
    ASSERT_NE(customers, nullptr);
    const std::string columns[] = {"ID", "NAME", "O'Neil \"x\"", std::string(70, 'L')};
    int n = 0;
    for (const std::string& c : columns) {
        auto* f = new TRelationField(customers);
        f->id = n++;
        f->FieldName = c;
        f->Length = 4 * n;
        f->DataType = 37;
        f->Scale = -2;
        customers->Fields.push_back(f);
    }
    auto* inactive = new TIndex(customers);
    inactive->IndexName = "ORDERS_STATUS";
    inactive->Key = "Inactive: STATUS";
    inactive->Inactive = 1;
    inactive->Stats = 0.25f;
    inactive->Relation = customers;
    DBInfo->Indices.push_back(inactive);
    DBInfo->DBSize = 1234;
    const Snapshot before = TakeModel();

    WriteAndReadBack();
    ExpectSame(before, TakeModel());
    ExpectLinksRebuilt();
    EXPECT_EQ(DBInfo->DBSize, 1234);
    // Now listed right after the table's other indices, not at the end.
    std::vector<TIndex*> own;
    for (TIndex* i : DBInfo->Indices)
        if (i->Relation->TableName == "CUSTOMERS") own.push_back(i);
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back()->IndexName, "ORDERS_STATUS");
    EXPECT_EQ(own.back()->Name(), "");
    EXPECT_NE(DBInfo->Indices.back()->IndexName, "ORDERS_STATUS");
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == "CUSTOMERS") {
            ASSERT_EQ(r->Fields.size(), 4u);
            EXPECT_EQ(r->Fields[2]->FieldName, "O'Neil \"x\"");
            EXPECT_EQ(r->Fields[3]->FieldName, std::string(70, 'L'));
            EXPECT_EQ(r->Fields[3]->Scale, -2);
        }
}

TEST_F(RoundTrip, OldLayoutWithBlobsAndNullSegments) {
    const std::string text =
        "\tPage size\t\t1024\n\tNext transaction\t9\n\tCreation date\t\tMay 27, 2013 23:40:53\n\t*END*\n"
        "Analyzing database pages ...\n" +
        std::string(kOldLayoutBlobTable);
    ASSERT_TRUE(ParseText(text));
    ASSERT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    ASSERT_TRUE(DBInfo->Relations.at(0)->Blobs);
    ASSERT_EQ(DBInfo->Indices.at(0)->NullSeg, 2);
    const Snapshot before = TakeModel();
    WriteAndReadBack();
    ExpectSame(before, TakeModel());
    ExpectLinksRebuilt();
}

}  // namespace
