/* Public interface of the vesk extraction library.
 *
 * A host loads the library and calls unzip() with an archive and a destination
 * directory. Both exports use the C calling convention (__cdecl on 32-bit
 * Windows) and narrow, NUL-terminated strings in the system's ANSI code page.
 * The header is valid C89 and C++98 and every later standard of both, hence
 * the comments; the Windows DLL is 32-bit only. */
#ifndef VESK_H
#define VESK_H

#if defined(_WIN32)
#if defined(VESK_BUILDING)
#define VESK_API __declspec(dllexport)
#else
#define VESK_API __declspec(dllimport)
#endif
#define VESK_CALL __cdecl
#else
#define VESK_API __attribute__((visibility("default")))
#define VESK_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Extracts every entry of the archive below destinationDirectory (empty: the
 * current directory; a trailing backslash is optional). Returns 0 when every
 * entry was extracted, 1 after a failure, which has been shown to the user. */
VESK_API int VESK_CALL unzip(const char* archivePath, const char* destinationDirectory);

/* Extracts one entry of the archive that unzip() holds open: the per-entry
 * step of unzip(), of no use on its own. destinationDirectory is empty or
 * ends in a backslash, as unzip() passes it. record holds one
 * central-directory file header followed by its name, extra field and
 * comment, and is written to (a NUL behind the name). Returns 0 on success,
 * 1 on failure, 2 for an unsupported compression method. Without an open
 * archive it returns 1. */
VESK_API int VESK_CALL unzipOneFile(const char* destinationDirectory, char* record);

#ifdef __cplusplus
}
#endif

#endif
