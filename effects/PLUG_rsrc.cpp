// Bounded readers of plug-in files: the ELF64 section table (to find the
// resource map without loading the library), the resource map and the
// property list. Every offset, count and length is checked in 64-bit
// arithmetic against the block that holds it before anything is read.
#include <algorithm>
#include <elf.h>

#include "PLUG_internal.h"
#include "Scratch.h"

namespace tv::plug {
namespace {

constexpr uint32_t kMapHeader = 12;
constexpr uint32_t kMapEntry = 16;
constexpr uint32_t kPropHeader = 16;
constexpr uint64_t kMaxSectionHeaders = 0xFFFF;
constexpr uint64_t kMaxNames = 1u << 20;  // bytes of the section-name table read at most

#if defined(__x86_64__)
constexpr uint16_t kHostMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kHostMachine = EM_AARCH64;
#else
constexpr uint16_t kHostMachine = EM_NONE;
#endif

}  // namespace

uint32_t MapCount(std::span<const uint8_t> map) { return LoadLE32(map.data() + 8); }

ResEntry MapEntry(std::span<const uint8_t> map, uint32_t n) {
  const uint8_t* e = map.data() + kMapHeader + uint64_t(n) * kMapEntry;
  return {LoadLE32(e), static_cast<int32_t>(LoadLE32(e + 4)), LoadLE32(e + 8), LoadLE32(e + 12)};
}

const char* CheckMap(std::span<const uint8_t> map) {
  if (map.size() < kMapHeader) return "resource map shorter than its header";
  if (std::memcmp(map.data(), "TVRS", 4) != 0) return "no resource map signature";
  if (LoadLE16(map.data() + 4) != PLUG_RsrcVersion) return "resource map of an unknown version";
  const uint64_t count = MapCount(map);
  if (count > (map.size() - kMapHeader) / kMapEntry) return "resource map count larger than the map";
  const uint64_t dataStart = kMapHeader + count * kMapEntry;
  ScratchArray<ResEntry> entries(static_cast<size_t>(count));
  if (!entries.ok()) return "resource map too large";
  for (uint32_t i = 0; i < count; ++i) {
    const ResEntry e = MapEntry(map, i);
    if (e.offset < dataStart || uint64_t(e.offset) + e.length > map.size())
      return "resource outside its map";
    if (e.offset % 4) return "resource not aligned";
    entries[i] = e;
  }
  std::sort(entries.begin(), entries.end(),
            [](const ResEntry& a, const ResEntry& b) { return a.offset < b.offset; });
  uint64_t end = dataStart;
  for (const ResEntry& e : entries) {
    if (e.length == 0) continue;
    if (e.offset < end) return "resources overlap";
    end = uint64_t(e.offset) + e.length;
  }
  return nullptr;
}

std::span<const uint8_t> FindResource(std::span<const uint8_t> map, FourCC type, int32_t nth, bool byId,
                                      int32_t id) {
  const uint32_t count = MapCount(map);
  int32_t seen = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const ResEntry e = MapEntry(map, i);
    if (e.type != type) continue;
    if (byId ? e.id == id : seen++ == nth) return map.subspan(e.offset, e.length);
  }
  return {};
}

const char* CheckPiPLBytes(std::span<const uint8_t> pipl) {
  if (pipl.size() < 8) return "property list shorter than its header";
  const uint64_t count = LoadLE32(pipl.data() + 4);
  if (count > (pipl.size() - 8) / kPropHeader) return "property count larger than the list";
  uint64_t at = 8;
  for (uint64_t i = 0; i < count; ++i) {
    if (at + kPropHeader > pipl.size()) return "property outside the list";
    const uint64_t length = LoadLE32(pipl.data() + at + 12);
    if (at + kPropHeader + length > pipl.size()) return "property data outside the list";
    at += kPropHeader + ((length + 3) & ~uint64_t(3));
  }
  return nullptr;
}

bool FindProp(std::span<const uint8_t> pipl, FourCC key, int32_t id, std::span<const uint8_t>* data) {
  const uint32_t count = LoadLE32(pipl.data() + 4);
  uint64_t at = 8;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = pipl.data() + at;
    const uint32_t length = LoadLE32(p + 12);
    if (LoadLE32(p + 4) == key && static_cast<int32_t>(LoadLE32(p + 8)) == id) {
      *data = pipl.subspan(at + kPropHeader, length);
      return true;
    }
    at += kPropHeader + ((uint64_t(length) + 3) & ~uint64_t(3));
  }
  return false;
}

