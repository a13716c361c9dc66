// Runs the built engine on pipes the way a game manager does. Its standard
// error goes to a file that must stay empty: sanitizer reports land there.
//
// The same tests run against another build of the engines (the Windows
// executables under Wine, make test-wine) when the environment names it:
// KQ_ENGINE and KQ2_ENGINE replace the two engine paths, and a program named
// by KQ_ENGINE_RUNNER starts them (it gets the engine's path as its argument).
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The path of an engine: `built`, or what the environment puts in its place.
inline const char* engine_path(const char* built) {
    const char* other = std::getenv(std::strcmp(built, KQ2_ENGINE_PATH) == 0 ? "KQ2_ENGINE"
                                                                              : "KQ_ENGINE");
    return other && *other ? other : built;
}

class EngineProcess {
public:
    explicit EngineProcess(const char* built = KQ_ENGINE_PATH) {
        signal(SIGPIPE, SIG_IGN);
        const char* program = engine_path(built);
        const char* runner = std::getenv("KQ_ENGINE_RUNNER");
        char path[] = "/tmp/kq-stderr-XXXXXX";
        const int err = mkstemp(path);
        stderr_path_ = path;
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0), dup2(out[1], 1), dup2(err, 2);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]), close(err);
            if (runner && *runner) {
                execl(runner, runner, program, static_cast<char*>(nullptr));
            } else {
                execl(program, program, static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        close(in[0]), close(out[1]), close(err);
        to_ = in[1];
        from_ = out[0];
    }
    ~EngineProcess() {
        close_input();
        if (!reaped_) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        close(from_);
        unlink(stderr_path_.c_str());
    }

    void write_raw(const std::string& text) {
        for (size_t done = 0; to_ >= 0 && done < text.size();) {
            const ssize_t n = write(to_, text.data() + done, text.size() - done);
            if (n <= 0) return;
            done += size_t(n);
        }
    }
    void send(const std::string& line) { write_raw(line + "\n"); }
    void close_input() {
        if (to_ >= 0) close(to_);
        to_ = -1;
    }

    // Output through the first `marker`; all that came if it never did.
    std::string read_until(const std::string& marker, int timeout_ms = 20000) {
        size_t at;
        while ((at = buffer_.find(marker)) == std::string::npos && fill(timeout_ms)) {
        }
        const size_t n = at == std::string::npos ? buffer_.size() : at + marker.size();
        std::string text = buffer_.substr(0, n);
        buffer_.erase(0, n);
        return text;
    }
    std::string line() {
        std::string l = read_until("\n");
        return l.empty() || l.back() != '\n' ? "<eof>" : l.substr(0, l.size() - 1);
    }
    bool expect_text(const std::string& text) {
        while (buffer_.size() < text.size() && fill(20000)) {
        }
        if (buffer_.compare(0, text.size(), text) != 0) return false;
        buffer_.erase(0, text.size());
        return true;
    }
    // Lines through the first move reply "x,y".
    std::vector<std::string> reply() {
        std::vector<std::string> lines{line()};
        while (!is_move(lines.back()) && lines.back() != "<eof>") lines.push_back(line());
        return lines;
    }
    // Takes in what is ready, so long input cannot stall on a full output pipe.
    void drain() {
        while (fill(0)) {
        }
    }
    // Closes the input; the rest of the output once the program has ended.
    std::string finish(int& status) {
        close_input();
        while (fill(60000)) {
        }
        int raw = 0;
        reaped_ = waitpid(pid_, &raw, 0) == pid_;
        status = reaped_ && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::string rest;
        rest.swap(buffer_);
        return rest;
    }
    pid_t pid() const { return pid_; }
    std::string error_output() const {
        std::stringstream s;
        s << std::ifstream(stderr_path_).rdbuf();
        return s.str();
    }
    static bool is_move(const std::string& l) {
        const size_t comma = l.find(',');
        return comma != std::string::npos && comma > 0 && comma + 1 < l.size() &&
               l.find_first_not_of("0123456789", comma + 1) == std::string::npos &&
               l.find_first_not_of("0123456789") == comma;
    }

private:
    bool fill(int timeout_ms) {
        pollfd p = {from_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        char chunk[65536];
        const ssize_t n = read(from_, chunk, sizeof chunk);
        if (n > 0) buffer_.append(chunk, size_t(n));
        return n > 0;
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int to_ = -1, from_ = -1;
    std::string buffer_, stderr_path_;
};

// A think reply: "MESSAGE computer: #XY", any MESSAGE lines, then "x,y"
// naming the same square. Which move it is is the engine's business.
inline void expect_reply(const std::vector<std::string>& lines) {
    ASSERT_GE(lines.size(), 2u);
    const std::string& first = lines.front();
    const std::string& move = lines.back();
    ASSERT_TRUE(EngineProcess::is_move(move)) << move;
    const std::string letters = {char('A' + std::stoi(move)),
                                 char('A' + std::stoi(move.substr(move.find(',') + 1)))};
    EXPECT_EQ(first, "MESSAGE computer: #" + letters);
    for (size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("MESSAGE ", 0), 0u);
}

// Replies that many transcripts expect.
const std::string OK = "MESSAGE kq\nOK\n";
const std::string BAD = "ERROR bad coordinates\n";
const std::string UNKNOWN = "UNKNOWN command\n";
const std::string BLOCK = "ERROR x,y,who or DONE expected after BOARD\n";
const std::string ABOUT = "name=\"kq\", author=\"Tavin Orle\", version=\"2016\", "
                          "country=\"China\", www=\"None\"\n";

// A transcript: each line sent must be answered by exactly `out`; a '*' at
// the end of `out` stands for one think reply after the text before it.
struct Step {
    std::string in, out;
};
inline void run(EngineProcess& e, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        e.send(s.in);
        const bool think = !s.out.empty() && s.out.back() == '*';
        const std::string text = think ? s.out.substr(0, s.out.size() - 1) : s.out;
        EXPECT_TRUE(e.expect_text(text)) << "'" << s.in << "' gave: " << e.read_until("\n", 500);
        if (think) expect_reply(e.reply());
    }
}

// The program ends with status 0, these last words and nothing on stderr.
inline void expect_exit(EngineProcess& e, const std::string& last) {
    int status = -1;
    EXPECT_EQ(e.finish(status), last);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(e.error_output(), "");
}

// The board display, from its fifteen rows; `rows` patches single rows.
inline std::string board_text(const std::vector<std::pair<int, std::string>>& rows = {}) {
    std::vector<std::string> r = {
        "a  . . . . . . . . . . . . . . .", "b  . . . . . . . . . . . . . . .",
        "c  . . . . . . . . . . . . . . .", "d  . . . + . . . . . . . + . . .",
        "e  . . . . . . . . . . . . . . .", "f  . . . . . . . . . . . . . . .",
        "g  . . . . . . . . . . . . . . .", "h  . . . . . . . + . . . . . . .",
        "i  . . . . . . . . . . . . . . .", "j  . . . . . . . . . . . . . . .",
        "k  . . . . . . . . . . . . . . .", "l  . . . + . . . . . . . + . . .",
        "m  . . . . . . . . . . . . . . .", "n  . . . . . . . . . . . . . . .",
        "o  . . . . . . . . . . . . . . .",
    };
    for (const auto& p : rows) r[size_t(p.first)] = char('a' + p.first) + (" " + p.second);
    std::string text = "\n\t   a b c d e f g h i j k l m n o\n";
    for (const std::string& l : r) text += "\t" + l + "\n";
    return text + "\n";
}
