// OutputSpecs: one output module instance each. Creation checks the module
// and the frame size, every operation checks the magic words and forwards to
// the module's slot; the framework keeps the output information, the file,
// the frame count, the byte total of still sequences and the last index, and
// names the numbered files of still-sequence output.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>
#include <string>

#include <cstdio>
#include <optional>

#include "PIN_internal.h"
#include "Prefs.h"
#include "U.h"

namespace tv::pin {

const Module* OutModuleOf(PIN_OutputSpecH out) { return FindModule(OutRec(out).signature); }

namespace {

constexpr uint32_t kSite = kSiteOutput;
// A name holds at most 255 bytes on the file systems here.
constexpr int32_t kMaxFrameName = FILE_MaxName;

void FreeOutputSpec(PIN_OutputSpecH out) {
  OutputSpec& o = OutRec(out);
  UnlistClaim(o);
  if (o.disposeInstance && o.instance) o.disposeInstance(o.instance);
  o.instance = nullptr, o.disposeInstance = nullptr;
  if (o.file) FILE_Dispose(o.file);
  if (o.options) DisposeHandle(o.options);
  o.file = nullptr, o.options = nullptr;
  o.magic = o.tailMagic = kDeadMagic;
  DisposeHandle(out);
}

template <class Fn, class... Args>
ErrorCode Forward(PIN_OutputSpecH out, int slot, Fn PIN_ModuleProcs::*member, Args... args) {
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  return CallSlot(OutModuleOf(out), slot, member, out, args...);
}

// Splits "dir/name" at the last slash.
void SplitPath(const std::string& path, std::string* dir, std::string* name) {
  const size_t slash = path.rfind('/');
  *dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

size_t WholeChars(std::string_view s, size_t n) {
  if (n >= s.size()) return s.size();
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

int32_t ResolveIndex(const OutputSpec& o, int32_t index) {
  if (index >= 0) return index;
  return o.lastIndex < INT32_MAX ? o.lastIndex + 1 : INT32_MAX;
}

// "DontCheckSpaceDrives" names the volumes whose still files are not added
// to the byte total. There are no drive letters here: the setting lists
// folders (normally mount points, e.g. "/mnt/farm;/media/scratch"),
// separated by ';' or ',', and a file under one of them is exempt. Entries
// that are not absolute paths (the letters of old settings) match nothing.
bool SpaceUnchecked(std::string_view path) {
  const std::optional<std::string> value = platform::prefs::GetString(TV_PREFS_SECTION, "DontCheckSpaceDrives");
  if (!value) return false;
  std::string_view rest = *value;
  while (!rest.empty()) {
    const size_t cut = rest.find_first_of(";,");
    std::string_view entry = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
    while (entry.size() > 1 && entry.back() == '/') entry.remove_suffix(1);
    if (entry.empty() || entry.front() != '/') continue;
    if (entry == "/") return true;
    if (path.size() >= entry.size() && path.substr(0, entry.size()) == entry &&
        (path.size() == entry.size() || path[entry.size()] == '/'))
      return true;
  }
  return false;
}

ErrorCode StillFrameRef(PIN_OutputSpecH out, int32_t index, uint32_t site, FILE_SpecH* ref) {
  *ref = nullptr;
  const OutputSpec& o = OutRec(out);
  if (!o.file) return kReport.Fail(site, kErrBadParam, kTextNoOutputFile);
  std::string dir, templ;
  SplitPath(PathOf(o.file), &dir, &templ);
  std::string name = templ;
  if (!o.noNumbering && !NumberedName(templ, static_cast<int64_t>(o.firstNumber) + index, &name)) {
    // The console line, and the one report every failure gets.
    std::fprintf(stderr, "%s is not a valid filename\n", name.c_str());
    return kReport.Fail(site, 1, kTextBadFilename, {name.c_str()});
  }
  return FILE_New((dir + name).c_str(), FILE_LocFullPath, ref);
}

// The name of numbered still `number` from a template name: the template's
// "[#...]" field replaced by the number at the field's width. A template
// without a field gets "[#####]" before its extension, so the files keep the
// extension their format is known by. Prefix and suffix are shortened (the
// prefix first, whole characters) so the name fits the 255 bytes a file name
// may have here. False for a name out of 1 to 255 bytes (*name holds it).
bool NumberedName(std::string_view templ, int64_t number, std::string* name) {
  size_t open = std::string_view::npos, close = 0;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] != '[') continue;
    size_t j = i + 1;
    while (j < templ.size() && templ[j] == '#') ++j;
    if (j > i + 1 && j < templ.size() && templ[j] == ']') {
      open = i, close = j;
      break;
    }
  }
  std::string prefix, suffix;
  size_t width = 5;
  if (open == std::string_view::npos) {
    const size_t dot = templ.rfind('.');
    const size_t cut = dot == std::string_view::npos || dot == 0 ? templ.size() : dot;
    prefix = templ.substr(0, cut);
    suffix = templ.substr(cut);
  } else {
    prefix = templ.substr(0, open);
    suffix = templ.substr(close + 1);
    width = close - open - 1;
  }
  // "%0*ld" at the field's width, however wide the field is.
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number < 0 ? -number : number));
  std::string digits(text);
  const size_t sign = number < 0 ? 1 : 0;
  if (digits.size() + sign < width) digits.insert(0, width - digits.size() - sign, '0');
  if (sign) digits.insert(0, 1, '-');
  const size_t reserve = std::max<size_t>(width, 6);
  const size_t room = reserve < static_cast<size_t>(kMaxFrameName) ? kMaxFrameName - reserve : 0;
  if (prefix.size() + suffix.size() > room) {
    const size_t over = prefix.size() + suffix.size() - room;
    const size_t fromPrefix = std::min(over, prefix.size());
    prefix.resize(WholeChars(prefix, prefix.size() - fromPrefix));
    suffix.resize(WholeChars(suffix, suffix.size() - (over - fromPrefix)));
  }
  *name = prefix + digits + suffix;
  return !name->empty() && name->size() <= static_cast<size_t>(kMaxFrameName);
}

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_NewOutputSpec(FourCC signature, int32_t width, int32_t height, PIN_OutputSpecH* out) try {
  if (!out) return kReport.BadParam(kSite, {"PIN_NewOutputSpec"});
  *out = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSite);
  if (width < 0 || height < 0) return kReport.BadParam(kSite, {"PIN_NewOutputSpec"});
  if (signature == kPlaceholderSig) return kReport.Fail(kSite, kErrBadParam, kTextUnknownOutputModule);
  const Module* m = FindModule(signature);
  if (!m) return kReport.Fail(kSite, kErrBadParam, kTextNotInstalled);
  if ((m->info.maxWidth > 0 && width > m->info.maxWidth) || (m->info.maxHeight > 0 && height > m->info.maxHeight)) {
    char message[U_MessageBufferSize];
    u::SubString(message, kReport.Text(kTextImageTooLarge), {m->info.name});
    return kReport.Message(kSite, kSevError, kErrBadParam, message);
  }
  Handle h = NewHandleClear(static_cast<Size>(sizeof(OutputSpec)));
  if (!h) return kReport.OutOfMemory(kSite, kTextMemoryOutput, sizeof(OutputSpec));
  {
    OutputSpec& o = OutRec(h);
    o.magic = o.tailMagic = PIN_OutputSpecMagic;
    o.signature = signature;
    o.lastIndex = -1;
    o.width = width, o.height = height;
    o.info.version = PIN_OutputInfoVersion;
    o.info.width = width, o.info.height = height;
  }
  if (ErrorCode err = CallSlot(m, PIN_Slot_NewOutputSpec, &PIN_ModuleProcs::newOutputSpec, h)) {
    FreeOutputSpec(h);
    return err;
  }
  *out = h;
  return 0;
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_DisposeOutputSpec(PIN_OutputSpecH out) {
  if (!out) return 0;
  if (ErrorCode err = kReport.CheckRecord(out, kOutMagic, kSite)) return err;
  FreeOutputSpec(out);
  return 0;
}

