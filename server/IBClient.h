// The Firebird client library, loaded at run time: one table of function
// pointers checked once when the library is loaded, the status vector and
// the exception that carries the server's message, typed builders for the
// parameter blocks, and owning wrappers of the API handles.
//
// The program must start without the library, so nothing here links against
// it: the functions come from dlopen/dlsym with the types that ibase.h
// declares. This header does not include ibase.h, so the C API stays inside
// the server layer; server/IBApi.h holds what needs it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streaming/Classes.h"
#include "platform/text/SysUtils.h"

namespace dv {

// The C API's status word and handle, by their widths on this platform
// (server/IBApi.h checks them against ibase.h).
using TIscStatus = intptr_t;
using TApiHandle = unsigned int;

// Any error of the client layer. SQLCode and the engine's error codes are
// those of the status vector (0 and empty for errors of our own layer).
class EIBError : public Exception {
public:
    explicit EIBError(std::string message, int32_t sqlCode = 0, std::vector<TIscStatus> codes = {})
        : Exception(std::move(message)), FSQLCode(sqlCode), FCodes(std::move(codes)) {}
    const char* ClassName() const noexcept override { return "EIBError"; }
    int32_t SQLCode() const noexcept { return FSQLCode; }
    // The first engine error code (isc_...), 0 when there is none.
    TIscStatus IBErrorCode() const noexcept { return FCodes.empty() ? 0 : FCodes.front(); }
    // Every engine error code of the status vector, in order.
    const std::vector<TIscStatus>& ErrorCodes() const noexcept { return FCodes; }

private:
    int32_t FSQLCode;
    std::vector<TIscStatus> FCodes;
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

// The client library's entry points, resolved once (server/IBApi.h; only
// the server layer sees the C API).
struct TIBClientLibrary;

// The names tried, in order of preference (the legacy name first).
const std::vector<std::string>& ClientLibraryNames();

// The loaded library. With DRAVOLT_FBCLIENT set and not empty only that name
// is tried. A library is loaded once and stays loaded for the rest of the
// process; a failure is not remembered, so a later call tries again.
// Raises EIBClientError naming what was tried when no candidate loads with
// every entry point.
const TIBClientLibrary& LoadClientLibrary();

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

// One answer to an isc_info_svc_to_eof query: 2-byte length and as much of
// the service's text as fitted. Length 0 means that the service has finished
// unless the answer also says isc_info_svc_timeout or isc_info_data_not_ready
// (nothing ready yet) or isc_info_truncated (the buffer filled up): with More
// set, further text follows with the next query.
struct TServiceAnswer {
    std::string Text;
    bool HasData = false;
    bool More = false;
};
TServiceAnswer ParseServiceAnswer(const char* buffer, size_t size);

// Cuts the text of a service that is read to its end in chunks into the lines
// that one query per line gives: every line feed becomes a single trailing
// blank that ends the line, whatever the chunks' boundaries.
class TServiceLineSplitter {
public:
    void Append(std::string_view chunk);
    // The next complete line; false when no line feed is waiting.
    bool NextLine(std::string& line);
    // At the end of the text: what follows the last line feed, as the last
    // line (without a blank); false when nothing does.
    bool TakeRest(std::string& rest);
    bool Empty() const { return FPos >= FText.size(); }

private:
    std::string FText;
    size_t FPos = 0;   // first byte not yet handed out
};

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

    TApiHandle* Ptr() { return &FHandle; }
    TApiHandle Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != 0; }
    // Ends the handle without raising: used where an error has nowhere to go
    // (destructors, a connection that is being dropped after a failure). The
    // handle is forgotten even when the library refuses.
    void Release() noexcept;
    // Forgets the handle without ending it: someone else ends it.
    void Forget() noexcept { FHandle = 0; }

private:
    const TIBClientLibrary* FLib;
    THandleKind FKind;
    TApiHandle FHandle = 0;
};

}  // namespace dv
