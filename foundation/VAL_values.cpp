// Uniform operations on arrays of typed values.
#include <cstring>

#include "ByteOrder.h"
#include "Package.h"
#include "VAL_internal.h"

using namespace tv;
using namespace tv::val;

namespace {

void MakeEmpty(VAL_Value* v, int32_t type, const VAL_TypeRecord* record) {
  std::memset(v, 0, sizeof *v);
  v->type = type;
  v->record = record;
}

uint32_t ReadBE32(const uint8_t* p) { return be::Load<uint32_t>(p); }
void WriteBE32(uint8_t* p, uint32_t v) { be::Store(p, v); }

}  // namespace

ErrorCode VAL_NewValue(int32_t type, const void* parameter, VAL_Value* value) try {
  return VAL_NewValues(type, parameter, 1, value);
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_NewValues(int32_t type, const void* parameter, int32_t count, VAL_Value* values) try {
  if (count < 1 || !values) return Verify(kSiteNew, kTextBadCount);
  const VAL_TypeRecord* record = RecordOf(type, kSiteNew);
  if (!record) {
    for (int32_t i = 0; i < count; ++i) std::memset(&values[i], 0, sizeof(VAL_Value));
    return kErrRange;
  }
  for (int32_t i = 0; i < count; ++i) {
    MakeEmpty(&values[i], type, record);
    if (!record->newValue) continue;
    if (ErrorCode err = record->newValue(record->data, parameter, &values[i])) {
      std::memset(&values[i], 0, sizeof(VAL_Value));
      for (int32_t k = i - 1; k >= 0; --k) VAL_DisposeValue(&values[k]);
      for (int32_t k = i + 1; k < count; ++k) std::memset(&values[k], 0, sizeof(VAL_Value));
      return err;
    }
  }
  return 0;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_DisposeValue(VAL_Value* value) { return VAL_DisposeValues(1, value); }

ErrorCode VAL_DisposeValues(int32_t count, VAL_Value* values) try {
  if (!values) return count > 0 ? kErrBadParam : 0;
  ErrorCode first = 0;
  for (int32_t i = 0; i < count; ++i) {
    VAL_Value& v = values[i];
    if (v.record && v.record->dispose) {
      ErrorCode err = v.record->dispose(v.record->data, &v);
      if (err && !first) first = err;
    }
    std::memset(&v, 0, sizeof v);
  }
  return first;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_CopyValue(const VAL_Value* source, VAL_Value* destination) try {
  return VAL_CopyValues(source, 1, destination);
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_CopyValues(const VAL_Value* source, int32_t count, VAL_Value* destination) try {
  if (!source || !destination) return count > 0 ? kErrBadParam : 0;
  for (int32_t i = 0; i < count; ++i) {
    // A value copied onto itself stays as it is: a deep copy would replace
    // its data and leave the old data owned by nobody.
    if (&source[i] == &destination[i]) continue;
    VAL_Value copy = source[i];  // through a temporary: the arrays may overlap
    if (copy.record && copy.record->copy) {
      // A failed deep copy stops here and leaves this destination empty, so
      // no two values ever own the same deep data.
      VAL_Value made = copy;
      if (ErrorCode err = copy.record->copy(copy.record->data, &copy, &made)) {
        std::memset(&destination[i], 0, sizeof(VAL_Value));
        return err;
      }
      destination[i] = made;
    } else {
      destination[i] = copy;
    }
  }
  return 0;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_GetDeepDataSize(const VAL_Value* value, int64_t* bytes) try {
  if (!bytes) return kReport.BadParam(kSiteArgument, {"VAL_GetDeepDataSize"});
  *bytes = 0;
  if (!value || !value->record || !value->record->deepSize) return 0;
  return value->record->deepSize(value->record->data, value, bytes);
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_GetFlatSize(int32_t count, const VAL_Value* values, uint32_t* bytes) try {
  if (!bytes) return kReport.BadParam(kSiteArgument, {"VAL_GetFlatSize"});
  *bytes = 0;
  if (count < 1 || !values) return Verify(kSiteFlatten, kTextBadCount);
  const VAL_TypeRecord* record = values[0].record;
  if (!record || !record->flatten) {
    char name[VAL_NameSize];
    NameOf(record, name);
    return ReportCode(kSiteFlatten, VAL_ErrCannotSave, kTextCannotSave, name);
  }
  return record->flatten(record->data, count, values, 0, bytes, nullptr);
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_FlattenValues(int32_t count, const VAL_Value* values, int32_t option, VAL_FlatHeader* header,
                            uint8_t* destination) try {
  if (!header) return kReport.BadParam(kSiteArgument, {"VAL_FlattenValues"});
  std::memset(header, 0, sizeof *header);
  if (count < 1 || !values) return Verify(kSiteFlatten, kTextBadCount);
  const VAL_TypeRecord* record = values[0].record;
  char name[VAL_NameSize];
  NameOf(record, name);
  std::memcpy(header->bytes + 8, name, VAL_NameSize);
  if (!record || !record->flatten) return ReportCode(kSiteFlatten, VAL_ErrCannotSave, kTextCannotSave, name);
  uint32_t size = 0;
  if (ErrorCode err = record->flatten(record->data, count, values, option, &size, destination)) return err;
  WriteBE32(header->bytes, static_cast<uint32_t>(count));
  WriteBE32(header->bytes + 4, size);
  return 0;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_UnflattenValues(const VAL_FlatHeader* header, const uint8_t* source, uint32_t sourceLength,
                              VAL_Value* values, int32_t capacity) try {
  if (!header || !values) return kReport.BadParam(kSiteArgument, {"VAL_UnflattenValues"});
  uint32_t count = ReadBE32(header->bytes);
  uint32_t size = ReadBE32(header->bytes + 4);
  if (count == 0) return Verify(kSiteUnflatten, kTextBadCount);
  // The header is untrusted: it may not claim more values than the array
  // holds or more bytes than the source has.
  if (capacity < 0 || count > static_cast<uint32_t>(capacity) || size > sourceLength || (size && !source))
    return Verify(kSiteUnflatten, kTextBadFlatData);
  char name[VAL_NameSize];
  std::memcpy(name, header->bytes + 8, VAL_NameSize);
  name[VAL_NameSize - 1] = 0;
  int32_t type = 0;
  VAL_LookupType(name, &type);
  if (type == 0) return ReportCode(kSiteUnflatten, VAL_ErrUnknownType, kTextUnknownType, name);
  const VAL_TypeRecord* record = RecordOf(type, kSiteUnflatten);
  if (!record) return kErrRange;
  int width = FlatWidth(type);
  if (width && static_cast<uint64_t>(count) * static_cast<uint64_t>(width) != size)
    return Verify(kSiteUnflatten, kTextBadFlatData);
  for (uint32_t i = 0; i < count; ++i) MakeEmpty(&values[i], type, record);
  if (!record->unflatten) return Verify(kSiteUnflatten, kTextUnimplemented);
  return record->unflatten(record->data, static_cast<int32_t>(count), size, source, values);
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_CoerceValues(const VAL_Value* sourceValues, int32_t targetType, int32_t count,
                           VAL_Value* targetValues) try {
  if (count == 0) return 0;
  if (count < 0 || !sourceValues || !targetValues)
    return Verify(kSiteCoerce, kTextBadCount);
  if (ErrorCode err = VAL_NewValues(targetType, nullptr, count, targetValues)) return err;
  Boolean32 done = 0;
  ErrorCode err = 0;
  const VAL_TypeRecord* src = sourceValues[0].record;
  if (src && src->coerce) err = src->coerce(src->data, sourceValues, targetType, count, targetValues, &done);
  const VAL_TypeRecord* dst = targetValues[0].record;
  if (!err && !done && dst && dst->coerce)
    err = dst->coerce(dst->data, sourceValues, targetType, count, targetValues, &done);
  if (!err && !done) {
    char name[VAL_NameSize];
    NameOf(dst, name);
    err = ReportCode(kSiteCoerce, VAL_ErrCannotConvert, kTextCannotConvert, nullptr, sourceValues[0].type, name);
  }
  if (err) VAL_DisposeValues(count, targetValues);
  return err;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_CompareValues(const VAL_Value* a, const VAL_Value* b, int32_t* order) try {
  if (!order) return kReport.BadParam(kSiteArgument, {"VAL_CompareValues"});
  *order = VAL_Incomparable;
  if (!a || !b) return kReport.BadParam(kSiteArgument, {"VAL_CompareValues"});
  if (a == b) {
    *order = 0;
    return 0;
  }
  if (a->type != b->type) return 0;
  if (a->record && a->record->compare) return a->record->compare(a->record->data, a, b, order);
  *order = std::memcmp(a->data.bytes, b->data.bytes, 8) == 0 ? 0 : VAL_Incomparable;
  return 0;
} TV_CATCH(VAL_PackageNumber)