ErrorCode PIN_GetOutputOptions(PIN_OutputSpecH out, Handle* options) {
  if (!options) return kReport.BadParam(kSite, {"PIN_GetOutputOptions"});
  *options = nullptr;
  Handle h = nullptr;
  ErrorCode err = Forward(out, PIN_Slot_GetOutputOptions, &PIN_ModuleProcs::getOutputOptions, &h);
  if (err) {
    if (h) DisposeHandle(h);
    return err;
  }
  *options = h;
  return 0;
}

ErrorCode PIN_DisposeOutputOptions(PIN_OutputSpecH out, Handle options) {
  return Forward(out, PIN_Slot_DisposeOutputOptions, &PIN_ModuleProcs::disposeOutputOptions, options);
}

ErrorCode PIN_UserOptionsDialog(PIN_OutputSpecH out, Boolean32* cancelled) {
  if (!cancelled) return kReport.BadParam(kSite, {"PIN_UserOptionsDialog"});
  *cancelled = 0;
  return Forward(out, PIN_Slot_UserOptionsDialog, &PIN_ModuleProcs::userOptionsDialog, cancelled);
}

namespace {
// Checks an output information record against the module's limits.
bool ValidInfo(const PIN_OutputInfo& i, const Module* m) {
  if (i.version != PIN_OutputInfoVersion || i.width < 0 || i.height < 0) return false;
  if (m && ((m->info.maxWidth > 0 && i.width > m->info.maxWidth) ||
            (m->info.maxHeight > 0 && i.height > m->info.maxHeight)))
    return false;
  if (i.depth != 24 && i.depth != 32) return false;
  if (i.quality < 0 || i.quality > 1 || i.fieldOrder > 2 || i.pulldown > 5 || i.frameRate < 0) return false;
  if (i.hsfNum || i.hsfDen)
    if (i.hsfNum < 1 || i.hsfNum > 100000 || i.hsfDen < 1 || i.hsfDen > 100000) return false;
  if (i.soundChannels > 2) return false;
  if (i.soundChannels && i.soundBytes != 1 && i.soundBytes != 2 && i.soundBytes != 4) return false;
  if (i.start.scale == 0 && i.start.value != 0) return false;
  if (i.duration.scale == 0 && i.duration.value != 0) return false;
  return true;
}
}  // namespace

