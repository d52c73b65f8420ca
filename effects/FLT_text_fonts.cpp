// Fonts of the Text effect: names resolved through fontconfig (files,
// patterns, full names, families with or without a style), faces opened once
// with FreeType (its memory taken from the memory manager, so it counts
// against the budget) and HarfBuzz, and the fallback face for characters the
// chosen font lacks.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MODULE_H
#include <hb.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FLT_text.h"

namespace tv::flt::text {
namespace {

// FreeType's memory comes from the memory manager.
void* FtAlloc(FT_Memory, long size) { return NewPtr(static_cast<Size>(size)); }
void FtFree(FT_Memory, void* block) { DisposePtr(static_cast<Ptr>(block)); }
void* FtRealloc(FT_Memory, long current, long size, void* block) {
  Ptr p = NewPtr(static_cast<Size>(size));
  if (!p) return nullptr;
  if (block) {
    BlockMove(block, p, std::min(current, size));
    DisposePtr(static_cast<Ptr>(block));
  }
  return p;
}

struct Face {
  std::string file;
  int32_t index = 0;
  FT_Face ft = nullptr;
  hb_font_t* hb = nullptr;
  int32_t ftSize = 0, hbSize = 0;
  std::string family;       // for fallback ranking and messages
  std::string style;
  FcFontSet* ranked = nullptr;  // fonts fontconfig ranks for this face's family (made on first need)
};

bool IsFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A text cut to at most n bytes, never inside a UTF-8 sequence.
std::string Cut(std::string_view s, size_t n) {
  if (s.size() <= n) return std::string(s);
  while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
  return std::string(s.substr(0, n)) + "...";
}

std::string PatternString(FcPattern* p, const char* object) {
  FcChar8* v = nullptr;
  if (FcPatternGetString(p, object, 0, &v) != FcResultMatch || !v) return {};
  return reinterpret_cast<const char*>(v);
}

// A family name as fontconfig compares them: case and blanks aside.
std::string Folded(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  return out;
}

// Whether any of the pattern's values of object (a family, a style) is value.
bool HasString(FcPattern* p, const char* object, std::string_view value) {
  FcChar8* v = nullptr;
  const std::string want = Folded(value);
  for (int i = 0; FcPatternGetString(p, object, i, &v) == FcResultMatch; ++i)
    if (Folded(reinterpret_cast<const char*>(v)) == want) return true;
  return false;
}

bool HasFamily(FcPattern* p, std::string_view family) { return HasString(p, FC_FAMILY, family); }

// fontconfig's generic families (the default "Sans" among them): no font
// bears their names, the configuration says which font each one is.
bool IsGeneric(std::string_view family) {
  static constexpr std::string_view kGeneric[] = {"sans",    "sans-serif", "serif",     "mono",  "monospace",
                                                  "cursive", "fantasy",    "system-ui", "emoji", "math"};
  const std::string folded = Folded(family);
  return std::find(std::begin(kGeneric), std::end(kGeneric), folded) != std::end(kGeneric);
}

}  // namespace

struct Fonts::State {
  FT_MemoryRec_ memory{nullptr, &FtAlloc, &FtFree, &FtRealloc};
  FT_Library library = nullptr;
  FcConfig* config = nullptr;
  std::vector<Face> faces;
  std::unordered_map<std::string, FaceId> byName;
  std::unordered_map<uint64_t, FaceId> fallback;  // (primary << 32 | character) -> face, top bit: not covered
  std::unordered_set<std::string> warned;

  ~State() {
    for (Face& f : faces) {
      if (f.hb) hb_font_destroy(f.hb);
      if (f.ft) FT_Done_Face(f.ft);
      if (f.ranked) FcFontSetDestroy(f.ranked);
    }
    if (library) FT_Done_Library(library);
    if (config) FcConfigDestroy(config);
  }

  ErrorCode Library() {
    if (library) return 0;
    if (FT_New_Library(&memory, &library) != 0) {
      library = nullptr;
      return kReport.OutOfMemory(kSiteTextFont, kTextTextMemory, 0);
    }
    FT_Add_Default_Modules(library);
    return 0;
  }

  FcConfig* Config() {
    // The configuration is the engine's own: loaded on the first name to
    // resolve, released with the effect's globals.
    if (!config) config = FcInitLoadConfigAndFonts();
    return config;
  }

