#include "platform/registry/registry_store.h"

#include <algorithm>
#include <optional>

#include <windows.h>

#include "platform/prefix/prefix_lock.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/registry/file_set_commit.h"
#include "platform/registry/hive_file_reader.h"
#include "platform/registry/key_tree.h"
#include "platform/registry/reg_text.h"

namespace qv {

namespace fs = std::filesystem;
using reg::Key;

namespace {

constexpr int kMaxLinkDepth = 16;
const char16_t kUserSid[] = u"S-1-5-21-0-0-0-1000";

const char* FileNameOf(reg::Branch b) {
    switch (b) {
        case reg::Branch::Machine: return "system.reg";
        case reg::Branch::User: return "user.reg";
        case reg::Branch::UserDefault: return "userdef.reg";
    }
    return "";
}

// Splits off the first path element (skipping empty ones); returns false when none is left.
bool NextElement(std::u16string_view& path, std::u16string_view& elem) {
    while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    if (path.empty()) return false;
    size_t j = path.find(u'\\');
    if (j == std::u16string_view::npos) j = path.size();
    elem = path.substr(0, j);
    path.remove_prefix(j);
    return true;
}

bool StartsWithFolded(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && reg::CompareNames(s.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace

RegistryStore::RegistryStore(fs::path prefixDir) : prefixDir_(std::move(prefixDir)) {
    hives_[0].branch = reg::Branch::Machine;
    hives_[1].branch = reg::Branch::User;
    hives_[2].branch = reg::Branch::UserDefault;
    for (Hive& h : hives_) h.file = prefixDir_ / FileNameOf(h.branch);
    usersView_ = reg::NewKeyTree();
    usersView_->GetOrAddSubkey(u".Default");
    usersView_->GetOrAddSubkey(kUserSid);
    LoadAll();
}

RegistryStore::~RegistryStore() = default;

RegistryStore::FileIdentity RegistryStore::IdentityOf(const struct stat& st) {
    FileIdentity id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

RegistryStore::FileIdentity RegistryStore::Identify(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return {};
    return IdentityOf(st);
}

std::vector<fs::path> RegistryStore::HiveFiles() const {
    return {hives_[0].file, hives_[1].file, hives_[2].file};
}

void RegistryStore::LoadHive(Hive& h, std::shared_ptr<Key>* outRoot, reg::HiveLoadReport* outReport,
                             std::string* outArch, FileIdentity* outId) const {
    // Read, then check that the file we read is still the one the path names.
    for (int attempt = 0;; ++attempt) {
        // Messages name the file by its full path: a user with many prefixes must know which.
        HiveFileContent file = OpenHiveFile(h.file, h.file.string());
        // Sections written below a link key land under the link's target, as Wine loads
        // them; only targets inside the same branch can be resolved while loading. The file
        // is parsed as it is read, so that memory holds the tree and not the text too.
        reg::ParsedHive parsed;
        if (file.state == HiveFileContent::State::Read) {
            parsed = reg::ParseWineHiveFile(file.fd.Get(), HiveSizeCeiling(),
                                            HiveTooLargeText(h.file, h.file.string(), HiveSizeCeiling() + 1),
                                            h.file.string(), reg::NowAsFileTime(),
                                            reg::SameBranchLinkResolver(h.branch));
        }
        FileIdentity after = Identify(h.file);
        FileIdentity read = file.state == HiveFileContent::State::Read ? IdentityOf(file.info) : after;
        if (read != after && attempt < 5) continue;
        // The identity of what was read: if the file changed meanwhile, the next save sees
        // that it differs and reloads.
        *outId = read;
        if (file.state != HiveFileContent::State::Read) {
            *outRoot = reg::NewKeyTree();
            (*outRoot)->modified = reg::NowAsFileTime();
            *outReport = {};
            outArch->clear();
            if (file.state == HiveFileContent::State::Refused) {
                // Never written either: what is there is not ours to replace.
                outReport->rejected = true;
                outReport->messages.push_back(file.problem);
            } else {
                *outId = {};
            }
            return;
        }
        *outRoot = parsed.root;
        *outReport = std::move(parsed.report);
        *outArch = parsed.arch;
        return;
    }
}

bool RegistryStore::RecoverAndTidy(std::vector<std::string>* notes, bool holdingWineLock) {
    bool pending = false;
    if (HasCommitRecord(prefixDir_)) {
        // Completing it changes files: not while Wine runs (it would save over them). A
        // second guard of our own would conflict with the one the caller holds.
        std::optional<WineServerGuard> guard;
        if (!holdingWineLock) guard.emplace(prefixDir_);
        if (guard && !guard->Acquired()) {
            notes->push_back("A save of this prefix by Quorvane was interrupted and cannot be completed while Wine "
                             "runs in the prefix; it will be completed when Wine has stopped.");
            return false;
        }
        std::vector<std::string> done = RecoverFileSetCommit(prefixDir_, HiveFiles(), &pending);
        notes->insert(notes->end(), done.begin(), done.end());
    }
    // Temporaries listed by a pending record are still needed.
    if (!pending) RemoveLeftoverTemporaries(HiveFiles(), prefixDir_);
    return !pending;
}

void RegistryStore::LoadAll() {
    loadNotes_.clear();
    {
        PrefixLock lock(prefixDir_);
        if (lock.Acquired()) {
            RecoverAndTidy(&loadNotes_);
        } else if (lock.TimedOut()) {
            loadNotes_.push_back(lock.Error() + " The registry files were read while it may still be saving them.");
        } else if (HasCommitRecord(prefixDir_)) {
            loadNotes_.push_back("A save of this prefix was interrupted and cannot be completed now: " + lock.Error());
        }
        for (Hive& h : hives_) {
            LoadHive(h, &h.root, &h.report, &h.fileArch, &h.identity);
            ClearJournal(h);
        }
    }
    DecideArch();
    ++generation_;
}

void RegistryStore::DecideArch() {
    // The first file that carries #arch fixes the prefix type; system.reg without one makes
    // a 32-bit prefix; with no system.reg at all WINEARCH decides, else 64-bit.
    Hive& sys = hives_[0];
    if (!sys.identity.exists) {
        const char* env = std::getenv("WINEARCH");
        arch_ = (env && std::string(env) == "win32") ? "win32" : "win64";
    } else if (sys.report.rejected) {
        arch_ = "win64";
    } else {
        arch_ = sys.fileArch.empty() ? "win32" : sys.fileArch;
    }
    for (Hive& h : hives_) {
        if (!h.identity.exists || h.report.rejected) continue;
        if (h.fileArch.empty()) continue;
        if (h.fileArch != "win32" && h.fileArch != "win64") {
            h.report.rejected = true;
            h.report.messages.push_back(h.file.string() + ": Unknown architecture '#arch=" +
                                        h.fileArch + "'");
        } else if (h.fileArch != arch_) {
            h.report.rejected = true;
            h.report.messages.push_back(h.file.string() + ": Mismatched architecture '#arch=" +
                                        h.fileArch + "'");
        }
        if (h.report.rejected) {
            // Wine ignores such a file completely.
            h.root = reg::NewKeyTree();
            h.root->modified = reg::NowAsFileTime();
        }
    }
}

std::string RegistryStore::WriteRefusal(RegRoot root) const {
    const Hive* list[3] = {&hives_[0], &hives_[1], &hives_[2]};
    std::vector<const Hive*> hs;
    switch (root) {
        case RegRoot::ClassesRoot:
        case RegRoot::LocalMachine:
        case RegRoot::CurrentConfig: hs = {list[0]}; break;
        case RegRoot::CurrentUser: hs = {list[1]}; break;
        case RegRoot::Users: hs = {list[1], list[2]}; break;
    }
    for (const Hive* h : hs) {
        // A file the reader refused (not a regular file, too large, empty) has one message,
        // which already says that Quorvane will not write it.
        if (h->report.rejected && h->identity.exists && h->report.messages.size() == 1 &&
            h->report.messages.back().find("Quorvane will not") != std::string::npos)
            return h->report.messages.back();
        if (h->report.rejected || h->report.lossy) {
            std::string first = h->report.messages.empty() ? "" : " (" + h->report.messages.front() + ")";
            return h->file.string() + " holds data that cannot be read safely" + first +
                   ", so Quorvane will not rewrite it: saving would lose that data.";
        }
    }
    return {};
}

std::vector<std::filesystem::path> RegistryStore::UnwritableFiles() const {
    std::vector<std::filesystem::path> out;
    for (const Hive& h : hives_)
        if (h.report.rejected || h.report.lossy) out.push_back(h.file);
    return out;
}

reg::Key& RegistryStore::BranchRoot(reg::Branch branch) { return *hives_[static_cast<int>(branch)].root; }

std::string RegistryStore::Serialize(reg::Branch branch) const {
    const Hive& h = hives_[static_cast<int>(branch)];
    return reg::SerializeWineHive(*h.root, branch, arch_);
}

RegistryStore::Hive* RegistryStore::HiveOf(const Key* key) {
    const Key* top = key;
    while (top->Parent()) top = top->Parent();
    for (Hive& h : hives_)
        if (h.root.get() == top) return &h;
    return nullptr;
}

reg::Key* RegistryStore::FollowLink(const Key* link, bool create, long* error) const {
    const reg::Value* v = link->FindValue(u"SymbolicLinkValue");
    if (!v || v->type != REG_LINK) {
        if (error) *error = ERROR_BADKEY;
        return nullptr;
    }
    std::u16string target(v->data.size() / 2, u'\0');
    for (size_t i = 0; i < target.size(); ++i)
        target[i] = static_cast<char16_t>(v->data[2 * i] | (v->data[2 * i + 1] << 8));
    std::u16string_view rest = target;
    const Hive* hive = nullptr;
    for (const Hive& h : hives_) {
        std::u16string base = u"\\" + reg::BranchPath(h.branch);
        if (StartsWithFolded(rest, base) && (rest.size() == base.size() || rest[base.size()] == u'\\')) {
            hive = &h;
            rest.remove_prefix(base.size());
            break;
        }
    }
    if (!hive) {
        if (error) *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return Walk(hive->root.get(), rest, create, false, nullptr, error);
}

reg::Key* RegistryStore::Walk(Key* start, std::u16string_view path, bool create, bool openLink, bool* created,
                              long* error) const {
    Key* k = start;
    int links = 0;
    std::u16string_view elem;
    auto follow = [&]() -> bool {
        if (++links > kMaxLinkDepth) {
            if (error) *error = ERROR_BADKEY;
            return false;
        }
        Key* t = FollowLink(k, create, error);
        if (!t) return false;
        k = t;
        return true;
    };
    while (NextElement(path, elem)) {
        if (k->isLink && !follow()) return nullptr;
        if (elem.size() > reg::kMaxKeyNameUnits) {
            if (error) *error = ERROR_INVALID_PARAMETER;
            return nullptr;
        }
        Key* next = k->FindSubkey(elem);
        if (!next) {
            if (!create) {
                if (error) *error = ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
            if (k->isVolatile) {
                if (error) *error = ERROR_CHILD_MUST_BE_VOLATILE;
                return nullptr;
            }
            int64_t now = reg::NowAsFileTime();
            next = k->GetOrAddSubkey(elem);
            next->modified = now;
            k->Touch(now);
            if (created) *created = true;
        }
        k = next;
    }
    if (k->isLink && !openLink && !follow()) return nullptr;
    return k;
}

reg::Key* RegistryStore::StartKey(RegRoot root, std::u16string_view& path, bool create, long* error) const {
    switch (root) {
        case RegRoot::LocalMachine: return hives_[0].root.get();
        case RegRoot::CurrentUser: return hives_[1].root.get();
        case RegRoot::ClassesRoot: return Walk(hives_[0].root.get(), u"Software\\Classes", create, false, nullptr, error);
        case RegRoot::CurrentConfig:
            return Walk(hives_[0].root.get(), u"System\\CurrentControlSet\\Hardware Profiles\\Current", create,
                        false, nullptr, error);
        case RegRoot::Users: {
            std::u16string_view elem;
            std::u16string_view rest = path;
            if (!NextElement(rest, elem)) return usersView_.get();
            path = rest;
            if (reg::NamesEqual(elem, u".Default")) return hives_[2].root.get();
            if (reg::NamesEqual(elem, kUserSid)) return hives_[1].root.get();
            // Other users' branches exist only in a running Wine's memory; Wine never saves them.
            if (error) *error = create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
    }
    return nullptr;
}

reg::Key* RegistryStore::Find(RegRoot root, std::u16string_view path, bool openLink) const {
    long err = 0;
    Key* start = StartKey(root, path, false, &err);
    if (!start) return nullptr;
    if (start == usersView_.get()) return start;
    return Walk(start, path, false, openLink, nullptr, &err);
}

reg::Key* RegistryStore::Create(RegRoot root, std::u16string_view path, bool* created, long* error) {
    if (created) *created = false;
    long err = 0;
    bool anyCreated = false;
    std::u16string_view rest = path;
    Key* start = StartKey(root, rest, false, &err);
    if (!start && (root == RegRoot::ClassesRoot || root == RegRoot::CurrentConfig)) {
        // The view's base key is missing in this prefix: create it like any other key.
        rest = path;
        start = StartKey(root, rest, true, &err);
        anyCreated = start != nullptr;
    }
    if (!start) {
        if (error) *error = err ? err : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (start == usersView_.get()) {
        if (!rest.empty()) {
            if (error) *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        return start;
    }
    return CreateFrom(start, rest, anyCreated, created, error);
}

reg::Key* RegistryStore::CreateBelow(Key* parent, std::u16string_view path, bool* created, long* error) {
    if (created) *created = false;
    return CreateFrom(parent, path, false, created, error);
}

reg::Key* RegistryStore::CreateFrom(Key* start, std::u16string_view path, bool anyCreated, bool* created,
                                    long* error) {
    long err = 0;
    Key* k = Walk(start, path, true, false, &anyCreated, &err);
    if (!k) {
        if (error) *error = err ? err : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (anyCreated) {
        Record(k, Op{OpKind::CreateKey, nullptr, {}});
        if (created) *created = true;
    }
    return k;
}

void RegistryStore::Record(Key* key, Op op) {
    Hive* h = HiveOf(key);
    if (!h) return;
    op.key = key;
    h->journal.push_back(op);
    h->dirty = true;
}

void RegistryStore::ClearJournal(Hive& h) {
    std::deque<Op>().swap(h.journal);
    h.journalTrees.clear();
    h.dirty = false;
}

long RegistryStore::SetValue(Key* key, std::u16string_view name, uint32_t type, std::vector<uint8_t> data) {
    if (!key || key->Deleted()) return ERROR_KEY_DELETED;
    if (key == usersView_.get()) return ERROR_ACCESS_DENIED;
    if (name.size() > reg::kMaxValueNameUnits) return ERROR_INVALID_PARAMETER;
    const reg::Value* old = key->FindValue(name);
    if (old && old->type == type && reg::SameBytes(old->data, data)) return ERROR_SUCCESS;  // nothing changes
    key->SetValue(name, type, data);
    key->Touch(reg::NowAsFileTime());
    // The entry names the value as the caller did (with the tree's name when it is spelled
    // the same, as it nearly always is).
    const reg::Value* now = key->FindValue(name);
    const std::u16string_view opName =
        now->name == name ? now->name : std::u16string_view(key->Tree().CopyUnits(name), name.size());
    Record(key, Op{OpKind::SetValue, nullptr, opName});
    return ERROR_SUCCESS;
}

long RegistryStore::DeleteValue(Key* key, std::u16string_view name) {
    if (!key || key->Deleted()) return ERROR_KEY_DELETED;
    if (!key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    key->Touch(reg::NowAsFileTime());
    Record(key, Op{OpKind::DeleteValue, nullptr, {key->Tree().CopyUnits(name), name.size()}});
    return ERROR_SUCCESS;
}

long RegistryStore::DeleteSubkey(Key* parent, std::u16string_view name, bool recursive) {
    if (!parent || parent->Deleted()) return ERROR_KEY_DELETED;
    if (parent == usersView_.get()) return ERROR_ACCESS_DENIED;
    Key* child = parent->FindSubkey(name);
    if (!child) return ERROR_FILE_NOT_FOUND;
    if (!recursive && !child->Subkeys().empty()) return ERROR_ACCESS_DENIED;
    // Refuse to remove a branch root through a view (HKU\.Default itself).
    Record(child, Op{OpKind::DeleteKey, nullptr, {}});
    parent->RemoveSubkey(name);
    parent->Touch(reg::NowAsFileTime());
    return ERROR_SUCCESS;
}

void RegistryStore::Replay(Hive& h, const std::deque<Op>& ops) {
    const Key* lastKey = nullptr;
    std::u16string lastPath;
    for (const Op& op : ops) {
        long err = 0;
        if (op.key != lastKey) {
            // The path from the branch root of the tree the key was recorded in.
            lastPath = op.key->PathFrom(&op.key->Tree().Root());
            lastKey = op.key;
        }
        const std::u16string_view path = lastPath;
        switch (op.kind) {
            case OpKind::CreateKey:
                Walk(h.root.get(), path, true, true, nullptr, &err);
                break;
            case OpKind::SetValue:
                if (Key* k = Walk(h.root.get(), path, true, true, nullptr, &err)) {
                    // Gone from the key by now: a later entry deletes it (or the key).
                    if (const reg::Value* v = op.key->FindValue(op.name)) k->SetValue(op.name, v->type, v->data);
                    k->Touch(reg::NowAsFileTime());
                }
                break;
            case OpKind::DeleteValue:
                if (Key* k = Walk(h.root.get(), path, false, true, nullptr, &err)) {
                    if (k->RemoveValue(op.name)) k->Touch(reg::NowAsFileTime());
                }
                break;
            case OpKind::DeleteKey: {
                size_t cut = path.rfind(u'\\');
                std::u16string_view parentPath = cut == std::u16string_view::npos ? u"" : path.substr(0, cut);
                std::u16string_view name = cut == std::u16string_view::npos ? path : path.substr(cut + 1);
                if (Key* p = Walk(h.root.get(), parentPath, false, true, nullptr, &err)) {
                    if (p->RemoveSubkey(name)) p->Touch(reg::NowAsFileTime());
                }
                break;
            }
        }
    }
}

void RegistryStore::Rollback() {
    for (Hive& h : hives_) {
        if (!h.dirty) continue;
        LoadHive(h, &h.root, &h.report, &h.fileArch, &h.identity);
        ClearJournal(h);
    }
    DecideArch();
    ++generation_;
}

void RegistryStore::DiscardChanges() {
    PrefixLock lock(prefixDir_);  // read a consistent set of files when we can
    Rollback();
}

bool RegistryStore::HasUnsavedChanges() const {
    for (const Hive& h : hives_)
        if (h.dirty) return true;
    return false;
}

void RegistryStore::SetError(std::string message) {
    std::lock_guard<std::mutex> lock(errorMutex_);
    lastError_ = std::move(message);
}

bool RegistryStore::ReloadAndReplay(std::string* error) {
    struct Fresh {
        std::shared_ptr<Key> root;
        reg::HiveLoadReport report;
        std::string arch;
        FileIdentity id;
        bool loaded = false;
    } fresh[3];
    bool any = false;
    for (int i = 0; i < 3; ++i) {
        Hive& h = hives_[i];
        if (Identify(h.file) == h.identity) continue;
        if (!rebaseAllowed_ && h.dirty) {
            *error = h.file.string() +
                     " was changed by another program after Quorvane read it, so changes taken from what it read "
                     "are not made.";
            return false;
        }
        LoadHive(h, &fresh[i].root, &fresh[i].report, &fresh[i].arch, &fresh[i].id);
        fresh[i].loaded = any = true;
        if (h.dirty && (fresh[i].report.rejected || fresh[i].report.lossy)) {
            *error = h.file.string() + " was changed by another program and can no longer be read safely (" +
                     (fresh[i].report.messages.empty() ? std::string("unreadable") : fresh[i].report.messages.back()) +
                     ").";
            return false;
        }
    }
    if (!any) return true;
    // Take every changed file first, then put our changes on top: a change replayed on one
    // branch may follow a link into another, which must then be the new one too.
    for (int i = 0; i < 3; ++i) {
        if (!fresh[i].loaded) continue;
        Hive& h = hives_[i];
        // The journal points into the tree being replaced: it stays until the journal goes.
        if (!h.journal.empty()) h.journalTrees.push_back(h.root);
        h.root = fresh[i].root;
        h.report = std::move(fresh[i].report);
        h.fileArch = fresh[i].arch;
        h.identity = fresh[i].id;
    }
    DecideArch();
    ++generation_;
    for (int i = 0; i < 3; ++i) {
        Hive& h = hives_[i];
        if (!fresh[i].loaded || !h.dirty) continue;
        if (h.report.rejected) {
            *error = h.file.string() + " was changed by another program and can no longer be used (" +
                     (h.report.messages.empty() ? std::string("rejected") : h.report.messages.back()) + ").";
            return false;
        }
        Replay(h, h.journal);
    }
    return true;
}

namespace {

// "system.reg and user.reg", "system.reg, user.reg and userdef.reg".
std::string JoinNames(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i ? (i + 1 == names.size() ? " and " : ", ") : "") + names[i];
    return out;
}

}  // namespace

long RegistryStore::Commit() {
    if (batchDepth_ > 0) return ERROR_SUCCESS;
    std::vector<Hive*> dirty;
    std::vector<std::string> names;
    for (Hive& h : hives_) {
        if (!h.dirty) continue;
        dirty.push_back(&h);
        names.push_back(FileNameOf(h.branch));
    }
    if (dirty.empty()) return ERROR_SUCCESS;
    lastCommitLeftChanges_ = false;
    const std::string unchanged =
        names.size() == 1 ? " Nothing was changed: " + names[0] + " is as it was."
                          : " Nothing was changed: " + JoinNames(names) + " are as they were.";

    // A branch that must not be written stops the whole change.
    for (Hive* h : dirty) {
        if (!h->report.rejected && !h->report.lossy) continue;
        std::string refusal = WriteRefusal(h->branch == reg::Branch::Machine ? RegRoot::LocalMachine
                                           : h->branch == reg::Branch::User  ? RegRoot::CurrentUser
                                                                             : RegRoot::Users);
        SetError(refusal + (dirty.size() > 1 ? unchanged : std::string()));
        Rollback();
        return ERROR_ACCESS_DENIED;
    }

    // Other Quorvane processes first (they may hold Wine's lock while they save), then Wine.
    PrefixLock prefixLock(prefixDir_);
    if (!prefixLock.Acquired()) {
        SetError(prefixLock.Error() + unchanged);
        Rollback();
        return prefixLock.TimedOut() ? ERROR_LOCK_VIOLATION : ERROR_CANTWRITE;
    }
    WineServerGuard guard(prefixDir_);
    if (!guard.Acquired()) {
        SetError(WineRunningMessage(prefixDir_, guard.Status()));
        Rollback();
        return ERROR_SHARING_VIOLATION;
    }
    std::vector<std::string> notes;
    if (!RecoverAndTidy(&notes, true)) {
        std::string why;
        for (const std::string& n : notes) why += " " + n;
        SetError("An earlier save of this prefix was interrupted and cannot be completed yet." + why + unchanged);
        Rollback();
        return ERROR_CANTWRITE;
    }
    std::string error;
    if (!ReloadAndReplay(&error)) {
        SetError(error + unchanged);
        Rollback();
        return ERROR_ACCESS_DENIED;
    }

    std::vector<FileReplacement> files;
    // Each file is written as it is serialized: a large branch never has its whole text in memory.
    for (Hive* h : dirty) {
        const Key* root = h->root.get();
        const reg::Branch branch = h->branch;
        const std::string arch = arch_;
        files.push_back({h->file, {}, [root, branch, arch](StagedFileWriter& w) {
                             reg::WriteWineHive(*root, branch, arch, [&w](std::string_view piece) { w.Write(piece); });
                         }});
    }
    try {
        CommitFileSet(prefixDir_, files);
    } catch (const FileSetCommitError& e) {
        std::string failed = e.file.filename().string();
        for (Hive* h : dirty)
            if (h->file == e.file) failed = FileNameOf(h->branch);
        std::string message = failed + " could not be saved: " + e.what() + ".";
        if (e.changed.empty()) {
            message += unchanged;
        } else {
            lastCommitLeftChanges_ = true;
            std::vector<std::string> changed, same;
            for (Hive* h : dirty) {
                bool c = std::find(e.changed.begin(), e.changed.end(), h->file) != e.changed.end();
                (c ? changed : same).push_back(FileNameOf(h->branch));
            }
            message += " " + JoinNames(changed) + (changed.size() == 1 ? " was" : " were") +
                       " saved all the same and could not be put back" +
                       (same.empty() ? std::string(".") : "; " + JoinNames(same) + (same.size() == 1 ? " is" : " are") +
                                                              " as it was.") +
                       " Quorvane will try to put it back the next time it opens this prefix.";
        }
        SetError(message);
        Rollback();
        return ERROR_CANTWRITE;
    }
    for (Hive* h : dirty) {
        h->identity = Identify(h->file);
        ClearJournal(*h);
    }
    return ERROR_SUCCESS;
}

void RegistryStore::BeginBatch() { ++batchDepth_; }

long RegistryStore::EndBatch() {
    if (batchDepth_ > 0) --batchDepth_;
    return batchDepth_ == 0 ? Commit() : ERROR_SUCCESS;
}

bool RegistryStore::ReloadChangedFiles() {
    PrefixLock lock(prefixDir_);
    if (lock.Acquired()) RecoverAndTidy(&loadNotes_);
    bool any = false;
    for (Hive& h : hives_) {
        if (h.dirty || Identify(h.file) == h.identity) continue;
        LoadHive(h, &h.root, &h.report, &h.fileArch, &h.identity);
        any = true;
    }
    if (any) {
        DecideArch();
        ++generation_;
    }
    return any;
}

std::string RegistryStore::LastError() const {
    std::lock_guard<std::mutex> lock(errorMutex_);
    return lastError_;
}

std::vector<std::string> RegistryStore::LoadMessages() const {
    std::vector<std::string> out = loadNotes_;
    for (const Hive& h : hives_) out.insert(out.end(), h.report.messages.begin(), h.report.messages.end());
    return out;
}

std::vector<std::string> RegistryStore::UnreadableHives() const {
    std::vector<std::string> out;
    for (const Hive& h : hives_)
        if (h.report.rejected && !h.report.messages.empty()) out.push_back(h.report.messages.back());
    return out;
}

}  // namespace qv