ErrorCode PIN_GetOutputInfo(PIN_OutputSpecH out, PIN_OutputInfo* info, int32_t size) {
  if (!info || size != static_cast<int32_t>(sizeof(PIN_OutputInfo)))
    return kReport.BadParam(kSite, {"PIN_GetOutputInfo"});
  *info = PIN_OutputInfo{};
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  PIN_OutputInfo i = OutRec(out).info;
  const Module* m = OutModuleOf(out);
  if (m && Filled(m->procs, PIN_Slot_GetOutputInfo))
    if (ErrorCode err = m->procs.getOutputInfo(out, &i, size)) return err;
  *info = i;
  return 0;
}

ErrorCode PIN_SetOutputInfo(PIN_OutputSpecH out, const PIN_OutputInfo* info, int32_t size) {
  if (!info || size != static_cast<int32_t>(sizeof(PIN_OutputInfo)))
    return kReport.BadParam(kSite, {"PIN_SetOutputInfo"});
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  const Module* m = OutModuleOf(out);
  if (!ValidInfo(*info, m)) return kReport.BadParam(kSite, {"PIN_SetOutputInfo"});
  // Modules that take no information of their own read what the framework
  // keeps (PIN_GetOutputInfo).
  if (m && Filled(m->procs, PIN_Slot_SetOutputInfo))
    if (ErrorCode err = m->procs.setOutputInfo(out, info, size)) return err;
  OutputSpec& o = OutRec(out);
  o.info = *info;
  o.width = info->width, o.height = info->height;
  return 0;
}

ErrorCode PIN_SetOutputFile(PIN_OutputSpecH out, FILE_SpecH file) {
  if (!file) return kReport.BadParam(kSite, {"PIN_SetOutputFile"});
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  FILE_SpecH copy = nullptr;
  if (ErrorCode err = FILE_Duplicate(file, &copy)) return err;
  // A still-sequence module gets the template first, then each numbered
  // file as it is written.
  ErrorCode err = CallSlot(OutModuleOf(out), PIN_Slot_SetOutputFile, &PIN_ModuleProcs::setOutputFile, out, file);
  if (err) {
    FILE_Dispose(copy);
    return err;
  }
  OutputSpec& o = OutRec(out);
  if (o.file) FILE_Dispose(o.file);
  o.file = copy;
  return 0;
}

ErrorCode PIN_GetOutputFile(PIN_OutputSpecH out, FILE_SpecH* file) {
  if (!file) return kReport.BadParam(kSite, {"PIN_GetOutputFile"});
  *file = nullptr;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  return OutRec(out).file ? FILE_Duplicate(OutRec(out).file, file) : 0;
}

