// Database components over the client library: database, transaction, SQL
// statement, database information and the statistics service. They are
// components so that the data module owns them like its other parts.
//
// Every component keeps a reference to the loaded client library. Errors of
// the library raise EIBInterBaseError with the server's message; misuse of a
// component (no database, no transaction, an unknown column) raises
// EIBClientError. The layer never asks the user for a login.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/streaming/Classes.h"
#include "platform/text/DateUtils.h"
#include "server/IBClient.h"
#include "server/ServerCall.h"

namespace dv {

class TIBTransaction;
class TIBSQL;
class TIBDatabaseInfo;

// Something that uses a database's attachment and must let go of it when
// the database disconnects or goes away.
class TIBDatabaseClient {
public:
    virtual ~TIBDatabaseClient() = default;
    // The attachment is about to end: give up handles that live on it.
    virtual void DatabaseDisconnecting() = 0;
    // The database component is being destroyed: forget the pointer.
    virtual void DatabaseFreed() = 0;
    // The attachment is being given up without a word to the server (see
    // TIBDatabase::Abandon): forget every handle on it; a transaction
    // returns its own so that it is rolled back with the detach.
    virtual TApiHandle DatabaseAbandoned() { return 0; }
};

class TIBDatabase : public TComponent {
public:
    // Loads the client library (LoadClientLibrary) when none is given.
    explicit TIBDatabase(TComponent* AOwner);
    TIBDatabase(TComponent* AOwner, const TIBClientLibrary& lib);
    ~TIBDatabase() override;
    const char* ClassName() const override { return "TIBDatabase"; }

    // "server:path" over TCP, "\\server\path" over named pipes, the path
    // alone for a local connection.
    std::string DatabaseName;
    // "user_name=..." and "password=..." lines (see BuildDPB).
    TStringList Params;
    TIBTransaction* DefaultTransaction = nullptr;

    // isc_attach_database; raises with the server's message. Does nothing
    // when already connected.
    void Connect();
    bool Connected() const { return static_cast<bool>(FHandle); }
    // Drops the statements of this attachment, rolls back transactions still
    // open on it, then isc_detach_database. Does nothing when not connected.
    // A detach that fails still forgets the attachment (a dead connection
    // cannot be detached), so the next Connect attaches afresh.
    void Disconnect();
    // Lets go of the attachment without waiting for the server beyond
    // `deadline`: the transactions are rolled back and the attachment
    // detached on a thread of their own (see ReleaseOffThread).
    void Abandon(std::chrono::steady_clock::time_point deadline);

    TApiHandle* Handle() { return FHandle.Ptr(); }
    // The SQL dialect used for statements: 3, or the database's own when lower.
    unsigned short SQLDialect() const { return FSQLDialect; }
    const TIBClientLibrary& Lib() const { return *FLib; }
    // Raises EIBClientError when not connected.
    void CheckConnected() const;

    void AddClient(TIBDatabaseClient* c);
    void RemoveClient(TIBDatabaseClient* c);

private:
    const TIBClientLibrary* FLib;
    TIBHandle FHandle;
    unsigned short FSQLDialect = 3;
    std::vector<TIBDatabaseClient*> FClients;
};

class TIBTransaction : public TComponent, public TIBDatabaseClient {
public:
    explicit TIBTransaction(TComponent* AOwner);
    TIBTransaction(TComponent* AOwner, const TIBClientLibrary& lib);
    ~TIBTransaction() override;
    const char* ClassName() const override { return "TIBTransaction"; }

    void SetDefaultDatabase(TIBDatabase* db);
    TIBDatabase* DefaultDatabase() const { return FDatabase; }
    // Parameter words: "read" (without it the transaction may write),
    // "read_committed", "rec_version", "nowait", ... (see BuildTPB).
    TStringList Params;

    // isc_start_multiple with the current parameters. Raises when the
    // transaction is already active or its database is not connected.
    void StartTransaction();
    bool InTransaction() const { return static_cast<bool>(FHandle); }
    void Commit();
    void Rollback();

    TApiHandle* Handle() { return FHandle.Ptr(); }
    const TIBClientLibrary& Lib() const { return *FLib; }
    void CheckInTransaction() const;

