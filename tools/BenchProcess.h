#pragma once

// What the benchmarks that measure a program from outside share: starting processes, the
// simulated modem driven through its standard input, the clock and /proc.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

// The name failures are reported under.
inline const char* program = "bench";
// What was started, so that a failure does not leave it running.
inline std::vector<pid_t> started;

inline long long nowUs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

[[noreturn]] inline void fail(const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", program, what.c_str());
    for (const pid_t pid : started)
        kill(pid, SIGTERM);
    std::exit(1);
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline pid_t spawn(const std::vector<std::string>& args, int in, int out)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot start " + args[0]);
    posix_spawn_file_actions_destroy(&actions);
    started.push_back(pid);
    return pid;
}

// The simulated modem, driven through its standard input; it answers each command with the
// moment its bytes were written.
class Simulator
{
public:
    Simulator(const std::string& program, const std::string& link)
    {
        int toSim[2];
        int fromSim[2];
        if (pipe(toSim) != 0 || pipe(fromSim) != 0)
            fail("pipe");
        m_pid = spawn({program, "--link", link}, toSim[0], fromSim[1]);
        close(toSim[0]);
        close(fromSim[1]);
        m_in = toSim[1];
        m_out = fromSim[0];
        if (line(5000).rfind("device ", 0) != 0)
            fail("the simulator did not start");
    }
    ~Simulator()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    int output() const { return m_out; }

    void send(const std::string& command)
    {
        const std::string text = command + "\n";
        if (write(m_in, text.data(), text.size()) != ssize_t(text.size()))
            fail("cannot write to the simulator");
    }
    // The next line of output, or empty after `timeoutMs`.
    std::string line(int timeoutMs)
    {
        const long long end = nowUs() + timeoutMs * 1000LL;
        for (;;) {
            const size_t at = m_buffer.find('\n');
            if (at != std::string::npos) {
                std::string text = m_buffer.substr(0, at);
                m_buffer.erase(0, at + 1);
                return text;
            }
            const long long left = (end - nowUs()) / 1000;
            pollfd fd{m_out, POLLIN, 0};
            if (left <= 0 || poll(&fd, 1, int(left)) <= 0)
                return {};
            char chunk[512];
            const ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, size_t(n));
        }
    }
    // "done VERB MICROSECONDS" -> the microseconds, else -1.
    static long long doneAt(const std::string& text)
    {
        if (text.rfind("done ", 0) != 0)
            return -1;
        return std::atoll(text.substr(text.rfind(' ') + 1).c_str());
    }
    bool waitFor(const std::string& text, int timeoutMs)
    {
        const long long end = nowUs() + timeoutMs * 1000LL;
        while (nowUs() < end) {
            if (line(int((end - nowUs()) / 1000)) == text)
                return true;
        }
        return false;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// A value of /proc/PID/status in kB ("VmRSS:", "VmHWM:"), or -1.
inline long statusKb(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            long kb = 0;
            status >> kb;
            return kb;
        }
    }
    return -1;
}

inline long rssKb(pid_t pid)
{
    return statusKb(pid, "VmRSS:");
}

} // namespace bench
