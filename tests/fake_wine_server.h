// A stand-in for a running wineserver: its server folder laid out as Wine lays it out for a
// prefix, with the lock held by a child process until the object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace qvtest {

class FakeWineServer {
public:
    explicit FakeWineServer(const std::filesystem::path& prefix) {
        struct stat st {};
        ::stat(prefix.c_str(), &st);
        tag_ = "wine-qvtest" + std::to_string(::getpid());
        WriteFile(prefix / "wineserver", tag_);
        char name[64];
        std::snprintf(name, sizeof name, "server-%llx-%llx", (unsigned long long)st.st_dev,
                      (unsigned long long)st.st_ino);
        std::filesystem::path serverDir = std::filesystem::path("/tmp") / tag_ / name;
        std::filesystem::create_directories(serverDir);
        WriteFile(serverDir / "lock", "");
        int pipefd[2];
        if (::pipe(pipefd) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            int fd = ::open((serverDir / "lock").c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_len = 1;
            ::fcntl(fd, F_SETLK, &fl);
            (void)!::write(pipefd[1], "x", 1);
            ::pause();
            ::_exit(0);
        }
        char c;
        (void)!::read(pipefd[0], &c, 1);
        ::close(pipefd[0]);
        ::close(pipefd[1]);
    }
    ~FakeWineServer() { Stop(); }
    FakeWineServer(const FakeWineServer&) = delete;
    FakeWineServer& operator=(const FakeWineServer&) = delete;

    pid_t Pid() const { return pid_; }
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path("/tmp") / tag_, ec);
    }

private:
    std::string tag_;
    pid_t pid_ = 0;
};

}  // namespace qvtest
