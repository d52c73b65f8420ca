// The RLA module's slots: opening a file into a SeqSpec, drawing frames
// (straight into the World at full size, through a World of the frame's size
// otherwise), the auxiliary channels, and the slots an input-only still
// module answers.
#include <cstring>

#include "ByteOrder.h"
#include "Format.h"
#include "HandleLock.h"
#include "Memory.h"
#include "PIN_internal.h"
#include "RLA_internal.h"
#include "Scratch.h"

using namespace tv;
using namespace tv::rla;

namespace {

// What the driver keeps per SeqSpec: the first file's header and channels.
constexpr uint32_t kInstanceMagic = 0x524C4149u;  // "RLAI"
struct Instance {
  uint32_t magic;
  Header header;
  Layout layout;
  AuxList aux;
};

// A file opened for reading for one scope.
class OpenFile {
 public:
  explicit OpenFile(FILE_SpecH f) : f_(f) { err_ = FILE_Open(FILE_PermRead, f); }
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

// The file's size; files beyond what one read can take are not RLA frames
// of the sizes this driver reads.
ErrorCode FileSize(FILE_SpecH file, uint64_t* size, uint32_t site) {
  int64_t s = 0;
  if (ErrorCode err = FILE_InqSize(file, FILE_SizeData, &s)) return err;
  if (s > INT32_MAX) return kReport.Fail(site, PIN_ErrCannotImport, kTextSizeMismatch);
  *size = static_cast<uint64_t>(s);
  return 0;
}

// Reads and checks the header of a file.
ErrorCode ReadHeader(FILE_SpecH file, Header* h, Layout* l, uint32_t site) {
  OpenFile open(file);
  if (open.error()) return open.error();
  uint64_t size = 0;
  if (ErrorCode err = FileSize(file, &size, site)) return err;
  if (size < D_RLA_HeaderSize) return kReport.Fail(site, FILE_ErrEOF, kTextEOF);
  uint8_t bytes[D_RLA_HeaderSize];
  if (ErrorCode err = FILE_NRead(file, D_RLA_HeaderSize, bytes)) return err;
  *h = ParseHeader(std::span<const uint8_t, D_RLA_HeaderSize>(bytes));
  return CheckHeader(*h, size, l, site);
}

// Reads the frame's file whole and checks its header and every scanline
// (with the auxiliary records when aux is given).
ErrorCode LoadFrame(FILE_SpecH file, ScratchArray<uint8_t>& bytes, ScratchArray<uint32_t>& offsets, Frame* f,
                    const AuxList** aux, AuxList* auxList, uint32_t site) {
  {
    OpenFile open(file);
    if (open.error()) return open.error();
    uint64_t size = 0;
    if (ErrorCode err = FileSize(file, &size, site)) return err;
    if (size < D_RLA_HeaderSize) return kReport.Fail(site, FILE_ErrEOF, kTextEOF);
    if (!bytes.Allocate(size)) return kReport.OutOfMemory(site, kTextMemCompressed, bytes.failedBytes());
    if (ErrorCode err = FILE_NRead(file, static_cast<int32_t>(size), bytes.data())) return err;
  }
  f->bytes = std::span<const uint8_t>(bytes.data(), bytes.size());
  f->header = ParseHeader(f->bytes.first<D_RLA_HeaderSize>());
  if (ErrorCode err = CheckHeader(f->header, bytes.size(), &f->layout, site)) return err;
  if (!offsets.Allocate(static_cast<size_t>(f->layout.activeRows)))
    return kReport.OutOfMemory(site, kTextMemOffsets, offsets.failedBytes());
  if (aux) {
    *auxList = ParseAuxList(f->header);
    *aux = auxList;
  }
  return 0;
}

// The driver's record of the SeqSpec, read from its file when the SeqSpec
// came from a project.
ErrorCode GetInstance(PIN_SeqSpecH seq, Instance* out, uint32_t site) {
  *out = Instance{};
  Handle h = nullptr;
  if (ErrorCode err = PIN_GetInstanceData(seq, &h)) return err;
  if (h) {
    if (GetHandleSize(h) != static_cast<Size>(sizeof(Instance)) ||
        reinterpret_cast<const Instance*>(*h)->magic != kInstanceMagic)
      return kReport.Damaged(site, {"instance"});
    std::memcpy(out, *h, sizeof(Instance));
    return 0;
  }
  FILE_SpecH file = nullptr;
  if (ErrorCode err = PIN_GetFile(seq, &file)) return err;
  if (!file) return 0;  // missing footage: no channels
  Instance inst{};
  inst.magic = kInstanceMagic;
  ErrorCode err = ReadHeader(file, &inst.header, &inst.layout, site);
  FILE_Dispose(file);
  if (err) return err;
  inst.aux = ParseAuxList(inst.header);
  h = NewHandle(static_cast<Size>(sizeof(Instance)));
  if (!h) return kReport.OutOfMemory(site, kTextMemBuffer, sizeof(Instance));
  std::memcpy(*h, &inst, sizeof(Instance));
  PIN_SetInstanceData(seq, h);
  *out = inst;
  return 0;
}

// "RLA options data": "RLAD", u16 version, u32 size, then the header's
// integer fields in their file order and 16 bytes of 0.
void EncodeOptions(const Header& h, uint8_t* out) {
  be::Writer w;
  w.WriteFourCC(D_RLA_Signature);
  w.Write<uint16_t>(D_RLA_OptionsVersion);
  w.Write<uint32_t>(D_RLA_OptionsSize);
  for (const Window* win : {&h.full, &h.active}) {
    w.Write<int16_t>(win->left);
    w.Write<int16_t>(win->right);
    w.Write<int16_t>(win->bottom);
    w.Write<int16_t>(win->top);
  }
  for (int16_t v : {h.frame, h.storageType, h.numChannels, h.numMatte, h.numAux, h.revision}) w.Write<int16_t>(v);
  w.Write<int32_t>(h.job);
  w.Write<int16_t>(h.field);
  for (int16_t v : {h.chanBits, h.matteType, h.matteBits, h.auxType, h.auxBits}) w.Write<int16_t>(v);
  w.Write<int32_t>(h.next);
  w.WriteZeros(D_RLA_OptionsSize - w.size());
  std::memcpy(out, w.bytes().data(), D_RLA_OptionsSize);
}

}  // namespace

ErrorCode D_RLA_NewSeqSpecFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) try {
  if (!file) return kReport.BadParam(kSiteOpen, {"D_RLA_NewSeqSpecFromFile"});
  Instance inst{};
  inst.magic = kInstanceMagic;
  if (ErrorCode err = ReadHeader(file, &inst.header, &inst.layout, kSiteOpen)) return err;
  inst.aux = ParseAuxList(inst.header);

  // A still without time: duration 0 with scale 1, native rate 0.
  PIN_SourceInfo info{};
  info.fileType = kFileType;
  info.width = inst.layout.width;
  info.height = inst.layout.height;
  info.depth = inst.layout.depth;
  info.duration = Time{0, 1};
  info.start = Time{0, 1};
  // Renderers write RLA colour premultiplied by the matte (against black).
  info.alpha.type = inst.header.numMatte ? PIN_Alpha_Premul : PIN_Alpha_None;
  if (ErrorCode err = PIN_SetSourceInfo(seq, &info)) return err;

  Handle options = NewHandleClear(D_RLA_OptionsSize);
  if (!options) return kReport.OutOfMemory(kSiteOpen, kTextMemOptions, D_RLA_OptionsSize);
  EncodeOptions(inst.header, reinterpret_cast<uint8_t*>(*options));
  ErrorCode err = PIN_SetOptions(seq, options);
  DisposeHandle(options);
  if (err) return err;

  Handle h = NewHandle(static_cast<Size>(sizeof(Instance)));
  if (!h) return kReport.OutOfMemory(kSiteOpen, kTextMemBuffer, sizeof(Instance));
  std::memcpy(*h, &inst, sizeof(Instance));
  return PIN_SetInstanceData(seq, h);
} TV_CATCH(D_RLA_PackageNumber)

