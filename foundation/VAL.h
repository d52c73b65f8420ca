// VAL: a registry of named value types, each described by a record of
// operations, and uniform operations on arrays of typed values: create,
// dispose, copy, measure, flatten to a portable big-endian form and back,
// coerce, compare and print.
//
// What callers may rely on:
// - Type numbers are indices into the registry: 0 .. 31 are the built-in
//   types and placeholders, registered types follow in order. A number
//   outside the registry answers 10 (reported, "looking up VAL type").
// - Argument faults (a bad count, a null array, a flat header that claims more
//   values or bytes than given) answer 3, reported as a failed verification;
//   a null out-pointer answers 3 without a report. Codes of a type's own
//   procedures are passed up unchanged.
// - A failed creation or coercion leaves no value owning anything: the values
//   it made are disposed and the slots zeroed (the empty value). A failed
//   copy stops at the value that failed (see VAL_CopyValues).
// - Flat forms are big-endian and never depend on pointer values.
// - The operations on values need VAL_Birth (the registry). Single thread.
#pragma once

#include "STR.h"
#include "Types.h"

enum { VAL_PackageNumber = 57 };
enum {
  VAL_ErrAlreadyRegistered = 0x3901,
  VAL_ErrCannotConvert = 0x3902,
  VAL_ErrCannotSave = 0x3903,
  VAL_ErrUnknownType = 0x3904,
};

// The built-in type numbers.
enum {
  VAL_TypeNone = 0,
  VAL_TypeBit = 2,
  VAL_TypeChar = 3,
  VAL_TypeUChar = 4,
  VAL_TypeShort = 5,
  VAL_TypeUShort = 6,
  VAL_TypeLong = 7,
  VAL_TypeULong = 8,
  VAL_TypeFixed = 9,
  VAL_TypeUFixed = 10,
  VAL_TypeFpShort = 11,
  VAL_TypeFpLong = 12,
  VAL_TypePtr = 13,
  VAL_TypeHandle = 14,
  VAL_FirstRegisteredType = 32,
};

enum {
  VAL_NameSize = 36,        // a type name: at most 35 characters and a zero
  VAL_FlatHeaderSize = 44,  // count, size, name
  VAL_Incomparable = INT32_MIN,
};

struct VAL_TypeRecord;

// A typed value. The empty value is all zeros.
typedef struct VAL_Value {
  union {
    uint8_t bytes[8];
    int8_t c;
    uint8_t uc;
    int16_t s;
    uint16_t us;
    int32_t l;
    uint32_t ul;
    float f;
    double d;
    void* ptr;
    Handle h;
  } data;
  int32_t type;
  const struct VAL_TypeRecord* record;
} VAL_Value;

// The entries of a type record; a null entry is absent. `data` is passed first to each.
typedef ErrorCode (*VAL_GetNameProc)(intptr_t data, char* name);  // VAL_NameSize bytes
typedef ErrorCode (*VAL_NewProc)(intptr_t data, const void* parameter, VAL_Value* value);
typedef ErrorCode (*VAL_DisposeProc)(intptr_t data, VAL_Value* value);
typedef ErrorCode (*VAL_CopyProc)(intptr_t data, const VAL_Value* source, VAL_Value* destination);
typedef ErrorCode (*VAL_DeepSizeProc)(intptr_t data, const VAL_Value* value, int64_t* bytes);
// Writes the flat form of count values to destination, or only measures when it is null.
typedef ErrorCode (*VAL_FlattenProc)(intptr_t data, int32_t count, const VAL_Value* values, int32_t option,
                                     uint32_t* bytes, uint8_t* destination);
typedef ErrorCode (*VAL_UnflattenProc)(intptr_t data, int32_t count, uint32_t flatBytes, const uint8_t* source,
                                       VAL_Value* values);
typedef ErrorCode (*VAL_CoerceProc)(intptr_t data, const VAL_Value* sourceValues, int32_t targetType,
                                    int32_t count, VAL_Value* targetValues, Boolean32* done);
typedef ErrorCode (*VAL_PrintProc)(intptr_t data, const VAL_Value* value, Boolean32 write, char* text,
                                   int32_t* maxLength);
typedef ErrorCode (*VAL_CompareProc)(intptr_t data, const VAL_Value* a, const VAL_Value* b, int32_t* order);

typedef struct VAL_TypeRecord {
  intptr_t data;
  VAL_GetNameProc getName;
  VAL_NewProc newValue;
  VAL_DisposeProc dispose;
  VAL_CopyProc copy;
  VAL_DeepSizeProc deepSize;
  VAL_FlattenProc flatten;
  VAL_UnflattenProc unflatten;
  VAL_CoerceProc coerce;
  VAL_PrintProc print;
  void* reserved10;
  VAL_CompareProc compare;
  void* reserved[8];
} VAL_TypeRecord;

