// Importing a .reg file into the registry: all or nothing, saved once at the end.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "backup/reg_file_reader.h"

namespace qv {

// Applies a parsed file. On any failure nothing is changed (memory and files as before)
// and `error` says why.
bool ApplyRegImport(RegistryStore& store, const RegImportPlan& plan, std::string& error);

// Reads and applies a file without holding it whole. A file with an error anywhere changes
// nothing: when the store holds no other unsaved change, the file is applied as it is read
// and its changes are dropped on an error; otherwise it is read once to check it and once
// more to apply it. A pipe is collected first and then applied.
bool ImportRegFile(RegistryStore& store, const std::filesystem::path& file, std::string& error,
                   size_t chunkBytes = kRegReadChunkBytes);

}  // namespace qv
