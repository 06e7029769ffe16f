// The file extension scanner: per-user extension keys whose program list is missing or
// whose programs' open commands no longer work, and their rows.
#include <algorithm>
#include <cctype>

#include "app/string_table.h"
#include "scan/registry_enum.h"
#include "scan/scan_engine.h"
#include "scan/scanned_keys.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/system32.h"

namespace {
using scankeys::kFileExts;
}

int CScanEngine::ScanFileExtensions() {
    const std::string prefix(StringText(174));
    scanreg::OpenKey exts(HKEY_CURRENT_USER, kFileExts);
    if (!exts) return 0;
    std::string ext;
    for (DWORD index = 0; !m_bStop && scanreg::EnumSubkey(exts.Get(), index, ext); ++index) {
        if (ext.empty()) continue;
        const std::string listKey = std::string(kFileExts) + "\\" + ext + "\\OpenWithProgids";
        EntryStatus([&] { return prefix + "HKEY_CURRENT_USER\\" + listKey; });
        scanreg::OpenKey list(HKEY_CURRENT_USER, listKey);
        if (!list) {
            m_stores.m_aFileExtEntries.push_back(ext);
            continue;
        }
        std::string detail;
        scanreg::ValueEntry value;
        for (DWORD v = 0; scanreg::EnumValue(list.Get(), v, value, false); ++v) {
            const std::string commandKey = "SOFTWARE\\Classes\\" + value.name + "\\shell\\open\\command";
            EntryStatus([&] { return prefix + "HKEY_LOCAL_MACHINE\\" + commandKey; });
            scanreg::OpenKey command(HKEY_LOCAL_MACHINE, commandKey);
            if (!command) {
                if (value.name.empty()) m_stores.m_aFileExtEntries.push_back(ext + "\t");
            } else {
                std::string text;
                if (CSystem32::GetRegistryValue(commandKey, "", text, HKEY_LOCAL_MACHINE)) {
                    std::string lower = text;
                    std::transform(lower.begin(), lower.end(), lower.begin(),
                                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                    if (!CRegistryObject::FileVerified(text) && !text.empty() &&
                        lower.find(".exe") == std::string::npos && lower.find(".dll") == std::string::npos)
                        detail += "\t" + text;
                }
            }
            if (!detail.empty()) m_stores.m_aFileExtEntries.push_back(ext + detail);
        }
    }
    return 1;
}

void CScanEngine::TransferFileExtensions() {
    const std::string problem(StringText(135));
    for (const std::string& entry : m_stores.m_aFileExtEntries) {
        size_t b = entry.find_first_not_of(" \t\r\n");
        size_t e = entry.find_last_not_of(" \t\r\n");
        std::string trimmed = b == std::string::npos ? std::string() : entry.substr(b, e - b + 1);
        AddFinding({problem, trimmed, std::string(kFileExts) + "\\" + trimmed, "HKEY_CURRENT_USER", "KEY"});
    }
}
