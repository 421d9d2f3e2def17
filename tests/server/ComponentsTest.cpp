// The database components on their own against the local server: column
// conversions, nulls, text blobs, errors with the server's message,
// transactions and the order in which components may go away.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/FirebirdTestServer.h"
#include "platform/text/DateUtils.h"
#include "server/IBApi.h"
#include "server/IBComponents.h"

using namespace dv;
using namespace dv::test;

namespace {

const char* kTypesDdl = R"(
create table V (
  K integer not null,
  SM smallint, I integer, BI bigint, N92 numeric(9,2), N184 numeric(18,4),
  DP double precision, FL float, CH char(5), VC varchar(20),
  TS timestamp, DT date, TM time, BO boolean, BL blob sub_type text
);
commit;
insert into V values (1, -7, 2147483647, 9000000000, 123.45, -0.05, 2.5, 0.25, 'ab', 'hello',
  '2013-05-07 14:05:30', '2013-05-07', '14:05:30', true, 'short');
insert into V (K) values (2);
)";

class ComponentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        db = std::make_unique<TFbTestDatabase>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name(), kTypesDdl);
        ASSERT_TRUE(db->Created()) << db->CreateOutput();
        conn = std::make_unique<TIBDatabase>(nullptr);
        conn->DatabaseName = db->Remote();
        conn->Params = {"user_name=SYSDBA", "password=" + FbPassword()};
        tr = std::make_unique<TIBTransaction>(nullptr);
        tr->SetDefaultDatabase(conn.get());
        tr->Params = {"read", "read_committed", "rec_version", "nowait"};
        q = std::make_unique<TIBSQL>(nullptr);
        q->SetDatabase(conn.get());
        q->SetTransaction(tr.get());
    }
    void TearDown() override {
        q.reset();
        tr.reset();
        conn.reset();
    }

    void OpenRow(int key) {
        if (!conn->Connected()) conn->Connect();
        if (!tr->InTransaction()) tr->StartTransaction();
        q->SQL = {"select * from V", "where K = " + std::to_string(key)};
        q->ExecQuery();
        ASSERT_FALSE(q->Eof());
    }

    std::unique_ptr<TFbTestDatabase> db;
    std::unique_ptr<TIBDatabase> conn;
    std::unique_ptr<TIBTransaction> tr;
    std::unique_ptr<TIBSQL> q;
};

}  // namespace

TEST_F(ComponentsTest, ColumnsReadAsIntegerTextNumberAndDate) {
    OpenRow(1);
    struct Case {
        const char* Column;
        const char* Text;
        double Number;
    } cases[] = {
        {"SM", "-7", -7},
        {"I", "2147483647", 2147483647.0},
        {"BI", "9000000000", 9e9},
        {"N92", "123.45", 123.45},
        {"N184", "-0.0500", -0.05},
        {"DP", "2.5", 2.5},
        {"FL", "0.25", 0.25},
        {"CH", "ab   ", NAN},    // CHAR comes back padded, as stored
        {"VC", "hello", NAN},
        {"BO", "TRUE", 1},
        {"BL", "short", NAN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Column);
        const TIBField& f = q->FieldByName(c.Column);
        EXPECT_FALSE(f.IsNull());
        EXPECT_EQ(f.AsString(), c.Text);
        if (!std::isnan(c.Number)) {
            EXPECT_DOUBLE_EQ(f.AsDouble(), c.Number);
        }
    }
    EXPECT_EQ(q->FieldByName("SM").AsInteger(), -7);
    EXPECT_EQ(q->FieldByName("I").AsInteger(), 2147483647);
    EXPECT_EQ(q->FieldByName("N92").AsInteger(), 123);
    EXPECT_EQ(q->FieldByName("BI").AsInt64(), 9000000000LL);
    EXPECT_THROW(q->FieldByName("BI").AsInteger(), EIBClientError) << "9e9 does not fit 32 bits";
    EXPECT_THROW(q->FieldByName("VC").AsInteger(), EConvertError);

    TDateTime day = EncodeDate(2013, 5, 7), time = EncodeTime(14, 5, 30, 0);
    EXPECT_NEAR(q->FieldByName("TS").AsDateTime(), day + time, 1e-9);
    EXPECT_DOUBLE_EQ(q->FieldByName("DT").AsDateTime(), day);
    EXPECT_NEAR(q->FieldByName("TM").AsDateTime(), time, 1e-9);
    EXPECT_THROW(q->FieldByName("I").AsDateTime(), EIBClientError);

    // Column names are found ignoring case; unknown ones are an error.
    EXPECT_EQ(q->FieldByName("vc").AsString(), "hello");
    try {
        q->FieldByName("NOPE");
        FAIL();
    } catch (const EIBClientError& e) {
        EXPECT_STREQ(e.what(), "Field \"NOPE\" not found");
    }
    q->Next();
    EXPECT_TRUE(q->Eof());
}

