// The address book as a user with a large synced one meets it: the real monitor without a window
// (ringdesk-headless) on the simulated modem, 50,000 cards of one file each in its contacts
// folder, and a call from the last card's number the moment caller ID is on. Printed for the
// first start ever (nothing kept between runs) and for a later start: when the caller was found,
// counted from the start of the process and from the call's last byte, and the memory once the
// index is read. Then the time to find a caller on a running monitor.
// Run by hand (tools/bench-contacts.sh), never by the test suite:
//   [BENCH_COUNTRY=GB] bench_contacts HEADLESS MODEMSIM [CARDS]
#include "BenchProcess.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {

using namespace bench;

std::string pad(int n, int width)
{
    std::string text = std::to_string(n);
    return std::string(size_t(std::max(0, width - int(text.size()))), '0') + text;
}

// British numbers (BENCH_COUNTRY=GB) rather than North American ones.
bool british()
{
    const char* country = std::getenv("BENCH_COUNTRY");
    return country && std::string(country) == "GB";
}

// A card as address books sync them: a number in national form at work, one in international
// form on the mobile (both national in Britain, as phones there store them).
std::string cardFor(int i)
{
    const std::string n = std::to_string(i);
    const std::string exchange = std::to_string(200 + i / 10000);
    const std::string line = pad(i % 10000, 4);
    const std::string cell = british() ? "07700 9" + pad(i % 100000, 5) : "+1 819 555 " + line;
    const std::string work =
        british() ? "020 7" + exchange + " " + line : "(613) " + exchange + "-" + line;
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + n + "\r\nFN:Number " + n +
           " Person\r\nN:Person;Number " + n + ";;;\r\nORG:Company " + n +
           "\r\nEMAIL;TYPE=INTERNET:person" + n + "@example.com\r\nTEL;TYPE=CELL:" + cell +
           "\r\nTEL;TYPE=WORK:" + work + "\r\nEND:VCARD\r\n";
}

std::string numberOf(int i)
{
    return (british() ? "0207" : "613") + std::to_string(200 + i / 10000) + pad(i % 10000, 4);
}

// The monitor's standard output, line by line.
class Output
{
public:
    explicit Output(int fd) : m_fd(fd) {}
    // Waits for a line that holds `text`; false after `timeoutMs`.
    bool waitFor(const std::string& text, int timeoutMs)
    {
        const long long end = nowUs() + timeoutMs * 1000LL;
        for (;;) {
            for (size_t at; (at = m_buffer.find('\n')) != std::string::npos;) {
                const std::string line = m_buffer.substr(0, at);
                m_buffer.erase(0, at + 1);
                if (line.find(text) != std::string::npos)
                    return true;
            }
            const long long left = (end - nowUs()) / 1000;
            pollfd fd{m_fd, POLLIN, 0};
            if (left <= 0 || poll(&fd, 1, int(left)) <= 0)
                return false;
            char chunk[4096];
            const ssize_t n = read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, size_t(n));
        }
    }

private:
    int m_fd;
    std::string m_buffer;
};

long long cpuTicks(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    // After the command's closing parenthesis: state is field 3, utime 14, stime 15.
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < stat.size()) {
        const size_t space = stat.find(' ', at);
        fields.push_back(stat.substr(at, space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    return fields.size() > 12 ? std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str())
                              : -1;
}

// Waits until the process has used no CPU for a second: its background reading is done.
void waitUntilQuiet(pid_t pid)
{
    long long before = cpuTicks(pid);
    for (int second = 0; second < 60; ++second) {
        sleep(1);
        const long long now = cpuTicks(pid);
        if (now == before)
            return;
        before = now;
    }
}

void start(const char* what, const std::string& headless, Simulator& sim, int last)
{
    int out[2];
    if (pipe(out) != 0)
        fail("pipe");
    const long long started = nowUs();
    const pid_t pid = spawn({headless}, -1, out[1]);
    close(out[1]);
    Output output(out[0]);
    if (!sim.waitFor("caller-id on", 30000))
        fail("the monitor did not switch caller ID on");
    sim.send("call " + numberOf(last) + " PERSON NUMBER");
    const long long sent = Simulator::doneAt(sim.line(5000));
    if (!output.waitFor("[Found it!", 30000))
        fail(std::string(what) + ": the caller was not found");
    const long long found = nowUs();
    std::printf("%s: caller found %.0f ms after the process started, %.0f ms after the call\n",
                what, double(found - started) / 1000, double(found - sent) / 1000);
    waitUntilQuiet(pid);
    std::printf("%s: with the index read, RSS %ld kB (peak %ld kB)\n", what, rssKb(pid),
                statusKb(pid, "VmHWM:"));
    if (std::strcmp(what, "later start") == 0) {
        sim.send("call " + numberOf(last / 2) + " PERSON NUMBER");
        const long long again = Simulator::doneAt(sim.line(5000));
        if (!output.waitFor("[Found it!", 30000))
            fail("the second caller was not found");
        std::printf("running monitor: caller found %.1f ms after the call\n",
                    double(nowUs() - again) / 1000);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(out[0]);
}

} // namespace

int main(int argc, char* argv[])
{
    bench::program = "bench_contacts";
    if (argc < 3)
        fail("usage: bench_contacts HEADLESS MODEMSIM [CARDS]");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);
    const int cards = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50000;

    char pattern[] = "/tmp/bench-contacts-XXXXXX";
    const std::string home = mkdtemp(pattern);
    for (const char* dir :
         {"/config", "/data", "/data/ringdesk", "/data/ringdesk/contacts", "/run"})
        mkdir((home + dir).c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    for (int i = 0; i < cards; ++i)
        writeFile(home + "/data/ringdesk/contacts/" + pad(i, 6) + ".vcf", cardFor(i));
    writeFile(home + "/config/zodode.ini",
              "[Modem]\nNumberOfCom=1\n\n[Ports]\nCom1=" + home +
                  "/modem\n\n[Setup]\nAreaCode=613\nAutoCreateJournal=0\nMatchNumberOnly=1\n" +
                  (british() ? "Country=GB\n" : "Country=US\n"));
    std::printf("%d cards, one file each, %s numbers\n", cards,
                british() ? "British" : "North American");

    Simulator sim(argc > 2 ? argv[2] : "", home + "/modem");
    start("first start ever", argv[1], sim, cards - 1);
    start("later start", argv[1], sim, cards - 1);
    std::printf("(settings, cards and index of this run: %s)\n", home.c_str());
    return 0;
}
