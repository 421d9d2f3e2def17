// A small registry of keys and values kept in a file the program owns.
//
// The store is the file "registry" in DRAVOLT_CONFIG_DIR when that is set
// (tests point it at a temporary folder), else in $XDG_CONFIG_HOME/dravolt,
// else in ~/.config/dravolt. It holds two root keys, HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE. Every operation reads the file again when it changed
// on disk, and every change is written back at once, so several TRegistry
// objects (and several running programs) see one another's changes.
//
// Paths: in OpenKey a '\' separates key names, a leading '\' starts at the
// root key and anything else is relative to the open key; an empty path
// opens the open key itself. Key names may otherwise hold any character
// ('/' and ':' included); value names may hold any character at all,
// '\' included. Key names (servers) are compared ignoring ASCII case and
// keep the case they were created with; value names (database paths among
// them) are compared exactly. Subkeys are listed in alphabetical order
// (ignoring case), values in the order they were created.
//
// A store that cannot be read is empty; one that cannot be written makes the
// changing operations return false and leaves the stored state as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text/SysUtils.h"

namespace dv {

DV_EXCEPTION_CLASS(ERegistryException, Exception)

enum class TRootKey { CurrentUser, LocalMachine };
constexpr TRootKey HKEY_CURRENT_USER = TRootKey::CurrentUser;
constexpr TRootKey HKEY_LOCAL_MACHINE = TRootKey::LocalMachine;

// The folder of the program's own configuration files (no trailing '/').
std::string ConfigDir();

class TRegistry {
public:
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Changing the root key does not close the open key; the next OpenKey
    // with a leading '\' starts at the new root.
    TRootKey RootKey = HKEY_CURRENT_USER;

    // Opens (and with canCreate creates) a key; it becomes the open key.
    // False when it does not exist and canCreate is false, when a name is
    // invalid, or when a new key could not be stored.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();
    // Path of the open key below the root ("" for the root itself or none).
    const std::string& CurrentPath() const { return FCurrentPath; }
    bool HasCurrentKey() const { return FOpen; }

    bool KeyExists(const std::string& key);   // relative or absolute as in OpenKey
    bool ValueExists(const std::string& name);

    // A missing value reads as the empty string; an integer value raises
    // ERegistryException "Invalid data type for '<name>'".
    std::string ReadString(const std::string& name);
    // A missing or string value raises ERegistryException
    // "Invalid data type for '<name>'".
    int32_t ReadInteger(const std::string& name);
    // False when no key is open or the store could not be written.
    bool WriteString(const std::string& name, const std::string& value);
    bool WriteInteger(const std::string& name, int32_t value);

    // Names in the open key (nothing when no key is open).
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();

    // Deletes a key with everything below it; false when it does not exist or
    // the store could not be written. Deleting the open key closes it.
    bool DeleteKey(const std::string& key);
    bool DeleteValue(const std::string& name);

    // Why the store's last write failed ("Cannot write file ..." naming the
    // file and the reason); empty when it worked.
    static std::string LastWriteError();

private:
    bool Resolve(const std::string& key, std::vector<std::string>& path) const;

    bool FOpen = false;
    TRootKey FOpenRoot = HKEY_CURRENT_USER;
    std::string FCurrentPath;
    std::vector<std::string> FCurrent;   // the open key's names below the root
};

}  // namespace dv
