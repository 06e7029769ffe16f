// Records of the finding stores. The four COM records are filled and read by the core
// library's checkers only; the program never looks inside them.
#pragma once

#include <string>

#include "vendor/core/registry_records.h"

struct _REG_VALUE {
    std::string name;
    std::string data;
};

// An entry found under a key of the 32-bit registry view of a 64-bit prefix
// (SOFTWARE\Wow6432Node\...): its row names that key, which is known only when scanning.
struct _REG_VIEW_ENTRY {
    std::string key;   // below HKEY_LOCAL_MACHINE
    std::string name;  // the value or subkey
    std::string data;  // the text that was checked, where there is one
};
