#include "directories.h"

#include <cstring>

namespace {

// Opens the destination as the first held directory. The folders along it
// are the caller's: made where missing and followed where they are links;
// what cannot be made there is the caller's affair, and opening the
// destination shows whether it went wrong. A name ending in a full stop,
// which Windows would trim to another name, is never made.
PathOutcome openDestination(OpenDirectories& open, char* path, std::size_t destinationLength)
{
    for (char* end = std::strchr(path, '\\'); end && std::size_t(end - path) < destinationLength;
         end = std::strchr(end + 1, '\\'))
        if (end != path && end[-1] != '.') {
            *end = '\0';
            makeDirectory(path);
            *end = '\\';
        }
    char kept = path[destinationLength];
    path[destinationLength] = '\0';
    bool opened = openDirectory(path, &open.held[0]);
    path[destinationLength] = kept;
    if (!opened)
        return pathRefused;
    open.destinationLength = destinationLength;
    open.ends[0] = destinationLength;
    open.count = 1;
    return pathReady;
}

// Enters the directory that `name`, up to `end`, names in the deepest held
// one, and holds it; the deepest slot moves down when all are taken.
PathOutcome enterComponent(OpenDirectories& open, char* path, char* name, char* end)
{
    // An empty name and "." name the directory they stand in.
    if (end == name || (end - name == 1 && *name == '.'))
        return pathReady;
    // Windows would trim a final full stop and find another name.
    if (end[-1] == '.')
        return pathRefused;
    char kept = *end;
    *end = '\0';
    DirectoryHandle directory;
    PathOutcome outcome = PathOutcome(enterDirectory(deepestDirectory(open), name, &directory));
    *end = kept;
    if (outcome != pathReady)
        return outcome;
    if (open.count == heldLimit)
        closeDirectory(open.held[--open.count]);
    open.held[open.count] = directory;
    open.ends[open.count++] = std::size_t(end - path) + 1;
    return pathReady;
}

}  // namespace

PathOutcome enterPathDirectories(OpenDirectories& open, char* path, std::size_t destinationLength,
                                 bool withLast)
{
    std::size_t common = 0;
    while (path[common] != '\0' && path[common] == open.path[common])
        ++common;
    if (open.count != 0 && (open.destinationLength != destinationLength || common < destinationLength))
        closeDirectories(open);
    // What the last path held beyond the part this one shares is left.
    while (open.count > 1 && open.ends[open.count - 1] > common)
        closeDirectory(open.held[--open.count]);
    if (open.count == 0) {
        PathOutcome outcome = openDestination(open, path, destinationLength);
        if (outcome != pathReady)
            return outcome;
    }
    std::size_t length = std::strlen(path);
    PathOutcome outcome = pathReady;
    for (std::size_t start = open.ends[open.count - 1]; start < length && outcome == pathReady;) {
        char* name = path + start;
        char* end = std::strchr(name, '\\');
        if (!end && !withLast)
            break;
        if (!end)
            end = path + length;
        outcome = enterComponent(open, path, name, end);
        start = std::size_t(end - path) + 1;
    }
    std::size_t held = open.ends[open.count - 1];
    std::memcpy(open.path, path, held);
    if (held > destinationLength)
        open.path[held - 1] = '\\';
    open.path[held] = '\0';
    return outcome;
}

void closeDirectories(OpenDirectories& open)
{
    while (open.count != 0)
        closeDirectory(open.held[--open.count]);
}