ErrorCode D_RLA_DisposeSeqSpec(PIN_SeqSpecH seq) {
  Handle h = nullptr;
  PIN_GetInstanceData(seq, &h);
  if (h) DisposeHandle(h);
  return PIN_SetInstanceData(seq, nullptr);
}

ErrorCode D_RLA_GetSeqSpecInfo(PIN_SeqSpecH seq, char* info, int32_t size) {
  if (!info || size <= 0) return kReport.BadParam(kSiteQuery, {"D_RLA_GetSeqSpecInfo"});
  info[0] = 0;
  Instance inst{};
  if (ErrorCode err = GetInstance(seq, &inst, kSiteQuery)) return err;
  fmt::FormatTo(std::span<char>(info, static_cast<size_t>(size)), kReport.Text(kTextInfo),
                {inst.layout.width, inst.layout.height, inst.header.chanBits, inst.header.numMatte,
                 inst.aux.count});
  return 0;
}

ErrorCode D_RLA_DrawSparseFrame(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  if (!params || !world) return kReport.BadParam(kSiteDraw, {"D_RLA_DrawSparseFrame"});
  FILE_SpecH file = nullptr;
  if (ErrorCode err = PIN_GetFileAtTime(seq, &params->time, &file)) return err;
  if (!file) return kReport.BadParam(kSiteDraw, {"D_RLA_DrawSparseFrame"});
  ScratchArray<uint8_t> bytes;
  ScratchArray<uint32_t> offsets;
  Frame f{};
  ErrorCode err = LoadFrame(file, bytes, offsets, &f, nullptr, nullptr, kSiteDraw);
  FILE_Dispose(file);
  if (err) return err;

  PIN_SourceInfo info{};
  if ((err = PIN_GetSourceInfo(seq, &info)) != 0) return err;
  if (info.width != f.layout.width || info.height != f.layout.height)
    return kReport.Fail(kSiteDraw, PIN_ErrCannotImport, kTextDifferingSizes);
  if ((err = CheckScanlines(f, {offsets.data(), offsets.size()}, nullptr, kSiteDraw)) != 0) return err;

  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  if ((err = BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes)) != 0) return err;
  if (w == f.layout.width && h == f.layout.height) {
    pin::PixelLock px(world);
    if (!px.ok()) return px.error() ? px.error() : kReport.BadParam(kSiteDraw, {"D_RLA_DrawSparseFrame"});
    DrawPixels(f, px.Row(0), px.rowBytes());
    return 0;
  }
  // Another scale: through a World of the frame's size, copied with nearest
  // samples.
  const Rect bounds{0, 0, static_cast<int16_t>(f.layout.height), static_cast<int16_t>(f.layout.width)};
  BM_World temp = nullptr;
  if ((err = BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &temp)) != 0) return err;
  {
    pin::PixelLock px(temp);
    if (px.ok()) DrawPixels(f, px.Row(0), px.rowBytes());
    err = px.error();
  }
  if (!err) err = BM_Blit(temp, world, nullptr, nullptr, BM_Blit_Copy);
  BM_DisposeWorld(temp);
  return err;
}

