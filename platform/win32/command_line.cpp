#include "platform/win32/command_line.h"

#include <fstream>
#include <iterator>
#include <mutex>

namespace qv {
namespace {

struct RecordedArgs {
    std::mutex mutex;
    bool set = false;
    std::vector<std::string> args;
};

RecordedArgs& Recorded() {
    static RecordedArgs recorded;
    return recorded;
}

std::vector<std::string> ReadProcCmdline() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

}  // namespace

void SetCommandLineArgs(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc && argv != nullptr; ++i)
        if (argv[i] != nullptr) args.emplace_back(argv[i]);
    RecordedArgs& recorded = Recorded();
    std::lock_guard lock(recorded.mutex);
    recorded.args = std::move(args);
    recorded.set = true;
}

std::vector<std::string> CommandLineArgs() {
    RecordedArgs& recorded = Recorded();
    std::lock_guard lock(recorded.mutex);
    if (!recorded.set) return ReadProcCmdline();
    return recorded.args;
}

std::string QuoteCommandLineArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: double them there, keep them elsewhere.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');  // before the closing quote
    quoted += '"';
    return quoted;
}

std::string BuildWindowsCommandLine(const std::string& programPath, const std::vector<std::string>& arguments) {
    std::string line = "\"" + programPath + "\"";
    for (const std::string& argument : arguments) {
        line += ' ';
        line += QuoteCommandLineArgument(argument);
    }
    return line;
}

}  // namespace qv
