// launch RESULT PROGRAM ARGS...: runs PROGRAM and writes its peak resident size in KiB to
// the file RESULT. A process started from a large one inherits that one's peak in its own
// count; started from this small process, the count is the program's own.
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 127;
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0)
        return 127;
    if (FILE *result = std::fopen(argv[1], "w")) {
        std::fprintf(result, "%ld\n", usage.ru_maxrss);
        std::fclose(result);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
