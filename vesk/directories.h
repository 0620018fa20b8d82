// The directories along an output path: entered one at a time from the
// destination, each opened as itself, never through a link, and made where
// missing.
#ifndef VESK_DIRECTORIES_H
#define VESK_DIRECTORIES_H

#include <cstddef>

#include "platform.h"

// How many directories stay open along the last path entered, the
// destination included: deeper ones are entered again for every entry.
constexpr int heldLimit = 32;

// The destination and the directories below it that the last path entered,
// held open, so that entries of the same folder start where the last one
// stopped. A held directory is the directory itself, not its name: what is
// renamed or swapped for a link after it was entered cannot lead elsewhere.
// Nothing is held when `count` is 0, as the walk starts it.
struct OpenDirectories {
    // The path of the deepest held directory, each name below the
    // destination followed by a backslash.
    char path[pathCapacity];
    std::size_t destinationLength;
    // held[i] is the directory that `path` names up to ends[i]; held[0] the
    // destination. Beyond heldLimit the deepest slot follows the path down.
    DirectoryHandle held[heldLimit];
    std::size_t ends[heldLimit];
    int count;
};

// Enters every directory that a backslash of `path` ends, outermost first,
// and the path itself `withLast`; the first `destinationLength` characters
// name the destination, which is opened (made, with the folders above it,
// where missing) once a call and may be a link. pathReady when all of them
// are directories, the deepest then held last; pathIsLink when one below
// the destination is a link; pathRefused when one is anything else. Leaves
// path as it found it.
PathOutcome enterPathDirectories(OpenDirectories& open, char* path, std::size_t destinationLength,
                                 bool withLast);

// The directory that the last enterPathDirectories reached.
inline DirectoryHandle deepestDirectory(const OpenDirectories& open)
{
    return open.held[open.count - 1];
}

// Closes every held directory.
void closeDirectories(OpenDirectories& open);

#endif
