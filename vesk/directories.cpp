#include "directories.h"

#include <cstring>

#include "names.h"

namespace {

// Leaves the deepest held directory: closed, or retired while an entry on
// its way, after the `committed` ones, still makes its file there.
void leaveDeepest(OpenDirectories& open, std::uint64_t committed)
{
    --open.count;
    if (open.lastUse[open.count] <= committed) {
        closeDirectory(open.held[open.count]);
        return;
    }
    open.retired[open.retiredCount] = open.held[open.count];
    open.retiredUse[open.retiredCount++] = open.lastUse[open.count];
}

// Holds a directory just entered as the deepest.
void hold(OpenDirectories& open, DirectoryHandle directory, std::size_t end)
{
    open.held[open.count] = directory;
    open.lastUse[open.count] = 0;
    open.ends[open.count++] = end;
}

// Opens the destination as the first held directory. The folders along it
// are the caller's: made where missing and followed where they are links;
// what cannot be made there is the caller's affair, and opening the
// destination shows whether it went wrong. On Windows a name ending in a
// full stop, which the system would trim to another name, is never made.
PathOutcome openDestination(OpenDirectories& open, char* path, std::size_t destinationLength)
{
    for (char* end = std::strchr(path, '\\'); end && std::size_t(end - path) < destinationLength;
         end = std::strchr(end + 1, '\\'))
        if (end != path && !(windowsNames && end[-1] == '.')) {
            *end = '\0';
            makeDirectory(path);
            *end = '\\';
        }
    char kept = path[destinationLength];
    path[destinationLength] = '\0';
    DirectoryHandle destination;
    bool opened = openDirectory(path, &destination);
    path[destinationLength] = kept;
    if (!opened)
        return pathRefused;
    open.destinationLength = destinationLength;
    hold(open, destination, destinationLength);
    return pathReady;
}

// Enters the directory that `name`, up to `end`, names in the deepest held
// one, and holds it; the deepest slot moves down when all are taken.
PathOutcome enterComponent(OpenDirectories& open, EntriesOnTheirWay& onTheirWay, char* path, char* name,
                           char* end)
{
    // An empty name and "." name the directory they stand in.
    if (end == name || (end - name == 1 && *name == '.'))
        return pathReady;
    char kept = *end;
    *end = '\0';
    DirectoryHandle parent = open.held[open.count - 1];
    DirectoryHandle directory;
    bool settled = onTheirWay.committed == onTheirWay.handed;
    PathOutcome outcome = enterDirectory(parent, name, settled, &directory);
    if (outcome == pathMissing) {
        // Made while earlier entries are on their way, it is recorded with a
        // handle of its parent of its own, to be removed if one of them
        // fails; otherwise they are committed first.
        DirectoryHandle parentCopy;
        if (onTheirWay.madeCount == inFlightLimit || isOnItsWay(onTheirWay, pathKey(path))
            || !copyDirectory(parent, &parentCopy)) {
            outcome = pathWaits;
        } else {
            outcome = enterDirectory(parent, name, true, &directory);
            if (outcome == pathReady)
                onTheirWay.made[onTheirWay.madeCount++] = {
                    path, std::size_t(name - path), std::size_t(end - path), parentCopy, onTheirWay.handed};
            else
                closeDirectory(parentCopy);
        }
    }
    *end = kept;
    if (outcome != pathReady)
        return outcome;
    if (open.count == heldLimit)
        leaveDeepest(open, onTheirWay.committed);
    hold(open, directory, std::size_t(end - path) + 1);
    return pathReady;
}

}  // namespace

bool isOnItsWay(const EntriesOnTheirWay& onTheirWay, std::uint64_t key)
{
    for (int i = 0; i < onTheirWay.depth; ++i)
        if (onTheirWay.pathKeys[i] == key)
            return true;
    return false;
}

PathOutcome enterPathDirectories(OpenDirectories& open, EntriesOnTheirWay& onTheirWay, char* path,
                                 std::size_t destinationLength, bool withLast)
{
    std::size_t common = 0;
    while (path[common] != '\0' && path[common] == open.path[common])
        ++common;
    if (open.count != 0 && (open.destinationLength != destinationLength || common < destinationLength))
        while (open.count != 0)
            leaveDeepest(open, onTheirWay.committed);
    // What the last path held beyond the part this one shares is left.
    while (open.count > 1 && open.ends[open.count - 1] > common)
        leaveDeepest(open, onTheirWay.committed);
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
        outcome = enterComponent(open, onTheirWay, path, name, end);
        start = std::size_t(end - path) + 1;
    }
    std::size_t held = open.ends[open.count - 1];
    std::memcpy(open.path, path, held);
    if (held > destinationLength)
        open.path[held - 1] = '\\';
    open.path[held] = '\0';
    return outcome;
}

void startDirectories(OpenDirectories& open)
{
    open.count = 0;
    open.retiredCount = 0;
}

DirectoryHandle useDeepestDirectory(OpenDirectories& open, std::uint64_t entry)
{
    open.lastUse[open.count - 1] = entry + 1;
    return open.held[open.count - 1];
}

void keepMadeDirectories(OpenDirectories& open, EntriesOnTheirWay& onTheirWay, std::uint64_t entry)
{
    int kept = 0;
    for (; kept < onTheirWay.madeCount && onTheirWay.made[kept].entry <= entry; ++kept)
        closeDirectory(onTheirWay.made[kept].parent);
    if (kept != 0) {
        onTheirWay.madeCount -= kept;
        std::memmove(onTheirWay.made, onTheirWay.made + kept,
                     std::size_t(onTheirWay.madeCount) * sizeof *onTheirWay.made);
    }
    kept = 0;
    for (int i = 0; i < open.retiredCount; ++i) {
        if (open.retiredUse[i] <= onTheirWay.committed) {
            closeDirectory(open.retired[i]);
        } else {
            open.retired[kept] = open.retired[i];
            open.retiredUse[kept++] = open.retiredUse[i];
        }
    }
    open.retiredCount = kept;
}

void removeMadeDirectories(OpenDirectories& open, EntriesOnTheirWay& onTheirWay)
{
    closeDirectories(open);
    while (onTheirWay.madeCount != 0) {
        const EntriesOnTheirWay::Made& made = onTheirWay.made[--onTheirWay.madeCount];
        char name[pathCapacity];
        std::size_t length = made.end - made.start;
        std::memcpy(name, made.path + made.start, length);
        name[length] = '\0';
        removeDirectory(made.parent, name);
        closeDirectory(made.parent);
    }
}

void closeDirectories(OpenDirectories& open)
{
    while (open.count != 0)
        closeDirectory(open.held[--open.count]);
    while (open.retiredCount != 0)
        closeDirectory(open.retired[--open.retiredCount]);
}
