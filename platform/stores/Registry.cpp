#include "platform/stores/Registry.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

#include "platform/stores/FileIO.h"

namespace dv {

std::string ConfigDir() {
    const char* dir = std::getenv("DRAVOLT_CONFIG_DIR");
    if (dir && *dir) return std::string(dir);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/dravolt";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/dravolt";
}

namespace {

// ---------------------------------------------------------------------------
// The store

struct RegValue {
    std::string name;
    bool isInteger = false;
    std::string text;
    int32_t number = 0;
};

struct RegKey {
    std::string name;
    std::vector<RegValue> values;
    std::vector<RegKey> subkeys;

    RegKey* Sub(const std::string& n) {
        for (RegKey& k : subkeys)
            if (SameText(k.name, n)) return &k;
        return nullptr;
    }
    // The subkey of that name, added when there is none.
    RegKey* SubOrAdd(const std::string& n) {
        if (RegKey* k = Sub(n)) return k;
        subkeys.push_back(RegKey{n, {}, {}});
        return &subkeys.back();
    }
    // Value names are exact: they hold database paths, and on this
    // platform two paths that differ only in case are two files.
    RegValue* Value(const std::string& n) {
        for (RegValue& v : values)
            if (v.name == n) return &v;
        return nullptr;
    }
};

const char* const kRootNames[2] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
const char* const kHeader = "DRAVOLT-REGISTRY 1";

// Names and data are written with %XX for '%', the characters that structure
// the file ('\' '[' ']' '=') and control characters, so any byte survives.
std::string Escape(const std::string& s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 32 || c == 127 || c == '%' || c == '\\' || c == '[' || c == ']' || c == '=') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Unescape(std::string_view s) {
    auto val = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && val(s[i + 1]) >= 0 && val(s[i + 2]) >= 0) {
            out += static_cast<char>(val(s[i + 1]) * 16 + val(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

class Store {
public:
    std::mutex Lock;
    std::string LastWriteError;   // of the last write, empty when it worked

    RegKey& Root(TRootKey r) { return FRoots[r == HKEY_LOCAL_MACHINE ? 1 : 0]; }

    // Reads the file again when it is another file or changed on disk.
    void Refresh() {
        const std::string path = ConfigDir() + "/registry";
        struct stat st;
        const bool exists = stat(path.c_str(), &st) == 0;
        const Stamp now = exists ? Stamp{path, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size, st.st_ino}
                                 : Stamp{path, 0, 0, -1, 0};
        if (FLoaded && now == FStamp) return;
        FStamp = now;
        FLoaded = true;
        FRoots[0] = RegKey{kRootNames[0], {}, {}};
        FRoots[1] = RegKey{kRootNames[1], {}, {}};
        std::string text;
        if (!exists || !ReadWholeFile(path, text)) return;
        Parse(text);
    }

    // Writes the store; on failure the caller restores its copy.
    bool Save() {
        const std::string dir = ConfigDir();
        MakeDirs(dir);
        const std::string path = dir + "/registry";
        std::string out = std::string(kHeader) + "\n";
        for (int r = 0; r < 2; ++r) WriteKey(out, FRoots[r], Escape(FRoots[r].name));
        const TFileWriteResult written = ReplaceFileContent(path, out);
        LastWriteError = written ? std::string() : written.Message(path);
        if (!written) return false;
        struct stat st;
        if (stat(path.c_str(), &st) == 0) FStamp = Stamp{path, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size, st.st_ino};
        return true;
    }

    // Runs a change and stores it; the change is undone when it cannot be stored.
    template <class F>
    bool Change(F&& f) {
        LastWriteError.clear();
        RegKey saved[2] = {FRoots[0], FRoots[1]};
        if (!f()) return false;
        if (Save()) return true;
        FRoots[0] = std::move(saved[0]);
        FRoots[1] = std::move(saved[1]);
        return false;
    }

private:
    struct Stamp {
        std::string path;
        long sec = 0, nsec = 0;
        long long size = -1;
        unsigned long long ino = 0;
        bool operator==(const Stamp&) const = default;
    };

    static void WriteKey(std::string& out, const RegKey& k, const std::string& path) {
        out += "[" + path + "]\n";
        for (const RegValue& v : k.values)
            out += (v.isInteger ? "i " + Escape(v.name) + "=" + std::to_string(v.number)
                                : "s " + Escape(v.name) + "=" + Escape(v.text)) + "\n";
        for (const RegKey& s : k.subkeys) WriteKey(out, s, path + "\\" + Escape(s.name));
    }

    // Lines that do not fit the layout are passed over.
    void Parse(const std::string& text) {
        RegKey* current = nullptr;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string_view line(text.data() + pos, end - pos);
            pos = end + 1;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
                current = KeyAt(line.substr(1, line.size() - 2));
                continue;
            }
            if (!current || line.size() < 3 || (line[0] != 's' && line[0] != 'i') || line[1] != ' ') continue;
            const size_t eq = line.find('=');
            if (eq == std::string_view::npos) continue;
            RegValue v;
            v.name = Unescape(line.substr(2, eq - 2));
            if (v.name.empty()) continue;
            const std::string_view data = line.substr(eq + 1);
            if (line[0] == 'i') {
                if (!TryStrToInt(data, v.number)) continue;
                v.isInteger = true;
            } else {
                v.text = Unescape(data);
            }
            if (RegValue* old = current->Value(v.name)) *old = std::move(v);
            else current->values.push_back(std::move(v));
        }
    }

    // The key named by an escaped path, created as needed; nullptr for an
    // unknown root.
    RegKey* KeyAt(std::string_view path) {
        RegKey* k = nullptr;
        size_t start = 0;
        bool first = true;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string_view::npos) end = path.size();
            const std::string name = Unescape(path.substr(start, end - start));
            start = end + 1;
            if (first) {
                first = false;
                if (name == kRootNames[0]) k = &FRoots[0];
                else if (name == kRootNames[1]) k = &FRoots[1];
                else return nullptr;
                continue;
            }
            if (!name.empty()) k = k->SubOrAdd(name);
        }
        return k;
    }

