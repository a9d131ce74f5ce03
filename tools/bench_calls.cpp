// ringdesk as a user meets it, measured from outside: the real program as a process, on the
// simulated modem's pseudo-terminal, with settings and logs in a folder of its own. Printed:
//   RSS after start, in the tray and with the window shown;
//   whole-program CPU and wake-ups while it waits for a ring, in the tray and shown;
//   last byte of a caller-ID block -> its record in CallLog.txt, with and without the block's
//   empty line (min, median, max);
//   calls recorded out of 100 sent 50 ms apart, and out of 100 sent in one write.
// Run by hand (tools/bench-calls.sh), never by the test suite:
//   bench_calls RINGDESK MODEMSIM [IDLE_SECONDS [CALLS]]
#include "BenchProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

int countLines(const std::string& path)
{
    const std::string text = readFile(path);
    return int(std::count(text.begin(), text.end(), '\n'));
}

struct Usage
{
    long long cpuNs = 0;
    long long switches = 0;
};

// CPU time and context switches of each thread of the process, by thread id: each switch away
// is a sleep, and each sleep ends in a wake-up.
std::map<std::string, Usage> usage(pid_t pid)
{
    std::map<std::string, Usage> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return threads;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = tasks + "/" + entry->d_name;
        Usage& thread = threads[entry->d_name];
        thread.cpuNs = std::atoll(readFile(task + "/schedstat").c_str());
        std::ifstream status(task + "/status");
        std::string key;
        long long value = 0;
        while (status >> key) {
            if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
                status >> value;
                thread.switches += value;
            }
        }
    }
    closedir(dir);
    return threads;
}

void idle(const char* where, pid_t pid, int seconds)
{
    // Sampled every second, so a thread that ends meanwhile still counts up to its last sample.
    const std::map<std::string, Usage> first = usage(pid);
    std::map<std::string, Usage> last = first;
    const long long start = nowUs();
    for (int second = 0; second < seconds; ++second) {
        sleep(1);
        for (const auto& [thread, now] : usage(pid))
            last[thread] = now;
    }
    const double elapsed = double(nowUs() - start) / 1e6;
    Usage used;
    for (const auto& [thread, now] : last) {
        const auto before = first.find(thread);
        const Usage base = before == first.end() ? Usage{} : before->second;
        used.cpuNs += now.cpuNs - base.cpuNs;
        used.switches += now.switches - base.switches;
    }
    std::printf("idle %d s, %s: CPU %.4f %% of a core, %.2f wake-ups/s (%lld in all)\n", seconds,
                where, 100.0 * double(used.cpuNs) / 1e9 / elapsed, double(used.switches) / elapsed,
                used.switches);
}

// The time from the block's last byte to its record in the log, in microseconds; -1 when no
// record came within 5 s.
long long timeOneCall(Simulator& sim, int watch, const std::string& log, const std::string& file)
{
    const int before = countLines(log);
    sim.send("replay " + file);
    long long sent = -1;
    long long logged = -1;
    const long long end = nowUs() + 5000000;
    while ((sent < 0 || logged < 0) && nowUs() < end) {
        pollfd fds[2] = {{watch, POLLIN, 0}, {sim.output(), POLLIN, 0}};
        poll(fds, 2, 100);
        if (fds[0].revents & POLLIN) {
            const long long at = nowUs();
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
            if (logged < 0 && countLines(log) > before)
                logged = at;
        }
        if (fds[1].revents & POLLIN)
            sent = Simulator::doneAt(sim.line(1000));
    }
    return sent < 0 || logged < 0 ? -1 : logged - sent;
}

void latencies(const char* what, Simulator& sim, int watch, const std::string& log,
               const std::string& file, int calls)
{
    std::vector<long long> times;
    for (int i = 0; i < calls; ++i) {
        const long long t = timeOneCall(sim, watch, log, file);
        if (t >= 0)
            times.push_back(t);
        usleep(200000); // a pause between calls, as between real ones
    }
    if (times.empty()) {
        std::printf("%s: no call recorded\n", what);
        return;
    }
    const long long first = times.front();
    std::sort(times.begin(), times.end());
    std::printf("%s: %zu of %d recorded; last byte -> CallLog.txt min %.2f ms, median %.2f ms, "
                "max %.2f ms (the first %.2f ms)\n",
                what, times.size(), calls, double(times.front()) / 1000,
                double(times[times.size() / 2]) / 1000, double(times.back()) / 1000,
                double(first) / 1000);
}

