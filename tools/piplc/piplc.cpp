// piplc: compiles a plug-in's text property list into the C source of its
// ".tvrsrc" resource section (and optionally the side-car file), and prints
// the resources of a plug-in file (--dump).
//
// The text form, one statement a line ('#' starts a comment):
//   kind eFKT                      'kind'  the plug-in kind
//   name "Sample Invert"           'name'  display name (32-byte counted string)
//   category "Samples"             'catg'  category (32-byte counted string)
//   match_name "SMPL Invert"       'eMNA'  match name (48-byte counted string)
//   entry tv_effect_entry          'pwpc'  24 reserved bytes, then the counted entry name
//   pipl_version 2.0               'ePVR'  major << 16 | minor
//   spec_version 12.0              'eSVR'  major << 16 | minor
//   effect_version 0x80001         'eVER'
//   info_flags 0                   'eINF'  2 bytes
//   global_outflags 0x0            'eGLO'
//   tv_flags 8                     'tvFL'
//   u32 KEY value | u16 KEY value | string KEY size "text" | bytes KEY hex
//   resource TYPE id file          another resource of the map (file relative to the input)
// Integers are little-endian, as in every resource map.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "PLUG_internal.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kVendor = PLUG_FOURCC('T', 'V', 'L', 'O');

void PutLE(Bytes& b, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Failure {
  std::string text;
};

[[noreturn]] void Fail(int line, const std::string& what) {
  throw Failure{"line " + std::to_string(line) + ": " + what};
}

uint32_t ParseCode(int line, std::string s) {
  if (s.size() == 6 && s.front() == '\'' && s.back() == '\'') s = s.substr(1, 4);
  if (s.size() != 4) Fail(line, "a four-character code is expected, not \"" + s + "\"");
  return PLUG_FOURCC(s[0], s[1], s[2], s[3]);
}

uint64_t ParseNumber(int line, const std::string& s, uint64_t max) {
  size_t used = 0;
  uint64_t v = 0;
  try {
    v = std::stoull(s, &used, 0);
  } catch (...) {
    used = 0;
  }
  if (used != s.size() || v > max) Fail(line, "bad number \"" + s + "\"");
  return v;
}

uint32_t ParseVersion(int line, const std::string& s) {
  const size_t dot = s.find('.');
  if (dot == std::string::npos) Fail(line, "a version major.minor is expected");
  return static_cast<uint32_t>(ParseNumber(line, s.substr(0, dot), 0xFFFF) << 16 |
                               ParseNumber(line, s.substr(dot + 1), 0xFFFF));
}

// Splits a line into words and quoted strings.
std::vector<std::string> Tokens(int line, const std::string& text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    if (isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (text[i] == '#') {
      break;
    } else if (text[i] == '"') {
      std::string s;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        s += text[i];
      }
      if (i >= text.size()) Fail(line, "unterminated string");
      ++i;
      out.push_back(s);
    } else {
      size_t j = i;
      while (j < text.size() && !isspace(static_cast<unsigned char>(text[j]))) ++j;
      out.push_back(text.substr(i, j - i));
      i = j;
    }
  }
  return out;
}

Bytes Counted(int line, const std::string& s, size_t room) {
  if (s.size() > 255 || s.size() + 1 > room) Fail(line, "text \"" + s + "\" longer than its room");
  Bytes b(room, 0);
  b[0] = static_cast<uint8_t>(s.size());
  std::copy(s.begin(), s.end(), b.begin() + 1);
  return b;
}

struct Resource {
  uint32_t type;
  int32_t id;
  Bytes data;
};

struct Compiled {
  Bytes pipl;
  std::vector<Resource> extra;
};

