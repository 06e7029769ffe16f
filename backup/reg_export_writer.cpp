#include "backup/reg_export_writer.h"

#include <cstring>
#include <memory>

#include "platform/registry/reg_text.h"
#include "platform/win32/registry_raw.h"
#include "platform/win32/windows_file_open.h"

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
const char kCreateError[] = "Error while creating the file";

struct RootName {
    const char* name;
    uintptr_t handle;
};
const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", 0x80000000u},  {"HKEY_CURRENT_USER", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", 0x80000002u}, {"HKEY_USERS", 0x80000003u},
    {"HKEY_PERFORMANCE_DATA", 0x80000004u}, {"HKEY_CURRENT_CONFIG", 0x80000005u},
    {"HKEY_DYN_DATA", 0x80000006u},
};

// Backups are text files with CR LF line ends, as a Windows program writing in text mode
// leaves them.
bool WriteText(FILE* f, const std::string& s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return std::fwrite(out.data(), 1, out.size(), f) == out.size();
}

class FileCloser {
public:
    explicit FileCloser(FILE* f) : f_(f) {}
    ~FileCloser() {
        if (f_) std::fclose(f_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    FILE* f_;
};

class KeyCloser {
public:
    explicit KeyCloser(HKEY k) : k_(k) {}
    ~KeyCloser() {
        if (k_) RegCloseKey(k_);
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HKEY k_;
};

void AppendHex(std::string& s, uint8_t b) {
    static const char kDigits[] = "0123456789abcdef";
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
}

std::u16string Units(const uint8_t* data, uint32_t size) {
    std::u16string u(size / 2, u'\0');
    for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return u;
}

// A REG_SZ that a quoted string gives back exactly: terminated, no inner NUL, no line
// break, and no unpaired surrogate (UTF-8 cannot carry one).
bool IsPlainText(const uint8_t* data, uint32_t size) {
    if (size < 2 || size % 2 || data[size - 1] || data[size - 2]) return false;
    std::u16string u = Units(data, size - 2);
    for (size_t i = 0; i < u.size(); ++i) {
        char16_t c = u[i];
        if (c == 0 || c == u'\r' || c == u'\n') return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= u.size() || u[i + 1] < 0xDC00 || u[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::string HexHead(uint32_t type) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", type);
    return buf;
}

}  // namespace

HKEY CRegExportWriter::RootFromName(const std::string& rootName) {
    for (const RootName& r : kRoots)
        if (rootName == r.name) return reinterpret_cast<HKEY>(r.handle);
    return nullptr;
}

bool CRegExportWriter::WriteRegFileHeader(const std::string& filePath) {
    FILE* f = qv::FopenWindows(filePath, "w+");
    if (!f) {
        MessageBoxA(nullptr, kCreateError, "Quorvane", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    bool ok = WriteText(f, std::string(kHeader) + "\n");
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) MessageBoxA(nullptr, kCreateError, "Quorvane", MB_OK | MB_ICONINFORMATION);
    return ok;
}

void CRegExportWriter::AppendByteList(std::string& text, const uint8_t* data, uint32_t size) {
    size_t line = m_strNamePart.size() + text.size();
    for (uint32_t i = 0; i < size; ++i) {
        bool last = i + 1 == size;
        AppendHex(text, data[i]);
        if (line > 73) {
            if (!last) {
                text += ",\\\n  ";
                line = 2;
            }
        } else {
            line += 2;
            if (!last) {
                text += ',';
                ++line;
            }
        }
    }
    text += '\n';
}

void CRegExportWriter::AppendWidenedList(std::string& text, const uint8_t* data, uint32_t size) {
    // Each 16-bit unit is a pair of items: its low byte and its high byte (the "00" of
    // plain ASCII text).
    size_t line = m_strNamePart.size() + text.size();
    size_t items = 0;
    size_t budget = 70;
    uint32_t units = size / 2;
    for (uint32_t i = 0; i < units; ++i) {
        bool last = i + 1 == units;
        uint8_t lo = data[2 * i], hi = data[2 * i + 1];
        if (line > budget) {
            AppendHex(text, lo);
            text += ',';
            AppendHex(text, hi);
            line += 5;
            items += 2;
            if (!last) {
                text += ",\\\n  ";
                line = 2;
                items = 0;
            }
            budget = 80;
        } else if (items == 24) {
            AppendHex(text, lo);
            text += ",\\\n  ";
            AppendHex(text, hi);
            line = 4;
            items = 1;
            if (!last) {
                text += ',';
                ++line;
            }
        } else {
            AppendHex(text, lo);
            text += ',';
            AppendHex(text, hi);
            line += 5;
            items += 2;
            if (!last) {
                if (items < 25) {
                    text += ',';
                    ++line;
                } else {
                    text += ",\\\n  ";
                    line = 2;
                    items = 0;
                }
            }
        }
    }
    text += '\n';
}

void CRegExportWriter::FormatRegValue(uint32_t type, const uint8_t* data, uint32_t size, std::string& text) {
    text.clear();
    switch (type) {
        case REG_SZ:
            if (IsPlainText(data, size)) {
                std::string s = qv::reg::ToUtf8(Units(data, size - 2));
                text += '"';
                for (char c : s) {
                    if (c == '\\') text += "\\\\";
                    else if (c == '"') text += "\\\"";
                    else text += c;
                }
                text += "\"\n";
                return;
            }
            break;
        case REG_DWORD:
            if (size == 4) {
                char buf[24];
                uint32_t v = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                             (static_cast<uint32_t>(data[3]) << 24);
                std::snprintf(buf, sizeof buf, "dword:%08x\n", v);
                text = buf;
                return;
            }
            break;
        case REG_BINARY:
            text = "hex:";
            AppendByteList(text, data, size);
            return;
        default:
            break;
    }
    text = HexHead(type);
    bool widened = (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && size % 2 == 0;
    if (widened)
        AppendWidenedList(text, data, size);
    else
        AppendByteList(text, data, size);
}

void CRegExportWriter::ExportKeyValues(HKEY parent, const std::string& subkey, const std::string& valueName,
                                       FILE* file, const std::string& sectionPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        m_bComplete = false;
        return;
    }
    KeyCloser closer(key);
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        m_bComplete = false;
        return;
    }
    std::string out = "\n[" + sectionPath + "]\n";
    std::string text;
    qv::RawValue v;
    auto append = [&](const qv::RawValue& value) {
        if (value.name.empty()) {
            m_strNamePart = "@=";
        } else {
            // A quote inside a name is escaped too: written plain, it would end the name
            // early and the value could not be restored.
            m_strNamePart = "\"";
            // Line breaks too: a raw one would end the line inside the name.
            for (char c : value.name) {
                if (c == '\\') m_strNamePart += "\\\\";
                else if (c == '"') m_strNamePart += "\\\"";
                else if (c == '\n') m_strNamePart += "\\n";
                else if (c == '\r') m_strNamePart += "\\r";
                else m_strNamePart += c;
            }
            m_strNamePart += "\"=";
        }
        FormatRegValue(value.type, value.data.data(), static_cast<uint32_t>(value.data.size()), text);
        out += m_strNamePart;
        out += text;
    };
    if (valueName.empty()) {
        for (DWORD i = 0; RegEnumValueRaw(key, i, v) == ERROR_SUCCESS; ++i) append(v);
    } else if (RegQueryValueRaw(key, valueName, v) == ERROR_SUCCESS) {
        // Looked up as the registry looks names up, without regard to case, so that the
        // backup holds the value that deleting this name removes, under its stored name.
        append(v);
    }
    if (!WriteText(file, out)) m_bComplete = false;
}

int CRegExportWriter::ExportRegistryKey(const std::string& rootName, const std::string& keyPath,
                                        const std::string& valueName, const std::string& filePath) {
    m_bComplete = true;
    FILE* f = qv::FopenWindows(filePath, "a+");
    if (!f) {
        m_bComplete = false;
        MessageBoxA(nullptr, kCreateError, "Quorvane", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    FileCloser fileCloser(f);
    HKEY root = RootFromName(rootName);
    HKEY top = nullptr;
    if (!root || RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &top) != ERROR_SUCCESS) {
        m_bComplete = false;
        return 1;
    }
    std::string full = keyPath.empty() ? rootName : rootName + "\\" + keyPath;
    ExportKeyValues(root, keyPath, valueName, f, full);

    // Depth-first walk in enumeration order with an explicit stack, so that any depth is
    // exported completely.
    struct Level {
        HKEY key;
        DWORD index;
        std::string path;
    };
    std::vector<Level> stack{{top, 0, full}};
    bool hasSubkeys = false;
    char name[1024];
    while (!stack.empty()) {
        Level& level = stack.back();
        LONG r = RegEnumKeyA(level.key, level.index, name, sizeof name);
        if (r == ERROR_MORE_DATA) {
            ++level.index;  // a name longer than any Windows key name: skip it
            m_bComplete = false;
            continue;
        }
        if (r != ERROR_SUCCESS) {
            if (r != ERROR_NO_MORE_ITEMS) m_bComplete = false;
            RegCloseKey(level.key);
            stack.pop_back();
            continue;
        }
        ++level.index;
        if (stack.size() == 1) hasSubkeys = true;
        if (name[0] == 0) {
            // A name that starts with NUL comes out empty here; opening "" would open the same
            // key again and descend for ever.
            m_bComplete = false;
            continue;
        }
        std::string path = level.path + "\\" + name;
        ExportKeyValues(level.key, name, valueName, f, path);
        // Link keys are followed to their targets; a crafted link that points back at one
        // of its own ancestors would never end, so the walk stops deeper than Windows lets
        // keys nest.
        const size_t kMaxDepth = 512;
        HKEY child = nullptr;
        if (stack.size() >= kMaxDepth ||
            RegOpenKeyExA(level.key, name, 0, KEY_ENUMERATE_SUB_KEYS, &child) != ERROR_SUCCESS) {
            for (Level& l : stack) RegCloseKey(l.key);
            m_bComplete = false;
            return 1;
        }
        stack.push_back({child, 0, path});
    }
    if (!hasSubkeys && !WriteText(f, "\n")) m_bComplete = false;
    if (std::fflush(f) != 0 || std::ferror(f)) m_bComplete = false;
    return 1;
}
