// String resources: the in-memory registry that stands in for resource files,
// and the conversion of a table into the resource layout.
#include <cstring>
#include <map>
#include <vector>

#include "STR_internal.h"

namespace tv::str {
namespace {
std::map<int32_t, std::vector<uint8_t>>& Registry() {
  static std::map<int32_t, std::vector<uint8_t>> registry;
  return registry;
}
}  // namespace

std::span<const uint8_t> FindResource(int32_t id) {
  auto it = Registry().find(id);
  if (it == Registry().end()) return {};
  return it->second;
}

}  // namespace tv::str

using namespace tv;
using namespace tv::str;

ErrorCode STR_SetStringResource(int32_t id, const void* bytes, int32_t size) try {
  if (size < 0 || (size > 0 && !bytes)) return kErrBadParam;
  if (!bytes || size == 0) {
    Registry().erase(id);
    return 0;
  }
  const auto* p = static_cast<const uint8_t*>(bytes);
  Registry()[id].assign(p, p + size);
  return 0;
} TV_CATCH(STR_PackageNumber)

ErrorCode STR_ConvertStrTab2Resource(const STR_Table* table, Handle* resource) {
  if (resource) *resource = nullptr;
  if (!table || !table->texts || table->count < 0 || !resource)
    return kReport.Fail(kSiteConvert, kErrBadParam, kTextStringTable);
  int64_t size = 2;
  for (int i = 0; i < table->count; ++i) {
    size_t len = std::strlen(table->texts[i]);
    if (len > 0xFFFF)
      return kReport.Fail(kSiteConvert, kErrRange, kTextEntry);
    size += 2 + static_cast<int64_t>(len);
  }
  Handle h = U_AllocateHandle(kReport.Loc(kSiteConvert), kReport.Text(kTextResource), size);
  if (!h) return kErrOutOfMemory;
  auto* p = reinterpret_cast<uint8_t*>(*h);
  auto put16 = [&p](uint32_t v) {
    *p++ = static_cast<uint8_t>(v >> 8);
    *p++ = static_cast<uint8_t>(v);
  };
  put16(static_cast<uint16_t>(table->count));
  for (int i = 0; i < table->count; ++i) {
    size_t len = std::strlen(table->texts[i]);
    put16(static_cast<uint32_t>(len));
    std::memcpy(p, table->texts[i], len);
    p += len;
  }
  *resource = h;
  return 0;
}
