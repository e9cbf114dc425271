// Times dnsmasq's lease hook as dnsmasq drives it after every restart: one
// "old" event per stored lease, each for a record the log already holds as
// it would be written, against a lease log of 10,000 records. Compared with
// as many starts of a trivial program built and linked like the hook. Not a
// test: it prints figures.
//
//   bench_hook <orvath-lease-hook> <trivial hook> [events]
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

extern char **environ;

namespace {

const int kRecords = 10000;
const unsigned long kExpiry = 1900000000UL;

std::string mac(int i)
{
    char text[20];
    snprintf(text, sizeof text, "02:00:00:%02x:%02x:%02x", (i >> 16) & 0xff, (i >> 8) & 0xff,
             i & 0xff);
    return text;
}

std::string ip(int i)
{
    return "10." + std::to_string((i >> 16) & 0xff) + "." + std::to_string((i >> 8) & 0xff) + "." +
           std::to_string(i & 0xff);
}

double now()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Runs argv to its end; false when it did not exit 0.
bool run(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs the client's event with program and adds its wall time to *total.
void timeEvent(const std::string &program, int client, double *total)
{
    double start = now();
    if (!run({program, "old", mac(client), ip(client), "host" + std::to_string(client)})) {
        fprintf(stderr, "%s failed\n", program.c_str());
        exit(1);
    }
    *total += now() - start;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s <orvath-lease-hook> <trivial hook> [events]\n", argv[0]);
        return 2;
    }
    int events = argc > 3 ? atoi(argv[3]) : 1000;
    char dir[] = "/tmp/orvath-bench-hook-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    std::string root = dir;
    std::string etc = root + "/var/packages/Orvath/target/etc";
    for (size_t i = 1; i <= etc.size(); ++i)
        if (i == etc.size() || etc[i] == '/')
            mkdir(etc.substr(0, i).c_str(), 0755);
    std::string log;
    for (int i = 0; i < kRecords; ++i)
        log += std::to_string(kExpiry) + " " + mac(i) + " " + ip(i) + " host" +
               std::to_string(i) + " eth0\n";
    std::ofstream(etc + "/dhcpd-leases.log") << log;

    setenv("ORVATH_ROOT", root.c_str(), 1);
    setenv("DNSMASQ_INTERFACE", "eth0", 1);
    setenv("DNSMASQ_LEASE_EXPIRES", std::to_string(kExpiry).c_str(), 1);
    /* Taken in turn, so that a change in the machine's load meets both. */
    double hook = 0, trivial = 0;
    for (int i = 0; i < events; ++i) {
        int client = (i * 7919) % kRecords;
        timeEvent(argv[2], client, &trivial);
        timeEvent(argv[1], client, &hook);
    }
    std::ifstream in(etc + "/dhcpd-leases.log");
    std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (after != log) {
        fprintf(stderr, "the lease log changed: the events were not unchanged records\n");
        return 1;
    }
    printf("lease hook, %d \"old\" events, %d-record log: %.2f s; trivial program: %.2f s; "
           "ratio %.2f (target <= 1.30)\n",
           events, kRecords, hook, trivial, hook / trivial);
    std::string rm = root;
    run({"/bin/rm", "-rf", rm});
    return 0;
}
