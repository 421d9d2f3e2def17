#include "server/IBComponents.h"

#include "platform/system/TerminationSignals.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>

#include "server/IBApi.h"

namespace dv {

namespace {

// A field's column descriptor (kept untyped in the header, which does not
// see the C API).
const XSQLVAR* Var(const void* p) { return static_cast<const XSQLVAR*>(p); }

// The transaction existence block of isc_start_multiple, laid out as the
// client library reads it.
struct TTransactionBlock {
    FB_API_HANDLE* Database;
    int TpbLength;
    const char* Tpb;
};

// Days from the engine's date origin (17 November 1858) to the TDateTime
// origin (30 December 1899).
constexpr int kDateOffset = 15018;
constexpr double kTimeUnitsPerDay = 86400.0 * ISC_TIME_SECONDS_PRECISION;

template <class T>
void RemoveFrom(std::vector<T*>& v, T* x) {
    v.erase(std::remove(v.begin(), v.end(), x), v.end());
}

}  // namespace

// ---------------------------------------------------------------------------
// TIBDatabase

TIBDatabase::TIBDatabase(TComponent* AOwner) : TIBDatabase(AOwner, LoadClientLibrary()) {}

TIBDatabase::TIBDatabase(TComponent* AOwner, const TIBClientLibrary& lib)
    : TComponent(AOwner), FLib(&lib), FHandle(lib, THandleKind::Database) {}

TIBDatabase::~TIBDatabase() {
    // Statements and transactions give up their handles before the
    // attachment ends, then forget this component.
    std::vector<TIBDatabaseClient*> clients = FClients;
    if (Connected())
        for (TIBDatabaseClient* c : clients) c->DatabaseDisconnecting();
    FHandle.Release();
    for (TIBDatabaseClient* c : clients) c->DatabaseFreed();
}

void TIBDatabase::Connect() {
    if (Connected()) return;
    TParamBlock dpb = BuildDPB(Params);
    TStatusVector st;
    FLib->isc_attach_database(st.Get(), 0, DatabaseName.c_str(), FHandle.Ptr(), dpb.Length(), dpb.Data());
    ReclaimTerminationSignals();
    st.Check(*FLib);

    // Statements use dialect 3 unless the database speaks an older one.
    FSQLDialect = 3;
    const char item = isc_info_db_sql_dialect;
    char buf[32] = {};
    TStatusVector st2;
    FLib->isc_database_info(st2.Get(), FHandle.Ptr(), 1, &item, sizeof buf, buf);
    if (!st2.Failed() && buf[0] == isc_info_db_sql_dialect) {
        int len = DecodeInteger(buf + 1, 2);
        int dialect = DecodeInteger(buf + 3, len);
        if (dialect >= 1 && dialect < 3) FSQLDialect = static_cast<unsigned short>(dialect);
    }
}

void TIBDatabase::Disconnect() {
    if (!Connected()) return;
    std::vector<TIBDatabaseClient*> clients = FClients;
    for (TIBDatabaseClient* c : clients) c->DatabaseDisconnecting();
    TStatusVector st;
    FLib->isc_detach_database(st.Get(), FHandle.Ptr());
    if (st.Failed()) {
        FHandle.Forget();
        throw st.Error(*FLib);
    }
}

void TIBDatabase::Abandon(std::chrono::steady_clock::time_point deadline) {
    if (!Connected()) return;
    std::vector<std::pair<THandleKind, TApiHandle>> handles;
    for (TIBDatabaseClient* c : std::vector<TIBDatabaseClient*>(FClients))
        if (TApiHandle tr = c->DatabaseAbandoned()) handles.emplace_back(THandleKind::Transaction, tr);
    handles.emplace_back(THandleKind::Database, FHandle.Get());
    FHandle.Forget();
    ReleaseOffThread(*FLib, std::move(handles), deadline);
}

void TIBDatabase::CheckConnected() const {
    if (!Connected()) throw EIBClientError("Database not connected");
}

void TIBDatabase::AddClient(TIBDatabaseClient* c) {
    if (std::find(FClients.begin(), FClients.end(), c) == FClients.end()) FClients.push_back(c);
}

void TIBDatabase::RemoveClient(TIBDatabaseClient* c) { RemoveFrom(FClients, c); }

// ---------------------------------------------------------------------------
// TIBTransaction

TIBTransaction::TIBTransaction(TComponent* AOwner) : TIBTransaction(AOwner, LoadClientLibrary()) {}

TIBTransaction::TIBTransaction(TComponent* AOwner, const TIBClientLibrary& lib)
    : TComponent(AOwner), FLib(&lib), FHandle(lib, THandleKind::Transaction) {}

TIBTransaction::~TIBTransaction() {
    for (TIBSQL* q : std::vector<TIBSQL*>(FStatements)) q->TransactionFreed();
    FHandle.Release();
    if (FDatabase) FDatabase->RemoveClient(this);
}

void TIBTransaction::SetDefaultDatabase(TIBDatabase* db) {
    if (db == FDatabase) return;
    if (InTransaction()) throw EIBClientError("Cannot change the database of an active transaction");
    if (FDatabase) FDatabase->RemoveClient(this);
    FDatabase = db;
    if (FDatabase) FDatabase->AddClient(this);
}

void TIBTransaction::StartTransaction() {
    if (InTransaction()) throw EIBClientError("Transaction is active");
    if (!FDatabase) throw EIBClientError("Transaction has no database");
    FDatabase->CheckConnected();
    TParamBlock tpb = BuildTPB(Params);
    TTransactionBlock teb{FDatabase->Handle(), tpb.Length(), tpb.Data()};
    TStatusVector st;
    FLib->isc_start_multiple(st.Get(), FHandle.Ptr(), 1, &teb);
    st.Check(*FLib);
}

void TIBTransaction::CheckInTransaction() const {
    if (!InTransaction()) throw EIBClientError("Transaction is not active");
}

void TIBTransaction::Commit() {
    CheckInTransaction();
    TStatusVector st;
    FLib->isc_commit_transaction(st.Get(), FHandle.Ptr());
    st.Check(*FLib);
    Ended();
}

void TIBTransaction::Rollback() {
    CheckInTransaction();
    TStatusVector st;
    FLib->isc_rollback_transaction(st.Get(), FHandle.Ptr());
    st.Check(*FLib);
    Ended();
}

void TIBTransaction::Ended() {
    for (TIBSQL* q : std::vector<TIBSQL*>(FStatements)) q->TransactionEnded();
}

void TIBTransaction::AddStatement(TIBSQL* q) {
    if (std::find(FStatements.begin(), FStatements.end(), q) == FStatements.end()) FStatements.push_back(q);
}

void TIBTransaction::RemoveStatement(TIBSQL* q) { RemoveFrom(FStatements, q); }

void TIBTransaction::DatabaseDisconnecting() {
    // The attachment is ending under an open transaction: it cannot be
    // committed from here, and the server would refuse to detach.
    if (InTransaction()) {
        FHandle.Release();
        Ended();
    }
}

TApiHandle TIBTransaction::DatabaseAbandoned() {
    const TApiHandle handle = FHandle.Get();
    FHandle.Forget();
    if (handle) Ended();
    return handle;
}

void TIBTransaction::DatabaseFreed() {
    FHandle.Release();
    Ended();
    FDatabase = nullptr;
}

// ---------------------------------------------------------------------------
// TIBField

namespace {

int64_t Pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// Decimal text of an integer with a (non-positive) scale: 12345, -2 -> 123.45.
std::string ScaledToString(int64_t v, int scale) {
    if (scale >= 0) return IntToStr(v);
    bool neg = v < 0;
    uint64_t u = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::string digits = std::to_string(u);
    size_t decimals = static_cast<size_t>(-scale);
    if (digits.size() <= decimals) digits.insert(0, decimals - digits.size() + 1, '0');
    digits.insert(digits.size() - decimals, 1, FormatSettings().DecimalSeparator);
    return neg ? "-" + digits : digits;
}

}  // namespace

bool TIBField::IsNull() const { return (Var(FVar)->sqltype & 1) && Var(FVar)->sqlind && *Var(FVar)->sqlind == -1; }

void TIBField::Unsupported(const char* as) const {
    throw EIBClientError("Field \"" + FName + "\" cannot be read as " + as);
}

int64_t TIBField::AsInt64() const {
    if (IsNull()) return 0;
    const char* d = Var(FVar)->sqldata;
    int scale = Var(FVar)->sqlscale;
    auto scaled = [scale](int64_t v) -> int64_t {
        if (scale >= 0) return v * Pow10(scale);
        return Round(static_cast<double>(v) / static_cast<double>(Pow10(-scale)));
    };
    switch (Var(FVar)->sqltype & ~1) {
        case SQL_SHORT: { int16_t v; std::memcpy(&v, d, 2); return scaled(v); }
        case SQL_LONG: { int32_t v; std::memcpy(&v, d, 4); return scaled(v); }
        case SQL_INT64: { int64_t v; std::memcpy(&v, d, 8); return scaled(v); }
        case SQL_FLOAT: { float v; std::memcpy(&v, d, 4); return Round(v); }
        case SQL_DOUBLE:
        case SQL_D_FLOAT: { double v; std::memcpy(&v, d, 8); return Round(v); }
        case SQL_BOOLEAN: return *d ? 1 : 0;
        case SQL_TEXT:
        case SQL_VARYING: return StrToInt64(Trim(AsString()));
        default: Unsupported("an integer");
    }
}

int32_t TIBField::AsInteger() const {
    int64_t v = AsInt64();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw EIBClientError("Field \"" + FName + "\": " + IntToStr(v) + " is out of the integer range");
    return static_cast<int32_t>(v);
}

double TIBField::AsDouble() const {
    if (IsNull()) return 0;
    const char* d = Var(FVar)->sqldata;
    auto scaled = [this](int64_t v) { return static_cast<double>(v) / std::pow(10.0, -Var(FVar)->sqlscale); };
    switch (Var(FVar)->sqltype & ~1) {
        case SQL_SHORT: { int16_t v; std::memcpy(&v, d, 2); return scaled(v); }
        case SQL_LONG: { int32_t v; std::memcpy(&v, d, 4); return scaled(v); }
        case SQL_INT64: { int64_t v; std::memcpy(&v, d, 8); return scaled(v); }
        case SQL_FLOAT: { float v; std::memcpy(&v, d, 4); return v; }
        case SQL_DOUBLE:
        case SQL_D_FLOAT: { double v; std::memcpy(&v, d, 8); return v; }
        case SQL_BOOLEAN: return *d ? 1 : 0;
        case SQL_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME: return AsDateTime();
        case SQL_TEXT:
        case SQL_VARYING: return StrToFloat(Trim(AsString()));
        default: Unsupported("a number");
    }
}

std::string TIBField::AsString() const {
    if (IsNull()) return std::string();
    const char* d = Var(FVar)->sqldata;
    switch (Var(FVar)->sqltype & ~1) {
        case SQL_TEXT: return std::string(d, static_cast<size_t>(Var(FVar)->sqllen));
        case SQL_VARYING: {
            uint16_t len;
            std::memcpy(&len, d, 2);
            return std::string(d + 2, std::min<size_t>(len, static_cast<size_t>(Var(FVar)->sqllen)));
        }
        case SQL_SHORT: { int16_t v; std::memcpy(&v, d, 2); return ScaledToString(v, Var(FVar)->sqlscale); }
        case SQL_LONG: { int32_t v; std::memcpy(&v, d, 4); return ScaledToString(v, Var(FVar)->sqlscale); }
        case SQL_INT64: { int64_t v; std::memcpy(&v, d, 8); return ScaledToString(v, Var(FVar)->sqlscale); }
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT: return FloatToStr(AsDouble());
        case SQL_BOOLEAN: return *d ? "TRUE" : "FALSE";
        case SQL_TIMESTAMP: return DateTimeToStr(AsDateTime());
        case SQL_TYPE_DATE: return DateToStr(AsDateTime());
        case SQL_TYPE_TIME: return FormatDateTime("hh:nn:ss", AsDateTime());
        case SQL_BLOB: return ReadBlob();
        default: Unsupported("a string");
    }
}

TDateTime TIBField::AsDateTime() const {
    if (IsNull()) return 0;
    const char* d = Var(FVar)->sqldata;
    switch (Var(FVar)->sqltype & ~1) {
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP ts;
            std::memcpy(&ts, d, sizeof ts);
            return (ts.timestamp_date - kDateOffset) + ts.timestamp_time / kTimeUnitsPerDay;
        }
        case SQL_TYPE_DATE: { ISC_DATE v; std::memcpy(&v, d, sizeof v); return v - kDateOffset; }
        case SQL_TYPE_TIME: { ISC_TIME v; std::memcpy(&v, d, sizeof v); return v / kTimeUnitsPerDay; }
        default: Unsupported("a date and time");
    }
}