Compiled Compile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Failure{"cannot read " + path};
  const std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
  std::vector<std::pair<uint32_t, Bytes>> props;
  Compiled c;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    const auto t = Tokens(line, text);
    if (t.empty()) continue;
    auto need = [&](size_t n) {
      if (t.size() != n) Fail(line, "\"" + t[0] + "\" takes " + std::to_string(n - 1) + " value(s)");
    };
    auto u32 = [&](uint32_t key, uint64_t v) {
      Bytes b;
      PutLE(b, v, 4);
      props.emplace_back(key, b);
    };
    const std::string& k = t[0];
    if (k == "kind") need(2), u32(PLUG_FOURCC('k', 'i', 'n', 'd'), ParseCode(line, t[1]));
    else if (k == "name") need(2), props.emplace_back(PLUG_FOURCC('n', 'a', 'm', 'e'), Counted(line, t[1], 32));
    else if (k == "category") need(2), props.emplace_back(PLUG_FOURCC('c', 'a', 't', 'g'), Counted(line, t[1], 32));
    else if (k == "match_name") need(2), props.emplace_back(PLUG_FOURCC('e', 'M', 'N', 'A'), Counted(line, t[1], 48));
    else if (k == "entry") {
      need(2);
      Bytes b(24, 0);
      const Bytes name = Counted(line, t[1], t[1].size() + 1);
      b.insert(b.end(), name.begin(), name.end());
      props.emplace_back(PLUG_FOURCC('p', 'w', 'p', 'c'), b);
    } else if (k == "pipl_version") need(2), u32(PLUG_FOURCC('e', 'P', 'V', 'R'), ParseVersion(line, t[1]));
    else if (k == "spec_version") need(2), u32(PLUG_FOURCC('e', 'S', 'V', 'R'), ParseVersion(line, t[1]));
    else if (k == "effect_version") need(2), u32(PLUG_FOURCC('e', 'V', 'E', 'R'), ParseNumber(line, t[1], 0xFFFFFFFF));
    else if (k == "global_outflags") need(2), u32(PLUG_FOURCC('e', 'G', 'L', 'O'), ParseNumber(line, t[1], 0xFFFFFFFF));
    else if (k == "tv_flags") need(2), u32(PLUG_FOURCC('t', 'v', 'F', 'L'), ParseNumber(line, t[1], 0xFFFFFFFF));
    else if (k == "info_flags" || k == "u16") {
      const bool generic = k == "u16";
      need(generic ? 3 : 2);
      Bytes b;
      PutLE(b, ParseNumber(line, t.back(), 0xFFFF), 2);
      props.emplace_back(generic ? ParseCode(line, t[1]) : PLUG_FOURCC('e', 'I', 'N', 'F'), b);
    } else if (k == "u32") need(3), u32(ParseCode(line, t[1]), ParseNumber(line, t[2], 0xFFFFFFFF));
    else if (k == "string") {
      need(4);
      props.emplace_back(ParseCode(line, t[1]), Counted(line, t[3], ParseNumber(line, t[2], 256)));
    } else if (k == "bytes") {
      need(3);
      if (t[2].size() % 2) Fail(line, "an even count of hex digits is expected");
      Bytes b;
      for (size_t i = 0; i < t[2].size(); i += 2) b.push_back(static_cast<uint8_t>(ParseNumber(line, "0x" + t[2].substr(i, 2), 0xFF)));
      props.emplace_back(ParseCode(line, t[1]), b);
    } else if (k == "resource") {
      need(4);
      std::ifstream f(dir + "/" + t[3], std::ios::binary);
      if (!f) Fail(line, "cannot read " + t[3]);
      Bytes data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      c.extra.push_back({ParseCode(line, t[1]), static_cast<int32_t>(ParseNumber(line, t[2], 0x7FFFFFFF)), data});
    } else {
      Fail(line, "unknown statement \"" + k + "\"");
    }
  }
  PutLE(c.pipl, 0, 4);  // version
  PutLE(c.pipl, props.size(), 4);
  for (const auto& [key, data] : props) {
    PutLE(c.pipl, kVendor, 4);
    PutLE(c.pipl, key, 4);
    PutLE(c.pipl, 0, 4);
    PutLE(c.pipl, data.size(), 4);
    c.pipl.insert(c.pipl.end(), data.begin(), data.end());
    c.pipl.resize((c.pipl.size() + 3) & ~size_t(3), 0);
  }
  return c;
}

Bytes BuildMap(const Compiled& c) {
  std::vector<Resource> all{{PLUG_FOURCC('P', 'i', 'P', 'L'), 16000, c.pipl}};
  all.insert(all.end(), c.extra.begin(), c.extra.end());
  Bytes map = {'T', 'V', 'R', 'S'};
  PutLE(map, PLUG_RsrcVersion, 2);
  PutLE(map, 0, 2);
  PutLE(map, all.size(), 4);
  size_t at = 12 + 16 * all.size();
  Bytes data;
  for (const Resource& r : all) {
    PutLE(map, r.type, 4);
    PutLE(map, static_cast<uint32_t>(r.id), 4);
    PutLE(map, at + data.size(), 4);
    PutLE(map, r.data.size(), 4);
    data.insert(data.end(), r.data.begin(), r.data.end());
    data.resize((data.size() + 3) & ~size_t(3), 0);
  }
  map.insert(map.end(), data.begin(), data.end());
  return map;
}

