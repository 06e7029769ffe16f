// A fresh temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qvtest {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX").string();
        char* p = ::mkdtemp(tmpl.data());
        path_ = p ? p : tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        // Make read-only folders writable again so that they can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 path_, std::filesystem::directory_options::skip_permission_denied, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& s) const { return path_ / s; }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& s) {
    std::ofstream out(p, std::ios::binary);
    out << s;
}

inline std::filesystem::path Fixtures() { return QV_FIXTURES_DIR; }

// Copies the three registry files of a fixture folder into `dest`.
inline void CopyRegistryFiles(const std::filesystem::path& from, const std::filesystem::path& dest) {
    std::filesystem::create_directories(dest);
    for (const char* f : {"system.reg", "user.reg", "userdef.reg"}) {
        std::error_code ec;
        if (std::filesystem::exists(from / f))
            std::filesystem::copy_file(from / f, dest / f, std::filesystem::copy_options::overwrite_existing, ec);
        std::filesystem::permissions(dest / f, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
    }
}

// Unpacks the fresh Wine prefix fixture into `dest`/prefix and returns that folder.
inline std::filesystem::path UnpackFreshPrefix(const std::filesystem::path& dest) {
    std::string cmd = "tar -xzf '" + (std::filesystem::path(QV_SOURCE_DIR) / "samples" / "fresh-prefix.tar.gz").string() + "' -C '" + dest.string() + "'";
    if (std::system(cmd.c_str()) != 0) return {};
    return dest / "prefix";
}

// Unpacks the prefix that real installers filled under Wine (tests/fixtures/installer-prefix)
// into `dest`/prefix and returns that folder.
inline std::filesystem::path UnpackInstallerPrefix(const std::filesystem::path& dest) {
    const std::filesystem::path archive =
        std::filesystem::path(QV_SOURCE_DIR) / "tests" / "fixtures" / "installer-prefix" / "prefix.tar.gz";
    std::string cmd = "tar -xzf '" + archive.string() + "' -C '" + dest.string() + "'";
    if (std::system(cmd.c_str()) != 0) return {};
    return dest / "prefix";
}

}  // namespace qvtest