std::string TIBField::ReadBlob() const {
    TIBSQL& q = *FOwner;
    q.CheckDatabaseAndTransaction();
    const TIBClientLibrary& lib = *q.FLib;
    TIBHandle blob(lib, THandleKind::Blob);
    ISC_QUAD id;
    std::memcpy(&id, Var(FVar)->sqldata, sizeof id);
    TStatusVector st;
    lib.isc_open_blob2(st.Get(), q.FDatabase->Handle(), q.FTransaction->Handle(), blob.Ptr(), &id, 0, nullptr);
    st.Check(lib);
    std::string result;
    char buf[8192];
    for (;;) {
        unsigned short got = 0;
        ISC_STATUS rc = lib.isc_get_segment(st.Get(), blob.Ptr(), &got, sizeof buf, buf);
        if (rc == isc_segstr_eof) break;
        if (rc != 0 && rc != isc_segment) st.Check(lib);
        result.append(buf, got);
    }
    lib.isc_close_blob(st.Get(), blob.Ptr());
    st.Check(lib);
    return result;
}

// ---------------------------------------------------------------------------
// TIBSQL

TIBSQL::TIBSQL(TComponent* AOwner) : TIBSQL(AOwner, LoadClientLibrary()) {}

TIBSQL::TIBSQL(TComponent* AOwner, const TIBClientLibrary& lib)
    : TComponent(AOwner), FLib(&lib), FHandle(lib, THandleKind::Statement) {}

