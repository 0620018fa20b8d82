// The operating-system services the library needs, one small seam.
//
// Paths handed to these calls are the library's own text: backslashes
// separate directories. On Windows that text is UTF-8, which the seam turns
// into UTF-16 for the wide calls; on POSIX it is the archive's bytes as they
// are. Each platform turns paths into what its calls expect.
#ifndef VESK_PLATFORM_H
#define VESK_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if !defined(_WIN32)
#include <pthread.h>
#endif

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

// What the seam finds at a path it is to make or open.
enum PathOutcome {
    pathReady,    // made or opened, as asked
    pathIsLink,   // a link stands there, which is not to be followed
    pathRefused,  // anything else that stands in the way, or a failure
    pathMissing,  // nothing stands there, and it was not to be made
    // Not the seam's: a directory to be made waits for the entries on their
    // way (directories.h).
    pathWaits
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
// when missing if `make`: pathReady when it is a directory; pathMissing
// when nothing stands there and it was not to be made; pathIsLink when a
// symbolic link or another reparse point stands there, which is never
// followed; pathRefused when anything else does.
PathOutcome enterDirectory(DirectoryHandle parent, const char* name, bool make, DirectoryHandle* directory);

void closeDirectory(DirectoryHandle directory);

// Removes the empty directory `name` that the call made in `parent`.
void removeDirectory(DirectoryHandle parent, const char* name);

// A second handle of the same directory, closed on its own; false when none
// can be had.
bool copyDirectory(DirectoryHandle directory, DirectoryHandle* copy);

// Room for the name of a file made aside, its NUL included.
constexpr int asideCapacity = 40;

// An open file: the archive, or a file the call made.
#if defined(_WIN32)
using FileHandle = void*;
const FileHandle noFile = nullptr;
#else
using FileHandle = int;
constexpr FileHandle noFile = -1;
#endif

// The archive, opened once a call and read at positions by the walk and
// every worker at once, with no position of its own to keep; archives may
// exceed 4 GiB. False when the file cannot be opened or is a directory.
bool openArchive(const char* path, FileHandle* archive);
void closeArchive(FileHandle archive);

// Reads up to `length` bytes at `position` of the archive; returns how many
// arrived: fewer only at the end of the file or when reading fails.
std::size_t readArchive(FileHandle archive, std::uint64_t position, unsigned char* bytes, std::size_t length);

// The length of the archive.
bool archiveSize(FileHandle archive, std::uint64_t* size);

// A file the call made for an entry, from its making to its commit or
// removal.
struct OutputFile {
    // Windows keeps a handle of the file, so that its commit and removal act
    // on the file made, whatever stands at its name by then; POSIX keeps the
    // descriptor of a file made aside without a name (-1: none).
    FileHandle handle;
    // Made beside a file that stands at the entry's name; `asideName` is the
    // name it has there, empty for a file without one.
    bool aside;
    char asideName[asideCapacity];
};

// Makes an entry's output file `name` (a single component) in `parent`
// anew and opens it for writing raw bytes. Where nothing stands at the
// name, the file is made under it. Where a file or a link stands there, it
// is left as it is until placeOutput: the new file is made beside it,
// without a name where the file system allows it, else under a temporary
// name that `unique` (a number no other file of the call uses) keeps apart
// from the call's other such names; a call that ends before the commit
// leaves no file made aside behind where it can. False when neither can be
// made, or a directory, device, FIFO or socket stands at the name.
bool openOutputStream(DirectoryHandle parent, const char* name, std::uint64_t unique, OutputFile& made,
                      std::FILE** stream);

// Puts the file made in place under `name` in `parent` and lets go of it: a
// file made aside replaces what stands there, never written through or
// followed. False when that cannot be done: what stands at the name stays,
// and the file made aside is removed, unless something else has taken its
// name since.
bool placeOutput(DirectoryHandle parent, OutputFile& made, const char* name);

// Removes the file made and lets go of it; what stands at the name, when
// the file was made aside, stays.
void removeOutput(DirectoryHandle parent, OutputFile& made, const char* name);

// Extends a path's key by one component, `length` bytes at `name`, in
// whatever case and form the file system takes as the same.
std::uint64_t extendPathKey(std::uint64_t key, const char* name, std::size_t length);

// The key is FNV-1a over the units of the path's components, as each
// platform reads them.
inline std::uint64_t hashKeyUnit(std::uint64_t key, unsigned unit)
{
    return (key ^ unit) * 0x100000001b3;
}

// The last local minute that a time stamp fell in and where it starts in
// universal time: an offset changes only on a minute, so the stamps of the
// same minute need no conversion of their own. `minute` is all ones when
// there is none.
struct StampMinute {
    std::uint32_t minute;
    std::int64_t start;
};

// File times are universal time in 100 ns ticks since 1601, as Windows'
// FILETIME counts them.
constexpr std::uint64_t ticksPerSecond = 10000000;
constexpr std::int64_t secondsFrom1601To1970 = 11644473600;

// The MS-DOS date and time, read as local time, in ticks; false for a date
// or time that Windows refuses.
bool dosTimeToTicks(unsigned dosDate, unsigned dosTime, StampMinute& last, std::uint64_t* ticks);

// Flushes the still-open output and gives it `ticks` as its last-write time.
// Failures are ignored.
void setLastWriteTime(std::FILE* stream, std::uint64_t ticks);

// Threads: the workers of an unzip call, and the lock and signals they
// share with the calling thread.
#if defined(_WIN32)
struct Lock {
    void* state;  // an SRWLOCK
};
struct Signal {
    void* state;  // a CONDITION_VARIABLE
};
using ThreadHandle = void*;
#else
struct Lock {
    pthread_mutex_t mutex;
};
struct Signal {
    pthread_cond_t condition;
};
using ThreadHandle = pthread_t;
#endif

// What a thread runs: run(argument). It must stay in place until the thread
// is joined.
struct ThreadStart {
    void (*run)(void* argument);
    void* argument;
};

// How many processors the process may run on.
int usableProcessors();
bool startThread(ThreadHandle* thread, ThreadStart* start);
void joinThread(ThreadHandle thread);
void startLock(Lock& lock);
void takeLock(Lock& lock);
void dropLock(Lock& lock);
void endLock(Lock& lock);
void startSignal(Signal& signal);
// Drops the lock while waiting; holds it again on return, which may come
// without a wake.
void waitSignal(Signal& signal, Lock& lock);
void wakeAll(Signal& signal);
void endSignal(Signal& signal);

// Shows a finished message to the user and waits until it is dismissed.
int showMessageBox(const char* text);

#endif
