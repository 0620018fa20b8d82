// Entry names and output paths: which text a name is, whether it stays below
// the destination, and whether a path fits the platform's limit.
#ifndef VESK_NAMES_H
#define VESK_NAMES_H

#include <cstddef>
#include <cstdint>

#include "records.h"

// Names may use either separator.
inline bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

enum NameStatus { nameUsable, nameNotUtf8, nameTooLong };

// The name of a central record as the library's text: Info-ZIP's Unicode
// Path field when it belongs to the raw name, else the raw name: UTF-8 when
// the record says so; otherwise, on Windows, in the OEM code page when it
// was made on MS-DOS, else UTF-8 when it is well-formed UTF-8, else in the
// code page of the file calls. `name` points to the record's raw name or
// into `decoded` (pathCapacity bytes). When the status is not nameUsable,
// `name` holds what can be shown of it.
NameStatus readEntryName(const CentralRecord& record, char* decoded, const char** name);

// Whether the name leads only to places below the destination.
bool isSafeName(const char* name);

// The destination followed by the name, its slashes turned into
// backslashes, in pathCapacity bytes; false when it does not fit the
// platform's path limit.
bool buildOutputPath(char* outputPath, const char* destination, const char* name);

// A number for the file that a path of the library's text names: paths that
// name the same file, in whatever case or form the file system takes as the
// same, and with whatever empty or "." components, get the same number;
// others almost always another.
std::uint64_t pathKey(const char* path);

// Whether a path of the library's text, with `spare` units to add later,
// stays below the path limit.
bool fitsPathLimit(const char* path, std::size_t spare);

#endif