TIBSQL::~TIBSQL() {
    FreeHandle();
    if (FTransaction) FTransaction->RemoveStatement(this);
    if (FDatabase) FDatabase->RemoveClient(this);
}

void TIBSQL::SetDatabase(TIBDatabase* db) {
    if (db == FDatabase) return;
    FreeHandle();
    if (FDatabase) FDatabase->RemoveClient(this);
    FDatabase = db;
    if (FDatabase) FDatabase->AddClient(this);
}

void TIBSQL::SetTransaction(TIBTransaction* tr) {
    if (tr == FTransaction) return;
    if (FOpen) throw EIBClientError("Cannot change the transaction of an open statement");
    if (FTransaction) FTransaction->RemoveStatement(this);
    FTransaction = tr;
    if (FTransaction) FTransaction->AddStatement(this);
}

std::string TIBSQL::SQLText() const {
    std::string text;
    for (const std::string& line : SQL) text += line + "\r\n";
    return text;
}

void TIBSQL::CheckDatabaseAndTransaction() const {
    if (!FDatabase) throw EIBClientError("Statement has no database");
    FDatabase->CheckConnected();
    if (!FTransaction) throw EIBClientError("Statement has no transaction");
    FTransaction->CheckInTransaction();
}

void TIBSQL::FreeHandle() {
    FOpen = false;
    FEof = true;
    FFields.clear();
    FHandle.Release();
}

