// Reading .reg files: what registry editors export (UTF-16LE with a byte-order mark) and the
// 8-bit files of the partial-backup writer (our ANSI code page, UTF-8), with the header
// "Windows Registry Editor Version 5.00" or "REGEDIT4".
//
// The reader streams: it holds one chunk of the file and the line being read (a line longer
// than a chunk grows the buffer to that line), and tells a sink what each line says, so
// that a file of any size is read in bounded memory. A file with an error stops at that
// line; the error names it. Callers that must change nothing when a file is bad undo what
// they applied, read it twice (validate, then apply), or collect it first (ParseRegFile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_store.h"

namespace qv {

// What a file says, in file order. Views and spans are valid during the call only. A
// method returns false to stop the reading (the sink keeps its own reason).
class RegFileSink {
public:
    virtual ~RegFileSink() = default;
    // After the header line: how the file is written.
    virtual void Format(bool /*utf16*/, bool /*regedit4*/) {}
    // A key line: the key is created if missing; values that follow belong to it.
    virtual bool OpenKey(RegRoot root, std::u16string_view path, int line) = 0;
    // "[-...]": the key with everything below it is deleted.
    virtual bool DeleteKey(RegRoot root, std::u16string_view path, int line) = 0;
    // A value of the key opened last (strings as UTF-16LE bytes).
    virtual bool SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, int line) = 0;
    virtual bool DeleteValue(std::u16string_view name, int line) = 0;
};

// A sink that ignores everything: reading into it only checks the file.
class RegFileCheckSink : public RegFileSink {
public:
    bool OpenKey(RegRoot, std::u16string_view, int) override { return true; }
    bool DeleteKey(RegRoot, std::u16string_view, int) override { return true; }
    bool SetValue(std::u16string_view, uint32_t, std::span<const uint8_t>, int) override { return true; }
    bool DeleteValue(std::u16string_view, int) override { return true; }
};

enum class RegReadResult {
    Done,
    Unreadable,  // the file cannot be opened or read: `error` says why
    BadFile,     // not a valid .reg file: `error` = "line N: what is wrong"
    SinkStopped  // the sink returned false
};

// Reads bytes held in memory.
RegReadResult ReadRegText(std::string_view bytes, RegFileSink& sink, std::string& error);

// Reads a file `chunkBytes` at a time (by default a piece that stays in the processor's
// cache between the read and the parse).
inline constexpr size_t kRegReadChunkBytes = size_t(128) << 10;
RegReadResult ReadRegFile(const std::filesystem::path& file, RegFileSink& sink, std::string& error,
                          size_t chunkBytes = kRegReadChunkBytes);

// The buffer of a file's reading, kept from one reading to the next.
struct RegReadBuffer {
    std::unique_ptr<char[]> data;
    size_t capacity = 0;
};

// An open .reg file that can be read more than once: every Read reads the same file from
// its start, also when the name has been given to another file meanwhile.
class RegFileInput {
public:
    RegFileInput() = default;
    ~RegFileInput();
    RegFileInput(const RegFileInput&) = delete;
    RegFileInput& operator=(const RegFileInput&) = delete;

    bool Open(const std::filesystem::path& file, std::string& error);
    // False for what cannot be read twice (a pipe): read it once.
    bool Rereadable() const { return regular_; }
    RegReadResult Read(RegFileSink& sink, std::string& error, size_t chunkBytes = kRegReadChunkBytes);

private:
    int fd_ = -1;
    bool regular_ = false;
    long long size_ = -1;
    int reads_ = 0;
    std::string name_;
    RegReadBuffer buffer_;
};

// The whole file as a list of changes, for callers that look at all of it (checks of
// backups, tests).
struct RegImportOp {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    RegRoot root;
    std::u16string path;  // below the root
    std::u16string name;  // value name
    uint32_t type = 0;
    std::vector<uint8_t> data;  // stored bytes (strings as UTF-16LE)
    int line = 0;
};

struct RegImportPlan {
    std::vector<RegImportOp> ops;
    bool utf16 = false;
    bool regedit4 = false;
};

// A sink that collects the changes (SetValue and DeleteValue carry the path of the key
// opened last).
class RegPlanSink : public RegFileSink {
public:
    explicit RegPlanSink(RegImportPlan& plan) : plan_(plan) {}
    bool OpenKey(RegRoot root, std::u16string_view path, int line) override;
    bool DeleteKey(RegRoot root, std::u16string_view path, int line) override;
    bool SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, int line) override;
    bool DeleteValue(std::u16string_view name, int line) override;
    void Format(bool utf16, bool regedit4) override;

private:
    RegImportPlan& plan_;
    RegRoot root_ = RegRoot::LocalMachine;
    std::u16string path_;
};

// A comment line of this form (followed by four hexadecimal digits per UTF-16 unit) gives the
// exact full name of the key on the next key line, for names that bracket text cannot
// carry (line breaks). Other readers see a comment and the bracket text.
inline constexpr char kExactKeyComment[] = ";quorvane-exact-key=";

// Parses a whole file. False with `error` = "line N: what is wrong" on the first error
// (and no changes in `plan`).
bool ParseRegFile(std::string_view bytes, RegImportPlan& plan, std::string& error);

}  // namespace qv
