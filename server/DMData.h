// The data module: the connection to a live database and every SQL statement
// of the program (allocated pages, column and index metadata with stored
// selectivity, recomputed selectivity, live counters). Its statistics service
// also holds the current server: name, database path, protocol and
// credentials of the last statistics run, from which every connection is made.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "model/moninfo.h"
#include "platform/streaming/Classes.h"
#include "server/IBComponents.h"

namespace dv {

class TDM : public TComponent {
public:
    // Loads the client library and creates the components; raises
    // EIBClientError when the library cannot be loaded.
    explicit TDM(TComponent* AOwner);
    ~TDM() override;
    const char* ClassName() const override { return "TDM"; }

    // Components, in creation order.
    TIBDatabase* DB = nullptr;
    TIBStatisticalService* IBStatService = nullptr;
    TIBTransaction* TR = nullptr;
    TIBSQL* Q1 = nullptr;
    TIBDatabaseInfo* DBI = nullptr;
    TIBSQL* Q = nullptr;

    // Server, path and credentials of the next statistics run; protocol
    // index 0 TCP, 1 named pipe, 2 local (any other keeps the protocol).
    void SetServiceParams(const std::string& serverName, const std::string& dbPath, const std::string& userName,
                          const std::string& password, int protocolIndex);
    // Copies the service's server, path, protocol and credentials to DB.
    void PrepareConnection();
    // TR's parameters: "read" only when readOnly, then "read_committed",
    // "rec_version", "nowait".
    void SetTransactionParams(bool readOnly);
    // Pages allocated to the current database. Like ReadMetadata it runs on
    // an attachment of its own off the caller's thread, while OnWait keeps
    // being called: Cancel raises EAbort, a silent server EIBServerTimeout,
    // and the attachment is given up.
    int32_t GetAllocatedPages();
    // Columns of every table of DBInfo, and key, stored selectivity and
    // inactive indices from the system tables. Everything is read before the
    // model is touched, so a read that fails or is given up leaves the model
    // without any of it. Errors of the attachment itself raise
    // EIBConnectionFailure.
    void ReadMetadata();

    // Runs while the server calls above wait (the user interface's events).
    std::function<void()> OnWait;
    // Gives up the server call that is waiting (and the service's run).
    // Cleared when the next call begins.
    void Cancel();
    bool Cancelled() const { return FCancelled; }
    // Lets go of the service and the database attachment without waiting for
    // the server more than `bound` (the end of the program).
    void CloseConnections(std::chrono::milliseconds bound);
    // What the end of the program waits for the server at most.
    static constexpr std::chrono::milliseconds kCloseWait{500};
    // "set statistics index" for one index / for every index of the
    // database, over the connection that the last PrepareConnection set up.
    void RecomputeSelectivity(const std::string& indexName);
    void RecomputeAllSelectivity();
    // The live counters from the temporary monitoring table TMP$DATABASE of
    // servers that have it. Leaves DB and TR as they were when it found DB
    // connected; on an error leaves them as the error left them.
    void ReadMonitorInfo(TDBMonInfo& info);

private:
    void RecomputeFrame(const std::function<void()>& work);
    TServerWait Wait();
    bool FCancelled = false;
};

// The attachment to the database failed (the server refused it or could not
// be reached), as opposed to an error of what was read over it.
class EIBConnectionFailure : public EIBInterBaseError {
public:
    using EIBInterBaseError::EIBInterBaseError;
    const char* ClassName() const noexcept override { return "EIBConnectionFailure"; }
};

// True for a failure of the connection rather than of the database: the
// attachment failed, the server did not answer, or the link broke.
bool IsConnectionFailure(const std::exception& e);

// The one data module; nullptr when the client library is missing.
extern TDM* DM;

// The index name as it goes into SQL: unchanged when it is a plain
// upper-case identifier (A-Z, then A-Z, 0-9, _ and $), otherwise in double
// quotes with inner double quotes doubled. Trailing blanks (the padding of
// the system tables) are not part of the name.
std::string QuoteIndexName(const std::string& name);

// The SQL lines of ReadMetadata: the column query (the precision column only
// for ODS 10 and later) and the index query.
TStringList MetadataColumnsSQL(int odsMajor);
TStringList MetadataIndicesSQL();

}  // namespace dv