void TIBSQL::Prepare() {
    TStatusVector st;
    if (!FHandle) {
        FLib->isc_dsql_allocate_statement(st.Get(), FDatabase->Handle(), FHandle.Ptr());
        st.Check(*FLib);
    }
    FFields.clear();
    FBuffers.clear();

    int n = 1;
    FSqlda.assign(XSQLDA_LENGTH(n), 0);
    auto* da = reinterpret_cast<XSQLDA*>(FSqlda.data());
    da->version = SQLDA_VERSION1;
    da->sqln = static_cast<short>(n);
    std::string text = SQLText();
    FLib->isc_dsql_prepare(st.Get(), FTransaction->Handle(), FHandle.Ptr(), 0, text.c_str(),
                           FDatabase->SQLDialect(), da);
    st.Check(*FLib);

    if (da->sqld > da->sqln) {
        n = da->sqld;
        FSqlda.assign(XSQLDA_LENGTH(n), 0);
        da = reinterpret_cast<XSQLDA*>(FSqlda.data());
        da->version = SQLDA_VERSION1;
        da->sqln = static_cast<short>(n);
        FLib->isc_dsql_describe(st.Get(), FHandle.Ptr(), SQLDA_VERSION1, da);
        st.Check(*FLib);
    }

    const char item = isc_info_sql_stmt_type;
    char buf[16] = {};
    FLib->isc_dsql_sql_info(st.Get(), FHandle.Ptr(), 1, &item, sizeof buf, buf);
    st.Check(*FLib);
    FStatementType = 0;
    if (buf[0] == isc_info_sql_stmt_type) FStatementType = DecodeInteger(buf + 3, DecodeInteger(buf + 1, 2));

    int count = da->sqld;
    FIndicators.assign(static_cast<size_t>(count), 0);
    FFields.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        XSQLVAR& v = da->sqlvar[i];
        size_t size = static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
        FBuffers.emplace_back(new char[std::max<size_t>(size, 1)]());
        v.sqldata = FBuffers.back().get();
        v.sqlind = &FIndicators[static_cast<size_t>(i)];
        TIBField& f = FFields[static_cast<size_t>(i)];
        f.FOwner = this;
        f.FVar = &v;
        f.FName = std::string(v.aliasname, static_cast<size_t>(std::max<short>(v.aliasname_length, 0)));
    }
}

