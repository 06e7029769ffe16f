// Checks that make a partial backup trustworthy before a repair deletes anything: that each
// entry can be written to .reg text exactly, and that the written file, read back with our
// own .reg reader, holds exactly the registry data it must bring back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_store.h"

namespace qv {

// One entry of a partial backup, as the repair names it: a value (`valueName`) or, with
// `wholeKey`, a key with everything below it.
struct BackupEntry {
    std::string rootName;  // "HKEY_LOCAL_MACHINE", ...
    std::string keyPath;
    std::string valueName;
    bool wholeKey = false;
};

// Why this entry cannot be backed up so that an import gives it back exactly (a name that
// .reg text cannot carry, a registry link); empty when it can. An entry that does not
// exist can be backed up (there is nothing to keep).
std::string BackupRefusal(const RegistryStore& store, const BackupEntry& entry);

// Parses `fileBytes` as a .reg file and compares what it would import with what the store
// holds now for `entries` (keys, value names, types and bytes, in order). Empty when they
// are the same; otherwise what differs, for the user.
std::string CompareBackupWithRegistry(const RegistryStore& store, std::string_view fileBytes,
                                      const std::vector<BackupEntry>& entries);

// A name made readable for a message: control characters and unpaired surrogates spelled
// out as \n, \r, \0, \x1f or \uD800.
std::string PrintableName(std::u16string_view name);

}  // namespace qv
