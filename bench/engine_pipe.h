// A running engine process on pipes, for the tools that drive the real
// binary the way a game manager does (self-play, reply timing).
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

class EnginePipe {
public:
    explicit EnginePipe(const char* path) {
        signal(SIGPIPE, SIG_IGN);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]);
            execl(path, path, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]), close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~EnginePipe() {
        if (to_ >= 0) close(to_);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        close(from_);
    }
    EnginePipe(const EnginePipe&) = delete;
    EnginePipe& operator=(const EnginePipe&) = delete;

    void send(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(to_, text.data() + done, text.size() - done);
            if (n <= 0) return;
            done += size_t(n);
        }
    }

    // The next line without its '\n', or "<timeout>" / "<eof>".
    std::string line(int timeout_ms) {
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string l = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return l;
            }
            pollfd p = {from_, POLLIN, 0};
            if (poll(&p, 1, timeout_ms) <= 0) return "<timeout>";
            char chunk[4096];
            const ssize_t n = ::read(from_, chunk, sizeof chunk);
            if (n <= 0) return "<eof>";
            buffer_.append(chunk, size_t(n));
        }
    }

    // Lines through the first move reply "x,y" (or a time-out / end).
    std::vector<std::string> reply(int timeout_ms) {
        std::vector<std::string> lines;
        for (;;) {
            lines.push_back(line(timeout_ms));
            const std::string& l = lines.back();
            if (l[0] == '<' || is_move(l)) return lines;
        }
    }

    static bool is_move(const std::string& l) {
        const size_t comma = l.find(',');
        if (comma == std::string::npos || comma == 0 || comma + 1 == l.size()) return false;
        for (size_t i = 0; i < l.size(); ++i)
            if (i != comma && (l[i] < '0' || l[i] > '9')) return false;
        return true;
    }

private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string buffer_;
};
