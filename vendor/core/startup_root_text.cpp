#include "vendor/core/startup_root_text.h"

#include <strings.h>

HKEY StartupRootHandle(const std::string& text) {
    static const struct {
        const char* shortName;
        const char* longName;
        HKEY handle;
    } kRoots[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& r : kRoots)
        if (strcasecmp(text.c_str(), r.shortName) == 0 || strcasecmp(text.c_str(), r.longName) == 0)
            return r.handle;
    return nullptr;
}

namespace {

// 0: the machine file, 1: the user's file, 2: anything else.
int FileOf(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE || root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_CONFIG) return 0;
    if (root == HKEY_CURRENT_USER) return 1;
    return 2;
}

}  // namespace

bool StartupRootsShareFile(HKEY a, HKEY b) { return FileOf(a) != 2 && FileOf(a) == FileOf(b); }
