// Dismisses COUNT message boxes captioned CAPTION, shown by any program, and
// prints their texts, one a line. Gives up after SECONDS (30 unless given):
// exit code 1, with the texts of the boxes that did come.
#include <cstdio>
#include <cstdlib>

#include "boxWatcher.h"

namespace {

// A whole decimal number, no sign; false for anything else.
bool readNumber(const char* text, unsigned long* number)
{
    char* end;
    *number = std::strtoul(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0';
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned long count;
    unsigned long seconds = 30;
    if (argc < 3 || argc > 4 || !readNumber(argv[2], &count) || (argc == 4 && !readNumber(argv[3], &seconds))
        || seconds == 0 || seconds > 86400) {
        std::fprintf(stderr, "usage: dismiss-boxes CAPTION COUNT [SECONDS]\n");
        return 2;
    }
    startWatching(argv[1]);
    bool all = awaitBoxes(count, seconds * 1000);
    for (const std::string& text : stopWatching())
        std::printf("%s\n", text.c_str());
    if (!all) {
        std::fprintf(stderr, "dismiss-boxes: gave up after %lu s\n", seconds);
        return 1;
    }
    return 0;
}
