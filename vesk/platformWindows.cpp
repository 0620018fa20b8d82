// The library's seam on Windows: the wide calls of the system and the C
// runtime's raw byte streams. The library's text is UTF-8; it becomes UTF-16
// here, on its way to the system.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winternl.h>

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <cwchar>

#include "crc.h"
#include "inflate/inflate.h"
#include "platform.h"

// The ways of the CRC and the decoder are chosen once, when the library is
// loaded into a process; the debug output names them, for a debugger or a
// test to read. Unloading and threads need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        chooseCrcWay();
        chooseFastLoop();
        OutputDebugStringA(crcFolds() ? "vesk: CRC-32 by carry-less multiplication\n"
                                      : "vesk: CRC-32 by table\n");
        static const char* const decoderWays[fastLoopWays] = {
            "vesk: Deflate with a 64-bit bit buffer\n", "vesk: Deflate with a 32-bit bit buffer\n",
            "vesk: Deflate with a 64-bit bit buffer and BMI2\n",
            "vesk: Deflate with a 32-bit bit buffer and BMI2\n"};
        OutputDebugStringA(decoderWays[fastLoopWay()]);
    }
    return TRUE;
}

namespace {

// False when the path is longer than the wide calls take.
bool toWide(const char* text, wchar_t (&wide)[pathLimit])
{
    return MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, pathLimit) != 0;
}

}  // namespace

// The file calls' narrow text is read in the code page that the ANSI file
// calls use, so that an argument reaches the same file as through them.
bool toLibraryText(const char* narrow, char* text, NarrowText codePage)
{
    UINT windowsCodePage = codePage == fileCallsText && AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    wchar_t wide[pathCapacity];
    int length = int(strnlen(narrow, pathCapacity));
    int units = MultiByteToWideChar(windowsCodePage, 0, narrow, length, wide, pathCapacity);
    // Beyond the limit no path fits; what is kept still fits the text.
    bool fits = units < pathLimit;
    if (!fits)
        units = pathLimit - 1;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, text, pathCapacity - 1, nullptr, nullptr);
    text[bytes] = '\0';
    return fits;
}

