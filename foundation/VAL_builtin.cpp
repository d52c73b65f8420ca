// The built-in value types: placeholders, the basic numbers, pointers and handles.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "ByteOrder.h"
#include "Format.h"
#include "Memory.h"
#include "Package.h"
#include "VAL_internal.h"

namespace tv::val {
namespace {

constexpr const char* kNames[] = {
    "none!", "reserved!", "KVRN bit", "KVRN char", "KVRN u_char", "KVRN short", "KVRN u_short",
    "KVRN long", "KVRN u_long", "KVRN M_Fixed", "KVRN M_UFixed", "KVRN FpShort", "KVRN FpLong",
    "KVRN ptr", "KVRN Handle",
};

ErrorCode GetName(intptr_t data, char* name) {
  fmt::CopyTo(std::span<char>(name, VAL_NameSize), kNames[data]);
  return 0;
}

// ---- Flat forms ------------------------------------------------------------------

void PutBE(uint8_t* p, uint64_t v, int width) {
  switch (width) {
    case 1: be::Store(p, static_cast<uint8_t>(v)); break;
    case 2: be::Store(p, static_cast<uint16_t>(v)); break;
    case 4: be::Store(p, static_cast<uint32_t>(v)); break;
    default: be::Store(p, v); break;
  }
}
uint64_t GetBE(const uint8_t* p, int width) {
  switch (width) {
    case 1: return be::Load<uint8_t>(p);
    case 2: return be::Load<uint16_t>(p);
    case 4: return be::Load<uint32_t>(p);
    default: return be::Load<uint64_t>(p);
  }
}

uint64_t RawBits(const VAL_Value& v, int width) {
  switch (width) {
    case 1: return v.data.uc;
    case 2: return v.data.us;
    case 4: return v.data.ul;
    default: return std::bit_cast<uint64_t>(v.data.d);
  }
}
void SetRawBits(VAL_Value& v, uint64_t bits, int width) {
  switch (width) {
    case 1: v.data.uc = static_cast<uint8_t>(bits); break;
    case 2: v.data.us = static_cast<uint16_t>(bits); break;
    case 4: v.data.ul = static_cast<uint32_t>(bits); break;
    default: v.data.d = std::bit_cast<double>(bits); break;
  }
}

ErrorCode FlattenNumbers(intptr_t data, int32_t count, const VAL_Value* values, int32_t, uint32_t* bytes,
                         uint8_t* destination) {
  int width = FlatWidth(static_cast<int32_t>(data));
  *bytes = static_cast<uint32_t>(count) * static_cast<uint32_t>(width);
  if (destination)
    for (int32_t i = 0; i < count; ++i) PutBE(destination + i * width, RawBits(values[i], width), width);
  return 0;
}

ErrorCode UnflattenNumbers(intptr_t data, int32_t count, uint32_t flatBytes, const uint8_t* source,
                           VAL_Value* values) {
  int width = FlatWidth(static_cast<int32_t>(data));
  if (static_cast<uint64_t>(count) * static_cast<uint64_t>(width) > flatBytes)
    return Verify(kSiteUnflatten, kTextBadFlatData);
  for (int32_t i = 0; i < count; ++i) SetRawBits(values[i], GetBE(source + i * width, width), width);
  return 0;
}

// ---- Coercion ----------------------------------------------------------------------

// A source number in the form its type holds it.
struct Number {
  enum Kind { Int, Float, Fixed, UFixed, Pointer } kind;
  int64_t i = 0;
  double d = 0;
};

Number Read(const VAL_Value& v) {
  switch (v.type) {
    case VAL_TypeBit:
    case VAL_TypeUChar: return {Number::Int, v.data.uc};
    case VAL_TypeChar: return {Number::Int, v.data.c};
    case VAL_TypeShort: return {Number::Int, v.data.s};
    case VAL_TypeUShort: return {Number::Int, v.data.us};
    case VAL_TypeLong: return {Number::Int, v.data.l};
    case VAL_TypeULong: return {Number::Int, v.data.ul};
    case VAL_TypeFixed: return {Number::Fixed, v.data.l};
    case VAL_TypeUFixed: return {Number::UFixed, v.data.ul};
    case VAL_TypeFpShort: return {Number::Float, 0, v.data.f};
    case VAL_TypeFpLong: return {Number::Float, 0, v.data.d};
    default: return {Number::Pointer, static_cast<int64_t>(reinterpret_cast<uintptr_t>(v.data.ptr) & 0xFFFFFFFFu)};
  }
}

// Truncates towards zero; NaN gives 0 and values beyond 64 bits saturate, so
// the conversion is always defined before the low bits are taken.
int64_t Truncate(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (d <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}
int64_t RoundAway(double d) {
  if (std::isnan(d)) return 0;
  return Truncate(std::round(d));
}

double AsDouble(const Number& n) {
  switch (n.kind) {
    case Number::Int: return static_cast<double>(n.i);
    case Number::Float: return n.d;
    case Number::Fixed: return static_cast<double>(static_cast<int32_t>(n.i)) / 65536.0;
    case Number::UFixed: return static_cast<double>(static_cast<uint32_t>(n.i)) / 65536.0;
    case Number::Pointer: return static_cast<double>(static_cast<uint32_t>(n.i));
  }
  return 0;
}
int64_t AsInteger(const Number& n) {
  switch (n.kind) {
    case Number::Int:
    case Number::Pointer: return n.i;
    case Number::Float: return Truncate(n.d);
    case Number::Fixed: return static_cast<int32_t>(n.i) >> 16;
    case Number::UFixed: return static_cast<uint32_t>(n.i) >> 16;
  }
  return 0;
}
uint32_t AsFixedBits(const Number& n) {
  switch (n.kind) {
    case Number::Int: return static_cast<uint32_t>(static_cast<uint64_t>(n.i) << 16);
    case Number::Float: return static_cast<uint32_t>(static_cast<uint64_t>(RoundAway(n.d * 65536.0)));
    case Number::Fixed:
    case Number::UFixed:
    case Number::Pointer: return static_cast<uint32_t>(n.i);
  }
  return 0;
}

bool IsZero(const Number& n) { return n.kind == Number::Float ? n.d == 0.0 : n.i == 0; }

bool Write(const Number& n, VAL_Value& out) {
  switch (out.type) {
    case VAL_TypeBit: out.data.uc = IsZero(n) ? 0 : 1; return true;
    case VAL_TypeChar:
    case VAL_TypeUChar: out.data.uc = static_cast<uint8_t>(AsInteger(n)); return true;
    case VAL_TypeShort:
    case VAL_TypeUShort: out.data.us = static_cast<uint16_t>(AsInteger(n)); return true;
    case VAL_TypeLong:
    case VAL_TypeULong: out.data.ul = static_cast<uint32_t>(AsInteger(n)); return true;
    case VAL_TypeFixed:
    case VAL_TypeUFixed: out.data.ul = AsFixedBits(n); return true;
    case VAL_TypeFpShort: out.data.f = static_cast<float>(AsDouble(n)); return true;
    case VAL_TypeFpLong: out.data.d = AsDouble(n); return true;
    default: return false;
  }
}

bool PointerTarget(int32_t type) {
  return type == VAL_TypeLong || type == VAL_TypeULong || type == VAL_TypeFixed || type == VAL_TypeUFixed ||
         type == VAL_TypePtr || type == VAL_TypeFpLong;
}

ErrorCode CoerceNumbers(intptr_t data, const VAL_Value* sources, int32_t targetType, int32_t count,
                        VAL_Value* targets, Boolean32* done) {
  auto own = static_cast<int32_t>(data);
  bool handles = own == VAL_TypePtr ? PointerTarget(targetType)
                                    : (targetType >= VAL_TypeBit && targetType <= VAL_TypeFpLong);
  if (!handles) return 0;
  for (int32_t i = 0; i < count; ++i) {
    if (sources[i].type != own) continue;
    if (targetType == VAL_TypePtr) {
      targets[i].data.ptr = sources[i].data.ptr;
      *done = 1;
    } else if (Write(Read(sources[i]), targets[i])) {
      *done = 1;
    }
  }
  return 0;
}

// ---- Printing ----------------------------------------------------------------------

ErrorCode PrintInteger(intptr_t data, const VAL_Value* v, Boolean32 write, char* text, int32_t* maxLength) {
  *maxLength = 32;
  if (!write) return 0;
  std::string s;
  // u_long values print unsigned: a signed print would show 4294967295 as -1.
  if (data == VAL_TypeULong)
    s = fmt::Format("%lu", {v->data.ul});
  else
    s = fmt::Format("%ld", {AsInteger(Read(*v))});
  fmt::CopyTo(std::span<char>(text, 32), s);
  return 0;
}

ErrorCode PrintFloat(intptr_t, const VAL_Value* v, Boolean32 write, char* text, int32_t* maxLength) {
  *maxLength = 32;
  if (!write) return 0;
  double d = v->type == VAL_TypeFpShort ? v->data.f : v->data.d;
  // Two decimals with trailing zeros removed.
  std::string s = fmt::Format("%1.*f", {2, d});
  if (s.find('.') != std::string::npos && s.find_first_of("eE") == std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  fmt::CopyTo(std::span<char>(text, 32), s);
  return 0;
}

ErrorCode CompareFpLong(intptr_t, const VAL_Value* a, const VAL_Value* b, int32_t* order) {
  double x = a->data.d, y = b->data.d;
  // A non-number is less than any number and equal to another non-number.
  if (std::isnan(x) || std::isnan(y))
    *order = std::isnan(x) && std::isnan(y) ? 0 : std::isnan(x) ? -1 : 1;
  else
    *order = x < y ? -1 : x > y ? 1 : 0;
  return 0;
}

// ---- Handles ------------------------------------------------------------------------

ErrorCode NewHandleValue(intptr_t, const void* parameter, VAL_Value* value) {
  if (!parameter) return 0;
  uint32_t size = 0;
  std::memcpy(&size, parameter, 4);
  Handle h = NewHandleClear(static_cast<Size>(size));
  if (!h) return kReport.OutOfMemory(kSiteHandle, kTextAllocated, size);
  value->data.h = h;
  return 0;
}

ErrorCode DisposeHandleValue(intptr_t, VAL_Value* value) {
  if (value->data.h) DisposeHandle(value->data.h);
  value->data.h = nullptr;
  return 0;
}

ErrorCode CopyHandleValue(intptr_t, const VAL_Value* source, VAL_Value* destination) {
  destination->data.h = nullptr;
  if (!source->data.h) return 0;
  Handle h = source->data.h;
  if (HandToHand(&h) != 0)
    return kReport.OutOfMemory(kSiteHandle, kTextAllocated,
                                static_cast<uint64_t>(GetHandleSize(source->data.h)));
  destination->data.h = h;
  return 0;
}

ErrorCode HandleDeepSize(intptr_t, const VAL_Value* value, int64_t* bytes) {
  *bytes = value->data.h ? GetHandleSize(value->data.h) : 0;
  return 0;
}

ErrorCode FlattenHandles(intptr_t, int32_t count, const VAL_Value* values, int32_t, uint32_t* bytes,
                         uint8_t* destination) {
  uint64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    Handle h = values[i].data.h;
    Size n = h ? GetHandleSize(h) : 0;
    if (destination && n) std::memcpy(destination + total, *h, static_cast<size_t>(n));
    total += static_cast<uint64_t>(n);
  }
  if (total > 0xFFFFFFFFu) return Verify(kSiteFlatten, kTextBadFlatData);
  *bytes = static_cast<uint32_t>(total);
  return 0;
}

// One handle comes back whole; several cannot be split again, since their
// sizes are not in the flat form, so that is refused instead of answering
// success with empty values.
ErrorCode UnflattenHandles(intptr_t, int32_t count, uint32_t flatBytes, const uint8_t* source,
                           VAL_Value* values) {
  if (count != 1) return Verify(kSiteUnflatten, kTextUnimplemented);
  Handle h = NewHandle(flatBytes);
  if (!h) return kReport.OutOfMemory(kSiteHandle, kTextAllocated, flatBytes);
  if (flatBytes) std::memcpy(*h, source, flatBytes);
  values[0].data.h = h;
  return 0;
}

ErrorCode DefaultPrint(const VAL_Value* v, Boolean32 write, char* text, int32_t* maxLength) {
  *maxLength = 22;
  if (!write) return 0;
  uint32_t w0, w1;
  std::memcpy(&w0, v->data.bytes, 4);
  std::memcpy(&w1, v->data.bytes + 4, 4);
  fmt::FormatTo(std::span<char>(text, 22), "0x%08lX,0x%08lX", {w0, w1});
  return 0;
}

VAL_TypeRecord Basic(int32_t type) {
  VAL_TypeRecord r{};
  r.data = type;
  r.getName = &GetName;
  if (type >= VAL_TypeBit && type <= VAL_TypeFpLong) {
    r.flatten = &FlattenNumbers;
    r.unflatten = &UnflattenNumbers;
    r.coerce = &CoerceNumbers;
  }
  if (type >= VAL_TypeShort && type <= VAL_TypeULong) r.print = &PrintInteger;
  if (type == VAL_TypeFpShort || type == VAL_TypeFpLong) r.print = &PrintFloat;
  if (type == VAL_TypeFpLong) r.compare = &CompareFpLong;
  if (type == VAL_TypePtr) r.coerce = &CoerceNumbers;
  if (type == VAL_TypeHandle) {
    r.newValue = &NewHandleValue;
    r.dispose = &DisposeHandleValue;
    r.copy = &CopyHandleValue;
    r.deepSize = &HandleDeepSize;
    r.flatten = &FlattenHandles;
    r.unflatten = &UnflattenHandles;
  }
  return r;
}

const VAL_TypeRecord kRecords[15] = {
    Basic(0), Basic(0), Basic(2), Basic(3), Basic(4), Basic(5), Basic(6), Basic(7),
    Basic(8), Basic(9), Basic(10), Basic(11), Basic(12), Basic(13), Basic(14),
};

}  // namespace

const VAL_TypeRecord* BuiltinRecord(int32_t slot) {
  // Slot 1 and slots 15 to 31 are registered as copies of the placeholder.
  if (slot >= VAL_TypeBit && slot <= VAL_TypeHandle) return &kRecords[slot];
  return &kRecords[0];
}

int FlatWidth(int32_t type) {
  switch (type) {
    case VAL_TypeBit:
    case VAL_TypeChar:
    case VAL_TypeUChar: return 1;
    case VAL_TypeShort:
    case VAL_TypeUShort: return 2;
    case VAL_TypeLong:
    case VAL_TypeULong:
    case VAL_TypeFixed:
    case VAL_TypeUFixed:
    case VAL_TypeFpShort: return 4;
    case VAL_TypeFpLong: return 8;
    default: return 0;
  }
}

}  // namespace tv::val

using namespace tv::val;

ErrorCode VAL_PrintValue(const VAL_Value* value, Boolean32 write, char* text, int32_t* maxLength) try {
  if (!value || !maxLength || (write && !text)) return tv::kErrBadParam;
  if (value->record && value->record->print)
    return value->record->print(value->record->data, value, write, text, maxLength);
  return DefaultPrint(value, write, text, maxLength);
} TV_CATCH(VAL_PackageNumber)
