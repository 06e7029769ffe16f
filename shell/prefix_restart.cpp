#include "shell/prefix_restart.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/prefix/prefix.h"

extern char** environ;

namespace {

int Failed(std::string* why, const std::string& text) {
    if (why != nullptr) *why = text;
    return 0;
}

}  // namespace

int RestartWinePrefix(const std::filesystem::path& prefixRoot, std::string* why) {
    if (prefixRoot.empty()) return Failed(why, "No prefix is open.");
    // The environment of this process with WINEPREFIX naming the prefix.
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "WINEPREFIX=", 11) != 0) environment.emplace_back(*entry);
    }
    environment.push_back("WINEPREFIX=" + prefixRoot.string());
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string program = "wineboot";
    std::string restart = "-r";
    char* argv[] = {program.data(), restart.data(), nullptr};

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return Failed(why, "wineboot could not be started.");
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error == ENOENT)
        return Failed(why, "wineboot was not found: Wine does not seem to be installed. The changes are saved "
                           "and take effect the next time the prefix starts.");
    if (error != 0) return Failed(why, std::string("wineboot could not be started: ") + std::strerror(error) + ".");

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return Failed(why, "Quorvane lost track of wineboot.");
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 1;
    if (WIFSIGNALED(status))
        return Failed(why, "wineboot -r was stopped by signal " + std::to_string(WTERMSIG(status)) + ".");
    return Failed(why, "wineboot -r ended with status " + std::to_string(WEXITSTATUS(status)) + ".");
}

int RestartActivePrefix(std::string* why) {
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    return prefix ? RestartWinePrefix(prefix->Root(), why) : Failed(why, "No prefix is open.");
}
