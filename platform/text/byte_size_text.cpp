#include "platform/text/byte_size_text.h"

#include <cstdio>

namespace qv {

std::string ByteSizeText(uint64_t bytes) {
    char buf[48];
    if (bytes >= (uint64_t(1) << 30))
        std::snprintf(buf, sizeof buf, "%.1f GiB", static_cast<double>(bytes) / (1 << 30));
    else if (bytes >= (uint64_t(1) << 20))
        std::snprintf(buf, sizeof buf, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    else if (bytes >= 1024)
        std::snprintf(buf, sizeof buf, "%.1f KiB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    return buf;
}

}  // namespace qv
