// Switching startup items off and on through the system configuration utility's store.
//
// A record is one subkey of the store with the four strings that utility writes ("item",
// "command", "hkey", "key") and its "inimapping" = "0", plus two values of our own that keep
// the Run value exactly: its registry type (REG_DWORD) and its stored bytes (REG_BINARY).
// The kept bytes count only while "command" is still their text: a record that someone
// edited, or one written by the utility itself, gives back "command" as REG_SZ.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry/reg_text.h"
#include "platform/registry/registry_batch.h"
#include "platform/win32/registry_raw.h"
#include "vendor/core/startup_root_text.h"
#include "vendor/core/system32.h"

namespace {

constexpr char kItemValue[] = "item";
constexpr char kCommandValue[] = "command";
constexpr char kRootValue[] = "hkey";
constexpr char kKeyValue[] = "key";
constexpr char kIniMappingValue[] = "inimapping";
constexpr char kOriginalTypeValue[] = "QuorvaneType";
constexpr char kOriginalDataValue[] = "QuorvaneData";

// Subkey names stay well below the registry's limit of 255 characters, with room for a
// " (n)" suffix.
constexpr size_t kSubkeyNameBytes = 200;
constexpr int kMaxSubkeySuffix = 1000;

class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (h_) RegCloseKey(h_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* Out() { return &h_; }
    HKEY Get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

struct ExactValue {
    DWORD type = REG_SZ;
    std::vector<uint8_t> bytes;
    bool operator==(const ExactValue&) const = default;
};

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The text the startup readers show for a value: a string type's text up to its first NUL,
// nothing for other types.
std::string CommandText(const ExactValue& v) {
    if (!IsStringType(v.type)) return {};
    std::u16string units;
    for (size_t i = 0; i + 1 < v.bytes.size(); i += 2) {
        char16_t c = static_cast<char16_t>(v.bytes[i] | (v.bytes[i + 1] << 8));
        if (c == u'\0') break;
        units += c;
    }
    return qv::reg::ToUtf8(units);
}

// `command` as a terminated REG_SZ, as RegSetValueExA stores it.
ExactValue PlainString(const std::string& command) {
    ExactValue v;
    v.type = REG_SZ;
    for (char16_t c : qv::reg::ToUtf16(command)) {
        v.bytes.push_back(static_cast<uint8_t>(c & 0xff));
        v.bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.bytes.push_back(0);
    v.bytes.push_back(0);
    return v;
}

bool SameName(const std::string& a, const std::string& b) {
    return qv::reg::NamesEqual(qv::reg::ToUtf16(a), qv::reg::ToUtf16(b));
}

// Key paths compare element by element, ignoring empty elements and case.
std::string NormalizedPath(const std::string& path) {
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        size_t end = path.find('\\', i);
        if (end == std::string::npos) end = path.size();
        if (end > i) {
            if (!out.empty()) out += '\\';
            out.append(path, i, end - i);
        }
        i = end + 1;
    }
    return out;
}

bool SamePath(const std::string& a, const std::string& b) { return SameName(NormalizedPath(a), NormalizedPath(b)); }

bool ReadRunValue(HKEY root, const std::string& runKey, const std::string& item, ExactValue& out) {
    KeyHandle key;
    if (RegOpenKeyExA(root, runKey.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return false;
    qv::RawValue raw;
    if (qv::RegQueryValueRaw(key.Get(), item, raw) != ERROR_SUCCESS) return false;
    out.type = raw.type;
    out.bytes = std::move(raw.data);
    return true;
}

bool WriteRunValue(HKEY root, const std::string& runKey, const std::string& item, const ExactValue& v) {
    KeyHandle key;
    if (RegCreateKeyExA(root, runKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.Out(), nullptr) != ERROR_SUCCESS)
        return false;
    return qv::RegSetValueRaw(key.Get(), item, v.type, v.bytes) == ERROR_SUCCESS;
}

struct Record {
    std::string subkey;  // the subkey's name below the store
    std::string item, command, root, key;
    bool hasOriginal = false;
    ExactValue original;

    // What switching this record on writes.
    ExactValue Value() const {
        if (hasOriginal && CommandText(original) == command) return original;
        return PlainString(command);
    }
    // True when the record holds this very value.
    bool Holds(const ExactValue& v) const {
        if (Value() == v) return true;
        // A record without kept bytes holds any plain string of its command.
        return !(hasOriginal && CommandText(original) == command) && v.type == REG_SZ && CommandText(v) == command;
    }
};

bool ReadRecord(const std::string& store, const std::string& subkey, HKEY recordRoot, Record& r) {
    const std::string path = store + "\\" + subkey;
    KeyHandle key;
    if (RegOpenKeyExA(recordRoot, path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return false;
    r = Record{};
    r.subkey = subkey;
    CSystem32::GetRegistryValue(path, kItemValue, r.item, recordRoot);
    CSystem32::GetRegistryValue(path, kCommandValue, r.command, recordRoot);
    CSystem32::GetRegistryValue(path, kRootValue, r.root, recordRoot);
    CSystem32::GetRegistryValue(path, kKeyValue, r.key, recordRoot);
    int type = 0;
    qv::RawValue data;
    if (CSystem32::GetRegistryValue(path, kOriginalTypeValue, type, recordRoot) &&
        qv::RegQueryValueRaw(key.Get(), kOriginalDataValue, data) == ERROR_SUCCESS && data.type == REG_BINARY) {
        r.hasOriginal = true;
        r.original.type = static_cast<DWORD>(type);
        r.original.bytes = std::move(data.data);
    }
    return true;
}

bool EnumSubkeyName(HKEY key, DWORD index, std::string& name) {
    for (DWORD size = 256; size <= (1u << 16); size *= 2) {
        std::vector<char> buf(size);
        DWORD n = size;
        LONG r = RegEnumKeyExA(key, index, buf.data(), &n, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_SUCCESS) {
            name.assign(buf.data(), n);
            return true;
        }
        if (r != ERROR_MORE_DATA) return false;
    }
    return false;
}

// The records of one item: same name, same root, same Run key.
std::vector<Record> RecordsOf(const std::string& store, HKEY recordRoot, const std::string& item, HKEY root,
                              const std::string& runKey) {
    std::vector<Record> found;
    std::vector<std::string> names;
    {
        KeyHandle key;
        if (RegOpenKeyExA(recordRoot, store.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return found;
        std::string name;
        for (DWORD i = 0; EnumSubkeyName(key.Get(), i, name); ++i) names.push_back(name);
    }
    for (const std::string& name : names) {
        Record r;
        if (!ReadRecord(store, name, recordRoot, r)) continue;
        if (SameName(r.item, item) && StartupRootHandle(r.root) == root && SamePath(r.key, runKey))
            found.push_back(std::move(r));
    }
    return found;
}

// The store: `disabledKey` without its trailing "\item" (the callers' form), else its parent.
std::string StoreOf(const std::string& disabledKey, const std::string& item) {
    const std::string tail = "\\" + item;
    if (disabledKey.size() > tail.size() && disabledKey.compare(disabledKey.size() - tail.size(), tail.size(), tail) == 0)
        return disabledKey.substr(0, disabledKey.size() - tail.size());
    size_t cut = disabledKey.rfind('\\');
    return cut == std::string::npos ? std::string() : disabledKey.substr(0, cut);
}

// The item's name made fit for a subkey: no backslash, not empty, at most kSubkeyNameBytes
// bytes (cut on a character boundary).
std::string SubkeyNameOf(const std::string& item) {
    std::string name = item;
    for (char& c : name)
        if (c == '\\') c = '_';
    if (name.size() > kSubkeyNameBytes) {
        size_t cut = kSubkeyNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    // Trailing blanks would be hard to tell apart; an empty name cannot be a subkey.
    if (name.find_first_not_of(' ') == std::string::npos) name = "(Default)" + name;
    return name;
}

bool SubkeyExists(HKEY root, const std::string& path) {
    KeyHandle key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) == ERROR_SUCCESS;
}

// A free subkey name for a new record of `item`; "" when none is left.
std::string FreeSubkeyName(const std::string& store, HKEY recordRoot, const std::string& item) {
    const std::string base = SubkeyNameOf(item);
    for (int n = 1; n <= kMaxSubkeySuffix; ++n) {
        std::string name = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        if (!SubkeyExists(recordRoot, store + "\\" + name)) return name;
    }
    return {};
}

bool WriteRecord(const std::string& path, HKEY recordRoot, const std::string& item, const std::string& rootText,
                 const std::string& runKey, const std::string& command, const ExactValue* original) {
    bool ok = CSystem32::SetRegistryValue(path, kItemValue, item, recordRoot) &&
              CSystem32::SetRegistryValue(path, kCommandValue, command, recordRoot) &&
              CSystem32::SetRegistryValue(path, kRootValue, rootText, recordRoot) &&
              CSystem32::SetRegistryValue(path, kKeyValue, runKey, recordRoot) &&
              CSystem32::SetRegistryValue(path, kIniMappingValue, std::string("0"), recordRoot);
    if (!ok || !original) return ok;
    KeyHandle key;
    if (RegOpenKeyExA(recordRoot, path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return false;
    return CSystem32::SetRegistryValue(path, kOriginalTypeValue, static_cast<int>(original->type), recordRoot) &&
           qv::RegSetValueRaw(key.Get(), kOriginalDataValue, REG_BINARY, original->bytes) == ERROR_SUCCESS;
}

bool DeleteRunValue(HKEY root, const std::string& runKey, const std::string& item) {
    KeyHandle key;
    if (RegOpenKeyExA(root, runKey.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return false;
    return RegDeleteValueA(key.Get(), item.c_str()) == ERROR_SUCCESS;
}

bool DeleteRecord(const std::string& store, HKEY recordRoot, const Record& r) {
    return CSystem32::DeleteRegistryKey(store + "\\" + r.subkey, recordRoot) != 0;
}

}  // namespace

int CSystem32::EnableStartupRegistry(const std::string& runKey, const std::string& disabledKey,
                                     const std::string& item, const std::string& command, HKEY root) {
    const std::string store = StoreOf(disabledKey, item);
    const HKEY recordRoot = HKEY_LOCAL_MACHINE;
    const bool knownRoot = root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE || root == HKEY_CLASSES_ROOT ||
                           root == HKEY_CURRENT_CONFIG;
    if (!knownRoot || NormalizedPath(runKey).empty() || NormalizedPath(store).empty()) return 0;
    std::vector<Record> records = RecordsOf(store, recordRoot, item, root, runKey);

    ExactValue current;
    if (ReadRunValue(root, runKey, item, current)) {
        // On already. Another command under the same name is someone else's value: it is
        // not replaced.
        if (CommandText(current) != command) return 0;
        // Records of this very value are leftovers of an earlier switch; they go.
        bool ok = true;
        for (const Record& r : records)
            if (r.Holds(current)) ok = DeleteRecord(store, recordRoot, r) && ok;
        return ok ? kStartupUnchanged : 0;
    }

    // The record to give back: the one of this command, preferring one with kept bytes.
    const Record* chosen = nullptr;
    for (const Record& r : records)
        if (r.command == command && (!chosen || (r.hasOriginal && !chosen->hasOriginal))) chosen = &r;
    const ExactValue value = chosen ? chosen->Value() : PlainString(command);
    const bool oneSave = StartupRootsShareFile(root, recordRoot);
    {
        qv::RegistryBatch batch;
        if (!WriteRunValue(root, runKey, item, value)) {
            batch.Commit();
            return 0;
        }
        if (oneSave && chosen && !DeleteRecord(store, recordRoot, *chosen)) {
            DeleteRunValue(root, runKey, item);
            batch.Commit();
            return 0;
        }
        if (batch.Commit() != ERROR_SUCCESS) return 0;
    }
    // In two files: the value is on disk before the record goes, so a failure leaves the
    // item listed twice rather than lost.
    if (!oneSave && chosen && !DeleteRecord(store, recordRoot, *chosen)) return 0;
    return kStartupChanged;
}

int CSystem32::DisableStartupRegistry(const std::string& disabledKey, const std::string& runKey,
                                      const std::string& item, const std::string& rootText,
                                      const std::string& command, HKEY recordRoot) {
    const HKEY root = StartupRootHandle(rootText);
    const std::string store = StoreOf(disabledKey, item);
    if (!root || NormalizedPath(runKey).empty() || NormalizedPath(store).empty()) return 0;
    std::vector<Record> records = RecordsOf(store, recordRoot, item, root, runKey);

    ExactValue current;
    if (!ReadRunValue(root, runKey, item, current)) {
        if (!records.empty()) return kStartupUnchanged;
        // Nothing is on: record the command so that it can be switched on later.
        const std::string name = FreeSubkeyName(store, recordRoot, item);
        if (name.empty()) return 0;
        qv::RegistryBatch batch;
        const std::string path = store + "\\" + name;
        if (!WriteRecord(path, recordRoot, item, rootText, runKey, command, nullptr)) {
            DeleteRegistryKey(path, recordRoot);
            batch.Commit();
            return 0;
        }
        return batch.Commit() == ERROR_SUCCESS ? kStartupUnchanged : 0;
    }

    // A record that holds this very value is written again; otherwise a new subkey, so that
    // no other record (another root's item of the same name, an older command) is replaced.
    std::string name;
    bool fresh = true;
    for (const Record& r : records)
        if (r.Holds(current)) {
            name = r.subkey;
            fresh = false;
            break;
        }
    if (name.empty()) name = FreeSubkeyName(store, recordRoot, item);
    if (name.empty()) return 0;
    const std::string path = store + "\\" + name;
    const bool oneSave = StartupRootsShareFile(root, recordRoot);
    {
        qv::RegistryBatch batch;
        bool ok = WriteRecord(path, recordRoot, item, rootText, runKey, CommandText(current), &current);
        if (ok && oneSave) ok = DeleteRunValue(root, runKey, item);
        if (!ok) {
            // Only memory changed so far: take back what was written before saving.
            if (fresh) DeleteRegistryKey(path, recordRoot);
            batch.Commit();
            return 0;
        }
        if (batch.Commit() != ERROR_SUCCESS) return 0;
    }
    // In two files: the record is on disk before the value goes.
    if (!oneSave && !DeleteRunValue(root, runKey, item)) return 0;
    return kStartupChanged;
}
