// The ElectricImage module's input: opening a file into a SeqSpec (its
// frames located, its rate from their times, its depth file found), drawing
// frames, the Z-depth channel of the depth file, and the per-sequence record.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

#include "ByteOrder.h"
#include "EI_internal.h"
#include "Format.h"
#include "HandleLock.h"
#include "Memory.h"
#include "Scratch.h"
#include "drivers/common/drivers.h"

using namespace tv;
using namespace tv::ei;

namespace {

// What the driver keeps per SeqSpec: where the frames are, in the image and
// in its depth file.
struct Instance {
  std::vector<int64_t> positions;
  int32_t width = 0, height = 0;
  bool matte = false;
  Fixed rate = 0;
  bool hasDepth = false;
  std::string depthPath;
  std::vector<int64_t> depthPositions;
  std::string depthFault;  // why the depth file does not match its image ("" when it does)
};

// A file opened for reading for one scope.
class OpenFile {
 public:
  explicit OpenFile(FILE_SpecH f) : f_(f) { err_ = f ? FILE_Open(FILE_PermRead, f) : kErrBadParam; }
  ~OpenFile() {
    if (!err_) FILE_Close(f_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ErrorCode error() const { return err_; }

 private:
  FILE_SpecH f_;
  ErrorCode err_;
};

// A reference to a path, disposed with the scope.
class Ref {
 public:
  explicit Ref(const std::string& path) { err_ = FILE_New(path.c_str(), FILE_LocFullPath, &ref_); }
  explicit Ref(FILE_SpecH ref) : ref_(ref) {}
  ~Ref() {
    if (ref_) FILE_Dispose(ref_);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  FILE_SpecH get() const { return ref_; }
  ErrorCode error() const { return err_; }

 private:
  FILE_SpecH ref_ = nullptr;
  ErrorCode err_ = 0;
};

// The time of frames * (one frame at rate), exact where the 32-bit value allows.
Time FramesTime(int64_t frames, Fixed rate) {
  if (rate <= 0) return Time{0, 1};
  int64_t value = frames * 65536, scale = rate;
  const int64_t g = std::gcd(value, scale);
  if (g > 1) value /= g, scale /= g;
  if (value > INT32_MAX) {
    // Too long for the exact form: whole hundredths of a second, rounded up
    // so the last frame stays inside.
    value = (frames * 65536 * 100 + rate - 1) / rate;
    scale = 100;
    if (value > INT32_MAX) value = INT32_MAX;
  }
  return Time{static_cast<int32_t>(value), static_cast<uint32_t>(scale)};
}

// The depth file of an image: the name with its extension replaced by
// ".eiz" (or ".eiz" added), in the same folder; a name that differs only in
// case is taken too (depth files made elsewhere are often named ".EIZ").
std::string FindDepthFile(FILE_SpecH file) {
  const std::string path = pin::PathOf(file);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  const std::string dir = path.substr(0, slash + 1), name = path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string want = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".eiz";
  if (want == name) return {};  // the image is itself a depth file
  Boolean32 exists = 0;
  if (FILE_InqLocExist((dir + want).c_str(), FILE_LocFullPath, &exists) == 0 && exists) return dir + want;
  FILE_SpecH parent = nullptr;
  if (FILE_ParentDir(file, 0, &parent) != 0) return {};
  Ref folder(parent);
  int32_t count = 0;
  if (FILE_DirFileCount(parent, &count) != 0) return {};
  for (int32_t i = 1; i <= count; ++i) {
    FILE_SpecH entry = nullptr;
    if (FILE_DirInqFileSpec(parent, i, &entry) != 0) continue;
    Ref e(entry);
    const std::string n = pin::NameOf(entry);
    if (n.size() == want.size() && strcasecmp(n.c_str(), want.c_str()) == 0 && n != name) return dir + n;
  }
  return {};
}

// Reads the frame header at pos and checks it against the file's size:
// *dataPos and the header. false when it does not fit.
bool ReadFrameHeader(FILE_SpecH file, int64_t size, int64_t pos, FrameHeader* h, int64_t* dataPos) {
  if (pos < 0 || size - pos < D_EI_FrameHeaderSize) return false;
  uint8_t bytes[D_EI_FrameHeaderSize];
  if (FILE_SetPos(file, pos) != 0 || FILE_NRead(file, D_EI_FrameHeaderSize, bytes) != 0) return false;
  *h = ParseFrameHeader(std::span<const uint8_t, D_EI_FrameHeaderSize>(bytes));
  *dataPos = pos + D_EI_FrameHeaderSize + 3 * int64_t{h->paletteEntries};
  return size - *dataPos >= int64_t{h->dataSize};
}

// Checks the depth file against its image: version 5, as many frames, each
// of the image's size with 4 bytes a pixel (a big-endian float). Records
// the frames' positions, or why it does not match.
void CheckDepthFile(Instance& inst) {
  Ref ref(inst.depthPath);
  if (ref.error()) {
    inst.depthFault = "it cannot be named";
    return;
  }
  OpenFile open(ref.get());
  int64_t size = 0;
  if (open.error() || FILE_InqSize(ref.get(), FILE_SizeData, &size) != 0) {
    inst.depthFault = "it cannot be read";
    return;
  }
  FrameList list;
  if (LocateFrames(ref.get(), size, &list, kSiteOpen, true) != 0) {
    inst.depthFault = list.version != D_EI_Version && size >= D_EI_FileHeaderSize ? "Invalid EI version info"
                                                                                 : "invalid IMAGE file";
    return;
  }
  if (list.frames.size() != inst.positions.size()) {
    inst.depthFault = "another number of frames";
    return;
  }
  for (const FrameEntry& f : list.frames) {
    FrameHeader h{};
    int64_t dataPos = 0;
    int32_t w = 0, hh = 0;
    if (!ReadFrameHeader(ref.get(), size, f.position, &h, &dataPos) || !FrameSize(h.window, &w, &hh) ||
        w != inst.width || hh != inst.height || h.bits != 24 || h.matteBits != 8) {
      inst.depthFault = "another frame size or layout";
      return;
    }
    inst.depthPositions.push_back(f.position);
  }
}

// Locates the frames of the SeqSpec's file, checks the first frame and
// describes the footage.
ErrorCode Scan(FILE_SpecH file, Instance& inst, PIN_SourceInfo* info, uint32_t site) {
  FrameList list;
  {
    OpenFile open(file);
    if (open.error()) return open.error();
    int64_t size = 0;
    if (ErrorCode err = FILE_InqSize(file, FILE_SizeData, &size)) return err;
    if (ErrorCode err = LocateFrames(file, size, &list, site, false)) return err;
  }
  const FrameHeader& h = list.first;
  // Frames are drawn only at 24 bits (with or without matte bits), so other
  // depths are refused when the file is opened rather than at every draw.
  if (h.bits != 24) return kReport.Fail(site, PIN_ErrCannotImport, kTextBelow24Bits);
  if (!FrameSize(h.window, &inst.width, &inst.height) || (h.matteBits != 0 && h.matteBits != 8))
    return kReport.Fail(site, PIN_ErrCannotImport, kTextInvalid);
  inst.matte = h.matteBits != 0;
  inst.rate = RateOfTimes(list.frames);
  inst.positions.reserve(list.frames.size());
  for (const FrameEntry& f : list.frames) inst.positions.push_back(f.position);

  *info = PIN_SourceInfo{};
  info->fileType = D_EI_FileType;
  info->creator = D_EI_Creator;
  info->width = inst.width;
  info->height = inst.height;
  info->depth = 24 + h.matteBits;
  info->nativeRate = inst.rate;
  info->duration = FramesTime(static_cast<int64_t>(inst.positions.size()), inst.rate);
  info->start = Time{0, 1};
  info->alpha.type = inst.matte ? PIN_Alpha_Straight : PIN_Alpha_None;

  inst.depthPath = FindDepthFile(file);
  inst.hasDepth = !inst.depthPath.empty();
  if (inst.hasDepth) CheckDepthFile(inst);
  return 0;
}

// The driver's record of the SeqSpec, made again from its file when the
// SeqSpec came from a project.
ErrorCode InstanceOf(PIN_SeqSpecH seq, Instance** out, uint32_t site) {
  *out = pin::GetInstance<Instance>(seq);
  if (*out) return 0;
  FILE_SpecH file = nullptr;
  if (ErrorCode err = PIN_GetFile(seq, &file)) return err;
  if (!file) return kReport.BadParam(site, {"ElectricImage footage without a file"});
  Ref ref(file);
  auto* inst = new Instance;
  PIN_SourceInfo info{};
  if (ErrorCode err = Scan(file, *inst, &info, site)) {
    delete inst;
    return err;
  }
  if (ErrorCode err = pin::SetInstance(seq, inst)) return err;
  *out = inst;
  return 0;
}

// The frame of the SeqSpec at a time.
int32_t IndexAt(PIN_SeqSpecH seq, const Instance& inst, const Time& time) {
  int32_t index = 0;
  if (inst.rate > 0 && PIN_GetFrameIndex(seq, &time, &index) != 0) index = 0;
  const int32_t last = static_cast<int32_t>(inst.positions.size()) - 1;
  return index < 0 ? 0 : index > last ? last : index;
}

// The bytes of a frame's data that decoding can use: the data size, but no
// more than every pixel as a literal packet of its own (a control byte and
// the pixel), so a data size larger than the frame needs never costs memory.
int64_t UsefulBytes(const FrameHeader& h, int64_t pixels) {
  const int64_t bpp = h.matteBits ? 4 : 3;
  return std::min<int64_t>(h.dataSize, h.compressed ? pixels * (bpp + 1) : pixels * bpp);
}

// Reads `count` bytes at `pos` into data ("No memory for EI image chunk").
ErrorCode ReadData(FILE_SpecH file, int64_t pos, int64_t count, ScratchArray<uint8_t>& data, uint32_t site) {
  if (!data.Allocate(static_cast<size_t>(count)))
    return kReport.OutOfMemory(site, kTextNoMemoryChunk, static_cast<uint64_t>(count));
  if (ErrorCode err = FILE_SetPos(file, pos)) return err;
  for (int64_t done = 0; done < count;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count - done, 1 << 30));
    if (ErrorCode err = FILE_NRead(file, n, data.data() + done)) return err;
    done += n;
  }
  return 0;
}

// Reads the data of the frame at `pos` (checked against the footage) into data.
ErrorCode ReadFrame(FILE_SpecH file, const Instance& inst, int64_t pos, ScratchArray<uint8_t>& data, FrameHeader* h,
                    uint32_t site) {
  OpenFile open(file);
  if (open.error()) return open.error();
  int64_t size = 0;
  if (ErrorCode err = FILE_InqSize(file, FILE_SizeData, &size)) return err;
  int64_t dataPos = 0;
  // The file may have changed since it was opened: the frame is checked
  // against its size again.
  if (!ReadFrameHeader(file, size, pos, h, &dataPos)) return kReport.Fail(site, PIN_ErrCannotImport, kTextInvalid);
  int32_t w = 0, hh = 0;
  if (!FrameSize(h->window, &w, &hh) || w != inst.width || hh != inst.height)
    return kReport.Fail(site, PIN_ErrCannotImport, kTextDifferingSizes);
  if (h->notColour) return kReport.Fail(site, PIN_ErrCannotImport, kTextNotColour);
  if (h->bits != 24) return kReport.Fail(site, PIN_ErrCannotImport, kTextBelow24Bits);
  if (h->matteBits != 0 && h->matteBits != 8) return kReport.Fail(site, PIN_ErrCannotImport, kTextInvalid);
  return ReadData(file, dataPos, UsefulBytes(*h, int64_t{w} * hh), data, site);
}

// Clears the pixels from `from` on (in raster order) to black with the
// given alpha: what the frame's data did not reach.
void ClearFrom(uint8_t* base, ptrdiff_t rowBytes, int32_t width, int32_t height, int64_t from, uint8_t alpha) {
  const uint8_t b[4] = {alpha, 0, 0, 0};
  uint32_t v;
  std::memcpy(&v, b, 4);
  for (int64_t y = from / width, x = from % width; y < height; ++y, x = 0) {
    uint8_t* p = base + y * rowBytes;
    for (; x < width; ++x) std::memcpy(p + 4 * x, &v, 4);
  }
}

ErrorCode DrawAt(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, int32_t left, int32_t top,
                 bool partial) {
  if (!params || !world) return kReport.BadParam(kSiteDraw, {"D_EI_DrawSparseFrame"});
  Instance* inst = nullptr;
  if (ErrorCode err = InstanceOf(seq, &inst, kSiteDraw)) return err;
  FILE_SpecH file = nullptr;
  if (ErrorCode err = PIN_GetFile(seq, &file)) return err;
  Ref ref(file);
  ScratchArray<uint8_t> data;
  FrameHeader h{};
  const int64_t pos = inst->positions[static_cast<size_t>(IndexAt(seq, *inst, params->time))];
  if (ErrorCode err = ReadFrame(file, *inst, pos, data, &h, kSiteDraw)) return err;
  const bool alpha = h.matteBits != 0;
  const int64_t pixels = int64_t{inst->width} * inst->height;
  const std::span<const uint8_t> bytes(data.data(), data.size());

  int32_t w = 0, hh = 0, depth = 0, rowBytes = 0;
  if (ErrorCode err = BM_GetWorldInfo(world, &w, &hh, &depth, &rowBytes)) return err;
  if (!partial && w == inst->width && hh == inst->height) {
    // Straight into the World. Pixels the data does not reach stay cleared.
    pin::PixelLock px(world);
    if (!px.ok()) return px.error() ? px.error() : kReport.BadParam(kSiteDraw, {"D_EI_DrawSparseFrame"});
    const int64_t made = DecodePixels(bytes, h.compressed != 0, alpha, pixels, w, px.Row(0), px.rowBytes());
    ClearFrom(px.Row(0), px.rowBytes(), w, hh, made, alpha ? 0 : 255);
    return 0;
  }
  // Another size or a part: through a frame of the full size.
  pin::Frame f;
  f.width = inst->width, f.height = inst->height;
  f.argb.resize(static_cast<size_t>(pixels) * 4);  // a failure is caught at the entry point (4)
  const int64_t made =
      DecodePixels(bytes, h.compressed != 0, alpha, pixels, f.width, f.argb.data(), ptrdiff_t{4} * f.width);
  ClearFrom(f.argb.data(), ptrdiff_t{4} * f.width, f.width, f.height, made, alpha ? 0 : 255);
  if (pin::DrawFrame(f, params, world, left, top) != 0) return kReport.BadParam(kSiteDraw, {"D_EI_DrawSparseFrame"});
  return 0;
}

ErrorCode DrawPartial(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) try {
  if (!params) return kReport.BadParam(kSiteDraw, {"DrawPartialFrame"});
  return DrawAt(seq, params, world, params->part.left, params->part.top, true);
} TV_CATCH(D_EI_PackageNumber)

ErrorCode Dispose(PIN_SeqSpecH seq) {
  pin::DisposeInstance<Instance>(seq);
  return 0;
}

ErrorCode Info(PIN_SeqSpecH seq, char* info, int32_t size) {
  if (!info || size <= 0) return kReport.BadParam(kSiteQuery, {"GetSeqSpecInfo"});
  info[0] = 0;
  Instance* inst = nullptr;
  if (ErrorCode err = InstanceOf(seq, &inst, kSiteQuery)) return err;
  fmt::FormatTo(std::span<char>(info, static_cast<size_t>(size)), kReport.Text(kTextInfo),
                {inst->width, inst->height, inst->matte ? 32 : 24, static_cast<int32_t>(inst->positions.size())});
  return 0;
}

// The start of the frame after the one at time (the invalid time after the last).
ErrorCode NextFrameTime(PIN_SeqSpecH seq, const Time* time, Time* next) {
  *next = kInvalidTime;
  Instance* inst = nullptr;
  if (ErrorCode err = InstanceOf(seq, &inst, kSiteQuery)) return err;
  if (inst->rate <= 0 || !time || time->scale == 0) return 0;
  const int64_t k = int64_t{IndexAt(seq, *inst, *time)} + 1;
  if (k >= static_cast<int64_t>(inst->positions.size())) return 0;
  *next = FramesTime(k, inst->rate);
  return 0;
}

ErrorCode GetDepthDesc(int32_t index, D_AuxChannelDesc* d) {
  *d = D_AuxChannelDesc{};
  if (index == 0) {
    d->code = kDepthCode;
    std::strcpy(d->name, "Z-Depth");
    d->dataType = D_AuxType_Float;
  } else {
    std::strcpy(d->name, "Unknown");
    d->dataType = D_AuxType_Char;
  }
  d->dimension = 1;
  return 0;
}

}  // namespace

namespace tv::ei {
void InstallInput(PIN_ModuleProcs& p) {
  // Dimensions, duration, start time, file, active extent, synchronisation,
  // saving and loading: the framework's common behaviour over the SeqSpec.
  PIN_InstallStillProcs(&p);
  p.newSeqSpecFromFile = D_EI_NewSeqSpecFromFile;
  p.disposeSeqSpec = Dispose;
  p.getSeqSpecInfo = Info;
  p.drawSparseFrame = D_EI_DrawSparseFrame;
  p.drawPartialFrame = DrawPartial;
  p.getSound = D_EI_GetSound;
  p.inqNextFrameTime = NextFrameTime;
  p.getNumAuxChannels = D_EI_GetNumAuxChannels;
  p.getAuxChannelDesc = D_EI_GetAuxChannelDesc;
  p.drawAuxChannel = D_EI_DrawAuxChannel;
  p.freeAuxChannel = D_EI_FreeAuxChannel;
}
}  // namespace tv::ei

ErrorCode D_EI_NewSeqSpecFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) try {
  if (!file) return kReport.BadParam(kSiteOpen, {"D_EI_NewSeqSpecFromFile"});
  auto* inst = new Instance;
  PIN_SourceInfo info{};
  if (ErrorCode err = Scan(file, *inst, &info, kSiteOpen)) {
    delete inst;
    return err;
  }
  if (ErrorCode err = PIN_SetSourceInfo(seq, &info)) {
    delete inst;
    return err;
  }
  Handle options = nullptr;
  ErrorCode err = D_EIp_NewOptionsInfo(static_cast<int32_t>(inst->positions.size()), inst->positions.data(),
                                       static_cast<int32_t>(inst->depthPositions.size()),
                                       inst->depthPositions.data(), &options);
  if (!err) err = PIN_SetOptions(seq, options);
  D_EIp_DisposeOptionsInfo(options);
  if (err) {
    delete inst;
    return err;
  }
  return pin::SetInstance(seq, inst);
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_DrawSparseFrame(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) try {
  return DrawAt(seq, params, world, 0, 0, false);
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_GetSound(PIN_SeqSpecH, const void*, Handle) {
  return kReport.Fail(kSiteSound, PIN_ErrObsolete, kTextUnsupported);
}

ErrorCode D_EI_GetNumAuxChannels(PIN_SeqSpecH seq, int32_t* count) try {
  if (!count) return kReport.BadParam(kSiteAux, {"D_EI_GetNumAuxChannels"});
  *count = 0;
  Instance* inst = nullptr;
  if (ErrorCode err = InstanceOf(seq, &inst, kSiteAux)) return err;
  *count = inst->hasDepth ? 1 : 0;
  return 0;
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_GetAuxChannelDesc(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size) try {
  if (!desc || size < static_cast<int32_t>(sizeof(D_AuxChannelDesc)))
    return kReport.BadParam(kSiteAux, {"D_EI_GetAuxChannelDesc"});
  std::memset(desc, 0, sizeof(D_AuxChannelDesc));
  Instance* inst = nullptr;
  if (ErrorCode err = InstanceOf(seq, &inst, kSiteAux)) return err;
  if (index < 0 || index >= (inst->hasDepth ? 1 : 0)) return kReport.Fail(kSiteAux, kErrBadParam, kTextBadAux);
  D_AuxChannelDesc d{};
  GetDepthDesc(index, &d);
  std::memcpy(desc, &d, sizeof d);
  return 0;
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_DrawAuxChannel(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params, Handle* data) try {
  if (!params || !data) return kReport.BadParam(kSiteAux, {"D_EI_DrawAuxChannel"});
  *data = nullptr;
  Instance* inst = nullptr;
  if (ErrorCode err = InstanceOf(seq, &inst, kSiteAux)) return err;
  if (index < 0 || index >= (inst->hasDepth ? 1 : 0)) return kReport.Fail(kSiteAux, kErrBadParam, kTextBadAux);
  auto mismatch = [&](const char* why) {
    const std::string name = inst->depthPath.substr(inst->depthPath.rfind('/') + 1);
    return kReport.Fail(kSiteAux, PIN_ErrCannotImport, kTextDepthMismatch, {name.c_str(), why});
  };
  if (!inst->depthFault.empty()) return mismatch(inst->depthFault.c_str());

  const size_t frame = static_cast<size_t>(IndexAt(seq, *inst, params->time));
  Ref ref(inst->depthPath);
  if (ref.error()) return ref.error();
  ScratchArray<uint8_t> bytes;
  FrameHeader h{};
  {
    // The depth file is checked like an image frame but reported as a
    // mismatch: its frame must have the image's size and 4 bytes a pixel.
    OpenFile open(ref.get());
    if (open.error()) return open.error();
    int64_t size = 0, dataPos = 0;
    if (ErrorCode err = FILE_InqSize(ref.get(), FILE_SizeData, &size)) return err;
    int32_t w = 0, hh = 0;
    if (frame >= inst->depthPositions.size() ||
        !ReadFrameHeader(ref.get(), size, inst->depthPositions[frame], &h, &dataPos) ||
        !FrameSize(h.window, &w, &hh) || w != inst->width || hh != inst->height || h.bits != 24 || h.matteBits != 8)
      return mismatch("another frame size or layout");
    if (ErrorCode err = ReadData(ref.get(), dataPos, UsefulBytes(h, int64_t{w} * hh), bytes, kSiteAux)) return err;
  }
  const int32_t rowBytes = inst->width * 4;
  const uint64_t total = sizeof(D_AuxChannelBuffer) + static_cast<uint64_t>(rowBytes) * inst->height;
  Handle buffer = NewHandleClear(static_cast<Size>(total));
  if (!buffer) return kReport.OutOfMemory(kSiteAux, kTextNoMemoryChunk, total);
  {
    HandleLock<> lock(buffer);
    D_AuxChannelBuffer head{};
    head.magic = D_AuxBufferMagic;
    head.code = kDepthCode;
    head.dataType = D_AuxType_Float;
    head.dimension = 1;
    head.width = inst->width;
    head.height = inst->height;
    head.rowBytes = rowBytes;
    std::memcpy(*buffer, &head, sizeof head);
    uint8_t* rows = reinterpret_cast<uint8_t*>(*buffer) + sizeof head;
    // Each "pixel" of the depth file is a big-endian float; the ones the
    // data does not reach stay 0.
    const int64_t pixels = int64_t{inst->width} * inst->height;
    DecodePixels({bytes.data(), bytes.size()}, h.compressed != 0, true, pixels, inst->width, rows, rowBytes);
    for (int64_t i = 0; i < pixels; ++i) {
      const float v = be::Load<float>(rows + 4 * i);
      std::memcpy(rows + 4 * i, &v, 4);
    }
  }
  *data = buffer;
  return 0;
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_FreeAuxChannel(PIN_SeqSpecH, Handle data) {
  if (!data) return 0;
  if (GetHandleSize(data) < static_cast<Size>(sizeof(D_AuxChannelBuffer)) ||
      reinterpret_cast<const D_AuxChannelBuffer*>(*data)->magic != D_AuxBufferMagic)
    return kReport.Damaged(kSiteAux, {"channel buffer"});
  reinterpret_cast<D_AuxChannelBuffer*>(*data)->magic = 0;
  DisposeHandle(data);
  return 0;
}

ErrorCode D_EIp_NewOptionsInfo(int32_t frames, const int64_t* positions, int32_t depthFrames,
                               const int64_t* depthPositions, Handle* options) {
  if (!options) return kReport.BadParam(kSiteOptions, {"D_EIp_NewOptionsInfo"});
  *options = nullptr;
  if (frames < 0 || depthFrames < 0 || (frames && !positions) || (depthFrames && !depthPositions))
    return kReport.BadParam(kSiteOptions, {"D_EIp_NewOptionsInfo"});
  const uint64_t size = 18 + 8 * (uint64_t{static_cast<uint32_t>(frames)} + static_cast<uint32_t>(depthFrames));
  if (size > INT32_MAX) return kReport.OutOfMemory(kSiteOptions, kTextMemOptions, size);
  Handle h = NewHandle(static_cast<Size>(size));
  if (!h) return kReport.OutOfMemory(kSiteOptions, kTextMemOptions, size);
  uint8_t* p = reinterpret_cast<uint8_t*>(*h);
  be::Store<uint32_t>(p, D_EI_Signature);
  be::Store<uint16_t>(p + 4, 1);
  be::Store<uint32_t>(p + 6, static_cast<uint32_t>(size));
  be::Store<uint32_t>(p + 10, static_cast<uint32_t>(frames));
  be::Store<uint32_t>(p + 14, static_cast<uint32_t>(depthFrames));
  p += 18;
  for (int32_t i = 0; i < frames; ++i, p += 8) be::Store<int64_t>(p, positions[i]);
  for (int32_t i = 0; i < depthFrames; ++i, p += 8) be::Store<int64_t>(p, depthPositions[i]);
  *options = h;
  return 0;
}

ErrorCode D_EIp_DisposeOptionsInfo(Handle options) {
  if (options) DisposeHandle(options);
  return 0;
}
