#include "menus/menu_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/registry/atomic_file.h"

namespace fs = std::filesystem;

namespace menus {

namespace {

// No file Wine writes for a menu comes near this; a larger member is not ours.
constexpr la_int64_t kMaxMember = 64 * 1024 * 1024;

bool SafeName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    for (const fs::path& part : fs::path(name))
        if (part == ".." || part == ".") return false;
    return true;
}

bool SameFiles(const std::vector<ArchivedFile>& a, const std::vector<ArchivedFile>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].content != b[i].content || a[i].mode != b[i].mode ||
            a[i].mtime.tv_sec != b[i].mtime.tv_sec)
            return false;
    return true;
}

}  // namespace

std::optional<ArchivedFile> TakeFile(const fs::path& home, const fs::path& file) {
    const fs::path rel = file.lexically_normal().lexically_relative(home.lexically_normal());
    if (rel.empty() || !SafeName(rel.generic_string())) return std::nullopt;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    ArchivedFile out;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxMember;
    if (ok) {
        out.content.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (ok && done < out.content.size()) {
            const ssize_t n = ::read(fd, out.content.data() + done, out.content.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    out.name = rel.generic_string();
    out.mode = st.st_mode & 07777;
    out.mtime = st.st_mtim;
    return out;
}

bool WriteMenuArchive(const fs::path& archive, const std::vector<ArchivedFile>& files, std::string& error) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(archive, ec))) {
        error = archive.string() + " exists already.";
        return false;
    }
    fs::create_directories(archive.parent_path(), ec);
    const fs::path part = archive.string() + ".part";
    fs::remove(part, ec);
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "The archive " + part.string() + " could not be created: " + std::strerror(errno) + ".";
        return false;
    }
    struct archive* a = archive_write_new();
    archive_write_set_format_pax(a);
    bool ok = archive_write_open_fd(a, fd) == ARCHIVE_OK;
    for (const ArchivedFile& f : files) {
        if (!ok) break;
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, f.name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, f.mode & 07777);
        archive_entry_set_size(entry, static_cast<la_int64_t>(f.content.size()));
        archive_entry_set_mtime(entry, f.mtime.tv_sec, f.mtime.tv_nsec);
        ok = archive_write_header(a, entry) == ARCHIVE_OK &&
             (f.content.empty() || archive_write_data(a, f.content.data(), f.content.size()) ==
                                       static_cast<la_ssize_t>(f.content.size()));
        archive_entry_free(entry);
    }
    if (!ok) error = std::string("The archive could not be written: ") + (archive_error_string(a) ? archive_error_string(a) : "unknown error") + ".";
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    if (ok) {
        // Read back: a file that cannot give every byte back is no archive.
        std::string readError;
        std::optional<std::vector<ArchivedFile>> back = ReadMenuArchive(part, readError);
        ok = back && SameFiles(*back, files);
        if (!ok) error = "The archive " + part.string() + " did not read back as written." + (readError.empty() ? "" : " " + readError);
    } else if (error.empty()) {
        error = "The archive " + part.string() + " could not be written to the disk (is it full?).";
    }
    if (ok && ::rename(part.c_str(), archive.c_str()) != 0) {
        error = "The archive could not be named " + archive.string() + ": " + std::strerror(errno) + ".";
        ok = false;
    }
    if (!ok) {
        fs::remove(part, ec);
        return false;
    }
    qv::SyncFolder(archive.parent_path());
    return true;
}

namespace {

std::optional<std::vector<ArchivedFile>> ReadOpened(struct archive* a, bool ok, std::string& error);

}  // namespace

std::optional<std::vector<ArchivedFile>> ReadMenuArchive(const fs::path& archive, std::string& error) {
    struct archive* a = archive_read_new();
    archive_read_support_format_tar(a);
    return ReadOpened(a, archive_read_open_filename(a, archive.c_str(), 64 * 1024) == ARCHIVE_OK, error);
}

std::optional<std::vector<ArchivedFile>> ReadMenuArchiveBytes(std::string_view bytes, std::string& error) {
    struct archive* a = archive_read_new();
    archive_read_support_format_tar(a);
    return ReadOpened(a, archive_read_open_memory(a, bytes.data(), bytes.size()) == ARCHIVE_OK, error);
}

namespace {

std::optional<std::vector<ArchivedFile>> ReadOpened(struct archive* a, bool ok, std::string& error) {
    std::vector<ArchivedFile> files;
    if (!ok) error = std::string(archive_error_string(a) ? archive_error_string(a) : "it cannot be opened") + ".";
    struct archive_entry* entry = nullptr;
    while (ok) {
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK) {
            error = std::string("it is damaged: ") + (archive_error_string(a) ? archive_error_string(a) : "unreadable header") + ".";
            ok = false;
            break;
        }
        const char* name = archive_entry_pathname(entry);
        if (name == nullptr || !SafeName(name) || archive_entry_filetype(entry) != AE_IFREG ||
            archive_entry_size(entry) < 0 || archive_entry_size(entry) > kMaxMember) {
            error = "it holds a member that is not a file of the home folder (" + std::string(name ? name : "") + ").";
            ok = false;
            break;
        }
        ArchivedFile f;
        f.name = name;
        f.mode = archive_entry_perm(entry) & 07777;
        f.mtime.tv_sec = archive_entry_mtime(entry);
        f.mtime.tv_nsec = archive_entry_mtime_nsec(entry);
        f.content.resize(static_cast<size_t>(archive_entry_size(entry)));
        if (!f.content.empty() &&
            archive_read_data(a, f.content.data(), f.content.size()) != static_cast<la_ssize_t>(f.content.size())) {
            error = "it ends before the member " + f.name + " does.";
            ok = false;
            break;
        }
        files.push_back(std::move(f));
    }
    archive_read_free(a);
    if (!ok) return std::nullopt;
    return files;
}

}  // namespace

}  // namespace menus
