// The registry of value types: birth, registration and look-up.
#include <cstring>
#include <string>
#include <vector>

#include "Package.h"
#include "VAL_internal.h"

namespace tv::val {
namespace {

struct Entry {
  char name[VAL_NameSize];
  const VAL_TypeRecord* record;
  int32_t number;
};

pkg::Lifecycle gLife(VAL_PackageNumber);
std::vector<Entry> gRegistry;

// Replaces ^1 (or ^L1) and ^2 in pattern.
std::string Substitute(std::string_view pattern, const char* s1, int32_t n1, const char* s2) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '^' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == '1') {
        out += s1 ? s1 : "";
        ++i;
        continue;
      }
      if (pattern[i + 1] == '2') {
        out += s2 ? s2 : "";
        ++i;
        continue;
      }
      if (pattern[i + 1] == 'L' && i + 2 < pattern.size() && pattern[i + 2] == '1') {
        out += fmt::Format("%ld", {n1});
        i += 2;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

void Append(const VAL_TypeRecord* record) {
  Entry e{};
  char name[VAL_NameSize] = {};
  NameOf(record, name);
  std::memcpy(e.name, name, VAL_NameSize);
  e.record = record;
  e.number = static_cast<int32_t>(gRegistry.size());
  gRegistry.push_back(e);
}

}  // namespace

ErrorCode Verify(uint32_t site, const char* description) {
  U_ReportFailedVerification(Loc(site), 0, description, nullptr);
  return kErrBadParam;
}

ErrorCode ReportCode(uint32_t site, ErrorCode code, Text text, const char* s1, int32_t n1, const char* s2) {
  std::string msg = Substitute(STRp_Lookup(&VALp_G_STRs, text), s1, n1, s2);
  Up_ReportErrString(Loc(site), kSevError, msg.c_str());
  return code;
}

void NameOf(const VAL_TypeRecord* record, char (&name)[VAL_NameSize]) {
  std::memset(name, 0, VAL_NameSize);
  if (record && record->getName) record->getName(record->data, name);
  name[VAL_NameSize - 1] = 0;
}

const VAL_TypeRecord* RecordOf(int32_t type, uint32_t site) {
  if (type < 0 || static_cast<size_t>(type) >= gRegistry.size()) {
    report::Code(Loc(site), kSevError, kErrRange, "looking up VAL type %ld", {type});
    return nullptr;
  }
  return gRegistry[static_cast<size_t>(type)].record;
}

}  // namespace tv::val

using namespace tv;
using namespace tv::val;

ErrorCode VAL_Birth(void) {
  if (ErrorCode err = str::EnsureTable(VALp_G_STRs, kCompiledStrings)) return err;
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  gRegistry.clear();
  gRegistry.reserve(48);
  // The placeholders share one name, so they are appended without the
  // duplicate-name check that VAL_RegisterType applies.
  for (int32_t slot = 0; slot < VAL_FirstRegisteredType; ++slot) Append(BuiltinRecord(slot));
  return 0;
}

ErrorCode VAL_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  gRegistry.clear();
  gRegistry.shrink_to_fit();
  return 0;
}

ErrorCode VAL_RegisterType(const VAL_TypeRecord* record, int32_t* type) {
  if (type) *type = 0;
  if (!record || !type) return Verify(kSiteRegister, "a type record and a place for its number");
  char name[VAL_NameSize];
  NameOf(record, name);
  for (const Entry& e : gRegistry) {
    if (std::strncmp(e.name, name, VAL_NameSize) == 0)
      return ReportCode(kSiteRegister, VAL_ErrAlreadyRegistered, kTextAlreadyRegistered, name);
  }
  Append(record);
  *type = gRegistry.back().number;
  return 0;
}

ErrorCode VAL_UnregisterType(int32_t) { return 0; }

ErrorCode VAL_RegisterNameLookup(void) { return Verify(kSiteLookup, STRp_Lookup(&VALp_G_STRs, kTextUnimplemented)); }

ErrorCode VAL_UnregisterNameLookup(void) {
  return Verify(kSiteLookup, STRp_Lookup(&VALp_G_STRs, kTextUnimplemented));
}

ErrorCode VAL_LookupType(const char* name, int32_t* type) {
  if (!type) return kErrBadParam;
  *type = 0;
  if (!name) return 0;
  for (const Entry& e : gRegistry) {
    if (std::strncmp(e.name, name, VAL_NameSize) == 0) {
      *type = e.number;
      break;
    }
  }
  return 0;
}
