// Footage sources: a footage item's source is a SeqSpec of the footage
// modules, its description follows from it, replacing or relinking the
// source is one undoable command, and frames are drawn through the module.
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {
namespace {

// The item's name for a source: the file's name, or a sequence's pattern
// ("shot_[#].tsf"); cut to the item's 32 bytes without splitting a character.
void SourceName(PIN_SeqSpecH seq, char (&out)[32]) {
  char name[FILE_MaxName + 1] = "";
  FILE_SpecH file = nullptr;
  if (PIN_GetFile(seq, &file) == 0 && file) {
    FILE_InqName(file, FILE_NameOnly, name, sizeof name);
    FILE_Dispose(file);
  }
  int32_t files = 0;
  PIN_GetNumFiles(seq, &files);
  std::string text = name;
  if (files > 1) {
    // The last digit run before the extension becomes "[#]".
    const size_t dot = text.rfind('.');
    size_t end = dot == std::string::npos || dot == 0 ? text.size() : dot;
    while (end > 0 && !(text[end - 1] >= '0' && text[end - 1] <= '9')) --end;
    size_t start = end;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
    if (end > start) text.replace(start, end - start, "[#]");
  }
  CopyName(out, text);
}

ErrorCode DescribeSource(PIN_SeqSpecH seq, BEE_FootageDesc* desc) {
  std::memset(desc, 0, sizeof *desc);
  PIN_SourceInfo info{};
  PIN_Interpretation interp{};
  if (ErrorCode err = PIN_GetSourceInfo(seq, &info)) return err;
  if (ErrorCode err = PIN_GetInterpretation(seq, &interp)) return err;
  FourCC sig = 0;
  PIN_GetModuleSignature(seq, &sig);
  PIN_ModuleInfo module{};
  if (ErrorCode err = PIN_GetModuleInfo(-1, sig, &module)) return err;
  SourceName(seq, desc->name);
  CopyName(desc->formatName, module.name);
  desc->width = static_cast<uint16_t>(info.width);
  desc->height = static_cast<uint16_t>(info.height);
  if (ErrorCode err = PIN_GetDuration(seq, &desc->duration)) return err;
  desc->pixelAspect = Ratio{static_cast<int32_t>(interp.hsfNum), interp.hsfDen};
  desc->frameRate = static_cast<uint32_t>(interp.conformedRate ? interp.conformedRate : interp.nativeRate);
  desc->depth = static_cast<uint32_t>(info.depth);
  desc->fieldSetting = interp.field.separate ? 1 : 0;
  desc->fieldSecond = interp.field.separate && interp.field.dominance ? 1 : 0;
  // Sound-only footage has no picture: no size, and its layers composite
  // nothing. A module that reads both says so of each file.
  int32_t picture = 1;
  if (!(module.flags & PIN_ModFlag_NoVideo))
    PIN_GetSeqSpecificData(seq, PIN_SeqData_HasPicture, &picture, static_cast<int32_t>(sizeof picture));
  desc->hasVideo = info.width > 0 && !(module.flags & PIN_ModFlag_NoVideo) && picture != 0 ? 1 : 0;
  if (!desc->hasVideo) desc->width = desc->height = 0;
  PIN_GetSeqSpecInfo(seq, desc->text, sizeof desc->text);
  return 0;
}

ErrorCode CheckFootage(BEE_Item item, const char* op) {
  if (ErrorCode err = CheckItem(item)) return err;
  if (R(item).kind != BEE_KindFootage || !R(item).footage)
    return Strange(BEE_SiteItemQuery, op, R(item).kind);
  return 0;
}

}  // namespace

ErrorCode DescribeFootageSource(PIN_SeqSpecH seq, BEE_FootageDesc* desc) { return DescribeSource(seq, desc); }

BEE_OP(OpReplaceFootage) {
  const auto [item, source] = Words<ReplaceFootageCmd>(*rec);
  if (ErrorCode err = CheckFootage(item, "OpReplaceFootage")) return err;
  if (!source) return kReport.BadParam(BEE_SiteCommandOp, {"OpReplaceFootage"});
  FootageSource* old = nullptr;
  FootageSource was{R(item).seqSpec, {}};
  std::memcpy(&was.desc, *R(item).footage, sizeof was.desc);
  if (ErrorCode err = NewBlock(&was, sizeof was, reinterpret_cast<void**>(&old))) return err;
  R(item).seqSpec = source->seq;
  std::memcpy(*R(item).footage, &source->desc, sizeof source->desc);
  // What the item keeps of its description follows it.
  BEE_ItemRec& r = R(item);
  r.width = source->desc.width;
  r.height = source->desc.height;
  r.flags &= ~static_cast<decltype(r.flags)>(BEE_ItemVideo | BEE_ItemStill);
  if (source->desc.hasVideo) r.flags |= BEE_ItemVideo;
  if (source->desc.duration.value == 0) r.flags |= BEE_ItemStill;
  Touch(item);
  SetInverse(inv, ReplaceFootageCmd{item, old});
  return 0;
}

BEE_OP(OpImportFootage) {
  const auto [folder, seq] = Words<ImportFootageCmd>(*rec);
  BEE_Item item = nullptr;
  if (ErrorCode err = BEEp_MakeFootageFromSeqSpec(folder, seq, &item)) return err;
  SetInverse(inv, RemoveItemCmd{item, {}});
  return 0;
}

void DisposeFootageSource(BEE_CmdRec* rec) {
  ReplaceFootageCmd c = Words<ReplaceFootageCmd>(*rec);
  auto* block = const_cast<FootageSource*>(c.source);
  if (block) {
    // The SeqSpec is the record's unless the item holds it again.
    const bool held = IsLiveItem(c.item) && R(c.item).seqSpec == block->seq;
    if (block->seq && !held) PIN_DisposeSeqSpec(block->seq);
    DisposePtr(reinterpret_cast<Ptr>(block));
  }
  c.source = nullptr;
  Store(*rec, c);
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEEp_MakeFootageFromSeqSpec(BEE_Item folder, PIN_SeqSpecH seq, BEE_Item* item) try {
  if (item) *item = nullptr;
  if (!item || !seq) return kReport.BadParam(kSiteArgument, {"BEEp_MakeFootageFromSeqSpec"});
  BEE_FootageDesc desc{};
  if (ErrorCode err = DescribeSource(seq, &desc)) return err;
  BEE_Item made = nullptr;
  if (ErrorCode err = BEEp_MakeFootageItem(folder, &desc, &made)) return err;
  R(made).seqSpec = seq;
  *item = made;
  return 0;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdImportFootage(BEE_Item folder, FILE_SpecH file, uint32_t options, BEE_Item* item) try {
  if (item) *item = nullptr;
  if (!item || !file) return kReport.BadParam(kSiteArgument, {"BEE_CmdImportFootage"});
  PIN_SeqSpecH seq = nullptr;
  if (ErrorCode err = PIN_NewSeqSpecFromFileOptions(file, options, &seq)) return err;
  ErrorCode err = BEE_StartGroup(nullptr, ImportFootageCmd::kNumber);
  intptr_t words[2] = {0, 0};
  if (!err) {
    err = DoCommand(ImportFootageCmd{folder, seq}, words);
    BEE_EndGroup();
  }
  if (err) {
    PIN_DisposeSeqSpec(seq);
    return err;
  }
  *item = Unpack<RemoveItemCmd>(words[0], words[1]).item;
  return 0;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetFootageSeqSpec(BEE_Item footage, PIN_SeqSpecH* seq) try {
  if (seq) *seq = nullptr;
  if (ErrorCode err = CheckFootage(footage, "BEE_GetFootageSeqSpec")) return err;
  if (!seq) return kReport.BadParam(kSiteArgument, {"BEE_GetFootageSeqSpec"});
  *seq = R(footage).seqSpec;
  return 0;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReplaceFootage(BEE_Item footage, PIN_SeqSpecH seq) try {
  if (ErrorCode err = CheckFootage(footage, "BEE_CmdReplaceFootage")) return err;
  if (!seq) return kReport.BadParam(kSiteArgument, {"BEE_CmdReplaceFootage"});
  FootageSource source{seq, {}};
  if (ErrorCode err = DescribeSource(seq, &source.desc)) return err;
  if (ErrorCode err = BEE_StartGroup(nullptr, ReplaceFootageCmd::kNumber)) return err;
  ErrorCode err = DoCommand(ReplaceFootageCmd{footage, &source});
  BEE_EndGroup();
  return err;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRelinkFootage(BEE_Item footage, FILE_SpecH file) try {
  if (ErrorCode err = CheckFootage(footage, "BEE_CmdRelinkFootage")) return err;
  if (!file) return kReport.BadParam(kSiteArgument, {"BEE_CmdRelinkFootage"});
  int32_t files = 0;
  if (R(footage).seqSpec) PIN_GetNumFiles(R(footage).seqSpec, &files);
  PIN_SeqSpecH seq = nullptr;
  if (ErrorCode err = PIN_NewSeqSpecFromFileOptions(file, files > 0 ? PIN_Import_Sequence : 0, &seq))
    return err;
  ErrorCode err = BEE_CmdReplaceFootage(footage, seq);
  if (err) PIN_DisposeSeqSpec(seq);
  return err;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DrawFootageFrame(BEE_Item footage, Time time, const Ratio scale[2], BM_World world) try {
  if (ErrorCode err = CheckFootage(footage, "BEE_DrawFootageFrame")) return err;
  PIN_SeqSpecH seq = R(footage).seqSpec;
  if (!seq) return Unimplemented("drawing footage without a source module", BEE_CmdNumReplaceFootage);
  PIN_DrawParams params{};
  params.time = time;
  if (scale) {
    params.scaleX = scale[0];
    params.scaleY = scale[1];
  }
  return PIN_DrawFrame(seq, world, &params);
}
TV_CATCH(BEE_PackageNumber)
