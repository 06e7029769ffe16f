// Reading .reg files: what registry editors export (UTF-16LE with a byte-order mark) and the
// 8-bit files of the partial-backup writer (our ANSI code page, UTF-8), with the header
// "Windows Registry Editor Version 5.00" or "REGEDIT4".
//
// The whole file is read into a list of changes before anything is applied, so a file with
// an error changes nothing; the error names the line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_store.h"

namespace qv {

struct RegImportOp {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    RegRoot root;
    std::u16string path;  // below the root
    std::u16string name;  // value name
    uint32_t type = 0;
    std::vector<uint8_t> data;  // stored bytes (strings as UTF-16LE)
    int line = 0;
};

struct RegImportPlan {
    std::vector<RegImportOp> ops;
    bool utf16 = false;
    bool regedit4 = false;
};

// A comment line of this form (followed by four hexadecimal digits per UTF-16 unit) gives the
// exact full name of the key on the next key line, for names that bracket text cannot
// carry (line breaks). Other readers see a comment and the bracket text.
inline constexpr char kExactKeyComment[] = ";quorvane-exact-key=";

// Parses a whole file. False with `error` = "line N: what is wrong" on the first error.
bool ParseRegFile(std::string_view bytes, RegImportPlan& plan, std::string& error);

}  // namespace qv
