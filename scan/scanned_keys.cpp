#include "scan/scanned_keys.h"

#include "scan/machine_key_views.h"

namespace scankeys {

std::vector<std::string> ContainerKeys() {
    std::vector<std::string> keys{kAppPaths, kSharedDlls, kFonts, kHelp, kHtmlHelp, kUninstall, kStartupStore,
                                  kClasses,  kFileExts,   kCurrentConfig};
    for (const char* leaf : kRunLeaves) keys.push_back(std::string(kRunBase) + leaf);
    for (const char* classKey : {"CLSID", "Interface", "TypeLib"}) keys.push_back(std::string(kClasses) + "\\" + classKey);
    const size_t native = keys.size();
    for (size_t i = 0; i < native; ++i) {
        std::string view32 = Wow6432NodePathOf(keys[i]);
        if (!view32.empty()) keys.push_back(view32);
    }
    return keys;
}

}  // namespace scankeys