TEST_F(ComponentsTest, NullReadsAsZeroOrEmpty) {
    OpenRow(2);
    for (const char* col : {"SM", "I", "BI", "N92", "N184", "DP", "FL", "CH", "VC", "TS", "DT", "TM", "BO", "BL"}) {
        SCOPED_TRACE(col);
        const TIBField& f = q->FieldByName(col);
        EXPECT_TRUE(f.IsNull());
        EXPECT_EQ(f.AsString(), "");
        EXPECT_EQ(f.AsInteger(), 0);
        EXPECT_EQ(f.AsDouble(), 0.0);
        EXPECT_EQ(f.AsDateTime(), 0.0);
    }
    EXPECT_FALSE(q->FieldByName("K").IsNull());
}

TEST_F(ComponentsTest, LongTextBlobIsReadWhole) {
    // Far more than one segment; the blob is written by the server's own tool.
    std::string text;
    for (int i = 0; i < 12000; ++i) text += "line " + std::to_string(i) + "\n";
    ASSERT_EQ(db->Exec("set term ^;\nexecute block as declare b blob sub_type text = ''; declare s varchar(16000) = '';\n"
                       "declare i integer = 0; begin while (i < 12000) do begin\n"
                       "s = s || 'line ' || i || ascii_char(10); i = i + 1;\n"
                       "if (mod(i, 1000) = 0) then begin b = b || s; s = ''; end end\n"
                       "insert into V (K, BL) values (3, :b); end^\nset term ;^\ncommit;")
                  .Status,
              0);
    OpenRow(3);
    EXPECT_EQ(q->FieldByName("BL").AsString(), text);
}

TEST_F(ComponentsTest, ServerErrorsCarryTheMessageAndSqlCode) {
    conn->Connect();
    tr->StartTransaction();
    q->SQL = {"select * from NO_SUCH_TABLE"};
    try {
        q->ExecQuery();
        FAIL();
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Table unknown\nNO_SUCH_TABLE"), std::string::npos) << e.what();
        EXPECT_EQ(e.SQLCode(), -204);
        EXPECT_EQ(e.ErrorCodes().front(), isc_dsql_error);
    }
    // The statement and the connection are still usable.
    q->SQL = {"select count(*) as C from V"};
    q->ExecQuery();
    EXPECT_EQ(q->FieldByName("C").AsInteger(), 2);
}

TEST_F(ComponentsTest, ReadTransactionRefusesWritesAndWritingOneCommits) {
    conn->Connect();
    tr->StartTransaction();
    q->SQL = {"insert into V (K) values (10)"};
    try {
        q->ExecQuery();
        FAIL() << "wrote in a read-only transaction";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("read-only transaction"), std::string::npos) << e.what();
    }
    tr->Commit();

    tr->Params = {"read_committed", "rec_version", "nowait"};
    tr->StartTransaction();
    q->ExecQuery();   // a statement without rows
    EXPECT_TRUE(q->Eof());
    EXPECT_FALSE(q->Open());
    tr->Commit();
    EXPECT_EQ(db->QueryValue("select count(*) from V where K = 10;"), "1");
}

TEST_F(ComponentsTest, MisuseIsAnErrorOfTheLayer) {
    q->SQL = {"select * from V"};
    EXPECT_THROW(q->ExecQuery(), EIBClientError);          // not connected
    EXPECT_THROW(tr->StartTransaction(), EIBClientError);  // not connected
    conn->Connect();
    EXPECT_THROW(q->ExecQuery(), EIBClientError);          // no transaction running
    EXPECT_THROW(q->Next(), EIBClientError);               // no cursor
    tr->StartTransaction();
    EXPECT_THROW(tr->StartTransaction(), EIBClientError);
    tr->Params = {"read", "autocommit_please"};
    tr->Commit();
    EXPECT_THROW(tr->StartTransaction(), EIBClientError);
    conn->Params = {"user_name=" + std::string(300, 'x')};
    conn->Disconnect();
    EXPECT_THROW(conn->Connect(), EIBClientError);
    EXPECT_FALSE(conn->Connected());
}

TEST_F(ComponentsTest, DisconnectEndsOpenCursorAndTransactionAndAllowsAFreshStart) {
    OpenRow(1);
    EXPECT_TRUE(q->Open());
    conn->Disconnect();
    EXPECT_FALSE(conn->Connected());
    EXPECT_FALSE(tr->InTransaction());
    EXPECT_FALSE(q->Open());
    EXPECT_TRUE(q->Eof());
    OpenRow(1);
    EXPECT_EQ(q->FieldByName("VC").AsString(), "hello");
    tr->Commit();
    EXPECT_FALSE(q->Open()) << "the cursor ends with its transaction";
    conn->Disconnect();
}

TEST_F(ComponentsTest, ComponentsMayGoAwayInAnyOrder) {
    OpenRow(1);
    conn.reset();   // the database first, with a cursor open
    EXPECT_EQ(q->Database(), nullptr);
    EXPECT_FALSE(tr->InTransaction());
    EXPECT_THROW(q->ExecQuery(), EIBClientError);
    tr.reset();
    EXPECT_EQ(q->Transaction(), nullptr);
    q.reset();
}
