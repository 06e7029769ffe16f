#include "app/prefix_choice.h"

#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/registry/atomic_file.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_switchMutex;
std::optional<fs::path> g_switch;

fs::path RealPath(const fs::path& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(path, ec);
    return ec ? path : real;
}

}  // namespace

fs::path RememberedPrefixFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return fs::path(state) / "quorvane" / "prefix";
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    return fs::path(home) / ".local" / "state" / "quorvane" / "prefix";
}

std::optional<fs::path> RememberedPrefix() {
    fs::path file = RememberedPrefixFile();
    if (file.empty()) return std::nullopt;
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line) || line.empty() || line[0] != '/') return std::nullopt;
    if (!qv::LooksLikePrefix(line)) return std::nullopt;
    return fs::path(line);
}

bool RememberPrefix(const fs::path& prefix, std::string& error) {
    fs::path file = RememberedPrefixFile();
    if (file.empty()) {
        error = "Neither XDG_STATE_HOME nor HOME is set, so the choice cannot be remembered.";
        return false;
    }
    try {
        fs::create_directories(file.parent_path());
        qv::WriteFileAtomically(file, RealPath(prefix).string() + "\n");
    } catch (const std::exception& e) {
        error = "The choice could not be remembered in " + file.string() + ": " + e.what();
        return false;
    }
    return true;
}

std::vector<PrefixChoice> PrefixChoices(const qv::PrefixDiscovery& found, const fs::path& current) {
    const fs::path real = RealPath(current);
    std::vector<PrefixChoice> choices;
    bool listed = false;
    for (const qv::DiscoveredPrefix& p : found.prefixes) {
        const bool isCurrent = p.path == real;
        listed = listed || isCurrent;
        choices.push_back({p.path, p.name + " (" + p.source + ")", isCurrent});
    }
    if (!listed && !current.empty())
        choices.insert(choices.begin(), {real, real.filename().string() + " (" + real.string() + ")", true});
    return choices;
}

std::string PrefixDisplayName(const qv::PrefixDiscovery& found, const fs::path& prefix) {
    const fs::path real = RealPath(prefix);
    for (const qv::DiscoveredPrefix& p : found.prefixes)
        if (p.path == real && !p.name.empty()) return p.name;
    return real.filename().string();
}

void RequestPrefixSwitch(std::optional<fs::path> prefix) {
    std::lock_guard<std::mutex> lock(g_switchMutex);
    g_switch = std::move(prefix);
}

std::optional<fs::path> RequestedPrefixSwitch() {
    std::lock_guard<std::mutex> lock(g_switchMutex);
    return g_switch;
}