// A blocked call: from its last byte to the off-hook command reaching the modem, each time the
// line is back on-hook before the next call.
void hookLatencies(Simulator& sim, const std::string& file, int calls)
{
    std::vector<long long> times;
    for (int i = 0; i < calls; ++i) {
        sim.send("replay " + file);
        long long sent = -1;
        long long offHook = -1;
        bool onHook = false;
        const long long end = nowUs() + 10000000;
        while (!onHook && nowUs() < end) {
            const std::string text = sim.line(1000);
            if (text.rfind("done ", 0) == 0)
                sent = Simulator::doneAt(text);
            else if (text.rfind("hook off ", 0) == 0)
                offHook = std::atoll(text.substr(9).c_str());
            else if (text.rfind("hook on ", 0) == 0)
                onHook = true;
        }
        if (sent >= 0 && offHook >= 0)
            times.push_back(offHook - sent);
    }
    if (times.empty()) {
        std::printf("blocked calls: the modem was never taken off-hook\n");
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("blocked calls: %zu of %d hung up; last byte -> off-hook command min %.2f ms, "
                "median %.2f ms, max %.2f ms\n",
                times.size(), calls, double(times.front()) / 1000,
                double(times[times.size() / 2]) / 1000, double(times.back()) / 1000);
}

// Calls recorded once the log has been quiet for two seconds.
int settledCount(const std::string& log, int before)
{
    int count = countLines(log);
    for (int quiet = 0; quiet < 20;) {
        usleep(100000);
        const int now = countLines(log);
        quiet = now == count ? quiet + 1 : 0;
        count = now;
    }
    return count - before;
}

std::string block(int n, bool emptyLine, const std::string& number = "6135551234")
{
    // One caller throughout, as a household's calls mostly are: the address book finds the
    // contact made for the first call and adds a journal entry for each.
    return "RING\r\n\r\nDATE = 1207\r\nTIME = " + std::to_string(1000 + n % 50) +
           "\r\nNMBR = " + number + "\r\nNAME = DOE JOHN\r\n" + (emptyLine ? "\r\n" : "");
}

pid_t startMonitor(const std::string& program, bool minimized, Simulator& sim)
{
    std::vector<std::string> args = {program};
    if (minimized)
        args.push_back("--minimized");
    const pid_t pid = spawn(args, -1, -1);
    if (!sim.waitFor("caller-id on", 30000))
        fail("ringdesk did not switch caller ID on");
    sleep(2); // the rest of the start: the window, the tray, the address book
    return pid;
}

void stopMonitor(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char* argv[])
{
    bench::program = "bench_calls";
    if (argc < 3)
        fail("usage: bench_calls RINGDESK MODEMSIM [IDLE_SECONDS [CALLS]]");
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    // A reader that goes away (| head) must not end the run before it has stopped the monitor
    // and the simulator it started.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string ringdesk = argv[1];
    const std::string modemsim = argv[2];
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 60;
    const int calls = argc > 4 ? std::atoi(argv[4]) : 20;

    char pattern[] = "/tmp/bench-calls-XXXXXX";
    const std::string home = mkdtemp(pattern);
    for (const char* dir : {"/config", "/data", "/data/ringdesk", "/run"})
        mkdir((home + dir).c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    Simulator sim(modemsim, home + "/modem");
    // Screening on, as a user who blocks calls runs it; one number on the block list.
    writeFile(home + "/config/zodode.ini",
              "[Modem]\nNumberOfCom=1\n\n[Ports]\nCom1=" + home +
                  "/modem\n\n[Setup]\nAreaCode=613\n\n[Screening]\nMode=1\nHangupDelay=200\n");
    mkdir((home + "/config/ringdesk").c_str(), 0700);
    writeFile(home + "/config/ringdesk/blocked.txt", "613-555-0666\n");
    writeFile(home + "/blocked", block(3, true, "6135550666"));
    const std::string log = home + "/data/ringdesk/CallLog.txt";
    writeFile(log, "");

    std::string hundred;
    for (int n = 0; n < 100; ++n)
        hundred += block(n, true);
    writeFile(home + "/with-empty-line", block(1, true));
    writeFile(home + "/without-empty-line", block(2, false));
    writeFile(home + "/hundred", hundred);

    pid_t pid = startMonitor(ringdesk, true, sim);
    std::printf("RSS after start, in the tray: %ld kB\n", rssKb(pid));
    idle("in the tray", pid, idleSeconds);
    stopMonitor(pid);

    pid = startMonitor(ringdesk, false, sim);
    std::printf("RSS after start, window shown: %ld kB\n", rssKb(pid));
    idle("window shown", pid, idleSeconds);

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, log.c_str(), IN_MODIFY) < 0)
        fail("inotify");
    latencies("block with its empty line", sim, watch, log, home + "/with-empty-line", calls);
    latencies("block without an empty line", sim, watch, log, home + "/without-empty-line", calls);
    sim.send("ring"); // ends the last block without an empty line, as the next ring would
    settledCount(log, 0);
    hookLatencies(sim, home + "/blocked", calls);

    int before = countLines(log);
    for (int n = 0; n < 100; ++n) {
        writeFile(home + "/call" + std::to_string(n), block(n, true));
        sim.send("replay " + home + "/call" + std::to_string(n));
        usleep(50000);
    }
    std::printf("100 calls 50 ms apart: %d recorded\n", settledCount(log, before));
    before = countLines(log);
    sim.send("replay " + home + "/hundred");
    std::printf("100 calls in one write: %d recorded\n", settledCount(log, before));
    std::printf("RSS after the calls: %ld kB\n", rssKb(pid));
    stopMonitor(pid);
    std::printf("(settings, logs and contacts of this run: %s)\n", home.c_str());
    return 0;
}
