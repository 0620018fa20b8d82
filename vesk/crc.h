// CRC-32 of the ZIP format: reflected polynomial 0xEDB88320.
//
// The check of an entry's data, end to end:
// - buildCrcTable runs once, when the library is loaded (the load hook of
//   each platform seam: platformPosix.cpp, DllMain in platformWindows.cpp);
// - unzipOneFile (entry.cpp) presets crcRegister before the entry's data;
// - every byte written to the output file passes updateCrc on its way:
//   stored data in copyStoredEntry (entry.cpp), decoded data in the window's
//   flushWindow (inflate/window.cpp), in the same pieces as they are written;
// - unzipOneFile compares the complement of crcRegister with the CRC-32 of
//   the entry's central record.
#ifndef VESK_CRC_H
#define VESK_CRC_H

#include <cstdint>

// crcTable advances the register by one byte. crcSlices[k] advances it by
// one byte followed by k + 1 zero bytes, so that sixteen bytes can be folded
// in with sixteen independent look-ups.
extern std::uint32_t crcTable[256];
extern std::uint32_t crcSlices[15][256];
// Running register of the current entry: preset to 0xFFFFFFFF, and the
// entry's CRC-32 is its complement after the last byte.
extern std::uint32_t crcRegister;

// Whether updateCrc folds 16 bytes at a time by carry-less multiplication,
// chosen by buildCrcTable for processors that can; the tables then serve
// only pieces shorter than 16 bytes and the tails of longer ones.
extern bool crcByFolding;

// Builds the tables and chooses the way, once, when the library is loaded.
void buildCrcTable();
// Folds the bytes into crcRegister; a length of 0 or less does nothing.
void updateCrc(const unsigned char* data, std::int32_t length);
// The register `crc` advanced over the bytes, for checks beside the
// entry's running CRC (a name's, say).
std::uint32_t advanceCrc(std::uint32_t crc, const unsigned char* data, std::int32_t length);

#endif
