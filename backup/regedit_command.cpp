#include "backup/regedit_command.h"

#include <strings.h>

#include <mutex>

#include "backup/reg_import.h"
#include "backup/regedit_export.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/wineserver_guard.h"
#include "platform/win32/windows_file_open.h"

namespace qv {

std::vector<std::string> SplitWindowsCommandLine(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '\\') {
                size_t n = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++n;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        out.push_back(arg);
    }
    return out;
}

std::string RegeditUsage(const std::string& program) {
    return "Usage: " + program +
           " /e FILE [KEY]    export the registry (or KEY and everything below it) to FILE\n"
           "       " + program +
           " /s FILE...       import FILE silently (all of it, or nothing when it has an error)\n"
           "       " + program +
           " FILE...          the same as /s\n"
           "       " + program +
           " --version\n"
           "KEY is a full key name such as HKEY_CURRENT_USER\\Software\\Example. FILE is a Linux path (a\n"
           "relative one from the working folder) or a Windows path with a drive letter (C:\\...).\n"
           "The prefix is --prefix PATH, else WINEPREFIX, else ~/.wine.\n";
}

RegeditResult RunRegedit(const std::vector<std::string>& args, RegeditFileNames names) {
    auto fileToUnix = [names](const std::string& name) {
        return names == RegeditFileNames::CommandLine ? CommandLineFileToUnix(name) : FileNameToUnix(name);
    };
    RegeditResult r;
    auto usage = [&](const std::string& why) {
        r.status = 2;
        r.messages += why + "\n" + RegeditUsage("regedit");
        return r;
    };
    bool exportMode = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a.size() >= 2 && (a[0] == '/' || a[0] == '-') && a.find_first_of("/\\", 1) == std::string::npos &&
            a.size() <= 8) {
            std::string sw = a.substr(1);
            if (strcasecmp(sw.c_str(), "e") == 0) exportMode = true;
            else if (sw == "-help" || sw == "?" || strcasecmp(sw.c_str(), "h") == 0) return usage("");
            else if (strcasecmp(sw.c_str(), "s") != 0 && strcasecmp(sw.c_str(), "v") != 0)
                return usage("regedit: unknown switch " + a);
            continue;
        }
        files.push_back(a);
    }
    std::shared_ptr<Prefix> prefix = ActivePrefix();
    if (!prefix) {
        r.status = 1;
        r.messages = "regedit: no Wine prefix is open\n";
        return r;
    }
    if (exportMode) {
        if (files.empty() || files.size() > 2) return usage("regedit: /e needs a file name and at most one key");
        std::optional<std::filesystem::path> out = fileToUnix(files[0]);
        std::string error;
        if (!out) {
            error = "cannot map the file name " + files[0];
        } else if (RegeditExportFile(prefix->Registry(), files.size() == 2 ? files[1] : "", *out, error)) {
            if (FindWineServer(prefix->Root()).running)
                r.messages = "regedit: warning: Wine is running in this prefix. The export holds the registry files as "
                             "they are on disk, which may lack changes that Wine keeps in memory until it saves them "
                             "(stop it with wineserver -k for a complete export).\n";
            return r;
        }
        r.status = 1;
        r.messages = "regedit: " + error + "\n";
        return r;
    }
    if (files.empty()) return usage("regedit: no file to import");
    for (const std::string& f : files) {
        std::optional<std::filesystem::path> in = fileToUnix(f);
        std::string error;
        if (!in) error = "cannot map the file name " + f;
        else if (ImportRegFile(prefix->Registry(), *in, error)) continue;
        r.status = 1;
        r.messages += "regedit: " + error + "\n";
        return r;
    }
    return r;
}

namespace {
std::mutex g_messagesMutex;
std::string g_messages;
}  // namespace

void RememberRegeditMessages(const std::string& messages) {
    std::lock_guard<std::mutex> lock(g_messagesMutex);
    g_messages = messages;
}

std::string LastRegeditMessages() {
    std::lock_guard<std::mutex> lock(g_messagesMutex);
    return g_messages;
}

}  // namespace qv

int RunAndWait(const std::string& commandLine) {
    std::vector<std::string> args = qv::SplitWindowsCommandLine(commandLine);
    if (args.empty()) return -1;
    std::string program = args[0];
    size_t slash = program.find_last_of("\\/");
    if (slash != std::string::npos) program = program.substr(slash + 1);
    if (strcasecmp(program.c_str(), "regedit.exe") != 0 && strcasecmp(program.c_str(), "regedit") != 0) return -1;
    args.erase(args.begin());
    qv::RegeditResult r = qv::RunRegedit(args);
    qv::RememberRegeditMessages(r.messages);
    if (!r.messages.empty()) std::fputs(r.messages.c_str(), stderr);
    return r.status;
}
