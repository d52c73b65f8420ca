// Project files: the chunk tree of a saved project, shared by the writer, the
// reader and the save, open and import commands.
#pragma once

#include <string>
#include <vector>

#include "BEE_cmd_internal.h"
#include "ByteOrder.h"
#include "SLU.h"

namespace tv::bee::proj {

constexpr uint16_t kFileVersion = 22;     // written by this engine
constexpr uint16_t kOldestVersion = 11;   // older files are refused
constexpr int32_t kMaxFolderDepth = 256;  // deeper files are refused (the reader recurses)

constexpr FourCC kEgg = MakeFourCC("Egg!");
constexpr FourCC khead = MakeFourCC("head");
constexpr FourCC knhed = MakeFourCC("nhed");
constexpr FourCC kFold = MakeFourCC("Fold");
constexpr FourCC kfdta = MakeFourCC("fdta");
constexpr FourCC kItem = MakeFourCC("Item");
constexpr FourCC kidta = MakeFourCC("idta");
constexpr FourCC kcmta = MakeFourCC("cmta");
constexpr FourCC ksfdt = MakeFourCC("sfdt");
constexpr FourCC kSfdr = MakeFourCC("Sfdr");
constexpr FourCC kcdta = MakeFourCC("cdta");
constexpr FourCC kLayr = MakeFourCC("Layr");
constexpr FourCC kcrdt = MakeFourCC("crdt");
constexpr FourCC kGide = MakeFourCC("Gide");
constexpr FourCC kgdta = MakeFourCC("gdta");
constexpr FourCC kldta = MakeFourCC("ldta");
constexpr FourCC kMprd = MakeFourCC("Mprd");
constexpr FourCC kmdta = MakeFourCC("mdta");
constexpr FourCC kPin = MakeFourCC("Pin ");
constexpr FourCC kPar8 = MakeFourCC("Par8");
constexpr FourCC ktdbs = MakeFourCC("tdbs");
constexpr FourCC klist = MakeFourCC("list");
// Chunks of this engine beyond the fixed tree: a footage item's description
// ("fdsc", before its source), a mask's own settings ("mkdt", before its
// streams) and a standard stream the layer does not have ("tdbn", in its
// place among the eight).
constexpr FourCC kfdsc = MakeFourCC("fdsc");
constexpr FourCC kmkdt = MakeFourCC("mkdt");
constexpr FourCC ktdbn = MakeFourCC("tdbn");
// A composition's time markers ("tmrk", after "cdta", only when one is set):
// ten Times, scale 0 for a marker that is not set.
constexpr FourCC ktmrk = MakeFourCC("tmrk");
constexpr uint32_t kTmrkSize = 8 * BEE_TimeMarkerCount;

constexpr uint32_t kHeadSize = 20, kHeadMax = 28, kNhedSize = 8, kFdtaSize = 14, kIdtaSize = 84,
                   kCdtaSize = 172, kLdtaSize = 128, kCrdtSize = 12, kSfdtSize = 4, kGdtaSize = 8, kMdtaSize = 16,
                   kMkdtSize = 48, kGuideSize = 8, kFdscSize = 232;
// Layer records of older files: without the ruler origin (before 20), and
// without the stretch denominator as well (before 16).
constexpr uint32_t kLdtaSize19 = 112, kLdtaSize15 = 108;

// The standard streams in file order (indices into the layer's streams).
constexpr int32_t kStreamOrder[8] = {BEE_StreamPosition, BEE_StreamAnchorPoint, BEE_StreamRotation,
                                     BEE_StreamScale,    BEE_StreamOpacity,     BEE_StreamAudioLevels,
                                     BEE_StreamMarker,   BEE_StreamTimeRemap};

// Report sites of project files. 0x12 and 0x4A are the fixed locations of
// the locked file and of a file that is not a project.
constexpr uint32_t kSiteLocked = 0x12;
constexpr uint32_t kSiteNotProject = 0x4A;
constexpr uint32_t kSiteProjectFile = 0x4B;

struct SaveOptions {
  uint32_t value1 = 0, value2 = 0;
  uint16_t version = kFileVersion;  // older versions only for tests of the conversion
};
// Writes the whole "RIFX"/"Egg!" tree of the open project.
ErrorCode WriteProject(SLU_FileContext* file, const SaveOptions& options);

// What the reader takes from a file, record by record. Every value is held
// to the range a command holds it to (the checks of BEE_records.h, shared
// with the commands); a value outside it makes the open (or import) fail
// with one report, "strange data in project file." naming the field and the
// chunk, and leaves the open project as it was. Fields that no command
// limits are kept as they are.
//
// - "head": version 11..22; the ID and time stamp counters as they are.
// - "idta": kind 1, 4, 5 or 7 (6 inside a layer only); ID non-zero and
//   unique in the project (offset when importing); the proxy and comment
//   flags 0 or 1. Item flags, label, name, ruler origin and the kept
//   settings: any.
// - "cdta" (compositions): frame rate 1..0x7FFFFFFF (16.16); the frame
//   duration exactly the one the rate gives (scale brought into
//   2000..115200); width and height at least 1; pixel aspect with a
//   numerator above 0 and a non-zero denominator; resolution factors at
//   least 1; duration of non-zero scale and not negative; the second time,
//   the current time and the work-area start of non-zero scale; the
//   work-area end of non-zero scale or not set (-1). Background colour,
//   view state and composition switches: any.
// - "tmrk": a marker of scale 0 is not set; others as they are.
// - "crdt" (solids): width and height at least 1; colour any.
// - "fdsc" (footage): duration of non-zero scale and not negative; pixel
//   aspect with a numerator above 0 and a non-zero denominator.
// - "ldta" (layers): quality 0..2; transfer mode 0..25 (the modes the
//   compositing package draws); track matte mode 0..4; stretch neither 0
//   nor beyond 65536 times either way (numerator and denominator non-zero);
//   offset, in and out points of non-zero scale with the in point not after
//   the out point; the comment flag 0 or 1; a source ID that names an item
//   of the file that is not a folder and not a composition holding the
//   layer. Transfer flags, layer switches, label and name: any.
// - "mkdt" (masks): mode 1..6; invert and lock 0 or 1; at most 127 masks.
// - "Par8" (effects): at most 31; missing effects removed or kept as asked.
// - Streams (standard, mask and effect parameter streams): the dimension
//   the index has; a value at every time (a constant holds one, a keyed
//   stream has a key); every value, velocity, influence and spatial
//   tangent finite; effect parameter values within the parameter's range
//   (as the effect validates them); mask shapes rectangles, ovals or paths
//   in absolute coordinates.
struct ReadResult {
  bool converted = false;
};
// Reads a project file into the open project: opening replaces the project
// (the old one is closed only once the file has been read whole); importing
// adds the file's items to folder. On failure the open project is as it was.
ErrorCode ReadProject(SLU_FileContext* file, bool importing, BEE_Item folder, bool keepMissingEffects,
                      ReadResult* result);

// Times and origins in their file form.
inline void PutTime(be::Writer& w, Time t) {
  w.Write<int32_t>(t.value);
  w.Write<uint32_t>(t.scale);
}
inline Time GetTime(be::Reader& r) {
  Time t{};
  t.value = r.Read<int32_t>();
  t.scale = r.Read<uint32_t>();
  return t;
}

}  // namespace tv::bee::proj