void WriteC(const Bytes& map, const std::string& from, const std::string& out) {
  std::ofstream o(out);
  o << "/* Generated by piplc from " << from << ": the plug-in's resource map. */\n"
    << "__attribute__((used, section(\".tvrsrc\"), aligned(4), visibility(\"default\")))\n"
    << "const unsigned char tv_plugin_resources[" << map.size() << "] = {";
  for (size_t i = 0; i < map.size(); ++i) o << (i % 16 ? " " : "\n  ") << static_cast<int>(map[i]) << ",";
  o << "\n};\n";
  if (!o) throw Failure{"cannot write " + out};
}

std::string CodeText(uint32_t c) {
  std::string s = "'";
  for (int i = 3; i >= 0; --i) {
    const char ch = static_cast<char>(c >> (8 * i));
    s += isprint(static_cast<unsigned char>(ch)) ? ch : '?';
  }
  return s + "'";
}

bool ReadAt(void* ctx, uint64_t offset, void* buffer, uint32_t count) {
  auto* f = static_cast<std::ifstream*>(ctx);
  f->clear();
  f->seekg(static_cast<std::streamoff>(offset));
  f->read(static_cast<char*>(buffer), count);
  return f->gcount() == static_cast<std::streamsize>(count);
}

int Dump(const std::string& path) {
  using namespace tv::plug;
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  if (!f) throw Failure{"cannot read " + path};
  const uint64_t size = static_cast<uint64_t>(f.tellg());
  uint64_t off = 0, len = 0;
  bool isElf = false;
  const char* why = FindElfSection(ReadAt, &f, size, ".tvrsrc", &off, &len, &isElf);
  if (why && isElf) throw Failure{path + ": " + why};
  std::string source = path;
  if (!isElf || !len) {
    source = path + ".rsrc";
    std::ifstream s(source, std::ios::binary | std::ios::ate);
    if (!s) throw Failure{path + ": no resource section and no side-car"};
    len = static_cast<uint64_t>(s.tellg());
    off = 0;
    f.swap(s);
  }
  if (len > (16u << 20)) throw Failure{path + ": resource map too large"};
  Bytes map(len);
  if (!ReadAt(&f, off, map.data(), static_cast<uint32_t>(len))) throw Failure{"cannot read " + source};
  if (const char* bad = CheckMap(map)) throw Failure{source + ": " + bad};
  std::cout << source << ": " << MapCount(map) << " resource(s)\n";
  for (uint32_t i = 0; i < MapCount(map); ++i) {
    const ResEntry e = MapEntry(map, i);
    std::cout << "resource " << CodeText(e.type) << " " << e.id << ": " << e.length << " bytes\n";
    if (e.type != kPiPLType) continue;
    std::span<const uint8_t> p(map.data() + e.offset, e.length);
    if (const char* bad = CheckPiPLBytes(p)) {
      std::cout << "  malformed: " << bad << "\n";
      continue;
    }
    uint64_t at = 8;
    for (uint32_t n = 0, count = LoadLE32(p.data() + 4); n < count; ++n) {
      const uint32_t key = LoadLE32(p.data() + at + 4), plen = LoadLE32(p.data() + at + 12);
      std::cout << "  " << CodeText(key) << " " << static_cast<int32_t>(LoadLE32(p.data() + at + 8)) << " ["
                << plen << "]";
      for (uint32_t b = 0; b < plen && b < 48; ++b) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", p[at + 16 + b]);
        std::cout << hex;
      }
      std::cout << (plen > 48 ? " ...\n" : "\n");
      at += 16 + ((uint64_t(plen) + 3) & ~uint64_t(3));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Compiles a plug-in property list into its resource section, or prints a plug-in's resources."};
  std::string input, output, sidecar, dump;
  app.add_option("input", input, "the text property list");
  app.add_option("-o,--output", output, "the C source to write");
  app.add_option("--sidecar", sidecar, "also write the resource map as this side-car file");
  app.add_option("--dump", dump, "print the resources of a plug-in file");
  CLI11_PARSE(app, argc, argv);
  try {
    if (!dump.empty()) return Dump(dump);
    if (input.empty() || (output.empty() && sidecar.empty())) throw Failure{"an input and an output are needed"};
    const Bytes map = BuildMap(Compile(input));
    if (!output.empty()) WriteC(map, input, output);
    if (!sidecar.empty()) {
      std::ofstream s(sidecar, std::ios::binary);
      s.write(reinterpret_cast<const char*>(map.data()), static_cast<std::streamsize>(map.size()));
      if (!s) throw Failure{"cannot write " + sidecar};
    }
    return 0;
  } catch (const Failure& f) {
    std::cerr << "piplc: " << f.text << "\n";
    return 1;
  }
}
