// Finds the message boxes of a given caption on a second thread, records
// their texts and presses OK, as a person at the screen would.
#ifndef VESK_TESTS_BOX_WATCHER_H
#define VESK_TESTS_BOX_WATCHER_H

#include <cstddef>
#include <string>
#include <vector>

void startWatching(const char* caption);

// Waits until `count` boxes have been dismissed; false when `milliseconds`
// went by first.
bool awaitBoxes(std::size_t count, unsigned long milliseconds);

// Stops the watcher and returns every text it read, in UTF-8 and in order.
// A box owned by a window is marked "(owned) ", one of this process without
// the error icon "(no error icon) ".
std::vector<std::string> stopWatching();

#endif
