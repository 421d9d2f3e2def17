#include "server/IBClient.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "server/IBApi.h"

namespace dv {

// ---------------------------------------------------------------------------
// Loading

const std::vector<std::string>& ClientLibraryNames() {
    // The legacy client name first, then the Firebird client; the versioned
    // name last because it is the one every runtime package installs.
    static const std::vector<std::string> names = {"libgds.so.0", "libgds.so", "libfbclient.so",
                                                   "libfbclient.so.2"};
    return names;
}

namespace {

template <class F>
bool Resolve(void* handle, const char* name, F& target, std::string& missing) {
    dlerror();
    void* p = dlsym(handle, name);
    if (!p) {
        if (!missing.empty()) missing += ", ";
        missing += name;
        return false;
    }
    target = reinterpret_cast<F>(p);
    return true;
}

// Fills the table; returns the names of the entry points that are missing.
std::string ResolveAll(TIBClientLibrary& l) {
    std::string missing;
    void* h = l.Handle;
#define DV_RESOLVE(fn) Resolve(h, #fn, l.fn, missing)
    DV_RESOLVE(isc_attach_database);
    DV_RESOLVE(isc_detach_database);
    DV_RESOLVE(isc_database_info);
    DV_RESOLVE(isc_start_multiple);
    DV_RESOLVE(isc_commit_transaction);
    DV_RESOLVE(isc_rollback_transaction);
    DV_RESOLVE(isc_dsql_allocate_statement);
    DV_RESOLVE(isc_dsql_prepare);
    DV_RESOLVE(isc_dsql_describe);
    DV_RESOLVE(isc_dsql_sql_info);
    DV_RESOLVE(isc_dsql_execute);
    DV_RESOLVE(isc_dsql_fetch);
    DV_RESOLVE(isc_dsql_free_statement);
    DV_RESOLVE(isc_open_blob2);
    DV_RESOLVE(isc_get_segment);
    DV_RESOLVE(isc_close_blob);
    DV_RESOLVE(isc_service_attach);
    DV_RESOLVE(isc_service_detach);
    DV_RESOLVE(isc_service_start);
    DV_RESOLVE(isc_service_query);
    DV_RESOLVE(fb_interpret);
    DV_RESOLVE(isc_sqlcode);
    DV_RESOLVE(isc_get_client_version);
#undef DV_RESOLVE
    return missing;
}

std::mutex& LoadMutex() {
    static std::mutex m;
    return m;
}

// Loaded libraries by name. Never unloaded: the client library starts
// threads of its own and does not survive dlclose.
std::map<std::string, std::unique_ptr<TIBClientLibrary>>& Loaded() {
    static auto* m = new std::map<std::string, std::unique_ptr<TIBClientLibrary>>();
    return *m;
}

}  // namespace

const TIBClientLibrary& LoadClientLibrary() {
    std::vector<std::string> candidates;
    const char* env = std::getenv(kClientLibraryVariable);
    if (env && *env)
        candidates.emplace_back(env);
    else
        candidates = ClientLibraryNames();

    std::lock_guard<std::mutex> lock(LoadMutex());
    auto& loaded = Loaded();
    std::string reasons;
    for (const std::string& name : candidates) {
        auto it = loaded.find(name);
        if (it != loaded.end()) return *it->second;

        void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            const char* err = dlerror();
            reasons += "\n" + name + ": " + (err ? err : "cannot be loaded");
            continue;
        }
        auto lib = std::make_unique<TIBClientLibrary>();
        lib->FileName = name;
        lib->Handle = h;
        std::string missing = ResolveAll(*lib);
        if (!missing.empty()) {
            // Not a usable client: leave it loaded (unloading foreign
            // libraries is not safe) but do not use it.
            reasons += "\n" + name + ": missing " + missing;
            continue;
        }
        const TIBClientLibrary& result = *lib;
        loaded.emplace(name, std::move(lib));
        return result;
    }
    throw EIBClientError("The database client library cannot be loaded:" + reasons);
}

// ---------------------------------------------------------------------------
// Status vector

