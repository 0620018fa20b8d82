// The library's seam on POSIX systems: the smallest faithful stand-in for the
// Windows services the library was written against.
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "crc.h"
#include "inflate/inflate.h"
#include "platform.h"
#include "utf8.h"

namespace {

// Directories are opened to reach what lies in them, not to read them: a
// folder the user may enter and write but not list serves as well.
const int directoryAccess = O_PATH;

// The library builds Windows paths; here a backslash separates directories.
void toNativePath(const char* path, char* native)
{
    std::size_t i = 0;
    for (; path[i] != '\0' && i + 1 < std::size_t(pathCapacity); ++i)
        native[i] = path[i] == '\\' ? '/' : path[i];
    native[i] = '\0';
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Refuses what the Windows conversion refuses, so that both platforms stamp
// the same entries.
bool isValidDosDateTime(int year, int month, int day, int hour, int minute, int second)
{
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    return day <= monthDays[month - 1] + (month == 2 && isLeapYear(year));
}

}  // namespace

// The ways of the CRC and the decoder are chosen once, when the library is
// loaded into a process.
__attribute__((constructor)) static void loadLibrary()
{
    chooseCrcWay();
    chooseFastLoop();
}

// Names and arguments are taken as the bytes they are.
bool toLibraryText(const char* narrow, char* text, NarrowText)
{
    std::size_t length = strnlen(narrow, pathCapacity);
    bool fits = length < std::size_t(pathCapacity);
    if (!fits)
        length = pathCapacity - 1;
    std::memcpy(text, narrow, length);
    text[length] = '\0';
    return fits;
}

bool openArchive(const char* path, FileHandle* archive)
{
    char native[pathCapacity];
    toNativePath(path, native);
    *archive = open(native, O_RDONLY | O_CLOEXEC);
    // A directory opens here but not on Windows: it is no file to read.
    struct stat status;
    if (*archive != -1 && (fstat(*archive, &status) != 0 || S_ISDIR(status.st_mode))) {
        close(*archive);
        *archive = -1;
    }
    return *archive != -1;
}

void closeArchive(FileHandle archive)
{
    close(archive);
}

std::size_t readArchive(FileHandle archive, std::uint64_t position, unsigned char* bytes, std::size_t length)
{
    // Past what an offset can say, there is no file.
    if (position > std::uint64_t(INT64_MAX) - length)
        return 0;
    std::size_t arrived = 0;
    while (arrived < length) {
        ssize_t part = pread(archive, bytes + arrived, length - arrived, off_t(position + arrived));
        if (part > 0)
            arrived += std::size_t(part);
        else if (part == 0 || errno != EINTR)
            break;
    }
    return arrived;
}

bool archiveSize(FileHandle archive, std::uint64_t* size)
{
    struct stat status;
    if (fstat(archive, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    *size = std::uint64_t(status.st_size);
    return true;
}

void makeDirectory(const char* path)
{
    char native[pathCapacity];
    toNativePath(path, native);
    mkdir(native, 0777);
}

bool openDirectory(const char* path, DirectoryHandle* directory)
{
    char native[pathCapacity];
    toNativePath(path, native);
    *directory = open(*native == '\0' ? "." : native, directoryAccess | O_DIRECTORY | O_CLOEXEC);
    return *directory != -1;
}

PathOutcome enterDirectory(DirectoryHandle parent, const char* name, bool make, DirectoryHandle* directory)
{
    if (make)
        mkdirat(parent, name, 0777);
    *directory = openat(parent, name, directoryAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (*directory != -1)
        return pathReady;
    if (errno == ENOENT && !make)
        return pathMissing;
    // Only the message depends on what stands there.
    struct stat status;
    return fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode) ? pathIsLink
                                                                                               : pathRefused;
}

void closeDirectory(DirectoryHandle directory)
{
    close(directory);
}

void removeDirectory(DirectoryHandle parent, const char* name)
{
    unlinkat(parent, name, AT_REMOVEDIR);
}

bool copyDirectory(DirectoryHandle directory, DirectoryHandle* copy)
{
    *copy = fcntl(directory, F_DUPFD_CLOEXEC, 0);
    return *copy != -1;
}

namespace {

const int outputFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

// The name of a file made aside: a backslash, which here separates an
// entry's names, so that no entry is called so.
void nameAside(char* aside, std::uint64_t unique, unsigned attempt)
{
    std::snprintf(aside, asideCapacity, ".vesk\\%llx-%x", static_cast<unsigned long long>(unique), attempt);
}

// Makes a file aside under a name of its own; -1 when none can be had. A
// name left by an earlier call that stopped half-way is passed by.
int makeNamedAside(DirectoryHandle parent, std::uint64_t unique, char* aside)
{
    int file = -1;
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        nameAside(aside, unique, attempt);
        file = openat(parent, aside, outputFlags, 0666);
        if (file != -1 || errno != EEXIST)
            break;
    }
    return file;
}

// Gives the unnamed file a name aside, just before it is renamed over the
// entry's: only one such name stands at a time, and the descriptor's number
// keeps it apart from the call's named files aside. False when it cannot
// have one.
bool linkAside(DirectoryHandle parent, OutputFile& made)
{
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        nameAside(made.asideName, std::uint64_t(made.handle), attempt);
        // A descriptor links in by its own path where the process may not
        // link it by itself (that takes a capability).
        char self[32];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", made.handle);
        if (linkat(made.handle, "", parent, made.asideName, AT_EMPTY_PATH) == 0
            || linkat(AT_FDCWD, self, parent, made.asideName, AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    made.asideName[0] = '\0';
    return false;
}

// Lets go of what the call kept of the file.
void forgetOutput(OutputFile& made)
{
    if (made.handle != -1)
        close(made.handle);
    made.handle = -1;
}

}  // namespace

// The file is made exclusively (O_EXCL never follows a link), so that
// nothing that stands at the name is written through: a regular file or a
// link there stays until placeOutput renames the new file over it;
// anything else there is left alone. The file made aside has no name until
// then, where the file system can make one so: a call that ends early
// leaves nothing of it.
bool openOutputStream(DirectoryHandle parent, const char* name, std::uint64_t unique, OutputFile& made,
                      std::FILE** stream)
{
    made.handle = -1;
    made.aside = false;
    made.asideName[0] = '\0';
    int file = openat(parent, name, outputFlags, 0666);
    struct stat status;
    if (file == -1 && errno == EEXIST && fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) == 0
        && (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode))) {
        made.aside = true;
        file = openat(parent, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
        if (file != -1) {
            made.handle = fcntl(file, F_DUPFD_CLOEXEC, 0);
            if (made.handle == -1) {
                close(file);
                file = -1;
            }
        } else {
            file = makeNamedAside(parent, unique, made.asideName);
        }
    }
    *stream = file == -1 ? nullptr : fdopen(file, "wb");
    if (file != -1 && !*stream) {
        close(file);
        removeOutput(parent, made, name);
    }
    if (!*stream)
        forgetOutput(made);
    return *stream != nullptr;
}

bool placeOutput(DirectoryHandle parent, OutputFile& made, const char* name)
{
    bool placed = !made.aside
                  || ((made.asideName[0] != '\0' || linkAside(parent, made))
                      && renameat(parent, made.asideName, parent, name) == 0);
    if (!placed)
        removeOutput(parent, made, name);
    forgetOutput(made);
    return placed;
}

void removeOutput(DirectoryHandle parent, OutputFile& made, const char* name)
{
    if (!made.aside || made.asideName[0] != '\0')
        unlinkat(parent, made.aside ? made.asideName : name, 0);
    made.asideName[0] = '\0';
    forgetOutput(made);
}

bool dosTimeToTicks(unsigned dosDate, unsigned dosTime, StampMinute& last, std::uint64_t* ticks)
{
    std::tm local{};
    local.tm_year = int(dosDate >> 9) + 80;
    local.tm_mon = int((dosDate >> 5) & 0x0F) - 1;
    local.tm_mday = int(dosDate & 0x1F);
    local.tm_hour = int(dosTime >> 11);
    local.tm_min = int((dosTime >> 5) & 0x3F);
    local.tm_sec = int(dosTime & 0x1F) * 2;
    local.tm_isdst = -1;  // the offset in force on that date, not today's
    if (!isValidDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                            local.tm_min, local.tm_sec))
        return false;
    // mktime reads the time zone anew on each call, under a lock that all
    // threads share: only a new minute is converted.
    std::uint32_t minute = (dosDate << 11) | (dosTime >> 5);
    if (minute != last.minute) {
        local.tm_sec = 0;
        last.start = std::mktime(&local);
        last.minute = minute;
    }
    if (last.start == -1)
        return false;
    *ticks =
        std::uint64_t(last.start + secondsFrom1601To1970 + std::int64_t(dosTime & 0x1F) * 2) * ticksPerSecond;
    return true;
}

void setLastWriteTime(std::FILE* stream, std::uint64_t ticks)
{
    // Flushed first: a later write would stamp the file with the time of day.
    std::fflush(stream);
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = std::time_t(std::int64_t(ticks / ticksPerSecond) - secondsFrom1601To1970);
    times[1].tv_nsec = long(ticks % ticksPerSecond) * 100;
    futimens(fileno(stream), times);
}

// Names are bytes here: the same bytes, the same file.
std::uint64_t extendPathKey(std::uint64_t key, const char* name, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        key = hashKeyUnit(key, static_cast<unsigned char>(name[i]));
    return key;
}

int usableProcessors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return CPU_COUNT(&set);
}

namespace {

void* runThread(void* start)
{
    ThreadStart* what = static_cast<ThreadStart*>(start);
    what->run(what->argument);
    return nullptr;
}

}  // namespace

bool startThread(ThreadHandle* thread, ThreadStart* start)
{
    return pthread_create(thread, nullptr, runThread, start) == 0;
}

void joinThread(ThreadHandle thread)
{
    pthread_join(thread, nullptr);
}

void startLock(Lock& lock)
{
    pthread_mutex_init(&lock.mutex, nullptr);
}

void takeLock(Lock& lock)
{
    pthread_mutex_lock(&lock.mutex);
}

void dropLock(Lock& lock)
{
    pthread_mutex_unlock(&lock.mutex);
}

void endLock(Lock& lock)
{
    pthread_mutex_destroy(&lock.mutex);
}

void startSignal(Signal& signal)
{
    pthread_cond_init(&signal.condition, nullptr);
}

void waitSignal(Signal& signal, Lock& lock)
{
    pthread_cond_wait(&signal.condition, &lock.mutex);
}

void wakeAll(Signal& signal)
{
    pthread_cond_broadcast(&signal.condition);
}

void endSignal(Signal& signal)
{
    pthread_cond_destroy(&signal.condition);
}

// The fuzz build runs millions of archives: it counts the boxes instead,
// with a showMessageBox of its own.
#if !defined(VESK_COUNT_MESSAGES)
namespace {

// Whether the terminal reads UTF-8, as the user's locale says.
bool terminalReadsUtf8()
{
    const char* const variables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* variable : variables) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return strcasestr(value, "utf-8") || strcasestr(value, "utf8");
    }
    return false;
}

}  // namespace

