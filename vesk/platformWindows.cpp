// The library's seam on Windows: the ANSI calls of the system and the
// C runtime's raw byte streams.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <io.h>

#include "crc.h"
#include "platform.h"

// The CRC table is built once, when the library is loaded into a process;
// unloading and threads need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        buildCrcTable();
    return TRUE;
}

std::FILE* openArchiveStream(const char* path)
{
    return std::fopen(path, "rb");
}

std::FILE* openOutputStream(const char* path)
{
    return std::fopen(path, "wb");
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

void createDirectory(const char* path)
{
    CreateDirectoryA(path, nullptr);
}

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
    HWND focus = GetFocus();
    int result = MessageBoxA(nullptr, text, "ZEL Development Environment", MB_OK | MB_ICONERROR);
    SetFocus(focus);
    return result;
}
