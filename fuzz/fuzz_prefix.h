// A small Wine prefix for fuzz targets: a temporary folder (in /dev/shm when it can be
// written, so that saving the registry costs little) with drive_c, dosdevices/c: and z:, and
// registry files of the caller's choosing. Removed when the program ends; folders that
// fuzzers which crashed left behind are removed by the next one.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace qvfuzz {

class FuzzPrefix {
public:
    FuzzPrefix() {
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        RemoveLeftovers(base);
        std::string tmpl = base + "/quorvane-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        root_ = tmpl;
        namespace fs = std::filesystem;
        fs::create_directories(root_ / "drive_c" / "windows" / "system32");
        fs::create_directories(root_ / "drive_c" / "users" / "Public");
        fs::create_directories(root_ / "dosdevices");
        fs::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:");
        fs::create_directory_symlink("/", root_ / "dosdevices" / "z:");
    }
    ~FuzzPrefix() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FuzzPrefix(const FuzzPrefix&) = delete;
    FuzzPrefix& operator=(const FuzzPrefix&) = delete;

    const std::filesystem::path& Root() const { return root_; }

    // Replaces a file of the prefix (a new file, so that the registry sees it changed).
    void Write(const std::string& name, std::string_view content) const {
        std::filesystem::path tmp = root_ / (name + ".new");
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            out.write(content.data(), static_cast<std::streamsize>(content.size()));
        }
        std::filesystem::rename(tmp, root_ / name);
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    static void RemoveLeftovers(const std::string& base) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
            const std::string name = entry.path().filename().string();
            const std::string head = "quorvane-fuzz-";
            if (name.compare(0, head.size(), head) != 0) continue;
            long pid = std::strtol(name.c_str() + head.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                std::filesystem::remove_all(entry.path(), ec);
        }
    }

    std::filesystem::path root_;
};

}  // namespace qvfuzz
