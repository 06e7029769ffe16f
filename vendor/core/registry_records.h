// The records the core library's COM checkers append to the finding stores. What each
// string holds is the library's own business; the program only counts the records.
//   _REG_CLSID:     0 class id, 1 name (default value), 2-4 server paths (InprocServer32,
//                   LocalServer32, InprocHandler32), 5-7 unused,
//                   8 ProgID, 9 TypeLib, 10 the server file found missing ("" when valid)
//   _REG_PROGID:    0 name, 1 class id, 2 why it is invalid ("" when valid)
//   _REG_TYPELIB:   0 type library id, 1 the files it names, separated by "|"
//   _REG_INTERFACE: 0 interface id, 1 the type library id it names ("" when none)
#pragma once

#include <array>
#include <string>

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
