// Registry values for the startup tests, written with exact types and bytes, and the Run keys
// of both roots read back as registry-editor text, to compare byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "backup/regedit_export.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "platform/win32/registry_raw.h"

namespace qvtest {

inline const std::string kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The UTF-16LE bytes of `s`, with the terminating NUL unless `terminate` is false.
inline std::vector<uint8_t> Utf16Bytes(const std::string& s, bool terminate = true) {
    std::vector<uint8_t> out;
    for (char16_t c : qv::reg::ToUtf16(s)) {
        out.push_back(static_cast<uint8_t>(c & 0xff));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (terminate) out.insert(out.end(), {0, 0});
    return out;
}

// Creates the key when missing and sets the value to exactly `type` and `data`.
inline void SetRawValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                        const std::vector<uint8_t>& data) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    ASSERT_EQ(qv::RegSetValueRaw(k, name, type, data), 0) << name;
    RegCloseKey(k);
}

// The registry editor's text of `key` (a full path) in `store`, or "missing: <why>".
inline std::string ExportKeyText(qv::RegistryStore& store, const std::string& key) {
    std::u16string text;
    std::string error;
    if (!qv::RegeditExportText(store, key, text, error)) return "missing: " + error;
    return qv::reg::ToUtf8(text);
}
inline std::string ExportKeyText(const std::string& key) { return ExportKeyText(qv::ActivePrefix()->Registry(), key); }

// Both Run keys, HKCU first: of `store`, or of the active prefix.
inline std::string RunKeysText(qv::RegistryStore& store) {
    return ExportKeyText(store, "HKEY_CURRENT_USER\\" + kRunKeyPath) +
           ExportKeyText(store, "HKEY_LOCAL_MACHINE\\" + kRunKeyPath);
}
inline std::string RunKeysText() { return RunKeysText(qv::ActivePrefix()->Registry()); }

}  // namespace qvtest