void CopyPString(std::span<const uint8_t> data, size_t at, char* out, size_t room) {
  std::memset(out, 0, room);
  if (at >= data.size()) return;
  size_t n = data[at];
  // A length byte larger than the room or the property is cut to fit.
  n = std::min({n, room - 1, data.size() - at - 1});
  std::memcpy(out, data.data() + at + 1, n);
}

const char* FindElfSection(ReadAt read, void* ctx, uint64_t fileSize, const char* name, uint64_t* offset,
                           uint64_t* size, bool* isElf) {
  *offset = *size = 0;
  *isElf = false;
  uint8_t h[sizeof(Elf64_Ehdr)];
  if (fileSize < 4 || !read(ctx, 0, h, 4)) return "file too short for a library";
  if (std::memcmp(h, ELFMAG, SELFMAG) != 0) return "not an ELF library";
  *isElf = true;
  if (fileSize < sizeof h || !read(ctx, 0, h, sizeof h)) return "truncated ELF header";
  if (h[EI_CLASS] != ELFCLASS64) return "not a 64-bit library";
  if (h[EI_DATA] != ELFDATA2LSB) return "not a little-endian library";
  if (LoadLE16(h + offsetof(Elf64_Ehdr, e_type)) != ET_DYN) return "not a shared library";
  if (LoadLE16(h + offsetof(Elf64_Ehdr, e_machine)) != kHostMachine) return "library for another machine";
  const uint64_t shoff = LoadLE64(h + offsetof(Elf64_Ehdr, e_shoff));
  const uint64_t shentsize = LoadLE16(h + offsetof(Elf64_Ehdr, e_shentsize));
  const uint64_t shnum = LoadLE16(h + offsetof(Elf64_Ehdr, e_shnum));
  const uint64_t shstrndx = LoadLE16(h + offsetof(Elf64_Ehdr, e_shstrndx));
  if (shnum == 0) return "library without sections";
  if (shentsize != sizeof(Elf64_Shdr)) return "unknown section header size";
  if (shnum > kMaxSectionHeaders || shoff > fileSize || shnum * shentsize > fileSize - shoff)
    return "section headers outside the file";
  if (shstrndx >= shnum) return "section name table outside the section headers";
  ScratchArray<uint8_t> headers(static_cast<size_t>(shnum * shentsize));
  if (!headers.ok()) return "section headers too large";
  if (!read(ctx, shoff, headers.data(), static_cast<uint32_t>(headers.size()))) return "unreadable section headers";
  auto field64 = [&](uint64_t i, size_t off) { return LoadLE64(headers.data() + i * shentsize + off); };
  auto field32 = [&](uint64_t i, size_t off) { return LoadLE32(headers.data() + i * shentsize + off); };
  const uint64_t namesOff = field64(shstrndx, offsetof(Elf64_Shdr, sh_offset));
  const uint64_t namesSize = field64(shstrndx, offsetof(Elf64_Shdr, sh_size));
  if (namesSize > kMaxNames || namesOff > fileSize || namesSize > fileSize - namesOff)
    return "section name table outside the file";
  ScratchArray<char> names(static_cast<size_t>(namesSize));
  if (!names.ok()) return "section name table too large";
  if (namesSize && !read(ctx, namesOff, names.data(), static_cast<uint32_t>(namesSize)))
    return "unreadable section name table";
  const size_t want = std::strlen(name);
  for (uint64_t i = 0; i < shnum; ++i) {
    const uint64_t at = field32(i, offsetof(Elf64_Shdr, sh_name));
    if (at >= namesSize || namesSize - at < want + 1) continue;
    if (std::memcmp(names.data() + at, name, want + 1) != 0) continue;
    if (field32(i, offsetof(Elf64_Shdr, sh_type)) == SHT_NOBITS) return "resource section holds no bytes";
    const uint64_t off = field64(i, offsetof(Elf64_Shdr, sh_offset));
    const uint64_t sz = field64(i, offsetof(Elf64_Shdr, sh_size));
    if (off > fileSize || sz > fileSize - off) return "resource section outside the file";
    *offset = off;
    *size = sz;
    return nullptr;
  }
  return nullptr;  // an intact library without the section: *size 0
}

}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

ErrorCode PLUG_CheckResMap(const void* data, int64_t size) {
  if (!data || size < 0) return kErrResource;
  return CheckMap({static_cast<const uint8_t*>(data), static_cast<size_t>(size)}) ? kErrResource : 0;
}

ErrorCode PLUG_CheckPiPL(const void* data, int64_t size) {
  if (!data || size < 0) return kErrResource;
  return CheckPiPLBytes({static_cast<const uint8_t*>(data), static_cast<size_t>(size)}) ? kErrResource : 0;
}
