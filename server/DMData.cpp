#include "server/DMData.h"

#include <exception>
#include <initializer_list>
#include <vector>

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
    // Before the components go: none of them waits for a server that does
    // not answer.
    CloseConnections(kCloseWait);
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

void TDM::Cancel() {
    FCancelled = true;
    IBStatService->Cancel();
}

TServerWait TDM::Wait() {
    return TServerWait{OnWait, [this] { return FCancelled; }, IBStatService->ServerName};
}

void TDM::CloseConnections(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    IBStatService->Deactivate(bound);
    DB->Abandon(deadline);
}

namespace {

// A connection of a read of its own, made on the thread that reads.
struct TReadConnection {
    TIBDatabase DB;
    TIBTransaction TR;
    TIBSQL Query;
    TReadConnection(const TIBClientLibrary& lib, const std::string& name, const TStringList& params,
                    const TStringList& transaction)
        : DB(nullptr, lib), TR(nullptr, lib), Query(nullptr, lib) {
        DB.DatabaseName = name;
        DB.Params = params;
        TR.SetDefaultDatabase(&DB);
        TR.Params = transaction;
        Query.SetDatabase(&DB);
        Query.SetTransaction(&TR);
    }
    // The attachment; its refusal is a failure of the connection.
    void Connect() {
        try {
            DB.Connect();
        } catch (const EIBInterBaseError& e) {
            throw EIBConnectionFailure(e.what(), e.SQLCode(), e.ErrorCodes());
        }
    }
};

struct TColumnRow {
    std::string Relation, FieldName;
    int32_t Position = 0, Length = 0, DataType = 0, Scale = 0, SubType = 0, StoredPrecision = 0, CharLength = 0;
};

struct TIndexRow {
    std::string Relation, Name, FieldName, Expression;
    bool HasExpression = false;
    double Statistics = 0;
};

struct TMetadataRows {
    std::vector<TColumnRow> Columns;
    std::vector<TIndexRow> Indices;
};

// The next row; a read given up stops here, and the server's answer counts
// against the timeout.
void NextRow(TIBSQL& q, TCallState& state) {
    if (state.Abandoned()) throw EAbort("Operation cancelled");
    q.Next();
    state.Touch();
}

TMetadataRows FetchMetadata(TReadConnection& c, int ods, TCallState& state) {
    TMetadataRows rows;
    c.Connect();
    state.Touch();
    TIBSQL* Q = &c.Query;
    c.TR.StartTransaction();
    Q->SQL = MetadataColumnsSQL(ods);
    Q->ExecQuery();
    state.Touch();
    for (; !Q->Eof(); NextRow(*Q, state)) {
        TColumnRow& r = rows.Columns.emplace_back();
        r.Relation = NameField(*Q, "RDB$RELATION_NAME");
        r.Position = Q->FieldByName("RDB$FIELD_POSITION").AsInteger();
        r.FieldName = NameField(*Q, "RDB$FIELD_NAME");
        r.Length = Q->FieldByName("RDB$FIELD_LENGTH").AsInteger();
        r.DataType = Q->FieldByName("RDB$FIELD_TYPE").AsInteger();
        r.Scale = Q->FieldByName("RDB$FIELD_SCALE").AsInteger();
        r.SubType = Q->FieldByName("RDB$FIELD_SUB_TYPE").AsInteger();
        r.StoredPrecision = ods >= 10 ? Q->FieldByName("RDB$FIELD_PRECISION").AsInteger() : 0;
        // Declared characters; null (0) for other types.
        if (ods >= 10) r.CharLength = Q->FieldByName("RDB$CHARACTER_LENGTH").AsInteger();
    }
    Q->Close();

    Q->SQL = MetadataIndicesSQL();
    Q->ExecQuery();
    state.Touch();
    for (; !Q->Eof(); NextRow(*Q, state)) {
        TIndexRow& r = rows.Indices.emplace_back();
        r.Relation = NameField(*Q, "RDB$RELATION_NAME");
        r.Name = NameField(*Q, "RDB$INDEX_NAME");
        r.Statistics = Q->FieldByName("RDB$STATISTICS").AsDouble();
        const TIBField& expression = Q->FieldByName("RDB$EXPRESSION_SOURCE");
        r.HasExpression = !expression.IsNull();
        if (r.HasExpression) r.Expression = expression.AsString();
        r.FieldName = NameField(*Q, "RDB$FIELD_NAME");
    }
    Q->Close();
    c.TR.Commit();
    c.DB.Disconnect();
    return rows;
}

}  // namespace

