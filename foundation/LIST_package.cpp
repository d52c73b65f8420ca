// LIST's package frame: its checked text table and reporter, version
// operations, the report helpers and the header check every operation runs
// first.
#include "LIST_internal.h"
#include "Package.h"

STR_Table LISTp_G_STRs = {};

namespace tv::list {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextUnknown, "unknown error (%ld)."},
    {kTextReadOnly, "cannot %s a read-only list."},
    {kTextLocked, "cannot %s a locked list."},
    {kTextUnlocked, "cannot %s an unlocked list."},
    {kTextListName, "list"},
    {kVerbDispose, "dispose"},
    {kVerbUnlock, "unlock"},
    {kVerbReserve, "reserve space in"},
    {kActReserve, "reserving space in list"},
    {kVerbCompact, "compact"},
    {kActCompact, "compacting list space"},
    {kVerbInsert, "insert an item into"},
    {kActInsert, "growing list for insertion"},
    {kVerbRemoveItem, "remove an item from"},
    {kTextOutside, "attempt to %s a position outside of list length."},
    {kVerbSet, "set an item in"},
    {kVerbGet, "get an item from"},
    {kVerbGetAddress, "get an item address from"},
    {kTextBadRange, "attempt to %s an invalid range of a list."},
    {kTextTempSpace, "temporary list item space"},
    {kTextNotFound, "could not find the item to %s."},
    {kVerbRemove, "remove"},
    {kActBlockSize, "adjusting list size for new block size"},
    {kTextNeeds4, "requires a list of 4 byte items."},
    {kVerbAdjustSize, "adjust size of"},
    {kTextBadFile, "invalid list information in file (%s)."},
    {kTextOldInfo, "old-style header info"},
    {kTextUnknownChunk, "unrecognized chunk ID"},
    {kTextOldLength, "old-style header length"},
    {kTextHeaderLength, "header length"},
    {kTextTooMany, "resizing list (too many items)"},
    {kTextNeedsPointer, "requires a list of pointer-sized items."},
    {kTextHeaderInfo, "header info"},
    {kTextDataLength, "data length"},
    {kTextItemSize, "item size"},
    {kTextBadArgument, "bad argument to %s."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

int32_t MessageFor(ErrorCode code) {
  switch (code) {
    case LIST_ErrBusy: return kTextReadOnly;
    case LIST_ErrLocked: return kTextLocked;
    case LIST_ErrUnlocked: return kTextUnlocked;
    case LIST_ErrInvalidRange: return kTextBadRange;
    case LIST_ErrNotFound: return kTextNotFound;
    case LIST_ErrBadFileData: return kTextBadFile;
    case kErrRange: return kTextOutside;
    default: return kTextUnknown;
  }
}

}  // namespace

// The table is installed with the first list (and on first use otherwise).
constinit const pkg::Reporter kReport{.number = LIST_PackageNumber,
                                      .table = &LISTp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadArgument,
                                      .installOnUse = true};

ErrorCode Fail(LocationCode loc, ErrorCode code, int32_t verb) {
  const uint32_t site = LocationSite(loc);
  int32_t message = MessageFor(code);
  if (message == kTextUnknown) return kReport.Fail(site, code, kTextUnknown, {code});
  return kReport.Fail(site, code, message, {kReport.Text(verb)});
}

ErrorCode FailText(LocationCode loc, ErrorCode code, int32_t textIndex) {
  return kReport.Message(LocationSite(loc), kSevError, code, kReport.Text(textIndex));
}

ErrorCode CheckFailed(LIST_Handle list, LocationCode loc) {
  if (!list || !*list) return Fail(loc, kErrBadParam, 0);
  return Fail(loc, kErrDamaged, 0);
}

}  // namespace tv::list

TV_PACKAGE_VERSION_OPS(LIST, LIST_PackageNumber)
