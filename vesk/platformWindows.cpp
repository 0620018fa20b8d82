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
#include "platform.h"

// The CRC's way is chosen once, when the library
// is loaded into a process; the debug output names the way, for a debugger
// or a test to read. Unloading and threads need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        chooseCrcWay();
        OutputDebugStringA(crcFolds() ? "vesk: CRC-32 by carry-less multiplication\n"
                                      : "vesk: CRC-32 by table\n");
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

std::FILE* openArchiveStream(const char* path)
{
    wchar_t widePath[pathLimit];
    return toWide(path, widePath) ? _wfopen(widePath, L"rb") : nullptr;
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

// False when the name is empty once Windows has trimmed it: the wide calls
// drop trailing dots and blanks, and the native ones, which would keep
// them, get the name those calls would use.
bool takeComponent(const char* name, ComponentName& component)
{
    if (!toWide(name, component.text))
        return false;
    std::size_t length = wcslen(component.text);
    while (length != 0 && (component.text[length - 1] == L'.' || component.text[length - 1] == L' '))
        --length;
    setNativeName(component, length);
    return length != 0;
}

// A name made aside as the native calls take it, its full stop kept.
bool takeAside(const char* aside, ComponentName& component)
{
    if (!toWide(aside, component.text))
        return false;
    setNativeName(component, wcslen(component.text));
    return true;
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

// Whether the directory opened is the one that stands at `name` in
// `parent`, and no reparse point: its entry in the parent's listing must
// be a directory, no reparse point, with the opened one's file id. Windows
// opens a reparse point as itself; Wine 8 follows a Unix link even so, and
// shows the handle as a plain directory, but lists the link as a reparse
// point: only the listing, read through the parent, tells what was opened.
int standsInParent(HANDLE parent, ComponentName& name, HANDLE opened)
{
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION identity;
    if (NtQueryInformationFile(opened, &status, &identity, sizeof identity, FileInternalInformation) != 0)
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
    int outcome = pathIsLink;
    for (BOOLEAN restart = TRUE;
         NtQueryDirectoryFile(listed, nullptr, nullptr, nullptr, &status, entryBytes, sizeof entryBytes,
                              FileIdBothDirectoryInformation, TRUE, &name.native, restart)
         == 0;
         restart = FALSE)
        if (entry->FileId.QuadPart == identity.IndexNumber.QuadPart) {
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

// The name of a file made aside: it ends in a full stop, which Windows
// trims from an entry's name, so that no entry is called so.
void nameAside(ComponentName& aside, std::uint64_t unique, unsigned attempt, char* text)
{
    std::snprintf(text, asideCapacity, "vesk~%llx-%x.", static_cast<unsigned long long>(unique), attempt);
    takeAside(text, aside);
}

// Opens `name` in `parent` to delete it, and deletes it; `kind` tells a
// file from a directory.
void removeAt(HANDLE parent, ComponentName& name, ULONG kind)
{
    HANDLE opened = nullptr;
    if (createAt(parent, name, DELETE, FILE_OPEN, kind, &opened) != 0)
        return;
    FILE_DISPOSITION_INFO disposal = {TRUE};
    SetFileInformationByHandle(opened, FileDispositionInfo, &disposal, sizeof disposal);
    CloseHandle(opened);
}

}  // namespace

// The file is always made anew, so that nothing that stands at the name is
// written through: not a hard link, nor what Wine shows as a plain file (a
// Unix link, a FIFO). Where something stands there, the new file waits
// beside it until placeOutput renames it over the name: a rename takes the
// name itself, a link there is replaced, never followed, and the other
// names of a file stay as they were; a directory or a FIFO refuses it.
// Deleting first would not do: Wine deletes what a Unix link points to.
bool openOutputStream(DirectoryHandle parent, const char* name, std::uint64_t unique, char* aside,
                      std::FILE** stream)
{
    *stream = nullptr;
    *aside = '\0';
    ComponentName component;
    if (!takeComponent(name, component))
        return false;
    HANDLE file = nullptr;
    NTSTATUS made = createAt(parent, component, GENERIC_WRITE, FILE_CREATE, FILE_NON_DIRECTORY_FILE, &file);
    // A name left by an earlier call that stopped half-way is passed by.
    for (unsigned attempt = 0; made == nameCollision && attempt < 16; ++attempt) {
        nameAside(component, unique, attempt, aside);
        made = createAt(parent, component, GENERIC_WRITE, FILE_CREATE, FILE_NON_DIRECTORY_FILE, &file);
    }
    if (made != 0)
        return false;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
    *stream = descriptor == -1 ? nullptr : _wfdopen(descriptor, L"wb");
    if (*stream)
        return true;
    if (descriptor == -1)
        CloseHandle(file);
    else
        _close(descriptor);
    // The component names the file made, under its name or aside.
    removeAt(parent, component, FILE_NON_DIRECTORY_FILE);
    return false;
}

bool placeOutput(DirectoryHandle parent, const char* aside, const char* name)
{
    ComponentName asideName;
    ComponentName component;
    HANDLE file = nullptr;
    if (!takeAside(aside, asideName) || !takeComponent(name, component)
        || createAt(parent, asideName, DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE, &file) != 0)
        return false;
    bool placed = renameInto(file, parent, component);
    CloseHandle(file);
    return placed;
}

void removeOutput(DirectoryHandle parent, const char* name, const char* aside)
{
    ComponentName component;
    if (*aside ? takeAside(aside, component) : takeComponent(name, component))
        removeAt(parent, component, FILE_NON_DIRECTORY_FILE);
}

bool seekStream(std::FILE* stream, std::uint64_t position)
{
    return _fseeki64(stream, static_cast<__int64>(position), SEEK_SET) == 0;
}

bool streamSize(std::FILE* stream, std::uint64_t* size)
{
    __int64 length = _filelengthi64(_fileno(stream));
    if (length < 0)
        return false;
    *size = std::uint64_t(length);
    return true;
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

int enterDirectory(DirectoryHandle parent, const char* name, bool make, DirectoryHandle* directory)
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
    int outcome = standsInParent(parent, component, opened);
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
    if (takeComponent(name, component))
        removeAt(parent, component, FILE_DIRECTORY_FILE);
}

void setLastWriteTime(std::FILE* stream, unsigned dosDate, unsigned dosTime, StampMinute&)
{
    // Flushed first: a later write would stamp the file with the time of day.
    std::fflush(stream);
    // Converted with the offset in force on the entry's date, not today's, so
    // a summer time stays the same clock time when extracted in winter.
    FILETIME localFileTime;
    SYSTEMTIME localTime;
    SYSTEMTIME universalTime;
    FILETIME lastWrite;
    if (!DosDateTimeToFileTime(WORD(dosDate), WORD(dosTime), &localFileTime)
        || !FileTimeToSystemTime(&localFileTime, &localTime)
        || !TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &universalTime)
        || !SystemTimeToFileTime(&universalTime, &lastWrite))
        return;
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    SetFileTime(file, nullptr, nullptr, &lastWrite);
}

// Windows takes names in any case as the same, and drops the trailing dots
// and blanks of each: the key is taken over the upper-case UTF-16 names so
// trimmed.
std::uint64_t pathKey(const char* path)
{
    wchar_t wide[pathLimit];
    int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, pathLimit);
    if (units == 0)
        units = 1;
    CharUpperBuffW(wide, DWORD(units - 1));
    std::uint64_t key = emptyPathKey;
    for (int i = 0; i < units - 1; ++i) {
        int next = i;
        while (next < units - 1 && (wide[next] == L'.' || wide[next] == L' '))
            ++next;
        if (next != i && (next == units - 1 || wide[next] == L'\\')) {
            i = next - 1;  // a run of trailing dots and blanks
            continue;
        }
        key = extendPathKey(key, std::uint16_t(wide[i]));
    }
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
