// Reading a registry file of a prefix, refusing what cannot be one.
//
// Only a regular file is read (links to one are fine): a link to /dev/zero would otherwise
// fill memory, a named pipe would block forever and a folder cannot be read at all. The size
// is capped far above any real registry file, and an empty file is refused, as Wine refuses it.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace qv {

// An open file descriptor, closed with its owner.
class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : fd_(fd) {}
    OwnedFd(OwnedFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    OwnedFd& operator=(OwnedFd&& o) noexcept;
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd();
    int Get() const { return fd_; }

private:
    int fd_ = -1;
};

struct HiveFileContent {
    enum class State { Missing, Read, Refused };
    State state = State::Missing;
    std::string text;      // when Read by ReadHiveFile
    OwnedFd fd;            // when Read by OpenHiveFile: the file, open at its start
    std::string problem;   // when Refused: a sentence for the user
    struct stat info {};   // of the file read (when Read), else of the path when it exists
};

// Reads `file`; `label` names it in messages ("system.reg").
HiveFileContent ReadHiveFile(const std::filesystem::path& file, const std::string& label);

// Makes the same checks as ReadHiveFile but leaves the reading to the caller (State::Read
// with `fd` open). A reader must not read more than HiveSizeCeiling() bytes; the sentence
// to refuse more with is TooLargeText(label, ...).
HiveFileContent OpenHiveFile(const std::filesystem::path& file, const std::string& label);
std::string HiveTooLargeText(const std::filesystem::path& file, const std::string& label, uint64_t size);

// What kind of file a mode describes, for messages: "a folder", "a FIFO", ...
const char* FileKindText(mode_t mode);

// The largest file read as a registry file (4 GiB unless changed; tests lower it).
uint64_t HiveSizeCeiling();
void SetHiveSizeCeiling(uint64_t bytes);

}  // namespace qv