  // Opens (once) the face of a file; false when FreeType cannot use it for
  // outlines.
  bool Open(const std::string& file, int32_t index, FaceId* id) {
    for (size_t i = 0; i < faces.size(); ++i)
      if (faces[i].file == file && faces[i].index == index) {
        *id = static_cast<FaceId>(i);
        return true;
      }
    if (faces.size() >= 0xFFFF || Library()) return false;
    FT_Face ft = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &ft) != 0) return false;
    if (!FT_IS_SCALABLE(ft)) {
      FT_Done_Face(ft);
      return false;
    }
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.c_str());
    hb_face_t* hbFace = blob ? hb_face_create(blob, static_cast<unsigned>(index)) : nullptr;
    hb_blob_destroy(blob);
    hb_font_t* hb = hbFace ? hb_font_create(hbFace) : nullptr;
    hb_face_destroy(hbFace);
    if (!hb) {
      FT_Done_Face(ft);
      return false;
    }
    try {
      Face f;
      f.file = file;
      f.index = index;
      f.family = ft->family_name ? ft->family_name : "";
      f.style = ft->style_name ? ft->style_name : "";
      f.ft = ft;
      f.hb = hb;
      faces.push_back(std::move(f));
    } catch (...) {
      // The face is the table's only once it is in it.
      hb_font_destroy(hb);
      FT_Done_Face(ft);
      throw;
    }
    *id = static_cast<FaceId>(faces.size() - 1);
    return true;
  }

  bool OpenMatch(FcPattern* font, FaceId* id) {
    const std::string file = PatternString(font, FC_FILE);
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    return !file.empty() && Open(file, index, id);
  }

  // The best font for a pattern (after the configuration's substitutions);
  // null when fontconfig has none.
  FcPattern* Match(FcPattern* p) {
    FcPatternAddBool(p, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(Config(), p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result = FcResultNoMatch;
    return FcFontMatch(Config(), p, &result);
  }

  // The first installed font (by file, then index) whose object is value.
  bool ListFirst(const char* object, const std::string& value, const char* style, FaceId* id) {
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, object, reinterpret_cast<const FcChar8*>(value.c_str()));
    if (style) FcPatternAddString(p, FC_STYLE, reinterpret_cast<const FcChar8*>(style));
    FcPatternAddBool(p, FC_OUTLINE, FcTrue);
    FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
    FcFontSet* set = FcFontList(Config(), p, os);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    bool found = false;
    if (set) {
      std::vector<std::pair<std::string, int>> files;
      for (int i = 0; i < set->nfont; ++i) {
        int index = 0;
        FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
        files.emplace_back(PatternString(set->fonts[i], FC_FILE), index);
      }
      FcFontSetDestroy(set);
      std::sort(files.begin(), files.end());
      for (const auto& [file, index] : files)
        if (!file.empty() && Open(file, index, id)) {
          found = true;
          break;
        }
    }
    return found;
  }

  // A family's regular face: the match for the family, if it is that family.
  bool Family(const std::string& family, FaceId* id) {
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPattern* m = Match(p);
    FcPatternDestroy(p);
    const bool ok = m && HasFamily(m, family) && OpenMatch(m, id);
    if (m) FcPatternDestroy(m);
    return ok;
  }

  // A generic family's face as the configuration chooses it; with a style,
  // only a face of that style.
  bool Generic(const std::string& family, const char* style, FaceId* id) {
    if (!IsGeneric(family)) return false;
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (style) FcPatternAddString(p, FC_STYLE, reinterpret_cast<const FcChar8*>(style));
    FcPattern* m = Match(p);
    FcPatternDestroy(p);
    const bool ok = m && (!style || HasString(m, FC_STYLE, style)) && OpenMatch(m, id);
    if (m) FcPatternDestroy(m);
    return ok;
  }

  // The configuration's default sans-serif face.
  bool Default(FaceId* id) {
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPattern* m = Match(p);
    FcPatternDestroy(p);
    const bool ok = m && OpenMatch(m, id);
    if (m) FcPatternDestroy(m);
    return ok;
  }

  bool Find(const std::string& name, FaceId* id) {
    if (name.find('/') != std::string::npos) return IsFile(name) && Open(name, 0, id);
    if (name.find(':') != std::string::npos) {
      // A fontconfig pattern: the family it names (if any) must be there.
      FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(name.c_str()));
      if (!p) return false;
      const std::string family = PatternString(p, FC_FAMILY);
      FcPattern* m = Match(p);
      FcPatternDestroy(p);
      const bool ok = m && (family.empty() || IsGeneric(family) || HasFamily(m, family)) && OpenMatch(m, id);
      if (m) FcPatternDestroy(m);
      return ok;
    }
    if (Generic(name, nullptr, id)) return true;
    if (ListFirst(FC_FULLNAME, name, nullptr, id)) return true;
    if (Family(name, id)) return true;
    // A family followed by a style: the longest family that is installed.
    for (size_t cut = name.rfind(' '); cut != std::string::npos && cut > 0; cut = name.rfind(' ', cut - 1)) {
      const std::string family = name.substr(0, cut), style = name.substr(cut + 1);
      if (Generic(family, style.c_str(), id) || ListFirst(FC_FAMILY, family, style.c_str(), id)) return true;
    }
    return false;
  }

  // The fonts fontconfig ranks for a face's family, for fallback.
  FcFontSet* Ranked(Face& f) {
    if (f.ranked) return f.ranked;
    FcPattern* p = FcPatternCreate();
    if (!f.family.empty()) FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.family.c_str()));
    FcPatternAddBool(p, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(Config(), p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result = FcResultNoMatch;
    f.ranked = FcFontSort(Config(), p, FcTrue, nullptr, &result);
    FcPatternDestroy(p);
    return f.ranked;
  }
};