    RegKey FRoots[2] = {RegKey{kRootNames[0], {}, {}}, RegKey{kRootNames[1], {}, {}}};
    bool FLoaded = false;
    Stamp FStamp;
};

Store& TheStore() {
    static Store s;
    return s;
}

// The store, locked and read again when its file changed, for the life of
// this object.
class LockedStore {
public:
    LockedStore() : FStore(TheStore()), FGuard(FStore.Lock) { FStore.Refresh(); }
    Store& operator*() { return FStore; }

private:
    Store& FStore;
    std::lock_guard<std::mutex> FGuard;
};

RegKey* Walk(RegKey& root, const std::vector<std::string>& path) {
    RegKey* k = &root;
    for (const std::string& n : path) {
        k = k->Sub(n);
        if (!k) return nullptr;
    }
    return k;
}

std::string JoinPath(const std::vector<std::string>& path) {
    std::string s;
    for (const std::string& n : path) {
        if (!s.empty()) s += '\\';
        s += n;
    }
    return s;
}

}  // namespace

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

std::string TRegistry::LastWriteError() {
    Store& st = TheStore();
    std::lock_guard<std::mutex> guard(st.Lock);
    return st.LastWriteError;
}

bool TRegistry::Resolve(const std::string& key, std::vector<std::string>& path) const {
    const bool absolute = !key.empty() && key[0] == '\\';
    path.clear();
    if (!absolute && FOpen) path = FCurrent;
    size_t start = absolute ? 1 : 0;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string::npos) end = key.size();
        if (end > start) path.emplace_back(key.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    std::vector<std::string> path;
    Resolve(key, path);
    const TRootKey root = (!key.empty() && key[0] == '\\') || !FOpen ? RootKey : FOpenRoot;
    LockedStore locked;
    Store& st = *locked;
    if (!Walk(st.Root(root), path)) {
        if (!canCreate) return false;
        const bool ok = st.Change([&]() {
            RegKey* k = &st.Root(root);
            for (const std::string& n : path) k = k->SubOrAdd(n);
            return true;
        });
        if (!ok) return false;
    }
    FOpen = true;
    FOpenRoot = root;
    FCurrent = std::move(path);
    FCurrentPath = JoinPath(FCurrent);
    return true;
}

void TRegistry::CloseKey() {
    FOpen = false;
    FCurrent.clear();
    FCurrentPath.clear();
}

bool TRegistry::KeyExists(const std::string& key) {
    std::vector<std::string> path;
    Resolve(key, path);
    const TRootKey root = (!key.empty() && key[0] == '\\') || !FOpen ? RootKey : FOpenRoot;
    LockedStore locked;
    Store& st = *locked;
    return Walk(st.Root(root), path) != nullptr;
}

