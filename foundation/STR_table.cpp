// Installing string tables and looking texts up.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Memory.h"
#include "Package.h"
#include "STR.h"

namespace {

constexpr size_t kMaxTagLength = 32;
std::string gTag = "{{*MSWindows*}}";
std::vector<STR_Table*> gInstalled;

constexpr LocationCode Loc(uint32_t site) { return tv::Location(STR_PackageNumber, site); }

// The variant of text for the active tag; false when text holds no tag.
bool SelectVariant(std::string_view text, std::string& out) {
  size_t first = text.find("{{*");
  if (first == std::string_view::npos) return false;
  std::string_view tagName = std::string_view(gTag).substr(3, gTag.size() >= 6 ? gTag.size() - 6 : 0);
  size_t pos = first;
  while (pos != std::string_view::npos) {
    size_t nameStart = pos + 3;
    if (text.substr(nameStart, tagName.size()) == tagName) {
      size_t after = nameStart + tagName.size();
      if (text.substr(after, 3) == "*}}") {
        size_t start = after + 3;
        size_t end = text.find("{{*", start);
        out.assign(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        return true;
      }
      Up_ReportErrString(Loc(3), tv::kSevWarning, "bad replacement string tag.");
    }
    pos = text.find("{{*", pos + 3);
  }
  out.assign(text.substr(0, first));
  return true;
}

void FreeTable(STR_Table* t) {
  if (!t->texts) return;
  if (t->replaced) {
    for (int i = 0; i < t->count; ++i)
      if (t->replaced[i]) DisposePtr(const_cast<char*>(t->texts[i]));
    DisposePtr(reinterpret_cast<Ptr>(t->replaced));
  }
  DisposePtr(reinterpret_cast<Ptr>(t->texts));
  *t = STR_Table{};
}

ErrorCode Install(STR_Table* table, const char* const* compiled) {
  int count = 0;
  while (compiled[count] != STR_END) ++count;
  auto* texts = reinterpret_cast<const char**>(NewPtrClear(static_cast<Size>(sizeof(char*)) * (count + 1)));
  auto* replaced = reinterpret_cast<uint8_t*>(NewPtrClear(count + 1));
  if (!texts || !replaced) {
    if (texts) DisposePtr(reinterpret_cast<Ptr>(texts));
    if (replaced) DisposePtr(reinterpret_cast<Ptr>(replaced));
    return Up_ReportOutOfMemory(Loc(4), "string table", static_cast<uint64_t>(count) * sizeof(char*));
  }
  for (int i = 0; i < count; ++i) {
    texts[i] = compiled[i];
    std::string variant;
    if (SelectVariant(compiled[i], variant)) {
      Ptr copy = NewPtr(static_cast<Size>(variant.size() + 1));
      if (!copy) {
        STR_Table partial{static_cast<int16_t>(count), texts, replaced};
        FreeTable(&partial);
        return Up_ReportOutOfMemory(Loc(5), "string table replacement entry", variant.size() + 1);
      }
      std::memcpy(copy, variant.c_str(), variant.size() + 1);
      texts[i] = copy;
      replaced[i] = 1;
    }
  }
  FreeTable(table);
  table->count = static_cast<int16_t>(count);
  table->texts = texts;
  table->replaced = replaced;
  bool known = false;
  for (STR_Table* t : gInstalled) known = known || t == table;
  if (!known) gInstalled.push_back(table);
  return 0;
}

}  // namespace

TV_PACKAGE_VERSION_OPS(STR, STR_PackageNumber)

ErrorCode STRp_BirthStrTab(const STR_Descriptor* descriptors) {
  if (!descriptors) return tv::kErrBadParam;
  for (const STR_Descriptor* d = descriptors; d->table; ++d) {
    if (!d->compiled) return STRp_ForgotInit(0);
    if (ErrorCode err = Install(d->table, d->compiled)) return err;
  }
  return 0;
}

const char* STRp_Lookup(const STR_Table* table, int32_t index) {
  if (!table || !table->texts || index < 0 || index >= table->count) return "[?]";
  return table->texts[index];
}

ErrorCode STRp_ForgotInit(int32_t packageNumber) {
  tv::report::Text(Loc(2), tv::kSevFatal, "no strings for pkg #%d!", {packageNumber});
  return STR_ErrNoStrings;
}

ErrorCode STRp_Death(void) {
  for (STR_Table* t : gInstalled) FreeTable(t);
  gInstalled.clear();
  return 0;
}

ErrorCode STR_UseReplacementTag(const char* tag) {
  if (!tag || !tag[0] || std::strlen(tag) > kMaxTagLength) return 0;
  gTag = tag;
  return 0;
}

namespace tv::str {
ErrorCode EnsureTable(STR_Table& table, const char* const* compiled) {
  if (table.texts) return 0;
  if (!compiled) return STRp_ForgotInit(0);
  return Install(&table, compiled);
}
}  // namespace tv::str
