// Registry and shell services of the core library, as static operations of one class.
// Results are ints, non-zero on success; nothing throws to a caller. Key paths are relative
// to the root handle passed and may carry doubled backslashes, which count as one.
#pragma once

#include <windows.h>

#include <string>

class CSystem32 {
public:
    // Registry values. The int forms store and read a REG_DWORD; the text forms a REG_SZ
    // (reading also accepts REG_EXPAND_SZ, unexpanded).
    static int GetRegistryValue(const std::string& subkey, const std::string& name,
                                std::string& value, HKEY root);
    static int GetRegistryValue(const std::string& subkey, const std::string& name, int& value,
                                HKEY root);
    static int SetRegistryValue(const std::string& subkey, const std::string& name,
                                const std::string& value, HKEY root);
    static int SetRegistryValue(const std::string& subkey, const std::string& name, int value,
                                HKEY root);
    static int DeleteRegistryValue(const std::string& subkey, const std::string& name, HKEY root);
    // Removes the key with everything below it.
    static int DeleteRegistryKey(const std::string& subkey, HKEY root);
    static int CreateRegistryKey(const std::string& subkey, HKEY root);

    // Startup items, switched off and on through the system configuration utility's store
    // (HKLM "SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg"): one subkey per item
    // that is off, with the string values "item", "command", "hkey", "key" and "inimapping",
    // plus the Run value's own type and bytes, so that switching on gives back the value
    // exactly. The subkey is named after the item; a backslash in the name becomes '_', long
    // names are shortened and a name already used by another item gets " (2)", " (3)", ...:
    // the "item" value always keeps the real name. Both return kStartupChanged when they
    // switched the item, kStartupUnchanged when it already was in that state, 0 on failure
    // (then nothing was changed, or the item is left both on and recorded; never lost).
    // Neither may run inside a RegistryBatch of the caller: their order of saves is what
    // keeps a value from being removed before its record is on disk.
    static constexpr int kStartupChanged = 1;
    static constexpr int kStartupUnchanged = 2;

    // Switches an item on: its Run value `item` = `command` under `root`\`runKey`, and its
    // record (under the store that `disabledKey` = store\item names) is removed. A record
    // whose "command" is `command` gives back its value's type and bytes; one with only the
    // four strings gives REG_SZ. Fails, and changes nothing, when a Run value of that name
    // with another command is on already.
    static int EnableStartupRegistry(const std::string& runKey, const std::string& disabledKey,
                                     const std::string& item, const std::string& command, HKEY root);
    // Switches an item off: records its Run value under `recordRoot`\store, then removes the
    // value (in one save when both are in one registry file, else record first). When no such
    // value is on, a record of `command` is written unless the item has one already.
    // `rootText` is the Run key's root as "HKCU", "HKLM", "HKCR" or "HKCC".
    static int DisableStartupRegistry(const std::string& disabledKey, const std::string& runKey,
                                      const std::string& item, const std::string& rootText,
                                      const std::string& command, HKEY recordRoot);

    // A shell folder's path, ending in a backslash (CSIDL values of <shlobj.h>).
    static int GetSpecialFolder(int csidl, std::string& path);

    // Deletes every file that a path pattern ("C:\dir\*.txt") matches; folders stay.
    static int ShellDeleteFiles(const std::string& pattern);
    // Deletes a folder with its contents. Symbolic links inside are removed as links:
    // nothing outside the folder is ever touched.
    static int ShellDeleteDir(const std::string& path);
};