bool TRegistry::ValueExists(const std::string& name) {
    if (!FOpen) return false;
    LockedStore locked;
    Store& st = *locked;
    RegKey* k = Walk(st.Root(FOpenRoot), FCurrent);
    return k && k->Value(name);
}

std::string TRegistry::ReadString(const std::string& name) {
    if (!FOpen) return std::string();
    LockedStore locked;
    Store& st = *locked;
    RegKey* k = Walk(st.Root(FOpenRoot), FCurrent);
    RegValue* v = k ? k->Value(name) : nullptr;
    if (!v) return std::string();
    if (v->isInteger) throw ERegistryException("Invalid data type for '" + name + "'");
    return v->text;
}

int32_t TRegistry::ReadInteger(const std::string& name) {
    RegValue found;
    bool ok = false;
    if (FOpen) {
        LockedStore locked;
        Store& st = *locked;
        RegKey* k = Walk(st.Root(FOpenRoot), FCurrent);
        RegValue* v = k ? k->Value(name) : nullptr;
        if (v && v->isInteger) {
            found = *v;
            ok = true;
        }
    }
    if (!ok) throw ERegistryException("Invalid data type for '" + name + "'");
    return found.number;
}

static bool PutValue(bool open, TRootKey root, const std::vector<std::string>& current, const std::string& name,
                     bool isInteger, const std::string& text, int32_t number) {
    if (!open || name.empty()) return false;
    LockedStore locked;
    Store& st = *locked;
    return st.Change([&]() {
        RegKey* k = Walk(st.Root(root), current);
        if (!k) return false;  // deleted meanwhile
        RegValue* v = k->Value(name);
        if (!v) {
            k->values.push_back(RegValue{name, false, {}, 0});
            v = &k->values.back();
        }
        v->isInteger = isInteger;
        v->text = isInteger ? std::string() : text;
        v->number = isInteger ? number : 0;
        return true;
    });
}

bool TRegistry::WriteString(const std::string& name, const std::string& value) {
    return PutValue(FOpen, FOpenRoot, FCurrent, name, false, value, 0);
}

bool TRegistry::WriteInteger(const std::string& name, int32_t value) {
    return PutValue(FOpen, FOpenRoot, FCurrent, name, true, std::string(), value);
}

std::vector<std::string> TRegistry::GetKeyNames() {
    std::vector<std::string> names;
    if (!FOpen) return names;
    LockedStore locked;
    Store& st = *locked;
    if (RegKey* k = Walk(st.Root(FOpenRoot), FCurrent))
        for (const RegKey& s : k->subkeys) names.push_back(s.name);
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
    return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
    std::vector<std::string> names;
    if (!FOpen) return names;
    LockedStore locked;
    Store& st = *locked;
    if (RegKey* k = Walk(st.Root(FOpenRoot), FCurrent))
        for (const RegValue& v : k->values) names.push_back(v.name);
    return names;
}

bool TRegistry::DeleteKey(const std::string& key) {
    std::vector<std::string> path;
    Resolve(key, path);
    if (path.empty()) return false;  // a root key stays
    const TRootKey root = (!key.empty() && key[0] == '\\') || !FOpen ? RootKey : FOpenRoot;
    bool ok;
    {
        LockedStore locked;
        Store& st = *locked;
        ok = st.Change([&]() {
            std::vector<std::string> parentPath(path.begin(), path.end() - 1);
            RegKey* parent = Walk(st.Root(root), parentPath);
            if (!parent) return false;
            const auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                                         [&](const RegKey& k) { return SameText(k.name, path.back()); });
            if (it == parent->subkeys.end()) return false;
            parent->subkeys.erase(it);
            return true;
        });
    }
    // The open key goes when it was the deleted one or lay below it.
    if (ok && FOpen && FOpenRoot == root && FCurrent.size() >= path.size() &&
        std::equal(path.begin(), path.end(), FCurrent.begin(),
                   [](const std::string& a, const std::string& b) { return SameText(a, b); }))
        CloseKey();
    return ok;
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!FOpen) return false;
    LockedStore locked;
    Store& st = *locked;
    return st.Change([&]() {
        RegKey* k = Walk(st.Root(FOpenRoot), FCurrent);
        if (!k) return false;
        const auto it = std::find_if(k->values.begin(), k->values.end(),
                                     [&](const RegValue& v) { return v.name == name; });
        if (it == k->values.end()) return false;
        k->values.erase(it);
        return true;
    });
}

}  // namespace dv
