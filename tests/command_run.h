// Runs a shell command for a test and collects its exit status and standard output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace qvtest {

struct CommandRun {
    int status;
    std::string out;
};

inline CommandRun RunCommand(const std::string& cmd) {
    CommandRun r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace qvtest
