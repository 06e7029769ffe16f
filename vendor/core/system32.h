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

    // A shell folder's path, ending in a backslash (CSIDL values of <shlobj.h>).
    static int GetSpecialFolder(int csidl, std::string& path);

    // Deletes every file that a path pattern ("C:\dir\*.txt") matches; folders stay.
    static int ShellDeleteFiles(const std::string& pattern);
    // Deletes a folder with its contents. Symbolic links inside are removed as links:
    // nothing outside the folder is ever touched.
    static int ShellDeleteDir(const std::string& path);
};