void TStatusVector::Clear() {
    for (auto& s : FStatus) s = 0;
}

EIBInterBaseError TStatusVector::Error(const TIBClientLibrary& lib) const {
    // Work on a copy: fb_interpret walks the vector.
    ISC_STATUS_ARRAY copy;
    for (size_t i = 0; i < ISC_STATUS_LENGTH; ++i) copy[i] = FStatus[i];

    std::vector<ISC_STATUS> codes;
    for (size_t i = 0; i + 1 < ISC_STATUS_LENGTH && copy[i] != isc_arg_end;) {
        ISC_STATUS arg = copy[i];
        if (arg == isc_arg_gds) codes.push_back(copy[i + 1]);
        if (arg == isc_arg_warning) break;     // warnings follow the errors
        i += (arg == isc_arg_cstring) ? 3 : 2;
    }

    const ISC_STATUS* p = copy;
    std::string message;
    char buf[1024];
    while (lib.fb_interpret(buf, sizeof buf, &p) > 0) {
        if (!message.empty()) message += "\n";
        message += buf;
    }
    if (message.empty()) message = "Unknown error of the database client library";
    int32_t sqlCode = static_cast<int32_t>(lib.isc_sqlcode(FStatus));
    return EIBInterBaseError(message, sqlCode, std::move(codes));
}

// ---------------------------------------------------------------------------
// Parameter blocks

void TParamBlock::AddString(uint8_t tag, std::string_view value) {
    if (value.size() > 255)
        throw EIBClientError("Parameter value is too long (" + std::to_string(value.size()) +
                             " bytes, at most 255)");
    AddTag(tag);
    FData.push_back(static_cast<char>(value.size()));
    FData.insert(FData.end(), value.begin(), value.end());
}

void TParamBlock::AddString2(uint8_t tag, std::string_view value) {
    if (value.size() > 65535)
        throw EIBClientError("Parameter value is too long (" + std::to_string(value.size()) +
                             " bytes, at most 65535)");
    AddTag(tag);
    FData.push_back(static_cast<char>(value.size() & 0xFF));
    FData.push_back(static_cast<char>((value.size() >> 8) & 0xFF));
    FData.insert(FData.end(), value.begin(), value.end());
}

