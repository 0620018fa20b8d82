// The operating-system services the library needs, one small seam.
//
// Paths handed to these calls are the library's own text: backslashes
// separate directories. On Windows that text is UTF-8, which the seam turns
// into UTF-16 for the wide calls; on POSIX it is the archive's bytes as they
// are. Each platform turns paths into what its calls expect.
#ifndef VESK_PLATFORM_H
#define VESK_PLATFORM_H

#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
// MAX_PATH, counted in UTF-16 units as the wide calls count it.
constexpr int pathLimit = 260;
constexpr bool pathLimitInUtf16 = true;
// A UTF-16 unit takes at most three bytes of UTF-8.
constexpr int pathCapacity = 3 * pathLimit;
// A colon names a drive or an alternate data stream, and the file system
// drops trailing dots and blanks from a name ("..." and ".. " mean "..").
constexpr bool windowsNames = true;
// Narrow text from outside (the arguments, names without the UTF-8 mark)
// is in a code page of the system and becomes UTF-8 here.
constexpr bool convertsNarrowText = true;
#else
constexpr int pathLimit = 4096;
constexpr bool pathLimitInUtf16 = false;
constexpr int pathCapacity = pathLimit;
constexpr bool windowsNames = false;
constexpr bool convertsNarrowText = false;
#endif

// The code page of narrow text on Windows: that of the ANSI file calls, or
// the OEM one.
enum NarrowText { fileCallsText, oemText };

// Narrow text as the library's own, in a buffer of pathCapacity bytes;
// false, with as much as fits, when it is longer than any path can be.
bool toLibraryText(const char* narrow, char* text, NarrowText codePage = fileCallsText);

// A raw byte stream to read; nullptr when the file cannot be opened.
std::FILE* openArchiveStream(const char* path);

// What the seam finds at a path it is to make or open; the calls below
// return it as int.
enum PathOutcome {
    pathReady,   // made or opened, as asked
    pathIsLink,  // a link stands there, which is not to be followed
    pathRefused  // anything else that stands in the way, or a failure
};

// A directory held open: the directory itself, not its name.
#if defined(_WIN32)
using DirectoryHandle = void*;
#else
using DirectoryHandle = int;
#endif

// Makes one directory unless it is there, following links; failures are
// left to what is done with it next.
void makeDirectory(const char* path);

// Opens the directory that `path` names (the current one when it is
// empty), following links; false when it is no directory.
bool openDirectory(const char* path, DirectoryHandle* directory);

// Opens the directory `name` (a single component) in `parent`, making it
// when missing: pathReady when it is a directory; pathIsLink when a
// symbolic link or another reparse point stands there, which is never
// followed; pathRefused when anything else does, or nothing.
int enterDirectory(DirectoryHandle parent, const char* name, DirectoryHandle* directory);

void closeDirectory(DirectoryHandle directory);

// Makes an entry's output file `name` (a single component) in `parent`
// anew and opens it for writing raw bytes: a file or link that stands there
// is replaced, never written through; false when that cannot be done, or a
// directory, device, FIFO or socket stands there.
bool openOutputStream(DirectoryHandle parent, const char* name, std::FILE** stream);

// Positions a stream at an absolute offset; archives may exceed 2 GiB.
bool seekStream(std::FILE* stream, std::uint64_t position);

// The length of the file behind a stream.
bool streamSize(std::FILE* stream, std::uint64_t* size);

// Flushes the still-open output and gives it the MS-DOS date and time, read
// as local time, as its last-write time. Failures are ignored.
void setLastWriteTime(std::FILE* stream, unsigned dosDate, unsigned dosTime);

// Shows a finished message to the user and waits until it is dismissed.
int showMessageBox(const char* text);
#if defined(VESK_COUNT_MESSAGES)
extern unsigned long shownMessageCount;
#endif

#endif