int showMessageBox(const char* text)
{
    // Control characters are written as escapes, so that a name cannot
    // drive the terminal: C0, DEL and C1 (U+0080 to U+009F, which a UTF-8
    // terminal reads from C2 80 to C2 9F and an 8-bit one from the bytes
    // 80 to 9F). A UTF-8 terminal also gets the bytes of malformed UTF-8 as
    // escapes; other text goes out as it is.
    bool utf8 = terminalReadsUtf8();
    const unsigned char* c = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = c + std::strlen(text);
    char line[4 * 1024 + 1];
    std::size_t length = 0;
    while (c != end) {
        std::size_t sequence = utf8 ? utf8SequenceLength(c, end) : 1;
        bool control = *c < 0x20 || *c == 0x7F || (!utf8 && *c >= 0x80 && *c <= 0x9F)
                       || (sequence == 2 && c[0] == 0xC2 && c[1] <= 0x9F);
        if (sequence == 0 || control) {
            for (std::size_t i = 0; i < (sequence == 2 ? 2 : 1); ++i)
                length += std::size_t(std::snprintf(line + length, 5, "\\x%02x", *c++));
        } else {
            std::memcpy(line + length, c, sequence);
            length += sequence;
            c += sequence;
        }
    }
    line[length] = '\0';
    std::fprintf(stderr, "ZEL Development Environment: %s\n", line);
    return 1;  // IDOK
}
#endif
