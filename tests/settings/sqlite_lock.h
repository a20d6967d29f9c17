// Starts the lock-holder program on an SQLite database and ends it again:
// a second process with an open write transaction, as a database browser
// left open over the settings file would hold one.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace kestrane::test {

class SqliteLock {
public:
    SqliteLock() = default;
    SqliteLock(const SqliteLock&) = delete;
    SqliteLock& operator=(const SqliteLock&) = delete;
    ~SqliteLock() { Release(); }

    // Starts the holder (`kind` "exclusive" or "immediate") and waits until
    // it holds the lock; false when it could not take it in time.
    bool Acquire(const std::string& holderProgram, const std::string& database, const std::string& kind) {
        Release();
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0) return false;
        if (::pipe2(fromChild, O_CLOEXEC) != 0) {
            ::close(toChild[0]);
            ::close(toChild[1]);
            return false;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], STDIN_FILENO);
            ::dup2(fromChild[1], STDOUT_FILENO);
            ::execl(holderProgram.c_str(), holderProgram.c_str(), database.c_str(), kind.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        input_ = toChild[1];
        output_ = fromChild[0];
        if (pid_ < 0) {
            Release();
            return false;
        }
        std::string said;
        pollfd ready{output_, POLLIN, 0};
        while (said.find("locked\n") == std::string::npos && ::poll(&ready, 1, 20000) > 0) {
            char buffer[64];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0) break;
            said.append(buffer, static_cast<std::size_t>(n));
        }
        if (said.find("locked\n") == std::string::npos) {
            Release();
            return false;
        }
        return true;
    }

    // Ends the holder's input; it rolls back and exits.
    void Release() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
        if (pid_ > 0) {
            int status = 0;
            bool ended = false;
            for (int i = 0; i < 100 && !ended; ++i) {
                ended = ::waitpid(pid_, &status, WNOHANG) != 0;
                if (!ended) ::usleep(50000);
            }
            if (!ended) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        pid_ = -1;
        if (output_ >= 0) ::close(output_);
        output_ = -1;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
};

}  // namespace kestrane::test
