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

int RestartWinePrefix(const std::filesystem::path& prefixRoot) {
    if (prefixRoot.empty()) return 0;
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
    if (posix_spawn_file_actions_init(&actions) != 0) return 0;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return 0;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 0;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
}

int RestartActivePrefix() {
    std::shared_ptr<qv::Prefix> prefix = qv::ActivePrefix();
    return prefix ? RestartWinePrefix(prefix->Root()) : 0;
}