// Opened as the C runtime opens a file to read: others may read and write
// it meanwhile. A directory does not open without backup semantics.
bool openArchive(const char* path, FileHandle* archive)
{
    wchar_t widePath[pathLimit];
    *archive = nullptr;
    if (!toWide(path, widePath))
        return false;
    HANDLE opened = CreateFileW(widePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    *archive = opened;
    return true;
}

void closeArchive(FileHandle archive)
{
    CloseHandle(archive);
}

// Each read names its position: threads that share the handle never move a
// position of each other's.
std::size_t readArchive(FileHandle archive, std::uint64_t position, unsigned char* bytes, std::size_t length)
{
    std::size_t arrived = 0;
    while (arrived < length) {
        std::uint64_t at = position + arrived;
        OVERLAPPED where = {};
        where.Offset = DWORD(at);
        where.OffsetHigh = DWORD(at >> 32);
        std::size_t left = length - arrived;
        DWORD wanted = left < (1u << 30) ? DWORD(left) : DWORD(1u << 30);
        DWORD part = 0;
        if (!ReadFile(archive, bytes + arrived, wanted, &part, &where) || part == 0)
            break;
        arrived += part;
    }
    return arrived;
}

bool archiveSize(FileHandle archive, std::uint64_t* size)
{
    LARGE_INTEGER length;
    if (!GetFileSizeEx(archive, &length) || length.QuadPart < 0)
        return false;
    *size = std::uint64_t(length.QuadPart);
    return true;
}

namespace {

// ntstatus.h would clash with windows.h; winternl.h leaves the listing call
// out.
const NTSTATUS nameCollision = NTSTATUS(0xC0000035);
const NTSTATUS nameNotFound = NTSTATUS(0xC0000034);
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK,
                                               PVOID, ULONG, FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING,
                                               BOOLEAN);

const ACCESS_MASK directoryAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE;
// An output file is renamed or deleted through its handle.
const ACCESS_MASK outputAccess = GENERIC_WRITE | DELETE;
const ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One component of a path as the native calls take it, relative to its
// directory.
struct ComponentName {
    wchar_t text[pathLimit];
    UNICODE_STRING native;
};

// The native name: the first `length` units of the text.
void setNativeName(ComponentName& component, std::size_t length)
{
    component.native.Buffer = component.text;
    component.native.Length = component.native.MaximumLength = USHORT(length * sizeof(wchar_t));
}

// The length of a name once Windows has trimmed it: the wide calls drop
// trailing dots and blanks.
std::size_t trimmedLength(const wchar_t* name, std::size_t length)
{
    while (length != 0 && (name[length - 1] == L'.' || name[length - 1] == L' '))
        --length;
    return length;
}

// False when the name is empty once trimmed; the native calls, which would
// keep what the wide ones drop, get the name those calls would use.
bool takeComponent(const char* name, ComponentName& component)
{
    if (!toWide(name, component.text))
        return false;
    std::size_t length = trimmedLength(component.text, wcslen(component.text));
    setNativeName(component, length);
    return length != 0;
}

// Opens or makes `name` in the directory `parent`: the name alone is looked
// up, there, and a reparse point is opened as itself, never followed.
NTSTATUS createAt(HANDLE parent, ComponentName& name, ACCESS_MASK access, ULONG disposition, ULONG options,
                  HANDLE* opened)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name.native, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK status;
    return NtCreateFile(opened, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                        shareAll, disposition,
                        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

// The file system's number for the open file or directory.
bool fileId(HANDLE opened, LONGLONG* identity)
{
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION information;
    if (NtQueryInformationFile(opened, &status, &information, sizeof information, FileInternalInformation)
        != 0)
        return false;
    *identity = information.IndexNumber.QuadPart;
    return true;
}

// Whether the directory opened is the one that stands at `name` in
// `parent`, and no reparse point: its entry in the parent's listing must
// be a directory, no reparse point, with the opened one's file id. Windows
// opens a reparse point as itself; Wine 8 follows a Unix link even so, and
// shows the handle as a plain directory, but lists the link as a reparse
// point: only the listing, read through the parent, tells what was opened.
PathOutcome standsInParent(HANDLE parent, ComponentName& name, HANDLE opened)
{
    LONGLONG identity;
    if (!fileId(opened, &identity))
        return pathRefused;
    // A listing keeps the name it was first asked for: a fresh handle of the
    // parent, opened by itself, for each.
    ComponentName self;
    setNativeName(self, 0);
    HANDLE listed = nullptr;
    if (createAt(parent, self, FILE_LIST_DIRECTORY, FILE_OPEN, FILE_DIRECTORY_FILE, &listed) != 0)
        return pathRefused;
    // Names that differ in case only all match; the one with the opened
    // directory's id is its entry.
    alignas(8) unsigned char entryBytes[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + pathLimit * sizeof(wchar_t)];
    const FILE_ID_BOTH_DIR_INFORMATION* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFORMATION*>(entryBytes);
    const ULONG kind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    PathOutcome outcome = pathIsLink;
    IO_STATUS_BLOCK status;
    for (BOOLEAN restart = TRUE;
         NtQueryDirectoryFile(listed, nullptr, nullptr, nullptr, &status, entryBytes, sizeof entryBytes,
                              FileIdBothDirectoryInformation, TRUE, &name.native, restart)
         == 0;
         restart = FALSE)
        if (entry->FileId.QuadPart == identity) {
            outcome = (entry->FileAttributes & kind) == FILE_ATTRIBUTE_DIRECTORY ? pathReady : pathIsLink;
            break;
        }
    CloseHandle(listed);
    return outcome;
}

// Renames the open file to `name` in `parent`, over what stands there.
bool renameInto(HANDLE file, HANDLE parent, const ComponentName& name)
{
    alignas(8) unsigned char informationBytes[sizeof(FILE_RENAME_INFORMATION) + pathLimit * sizeof(wchar_t)];
    FILE_RENAME_INFORMATION* information = reinterpret_cast<FILE_RENAME_INFORMATION*>(informationBytes);
    information->ReplaceIfExists = TRUE;
    information->RootDirectory = parent;
    information->FileNameLength = name.native.Length;
    std::memcpy(information->FileName, name.native.Buffer, name.native.Length);
    IO_STATUS_BLOCK status;
    return NtSetInformationFile(file, &status, information, sizeof informationBytes, FileRenameInformation)
           == 0;
}

// Marks the open file to go once its last handle is closed, or clears the
// mark.
bool markForDeletion(HANDLE file, bool deletion)
{
    FILE_DISPOSITION_INFO disposal = {deletion};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposal, sizeof disposal);
}

bool copyHandle(HANDLE original, HANDLE* copy)
{
    HANDLE process = GetCurrentProcess();
    *copy = nullptr;
    return DuplicateHandle(process, original, process, copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
}

// Whether the open file still stands at `name` in `parent`. Wine carries
// out a rename or a deletion through a handle on the Unix name the file was
// made under, whatever stands there by then: a link that another process
// put there since would be renamed into the entry's place. (Before a
// deletion Wine 8 checks that the name still leads to the file.) The name
// is opened as Wine opens it, following such a link, and the ids compared.
bool standsAt(HANDLE parent, ComponentName& name, HANDLE file)
{
    HANDLE opened = nullptr;
    if (createAt(parent, name, FILE_READ_ATTRIBUTES, FILE_OPEN, FILE_NON_DIRECTORY_FILE, &opened) != 0)
        return false;
    LONGLONG standing;
    LONGLONG made;
    bool same = fileId(opened, &standing) && fileId(file, &made) && standing == made;
    CloseHandle(opened);
    return same;
}

// The name of a file made aside. It ends in neither a full stop nor a
// blank, so that the user's tools can remove a file left under it.
void nameAside(std::uint64_t unique, unsigned attempt, char* text)
{
    std::snprintf(text, asideCapacity, "vesk~%llx-%x.tmp", static_cast<unsigned long long>(unique), attempt);
}

// Closes the handle kept: the file goes now if it is marked.
void letGo(OutputFile& made)
{
    CloseHandle(made.handle);
    made.handle = nullptr;
}

}  // namespace

// The file is always made anew, so that nothing that stands at the name is
// written through: not a hard link, nor what Wine shows as a plain file (a
// Unix link, a FIFO). Where something stands there, the new file waits
// beside it until placeOutput renames it over the name: a rename takes the
// name itself, a link there is replaced, never followed, and the other
// names of a file stay as they were; a directory or a FIFO refuses it.
// Deleting first would not do: Wine deletes what a Unix link points to. The
// call keeps a handle of the file, for its commit or removal, and the C
// runtime writes through another; a file made aside is marked to go with
// its last handle until its commit, so that a call that is killed leaves
// none behind.
bool openOutputStream(DirectoryHandle parent, const char* name, std::uint64_t unique, OutputFile& made,
                      std::FILE** stream)
{
    *stream = nullptr;
    made.handle = nullptr;
    made.aside = false;
    made.asideName[0] = '\0';
    ComponentName component;
    if (!takeComponent(name, component))
        return false;
    HANDLE file = nullptr;
    NTSTATUS status = createAt(parent, component, outputAccess, FILE_CREATE, FILE_NON_DIRECTORY_FILE, &file);
    // A name left by an earlier call that stopped half-way is passed by.
    for (unsigned attempt = 0; status == nameCollision && attempt < 16; ++attempt) {
        made.aside = true;
        nameAside(unique, attempt, made.asideName);
        takeComponent(made.asideName, component);
        status = createAt(parent, component, outputAccess, FILE_CREATE, FILE_NON_DIRECTORY_FILE, &file);
    }
    if (status != 0)
        return false;
    made.handle = file;
    if (made.aside)
        markForDeletion(file, true);
    HANDLE written;
    if (copyHandle(file, &written)) {
        int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(written), _O_BINARY);
        *stream = descriptor == -1 ? nullptr : _wfdopen(descriptor, L"wb");
        if (*stream)
            return true;
        if (descriptor == -1)
            CloseHandle(written);
        else
            _close(descriptor);
    }
    removeOutput(parent, made, name);
    return false;
}

