// Writes argv[1] megabytes of text lines to standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 1;
    char line[64];
    std::memset(line, 'x', sizeof line);
    line[sizeof line - 1] = '\n';
    const long lines = megabytes * 1024 * 1024 / long(sizeof line);
    for (long i = 0; i < lines; ++i)
        std::fwrite(line, 1, sizeof line, stdout);
    return 0;
}