    void AddStatement(TIBSQL* q);
    void RemoveStatement(TIBSQL* q);

    void DatabaseDisconnecting() override;
    void DatabaseFreed() override;
    TApiHandle DatabaseAbandoned() override;

private:
    void Ended();

    const TIBClientLibrary* FLib;
    TIBDatabase* FDatabase = nullptr;
    TIBHandle FHandle;
    std::vector<TIBSQL*> FStatements;
};

class TIBSQL;

// One column of the current row. A null reads as 0 or an empty string.
class TIBField {
public:
    const std::string& Name() const { return FName; }
    bool IsNull() const;
    // Whole number; a scaled or floating value is rounded, halves to even.
    // A value outside 32 bits raises EIBClientError.
    int32_t AsInteger() const;
    int64_t AsInt64() const;
    double AsDouble() const;
    // CHAR values come back blank-padded, as stored; a text blob is read whole.
    std::string AsString() const;
    TDateTime AsDateTime() const;

private:
    friend class TIBSQL;
    TIBSQL* FOwner = nullptr;
    const void* FVar = nullptr;   // the column's XSQLVAR in the owner's descriptor area
    std::string FName;
    std::string ReadBlob() const;
    [[noreturn]] void Unsupported(const char* as) const;
};

class TIBSQL : public TComponent, public TIBDatabaseClient {
public:
    explicit TIBSQL(TComponent* AOwner);
    TIBSQL(TComponent* AOwner, const TIBClientLibrary& lib);
    ~TIBSQL() override;
    const char* ClassName() const override { return "TIBSQL"; }

    void SetDatabase(TIBDatabase* db);
    void SetTransaction(TIBTransaction* tr);
    TIBDatabase* Database() const { return FDatabase; }
    TIBTransaction* Transaction() const { return FTransaction; }

    // The statement as lines; sent as the lines each followed by CR LF.
    TStringList SQL;
    std::string SQLText() const;

    // Prepares and executes the text. A statement with rows opens its cursor
    // and moves to the first row (Eof when there is none); one without rows
    // simply runs. An open cursor is closed first.
    void ExecQuery();
    bool Eof() const { return FEof; }
    bool Open() const { return FOpen; }
    // Fetches the next row; at the end Eof becomes true.
    void Next();
    // Closes the cursor; the prepared statement stays for the next run.
    void Close();

    int FieldCount() const { return static_cast<int>(FFields.size()); }
    const TIBField& Fields(int i) const { return FFields.at(i); }
    // By column name (alias), ignoring case; raises EIBClientError
    // "Field "NAME" not found" when the result has no such column.
    const TIBField& FieldByName(const std::string& name) const;

    void DatabaseDisconnecting() override;
    void DatabaseFreed() override;
    TApiHandle DatabaseAbandoned() override;
    // The transaction ended or went away: the cursor is closed by the server.
    void TransactionEnded();
    void TransactionFreed();

private:
    friend class TIBField;
    void Prepare();
    void FreeHandle();
    void CheckDatabaseAndTransaction() const;

    const TIBClientLibrary* FLib;
    TIBDatabase* FDatabase = nullptr;
    TIBTransaction* FTransaction = nullptr;
    TIBHandle FHandle;
    std::vector<char> FSqlda;                 // XSQLDA of the result columns
    std::vector<std::unique_ptr<char[]>> FBuffers;
    std::vector<short> FIndicators;
    std::vector<TIBField> FFields;
    int FStatementType = 0;
    bool FOpen = false;
    bool FEof = true;
};

class TIBDatabaseInfo : public TComponent, public TIBDatabaseClient {
public:
    explicit TIBDatabaseInfo(TComponent* AOwner) : TComponent(AOwner) {}
    ~TIBDatabaseInfo() override;
    const char* ClassName() const override { return "TIBDatabaseInfo"; }

    void SetDatabase(TIBDatabase* db);
    TIBDatabase* Database() const { return FDatabase; }

    // isc_info_allocation: pages allocated to the database.
    int32_t Allocation();
    // One integer item of isc_database_info.
    int32_t GetLongDatabaseInfo(uint8_t item);