void TIBSQL::ExecQuery() {
    CheckDatabaseAndTransaction();
    if (FOpen) Close();
    Prepare();
    TStatusVector st;
    bool hasRows = FStatementType == isc_info_sql_stmt_select ||
                   FStatementType == isc_info_sql_stmt_select_for_upd;
    FLib->isc_dsql_execute(st.Get(), FTransaction->Handle(), FHandle.Ptr(), FDatabase->SQLDialect(), nullptr);
    st.Check(*FLib);
    if (!hasRows) {
        FEof = true;
        return;
    }
    FOpen = true;
    FEof = false;
    Next();
}

void TIBSQL::Next() {
    if (!FOpen) throw EIBClientError("Statement has no open cursor");
    if (FEof) return;
    auto* da = reinterpret_cast<XSQLDA*>(FSqlda.data());
    TStatusVector st;
    ISC_STATUS rc = FLib->isc_dsql_fetch(st.Get(), FHandle.Ptr(), SQLDA_VERSION1, da);
    if (rc == 100) {
        FEof = true;
        return;
    }
    st.Check(*FLib);
}

void TIBSQL::Close() {
    if (!FOpen) return;
    FOpen = false;
    FEof = true;
    TStatusVector st;
    FLib->isc_dsql_free_statement(st.Get(), FHandle.Ptr(), DSQL_close);
    st.Check(*FLib);
}

const TIBField& TIBSQL::FieldByName(const std::string& name) const {
    for (const TIBField& f : FFields)
        if (SameText(f.Name(), name)) return f;
    throw EIBClientError("Field \"" + name + "\" not found");
}

