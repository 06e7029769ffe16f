// The writer of partial backups: registry keys and values as text in the registry
// editor's import format ("Windows Registry Editor Version 5.00"), 8-bit, CR LF line ends.
//
// Values are written so that importing the file gives back exactly what was stored:
// - REG_SZ as a quoted string when it is a plain terminated text; otherwise (embedded NUL,
//   no terminator, line breaks, text UTF-8 cannot carry) as hex(1): with its UTF-16 bytes;
// - REG_EXPAND_SZ and REG_MULTI_SZ as "widened" lists, which are their stored UTF-16LE
//   bytes (for plain ASCII text each byte followed by 00);
// - REG_DWORD of four bytes as dword:; every other type and size as a byte list with the
//   type in hexadecimal (hex(0):, hex(4):, hex(5):, hex(6):, hex(8):, hex(b):, ...), so
//   nothing is dropped or reinterpreted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class CRegExportWriter {
public:
    // Creates or truncates the file and writes the header line. False (after telling the
    // user) when the file cannot be created.
    bool WriteRegFileHeader(const std::string& filePath);

    // Appends the sections of one key and of every key below it. `valueName` empty = every
    // value, else only the value of that exact name. 0 when the file cannot be opened.
    int ExportRegistryKey(const std::string& rootName, const std::string& keyPath, const std::string& valueName,
                          const std::string& filePath);

    // Writes one section: the key `subkey` below `parent`, headed by `sectionPath`.
    void ExportKeyValues(HKEY parent, const std::string& subkey, const std::string& valueName, FILE* file,
                         const std::string& sectionPath);

    // The value text for stored data (string types as UTF-16LE bytes), measured after the
    // name part held in m_strNamePart.
    void FormatRegValue(uint32_t type, const uint8_t* data, uint32_t size, std::string& text);

    // The handle of a root name ("HKEY_LOCAL_MACHINE", ...); null for any other text.
    static HKEY RootFromName(const std::string& rootName);

    std::string m_strNamePart;

    // False when the last ExportRegistryKey did not write everything it was asked for: the
    // file or a key could not be opened or read, or a write failed. A repair deletes nothing
    // whose backup is not complete.
    bool m_bComplete = true;

private:
    void AppendByteList(std::string& text, const uint8_t* data, uint32_t size);
    void AppendWidenedList(std::string& text, const uint8_t* data, uint32_t size);
};
