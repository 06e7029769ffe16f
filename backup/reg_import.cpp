#include "backup/reg_import.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/registry/reg_text.h"

namespace qv {

namespace {

// Makes the changes a file says in the store (the caller holds the write lock and a batch).
class StoreSink : public RegFileSink {
public:
    explicit StoreSink(RegistryStore& store) : store_(store) {}

    bool OpenKey(RegRoot root, std::u16string_view path, int line) override {
        long err = 0;
        // Files list a key's subkeys after it: the walk starts at the deepest key opened
        // before whose path (as spelled) begins this one, instead of at the root.
        size_t same = 0;
        if (root == root_) {
            const size_t most = std::min(path.size(), path_.size());
            while (same < most && path[same] == path_[same]) ++same;
        }
        while (!opened_.empty() && (opened_.back().first > same || opened_.back().first >= path.size() ||
                                    path[opened_.back().first] != u'\\'))
            opened_.pop_back();
        root_ = root;
        path_.assign(path);
        if (opened_.empty())
            key_ = store_.Create(root, path, nullptr, &err);
        else
            key_ = store_.CreateBelow(opened_.back().second, path.substr(opened_.back().first + 1), nullptr, &err);
        if (!key_) {
            opened_.clear();
            return Stop(line, "the key cannot be created (error " + std::to_string(err) + ")");
        }
        opened_.emplace_back(path.size(), key_);
        return true;
    }

    bool DeleteKey(RegRoot root, std::u16string_view path, int) override {
        key_ = nullptr;
        opened_.clear();  // the keys remembered may be among those deleted
        size_t cut = path.rfind(u'\\');
        std::u16string_view parentPath = cut == std::u16string_view::npos ? u"" : path.substr(0, cut);
        std::u16string_view name = cut == std::u16string_view::npos ? path : path.substr(cut + 1);
        if (reg::Key* parent = store_.Find(root, parentPath)) store_.DeleteSubkey(parent, name, true);
        return true;
    }

    bool SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, int line) override {
        long err = store_.SetValue(key_, name, type, std::vector<uint8_t>(data.begin(), data.end()));
        if (err) return Stop(line, "the value cannot be set (error " + std::to_string(err) + ")");
        return true;
    }

    bool DeleteValue(std::u16string_view name, int) override {
        if (key_) store_.DeleteValue(key_, name);
        return true;
    }

    // Whether values of the key at this path go to the key opened last.
    bool IsOpen(RegRoot root, std::u16string_view path) const {
        return key_ && !key_->Deleted() && root == root_ && path == path_;
    }

    const std::string& Failure() const { return failure_; }

private:
    bool Stop(int line, const std::string& what) {
        failure_ = "line " + std::to_string(line) + ": " + what + " (" + reg::ToUtf8(path_) + ")";
        return false;
    }

    RegistryStore& store_;
    reg::Key* key_ = nullptr;
    RegRoot root_ = RegRoot::LocalMachine;
    std::u16string path_;
    // Keys opened so far whose paths begin the last path, by the length of their paths.
    std::vector<std::pair<size_t, reg::Key*>> opened_;
    std::string failure_;
};

// Ends the import's batch: saves when everything was applied, else drops every change.
bool Finish(RegistryStore& store, const std::string& failure, std::string& error) {
    if (!failure.empty()) {
        store.DiscardChanges();
        store.EndBatch();
        error = failure + ". Nothing was imported.";
        return false;
    }
    if (store.EndBatch() != ERROR_SUCCESS) {
        error = store.LastError();
        return false;
    }
    return true;
}

}  // namespace

bool ApplyRegImport(RegistryStore& store, const RegImportPlan& plan, std::string& error) {
    auto lock = store.WriteLock();
    store.BeginBatch();
    StoreSink sink(store);
    bool ok = true;
    for (const RegImportOp& op : plan.ops) {
        switch (op.kind) {
            case RegImportOp::Kind::CreateKey:
                ok = sink.OpenKey(op.root, op.path, op.line);
                break;
            case RegImportOp::Kind::SetValue:
                ok = (sink.IsOpen(op.root, op.path) || sink.OpenKey(op.root, op.path, op.line)) &&
                     sink.SetValue(op.name, op.type, op.data, op.line);
                break;
            case RegImportOp::Kind::DeleteValue:
                if (sink.IsOpen(op.root, op.path))
                    sink.DeleteValue(op.name, op.line);
                else if (reg::Key* k = store.Find(op.root, op.path))
                    store.DeleteValue(k, op.name);
                break;
            case RegImportOp::Kind::DeleteKey:
                sink.DeleteKey(op.root, op.path, op.line);
                break;
        }
        if (!ok) break;
    }
    return Finish(store, sink.Failure(), error);
}

bool ImportRegFile(RegistryStore& store, const std::filesystem::path& file, std::string& error, size_t chunkBytes) {
    RegFileInput in;
    if (!in.Open(file, error)) return false;
    auto described = [&](RegReadResult r, const std::string& why) {
        return r == RegReadResult::BadFile ? file.filename().string() + ", " + why : why;
    };
    if (!in.Rereadable()) {
        // A pipe can be read once: collect what it says, then apply that.
        RegImportPlan plan;
        RegPlanSink collect(plan);
        RegReadResult r = in.Read(collect, error, chunkBytes);
        if (r != RegReadResult::Done) {
            error = described(r, error) + ". Nothing was imported.";
            return false;
        }
        return ApplyRegImport(store, plan, error);
    }
    {
        auto lock = store.WriteLock();
        if (!store.HasUnsavedChanges()) {
            // Nothing else waits to be saved, so a bad line found while the changes are made
            // can drop them all (memory goes back to the files): one reading is enough.
            store.BeginBatch();
            StoreSink apply(store);
            std::string why;
            RegReadResult r = in.Read(apply, why, chunkBytes);
            std::string failure;
            if (r == RegReadResult::SinkStopped)
                failure = apply.Failure();
            else if (r != RegReadResult::Done)
                failure = described(r, why);
            return Finish(store, failure, error);
        }
    }
    // Dropping the changes would drop the batch's earlier ones too: the whole file is
    // checked first, so that a bad line anywhere changes nothing; then it is read again and
    // applied.
    RegFileCheckSink check;
    RegReadResult r = in.Read(check, error, chunkBytes);
    if (r != RegReadResult::Done) {
        error = described(r, error) + ". Nothing was imported.";
        return false;
    }
    auto lock = store.WriteLock();
    store.BeginBatch();
    StoreSink apply(store);
    std::string why;
    r = in.Read(apply, why, chunkBytes);
    std::string failure;
    if (r == RegReadResult::SinkStopped)
        failure = apply.Failure();
    else if (r != RegReadResult::Done)
        failure = described(r, why) + " (the file changed while it was imported)";
    return Finish(store, failure, error);
}

}  // namespace qv
