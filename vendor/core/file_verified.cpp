// CRegistryObject::FileVerified: does the file that a registry string names exist?
//
// Registry strings name files in many shapes: plain paths, quoted paths followed by
// arguments, unquoted paths with blanks followed by arguments, environment references,
// "rundll32 library,entry" commands, resource references ("shell32.dll,-101",
// "@tzres.dll,-10", "explorer.exe#0100", a type library's "x.dll\2"), bare names that
// Windows searches for, NT forms ("\??\C:\...", "\SystemRoot\..."), and Unix paths that Wine
// accepts. The answer is conservative: "missing" only when the string clearly names a
// file and that file is nowhere Windows would find it. Anything that cannot be decided
// (unknown variables, relative paths with folders, network paths, URLs, drives that are not
// mapped) counts as present, so that a cleaner never removes an entry that still works.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "platform/prefix/case_insensitive_name.h"
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/windows_path.h"
#include "platform/win32/environment_expansion.h"
#include "platform/win32/file_system_view.h"
#include "platform/win32/path_presence.h"
#include "platform/win32/registry_text_values.h"
#include "platform/win32/wildcard_match.h"
#include "platform/win32/windows_environment.h"
#include "vendor/core/file_verified_memo.h"
#include "vendor/core/registry_object.h"
#include "vendor/core/wine_font_files.h"