    void DatabaseDisconnecting() override {}
    void DatabaseFreed() override { FDatabase = nullptr; }

private:
    TIBDatabase* FDatabase = nullptr;
};

enum class TProtocol { TCP, NamedPipe, Local };

// The statistics options as one byte; each bit is the service's own flag.
enum TStatOption : uint8_t {
    soDataPages = 0x01,
    soDbLog = 0x02,
    soHeaderPages = 0x04,
    soIndexPages = 0x08,
    soSystemRelations = 0x10,
    soRecordVersions = 0x20,
    soStatTables = 0x40,
};
inline constexpr uint8_t kFullStatOptions = soDataPages | soIndexPages | soRecordVersions;  // 0x29
inline constexpr uint8_t kHeaderStatOptions = soHeaderPages;                               // 0x04

// The service query's receive buffer: its length is an unsigned short, and a
// buffer of 65536 bytes (passed as 0) crashes a 3.0 server.
inline constexpr size_t kMaxServiceBuffer = 65535;

class TIBStatisticalService : public TComponent {
public:
    explicit TIBStatisticalService(TComponent* AOwner);
    TIBStatisticalService(TComponent* AOwner, const TIBClientLibrary& lib);
    ~TIBStatisticalService() override;
    const char* ClassName() const override { return "TIBStatisticalService"; }

    std::string ServerName;
    TProtocol Protocol = TProtocol::TCP;
    TStringList Params;          // "user_name=..." and "password=..."
    std::string DatabaseName;    // path on the server
    uint8_t Options = 0;         // TStatOption bits

    // "server:service_mgr", "\\server\service_mgr" or "service_mgr".
    std::string ServiceManagerName() const;

    // isc_service_attach; raises with the server's message. Runs while
    // OnWait keeps being called; a Cancel meanwhile raises EAbort, a server
    // silent for ServerTimeout EIBServerTimeout (the attach is given up).
    void Activate();
    bool Active() const { return static_cast<bool>(FHandle); }
    // isc_service_detach; does nothing when not active, never raises and
    // waits for the server `bound` at most. The handle is forgotten even
    // when the server cannot be reached, so the next Activate attaches
    // afresh. A run that is still being read is abandoned without waiting
    // for the server: its thread detaches once its query returns, which also
    // ends the statistics job on the server.
    void Deactivate(std::chrono::milliseconds bound = std::chrono::seconds(1));

    // isc_service_start with the database statistics action, the database
    // path and the options, waited for as Activate is (a start given up
    // takes the attachment with it). The service's text is then read to its
    // end in large chunks by a thread of its own, so that the server is not
    // asked once per line and the caller never waits on a query.
    void ServiceStart();
    // Set once the service has sent its last line.
    bool Eof() const { return FEof; }
    // The next line of the statistics text, as a query per line would give
    // it: each line with one trailing blank. At the end an empty text, with
    // Eof set. OnWait runs before each line and every few hundredths of a
    // second while the server has nothing ready; the cancel flag is looked at
    // each time, and a cancelled read raises EAbort. A server that has not
    // answered a query for ServerTimeout raises EIBServerTimeout.
    std::string GetNextLine();

    // Called before every line and while waiting for the server, so that the
    // user interface can process its pending events.
    std::function<void()> OnWait;
    // Asks a running GetNextLine to give up at its next chance. Cleared by
    // Activate and ServiceStart.
    void Cancel() { FCancelled = true; }
    bool Cancelled() const { return FCancelled; }

    // The receive buffer size of each query, kept within 16..65535 bytes.
    void SetQueryBufferSize(size_t size);
    size_t QueryBufferSize() const { return FBufferSize; }

private:
    struct TReader;
    void CheckActive() const;
    TServerWait Wait();
    // Ends the reading of the current run. When its thread is still waiting
    // on the server the attachment goes with it: the thread detaches when its
    // query returns, and this component must forget the handle at once.
    // Returns whether the handle was handed over. Never joins the thread.
    bool StopReader();

    const TIBClientLibrary* FLib;
    TIBHandle FHandle;
    bool FEof = true;
    bool FCancelled = false;
    size_t FBufferSize = kMaxServiceBuffer;
    std::shared_ptr<TReader> FReader;             // the run being read
    TServiceLineSplitter FLines;
    bool FReaderDone = false;   // the reader has delivered everything it will
};

}  // namespace dv