// The 44-byte flat header: count and size big-endian, then the type name.
typedef struct VAL_FlatHeader {
  uint8_t bytes[VAL_FlatHeaderSize];
} VAL_FlatHeader;

TV_EXPORT uint32_t VAL_PkgObjectVersion(void);
TV_EXPORT ErrorCode VAL_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table VALp_G_STRs;

// Birth: the string table's installation codes, 12 (reported) when alive.
// Death: 11 (reported) when not alive; the registry is emptied.
TV_EXPORT ErrorCode VAL_Birth(void);
TV_EXPORT ErrorCode VAL_Death(void);
// 3 (verification) for a null record or type; 0x3901 (reported) when a type
// of the same name exists. *type 0 on failure.
TV_EXPORT ErrorCode VAL_RegisterType(const VAL_TypeRecord* record, int32_t* type);
// Types stay registered until VAL_Death: always 0.
TV_EXPORT ErrorCode VAL_UnregisterType(int32_t type);
// Not available: 3 (verification "unimplemented").
TV_EXPORT ErrorCode VAL_RegisterNameLookup(void);
TV_EXPORT ErrorCode VAL_UnregisterNameLookup(void);
// *type is 0 when no type has the name (or name is null): not a failure.
TV_EXPORT ErrorCode VAL_LookupType(const char* name, int32_t* type);

// count values of the type, each made by the type's new procedure (empty
// values without one). 3 for count < 1 or null values, 10 for an unknown
// type (values zeroed), or the procedure's code (every value zeroed).
TV_EXPORT ErrorCode VAL_NewValue(int32_t type, const void* parameter, VAL_Value* value);
TV_EXPORT ErrorCode VAL_NewValues(int32_t type, const void* parameter, int32_t count, VAL_Value* values);
// Every value is disposed and zeroed; the first non-zero procedure code is
// returned. 3 only for null values with count > 0.
TV_EXPORT ErrorCode VAL_DisposeValue(VAL_Value* value);
TV_EXPORT ErrorCode VAL_DisposeValues(int32_t count, VAL_Value* values);
// Deep copies in order; a failed copy stops there, that destination zeroed
// (earlier ones copied), and its code is returned. 3 for null arrays with
// count > 0.
TV_EXPORT ErrorCode VAL_CopyValue(const VAL_Value* source, VAL_Value* destination);
TV_EXPORT ErrorCode VAL_CopyValues(const VAL_Value* source, int32_t count, VAL_Value* destination);
// 0 bytes for a null value or a type without deep data; *bytes 0 on failure.
TV_EXPORT ErrorCode VAL_GetDeepDataSize(const VAL_Value* value, int64_t* bytes);
// 3 for count < 1 or null values; 0x3903 (reported) for a type that cannot
// be flattened. *bytes 0 on failure.
TV_EXPORT ErrorCode VAL_GetFlatSize(int32_t count, const VAL_Value* values, uint32_t* bytes);
// destination must hold VAL_GetFlatSize bytes. Codes as VAL_GetFlatSize; the
// header is zeroed first and holds count and size only on success.
TV_EXPORT ErrorCode VAL_FlattenValues(int32_t count, const VAL_Value* values, int32_t option,
                                      VAL_FlatHeader* header, uint8_t* destination);
// Reads the flat form back. sourceLength is the number of bytes at source and
// capacity the number of values the array holds; a header that claims more
// than either, no values or a size that does not match a fixed-width type is
// refused (3, verification). 0x3904 (reported) for a type name not
// registered; a type without a reader answers 3. Values are left untouched
// when the header is refused; otherwise they become empty values of the type
// before the type's reader fills them (its code is passed up).
TV_EXPORT ErrorCode VAL_UnflattenValues(const VAL_FlatHeader* header, const uint8_t* source,
                                        uint32_t sourceLength, VAL_Value* values, int32_t capacity);
// Makes count target values and converts into them (the source type's coerce
// procedure first, then the target's). count 0 does nothing; 3 for count < 0
// or null arrays; VAL_NewValues' codes; 0x3902 (reported) when neither type
// converts. Targets are disposed and zeroed on failure.
TV_EXPORT ErrorCode VAL_CoerceValues(const VAL_Value* sourceValues, int32_t targetType, int32_t count,
                                     VAL_Value* targetValues);
// -1, 0, 1, or VAL_Incomparable for values of different types (not a
// failure). 3 for a null pointer (*order VAL_Incomparable).
TV_EXPORT ErrorCode VAL_CompareValues(const VAL_Value* a, const VAL_Value* b, int32_t* order);
// With write zero only maxLength is set (the buffer size the text needs);
// otherwise text (of at least that size) receives the printed value. 3 for a
// null value or maxLength, or a null text with write set.
TV_EXPORT ErrorCode VAL_PrintValue(const VAL_Value* value, Boolean32 write, char* text, int32_t* maxLength);