ErrorCode PIN_DestinationDialog(PIN_OutputSpecH out, Boolean32* cancelled) {
  if (!cancelled) return kReport.BadParam(kSite, {"PIN_DestinationDialog"});
  *cancelled = 0;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  char path[FILE_MaxPath] = "";
  if (ErrorCode err = AskUser(PIN_Dialog_Destination, out, path, sizeof path, cancelled)) return err;
  if (*cancelled) return 0;
  FILE_SpecH ref = nullptr;
  if (ErrorCode err = FILE_New(path, FILE_LocFullPath, &ref)) return err;
  ErrorCode err = PIN_SetOutputFile(out, ref);
  FILE_Dispose(ref);
  return err;
}

ErrorCode PIN_SetOutSpecificData(PIN_OutputSpecH out, int32_t selector, const void* data, int32_t size) {
  return Forward(out, PIN_Slot_SetOutSpecificData, &PIN_ModuleProcs::setOutSpecificData, selector, data, size);
}

ErrorCode PIN_GetOutSpecificData(PIN_OutputSpecH out, int32_t selector, void* data, int32_t size) {
  return Forward(out, PIN_Slot_GetOutSpecificData, &PIN_ModuleProcs::getOutSpecificData, selector, data, size);
}

ErrorCode PIN_GetLegalDepths(PIN_OutputSpecH out, uint32_t* depths) {
  if (!depths) return kReport.BadParam(kSite, {"PIN_GetLegalDepths"});
  *depths = 0;
  uint32_t d = 0;
  ErrorCode err = Forward(out, PIN_Slot_GetLegalDepths, &PIN_ModuleProcs::getLegalDepths, &d);
  if (!err) *depths = d;
  return err;
}

ErrorCode PIN_GetOutputSuffix(PIN_OutputSpecH out, char* suffix, int32_t size) {
  if (!suffix || size < 1) return kReport.BadParam(kSite, {"PIN_GetOutputSuffix"});
  suffix[0] = 0;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  const Module* m = OutModuleOf(out);
  if (m && Filled(m->procs, PIN_Slot_GetOutputSuffix)) return m->procs.getOutputSuffix(out, suffix, size);
  // The module's default extension, e.g. ".rla".
  char ext[5] = {};
  for (int i = 0; i < 4 && m; ++i) ext[i] = static_cast<char>(m->info.extension >> (24 - 8 * i));
  if (!ext[0]) return ApplyDefault(PIN_Slot_GetOutputSuffix, ModuleName(m));
  if (static_cast<int32_t>(std::strlen(ext)) >= size) return kReport.BadParam(kSite, {"PIN_GetOutputSuffix"});
  std::memcpy(suffix, ext, std::strlen(ext) + 1);
  return 0;
}

ErrorCode PIN_SetOutputNumbering(PIN_OutputSpecH out, int32_t firstNumber, Boolean32 noNumbering) {
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  if (firstNumber < 0) return kReport.BadParam(kSite, {"PIN_SetOutputNumbering"});
  OutRec(out).firstNumber = firstNumber;
  OutRec(out).noNumbering = noNumbering ? 1 : 0;
  return 0;
}

ErrorCode PIN_GetOutputState(PIN_OutputSpecH out, PIN_OutputState* state) {
  if (!state) return kReport.BadParam(kSite, {"PIN_GetOutputState"});
  *state = PIN_OutputState{};
  state->lastIndex = -1;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  const OutputSpec& o = OutRec(out);
  *state = PIN_OutputState{o.signature, o.started,     o.frames,        o.bytes,
                           o.firstNumber, o.noNumbering, o.reservedFrame, o.lastIndex};
  return 0;
}

// ---- The write path --------------------------------------------------------------

ErrorCode PIN_StartAdding(PIN_OutputSpecH out) {
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  OutputSpec& o = OutRec(out);
  // The count runs on over the continuations of one output.
  if (!o.everStarted) o.frames = 0;
  o.everStarted = 1;
  ErrorCode err = CallSlot(OutModuleOf(out), PIN_Slot_StartAdding, &PIN_ModuleProcs::startAdding, out);
  if (!err) OutRec(out).started = 1;
  return err;
}

