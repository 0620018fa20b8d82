// The directories along an output path: entered one at a time from the
// destination, each opened as itself, never through a link, and made where
// missing.
#ifndef VESK_DIRECTORIES_H
#define VESK_DIRECTORIES_H

#include <cstddef>
#include <cstdint>

#include "platform.h"

// How many directories stay open along the last path entered, the
// destination included: deeper ones are entered again for every entry.
constexpr int heldLimit = 32;

// How many entries may be on their way at once: handed out by the walk and
// not yet committed.
constexpr int inFlightLimit = 256;

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

    // While an entry is on its way, the directory it makes its file in
    // stays open: lastUse[i] is 1 + the last entry that makes its file in
    // held[i] (0 for none), and a directory the path leaves before that
    // entry is committed waits among the retired ones.
    std::uint64_t lastUse[heldLimit];
    // Each entry on its way keeps its file's directory.
    DirectoryHandle retired[2 * inFlightLimit];
    std::uint64_t retiredUse[2 * inFlightLimit];
    int retiredCount;
};

// The entries between the walk and their commit, as the directories see
// them; the workers keep it. Entries are numbered in the order of the
// central directory.
struct EntriesOnTheirWay {
    // Entries handed out (the one being prepared is number `handed`) and
    // committed, in order.
    std::uint64_t handed;
    std::uint64_t committed;
    // The keys of the paths where the entries on their way make their
    // files, `depth` of them (none: all ones); the keys of committed
    // entries are stale, but a match there only makes the walk wait.
    const std::uint64_t* pathKeys;
    int depth;
    // The directories made while earlier entries were on their way, each
    // with the entry that made it, oldest first: removed again when an
    // earlier entry fails. Each is the component from `start` to `end` of
    // the entry's path, in `parent`, a handle of its own that is closed
    // when the entry is committed: so the held directories can all be
    // closed before the removal, which Windows completes only for a
    // directory no handle holds.
    struct Made {
        const char* path;
        std::size_t start;
        std::size_t end;
        DirectoryHandle parent;
        std::uint64_t entry;
    } made[inFlightLimit];
    int madeCount;
};

// Whether an entry on its way makes its file at the path with that key.
bool isOnItsWay(const EntriesOnTheirWay& onTheirWay, std::uint64_t key);

// Starts the directories of a walk: nothing held.
void startDirectories(OpenDirectories& open);

// Enters every directory that a backslash of `path` ends, outermost first,
// and the path itself `withLast`, for entry `onTheirWay.handed`; the first
// `destinationLength` characters name the destination, which is opened
// (made, with the folders above it, where missing) once a call and may be a
// link. pathReady when all of them are directories, the deepest then held
// last; pathIsLink when one below the destination is a link; pathRefused
// when one is anything else. A directory made while entries are on their
// way is recorded in `onTheirWay.made`; pathWaits, with the directories
// before it held, when it may not be made before they are committed: an
// entry on its way makes its file at its path, the record is full, or its
// parent's handle cannot be copied. Leaves path as it found it; it stays in
// place while the entry is on its way.
PathOutcome enterPathDirectories(OpenDirectories& open, EntriesOnTheirWay& onTheirWay, char* path,
                                 std::size_t destinationLength, bool withLast);

// The directory that the last enterPathDirectories reached, where `entry`
// makes its file: it stays open until that entry is committed.
DirectoryHandle useDeepestDirectory(OpenDirectories& open, std::uint64_t entry);

// Forgets the directories made for entries up to `entry`, which is
// committed, and closes the retired directories that no entry on its way
// uses any more.
void keepMadeDirectories(OpenDirectories& open, EntriesOnTheirWay& onTheirWay, std::uint64_t entry);

// Removes the directories made for the entries still on their way, newest
// first: an earlier entry failed, and their files are gone. The held
// directories are closed first.
void removeMadeDirectories(OpenDirectories& open, EntriesOnTheirWay& onTheirWay);

// Closes every held and retired directory.
void closeDirectories(OpenDirectories& open);

#endif
