// Native colour tables in relocatable blocks, the standard tables of the
// indexed depths, and installing entries.
#include <cstring>

#include "ColourTable.h"

namespace tv::platform {
namespace {

int32_t gNextSeed = kFirstPlatformSeed;

constexpr uint32_t kDepth2[4] = {0xFFFFFF, 0xACACAC, 0x555555, 0x000000};
constexpr uint32_t kDepth4[16] = {0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0907, 0xF30885, 0x4700A5,
                                  0x0000D4, 0x02ABEB, 0x1FB814, 0x006512, 0x562D05, 0x91713A,
                                  0xC0C0C0, 0x808080, 0x404040, 0x000000};
constexpr uint32_t kCubeLevels[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
constexpr uint32_t kRampLevels[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};

uint32_t Depth8(int32_t index) {
  if (index < 215)
    return (kCubeLevels[index / 36] << 16) | (kCubeLevels[(index / 6) % 6] << 8) | kCubeLevels[index % 6];
  if (index >= 255) return 0;
  const int32_t ramp = (index - 215) / 10;  // red, green, blue, grey
  const uint32_t level = kRampLevels[(index - 215) % 10];
  switch (ramp) {
    case 0:
      return level << 16;
    case 1:
      return level << 8;
    case 2:
      return level;
    default:
      return level * 0x010101u;
  }
}

constexpr Size BytesFor(int32_t entries) {
  return static_cast<Size>(sizeof(ColourTableHeader)) +
         static_cast<Size>(entries) * static_cast<Size>(sizeof(ColourSpec));
}

}  // namespace

uint32_t StandardColour(int32_t depth, int32_t index) {
  if (index < 0) return 0;
  switch (depth) {
    case 1:
      return index == 0 ? 0xFFFFFF : 0;
    case 2:
      return index < 4 ? kDepth2[index] : 0;
    case 4:
      return index < 16 ? kDepth4[index] : 0;
    case 8:
      return index < 256 ? Depth8(index) : 0;
    default:
      return 0;
  }
}

int32_t NewColourSeed() {
  // The count wraps back to the first platform seed rather than overflowing.
  if (gNextSeed == INT32_MAX) gNextSeed = kFirstPlatformSeed;
  return gNextSeed++;
}

Handle NewColourTable(int32_t entries) {
  if (entries < 0 || entries > kMaxColourEntries) return nullptr;
  Handle h = NewHandleClear(BytesFor(entries));
  if (!h) return nullptr;
  ColourTableHead(h) = ColourTableHeader{NewColourSeed(), 0, static_cast<int16_t>(entries - 1)};
  std::span<ColourSpec> specs = ColourTableSpecs(h);
  for (int32_t i = 0; i < entries; ++i) specs[static_cast<size_t>(i)].value = static_cast<int16_t>(i);
  return h;
}

Handle NewStandardColourTable(int32_t depth) {
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return nullptr;
  const int32_t entries = 1 << depth;
  Handle h = NewColourTable(entries);
  if (!h) return nullptr;
  std::span<ColourSpec> specs = ColourTableSpecs(h);
  for (int32_t i = 0; i < entries; ++i) {
    const uint32_t rgb = StandardColour(depth, i);
    ColourSpec& s = specs[static_cast<size_t>(i)];
    s.red = Component(rgb >> 16);
    s.green = Component(rgb >> 8);
    s.blue = Component(rgb);
  }
  return h;
}

void DisposeColourTable(Handle table) {
  if (table) DisposeHandle(table);
}

int32_t ColourTableEntries(Handle table) {
  if (!table || !*table) return -1;
  const Size bytes = GetHandleSize(table);
  if (bytes < BytesFor(0)) return -1;
  const int32_t entries = int32_t{reinterpret_cast<const ColourTableHeader*>(*table)->size} + 1;
  if (entries < 0 || bytes != BytesFor(entries)) return -1;
  return entries;
}

ColourTableHeader& ColourTableHead(Handle table) { return *reinterpret_cast<ColourTableHeader*>(*table); }

std::span<ColourSpec> ColourTableSpecs(Handle table) {
  auto* first = reinterpret_cast<ColourSpec*>(*table + sizeof(ColourTableHeader));
  return {first, static_cast<size_t>(ColourTableHead(table).size + 1)};
}

namespace {
// Makes the block `bytes` long, keeping what fits; 0 or the memory manager's code.
OSErr SetBlockSize(Handle h, Size bytes) {
  if (!h) return kSysNilHandle;
  if (*h && GetHandleSize(h) == bytes) return 0;
  if (*h)
    SetHandleSize(h, bytes);
  else
    ReallocateHandle(h, bytes);
  if (OSErr err = MemError()) return err;
  return *h ? 0 : kSysMemFull;
}
}  // namespace

OSErr ResizeColourTable(Handle table, int32_t entries) {
  if (!table) return kSysNilHandle;
  if (entries < 0 || entries > kMaxColourEntries) return kSysParam;
  const int32_t old = ColourTableEntries(table);
  const bool keep = old >= 0;
  if (OSErr err = SetBlockSize(table, BytesFor(entries))) return err;
  ColourTableHeader& head = ColourTableHead(table);
  if (!keep) head = ColourTableHeader{NewColourSeed(), 0, 0};
  head.size = static_cast<int16_t>(entries - 1);
  std::span<ColourSpec> specs = ColourTableSpecs(table);
  for (int32_t i = keep ? old : 0; i < entries; ++i)
    specs[static_cast<size_t>(i)] = ColourSpec{static_cast<int16_t>(i), 0, 0, 0};
  return 0;
}

OSErr CopyColourTable(Handle source, Handle destination) {
  const int32_t entries = ColourTableEntries(source);
  if (entries < 0) return kSysMemWZ;
  if (!destination) return kSysNilHandle;
  if (source == destination) return 0;
  const Size bytes = BytesFor(entries);
  // Resizing the destination never moves the source (a block moves only
  // when its own handle is resized).
  if (OSErr err = SetBlockSize(destination, bytes)) return err;
  std::memcpy(*destination, *source, static_cast<size_t>(bytes));
  return 0;
}

OSErr SetColourTableEntries(Handle table, int32_t first, std::span<const ColourSpec> specs) {
  const int32_t entries = ColourTableEntries(table);
  if (entries < 0) return kSysMemWZ;
  if (first < 0 || static_cast<int64_t>(first) + static_cast<int64_t>(specs.size()) > entries)
    return kSysParam;
  std::span<ColourSpec> to = ColourTableSpecs(table).subspan(static_cast<size_t>(first), specs.size());
  // The specs may be entries of this very table: copied in the direction
  // that reads each entry before it is written.
  const size_t n = to.size();
  if (to.data() < specs.data())
    for (size_t i = 0; i < n; ++i) to[i] = specs[i];
  else
    for (size_t i = n; i-- > 0;) to[i] = specs[i];
  for (size_t i = 0; i < n; ++i) to[i].value = static_cast<int16_t>(first + static_cast<int32_t>(i));
  ColourTableHead(table).seed = NewColourSeed();
  return 0;
}

}  // namespace tv::platform
