// Package-private parts of VAL: the registry and the built-in type records.
#pragma once

#include <span>

#include "Package.h"
#include "VAL.h"

namespace tv::val {

enum Site : uint32_t {
  kSiteBirth = 1,
  kSiteDeath = 2,
  kSiteRegister = 3,
  kSiteNew = 4,
  kSiteFlatten = 5,
  kSiteUnflatten = 6,
  kSiteCoerce = 7,
  kSiteVerify = 8,
  kSiteHandle = 9,
  kSiteLookup = 10,
  kSiteArgument = 11,
};

constexpr LocationCode Loc(uint32_t site) { return Location(VAL_PackageNumber, site); }

// Indices into VALp_G_STRs.
enum Text : int32_t {
  kTextAlreadyRegistered = 0,
  kTextCannotConvert = 1,
  kTextCannotSave = 2,
  kTextUnknownType = 3,
  kTextUnimplemented = 4,
  kTextBadCount = 5,
  kTextBadFlatData = 6,
  kTextUnknownTypeNumber = 7,
  kTextLookingUp,
  kTextRecordAndPlace,
  kTextAllocated,
  kTextBadArgument,
  kTextCount
};

extern const pkg::Reporter kReport;

// Reports a failed verification at VAL's site with the description; returns 3.
ErrorCode Verify(uint32_t site, Text description);
// Reports text index with ^1 = s1 (or ^L1 = n1) and ^2 = s2; returns code.
ErrorCode ReportCode(uint32_t site, ErrorCode code, Text text, const char* s1, int32_t n1 = 0,
                     const char* s2 = nullptr);

// The 32 records birth registers: slot 0 the placeholder, 2 to 14 the basic types.
const VAL_TypeRecord* BuiltinRecord(int32_t slot);

// The record of a registered type number, or null (reported) when unknown.
const VAL_TypeRecord* RecordOf(int32_t type, uint32_t site);
// The name of a record, through its get-name entry ("" without one).
void NameOf(const VAL_TypeRecord* record, char (&name)[VAL_NameSize]);

// Builds the registry of a fresh birth (the placeholders and basic types);
// on failure nothing changed.
ErrorCode StartRegistry();
void ClearRegistry();

// Width in bytes of a fixed-width basic type's flat form, 0 for others.
int FlatWidth(int32_t type);

}  // namespace tv::val
