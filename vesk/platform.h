// The operating-system services the library needs, one small seam.
//
// Paths handed to these calls are the library's own: backslashes separate
// directories. Each platform turns them into what its calls expect.
#ifndef VESK_PLATFORM_H
#define VESK_PLATFORM_H

#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
// MAX_PATH: the longest path the ANSI file calls accept.
constexpr int pathLimit = 260;
// A colon names a drive or an alternate data stream, and the file system
// drops trailing dots and blanks from a name ("..." and ".. " mean "..").
constexpr bool windowsNames = true;
#else
constexpr int pathLimit = 4096;
constexpr bool windowsNames = false;
#endif

// Raw byte streams; nullptr when the file cannot be opened.
std::FILE* openArchiveStream(const char* path);
std::FILE* openOutputStream(const char* path);  // created or truncated

// Positions a stream at an absolute offset; archives may exceed 2 GiB.
bool seekStream(std::FILE* stream, std::uint64_t position);

// The length of the file behind a stream.
bool streamSize(std::FILE* stream, std::uint64_t* size);

// Creates one directory; failure (it exists, say) is the caller's to ignore.
void createDirectory(const char* path);

// Flushes the still-open output and gives it the MS-DOS date and time, read
// as local time, as its last-write time. Failures are ignored.
void setLastWriteTime(std::FILE* stream, unsigned dosDate, unsigned dosTime);

// Shows a finished message to the user and waits until it is dismissed.
int showMessageBox(const char* text);
#if defined(VESK_COUNT_MESSAGES)
extern unsigned long shownMessageCount;
#endif

#endif