namespace {

enum class Verdict { Exists, Missing, Unknown };

constexpr const char* kSystem32 = "C:\\windows\\system32";
constexpr const char* kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr const char* kAppPaths32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// An unquoted command is tried at this many blanks at most; a text with more words before
// its program is no command line this check can read.
constexpr int kMaxProgramCandidates = 64;
constexpr const char* kFonts = "C:\\windows\\Fonts\\";
// Where common Wine installations keep their own fonts, which Wine reads from there rather
// than from the prefix's Fonts folder. Fonts that Wine ships are known by name wherever the
// running Wine keeps them; these folders add the fonts of other Wine builds installed here.
constexpr const char* kWineFontFolders[] = {
    "/usr/share/wine/fonts",           "/usr/local/share/wine/fonts",
    "/opt/wine-stable/share/wine/fonts", "/opt/wine-devel/share/wine/fonts",
    "/opt/wine-staging/share/wine/fonts",
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string_view TrimView(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && qv::NamesEqualIgnoringCase(text.substr(0, start.size()), start);
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string_view LastName(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool HasExtension(std::string_view path) { return LastName(path).find('.') != std::string_view::npos; }

// A "%NAME%" left unexpanded: a variable this prefix does not define, so the path it
// is part of cannot be known. "%1" and "%*" (arguments of a command) do not count.
bool HasUnresolvedVariable(std::string_view text) {
    for (size_t open = text.find('%'); open != std::string_view::npos; open = text.find('%', open + 1)) {
        size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) return false;
        std::string_view name = text.substr(open + 1, close - open - 1);
        bool plausible = !name.empty() && std::isalpha(static_cast<unsigned char>(name[0]));
        for (char c : name)
            if (IsBlank(c) || IsSeparator(c) || c == '"') plausible = false;
        if (plausible) return true;
    }
    return false;
}

// "http://...", "shell:::{...}", "USR:Control Panel": a scheme or a name space, not a
// file (a drive letter is one character before the colon).
bool HasScheme(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        char c = text[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// The same path with a resource or entry reference after it taken off, when it has one:
// "x.dll,-101", "x.dll,3", "x.dll,Entry" -> "x.dll"; "x.exe#0100" -> "x.exe";
// "x.dll\2" (a type library's resource number) -> "x.dll". The forms are parts of `path`.
struct ReferenceForms {
    explicit ReferenceForms(std::string_view path) {
        forms[count++] = path;
        size_t comma = path.rfind(',');
        if (comma != std::string_view::npos && comma > 0) forms[count++] = TrimView(path.substr(0, comma));
        size_t hash = path.rfind('#');
        if (hash != std::string_view::npos && hash > 0 && AllDigits(path.substr(hash + 1)))
            forms[count++] = path.substr(0, hash);
        size_t slash = path.find_last_of("\\/");
        if (slash != std::string_view::npos && slash > 0 && AllDigits(path.substr(slash + 1)))
            forms[count++] = path.substr(0, slash);
    }
    std::string_view forms[4];
    size_t count = 0;
};

class Verifier {
public:
    // Judges paths in `prefix`, the active prefix, which outlives the verifier.
    explicit Verifier(const qv::Prefix& prefix) : prefix_(prefix) {}

    Verdict VerifyText(std::string_view text) {
        std::string expandedText;
        if (text.find('%') != std::string_view::npos) expandedText = Expand(text);
        const std::string_view expanded = text.find('%') != std::string_view::npos ? expandedText : text;
        Verdict verdict = VerifyCommand(expanded);
        if (verdict == Verdict::Missing && expanded.find(';') != std::string_view::npos) {
            // A list of paths ("C:\dir;" or "a.drv;b.drv"): present when one entry is.
            size_t start = 0;
            while (start <= expanded.size()) {
                size_t end = expanded.find(';', start);
                if (end == std::string_view::npos) end = expanded.size();
                std::string_view part = TrimView(expanded.substr(start, end - start));
                if (!part.empty()) {
                    Verdict partVerdict = VerifyCommand(part);
                    if (partVerdict != Verdict::Missing) return partVerdict;
                }
                start = end + 1;
            }
        }
        return verdict;
    }

private:
    const qv::WindowsEnvironment& Environment() {
        if (!environment_) environment_ = qv::ReadWindowsEnvironment();
        return *environment_;
    }

    std::string Expand(std::string_view text) { return qv::ExpandEnvironmentText(text, Environment()); }

    // A command or a path: quoted program, or the shortest blank-separated start that names
    // a file (as CreateProcess reads an unquoted command line), or the whole text.
    Verdict VerifyCommand(std::string_view text) {
        text = TrimView(text);
        if (!text.empty() && text[0] == '@') text = TrimView(text.substr(1));  // "@dll,-id"
        if (text.empty()) return Verdict::Missing;
        if (text[0] == '"') {
            size_t close = text.find('"', 1);
            std::string_view program = text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            std::string_view arguments = close == std::string_view::npos ? std::string_view() : text.substr(close + 1);
            Verdict verdict = VerifyPath(program, true);
            if (verdict == Verdict::Exists && IsRundll32(program)) return VerifyRundllTarget(arguments);
            return verdict;
        }
        bool unknown = false;
        int candidates = 0;
        // Whether a shorter start was a bare name found nowhere Windows searches, and whether
        // one such name ended in a program's extension.
        bool afterMissingName = false;
        bool afterMissingProgram = false;
        for (size_t blank = 0; blank <= text.size(); ++blank) {
            if (blank < text.size() && !IsBlank(text[blank])) continue;
            std::string_view program = TrimView(text.substr(0, blank));
            if (program.empty()) continue;
            if (++candidates > kMaxProgramCandidates) return Verdict::Unknown;
            bool whole = blank == text.size();
            Verdict verdict = VerifyPath(program, whole);
            if (verdict == Verdict::Exists) {
                if (IsRundll32(program)) return VerifyRundllTarget(text.substr(blank));
                return verdict;
            }
            if (verdict == Verdict::Unknown && !(afterMissingName && OnlyArgumentsFollow(program, afterMissingProgram)))
                unknown = true;
            if (verdict == Verdict::Missing && IsBareName(program)) {
                afterMissingName = true;
                afterMissingProgram = afterMissingProgram || HasProgramExtension(program);
            }
        }
        return unknown ? Verdict::Unknown : Verdict::Missing;
    }

    // A name Windows searches for: no folder, no drive, nothing left to expand.
    static bool IsBareName(std::string_view name) {
        return name.find_first_of("\\/:%") == std::string_view::npos;
    }

    static bool HasProgramExtension(std::string_view name) {
        for (std::string_view extension : {".exe", ".com", ".bat", ".cmd"})
            if (name.size() > extension.size() &&
                qv::NamesEqualIgnoringCase(name.substr(name.size() - extension.size()), extension))
                return true;
        return false;
    }

    // True when `candidate`, judged unknown as a path relative to some folder, starts with a
    // bare program name and can only be that program with arguments: "gone.exe /background"
    // and "gone.exe C:\x" name no file, since a folder name neither ends in a blank nor
    // holds a colon. After a name with a program's extension every word is an argument
    // ("gone.exe -o logs\x.txt"); a start without one may be the first word of a relative
    // folder ("Program Files\x.exe"), which stays unknown.
    static bool OnlyArgumentsFollow(std::string_view candidate, bool afterProgramExtension) {
        if (HasUnresolvedVariable(candidate) || HasScheme(candidate)) return false;
        size_t separator = candidate.find_first_of("\\/");
        if (separator == std::string_view::npos || separator == 0) return false;
        std::string_view folder = candidate.substr(0, separator);
        if (IsBlank(folder.back()) || folder.find_first_of(":*?\"<>|") != std::string_view::npos) return true;
        return afterProgramExtension;
    }

    static bool IsRundll32(std::string_view program) {
        std::string_view name = LastName(program);
        return qv::NamesEqualIgnoringCase(name, "rundll32") || qv::NamesEqualIgnoringCase(name, "rundll32.exe");
    }

    // "library,entry arguments" after rundll32: the library must exist.
    Verdict VerifyRundllTarget(std::string_view arguments) {
        std::string_view rest = TrimView(arguments);
        if (rest.empty()) return Verdict::Exists;  // rundll32 on its own
        std::string_view library;
        if (rest[0] == '"') {
            size_t close = rest.find('"', 1);
            library = rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
        } else {
            library = TrimView(rest.substr(0, rest.find(',')));
        }
        if (library.empty()) return Verdict::Exists;
        Verdict verdict = VerifyPath(library, false);
        if (verdict != Verdict::Missing || rest[0] == '"' || rest.find(',') != std::string_view::npos) return verdict;
        // No comma: the library may be followed by other words.
        return VerifyCommand(library);
    }

    // One path, perhaps with a resource reference after it.
    Verdict VerifyPath(std::string_view path, bool folderCounts) {
        path = TrimView(path);
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
        if (path.empty()) return Verdict::Missing;
        // "%1", "%L": the file is whatever the shell fills in.
        if (path[0] == '%' || HasUnresolvedVariable(path) || HasScheme(path)) return Verdict::Unknown;
        // The NT name of the Windows folder, used by driver entries.
        std::string inWindows;
        if (StartsWithIgnoringCase(path, "\\SystemRoot\\")) {
            inWindows = "C:\\windows" + std::string(path.substr(11));
            path = inWindows;
        }

        bool unknown = false;
        const ReferenceForms forms(path);
        for (size_t i = 0; i < forms.count; ++i) {
            Verdict verdict = VerifyPlainPath(forms.forms[i], folderCounts && i == 0);
            if (verdict == Verdict::Exists) return verdict;
            if (verdict == Verdict::Unknown) unknown = true;
        }
        return unknown ? Verdict::Unknown : Verdict::Missing;
    }

    Verdict VerifyPlainPath(std::string_view path, bool folderCounts) {
        if (path.empty()) return Verdict::Missing;
        bool separator = path.find_first_of("\\/") != std::string_view::npos;
        bool drive = path.size() >= 2 && path[1] == ':';
        if (path[0] == '/' && !(path.size() > 1 && path[1] == '/')) {
            // A Unix path: Wine reaches it through Z:; a Windows program would also read it
            // as a path from the root of the current drive.
            std::string throughZ = "Z:" + std::string(path);
            for (char& c : throughZ)
                if (c == '/') c = '\\';
            Verdict verdict = VerifyFullPath(throughZ, folderCounts);
            if (verdict != Verdict::Missing) return verdict;
            return VerifyFullPath(path, folderCounts);
        }
        if (drive || IsSeparator(path[0])) return VerifyFullPath(path, folderCounts);
        if (separator) {
            // Relative to a folder the text does not say; found in a system folder, or unknown.
            for (const std::string& folder : SearchFolders(path))
                if (VerifyFullPath(folder + "\\" + std::string(path), false) == Verdict::Exists) return Verdict::Exists;
            return Verdict::Unknown;
        }
        return SearchBareName(path);
    }

    // A path on a drive (or from the root of the current one).
    Verdict VerifyFullPath(std::string_view path, bool folderCounts) {
        std::optional<qv::WindowsPath> full = qv::ResolveWindowsPath(path);
        if (!full) return Verdict::Unknown;  // network or device path
        if (!prefix_.HasDriveFolder(full->drive)) return Verdict::Unknown;
        bool trailingSeparator = qv::EndsWithPathSeparator(path);
        const std::string text = full->ToString();

        // A 32-bit program reaches the real system32 as sysnative; a 64-bit entry may keep
        // that name. (For a 32-bit program the file functions redirect both names themselves,
        // file_system_view.h.)
        std::string inSystem32;
        if (qv::CurrentFileSystemView() != qv::FileSystemView::Bits32 &&
            StartsWithIgnoringCase(text, "C:\\windows\\sysnative\\"))
            inSystem32 = kSystem32 + text.substr(std::strlen("C:\\windows\\sysnative"));
        const std::string* candidates[] = {&text, &inSystem32};

        // A path that cannot be looked at (a folder on the way that cannot be read, a loop
        // of links) is not known to be missing.
        bool unreadable = false;
        auto attributesOf = [&unreadable](const std::string& file) {
            DWORD attributes = qv::PresenceAttributes(file.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND &&
                GetLastError() != ERROR_PATH_NOT_FOUND)
                unreadable = true;
            return attributes;
        };
        for (const std::string* each : candidates) {
            const std::string& candidate = *each;
            if (candidate.empty()) continue;
            if (qv::HasWildcards(LastName(candidate))) {
                WIN32_FIND_DATAA data;
                HANDLE search = FindFirstFileA(candidate.c_str(), &data);
                if (search == INVALID_HANDLE_VALUE) continue;
                FindClose(search);
                return Verdict::Exists;
            }
            DWORD attributes = attributesOf(candidate);
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                if (!folder || folderCounts || trailingSeparator) return Verdict::Exists;
            }
            // Windows adds ".exe" to a program and ".dll" to a library named without one.
            if (!HasExtension(candidate) && !trailingSeparator) {
                for (const char* extension : {".exe", ".dll"}) {
                    DWORD withExtension = attributesOf(candidate + extension);
                    if (withExtension != INVALID_FILE_ATTRIBUTES && !(withExtension & FILE_ATTRIBUTE_DIRECTORY))
                        return Verdict::Exists;
                }
            }
        }
        if (StartsWithIgnoringCase(text, kFonts) && IsWineFont(text.substr(std::strlen(kFonts))))
            return Verdict::Exists;
        return unreadable ? Verdict::Unknown : Verdict::Missing;
    }

    // A font of the Wine installation: Wine lists these in the registry as fonts of the
    // Fonts folder but loads them from its own data folder, which is elsewhere for each
    // build (a distribution's, a self-built one, a game runner's). A font file that Wine
    // ships therefore counts as present by its name alone.
    static bool IsWineFont(const std::string& name) {
        if (name.empty() || name.find('\\') != std::string::npos) return false;
        if (qv::IsWineShippedFontFile(name)) return true;
        for (const char* folder : kWineFontFolders) {
            std::optional<std::string> found = qv::FindNameIgnoringCase(folder, name);
            struct stat info;
            if (found && ::stat((std::filesystem::path(folder) / *found).c_str(), &info) == 0 && S_ISREG(info.st_mode))
                return true;
        }
        return false;
    }

    // The folders Windows looks in for a name without a folder: the system folders, the
    // Windows folder and the folders of PATH (never the current directory); the folders
    // where the print spooler keeps its drivers and print processors; the Fonts folder for
    // font files.
    std::vector<std::string> SearchFolders(std::string_view name) {
        std::vector<std::string> folders{kSystem32,
                                         "C:\\windows\\system",
                                         "C:\\windows",
                                         "C:\\windows\\system32\\spool\\prtprocs\\x64",
                                         "C:\\windows\\system32\\spool\\prtprocs\\w32x86",
                                         "C:\\windows\\system32\\spool\\drivers\\x64\\3",
                                         "C:\\windows\\system32\\spool\\drivers\\w32x86\\3"};
        std::string_view last = LastName(name);
        for (const char* fontExtension : {".ttf", ".ttc", ".otf", ".fon", ".fnt"}) {
            std::string_view extension(fontExtension);
            if (last.size() > extension.size() &&
                qv::NamesEqualIgnoringCase(last.substr(last.size() - extension.size()), extension))
                folders.push_back("C:\\windows\\Fonts");
        }
        if (std::optional<std::string> path = Environment().Get("PATH")) {
            size_t start = 0;
            while (start <= path->size()) {
                size_t end = path->find(';', start);
                if (end == std::string::npos) end = path->size();
                std::string folder = Trim(std::string_view(*path).substr(start, end - start));
                while (folder.size() > 3 && IsSeparator(folder.back())) folder.pop_back();
                if (!folder.empty() && folder.find('%') == std::string::npos) folders.push_back(folder);
                start = end + 1;
            }
        }
        return folders;
    }

    Verdict SearchBareName(std::string_view name) {
        for (const std::string& folder : SearchFolders(name))
            if (VerifyFullPath(folder + "\\" + std::string(name), false) == Verdict::Exists) return Verdict::Exists;
        // Programs registered under App Paths also start by their bare name; a 32-bit
        // program's registration may be in the 32-bit view's key.
        std::vector<std::string> keys;
        for (const char* appPaths : {kAppPaths, kAppPaths32})
            for (const char* extension : {"", ".exe"})
                keys.push_back(std::string(appPaths) + "\\" + std::string(name) + extension);
        for (const std::string& candidate : keys) {
            std::optional<qv::RegistryText> registered = qv::ReadRegistryText(HKEY_LOCAL_MACHINE, candidate.c_str(), "");
            if (!registered) continue;
            std::string target = Trim(registered->text);
            if (target.find('%') != std::string::npos) target = Expand(target);
            if (!target.empty() && target[0] == '"') target = Trim(target.substr(1, target.find('"', 1) - 1));
            // Only a full path: a bare name there would send the search round in a circle.
            if (target.size() >= 3 && target[1] == ':' && VerifyFullPath(target, false) == Verdict::Exists)
                return Verdict::Exists;
        }
        return Verdict::Missing;
    }

    const qv::Prefix& prefix_;
    std::optional<qv::WindowsEnvironment> environment_;
};

}  // namespace

namespace {

int JudgeText(std::string_view cleaned, const qv::Prefix& prefix) {
    if (qv::CurrentFileSystemView() != qv::FileSystemView::Unknown || !qv::ActivePrefixIs64Bit()) {
        Verifier verifier(prefix);
        return verifier.VerifyText(cleaned) == Verdict::Missing ? 0 : 1;
    }
    // Written by a program of either kind: present when a 64-bit or a 32-bit program finds it.
    for (qv::FileSystemView view : {qv::FileSystemView::Bits64, qv::FileSystemView::Bits32}) {
        qv::ScopedFileSystemView scope(view);
        Verifier verifier(prefix);
        if (verifier.VerifyText(cleaned) != Verdict::Missing) return 1;
    }
    return 0;
}

}  // namespace

int CRegistryObject::FileVerified(const std::string& text) {
    std::string_view cleaned(text.data(), std::min(text.size(), text.find('\0')));
    while (!cleaned.empty() && IsBlank(cleaned.front())) cleaned.remove_prefix(1);
    while (!cleaned.empty() && IsBlank(cleaned.back())) cleaned.remove_suffix(1);
    if (cleaned.empty()) return 0;
    // Without a prefix there is no file system to look at: nothing can be called missing.
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    if (!prefix) return 1;
    CFileVerifiedMemo* memo = CFileVerifiedMemo::Current();
    if (!memo) return JudgeText(cleaned, *prefix);
    const std::string& root = prefix->Root().native();
    const qv::FileSystemView view = qv::CurrentFileSystemView();
    if (const int* known = memo->Find(root, view, cleaned)) return *known;
    const int answer = JudgeText(cleaned, *prefix);
    memo->Remember(root, view, cleaned, answer);
    return answer;
}
