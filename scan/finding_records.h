// Records of the finding stores. The four COM records are filled and read by the core
// library's checkers only; the program never looks inside them.
#pragma once

#include <string>

#include "vendor/core/registry_records.h"

struct _REG_VALUE {
    std::string name;
    std::string data;
};