namespace {

// Writes frame `index` of a still sequence to its own file.
ErrorCode AddStill(PIN_OutputSpecH out, const Module* m, int32_t index, BM_World world) {
  if (OutRec(out).noNumbering && OutRec(out).frames > 0)
    return kReport.Fail(kSite, PIN_ErrBadRequest, kTextMultipleStills);
  FILE_SpecH ref = nullptr;
  // The name is checked before anything is made on disk.
  if (ErrorCode err = StillFrameRef(out, index, kSite, &ref)) return err;
  ErrorCode err = CallSlot(m, PIN_Slot_SetOutputFile, &PIN_ModuleProcs::setOutputFile, out, ref);
  if (!err) err = CallSlot(m, PIN_Slot_OutputFrame, &PIN_ModuleProcs::outputFrame, out, world);
  int64_t size = 0;
  if (!err && !SpaceUnchecked(PathOf(ref)) && FILE_InqSize(ref, FILE_SizeData, &size) == 0 && size > 0) {
    // The total is kept in full; the 32-bit figure saturates.
    OutputSpec& w = OutRec(out);
    const uint64_t add = static_cast<uint64_t>(size);
    w.totalBytes = w.totalBytes > UINT64_MAX - add ? UINT64_MAX : w.totalBytes + add;
    w.bytes = static_cast<int32_t>(std::min<uint64_t>(w.totalBytes, 0x7FFFFFFF));
  }
  FILE_Dispose(ref);
  return err;
}

}  // namespace

ErrorCode PIN_AddFrame(PIN_OutputSpecH out, int32_t index, BM_World world) {
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  if (!world) return kReport.BadParam(kSite, {"PIN_AddFrame"});
  if (ErrorCode err = PIN_Idle()) return err;
  index = ResolveIndex(OutRec(out), index);
  const Module* m = OutModuleOf(out);
  ErrorCode err = m && (m->info.flags & PIN_ModFlag_StillPerFile)
                      ? AddStill(out, m, index, world)
                      : CallSlot(m, PIN_Slot_AddFrame, &PIN_ModuleProcs::addFrame, out, index, world);
  if (err) return err;
  OutputSpec& o = OutRec(out);
  o.lastIndex = index;
  if (o.frames < INT32_MAX) ++o.frames;
  return 0;
}

ErrorCode PIN_AddSoundChunk(PIN_OutputSpecH out, Handle soundWorld) {
  return Forward(out, PIN_Slot_AddSoundChunk, &PIN_ModuleProcs::addSoundChunk, soundWorld);
}

ErrorCode PIN_EndAdding(PIN_OutputSpecH out) {
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  const Module* m = OutModuleOf(out);
  ErrorCode err = CallSlot(m, PIN_Slot_EndAdding, &PIN_ModuleProcs::endAdding, out);
  // Modules without a flush of their own have nothing to flush.
  if (!err && m && Filled(m->procs, PIN_Slot_Flush)) err = m->procs.flush(out);
  OutRec(out).started = 0;
  return err;
}

ErrorCode PIN_OutputFrame(PIN_OutputSpecH out, BM_World world) {
  if (!world) return kReport.BadParam(kSite, {"PIN_OutputFrame"});
  return Forward(out, PIN_Slot_OutputFrame, &PIN_ModuleProcs::outputFrame, world);
}

ErrorCode PIN_Flush(PIN_OutputSpecH out) { return Forward(out, PIN_Slot_Flush, &PIN_ModuleProcs::flush); }

ErrorCode PIN_GetSizes(PIN_OutputSpecH out, int64_t* volumeSpace, int64_t* fileSize) {
  if (!volumeSpace || !fileSize) return kReport.BadParam(kSite, {"PIN_GetSizes"});
  *volumeSpace = *fileSize = 0;
  if (ErrorCode err = CheckOutSpec(out, kSite)) return err;
  const Module* m = OutModuleOf(out);
  if (m && Filled(m->procs, PIN_Slot_GetSizes)) {
    int64_t a = 0, b = 0;
    ErrorCode err = m->procs.getSizes(out, &a, &b);
    if (err != PIN_ErrNoSizes) {
      if (!err) *volumeSpace = a, *fileSize = b;
      return err;
    }
  }
  // The framework's own answer: the free space where the output goes and
  // the bytes it counted.
  const OutputSpec& o = OutRec(out);
  if (!o.file) return kReport.Fail(kSite, kErrBadParam, kTextUnknownDestination);
  FILE_SpecH parent = nullptr;
  if (ErrorCode err = FILE_ParentDir(o.file, 0, &parent)) return err;
  uint64_t space = 0;
  ErrorCode err = FILE_InqVolSpaceAvailable(parent, &space);
  FILE_Dispose(parent);
  if (err) return err;
  *volumeSpace = static_cast<int64_t>(std::min<uint64_t>(space, INT64_MAX));
  *fileSize = static_cast<int64_t>(std::min<uint64_t>(OutRec(out).totalBytes, INT64_MAX));
  return 0;
}

