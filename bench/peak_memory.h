// Memory figures of a benchmark process, from /proc/self/status, and running a command to
// read what it prints.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

namespace qvbench {

struct PeakMemory {
    long long currentKb = 0;  // VmRSS
    long long peakKb = 0;     // VmHWM: the largest resident size so far
};

inline PeakMemory ReadPeakMemory() {
    PeakMemory m;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "VmRSS:", 6) == 0) m.currentKb = std::atoll(line + 6);
            if (std::strncmp(line, "VmHWM:", 6) == 0) m.peakKb = std::atoll(line + 6);
        }
        std::fclose(f);
    }
    return m;
}

// What `command` (run by the shell) prints on its standard output.
inline std::string RunAndCapture(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

}  // namespace qvbench
