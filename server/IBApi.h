// The Firebird C API as the server layer uses it: the table of entry points
// loaded at run time and the status vector. Only server/ sources include
// this header (and through it ibase.h).
#pragma once

#include <ibase.h>

#include <string>
#include <type_traits>

#include "server/IBClient.h"

namespace dv {

static_assert(std::is_same_v<TIscStatus, ISC_STATUS>, "status word width");
static_assert(std::is_same_v<TApiHandle, FB_API_HANDLE>, "handle width");

// The client library's entry points, resolved once.
struct TIBClientLibrary {
    std::string FileName;   // the name that loaded
    void* Handle = nullptr;

    decltype(&::isc_attach_database) isc_attach_database = nullptr;
    decltype(&::isc_detach_database) isc_detach_database = nullptr;
    decltype(&::isc_database_info) isc_database_info = nullptr;
    decltype(&::isc_start_multiple) isc_start_multiple = nullptr;
    decltype(&::isc_commit_transaction) isc_commit_transaction = nullptr;
    decltype(&::isc_rollback_transaction) isc_rollback_transaction = nullptr;
    decltype(&::isc_dsql_allocate_statement) isc_dsql_allocate_statement = nullptr;
    decltype(&::isc_dsql_prepare) isc_dsql_prepare = nullptr;
    decltype(&::isc_dsql_describe) isc_dsql_describe = nullptr;
    decltype(&::isc_dsql_sql_info) isc_dsql_sql_info = nullptr;
    decltype(&::isc_dsql_execute) isc_dsql_execute = nullptr;
    decltype(&::isc_dsql_fetch) isc_dsql_fetch = nullptr;
    decltype(&::isc_dsql_free_statement) isc_dsql_free_statement = nullptr;
    decltype(&::isc_open_blob2) isc_open_blob2 = nullptr;
    decltype(&::isc_get_segment) isc_get_segment = nullptr;
    decltype(&::isc_close_blob) isc_close_blob = nullptr;
    decltype(&::isc_service_attach) isc_service_attach = nullptr;
    decltype(&::isc_service_detach) isc_service_detach = nullptr;
    decltype(&::isc_service_start) isc_service_start = nullptr;
    decltype(&::isc_service_query) isc_service_query = nullptr;
    decltype(&::fb_interpret) fb_interpret = nullptr;
    decltype(&::isc_sqlcode) isc_sqlcode = nullptr;
    decltype(&::isc_get_client_version) isc_get_client_version = nullptr;
};

// One status vector per call site; the error is read out of it at once, before
// any clean-up call can overwrite it.
class TStatusVector {
public:
    TStatusVector() { Clear(); }
    ISC_STATUS* Get() { return FStatus; }
    void Clear();
    bool Failed() const { return FStatus[0] == 1 && FStatus[1] != 0; }
    // The exception for the vector as it stands: the library's message lines
    // joined by line feeds, the SQL code and the engine codes.
    EIBInterBaseError Error(const TIBClientLibrary& lib) const;
    // Raises Error() when the last call failed.
    void Check(const TIBClientLibrary& lib) const {
        if (Failed()) throw Error(lib);
    }

private:
    ISC_STATUS_ARRAY FStatus;
};

}  // namespace dv
