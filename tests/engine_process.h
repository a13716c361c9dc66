// Runs the built engine as a child process on pipes, the way a game manager
// does: lines go to its standard input, its standard output is read back with
// a time-out, and its standard error goes to a file that must stay empty (a
// sanitizer report lands there).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class EngineProcess {
public:
    EngineProcess() {
        signal(SIGPIPE, SIG_IGN);
        char pattern[] = "/tmp/kq-stderr-XXXXXX";
        const int err = mkstemp(pattern);
        stderr_path_ = pattern;
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err, 2);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]), close(err);
            execl(KQ_ENGINE_PATH, KQ_ENGINE_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]), close(out[1]), close(err);
        to_engine_ = in[1];
        from_engine_ = out[0];
    }

    ~EngineProcess() {
        close_input();
        if (!exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(from_engine_);
        unlink(stderr_path_.c_str());
    }

    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // Raw text; `send` adds the line end.
    void write_raw(const std::string& text) {
        size_t done = 0;
        while (to_engine_ >= 0 && done < text.size()) {
            const ssize_t n = ::write(to_engine_, text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
    }
    void send(const std::string& line) { write_raw(line + "\n"); }

    void close_input() {
        if (to_engine_ >= 0) close(to_engine_);
        to_engine_ = -1;
    }

    // Takes in whatever output is ready, so a long run of input cannot stall
    // on a full output pipe.
    void drain() {
        while (fill(0)) {
        }
    }

    // The next output line without its '\n'; "<timeout>" or "<eof>" otherwise.
    std::string line(int timeout_ms = 20000) {
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string l = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return l;
            }
            if (!fill(timeout_ms)) return eof_ ? "<eof>" : "<timeout>";
        }
    }

    // Exactly `text` must come next (for prompts, which end without a line end).
    bool expect_text(const std::string& text, int timeout_ms = 20000) {
        while (buffer_.size() < text.size()) {
            if (!fill(timeout_ms)) break;
        }
        if (buffer_.compare(0, text.size(), text) != 0) return false;
        buffer_.erase(0, text.size());
        return true;
    }

    // Output up to and including the first `marker`; what was read when it
    // never came.
    std::string read_until(const std::string& marker, int timeout_ms = 20000) {
        size_t at;
        while ((at = buffer_.find(marker)) == std::string::npos) {
            if (!fill(timeout_ms)) break;
        }
        const size_t n = at == std::string::npos ? buffer_.size() : at + marker.size();
        std::string text = buffer_.substr(0, n);
        buffer_.erase(0, n);
        return text;
    }

    // Lines up to and including the first move reply "x,y".
    std::vector<std::string> lines_through_move(int timeout_ms = 20000) {
        std::vector<std::string> lines;
        for (;;) {
            lines.push_back(line(timeout_ms));
            if (is_move(lines.back()) || lines.back()[0] == '<') return lines;
        }
    }

    // Everything until the engine closes its output, then its exit status
    // (-1 when it did not exit normally).
    std::string rest(int timeout_ms = 20000) {
        while (fill(timeout_ms)) {
        }
        std::string all;
        all.swap(buffer_);
        return all;
    }
    int exit_status(int timeout_ms = 20000) {
        rest(timeout_ms);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        int status = 0;
        while (!exited_ && std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            usleep(1000);
        }
        return exited_ ? exit_code_ : -1;
    }

    std::string error_output() const {
        std::ifstream f(stderr_path_);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    // "x,y": digits, a comma, digits.
    static bool is_move(const std::string& l) {
        const size_t comma = l.find(',');
        if (comma == std::string::npos || comma == 0 || comma + 1 == l.size()) return false;
        for (size_t i = 0; i < l.size(); ++i) {
            if (i != comma && (l[i] < '0' || l[i] > '9')) return false;
        }
        return true;
    }

private:
    bool fill(int timeout_ms) {
        if (eof_) return false;
        pollfd p = {from_engine_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        char chunk[65536];
        const ssize_t n = ::read(from_engine_, chunk, sizeof chunk);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        buffer_.append(chunk, size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int to_engine_ = -1;
    int from_engine_ = -1;
    bool eof_ = false;
    bool exited_ = false;
    int exit_code_ = -1;
    std::string buffer_;
    std::string stderr_path_;
};

// The board display's fifteen rows for an empty board; tests patch single rows.
inline std::vector<std::string> empty_board_rows() {
    return {
        "\ta  . . . . . . . . . . . . . . .", "\tb  . . . . . . . . . . . . . . .",
        "\tc  . . . . . . . . . . . . . . .", "\td  . . . + . . . . . . . + . . .",
        "\te  . . . . . . . . . . . . . . .", "\tf  . . . . . . . . . . . . . . .",
        "\tg  . . . . . . . . . . . . . . .", "\th  . . . . . . . + . . . . . . .",
        "\ti  . . . . . . . . . . . . . . .", "\tj  . . . . . . . . . . . . . . .",
        "\tk  . . . . . . . . . . . . . . .", "\tl  . . . + . . . . . . . + . . .",
        "\tm  . . . . . . . . . . . . . . .", "\tn  . . . . . . . . . . . . . . .",
        "\to  . . . . . . . . . . . . . . .",
    };
}

inline std::string board_text(const std::vector<std::string>& rows) {
    std::string text = "\n\t   a b c d e f g h i j k l m n o\n";
    for (const std::string& r : rows) text += r + "\n";
    return text + "\n";
}
