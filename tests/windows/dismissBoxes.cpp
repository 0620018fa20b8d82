// Dismisses COUNT message boxes captioned CAPTION, shown by any program, and
// prints their texts, one a line.
#include <cstdio>
#include <cstdlib>

#include "boxWatcher.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dismiss-boxes CAPTION COUNT\n");
        return 2;
    }
    startWatching(argv[1]);
    for (const std::string& text : stopWatching(std::strtoul(argv[2], nullptr, 10)))
        std::printf("%s\n", text.c_str());
    return 0;
}
