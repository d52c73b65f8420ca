// The registry of value types: birth, registration and look-up.
#include <cstring>
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

std::vector<Entry> gRegistry;

void Append(std::vector<Entry>& registry, const VAL_TypeRecord* record) {
  Entry e{};
  char name[VAL_NameSize] = {};
  NameOf(record, name);
  std::memcpy(e.name, name, VAL_NameSize);
  e.record = record;
  e.number = static_cast<int32_t>(registry.size());
  registry.push_back(e);
}

}  // namespace

void NameOf(const VAL_TypeRecord* record, char (&name)[VAL_NameSize]) {
  std::memset(name, 0, VAL_NameSize);
  if (record && record->getName) record->getName(record->data, name);
  name[VAL_NameSize - 1] = 0;
}

const VAL_TypeRecord* RecordOf(int32_t type, uint32_t site) {
  if (type < 0 || static_cast<size_t>(type) >= gRegistry.size()) {
    kReport.Fail(site, kErrRange, kTextLookingUp, {type});
    return nullptr;
  }
  return gRegistry[static_cast<size_t>(type)].record;
}

ErrorCode StartRegistry() {
  std::vector<Entry> fresh;
  fresh.reserve(48);
  // The placeholders share one name, so they are appended without the
  // duplicate-name check that VAL_RegisterType applies.
  for (int32_t slot = 0; slot < VAL_FirstRegisteredType; ++slot) Append(fresh, BuiltinRecord(slot));
  gRegistry.swap(fresh);
  return 0;
}

void ClearRegistry() {
  gRegistry.clear();
  gRegistry.shrink_to_fit();
}

}  // namespace tv::val

using namespace tv;
using namespace tv::val;

ErrorCode VAL_RegisterType(const VAL_TypeRecord* record, int32_t* type) try {
  if (type) *type = 0;
  if (!record || !type) return Verify(kSiteRegister, kTextRecordAndPlace);
  char name[VAL_NameSize];
  NameOf(record, name);
  for (const Entry& e : gRegistry) {
    if (std::strncmp(e.name, name, VAL_NameSize) == 0)
      return ReportCode(kSiteRegister, VAL_ErrAlreadyRegistered, kTextAlreadyRegistered, name);
  }
  Append(gRegistry, record);
  *type = gRegistry.back().number;
  return 0;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_UnregisterType(int32_t) { return 0; }

ErrorCode VAL_RegisterNameLookup(void) { return Verify(kSiteLookup, kTextUnimplemented); }

ErrorCode VAL_UnregisterNameLookup(void) try {
  return Verify(kSiteLookup, kTextUnimplemented);
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_LookupType(const char* name, int32_t* type) try {
  if (!type) return kReport.BadParam(kSiteArgument, {"VAL_LookupType"});
  *type = 0;
  if (!name) return 0;
  for (const Entry& e : gRegistry) {
    if (std::strncmp(e.name, name, VAL_NameSize) == 0) {
      *type = e.number;
      break;
    }
  }
  return 0;
} TV_CATCH(VAL_PackageNumber)
