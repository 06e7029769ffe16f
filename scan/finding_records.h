// Records of the finding stores. The four COM records are filled and read by the core
// library's checkers only; the program never looks inside them.
#pragma once

#include <array>
#include <string>

struct _REG_VALUE {
    std::string name;
    std::string data;
};

struct _REG_CLSID {
    std::array<std::string, 11> fields;
};

struct _REG_PROGID {
    std::array<std::string, 3> fields;
};

struct _REG_TYPELIB {
    std::array<std::string, 2> fields;
};

struct _REG_INTERFACE {
    std::array<std::string, 2> fields;
};
