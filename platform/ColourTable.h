// Native colour tables: the platform's form of the colour lookup table that an
// indexed pixel map or a graphics device carries. There is no display
// hardware: a table is plain memory, and installing entries into a device is
// writing them into the device's table.
//
// What callers may rely on:
// - A table is a relocatable block (a Handle of the memory manager) holding a
//   ColourTableHeader followed by header.size + 1 ColourSpec entries, and
//   nothing else: a block of any other size is not a table.
// - Components are 16-bit; an 8-bit value v is stored as v * 0x101 (0xAB ->
//   0xABAB) and read back as the high byte.
// - Every table made or changed here takes a new seed; seeds made here count
//   up from kFirstPlatformSeed, so they never meet the small change stamps a
//   caller stores in a table of its own.
// - Nothing here reports: failures are answered with the platform's codes
//   (-108 no memory, -109 a null handle, -111 not a table, -50 bad arguments).
#pragma once

#include <cstdint>
#include <span>

#include "Memory.h"
#include "Types.h"

namespace tv::platform {

struct ColourSpec {
  int16_t value;  // the entry's index
  uint16_t red;
  uint16_t green;
  uint16_t blue;
};

struct ColourTableHeader {
  int32_t seed;
  int16_t flags;
  int16_t size;  // entries - 1
};

static_assert(sizeof(ColourSpec) == 8 && sizeof(ColourTableHeader) == 8);

constexpr int32_t kMaxColourEntries = 32768;
constexpr int32_t kFirstPlatformSeed = 0x10000000;

// The standard table of an indexed depth (1, 2, 4 or 8): entry `index` as
// 0xRRGGBB, or 0 (black) for any other depth or an index outside the table.
//   depth 1: white, black
//   depth 2: white, light grey, dark grey, black
//   depth 4: sixteen colours ending in three greys and black
//   depth 8: the 6x6x6 cube (levels FF, CC, 99, 66, 33, 00, red slowest, blue
//            fastest) without black, ramps of red, green, blue and grey with
//            levels EE, DD, BB, AA, 88, 77, 55, 44, 22, 11, then black
uint32_t StandardColour(int32_t depth, int32_t index);

// A new seed (never the same twice in a process).
int32_t NewColourSeed();

// A table of `entries` (0 to kMaxColourEntries) black entries whose values
// are their indices, with a new seed and flags 0; null when memory is short
// or the count is out of range.
Handle NewColourTable(int32_t entries);
// The standard table of depth 1, 2, 4 or 8; null for another depth or when
// memory is short.
Handle NewStandardColourTable(int32_t depth);
void DisposeColourTable(Handle table);

// Entries of a table, or -1 when the handle is not one (null, purged, or a
// block whose size does not match its header).
int32_t ColourTableEntries(Handle table);
// The header and the entries of a table; valid until the block is resized
// (no allocation happens in between unless the caller makes one).
ColourTableHeader& ColourTableHead(Handle table);
std::span<ColourSpec> ColourTableSpecs(Handle table);

// Makes the block hold a table of `entries` (0 to kMaxColourEntries): the
// header's size is set, entries kept up to the new count, new entries black
// with their indices as values; the seed and flags are kept. An empty or
// purged block is given a new one. 0, -109 (null), -50 (count) or -108.
OSErr ResizeColourTable(Handle table, int32_t entries);

// Makes destination an exact copy of source (size, seed, flags, entries);
// 0, -111 (source not a table), -109 (null destination) or -108.
OSErr CopyColourTable(Handle source, Handle destination);

// Writes specs into the table from entry `first` (their values become their
// new indices) and gives the table a new seed: the platform's "set entries"
// of a device. 0, -111 (not a table) or -50 (range outside the table).
OSErr SetColourTableEntries(Handle table, int32_t first, std::span<const ColourSpec> specs);

// Components of an 8-bit value, and the 8-bit value of a component.
constexpr uint16_t Component(uint32_t byte) { return static_cast<uint16_t>((byte & 0xFF) * 0x101); }
constexpr uint32_t ComponentByte(uint16_t component) { return component >> 8; }

}  // namespace tv::platform
