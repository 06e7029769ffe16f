#include "scan/machine_key_views.h"

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"

namespace {

bool StartsWithElement(const std::string& path, const std::string& head, std::string* rest) {
    if (path.size() < head.size() || !qv::NamesEqualIgnoringCase(path.substr(0, head.size()), head)) return false;
    if (path.size() == head.size()) {
        *rest = "";
        return true;
    }
    if (path[head.size()] != '\\') return false;
    *rest = path.substr(head.size() + 1);
    return true;
}

bool IsWow6432Node(const std::string& rest) {
    std::string ignored;
    return StartsWithElement(rest, "Wow6432Node", &ignored);
}

}  // namespace

std::string Wow6432NodePathOf(const std::string& path) {
    std::string rest;
    if (StartsWithElement(path, "SOFTWARE\\Classes", &rest)) {
        if (rest.empty() || IsWow6432Node(rest)) return {};
        return path.substr(0, 16) + "\\Wow6432Node\\" + rest;
    }
    if (StartsWithElement(path, "SOFTWARE", &rest)) {
        if (rest.empty() || IsWow6432Node(rest)) return {};
        return path.substr(0, 8) + "\\Wow6432Node\\" + rest;
    }
    return {};
}

namespace {

std::vector<MachineKeyView> KeyViews(qv::RegRoot rootKind, const std::string& path, const std::string& path32,
                                     qv::FileSystemView nativeFiles) {
    std::vector<MachineKeyView> views;
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!prefix) return views;
    qv::RegistryStore& store = prefix->Registry();
    const bool bits64 = store.Arch() == "win64";
    auto lock = store.ReadLock();
    const qv::reg::Key* native = store.Find(rootKind, qv::reg::ToUtf16(path));
    if (native) views.push_back({path, bits64 ? nativeFiles : qv::FileSystemView::Unknown, false});
    if (!bits64 || path32.empty()) return views;
    const qv::reg::Key* key32 = store.Find(rootKind, qv::reg::ToUtf16(path32));
    if (native && key32 == native) {
        // The 32-bit key is a link to this one (App Paths, Fonts, TypeLib): programs of both
        // kinds write it, so a path in it is there when either kind would find it.
        views.front().files = qv::FileSystemView::Unknown;
        return views;
    }
    if (!key32) return views;
    std::string name = path32;
    if (rootKind == qv::RegRoot::LocalMachine) {
        // Named by where it really is when a link led there.
        const qv::reg::Key* root = store.Find(rootKind, u"");
        std::string real = root ? qv::reg::ToUtf8(key32->PathFrom(root)) : path32;
        if (!qv::NamesEqualIgnoringCase(real, path32)) name = real;
    }
    views.push_back({name, qv::FileSystemView::Bits32, true});
    return views;
}

}  // namespace

std::vector<MachineKeyView> MachineKeyViews(const std::string& path) {
    return KeyViews(qv::RegRoot::LocalMachine, path, Wow6432NodePathOf(path), qv::FileSystemView::Bits64);
}

std::vector<MachineKeyView> ClassKeyViews(bool machine, const std::string& path) {
    if (machine) return MachineKeyViews(path);
    std::string path32;
    if (!path.empty() && !IsWow6432Node(path)) path32 = "Wow6432Node\\" + path;
    return KeyViews(qv::RegRoot::ClassesRoot, path, path32, qv::FileSystemView::Unknown);
}