void TIBSQL::DatabaseDisconnecting() { FreeHandle(); }

TApiHandle TIBSQL::DatabaseAbandoned() {
    // The statement goes with the attachment.
    FOpen = false;
    FEof = true;
    FFields.clear();
    FHandle.Forget();
    return 0;
}

void TIBSQL::DatabaseFreed() {
    FreeHandle();
    FDatabase = nullptr;
}

void TIBSQL::TransactionEnded() {
    // The server closed the cursor with the transaction; the prepared
    // statement itself stays valid.
    FOpen = false;
    FEof = true;
}

void TIBSQL::TransactionFreed() {
    TransactionEnded();
    FTransaction = nullptr;
}

// ---------------------------------------------------------------------------
// TIBDatabaseInfo

TIBDatabaseInfo::~TIBDatabaseInfo() {
    if (FDatabase) FDatabase->RemoveClient(this);
}

void TIBDatabaseInfo::SetDatabase(TIBDatabase* db) {
    if (db == FDatabase) return;
    if (FDatabase) FDatabase->RemoveClient(this);
    FDatabase = db;
    if (FDatabase) FDatabase->AddClient(this);
}

int32_t TIBDatabaseInfo::GetLongDatabaseInfo(uint8_t item) {
    if (!FDatabase) throw EIBClientError("Database information has no database");
    FDatabase->CheckConnected();
    const TIBClientLibrary& lib = FDatabase->Lib();
    const char request = static_cast<char>(item);
    char buf[64] = {};
    TStatusVector st;
    lib.isc_database_info(st.Get(), FDatabase->Handle(), 1, &request, sizeof buf, buf);
    st.Check(lib);
    if (static_cast<uint8_t>(buf[0]) != item)
        throw EIBClientError("The server did not answer database information item " + IntToStr(item));
    int len = DecodeInteger(buf + 1, 2);
    return DecodeInteger(buf + 3, len);
}

int32_t TIBDatabaseInfo::Allocation() { return GetLongDatabaseInfo(isc_info_allocation); }

// ---------------------------------------------------------------------------
// TIBStatisticalService

TIBStatisticalService::TIBStatisticalService(TComponent* AOwner)
    : TIBStatisticalService(AOwner, LoadClientLibrary()) {}

TIBStatisticalService::TIBStatisticalService(TComponent* AOwner, const TIBClientLibrary& lib)
    : TComponent(AOwner), FLib(&lib), FHandle(lib, THandleKind::Service) {}

// What one run of the service has read so far, shared by the component and
// the thread that asks the server for more.
struct TIBStatisticalService::TReader {
    const TIBClientLibrary* Lib = nullptr;
    TApiHandle Handle = 0;
    size_t BufferSize = kMaxServiceBuffer;

    std::mutex Mutex;
    std::condition_variable Changed;
    std::string Data;             // received and not yet taken
    bool Finished = false;        // the service has sent all of its text
    std::exception_ptr Error;     // a query failed; nothing more comes
    bool Stop = false;            // the component gave the run up
    bool HandedOver = false;      // ... and left the attachment to this thread
    bool Exited = false;          // past the last query
    // When the server last answered a query (or the run began).
    std::chrono::steady_clock::time_point LastAnswer = std::chrono::steady_clock::now();
    // The component's side only, not under Mutex: the text last taken from
    // Data. The two are swapped, so each keeps its room for the next chunk.
    std::string Taken;

    void Run();
    void Query();
};

namespace {

// How long GetNextLine waits for the reading thread before it lets the user
// interface run again.
constexpr auto kWaitSlice = std::chrono::milliseconds(25);
// How far the reading thread may run ahead of a caller that takes no lines.
constexpr size_t kMaxAhead = size_t{16} << 20;

}  // namespace

