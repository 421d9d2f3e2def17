// Padding, comparisons, path and save-name routines, column lists, record
// lengths and lookups by name.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "model/utils.h"
#include "platform/text/DateUtils.h"

namespace dv::test {
namespace {

TEST(UtilsTest, Padding) {
    struct Case { std::string text; int width; std::string right, left; };
    const std::vector<Case> cases = {
        {"7", 3, "7  ", "  7"},
        {"ABCD", 2, "ABCD", "ABCD"},
        {"ABCD", 4, "ABCD", "ABCD"},
        {"ABC", 4, "ABC ", " ABC"},
        {"", 2, "  ", "  "},
        {"x", 0, "x", "x"},
        {"x", -3, "x", "x"},
        // Widths count characters: two-byte Greek, three-byte CJK, and a
        // byte that is not UTF-8 counting as one of its own.
        {"\xCE\xB1\xCE\xB2", 3, "\xCE\xB1\xCE\xB2 ", " \xCE\xB1\xCE\xB2"},
        {"\xE6\x9D\xB1", 2, "\xE6\x9D\xB1 ", " \xE6\x9D\xB1"},
        {"\xC0\xC1", 3, "\xC0\xC1 ", " \xC0\xC1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PadRight(c.text, c.width), c.right) << "'" << c.text << "' to " << c.width;
        EXPECT_EQ(PadLeft(c.text, c.width), c.left) << "'" << c.text << "' to " << c.width;
    }
}

TEST(UtilsTest, Comparisons) {
    EXPECT_EQ(CompareInt(1, 2), -1);
    EXPECT_EQ(CompareInt(2, 1), 1);
    EXPECT_EQ(CompareInt(5, 5), 0);
    EXPECT_EQ(CompareInt(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()), -1);
    EXPECT_EQ(CompareInt(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()), 1);
    // Beyond 32 bits: a compare through int would get these wrong.
    EXPECT_EQ(CompareInt64(4294967296LL, 1), 1);
    EXPECT_EQ(CompareInt64(1, 4294967296LL), -1);
    EXPECT_EQ(CompareInt64(4294967297LL, 4294967296LL), 1);
    EXPECT_EQ(CompareInt64(-4294967296LL, 4294967296LL), -1);
    EXPECT_EQ(CompareInt64(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()), -1);
    EXPECT_EQ(CompareInt64(3000000000LL, 3000000000LL), 0);
    EXPECT_EQ(CompareDouble(1.5, 1.5), 0);
    EXPECT_EQ(CompareDouble(1.5, 1.25), 1);
    EXPECT_EQ(CompareDouble(-0.1, 0.1), -1);
    EXPECT_EQ(CompareDouble(0.1 + 0.2, 0.3), 1);  // no tolerance: values as stored
}

TEST(UtilsTest, SlashPathAndDbBaseName) {
    EXPECT_EQ(SlashPath("C:\\db\\emp.fdb"), "C:/db/emp.fdb");
    EXPECT_EQ(SlashPath("/already/slashed"), "/already/slashed");
    struct Case { std::string path, base; };
    const std::vector<Case> cases = {
        {"C:/db/emp.old.fdb", "emp"},
        {"/opt/db/emp", "emp"},
        {"emp.fdb", "emp"},
        {"/a/.hidden", ""},
        {"/a.b/c", "c"},
        {"/data/", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(DbBaseName(c.path), c.base) << c.path;
}

TEST(UtilsTest, MakeStatFileName) {
    const TDateTime may7 = EncodeDate(2013, 5, 7) + EncodeTime(14, 5, 0, 0);
    struct Case { std::string server, db, expected; };
    const std::vector<Case> cases = {
        {"dbhost/3051", "D:\\Data\\Sales.fdb", "dbhost_3051_Sales_20130507_14-05"},
        {"", "C:\\db\\emp.fdb", "_emp_20130507_14-05"},
        {"srv", "/opt/db/emp", "srv_emp_20130507_14-05"},
        {"srv", "emp.fdb", "srv_emp.fdb_20130507_14-05"},
        {"srv", "employee", "srv_employee_20130507_14-05"},
        {"srv", "db/emp.fdb", "srv_db/emp.fdb_20130507_14-05"},
        {"srv", "other:/data/db.fdb", "srv_db_20130507_14-05"},
        {"/srv", "x.fdb", "/srv_x.fdb_20130507_14-05"},         // a leading slash stays
        {"a/b/c", "x", "a_b/c_x_20130507_14-05"},               // only the first slash
        {"srv", "C:\\db\\.fdb", "srv__20130507_14-05"},
        {"srv", "", "srv__20130507_14-05"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeStatFileName(c.server, c.db, may7), c.expected) << c.server << " / " << c.db;

    EXPECT_EQ(MakeStatFileName("s", "d", EncodeDate(2024, 1, 2)), "s_d_20240102_00-00");
    EXPECT_EQ(MakeStatFileName("s", "d", EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 999)),
              "s_d_19991231_23-59");
}

TEST(UtilsTest, MakeStatFileNameUsesTheClock) {
    const std::string before = FormatDateTime("yyyymmdd", Date());
    const std::string name = MakeStatFileName("dbhost/3051", "D:\\Data\\Sales.fdb");
    const std::string after = FormatDateTime("yyyymmdd", Date());
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(dbhost_3051_Sales_\d{8}_([01]\d|2[0-3])-[0-5]\d)"))) << name;
    const std::string day = name.substr(18, 8);
    EXPECT_TRUE(day == before || day == after) << name;
}

class UtilsFieldsTest : public ::testing::Test {
protected:
    TRelationField* Add(const std::string& name, int32_t type, int32_t length = 0,
                        int32_t precision = 0, int32_t scale = 0, int32_t subType = 0) {
        auto* f = new TRelationField(&table);
        f->FieldName = name;
        f->DataType = type;
        f->Length = length;
        f->Precision = precision;
        f->Scale = scale;
        f->SubType = subType;
        table.Fields.push_back(f);
        return f;
    }
    TRelation table{nullptr};
};

TEST_F(UtilsFieldsTest, ThreeColumns) {
    Add("ID", 8);
    Add("AMOUNT", 16, 8, 18, -2);
    Add("NOTE", 37, 100);
    EXPECT_EQ(FieldListText(table), "ID      INTEGER\r\nAMOUNT  NUMERIC(18,2)\r\nNOTE    VARCHAR(100)");
    Add("\xD0\x98\xD0\x9C\xD0\xAF\xD0\xA4\xD0\x98\xD0\x9E", 8);   // six Cyrillic letters, as long as AMOUNT
    EXPECT_EQ(FieldListText(table), "ID      INTEGER\r\nAMOUNT  NUMERIC(18,2)\r\nNOTE    VARCHAR(100)\r\n"
                                    "\xD0\x98\xD0\x9C\xD0\xAF\xD0\xA4\xD0\x98\xD0\x9E  INTEGER");
    table.Fields.pop_back();
    EXPECT_EQ(MaxRecordLength(table), 4 + 8 + 102);
    table.MaxRecLen = 500;
    EXPECT_EQ(MaxRecordLength(table), 500);
}

TEST_F(UtilsFieldsTest, EveryTypeCode) {
    struct Case {
        int32_t type, length, precision, scale, subType;
        std::string text;
        int32_t size;
    };
    const std::vector<Case> cases = {
        {7, 2, 0, 0, 0, "SMALLINT", 4},
        {7, 2, 4, -1, 0, "NUMERIC(4,1)", 4},
        {8, 4, 0, 0, 0, "INTEGER", 4},
        {8, 4, 9, -3, 0, "NUMERIC(9,3)", 4},
        {9, 8, 0, 0, 0, "TIMESTAMP", 8},
        {10, 4, 0, 0, 0, "FLOAT", 4},
        {12, 4, 0, 0, 0, "DATE", 4},
        {13, 4, 0, 0, 0, "TIME", 4},
        {14, 10, 0, 0, 0, "CHAR(10)", 10},
        {16, 8, 0, 0, 0, "BIGINT", 8},
        {16, 8, 18, 0, 0, "NUMERIC(18,0)", 8},
        {17, 1, 0, 0, 0, "BOOLEAN", 4},
        {27, 8, 0, 0, 0, "DOUBLE PRECISION", 8},
        {27, 8, 0, -4, 0, "NUMERIC(15,4)", 8},
        {35, 8, 0, 0, 0, "TIMESTAMP", 8},
        {37, 100, 0, 0, 0, "VARCHAR(100)", 102},
        {45, 8, 0, 0, 1, "BLOB SUBTYPE 1", 8},
        {261, 8, 0, 0, 0, "BLOB SUBTYPE 0", 8},
        {23, 16, 0, 0, 0, "", 0},   // a code we do not know: no type text, no size
    };
    for (const Case& c : cases) {
        TRelation t(nullptr);
        auto* f = new TRelationField(&t);
        f->FieldName = "F";
        f->DataType = c.type;
        f->Length = c.length;
        f->Precision = c.precision;
        f->Scale = c.scale;
        f->SubType = c.subType;
        t.Fields.push_back(f);
        EXPECT_EQ(FieldListText(t), "F  " + c.text) << "type " << c.type;
        EXPECT_EQ(MaxRecordLength(t), c.size) << "type " << c.type;
    }
}

TEST_F(UtilsFieldsTest, NoColumns) {
    EXPECT_EQ(FieldListText(table), "");
    EXPECT_EQ(MaxRecordLength(table), 0);
}

TEST_F(UtilsFieldsTest, UnknownTypeKeepsItsLine) {
    Add("A", 8);
    Add("WEIRD", 99);
    Add("B", 12);
    EXPECT_EQ(FieldListText(table), "A      INTEGER\r\nWEIRD  \r\nB      DATE");
}

TEST_F(UtilsFieldsTest, LengthsFromAFileDoNotWrap) {
    Add("A", 37, std::numeric_limits<int32_t>::max());
    Add("B", 14, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(MaxRecordLength(table), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(FieldListText(table), "A  VARCHAR(2147483647)\r\nB  CHAR(2147483647)");
}

TEST_F(UtilsFieldsTest, ExtremeScaleIsWrittenWhole) {
    Add("N", 8, 4, 9, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(FieldListText(table), "N  NUMERIC(9,2147483648)");
}

TEST(UtilsTest, FindRelationAndIndex) {
    InitStatisticsModel();
    TRelation a(nullptr), b(nullptr), c(nullptr);
    a.TableName = "EMPLOYEE";
    b.TableName = "Employee";
    c.TableName = "EMPLOYEE";
    TIndex i1(nullptr), i2(nullptr);
    i1.IndexName = "PK_EMP";
    i2.IndexName = "IDX_EMP";
    const auto relations = DBInfo->Relations;
    const auto indices = DBInfo->Indices;
    DBInfo->Relations = {&a, &b, &c};
    DBInfo->Indices = {&i1, &i2};

    EXPECT_EQ(FindRelation("EMPLOYEE"), &a);   // the first of two
    EXPECT_EQ(FindRelation("Employee"), &b);
    EXPECT_EQ(FindRelation("employee"), nullptr);
    EXPECT_EQ(FindRelation("EMPLOYEE "), nullptr);
    EXPECT_EQ(FindRelation(""), nullptr);
    EXPECT_EQ(FindIndex("IDX_EMP"), &i2);
    EXPECT_EQ(FindIndex("idx_emp"), nullptr);
    EXPECT_EQ(FindIndex("PK_EMP"), &i1);

    DBInfo->Relations = relations;
    DBInfo->Indices = indices;
}

}  // namespace
}  // namespace dv::test
