// A child process whose behaviour the host tests choose on its command line, so that
// the process runner can be checked against real exit codes, signals, output and delays.
//
//   exit N                     exits with code N
//   out HEX / err HEX          writes the bytes given in hexadecimal to stdout / stderr
//   outerr OUT ERR CODE        writes text to both channels, then exits with CODE
//   sleep MS                   prints its pid, sleeps MS milliseconds, prints "woke";
//                              ignores SIGTERM and SIGINT, as a stuck client may
//   crash                      dies of SIGSEGV
//   huge LINES                 prints LINES numbered lines ending in CR LF
//   env NAME                   prints the variable's value, or "<unset>"
//   stdin                      reads stdin to its end and prints how many bytes came
//   record FILE CODE ARGS...   appends its working directory and ARGS to FILE, exits CODE
//   tree MS FILE               starts a grandchild in its process group that creates FILE
//                              after MS milliseconds, prints "PID GRANDCHILD-PID" and
//                              sleeps 30 s ignoring SIGTERM, as a client with a helper may
//   pieces MS HEX...           writes each HEX piece to stdout apart, MS milliseconds after
//                              each, so that a reader gets them in separate reads
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

static std::string fromHex(const char *hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        const char pair[3] = {hex[i], hex[i + 1], 0};
        bytes.push_back(static_cast<char>(std::strtol(pair, nullptr, 16)));
    }
    return bytes;
}

static void writeField(FILE *file, const char *tag, const std::string &value)
{
    std::fprintf(file, "%s %zu:", tag, value.size());
    std::fwrite(value.data(), 1, value.size(), file);
    std::fputc('\n', file);
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 100;
    const std::string mode = argv[1];
    if (mode == "exit" && argc == 3)
        return std::atoi(argv[2]);
    if ((mode == "out" || mode == "err") && argc == 3) {
        const std::string bytes = fromHex(argv[2]);
        std::fwrite(bytes.data(), 1, bytes.size(), mode == "out" ? stdout : stderr);
        return 0;
    }
    if (mode == "outerr" && argc == 5) {
        std::fputs(argv[2], stdout);
        std::fputs(argv[3], stderr);
        return std::atoi(argv[4]);
    }
    if (mode == "sleep" && argc == 3) {
        std::signal(SIGTERM, SIG_IGN);
        std::signal(SIGINT, SIG_IGN);
        std::printf("%ld\n", static_cast<long>(getpid()));
        std::fflush(stdout);
        usleep(static_cast<useconds_t>(std::atol(argv[2])) * 1000);
        std::puts("woke");
        return 0;
    }
    if (mode == "crash") {
        const rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
        return 101;
    }
    if (mode == "huge" && argc == 3) {
        const long lines = std::atol(argv[2]);
        static char buffer[1 << 16];
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        for (long i = 0; i < lines; ++i)
            std::printf("line %08ld of the huge output\r\n", i);
        return 0;
    }
    if (mode == "env" && argc == 3) {
        const char *value = std::getenv(argv[2]);
        std::fputs(value ? value : "<unset>", stdout);
        return 0;
    }
    if (mode == "stdin") {
        size_t total = 0;
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
            total += n;
        std::printf("%zu", total);
        return 0;
    }
    if (mode == "record" && argc >= 4) {
        FILE *file = std::fopen(argv[2], "ab");
        if (!file)
            return 102;
        char cwd[4096];
        writeField(file, "CWD", getcwd(cwd, sizeof cwd) ? cwd : "");
        std::fprintf(file, "ARGC %d\n", argc - 4);
        for (int i = 4; i < argc; ++i)
            writeField(file, "ARG", argv[i]);
        std::fclose(file);
        return std::atoi(argv[3]);
    }
    if (mode == "tree" && argc == 4) {
        std::signal(SIGTERM, SIG_IGN);
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            usleep(static_cast<useconds_t>(std::atol(argv[2])) * 1000);
            close(open(argv[3], O_CREAT | O_WRONLY, 0644));
            _exit(0);
        }
        std::printf("%ld %ld\n", static_cast<long>(getpid()), static_cast<long>(grandchild));
        std::fflush(stdout);
        sleep(30);
        return 0;
    }
    if (mode == "pieces" && argc >= 4) {
        const useconds_t pause = static_cast<useconds_t>(std::atol(argv[2])) * 1000;
        for (int i = 3; i < argc; ++i) {
            const std::string bytes = fromHex(argv[i]);
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
            std::fflush(stdout);
            usleep(pause);
        }
        return 0;
    }
    return 100;
}