void TIBStatisticalService::TReader::Run() {
    try {
        Query();
    } catch (...) {
        // Whatever went wrong reaches the caller with its next line.
        std::lock_guard<std::mutex> lock(Mutex);
        Error = std::current_exception();
    }
    bool detach = false;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Exited = true;
        detach = HandedOver;
        Changed.notify_all();
    }
    if (detach) {
        // Nobody is left to hear about a failure here. Detaching ends the
        // statistics job on the server too.
        TStatusVector st;
        Lib->isc_service_detach(st.Get(), &Handle);
    }
    detail::CallEnded();
}

void TIBStatisticalService::TReader::Query() {
    // The whole text in chunks as large as the buffer allows; each query waits
    // at most a second, so that a run given up is left soon.
    TParamBlock send;
    send.AddSizedInt32(isc_info_svc_timeout, 1);
    const char request = isc_info_svc_to_eof;
    std::vector<char> buf(BufferSize);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(Mutex);
            Changed.wait(lock, [&] { return Stop || Data.size() < kMaxAhead; });
            if (Stop) return;
        }
        TStatusVector st;
        Lib->isc_service_query(st.Get(), &Handle, nullptr, send.Length(), send.Data(), 1, &request,
                               static_cast<unsigned short>(buf.size()), buf.data());
        st.Check(*Lib);
        TServiceAnswer answer = ParseServiceAnswer(buf.data(), buf.size());
        std::lock_guard<std::mutex> lock(Mutex);
        LastAnswer = std::chrono::steady_clock::now();
        Data += answer.Text;
        // Nothing sent and nothing pending: the service has finished.
        if (!answer.More && answer.Text.empty()) Finished = true;
        Changed.notify_all();
        if (Finished) return;
    }
}

TIBStatisticalService::~TIBStatisticalService() {
    // A server that does not answer keeps neither this nor the end of the
    // program: the detach is waited for half a second at most.
    Deactivate(std::chrono::milliseconds(500));
}

std::string TIBStatisticalService::ServiceManagerName() const {
    switch (Protocol) {
        case TProtocol::TCP: return ServerName + ":service_mgr";
        case TProtocol::NamedPipe: return "\\\\" + ServerName + "\\service_mgr";
        case TProtocol::Local: break;
    }
    return "service_mgr";
}

TServerWait TIBStatisticalService::Wait() {
    return TServerWait{OnWait, [this] { return FCancelled; }, ServerName};
}

void TIBStatisticalService::Activate() {
    if (Active()) return;
    FEof = true;
    FCancelled = false;
    FLines = TServiceLineSplitter();
    TParamBlock spb = BuildServiceAttachSPB(Params);
    std::string name = ServiceManagerName();
    const TIBClientLibrary* lib = FLib;
    // The handle lives with the call: an attach given up and answered later
    // is detached by the call's own thread.
    auto handle = std::make_shared<TApiHandle>(0);
    *FHandle.Ptr() = RunOffThread<TApiHandle>(
        [lib, name, spb, handle](TCallState&) {
            TStatusVector st;
            lib->isc_service_attach(st.Get(), 0, name.c_str(), handle.get(), spb.Length(), spb.Data());
            ReclaimTerminationSignals();
            st.Check(*lib);
            return *handle;
        },
        Wait(),
        [lib, handle] {
            TIBHandle h(*lib, THandleKind::Service);
            *h.Ptr() = *handle;
        });
}

void TIBStatisticalService::Deactivate(std::chrono::milliseconds bound) {
    if (!Active()) return;
    FEof = true;
    FLines = TServiceLineSplitter();
    if (StopReader()) {
        // The reading thread detaches once the server answers its last query.
        FHandle.Forget();
        return;
    }
    const TApiHandle handle = FHandle.Get();
    FHandle.Forget();
    ReleaseOffThread(*FLib, {{THandleKind::Service, handle}}, std::chrono::steady_clock::now() + bound);
}

