#include "backup/reg_import.h"

#include <fstream>
#include <sstream>

#include <windows.h>

#include "platform/registry/reg_text.h"

namespace qv {

namespace {

std::string Describe(const RegImportOp& op, const std::string& what) {
    return "line " + std::to_string(op.line) + ": " + what + " (" + reg::ToUtf8(op.path) + ")";
}

}  // namespace

bool ApplyRegImport(RegistryStore& store, const RegImportPlan& plan, std::string& error) {
    auto lock = store.WriteLock();
    store.BeginBatch();
    std::string failure;
    reg::Key* lastKey = nullptr;
    RegRoot lastRoot = RegRoot::LocalMachine;
    std::u16string lastPath;
    for (const RegImportOp& op : plan.ops) {
        long err = 0;
        switch (op.kind) {
            case RegImportOp::Kind::CreateKey:
            case RegImportOp::Kind::SetValue: {
                // Values come in runs under one key: look the key up once per run.
                reg::Key* k = (lastKey && !lastKey->Deleted() && op.root == lastRoot && op.path == lastPath)
                                  ? lastKey
                                  : store.Create(op.root, op.path, nullptr, &err);
                lastKey = k;
                lastRoot = op.root;
                lastPath = op.path;
                if (!k) {
                    failure = Describe(op, "the key cannot be created (error " + std::to_string(err) + ")");
                    break;
                }
                if (op.kind == RegImportOp::Kind::SetValue) {
                    err = store.SetValue(k, op.name, op.type, op.data);
                    if (err) failure = Describe(op, "the value cannot be set (error " + std::to_string(err) + ")");
                }
                break;
            }
            case RegImportOp::Kind::DeleteValue:
                lastKey = nullptr;
                if (reg::Key* k = store.Find(op.root, op.path)) store.DeleteValue(k, op.name);
                break;
            case RegImportOp::Kind::DeleteKey: {
                lastKey = nullptr;
                size_t cut = op.path.rfind(u'\\');
                std::u16string parentPath = cut == std::u16string::npos ? u"" : op.path.substr(0, cut);
                std::u16string name = cut == std::u16string::npos ? op.path : op.path.substr(cut + 1);
                if (reg::Key* parent = store.Find(op.root, parentPath)) store.DeleteSubkey(parent, name, true);
                break;
            }
        }
        if (!failure.empty()) break;
    }
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

bool ImportRegFile(RegistryStore& store, const std::filesystem::path& file, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "Cannot open " + file.string();
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    RegImportPlan plan;
    if (!ParseRegFile(ss.str(), plan, error)) {
        error = file.filename().string() + ", " + error + ". Nothing was imported.";
        return false;
    }
    return ApplyRegImport(store, plan, error);
}

}  // namespace qv
