#include "names.h"

#include <cstring>

#include "platform.h"
#include "records.h"
#include "utf8.h"

namespace {

// A component that climbs out of its directory. Windows trims the final
// dots and blanks of a name, so there any other name of dots and blanks
// alone would become "..", "." or nothing; "." itself names the directory
// it stands in.
bool isParentComponent(const char* begin, const char* end)
{
    if (end - begin == 2 && begin[0] == '.' && begin[1] == '.')
        return true;
    if (!windowsNames || end == begin || (end - begin == 1 && *begin == '.'))
        return false;
    for (const char* c = begin; c != end; ++c)
        if (*c != '.' && *c != ' ')
            return false;
    return true;
}

bool sameLetters(const char* text, const char* lower, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i])
            return false;
    }
    return true;
}

// A component that Windows maps to a device, whatever follows its first dot
// and whatever trailing blanks: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to
// COM9 and LPT1 to LPT9, the superscript digits 1, 2 and 3 included, in any
// case. Its data would vanish into the device, or come from it.
bool isDeviceComponent(const char* begin, const char* end)
{
    if (!windowsNames)
        return false;
    const char* stem = begin;
    while (stem != end && *stem != '.')
        ++stem;
    while (stem != begin && stem[-1] == ' ')
        --stem;
    std::size_t length = std::size_t(stem - begin);
    static const char* const devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* device : devices)
        if (length == std::strlen(device) && sameLetters(begin, device, length))
            return true;
    if (length < 4 || !(sameLetters(begin, "com", 3) || sameLetters(begin, "lpt", 3)))
        return false;
    const unsigned char* digit = reinterpret_cast<const unsigned char*>(begin + 3);
    if (length == 4)
        return digit[0] >= '1' && digit[0] <= '9';
    return length == 5 && digit[0] == 0xC2 && (digit[1] == 0xB9 || digit[1] == 0xB2 || digit[1] == 0xB3);
}

// Well-formed UTF-8 throughout.
bool isUtf8(const unsigned char* text, std::size_t length)
{
    const unsigned char* end = text + length;
    for (std::size_t sequence; text != end; text += sequence)
        if ((sequence = utf8SequenceLength(text, end)) == 0)
            return false;
    return true;
}

bool isAscii(const unsigned char* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] >= 0x80)
            return false;
    return true;
}

// UTF-16 units of well-formed UTF-8 text.
std::size_t utf16Length(const char* text)
{
    // Every byte but a continuation byte starts a code point; those of four
    // bytes take a surrogate pair.
    std::size_t units = 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != '\0'; ++c)
        units += (*c & 0xC0) != 0x80 ? (*c >= 0xF0 ? 2 : 1) : 0;
    return units;
}

// The length that the platform's path limit counts.
std::size_t pathLength(const char* text)
{
    return pathLimitInUtf16 ? utf16Length(text) : std::strlen(text);
}

}  // namespace

NameStatus readEntryName(const CentralRecord& record, char* decoded, const char** name)
{
    if (record.unicodePath) {
        std::size_t length = record.unicodePathLength;
        std::size_t kept = length < std::size_t(pathCapacity) ? length : pathCapacity - 1;
        std::memcpy(decoded, record.unicodePath, kept);
        decoded[kept] = '\0';
        *name = decoded;
        if (!isUtf8(record.unicodePath, length))
            return nameNotUtf8;
        return kept == length ? nameUsable : nameTooLong;
    }
    *name = record.name;
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(record.name);
    std::size_t rawLength = std::strlen(record.name);  // up to a NUL inside, as the name is used
    if (record.flags & utf8NameFlag)
        return isUtf8(raw, rawLength) ? nameUsable : nameNotUtf8;
    if (!convertsNarrowText)
        return nameUsable;
    // Unmarked names are in IBM 437, says the format; writers on MS-DOS and
    // Windows (its own zip folders, Info-ZIP) use the OEM code page, and
    // mark their records as made on MS-DOS. Unix zippers write the locale's
    // bytes, UTF-8 today, without the mark. ASCII reads the same in every
    // code page; what is left, from other hosts, is read as the ANSI file
    // calls read it.
    bool madeOnMsDos = record.madeByHost == msDosHost;
    if (isAscii(raw, rawLength) || (!madeOnMsDos && isUtf8(raw, rawLength)))
        return nameUsable;
    *name = decoded;
    NarrowText codePage = madeOnMsDos ? oemText : fileCallsText;
    return toLibraryText(record.name, decoded, codePage) ? nameUsable : nameTooLong;
}

bool isSafeName(const char* name)
{
    if (isSeparator(name[0]))
        return false;
    if (windowsNames && std::strchr(name, ':'))
        return false;
    const char* begin = name;
    for (const char* c = name;; ++c) {
        if (*c == '\0' || isSeparator(*c)) {
            if (isParentComponent(begin, c) || isDeviceComponent(begin, c))
                return false;
            if (*c == '\0')
                return true;
            begin = c + 1;
        }
    }
}

bool buildOutputPath(char* outputPath, const char* destination, const char* name)
{
    if (!fitsPathLimit(destination, pathLength(name)))
        return false;
    // Within the limit, the bytes fit pathCapacity.
    std::size_t destinationLength = std::strlen(destination);
    std::size_t nameLength = std::strlen(name);
    std::memcpy(outputPath, destination, destinationLength);
    for (std::size_t i = 0; i <= nameLength; ++i)
        outputPath[destinationLength + i] = name[i] == '/' ? '\\' : name[i];
    return true;
}

std::uint64_t pathKey(const char* path)
{
    std::uint64_t key = 0xcbf29ce484222325;  // FNV-1a's offset basis
    for (const char* begin = path;; ++begin) {
        const char* end = begin;
        while (*end != '\0' && !isSeparator(*end))
            ++end;
        // An empty name and "." name the directory they stand in.
        if (end != begin && !(end - begin == 1 && *begin == '.'))
            key = hashKeyUnit(extendPathKey(key, begin, std::size_t(end - begin)), '\\');
        if (*end == '\0')
            return key;
        begin = end;
    }
}

bool fitsPathLimit(const char* path, std::size_t spare)
{
    return pathLength(path) + spare < std::size_t(pathLimit);
}
