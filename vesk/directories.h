// The directories along an output path: made outermost first, and each
// found to be a directory before anything goes into it.
#ifndef VESK_DIRECTORIES_H
#define VESK_DIRECTORIES_H

#include <cstddef>

#include "platform.h"

// The path of the last createPathDirectories call that succeeded: the
// directories along it are there, so entries that share a parent skip them.
// Empty when zeroed, as the walk starts it.
struct MadeDirectories {
    char path[pathCapacity];
};

// Makes every directory that a backslash of `path` ends, outermost first,
// and the path itself `withLast`: pathReady when all of them are
// directories then, pathIsLink when one below the destination (its first
// `destinationLength` characters) is a link, pathRefused when one is
// anything else. Leaves path as it found it.
PathOutcome createPathDirectories(MadeDirectories& made, char* path, std::size_t destinationLength,
                                  bool withLast);

#endif
