// The library's seam on Windows: the wide calls of the system and the C
// runtime's raw byte streams. The library's text is UTF-8; it becomes UTF-16
// here, on its way to the system.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

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

// Shared for deletion, so that the file can be renamed while it is open.
HANDLE createNewFile(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Makes a new file beside `path` and renames it over what stands there. A
// rename takes the name itself: a link there is replaced, never followed,
// and the other names of a file stay as they were; a directory or a FIFO
// refuses it. Deleting first would not do: Wine deletes what a Unix link
// points to. The new file's first name is free and as long as the path's
// last component, so it fits wherever the path fits.
HANDLE replaceFile(const wchar_t* path)
{
    wchar_t beside[pathLimit];
    std::size_t length = wcslen(path);
    std::size_t component = length;
    while (component != 0 && path[component - 1] != L'\\')
        --component;
    wmemcpy(beside, path, length + 1);
    wmemset(beside + component, L'~', length - component);
    HANDLE file = INVALID_HANDLE_VALUE;
    for (const wchar_t* last = L"0123456789abcdefghijklmnopqrstuvwxyz"; *last != L'\0'; ++last) {
        beside[length - 1] = *last;
        file = createNewFile(beside);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE || MoveFileExW(beside, path, MOVEFILE_REPLACE_EXISTING))
        return file;
    CloseHandle(file);
    DeleteFileW(beside);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

// The file is always made anew, so that nothing that stands at the path is
// written through: not a hard link, nor what Wine shows as a plain file (a
// Unix link, a FIFO).
bool openOutputStream(DirectoryHandle, const char* path, const char*, std::FILE** stream)
{
    *stream = nullptr;
    wchar_t widePath[pathLimit];
    if (!toWide(path, widePath))
        return false;
    HANDLE file = createNewFile(widePath);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
        file = replaceFile(widePath);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
    *stream = descriptor == -1 ? nullptr : _wfdopen(descriptor, L"wb");
    if (*stream)
        return true;
    if (descriptor == -1)
        CloseHandle(file);
    else
        _close(descriptor);
    return false;
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

// Checks that the path names a directory; nothing is held.
bool openDirectory(const char* path, DirectoryHandle* directory)
{
    *directory = nullptr;
    wchar_t widePath[pathLimit];
    if (!toWide(path, widePath))
        return false;
    DWORD attributes = GetFileAttributesW(*widePath == L'\0' ? L"." : widePath);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int enterDirectory(DirectoryHandle, const char* path, const char*, DirectoryHandle* directory)
{
    *directory = nullptr;
    wchar_t widePath[pathLimit];
    if (!toWide(path, widePath))
        return pathRefused;
    // A directory just made is one, and no link: only what was there already
    // is looked at.
    if (CreateDirectoryW(widePath, nullptr))
        return pathReady;
    DWORD attributes = GetFileAttributesW(widePath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return pathRefused;
    // Symbolic links, junctions and mount points are reparse points.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return pathIsLink;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? pathReady : pathRefused;
}

void closeDirectory(DirectoryHandle) {}

void setLastWriteTime(std::FILE* stream, unsigned dosDate, unsigned dosTime)
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