// A file made aside loses its mark just before the rename: Windows opens no
// file so marked, and the mark would take the placed file with it. Where
// something else has taken its name by then, both are left as they are:
// ours stays, unmarked, rather than leave a deletion to whatever Wine finds
// at the name.
bool placeOutput(DirectoryHandle parent, OutputFile& made, const char* name)
{
    ComponentName aside;
    ComponentName component;
    bool placed = !made.aside;
    if (made.aside && markForDeletion(made.handle, false) && takeComponent(made.asideName, aside)
        && standsAt(parent, aside, made.handle)) {
        placed = takeComponent(name, component) && renameInto(made.handle, parent, component);
        if (!placed)
            markForDeletion(made.handle, true);
    }
    letGo(made);
    return placed;
}

// Deleted through the handle kept, never by name (Wine would open what a
// link at the name leads to, and delete that), and only while the file
// still stands at its name, for the reason placeOutput has.
void removeOutput(DirectoryHandle parent, OutputFile& made, const char* name)
{
    ComponentName component;
    if (markForDeletion(made.handle, false) && takeComponent(made.aside ? made.asideName : name, component)
        && standsAt(parent, component, made.handle))
        markForDeletion(made.handle, true);
    letGo(made);
}

void makeDirectory(const char* path)
{
    wchar_t widePath[pathLimit];
    if (toWide(path, widePath))
        CreateDirectoryW(widePath, nullptr);
}

