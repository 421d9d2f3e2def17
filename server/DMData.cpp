#include "DMData.h"

#include <exception>
#include <initializer_list>

#include "server/IBApi.h"
#include "model/dkmain.h"
#include "model/utils.h"

namespace dv {

TDM* DM = nullptr;

namespace {

bool IsPlainUpperIdentifier(const std::string& s) {
    if (s.empty() || !(s[0] >= 'A' && s[0] <= 'Z')) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$')) return false;
    return true;
}

// Precision of a column: stored from ODS 10 on; before that derived from
// the storage length of a scaled number. A scaled BIGINT without one is an
// 18-digit number whatever the ODS.
int32_t ColumnPrecision(int odsMajor, int32_t storedPrecision, int32_t dataType, int32_t length, int32_t scale) {
    int32_t precision = 0;
    if (odsMajor >= 10) {
        precision = storedPrecision;
    } else if (scale != 0) {
        if (length == 2) precision = 5;
        else if (length == 4) precision = 9;
        else if (length == 8) precision = 15;
    }
    if (dataType == 16 && scale != 0 && precision == 0) precision = 18;
    return precision;
}

// The system tables keep names in blank-padded CHAR columns: only the
// blanks on the right are padding. A name may begin with blanks of its own
// (a quoted identifier), and those belong to it.
std::string WithoutPadding(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

std::string NameField(const TIBSQL& q, const char* field) { return WithoutPadding(q.FieldByName(field).AsString()); }

}  // namespace

std::string QuoteIndexName(const std::string& name) {
    const std::string n = WithoutPadding(name);
    if (IsPlainUpperIdentifier(n)) return n;
    std::string quoted = "\"";
    for (char c : n) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

TStringList MetadataColumnsSQL(int odsMajor) {
    TStringList sql = {
        "select R.RDB$RELATION_NAME, R.RDB$FIELD_POSITION, R.RDB$FIELD_NAME, ",
        "F.RDB$FIELD_LENGTH, F.RDB$FIELD_TYPE, F.RDB$FIELD_SCALE, F.RDB$FIELD_SUB_TYPE ",
    };
    if (odsMajor >= 10) sql.push_back(", F.RDB$FIELD_PRECISION, F.RDB$CHARACTER_LENGTH ");
    sql.insert(sql.end(), {
        "from RDB$FIELDS F, RDB$RELATION_FIELDS R ",
        "where F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE and R.RDB$SYSTEM_FLAG = 0 ",
        "and r.RDB$RELATION_NAME NOT STARTING WITH 'RDB$'",
        "order by R.RDB$RELATION_NAME, R.RDB$FIELD_POSITION",
    });
    return sql;
}

TStringList MetadataIndicesSQL() {
    return {
        "select i.RDB$INDEX_NAME, i.RDB$RELATION_NAME, i.RDB$INDEX_INACTIVE,",
        "s.RDB$FIELD_NAME, i.RDB$EXPRESSION_SOURCE,i.RDB$STATISTICS ",
        "from rdb$indices i left join rdb$index_segments s ",
        "on i.RDB$INDEX_NAME = s.RDB$INDEX_NAME ",
        "where i.RDB$RELATION_NAME not starting with 'RDB$' ",
        "order by i.RDB$RELATION_NAME, i.RDB$INDEX_NAME, s.RDB$FIELD_POSITION",
    };
}

TDM::TDM(TComponent* AOwner) : TComponent(AOwner) {
    const TIBClientLibrary& lib = LoadClientLibrary();
    SetName("DM");

    DB = new TIBDatabase(this, lib);
    DB->SetName("DB");

    IBStatService = new TIBStatisticalService(this, lib);
    IBStatService->SetName("IBStatService");
    IBStatService->Options = kFullStatOptions;

    TR = new TIBTransaction(this, lib);
    TR->SetName("TR");
    TR->SetDefaultDatabase(DB);
    TR->Params = {"read", "read_committed", "rec_version", "nowait"};
    DB->DefaultTransaction = TR;

    Q1 = new TIBSQL(this, lib);
    Q1->SetName("Q1");
    Q1->SetDatabase(DB);
    Q1->SetTransaction(TR);

    DBI = new TIBDatabaseInfo(this);
    DBI->SetName("DBI");
    DBI->SetDatabase(DB);

    Q = new TIBSQL(this, lib);
    Q->SetName("Q");
    Q->SetDatabase(DB);
    Q->SetTransaction(TR);
}

TDM::~TDM() {
    if (DM == this) DM = nullptr;
}

void TDM::SetServiceParams(const std::string& serverName, const std::string& dbPath, const std::string& userName,
                           const std::string& password, int protocolIndex) {
    IBStatService->ServerName = serverName;
    IBStatService->DatabaseName = dbPath;
    IBStatService->Params.clear();
    IBStatService->Params.push_back("user_name=" + userName);
    IBStatService->Params.push_back("password=" + password);
    switch (protocolIndex) {
        case 0: IBStatService->Protocol = TProtocol::TCP; break;
        case 1: IBStatService->Protocol = TProtocol::NamedPipe; break;
        case 2: IBStatService->Protocol = TProtocol::Local; break;
        default: break;
    }
}

void TDM::PrepareConnection() {
    DB->Params = IBStatService->Params;
    const std::string& server = IBStatService->ServerName;
    const std::string& path = IBStatService->DatabaseName;
    switch (IBStatService->Protocol) {
        case TProtocol::TCP: DB->DatabaseName = server + ":" + path; break;
        case TProtocol::NamedPipe: DB->DatabaseName = "\\\\" + server + "\\" + path; break;
        case TProtocol::Local: DB->DatabaseName = path; break;
    }
}

void TDM::SetTransactionParams(bool readOnly) {
    TR->Params.clear();
    if (readOnly) TR->Params.push_back("read");
    TR->Params.push_back("read_committed");
    TR->Params.push_back("rec_version");
    TR->Params.push_back("nowait");
}

int32_t TDM::GetAllocatedPages() {
    PrepareConnection();
    DB->Connect();
    int32_t pages = DBI->Allocation();
    DB->Disconnect();
    return pages;
}

void TDM::ReadMetadata() {
    if (!DBInfo) throw EIBClientError("The statistics model does not exist");
    PrepareConnection();
    const int ods = DBInfo->ODSMajor;

    RunWithCleanup(
        [&] {
            DB->Connect();
            TR->StartTransaction();

            // Columns of every table that the statistics listed.
            Q->SQL = MetadataColumnsSQL(ods);
            Q->ExecQuery();
            TRelation* table = nullptr;
            std::string previous;
            for (; !Q->Eof(); Q->Next()) {
                std::string name = NameField(*Q, "RDB$RELATION_NAME");
                if (name != previous) {
                    previous = name;
                    table = FindRelation(name);
                    if (table) {
                        // The table's columns are replaced, not added to: earlier
                        // ones would otherwise stay owned and be saved twice.
                        for (TRelationField* f : table->Fields) delete f;
                        table->Fields.clear();
                    }
                }
                if (!table) continue;
                auto* f = new TRelationField(table);
                f->id = Q->FieldByName("RDB$FIELD_POSITION").AsInteger();
                f->FieldName = NameField(*Q, "RDB$FIELD_NAME");
                f->Length = Q->FieldByName("RDB$FIELD_LENGTH").AsInteger();
                f->DataType = Q->FieldByName("RDB$FIELD_TYPE").AsInteger();
                f->Scale = Q->FieldByName("RDB$FIELD_SCALE").AsInteger();
                f->SubType = Q->FieldByName("RDB$FIELD_SUB_TYPE").AsInteger();
                int32_t stored = ods >= 10 ? Q->FieldByName("RDB$FIELD_PRECISION").AsInteger() : 0;
                f->Precision = ColumnPrecision(ods, stored, f->DataType, f->Length, f->Scale);
                // Declared characters; null (0) for other types.
                if (ods >= 10) f->CharLength = Q->FieldByName("RDB$CHARACTER_LENGTH").AsInteger();
                table->Fields.push_back(f);
            }
            Q->Close();

            // Index keys and stored selectivity; indices that the statistics
            // did not list (inactive ones) are added.
            Q->SQL = MetadataIndicesSQL();
            Q->ExecQuery();
            TIndex* index = nullptr;
            previous.clear();
            for (; !Q->Eof(); Q->Next()) {
                std::string relation = NameField(*Q, "RDB$RELATION_NAME");
                std::string name = NameField(*Q, "RDB$INDEX_NAME");
                if (name != previous || !index) {
                    previous = name;
                    index = FindIndex(name);
                    if (!index) {
                        TRelation* owner = FindRelation(relation);
                        index = new TIndex(owner);
                        index->Relation = owner;
                        index->IndexName = name;
                        index->Inactive = 1;
                        index->Key = "Inactive: ";
                        DBInfo->Indices.push_back(index);
                    }
                    index->Stats = static_cast<float>(Q->FieldByName("RDB$STATISTICS").AsDouble());
                    const TIBField& expression = Q->FieldByName("RDB$EXPRESSION_SOURCE");
                    if (expression.IsNull())
                        index->Key += NameField(*Q, "RDB$FIELD_NAME");
                    else
                        index->Key += expression.AsString();
                } else {
                    index->Key += ", " + NameField(*Q, "RDB$FIELD_NAME");
                }
            }
            Q->Close();
            TR->Commit();
            DB->Disconnect();
        },
        {[&] { if (TR->InTransaction()) TR->Commit(); },
         [&] { if (DB->Connected()) DB->Disconnect(); }});
}

void TDM::RecomputeFrame(const std::function<void()>& work) {
    DB->Connect();
    RunWithCleanup(
        [&] {
            SetTransactionParams(false);
            RunWithCleanup(
                [&] {
                    TR->StartTransaction();
                    work();
                },
                {[&] { if (TR->InTransaction()) TR->Commit(); },
                 [&] { SetTransactionParams(true); }});
        },
        {[&] { if (DB->Connected()) DB->Disconnect(); }});
}

void TDM::RecomputeSelectivity(const std::string& indexName) {
    RecomputeFrame([&] {
        Q->SQL = {"set statistics index " + QuoteIndexName(indexName)};
        Q->ExecQuery();
    });
}

void TDM::RecomputeAllSelectivity() {
    RecomputeFrame([&] {
        // Every index of the database, those of the system tables included.
        Q->SQL = {"SELECT RDB$INDEX_NAME FROM RDB$INDICES "};
        Q->ExecQuery();
        for (; !Q->Eof(); Q->Next()) {
            Q1->SQL = {"set statistics index " + QuoteIndexName(Q->FieldByName("RDB$INDEX_NAME").AsString())};
            Q1->ExecQuery();
            Q1->Close();
        }
    });
}

void TDM::ReadMonitorInfo(TDBMonInfo& info) {
    const bool wasConnected = DB->Connected();
    if (!wasConnected) DB->Connect();
    if (!TR->InTransaction()) TR->StartTransaction();
    Q->SQL = {"select * from TMP$database"};
    Q->ExecQuery();
    if (!Q->Eof()) {
        info.AllocatedPages = Q->FieldByName("TMP$ALLOCATED_PAGES").AsInteger();
        info.CacheBuffers = Q->FieldByName("TMP$CACHE_BUFFERS").AsInteger();
        info.PageReads = Q->FieldByName("TMP$PAGE_READS").AsInteger();
        info.PageWrites = Q->FieldByName("TMP$PAGE_WRITES").AsInteger();
        info.PageFetches = Q->FieldByName("TMP$PAGE_FETCHES").AsInteger();
        info.PageMarks = Q->FieldByName("TMP$PAGE_MARKS").AsInteger();
    }
    Q->Close();
    if (!wasConnected) {
        TR->Commit();
        DB->Disconnect();
    }
}

void TDM::IBMSQL(const std::string&) {}

}  // namespace dv
