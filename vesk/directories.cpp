// The directories along an output path: made outermost first, and each
// found to be a directory before anything goes into it.
#include <cstring>

#include "library.h"
#include "platform.h"

namespace {

// The path of the last createPathDirectories call that succeeded: the
// directories along it are there, so entries that share a parent skip them.
char createdPath[pathCapacity];

// Makes the directory that `path` names up to `end` and checks it. The
// caller's own directories, up to the destination, may be links; below it
// nothing is followed, and a name ending in a full stop, which Windows would
// trim to another name, is never made.
int makeComponent(char* path, char* end, std::size_t destinationLength)
{
    std::size_t length = std::size_t(end - path);
    bool belowDestination = length >= destinationLength;
    if (end[-1] == '.') {
        bool self = length == 1 || end[-2] == '\\';  // "." names its parent
        return !belowDestination || self ? 0 : 2;
    }
    char kept = *end;
    *end = '\0';
    int made = makeDirectory(path, !belowDestination);
    *end = kept;
    // Above the destination, what cannot be made is the caller's affair; the
    // destination itself shows whether it went wrong.
    return length + 1 < destinationLength ? 0 : made;
}

}  // namespace

void forgetCreatedDirectories()
{
    createdPath[0] = '\0';
}

int createPathDirectories(char* path, std::size_t destinationLength, bool withLast)
{
    std::size_t common = 0;
    while (path[common] != '\0' && path[common] == createdPath[common])
        ++common;
    std::size_t length = std::strlen(path);
    char* last = path + length;
    for (char* end = std::strchr(path, '\\');; end = std::strchr(end + 1, '\\')) {
        if (!end) {
            if (!withLast || length == 0 || path[length - 1] == '\\')
                break;
            end = last;
        }
        // The root, and the directories the last call made, need nothing.
        if (end != path && std::size_t(end - path) >= common) {
            int made = makeComponent(path, end, destinationLength);
            if (made != 0)
                return made;
        }
        if (end == last)
            break;
    }
    std::memcpy(createdPath, path, length + 1);
    return 0;
}