bool openDirectory(const char* path, DirectoryHandle* directory)
{
    wchar_t widePath[pathLimit];
    *directory = nullptr;
    if (!toWide(path, widePath))
        return false;
    HANDLE opened = CreateFileW(*widePath == L'\0' ? L"." : widePath, directoryAccess, shareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information;
    if (opened != INVALID_HANDLE_VALUE && GetFileInformationByHandle(opened, &information)
        && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *directory = opened;
        return true;
    }
    if (opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    return false;
}

PathOutcome enterDirectory(DirectoryHandle parent, const char* name, bool make, DirectoryHandle* directory)
{
    ComponentName component;
    HANDLE opened = nullptr;
    if (!takeComponent(name, component))
        return pathRefused;
    NTSTATUS status = createAt(parent, component, directoryAccess, make ? FILE_OPEN_IF : FILE_OPEN,
                               FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, &opened);
    if (status == nameNotFound && !make)
        return pathMissing;
    if (status != 0)
        return pathRefused;
    PathOutcome outcome = standsInParent(parent, component, opened);
    if (outcome == pathReady)
        *directory = opened;
    else
        CloseHandle(opened);
    return outcome;
}

void closeDirectory(DirectoryHandle directory)
{
    CloseHandle(directory);
}

void removeDirectory(DirectoryHandle parent, const char* name)
{
    ComponentName component;
    HANDLE opened = nullptr;
    if (!takeComponent(name, component)
        || createAt(parent, component, DELETE, FILE_OPEN, FILE_DIRECTORY_FILE, &opened) != 0)
        return;
    // Wine opens what a link at the name leads to, and would delete that.
    if (standsInParent(parent, component, opened) == pathReady)
        markForDeletion(opened, true);
    CloseHandle(opened);
}

bool copyDirectory(DirectoryHandle directory, DirectoryHandle* copy)
{
    return copyHandle(directory, copy);
}

bool dosTimeToTicks(unsigned dosDate, unsigned dosTime, StampMinute&, std::uint64_t* ticks)
{
    // Converted with the offset in force on the entry's date, not today's, so
    // a summer time stays the same clock time when extracted in winter.
    FILETIME localFileTime;
    SYSTEMTIME localTime;
    SYSTEMTIME universalTime;
    FILETIME universal;
    if (!DosDateTimeToFileTime(WORD(dosDate), WORD(dosTime), &localFileTime)
        || !FileTimeToSystemTime(&localFileTime, &localTime)
        || !TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &universalTime)
        || !SystemTimeToFileTime(&universalTime, &universal))
        return false;
    *ticks = std::uint64_t(universal.dwHighDateTime) << 32 | universal.dwLowDateTime;
    return true;
}

void setLastWriteTime(std::FILE* stream, std::uint64_t ticks)
{
    // Flushed first: a later write would stamp the file with the time of day.
    std::fflush(stream);
    const FILETIME lastWrite{DWORD(ticks), DWORD(ticks >> 32)};
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    SetFileTime(file, nullptr, nullptr, &lastWrite);
}

// Windows takes names in any case as the same, and trims each: the key is
// taken over the name so trimmed, in upper case.
std::uint64_t extendPathKey(std::uint64_t key, const char* name, std::size_t length)
{
    wchar_t wide[pathCapacity];
    int units = MultiByteToWideChar(CP_UTF8, 0, name, int(length), wide, pathCapacity);
    units = int(trimmedLength(wide, std::size_t(units)));
    CharUpperBuffW(wide, DWORD(units));
    for (int i = 0; i < units; ++i)
        key = hashKeyUnit(key, std::uint16_t(wide[i]));
    return key;
}

int usableProcessors()
{
    DWORD_PTR process;
    DWORD_PTR system;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        return 1;
    int count = 0;
    for (; process != 0; process &= process - 1)
        ++count;
    return count;
}

namespace {

DWORD WINAPI runThread(LPVOID start)
{
    ThreadStart* what = static_cast<ThreadStart*>(start);
    what->run(what->argument);
    return 0;
}

PSRWLOCK srw(Lock& lock)
{
    static_assert(sizeof(SRWLOCK) == sizeof(Lock), "a Lock holds an SRWLOCK");
    return reinterpret_cast<PSRWLOCK>(&lock.state);
}

PCONDITION_VARIABLE condition(Signal& signal)
{
    static_assert(sizeof(CONDITION_VARIABLE) == sizeof(Signal), "a Signal holds a CONDITION_VARIABLE");
    return reinterpret_cast<PCONDITION_VARIABLE>(&signal.state);
}

}  // namespace

bool startThread(ThreadHandle* thread, ThreadStart* start)
{
    *thread = CreateThread(nullptr, 0, runThread, start, 0, nullptr);
    return *thread != nullptr;
}

void joinThread(ThreadHandle thread)
{
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void startLock(Lock& lock)
{
    InitializeSRWLock(srw(lock));
}

void takeLock(Lock& lock)
{
    AcquireSRWLockExclusive(srw(lock));
}

void dropLock(Lock& lock)
{
    ReleaseSRWLockExclusive(srw(lock));
}

// An SRW lock and a condition variable hold nothing to give back.
void endLock(Lock&) {}

void startSignal(Signal& signal)
{
    InitializeConditionVariable(condition(signal));
}

void waitSignal(Signal& signal, Lock& lock)
{
    SleepConditionVariableSRW(condition(signal), srw(lock), INFINITE, 0);
}

void wakeAll(Signal& signal)
{
    WakeAllConditionVariable(condition(signal));
}

void endSignal(Signal&) {}

int showMessageBox(const char* text)
{
    // The box takes the keyboard focus; the caller's window gets it back.
    // Names in the text are Unicode; the wide box shows them as written.
    wchar_t wideText[1024];
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wideText, 1024) == 0)
        wideText[0] = L'\0';
    HWND focus = GetFocus();
    int result = MessageBoxW(nullptr, wideText, L"ZEL Development Environment", MB_OK | MB_ICONERROR);
    SetFocus(focus);
    return result;
}