void TParamBlock::AddInt32(uint8_t tag, uint32_t value) {
    AddTag(tag);
    for (int i = 0; i < 4; ++i) FData.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void TParamBlock::AddSizedInt32(uint8_t tag, uint32_t value) {
    AddTag(tag);
    FData.push_back(4);
    FData.push_back(0);
    for (int i = 0; i < 4; ++i) FData.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

namespace {

struct TParamName {
    const char* Name;
    uint8_t Tag;
    bool HasValue;
};

// Splits "name=value" (or a bare word) and finds the name in the table.
const TParamName* Lookup(const std::string& line, std::string_view prefix, const TParamName* table,
                         size_t count, std::string& value, const char* kind) {
    size_t eq = line.find('=');
    std::string name = LowerCase(Trim(eq == std::string::npos ? line : line.substr(0, eq)));
    value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (name.rfind(prefix, 0) == 0) name.erase(0, prefix.size());
    for (size_t i = 0; i < count; ++i)
        if (name == table[i].Name) return &table[i];
    throw EIBClientError(std::string("Unknown ") + kind + " parameter \"" + Trim(line) + "\"");
}

template <size_t N>
TParamBlock Build(TParamBlock block, const TStringList& params, std::string_view prefix,
                  const TParamName (&table)[N], const char* kind) {
    for (const std::string& line : params) {
        if (Trim(line).empty()) continue;
        std::string value;
        const TParamName* p = Lookup(line, prefix, table, N, value, kind);
        if (p->HasValue)
            block.AddString(p->Tag, value);
        else
            block.AddTag(p->Tag);
    }
    return block;
}

}  // namespace

TParamBlock BuildDPB(const TStringList& params) {
    static const TParamName names[] = {
        {"user_name", isc_dpb_user_name, true},
        {"password", isc_dpb_password, true},
    };
    return Build(TParamBlock{isc_dpb_version1}, params, "isc_dpb_", names, "database");
}

TParamBlock BuildTPB(const TStringList& params) {
    static const TParamName names[] = {
        {"read", isc_tpb_read, false},
        {"write", isc_tpb_write, false},
        {"read_committed", isc_tpb_read_committed, false},
        {"rec_version", isc_tpb_rec_version, false},
        {"no_rec_version", isc_tpb_no_rec_version, false},
        {"concurrency", isc_tpb_concurrency, false},
        {"consistency", isc_tpb_consistency, false},
        {"nowait", isc_tpb_nowait, false},
        {"wait", isc_tpb_wait, false},
    };
    return Build(TParamBlock{isc_tpb_version3}, params, "isc_tpb_", names, "transaction");
}

TParamBlock BuildServiceAttachSPB(const TStringList& params) {
    static const TParamName names[] = {
        {"user_name", isc_spb_user_name, true},
        {"password", isc_spb_password, true},
    };
    return Build(TParamBlock{isc_spb_version, isc_spb_current_version}, params, "isc_spb_", names,
                 "service");
}

std::string ParamValue(const TStringList& params, std::string_view name) {
    for (const std::string& line : params) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (SameText(Trim(line.substr(0, eq)), name)) return line.substr(eq + 1);
    }
    return std::string();
}

int32_t DecodeInteger(const char* p, int length) {
    if (length <= 0) return 0;
    if (length > 4) length = 4;
    uint32_t v = 0;
    for (int i = 0; i < length; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    if (length < 4 && (v & (1u << (8 * length - 1)))) v |= ~0u << (8 * length);  // sign-extend
    return static_cast<int32_t>(v);
}

TServiceAnswer ParseServiceAnswer(const char* buffer, size_t size) {
    TServiceAnswer a;
    const char* p = buffer;
    const char* end = buffer + size;
    while (p < end && *p != isc_info_end) {
        char item = *p++;
        if (item == isc_info_svc_to_eof) {
            if (end - p < 2) break;
            size_t len = static_cast<size_t>(DecodeInteger(p, 2)) & 0xFFFF;
            p += 2;
            len = std::min<size_t>(len, static_cast<size_t>(end - p));
            a.Text.assign(p, len);
            a.HasData = true;
            p += len;
        } else if (item == isc_info_truncated || item == isc_info_svc_timeout || item == isc_info_data_not_ready) {
            a.More = true;
        } else {
            break;  // an item we did not ask for: nothing after it can be read safely
        }
    }
    return a;
}

void TServiceLineSplitter::Append(std::string_view chunk) {
    // Drop what was handed out before the text grows again, so that it does
    // not keep the whole run.
    if (FPos > 0 && FPos >= FText.size() / 2) {
        FText.erase(0, FPos);
        FPos = 0;
    }
    FText.append(chunk);
}

bool TServiceLineSplitter::NextLine(std::string& line) {
    const size_t lf = FText.find('\n', FPos);
    if (lf == std::string::npos) return false;
    line.assign(FText, FPos, lf - FPos);
    line += ' ';
    FPos = lf + 1;
    return true;
}

bool TServiceLineSplitter::TakeRest(std::string& rest) {
    if (Empty()) return false;
    rest.assign(FText, FPos, std::string::npos);
    FText.clear();
    FPos = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Handles

void TIBHandle::Release() noexcept {
    if (FHandle == 0) return;
    TStatusVector st;
    switch (FKind) {
        case THandleKind::Database: FLib->isc_detach_database(st.Get(), &FHandle); break;
        case THandleKind::Transaction: FLib->isc_rollback_transaction(st.Get(), &FHandle); break;
        case THandleKind::Statement: FLib->isc_dsql_free_statement(st.Get(), &FHandle, DSQL_drop); break;
        case THandleKind::Blob: FLib->isc_close_blob(st.Get(), &FHandle); break;
        case THandleKind::Service: FLib->isc_service_detach(st.Get(), &FHandle); break;
    }
    FHandle = 0;
}

}  // namespace dv