ErrorCode D_RLA_GetSound(PIN_SeqSpecH, const void*, Handle) {
  return kReport.Fail(kSiteSound, PIN_ErrUnsupported, kTextNoSound);
}

ErrorCode D_RLA_DisposeOutputOptions(PIN_OutputSpecH, Handle options) {
  if (options) DisposeHandle(options);
  return 0;
}

ErrorCode D_RLA_GetNumAuxChannels(PIN_SeqSpecH seq, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteAux, {"D_RLA_GetNumAuxChannels"});
  *count = 0;
  Instance inst{};
  if (ErrorCode err = GetInstance(seq, &inst, kSiteAux)) return err;
  *count = inst.aux.count;
  return 0;
}

ErrorCode D_RLA_GetAuxChannelDesc(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size) {
  if (!desc || size < static_cast<int32_t>(sizeof(D_AuxChannelDesc)))
    return kReport.BadParam(kSiteAux, {"D_RLA_GetAuxChannelDesc"});
  std::memset(desc, 0, sizeof(D_AuxChannelDesc));
  Instance inst{};
  if (ErrorCode err = GetInstance(seq, &inst, kSiteAux)) return err;
  if (index < 0 || index >= inst.aux.count) return kReport.Fail(kSiteAux, kErrBadParam, kTextChannelRange);
  const D_AuxChannelDesc d = Describe(inst.aux.ch[index]);
  std::memcpy(desc, &d, sizeof d);
  return 0;
}

