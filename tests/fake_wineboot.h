// A stand-in for wineboot on PATH that records its arguments and WINEPREFIX, takes the time
// the test asks for, and exits with the status the test asks for.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "temp_dir.h"

namespace qvtest {

class FakeWineboot {
public:
    explicit FakeWineboot(int status, double seconds = 0) {
        namespace fs = std::filesystem;
        fs::path script = m_dir.path() / "wineboot";
        std::ofstream(script) << "#!/bin/sh\n"
                              << (seconds > 0 ? "sleep " + std::to_string(seconds) + "\n" : "") << "echo \"$@|$WINEPREFIX\" > \""
                              << (m_dir.path() / "record").string() << "\"\nexit " << status << "\n";
        fs::permissions(script, fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        m_savedPath = path != nullptr ? path : "";
        setenv("PATH", (m_dir.path().string() + ":" + m_savedPath).c_str(), 1);
    }
    ~FakeWineboot() { setenv("PATH", m_savedPath.c_str(), 1); }
    FakeWineboot(const FakeWineboot&) = delete;
    FakeWineboot& operator=(const FakeWineboot&) = delete;

    // "<arguments>|<WINEPREFIX>" of the last run; empty when it never ran to the end.
    std::string Record() const {
        std::ifstream in(m_dir.path() / "record");
        std::string line;
        std::getline(in, line);
        return line;
    }

private:
    TempDir m_dir;
    std::string m_savedPath;
};

}  // namespace qvtest
