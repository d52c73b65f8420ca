// Installing string tables and looking texts up.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "Memory.h"
#include "Package.h"
#include "STR_internal.h"

namespace tv::str {
namespace {

constexpr size_t kMaxTagLength = 32;
std::string gTag = "{{*MSWindows*}}";
std::vector<STR_Table*> gInstalled;
bool gDBCSafeDecided = false;
bool gDBCSafe = false;

constexpr std::string_view kOpen = "{{*";
constexpr std::string_view kClose = "*}}";

std::string_view TagName() { return std::string_view(gTag).substr(kOpen.size(), gTag.size() - 6); }

// The variant of text for the active tag; false when text holds no tag.
bool SelectVariant(std::string_view text, std::string& out) {
  size_t first = text.find(kOpen);
  if (first == std::string_view::npos) return false;
  std::string_view tagName = TagName();
  for (size_t pos = first; pos != std::string_view::npos; pos = text.find(kOpen, pos + kOpen.size())) {
    size_t nameStart = pos + kOpen.size();
    if (text.substr(nameStart, tagName.size()) != tagName) continue;
    size_t after = nameStart + tagName.size();
    if (text.substr(after, kClose.size()) == kClose) {
      size_t start = after + kClose.size();
      size_t end = text.find(kOpen, start);
      out.assign(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
      return true;
    }
    kReport.Note(kSiteBadTag, kSevWarning, kTextBadTag);
  }
  out.assign(text.substr(0, first));
  return true;
}

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Reads the entries of a string resource; false when its layout is broken or
// its count differs from the compiled texts the package indexes.
bool ParseResource(std::span<const uint8_t> bytes, int32_t compiledCount, std::vector<std::string>& entries) {
  if (bytes.size() < 2) return false;
  auto count = static_cast<int16_t>(Be16(bytes.data()));
  if (count < 0 || (compiledCount >= 0 && count != compiledCount)) return false;
  size_t pos = 2;
  for (int16_t i = 0; i < count; ++i) {
    if (bytes.size() - pos < 2) return false;
    size_t len = Be16(bytes.data() + pos);
    pos += 2;
    if (bytes.size() - pos < len) return false;
    entries.emplace_back(reinterpret_cast<const char*>(bytes.data() + pos), len);
    // A text stops at its first zero byte, as every text of a table does.
    entries.back().resize(std::strlen(entries.back().c_str()));
    pos += len;
  }
  return true;
}

// The double-byte safe form of text, when it differs.
bool MakeSafe(const std::string& text, std::string& out) {
  std::vector<char> buf(text.size() * 3 + 1);
  Boolean32 changed = 0;
  STR_MakeDBCSSafeStr(text.c_str(), static_cast<int32_t>(buf.size()), buf.data(), &changed);
  if (changed) out.assign(buf.data());
  return changed != 0;
}

// False when the list of installed tables could not grow.
bool Remember(STR_Table* table) {
  for (STR_Table* t : gInstalled)
    if (t == table) return true;
  try {
    gInstalled.push_back(table);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

bool DBCSafe() {
  if (!gDBCSafeDecided) {
    gDBCSafe = U_IsDoubleByteScript(U_GetSystemScript()) != 0;
    gDBCSafeDecided = true;
  }
  return gDBCSafe;
}
void SetDBCSafe(bool on) {
  gDBCSafeDecided = true;
  gDBCSafe = on;
}
void ForgetDBCSafe() { gDBCSafeDecided = false; }

void Free(STR_Table& t) {
  if (t.texts && t.replaced) {
    for (int i = 0; i < t.count; ++i)
      if (t.replaced[i]) DisposePtr(const_cast<char*>(t.texts[i]));
  }
  if (t.replaced) DisposePtr(reinterpret_cast<Ptr>(t.replaced));
  if (t.texts) DisposePtr(reinterpret_cast<Ptr>(t.texts));
  t = STR_Table{};
}

ErrorCode Fill(STR_Table& table, const char* const* compiled, int32_t resourceBase, bool quiet) {
  int32_t compiledCount = -1;
  if (compiled) {
    compiledCount = 0;
    while (compiled[compiledCount] != STR_END && compiledCount <= INT16_MAX) ++compiledCount;
    if (compiledCount > INT16_MAX)
      return kReport.Fail(kSiteTableSize, kErrRange, kTextStringTable);
  }
  std::vector<std::string> overrides;
  bool overridden = false;
  if (resourceBase != 0) {
    int32_t id = resourceBase + STR_ResourceIdOffset;
    std::span<const uint8_t> bytes = FindResource(id);
    if (!bytes.empty()) {
      overridden = ParseResource(bytes, compiledCount, overrides);
      if (!overridden) {
        overrides.clear();
        // The compiled texts stay in use.
        kReport.Note(kSiteDetach, kSevWarning, kTextDetaching);
      }
    }
    if (!overridden && !compiled) {
      char text[64];
      fmt::FormatTo(text, Up_GetString(8), {id});
      return kReport.Message(kSiteResourceMissing, kSevError, kErrResource, text);
    }
  }
  if (!compiled && !overridden) return STRp_ForgotInit(0);
  // Translated texts are already fit for the script: no double-byte
  // conversion from here on.
  if (overridden) SetDBCSafe(false);
  const int32_t count = overridden ? static_cast<int32_t>(overrides.size()) : compiledCount;

  auto allocate = [quiet](int64_t size) {
    return quiet ? U_AllocatePtrClearQuiet(size) : U_AllocatePtrClear(kReport.Loc(kSiteTableMemory), kReport.Text(kTextStringTable), size);
  };
  auto* texts = reinterpret_cast<const char**>(allocate(static_cast<int64_t>(sizeof(char*)) * (count + 1)));
  auto* replaced = texts ? reinterpret_cast<uint8_t*>(allocate(count + 1)) : nullptr;
  STR_Table fresh{static_cast<int16_t>(count), texts, replaced};
  if (!texts || !replaced) {
    Free(fresh);
    return kErrOutOfMemory;
  }
  const bool safe = DBCSafe();
  // The entries of a fresh table are freed if a working string cannot be made.
  struct FreeOnThrow {
    STR_Table& t;
    bool armed = true;
    ~FreeOnThrow() {
      if (armed) Free(t);
    }
  } guard{fresh};
  for (int32_t i = 0; i < count; ++i) {
    // A compiled text without a tag stays as it is (nothing to copy) unless
    // double-byte safety may change it.
    if (!overridden && !safe && std::string_view(compiled[i]).find(kOpen) == std::string_view::npos) {
      texts[i] = compiled[i];
      continue;
    }
    std::string text = overridden ? overrides[static_cast<size_t>(i)] : std::string(compiled[i]);
    bool differs = overridden;
    std::string variant;
    if (SelectVariant(text, variant)) {
      text.swap(variant);
      differs = true;
    }
    std::string converted;
    if (safe && MakeSafe(text, converted)) {
      text.swap(converted);
      differs = true;
    }
    if (!differs) {
      texts[i] = compiled[i];
      continue;
    }
    const int64_t bytes = static_cast<int64_t>(text.size()) + 1;
    Ptr copy = quiet ? U_AllocatePtrQuiet(bytes)
                     : U_AllocatePtr(kReport.Loc(kSiteEntryMemory), kReport.Text(kTextReplacement), bytes);
    if (!copy) return kErrOutOfMemory;  // the guard frees the fresh table
    std::memcpy(copy, text.c_str(), text.size() + 1);
    texts[i] = copy;
    replaced[i] = 1;
  }
  guard.armed = false;
  Free(table);
  table = fresh;
  return 0;
}

}  // namespace tv::str

using namespace tv;
using namespace tv::str;

ErrorCode STRp_BirthStrTab(const STR_Descriptor* descriptors) try {
  if (!descriptors) return kReport.BadParam(kSiteArgument, {"STRp_BirthStrTab"});
  // The double-byte mode follows the system script at each installation.
  ForgetDBCSafe();
  for (const STR_Descriptor* d = descriptors; d->table; ++d) {
    if (!d->compiled) return STRp_ForgotInit(0);
    if (ErrorCode err = Fill(*d->table, d->compiled, d->resourceBase, false)) return err;
    if (!Remember(d->table)) {
      Free(*d->table);
      return kReport.OutOfMemory(kSiteTableMemory, kTextStringTable, sizeof(STR_Table*));
    }
  }
  return 0;
} TV_CATCH(STR_PackageNumber)

const char* STRp_Lookup(const STR_Table* table, int32_t index) {
  if (!table || !table->texts || index < 0 || index >= table->count) return "[?]";
  return table->texts[index];
}

ErrorCode STRp_ForgotInit(int32_t packageNumber) {
  kReport.Note(kSiteForgotInit, kSevFatal, kTextNoStrings, {packageNumber});
  return STR_ErrNoStrings;
}

ErrorCode STRp_Death(void) {
  for (STR_Table* t : gInstalled) Free(*t);
  gInstalled.clear();
  ForgetDBCSafe();
  return 0;
}

ErrorCode STR_UseReplacementTag(const char* tag) try {
  if (!tag || !tag[0]) return 0;
  std::string_view t(tag);
  // Longer tags are ignored, and so are texts without the "{{*name*}}" form,
  // which could never match a tag inside an entry.
  if (t.size() > kMaxTagLength || t.size() <= kOpen.size() + kClose.size() || !t.starts_with(kOpen) ||
      !t.ends_with(kClose))
    return 0;
  gTag = tag;
  return 0;
} TV_CATCH(STR_PackageNumber)

ErrorCode STR_IsDBCSafeMode(Boolean32* on) {
  if (!on) return kReport.BadParam(kSiteArgument, {"STR_IsDBCSafeMode"});
  *on = DBCSafe() ? 1 : 0;
  return 0;
}

namespace tv::str {
ErrorCode EnsureTable(STR_Table& table, const char* const* compiled, bool quiet) {
  if (table.texts) return 0;
  if (!compiled) return STRp_ForgotInit(0);
  if (ErrorCode err = Fill(table, compiled, 0, quiet)) return err;
  if (!Remember(&table)) {
    Free(table);
    return quiet ? kErrOutOfMemory : kReport.OutOfMemory(kSiteTableMemory, kTextStringTable, sizeof(STR_Table*));
  }
  return 0;
}
}  // namespace tv::str
