// The Firebird client library, loaded at run time: one table of function
// pointers checked once when the library is loaded, the status vector and
// the exception that carries the server's message, typed builders for the
// parameter blocks, and owning wrappers of the API handles.
//
// The program must start without the library, so nothing here links against
// it: the functions come from dlopen/dlsym with the types that ibase.h
// declares.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Classes.h"
#include "platform/SysUtils.h"

namespace dv {

// Any error of the client layer. SQLCode and the engine's error codes are
// those of the status vector (0 and empty for errors of our own layer).
class EIBError : public Exception {
public:
    explicit EIBError(std::string message, int32_t sqlCode = 0, std::vector<ISC_STATUS> codes = {})
        : Exception(std::move(message)), FSQLCode(sqlCode), FCodes(std::move(codes)) {}
    const char* ClassName() const noexcept override { return "EIBError"; }
    int32_t SQLCode() const noexcept { return FSQLCode; }
    // The first engine error code (isc_...), 0 when there is none.
    ISC_STATUS IBErrorCode() const noexcept { return FCodes.empty() ? 0 : FCodes.front(); }
    // Every engine error code of the status vector, in order.
    const std::vector<ISC_STATUS>& ErrorCodes() const noexcept { return FCodes; }

private:
    int32_t FSQLCode;
    std::vector<ISC_STATUS> FCodes;
};
// An error reported by the server or the client library through the status vector.
class EIBInterBaseError : public EIBError {
public:
    using EIBError::EIBError;
    const char* ClassName() const noexcept override { return "EIBInterBaseError"; }
};
// An error found by our own layer: library missing, unknown parameter, a
// column that is not in the result, an operation in the wrong state.
class EIBClientError : public EIBError {
public:
    using EIBError::EIBError;
    const char* ClassName() const noexcept override { return "EIBClientError"; }
};

// The environment variable that names the one client library to load,
// instead of the usual search (a test points it at a missing file).
inline constexpr const char* kClientLibraryVariable = "DRAVOLT_FBCLIENT";

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

// The names tried, in order of preference (the legacy name first).
const std::vector<std::string>& ClientLibraryNames();

// The loaded library. With DRAVOLT_FBCLIENT set and not empty only that name
// is tried. A library is loaded once and stays loaded for the rest of the
// process; a failure is not remembered, so a later call tries again.
// Raises EIBClientError naming what was tried when no candidate loads with
// every entry point.
const TIBClientLibrary& LoadClientLibrary();

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

// A parameter block: a version byte (none for the service start block)
// followed by clumplets. Strings longer than their length field can hold raise
// EIBClientError.
class TParamBlock {
public:
    TParamBlock() = default;
    explicit TParamBlock(std::initializer_list<uint8_t> header) : FData(header.begin(), header.end()) {}
    void AddTag(uint8_t tag) { FData.push_back(static_cast<char>(tag)); }
    // Tag, 1-byte length, bytes.
    void AddString(uint8_t tag, std::string_view value);
    // Tag, 2-byte little-endian length, bytes (service start blocks).
    void AddString2(uint8_t tag, std::string_view value);
    // Tag, 4-byte little-endian value.
    void AddInt32(uint8_t tag, uint32_t value);
    // Tag, 2-byte length 4, 4-byte little-endian value (the items sent with
    // a service query).
    void AddSizedInt32(uint8_t tag, uint32_t value);
    const char* Data() const { return FData.data(); }
    const unsigned char* UData() const { return reinterpret_cast<const unsigned char*>(FData.data()); }
    short Length() const { return static_cast<short>(FData.size()); }
    const std::vector<char>& Bytes() const { return FData; }

private:
    std::vector<char> FData;
};

// Blocks built from parameter lines: "name=value" or a bare word, the name
// with or without its "isc_dpb_"/"isc_tpb_"/"isc_spb_" prefix, any case.
// Unknown names raise EIBClientError.
TParamBlock BuildDPB(const TStringList& params);
TParamBlock BuildTPB(const TStringList& params);
TParamBlock BuildServiceAttachSPB(const TStringList& params);
// The value of "name=value" in the lines (first match, name compared ignoring
// case), empty when absent.
std::string ParamValue(const TStringList& params, std::string_view name);

// Reads a little-endian integer of 1 to 4 bytes (the encoding of every
// information answer), sign-extended from its width.
int32_t DecodeInteger(const char* p, int length);

// One answer to an isc_info_svc_line query: 2-byte length and the line
// text; length 0 means that the service has finished unless the answer also
// says isc_info_svc_timeout or isc_info_data_not_ready (nothing ready yet)
// or isc_info_truncated (the line did not fit). With More set, Text is the
// beginning of a line whose rest comes with the next query.
struct TServiceLineAnswer {
    std::string Text;
    bool HasLine = false;
    bool More = false;
};
TServiceLineAnswer ParseServiceLineAnswer(const char* buffer, size_t size);

enum class THandleKind { Database, Transaction, Statement, Blob, Service };

// Owns one API handle: released (detach, roll back, drop, close) when the
// owner forgets it. The API functions that end a handle set it to 0 on
// success, so the destructor only releases what is still open.
class TIBHandle {
public:
    TIBHandle(const TIBClientLibrary& lib, THandleKind kind) : FLib(&lib), FKind(kind) {}
    ~TIBHandle() { Release(); }
    TIBHandle(const TIBHandle&) = delete;
    TIBHandle& operator=(const TIBHandle&) = delete;

    FB_API_HANDLE* Ptr() { return &FHandle; }
    FB_API_HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != 0; }
    // Ends the handle without raising: used where an error has nowhere to go
    // (destructors, a connection that is being dropped after a failure). The
    // handle is forgotten even when the library refuses.
    void Release() noexcept;

private:
    const TIBClientLibrary* FLib;
    THandleKind FKind;
    FB_API_HANDLE FHandle = 0;
};

}  // namespace dv
