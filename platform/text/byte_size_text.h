// A size in bytes as people read it: "1.6 MiB", "12.0 KiB", "300 bytes".
#pragma once

#include <cstdint>
#include <string>

namespace qv {

std::string ByteSizeText(uint64_t bytes);

}  // namespace qv
