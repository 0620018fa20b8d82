#include "directories.h"

#include <cstring>

namespace {

// Makes the directory that `path` names up to `end` and checks it. The
// caller's own directories, up to the destination, may be links; below it
// nothing is followed, and a name ending in a full stop, which Windows would
// trim to another name, is never made.
PathOutcome makeComponent(char* path, char* end, std::size_t destinationLength)
{
    std::size_t length = std::size_t(end - path);
    bool belowDestination = length >= destinationLength;
    if (end[-1] == '.') {
        bool self = length == 1 || end[-2] == '\\';  // "." names its parent
        return !belowDestination || self ? pathReady : pathRefused;
    }
    char kept = *end;
    *end = '\0';
    PathOutcome made = PathOutcome(makeDirectory(path, !belowDestination));
    *end = kept;
    // Above the destination, what cannot be made is the caller's affair; the
    // destination itself shows whether it went wrong.
    return length + 1 < destinationLength ? pathReady : made;
}

}  // namespace

PathOutcome createPathDirectories(MadeDirectories& made, char* path, std::size_t destinationLength,
                                  bool withLast)
{
    std::size_t common = 0;
    while (path[common] != '\0' && path[common] == made.path[common])
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
            PathOutcome outcome = makeComponent(path, end, destinationLength);
            if (outcome != pathReady)
                return outcome;
        }
        if (end == last)
            break;
    }
    std::memcpy(made.path, path, length + 1);
    return pathReady;
}
