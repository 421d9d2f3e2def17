// The data module: the connection to a live database and every SQL statement
// of the program (allocated pages, column and index metadata with stored
// selectivity, recomputed selectivity, live counters). Its statistics service
// also holds the current server: name, database path, protocol and
// credentials of the last statistics run, from which every connection is made.
#pragma once

#include <cstdint>
#include <string>

#include "model/moninfo.h"
#include "platform/Classes.h"
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
    // Pages allocated to the current database.
    int32_t GetAllocatedPages();
    // Columns of every table of DBInfo, and key, stored selectivity and
    // inactive indices from the system tables. Commits and disconnects also
    // when it fails.
    void ReadMetadata();
    // "set statistics index" for one index / for every index of the
    // database, over the connection that the last PrepareConnection set up.
    void RecomputeSelectivity(const std::string& indexName);
    void RecomputeAllSelectivity();
    // The live counters from the temporary monitoring table TMP$DATABASE of
    // servers that have it. Leaves DB and TR as they were when it found DB
    // connected; on an error leaves them as the error left them.
    void ReadMonitorInfo(TDBMonInfo& info);
    // Does nothing; kept as a published method that nothing calls.
    void IBMSQL(const std::string& s);

private:
    void RecomputeFrame(const std::function<void()>& work);
};

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
