// Builders of property lists, resource maps and small ELF64 libraries for the
// PLUG tests, and the fixture.
#pragma once

#include <elf.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "PLUG.h"
#include <gmock/gmock.h>

#include "TestSupport.h"

namespace tv::test {

using Bytes = std::vector<uint8_t>;

inline void PutLE(Bytes& b, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Pad4(Bytes& b) { b.resize((b.size() + 3) & ~size_t(3), 0); }

struct Prop {
  FourCC key;
  Bytes data;
  int32_t id = 0;
};
inline Bytes U32(uint32_t v) {
  Bytes b;
  PutLE(b, v, 4);
  return b;
}
inline Bytes Counted(const std::string& s, size_t room) {
  Bytes b(room, 0);
  b[0] = static_cast<uint8_t>(s.size());
  std::memcpy(b.data() + 1, s.data(), s.size());
  return b;
}

inline Bytes BuildPiPL(const std::vector<Prop>& props) {
  Bytes b;
  PutLE(b, 0, 4);
  PutLE(b, props.size(), 4);
  for (const Prop& p : props) {
    PutLE(b, PLUG_FOURCC('T', 'E', 'S', 'T'), 4);
    PutLE(b, p.key, 4);
    PutLE(b, static_cast<uint32_t>(p.id), 4);
    PutLE(b, p.data.size(), 4);
    b.insert(b.end(), p.data.begin(), p.data.end());
    Pad4(b);
  }
  return b;
}

struct Res {
  FourCC type;
  int32_t id;
  Bytes data;
};
inline Bytes BuildMap(const std::vector<Res>& rs) {
  Bytes m = {'T', 'V', 'R', 'S'};
  PutLE(m, 1, 2);
  PutLE(m, 0, 2);
  PutLE(m, rs.size(), 4);
  Bytes data;
  const size_t start = 12 + 16 * rs.size();
  for (const Res& r : rs) {
    PutLE(m, r.type, 4);
    PutLE(m, static_cast<uint32_t>(r.id), 4);
    PutLE(m, start + data.size(), 4);
    PutLE(m, r.data.size(), 4);
    data.insert(data.end(), r.data.begin(), r.data.end());
    Pad4(data);
  }
  m.insert(m.end(), data.begin(), data.end());
  return m;
}
inline Bytes MapOf(const Bytes& pipl) { return BuildMap({{PLUG_FOURCC('P', 'i', 'P', 'L'), 16000, pipl}}); }

// A minimal ELF64 shared object: header, the section's bytes, the section
// name table and three section headers (null, .shstrtab, the named section).
inline Bytes BuildElf(const Bytes& section, const char* name = ".tvrsrc") {
  Bytes f(sizeof(Elf64_Ehdr), 0);
  const size_t secOff = f.size();
  f.insert(f.end(), section.begin(), section.end());
  Pad4(f);
  const std::string names = std::string("\0.shstrtab\0", 11) + name + std::string(1, '\0');
  const size_t namesOff = f.size();
  f.insert(f.end(), names.begin(), names.end());
  while (f.size() % 8) f.push_back(0);
  const size_t shoff = f.size();
  auto sh = [&](uint32_t nameAt, uint32_t type, uint64_t off, uint64_t size) {
    Elf64_Shdr s{};
    s.sh_name = nameAt;
    s.sh_type = type;
    s.sh_offset = off;
    s.sh_size = size;
    const auto* p = reinterpret_cast<const uint8_t*>(&s);
    f.insert(f.end(), p, p + sizeof s);
  };
  sh(0, SHT_NULL, 0, 0);
  sh(1, SHT_STRTAB, namesOff, names.size());
  sh(11, SHT_PROGBITS, secOff, section.size());
  Elf64_Ehdr h{};
  std::memcpy(h.e_ident, ELFMAG, SELFMAG);
  h.e_ident[EI_CLASS] = ELFCLASS64;
  h.e_ident[EI_DATA] = ELFDATA2LSB;
  h.e_ident[EI_VERSION] = EV_CURRENT;
  h.e_type = ET_DYN;
#if defined(__aarch64__)
  h.e_machine = EM_AARCH64;
#else
  h.e_machine = EM_X86_64;
#endif
  h.e_version = EV_CURRENT;
  h.e_ehsize = sizeof h;
  h.e_shoff = shoff;
  h.e_shentsize = sizeof(Elf64_Shdr);
  h.e_shnum = 3;
  h.e_shstrndx = 1;
  std::memcpy(f.data(), &h, sizeof h);
  return f;
}
// Offset of the third section header's sh_offset in a BuildElf image.
inline size_t ResSectionHeader(const Bytes& elf) {
  Elf64_Ehdr h;
  std::memcpy(&h, elf.data(), sizeof h);
  return h.e_shoff + 2 * sizeof(Elf64_Shdr);
}

inline void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream o(path, std::ios::binary);
  o.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A complete effect property list.
inline std::vector<Prop> EffectProps(const std::string& match, uint32_t spec = 0xC0000) {
  return {{PLUG_FOURCC('k', 'i', 'n', 'd'), U32(PLUG_FOURCC('e', 'F', 'K', 'T'))},
          {PLUG_FOURCC('n', 'a', 'm', 'e'), Counted(match, 32)},
          {PLUG_FOURCC('c', 'a', 't', 'g'), Counted("Tests", 32)},
          {PLUG_FOURCC('e', 'P', 'V', 'R'), U32(0x20000)},
          {PLUG_FOURCC('e', 'M', 'N', 'A'), Counted(match, 48)},
          {PLUG_FOURCC('e', 'S', 'V', 'R'), U32(spec)},
          {PLUG_FOURCC('e', 'I', 'N', 'F'), Bytes{0, 0}},
          {PLUG_FOURCC('e', 'G', 'L', 'O'), U32(0)},
          {PLUG_FOURCC('e', 'V', 'E', 'R'), U32(0x80000)}};
}

class PLUGFixture : public UFixture {
 protected:
  PLUGFixture() : UFixture({PLUG_PackageNumber}) {}
  FILE_SpecH Ref(const std::string& path) { return specs_.New(path); }
  void TearDown() override {
    specs_.Clear();
    UFixture::TearDown();
  }

 private:
  Specs specs_;
};

}  // namespace tv::test
