#include "backup/reg_root_names.h"

#include <strings.h>

namespace qv {

bool SplitRootName(const std::string& fullKey, RegRoot* root, std::string* rest) {
    static const struct {
        const char* name;
        RegRoot root;
    } kRoots[] = {
        {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine}, {"HKEY_USERS", RegRoot::Users},
        {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},   {"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig},
        {"HKEY_CURRENT_USER", RegRoot::CurrentUser},
    };
    size_t cut = fullKey.find('\\');
    std::string head = fullKey.substr(0, cut);
    for (const auto& r : kRoots) {
        if (strcasecmp(head.c_str(), r.name) == 0) {
            *root = r.root;
            *rest = cut == std::string::npos ? std::string() : fullKey.substr(cut + 1);
            return true;
        }
    }
    return false;
}

}  // namespace qv
