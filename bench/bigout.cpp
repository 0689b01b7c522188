// Writes argv[1] megabytes of text lines to standard output; with BIGOUT_MB set, that many
// whatever the arguments, so that it can stand for a client that a plugin runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    const char *fromEnvironment = std::getenv("BIGOUT_MB");
    const long megabytes = fromEnvironment ? std::atol(fromEnvironment)
                           : argc > 1      ? std::atol(argv[1])
                                           : 1;
    char line[64];
    std::memset(line, 'x', sizeof line);
    line[sizeof line - 1] = '\n';
    const long lines = megabytes * 1024 * 1024 / long(sizeof line);
    for (long i = 0; i < lines; ++i)
        std::fwrite(line, 1, sizeof line, stdout);
    return 0;
}