// ---- For modules ------------------------------------------------------------------

ErrorCode PIN_SetOutputInstance(PIN_OutputSpecH out, void* state, void (*dispose)(void*)) {
  if (ErrorCode err = kReport.CheckRecord(out, kOutMagic, kSite)) {
    if (state && dispose) dispose(state);
    return err;
  }
  OutputSpec& o = OutRec(out);
  void* old = o.instance;
  void (*oldDispose)(void*) = o.disposeInstance;
  o.instance = state, o.disposeInstance = dispose;
  if (old && oldDispose && old != state) oldDispose(old);
  return 0;
}

ErrorCode PIN_GetOutputInstance(PIN_OutputSpecH out, void** state) {
  if (!state) return kReport.BadParam(kSite, {"PIN_GetOutputInstance"});
  *state = nullptr;
  if (ErrorCode err = kReport.CheckRecord(out, kOutMagic, kSite)) return err;
  *state = OutRec(out).instance;
  return 0;
}

// ---- Output information records --------------------------------------------------------

namespace {

template <class T>
void SwapField(T& v) {
  static_assert(std::is_integral_v<T> || std::is_enum_v<T>);
  uint8_t b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
  std::memcpy(&v, b, sizeof(T));
}
template <class... T>
void SwapAll(T&... v) {
  (SwapField(v), ...);
}
template <class T, size_t N>
void SwapArray(T (&a)[N]) {
  for (T& v : a) SwapField(v);
}

}  // namespace

ErrorCode PIN_Swap_OutputInfo(PIN_OutputInfo* i) {
  if (!i) return kReport.BadParam(kSite, {"PIN_Swap_OutputInfo"});
  SwapAll(i->version, i->width, i->height, i->depth, i->quality, i->frameRate, i->fieldOrder, i->hsfNum, i->hsfDen,
          i->pulldown, i->soundRate, i->soundEncoding, i->soundBytes, i->soundChannels, i->reserved0, i->start.value,
          i->start.scale, i->duration.value, i->duration.scale, i->flags);
  SwapArray(i->reserved);
  return 0;
}

ErrorCode PIN_Swap_OutputInfoV1(PIN_OutputInfoV1* i) {
  if (!i) return kReport.BadParam(kSite, {"PIN_Swap_OutputInfoV1"});
  SwapAll(i->version, i->width, i->height, i->depth, i->quality, i->frameRate, i->fieldOrder, i->soundRate,
          i->soundBytes, i->soundChannels, i->flags);
  SwapArray(i->reserved);
  return 0;
}

ErrorCode PIN_ConvertOutputInfoV1(const PIN_OutputInfoV1* v1, PIN_OutputInfo* info) {
  if (!v1 || !info) return kReport.BadParam(kSite, {"PIN_ConvertOutputInfoV1"});
  *info = PIN_OutputInfo{};
  if (v1->version != 1) return kReport.BadParam(kSite, {"PIN_ConvertOutputInfoV1"});
  PIN_OutputInfo i{};
  i.version = PIN_OutputInfoVersion;
  i.width = v1->width, i.height = v1->height;
  i.depth = v1->depth, i.quality = v1->quality;
  i.frameRate = v1->frameRate;
  i.fieldOrder = v1->fieldOrder;
  i.hsfNum = i.hsfDen = 1;
  i.soundRate = v1->soundRate;
  // The first version held signed samples of 1 or 2 bytes.
  i.soundBytes = v1->soundBytes;
  i.soundChannels = v1->soundChannels;
  i.soundEncoding = v1->soundChannels ? (v1->soundBytes == 1 ? 1 : 2) : 0;
  i.start = Time{0, 1};
  i.duration = Time{0, 1};
  i.flags = v1->flags;
  *info = i;
  return 0;
}
