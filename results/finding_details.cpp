#include "results/finding_details.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "backup/reg_export_writer.h"
#include "menus/desktop_entry.h"
#include "menus/wine_launch.h"
#include "platform/prefix/small_text_file.h"
#include "platform/registry/reg_text.h"
#include "platform/win32/registry_raw.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/shell_link.h"

namespace {

constexpr size_t kLongest = 260;

std::string Shorten(std::string text) {
    if (text.size() > kLongest) text = text.substr(0, kLongest) + "\u2026";
    return text;
}

// A value's data as text: strings as they read, numbers in decimal, anything else in hex.
std::string DataText(const qv::RawValue& v) {
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ) {
        std::u16string wide;
        for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
            char16_t c = static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
            wide += c == 0 ? u' ' : c;
        }
        while (!wide.empty() && wide.back() == u' ') wide.pop_back();
        return qv::reg::ToUtf8(wide);
    }
    if (v.type == REG_DWORD && v.data.size() == 4)
        return std::to_string(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24));
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < v.data.size() && i < 64; ++i) {
        if (i) out += ',';
        out += hex[v.data[i] >> 4];
        out += hex[v.data[i] & 15];
    }
    if (v.data.size() > 64) out += ",\u2026";
    return out;
}

bool IsText(const qv::RawValue& v) {
    return v.type == REG_SZ || v.type == REG_EXPAND_SZ;
}

std::string ValueName(const std::string& name) {
    return name.empty() ? "(Default)" : "\"" + name + "\"";
}

// The first of `candidates` that names a file which does not exist.
std::string FirstMissing(const std::vector<std::string>& candidates) {
    for (const std::string& text : candidates) {
        if (text.find_first_not_of(" \t") == std::string::npos) continue;
        if (!CRegistryObject::FileVerified(text)) return Shorten(text) + " does not exist";
    }
    return {};
}

const char kNoLongerMissing[] =
    "Nothing it names is missing now: it may have been put right since the scan. A new scan lists it no more.";

FindingDetails ExplainRegistryRow(const ScanFinding& f) {
    FindingDetails d;
    d.location = f.rootKey + "\\" + f.key;
    HKEY root = CRegExportWriter::RootFromName(f.rootKey);
    HKEY key = nullptr;
    if (root == nullptr || RegOpenKeyExA(root, f.key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        d.entry = "The key is not in the registry.";
        // A File Extensions row names the extension and its program as one text.
        const size_t gap = f.description.find_first_of(" \t");
        if (gap != std::string::npos) {
            std::string program = f.description.substr(gap);
            d.reason = FirstMissing({program});
        }
        if (d.reason.empty()) d.reason = "There is nothing here to remove.";
        return d;
    }
    std::vector<std::string> candidates;
    if (f.kind == "VAL") {
        qv::RawValue v;
        if (qv::RegQueryValueRaw(key, f.description, v) == ERROR_SUCCESS) {
            d.entry = "Value " + ValueName(f.description) + " = " + Shorten(DataText(v));
            if (IsText(v)) candidates.push_back(DataText(v));
            candidates.push_back(f.description);
            // A help file's value names the file, its data the folder it was in.
            if (IsText(v) && f.description.find('\\') == std::string::npos) {
                std::string folder = DataText(v);
                if (!folder.empty() && folder.back() != '\\') folder += '\\';
                candidates.insert(candidates.begin(), folder + f.description);
            }
        } else {
            d.entry = "The value " + ValueName(f.description) + " is not in the registry.";
        }
    } else {
        size_t count = 0;
        std::string shown;
        qv::RawValue v;
        for (DWORD i = 0; qv::RegEnumValueRaw(key, i, v) == ERROR_SUCCESS; ++i, ++count) {
            if (!IsText(v)) continue;
            // The key's default value first: it is what most categories check.
            if (v.name.empty()) {
                candidates.insert(candidates.begin(), DataText(v));
            } else {
                candidates.push_back(DataText(v));
            }
            if (shown.empty() || v.name.empty()) shown = ValueName(v.name) + " = " + Shorten(DataText(v));
        }
        d.entry = "Key with " + std::to_string(count) + (count == 1 ? " value" : " values") +
                  (shown.empty() ? "" : "; " + shown);
    }
    RegCloseKey(key);
    d.reason = FirstMissing(candidates);
    if (d.reason.empty()) d.reason = kNoLongerMissing;
    return d;
}

FindingDetails ExplainFileRow(const ScanFinding& f) {
    FindingDetails d;
    d.location = f.description;
    CShellLink link;
    if (!link.Load(f.description)) {
        d.entry = "The shortcut file cannot be read.";
        d.reason = "A shortcut that cannot be read leads nowhere.";
        return d;
    }
    const std::string target = link.GetPath();
    d.entry = target.empty() ? "The shortcut names no file." : "Shortcut to " + Shorten(target);
    d.reason = target.empty() ? "It leads nowhere." : FirstMissing({target});
    if (d.reason.empty()) d.reason = kNoLongerMissing;
    return d;
}

// A Wine menu row: the desktop file, what it starts in which prefix, and why it is stale.
FindingDetails ExplainMenuRow(const ScanFinding& f) {
    FindingDetails d;
    d.location = f.key;
    std::string text, why;
    qv::ReadSmallTextFile(f.key, text, why);  // a file that cannot be read reads as empty
    const auto keys = menus::ReadDesktopEntry(text);
    auto exec = keys.find("Exec");
    std::optional<menus::WineLaunch> launch;
    if (exec != keys.end())
        if (auto words = menus::SplitExec(exec->second)) launch = menus::ReadWineLaunch(*words);
    if (!launch) {
        d.entry = "The menu file can no longer be read as one of Wine's.";
        d.reason = kNoLongerMissing;
        return d;
    }
    d.entry = "Starts " + (launch->target.empty() ? std::string("a program") : Shorten(launch->target)) +
              " in the prefix " + launch->prefix.string();
    std::error_code ec;
    d.reason = std::filesystem::exists(launch->prefix / "system.reg", ec) || std::filesystem::exists(launch->prefix / "user.reg", ec)
                   ? "What it starts no longer exists in that prefix"
                   : "The prefix " + launch->prefix.string() + " no longer exists";
    return d;
}

}  // namespace

FindingDetails ExplainFinding(const ScanFinding& f) {
    if (f.kind == "VAL" || f.kind == "KEY") return ExplainRegistryRow(f);
    if (f.kind == "MENU") return ExplainMenuRow(f);
    return ExplainFileRow(f);
}