ErrorCode D_RLA_DrawAuxChannel(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params, Handle* data) {
  if (!params || !data) return kReport.BadParam(kSiteAux, {"D_RLA_DrawAuxChannel"});
  *data = nullptr;
  FILE_SpecH file = nullptr;
  if (ErrorCode err = PIN_GetFileAtTime(seq, &params->time, &file)) return err;
  if (!file) return kReport.Fail(kSiteAux, PIN_ErrCannotImport, kTextAuxUnavailable);
  ScratchArray<uint8_t> bytes;
  ScratchArray<uint32_t> offsets;
  Frame f{};
  AuxList auxList{};
  const AuxList* aux = nullptr;
  ErrorCode err = LoadFrame(file, bytes, offsets, &f, &aux, &auxList, kSiteAux);
  FILE_Dispose(file);
  if (err) return err;
  if (index < 0 || index >= aux->count) return kReport.Fail(kSiteAux, PIN_ErrCannotImport, kTextAuxUnavailable);
  if ((err = CheckScanlines(f, {offsets.data(), offsets.size()}, aux, kSiteAux)) != 0) return err;

  const AuxChannel& c = aux->ch[index];
  const D_AuxChannelDesc d = Describe(c);
  const int32_t rowBytes = f.layout.width * ValueBytes(d);
  const uint64_t total = sizeof(D_AuxChannelBuffer) + static_cast<uint64_t>(rowBytes) * f.layout.height;
  ScratchArray<uint8_t> scratch(static_cast<size_t>(f.layout.activeWidth) * static_cast<size_t>(c.planes));
  if (!scratch.ok()) return kReport.OutOfMemory(kSiteAux, kTextMemUncompressed, scratch.failedBytes());
  Handle h = NewHandle(static_cast<Size>(total));
  if (!h) return kReport.OutOfMemory(kSiteAux, kTextMemUncompressed, total);
  {
    HandleLock<> lock(h);
    D_AuxChannelBuffer head{};
    head.magic = D_AuxBufferMagic;
    head.code = d.code;
    head.dataType = d.dataType;
    head.dimension = d.dimension;
    head.width = f.layout.width;
    head.height = f.layout.height;
    head.rowBytes = rowBytes;
    std::memcpy(*h, &head, sizeof head);
    DrawAux(f, *aux, index, reinterpret_cast<uint8_t*>(*h) + sizeof head, rowBytes, scratch.data());
  }
  *data = h;
  return 0;
}

ErrorCode D_RLA_FreeAuxChannel(PIN_SeqSpecH, Handle data) {
  if (!data) return 0;
  if (GetHandleSize(data) < static_cast<Size>(sizeof(D_AuxChannelBuffer)) ||
      reinterpret_cast<const D_AuxChannelBuffer*>(*data)->magic != D_AuxBufferMagic)
    return kReport.Damaged(kSiteAux, {"channel buffer"});
  reinterpret_cast<D_AuxChannelBuffer*>(*data)->magic = 0;
  DisposeHandle(data);
  return 0;
}