Fonts::Fonts() : s_(std::make_unique<State>()) {}
Fonts::~Fonts() = default;

ErrorCode Fonts::Resolve(std::string_view name, FaceId* face) {
  *face = 0;
  std::string key(name);
  key.erase(0, key.find_first_not_of(" \t"));
  key.erase(key.find_last_not_of(" \t") + 1);
  if (key.empty()) key = "Sans";
  if (auto it = s_->byName.find(key); it != s_->byName.end()) {
    *face = it->second;
    return 0;
  }
  if (ErrorCode err = s_->Library()) return err;
  FaceId id = 0;
  if (!s_->Find(key, &id)) {
    // A missing font never stops the render: the default face stands in.
    if (!s_->Default(&id))
      return kReport.Fail(kSiteTextFont, 5, kTextFontUnusable, {key});
    const Face& f = s_->faces[id];
    kReport.Note(kSiteTextFont, kSevWarning, kTextFontMissing, {key, f.family + " " + f.style});
  }
  s_->byName.emplace(key, id);
  *face = id;
  return 0;
}

bool Fonts::Has(FaceId face, uint32_t c) { return FT_Get_Char_Index(s_->faces[face].ft, c) != 0; }

FaceId Fonts::FaceFor(FaceId primary, uint32_t c, bool* covered) {
  *covered = true;
  if (Has(primary, c)) return primary;
  const uint64_t key = (uint64_t{primary} << 32) | c;
  constexpr FaceId kNone = 0xFFFF;
  if (auto it = s_->fallback.find(key); it != s_->fallback.end()) {
    *covered = it->second != kNone;
    return *covered ? it->second : primary;
  }
  FaceId found = kNone;
  if (FcFontSet* set = s_->Ranked(s_->faces[primary])) {
    for (int i = 0; i < set->nfont && found == kNone; ++i) {
      FcCharSet* cs = nullptr;
      FaceId id = 0;
      if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) == FcResultMatch && FcCharSetHasChar(cs, c) &&
          s_->OpenMatch(set->fonts[i], &id) && Has(id, c))
        found = id;
    }
  }
  s_->fallback.emplace(key, found);
  *covered = found != kNone;
  return *covered ? found : primary;
}

const std::string& Fonts::File(FaceId face) const { return s_->faces[face].file; }
int32_t Fonts::Index(FaceId face) const { return s_->faces[face].index; }

FT_FaceRec_* Fonts::SizedFace(FaceId face, int32_t size26) {
  Face& f = s_->faces[face];
  if (f.ftSize != size26) {
    if (FT_Set_Char_Size(f.ft, 0, size26, 72, 72) != 0) return nullptr;
    f.ftSize = size26;
  }
  return f.ft;
}

hb_font_t* Fonts::ShapingFont(FaceId face, int32_t size26) {
  Face& f = s_->faces[face];
  if (f.hbSize != size26) {
    hb_font_set_scale(f.hb, size26, size26);
    f.hbSize = size26;
  }
  return f.hb;
}

void Fonts::WarnUndrawable(std::string_view text, std::string_view font) {
  std::string key(font);
  key.push_back('\0');
  key.append(text);
  if (!s_->warned.insert(std::move(key)).second) return;
  kReport.Note(kSiteTextLayout, kSevWarning, kTextUndrawable, {Cut(text, 60)});
}

}  // namespace tv::flt::text
