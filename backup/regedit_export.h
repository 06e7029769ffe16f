// The registry editor's export: the whole registry (HKEY_LOCAL_MACHINE, then HKEY_USERS)
// or one key with everything below it, as a UTF-16LE file with a byte-order mark,
// "Windows Registry Editor Version 5.00" and CR LF line ends. Keys come in the registry's
// order, link keys show their targets' content, and every value is written so that an
// import gives back the same type and bytes.
#pragma once

#include <filesystem>
#include <string>

namespace qv {

class RegistryStore;

// The file's text (without the byte-order mark). `key` is empty for the whole registry or
// a full key name ("HKEY_CURRENT_USER\Software\X", root name in any case). False with
// `error` set when the key does not exist or its root is unknown.
bool RegeditExportText(RegistryStore& store, const std::string& key, std::u16string& text, std::string& error);

// Writes that export to `file` (atomically: an existing file is replaced whole or not at all).
bool RegeditExportFile(RegistryStore& store, const std::string& key, const std::filesystem::path& file,
                       std::string& error);

}  // namespace qv