bool TIBStatisticalService::StopReader() {
    std::shared_ptr<TReader> r = std::move(FReader);
    FReader.reset();
    FReaderDone = false;
    if (!r) return false;
    std::unique_lock<std::mutex> lock(r->Mutex);
    r->Stop = true;
    r->Changed.notify_all();
    // A reader past its last query has nothing left but to exit: it is
    // waited for, so that its attachment is let go of here, before a next
    // run attaches, instead of by its thread while that attach is under way
    // (the client library was seen to crash on the two at once).
    if (r->Finished || r->Error) r->Changed.wait_for(lock, std::chrono::seconds(1), [&] { return r->Exited; });
    if (r->Exited) return false;
    r->HandedOver = true;
    return true;
}

void TIBStatisticalService::CheckActive() const {
    if (!Active()) throw EIBClientError("Service is not active");
}

void TIBStatisticalService::ServiceStart() {
    CheckActive();
    // An earlier run on this attachment is read no further; one still
    // waiting on the server keeps the attachment, and this run gets its own.
    if (StopReader()) {
        FHandle.Forget();
        Activate();
    }
    FEof = true;
    FLines = TServiceLineSplitter();
    TParamBlock spb;
    spb.AddTag(isc_action_svc_db_stats);
    spb.AddString2(isc_spb_dbname, DatabaseName);
    spb.AddInt32(isc_spb_options, Options);
    FCancelled = false;
    const TIBClientLibrary* lib = FLib;
    const TApiHandle handle = FHandle.Get();
    try {
        RunOffThread<bool>(
            [lib, handle, spb](TCallState&) {
                TApiHandle h = handle;
                TStatusVector st;
                lib->isc_service_start(st.Get(), &h, nullptr, static_cast<unsigned short>(spb.Length()),
                                       spb.Data());
                st.Check(*lib);
                return true;
            },
            Wait(),
            [lib, handle] {
                TIBHandle h(*lib, THandleKind::Service);
                *h.Ptr() = handle;
            });
    } catch (const EAbort&) {
        FHandle.Forget();   // the start's thread detaches it
        throw;
    } catch (const EIBServerTimeout&) {
        FHandle.Forget();
        throw;
    }
    auto reader = std::make_shared<TReader>();
    reader->Lib = FLib;
    reader->Handle = FHandle.Get();
    reader->BufferSize = FBufferSize;
    // The thread holds the shared state for as long as it runs, and is
    // never joined: a query that the server leaves unanswered must not keep
    // anyone waiting.
    detail::CallStarted();
    try {
        std::thread([reader] { reader->Run(); }).detach();
    } catch (...) {
        detail::CallEnded();
        throw;
    }
    FReader = std::move(reader);
    FEof = false;
}

void TIBStatisticalService::SetQueryBufferSize(size_t size) {
    FBufferSize = std::clamp<size_t>(size, 16, kMaxServiceBuffer);
}

std::string TIBStatisticalService::GetNextLine() {
    CheckActive();
    if (FEof) return std::string();
    std::string line;
    for (;;) {
        if (OnWait) OnWait();
        if (FCancelled) throw EAbort("Operation cancelled");
        if (FLines.NextLine(line)) return line;
        if (FReaderDone) {
            // A last line without a line feed, then the end.
            if (FLines.TakeRest(line)) return line;
            StopReader();
            FEof = true;
            return std::string();
        }
        TReader& r = *FReader;
        r.Taken.clear();
        {
            std::unique_lock<std::mutex> lock(r.Mutex);
            r.Changed.wait_for(lock, kWaitSlice, [&] { return !r.Data.empty() || r.Finished || r.Error; });
            if (!r.Data.empty()) {
                // Text that came before a failure or the end is handed out first.
                r.Taken.swap(r.Data);
                r.Changed.notify_all();
            } else if (r.Error) {
                std::rethrow_exception(r.Error);
            } else if (r.Finished) {
                FReaderDone = true;
            } else if (const auto timeout = ServerTimeout();
                       std::chrono::steady_clock::now() - r.LastAnswer > timeout) {
                // Each query is answered within a second on a live link.
                throw EIBServerTimeout(ServerName, timeout);
            }
        }
        // Copied without the lock, so the reader goes on receiving meanwhile.
        if (!r.Taken.empty()) FLines.Append(r.Taken);
    }
}

}  // namespace dv
