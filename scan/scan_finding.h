// One row of the scan results: five texts in column order.
#pragma once

#include <string>

struct ScanFinding {
    std::string problem;      // the category's text ("Application Path", ...)
    std::string description;  // the value name, the entry as its scanner describes it, or a file
    std::string key;          // key path below the root, no leading or trailing backslash
    std::string rootKey;      // "HKEY_LOCAL_MACHINE", ... or "NULL" for a file
    std::string kind;         // "VAL", "KEY" or "NULL"

    bool operator==(const ScanFinding&) const = default;
};
