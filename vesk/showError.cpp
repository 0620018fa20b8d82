#include <cstdio>
#include <cstring>

#include "library.h"
#include "platform.h"

namespace {

// By Message. "%s" marks where the detail goes.
const char* const messageTexts[] = {
    "Cannot open input file #%s# :-(",
    "File is faulty/empty/ridiculously small :-(",
    " (SORRY!)",
    "Damaged archive :-(",
    "Unsafe file name #%s# :-(",
    "Encrypted file #%s# :-(",
    "Overlapping entries #%s# :-(",
    "Out of memory :-(",
    "File name too long #%s# :-(",
    "Can't open output file :-(",
    "Can't create directory #%s# :-(",
    "Can't write output file :-(",
    "Unsupported compression method (%s) :-(",
    " Bad Table ",
    "CRC FAILED :-(",
};
static_assert(sizeof messageTexts / sizeof *messageTexts == crcFailed + 1, "a text for every message");

}  // namespace

void showError(Message message, const char* detail)
{
    const char* text = messageTexts[message];
    const char* mark = std::strstr(text, "%s");
    char shown[1024];
    if (mark)
        std::snprintf(shown, sizeof shown, "%.*s%s%s", int(mark - text), text, detail, mark + 2);
    else
        std::snprintf(shown, sizeof shown, "%s", text);
    showMessageBox(shown);
}
