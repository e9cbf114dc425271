// CPU time the orvath program spends on one form request whose body is the
// largest the framework reads (1 MiB), for bodies of several shapes. The
// request names no action, so the time is the decoding's. Not a test: it
// prints figures.
//
//   bench_decode <path to orvath> [runs per body]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

static const size_t kBodySize = 1024 * 1024;

// The pattern repeated to exactly kBodySize bytes.
static std::string repeated(const std::string &pattern)
{
    std::string body;
    body.reserve(kBodySize);
    while (body.size() < kBodySize)
        body += pattern;
    body.resize(kBodySize);
    return body;
}

// The body of "<name>=<value>&" pairs with distinct names.
static std::string distinctNames()
{
    std::string body;
    for (unsigned i = 0; body.size() < kBodySize; ++i)
        body += "n" + std::to_string(i) + "=v&";
    body.resize(kBodySize);
    return body;
}

// User and system CPU milliseconds of one run of the program with the body
// on its standard input.
static double runOnce(const char *program, const char *bodyPath, const char *root)
{
    std::string envRoot = std::string("ORVATH_ROOT=") + root;
    std::string envLength = "CONTENT_LENGTH=" + std::to_string(kBodySize);
    const char *envp[] = {envRoot.c_str(), envLength.c_str(), "REQUEST_METHOD=POST",
                          "CONTENT_TYPE=application/x-www-form-urlencoded", "REMOTE_USER=bench",
                          "PATH=/usr/bin:/bin", nullptr};
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(bodyPath, O_RDONLY);
        if (in < 0 || dup2(in, 0) < 0 || !freopen("/dev/null", "w", stdout) ||
            !freopen("/dev/null", "w", stderr))
            _exit(126);
        const char *argv[] = {program, nullptr};
        execve(program, const_cast<char *const *>(argv), const_cast<char *const *>(envp));
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fprintf(stderr, "bench_decode: the program failed (status %d)\n", status);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s <orvath> [runs]\n", argv[0]);
        return 2;
    }
    int runs = argc > 2 ? std::max(atoi(argv[2]), 1) : 3;
    char dir[] = "/tmp/orvath-bench-decode-XXXXXX";
    if (!mkdtemp(dir)) {
        perror("mkdtemp");
        return 1;
    }
    std::string bodyPath = std::string(dir) + "/body";

    const std::pair<const char *, std::string> bodies[] = {
        {"1 MiB of \"&\"", repeated("&")},
        {"1 MiB of \"=\"", repeated("=")},
        {"1 MiB of \"a\" (one name)", repeated("a")},
        {"\"a=1&\" repeated", repeated("a=1&")},
        {"distinct names", distinctNames()},
        {"1 MiB of \"%41\"", repeated("%41")},
        {"one value of 1 MiB", "a=" + repeated("x").substr(2)},
    };
    printf("%d runs per body of %zu bytes\n", runs, kBodySize);
    printf("%-28s %14s %14s\n", "body", "median CPU ms", "max CPU ms");
    for (const auto &body : bodies) {
        FILE *f = fopen(bodyPath.c_str(), "w");
        if (!f || fwrite(body.second.data(), 1, body.second.size(), f) != body.second.size()) {
            perror(bodyPath.c_str());
            return 1;
        }
        fclose(f);
        std::vector<double> samples;
        for (int i = 0; i < runs; ++i)
            samples.push_back(runOnce(argv[1], bodyPath.c_str(), dir));
        std::sort(samples.begin(), samples.end());
        printf("%-28s %14.1f %14.1f\n", body.first, samples[samples.size() / 2], samples.back());
    }
    unlink(bodyPath.c_str());
    rmdir(dir);
    return 0;
}