int32_t TDM::GetAllocatedPages() {
    PrepareConnection();
    FCancelled = false;
    const TIBClientLibrary* lib = &DB->Lib();
    const std::string name = DB->DatabaseName;
    const TStringList params = DB->Params;
    const TStringList transaction = TR->Params;
    return RunOffThread<int32_t>(
        [lib, name, params, transaction](TCallState& state) {
            TReadConnection c(*lib, name, params, transaction);
            c.Connect();
            state.Touch();
            TIBDatabaseInfo info(nullptr);
            info.SetDatabase(&c.DB);
            const int32_t pages = info.Allocation();
            c.DB.Disconnect();
            return pages;
        },
        Wait());
}

void TDM::ReadMetadata() {
    if (!DBInfo) throw EIBClientError("The statistics model does not exist");
    PrepareConnection();
    FCancelled = false;
    const int ods = DBInfo->ODSMajor;
    const TIBClientLibrary* lib = &DB->Lib();
    const std::string name = DB->DatabaseName;
    const TStringList params = DB->Params;
    const TStringList transaction = TR->Params;
    // The connection's components are destroyed on the reading thread: one
    // given up lets go of its attachment there, whenever the server answers.
    const TMetadataRows rows = RunOffThread<TMetadataRows>(
        [lib, name, params, transaction, ods](TCallState& state) {
            TReadConnection c(*lib, name, params, transaction);
            return FetchMetadata(c, ods, state);
        },
        Wait());

    // Columns of every table that the statistics listed.
    TRelation* table = nullptr;
    std::string previous;
    for (const TColumnRow& r : rows.Columns) {
        if (r.Relation != previous) {
            previous = r.Relation;
            table = FindRelation(r.Relation);
            if (table) {
                // The table's columns are replaced, not added to: earlier
                // ones would otherwise stay owned and be saved twice.
                for (TRelationField* f : table->Fields) delete f;
                table->Fields.clear();
            }
        }
        if (!table) continue;
        auto* f = new TRelationField(table);
        f->id = r.Position;
        f->FieldName = r.FieldName;
        f->Length = r.Length;
        f->DataType = r.DataType;
        f->Scale = r.Scale;
        f->SubType = r.SubType;
        f->Precision = ColumnPrecision(ods, r.StoredPrecision, f->DataType, f->Length, f->Scale);
        f->CharLength = r.CharLength;
        table->Fields.push_back(f);
    }

    // Index keys and stored selectivity; indices that the statistics did not
    // list (inactive ones) are added.
    TIndex* index = nullptr;
    previous.clear();
    for (const TIndexRow& r : rows.Indices) {
        if (r.Name != previous || !index) {
            previous = r.Name;
            index = FindIndex(r.Name);
            if (!index) {
                TRelation* owner = FindRelation(r.Relation);
                index = new TIndex(owner);
                index->Relation = owner;
                index->IndexName = r.Name;
                index->Inactive = 1;
                index->Key = "Inactive: ";
                DBInfo->Indices.push_back(index);
            }
            index->Stats = static_cast<float>(r.Statistics);
            index->Key += r.HasExpression ? r.Expression : r.FieldName;
        } else {
            index->Key += ", " + r.FieldName;
        }
    }
}

bool IsConnectionFailure(const std::exception& e) {
    if (dynamic_cast<const EIBConnectionFailure*>(&e) || dynamic_cast<const EIBServerTimeout*>(&e)) return true;
    const auto* ib = dynamic_cast<const EIBInterBaseError*>(&e);
    if (!ib) return false;
    static const TIscStatus network[] = {isc_network_error,   isc_net_read_err,         isc_net_write_err,
                                         isc_lost_db_connection, isc_net_connect_err,   isc_net_connect_listen_err,
                                         isc_bad_db_handle,   isc_bad_svc_handle,       isc_att_shutdown};
    for (TIscStatus code : ib->ErrorCodes())
        for (TIscStatus n : network)
            if (code == n) return true;
    return false;
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

}  // namespace dv
