// Writing a project file: the header records, the folder tree with every
// item, the layers of compositions with their solids, effects, masks and
// streams, and the host's chunks at the end.
#include <cstring>
#include <unordered_map>

#include "BEE_projfile.h"
#include "FLT.h"
#include "LIST_file.h"

namespace tv::bee::proj {

namespace {

using slu::ChunkWriter;

class ProjectWriter {
 public:
  ProjectWriter(SLU_FileContext* file, const SaveOptions& options) : c_(file), o_(options) {}

  ErrorCode Write() {
    for (BEE_Item it : G().order)
      if (it != G().root) children_[R(it).parent].push_back(it);
    total_ = static_cast<int32_t>(G().order.size()) - 1;
    ChunkWriter rifx(c_, slu::kRIFX, kEgg);
    if (rifx.err()) return rifx.err();
    if (ErrorCode err = WriteHead()) return err;
    {
      ChunkWriter fold(c_, slu::kLIST, kFold);
      if (fold.err()) return fold.err();
      be::Writer w;
      w.WriteBytes(R(G().root).fileSettings);
      if (ErrorCode err = Atom(kfdta, w)) return err;
      if (ErrorCode err = WriteChildren(G().root)) return err;
      if (ErrorCode err = fold.End()) return err;
    }
    // The host adds its own chunks inside the container.
    if (G().callback) {
      BEE_FileChunkNote note{c_, &rifx.chunk()};
      if (ErrorCode err = G().callback(G().refcon, BEE_SelSaveChunks, &note)) return err;
    }
    return rifx.End();
  }

 private:
  ErrorCode Atom(FourCC id, const be::Writer& w) {
    return SLU_WriteAtom(c_, id, static_cast<uint32_t>(w.size()), w.bytes().data());
  }

  ErrorCode WriteHead() {
    be::Writer h;
    h.Write<uint16_t>(o_.version);
    h.Write<uint16_t>(1);
    h.Write<uint32_t>(o_.value1);
    h.Write<uint32_t>(o_.value2);
    h.Write<uint32_t>(G().nextId);
    h.Write<uint32_t>(G().stamp);
    if (ErrorCode err = Atom(khead, h)) return err;
    be::Writer n;
    n.Write<uint16_t>(static_cast<uint16_t>(G().sortMode));
    n.Write<uint16_t>(0);
    n.Write<uint32_t>(G().fileSetting);
    return Atom(knhed, n);
  }

  ErrorCode WriteChildren(BEE_Item folder) {
    auto found = children_.find(folder);
    if (found == children_.end()) return 0;
    for (BEE_Item it : found->second) {
      if (ErrorCode err = WriteItem(it)) return err;
      ++done_;
      if (total_ > 0) {
        double fraction = static_cast<double>(done_) / total_;
        Notify(BEE_SelSaveFraction, &fraction);
      }
    }
    return 0;
  }

  ErrorCode WriteText(Handle text) {
    std::string_view t = TextOf(text);
    return SLU_WriteAtom(c_, kcmta, static_cast<uint32_t>(t.size()), t.data());
  }

  ErrorCode WriteItem(BEE_Item it) {
    const BEE_ItemRec& r = R(it);
    ChunkWriter item(c_, slu::kLIST, kItem);
    if (item.err()) return item.err();
    const bool hasComment = !TextOf(r.comment).empty();
    be::Writer w;
    w.Write<uint16_t>(static_cast<uint16_t>(r.kind));
    w.WriteBytes(r.fileSettings);
    w.Write<uint32_t>(r.id);
    w.Write<uint32_t>(r.flags);
    w.WriteFixedString(NameOf(r.name), 32);
    w.Write<uint8_t>(r.proxy ? 1 : 0);
    w.Write<uint8_t>(hasComment ? 1 : 0);
    w.Write<int8_t>(r.label);
    w.Write<uint8_t>(0);
    w.Write<double>(r.origin.h);
    w.Write<double>(r.origin.v);
    w.Write<uint32_t>(0);
    w.Write<uint32_t>(r.fileState);
    if (ErrorCode err = Atom(kidta, w)) return err;
    if (hasComment)
      if (ErrorCode err = WriteText(r.comment)) return err;
    ErrorCode err = 0;
    switch (r.kind) {
      case BEE_KindFolder: err = WriteFolder(it); break;
      case BEE_KindComp: err = WriteComp(it); break;
      case BEE_KindSolid: err = WriteSolid(it); break;
      case BEE_KindFootage: err = WriteFootage(it); break;
      default: break;  // render items: nothing more
    }
    if (err) return err;
    if (r.kind == BEE_KindComp || r.kind == BEE_KindFootage)
      if (ErrorCode e = WriteGuides(R(it).guides, R(it).guideSettings)) return e;
    if (R(it).proxy)
      if (ErrorCode e = PIN_WriteSeqSpec(R(it).proxy, c_)) return e;
    return item.End();
  }

  ErrorCode WriteFolder(BEE_Item it) {
    be::Writer w;
    w.Write<uint32_t>(R(it).folderState);
    if (ErrorCode err = Atom(ksfdt, w)) return err;
    ChunkWriter sub(c_, slu::kLIST, kSfdr);
    if (sub.err()) return sub.err();
    if (ErrorCode err = WriteChildren(it)) return err;
    return sub.End();
  }

  ErrorCode WriteComp(BEE_Item it) {
    const BEE_ItemRec& r = R(it);
    be::Writer w;
    w.Write<uint16_t>(r.dsfH);
    w.Write<uint16_t>(r.dsfV);
    PutTime(w, r.frameDuration);
    PutTime(w, r.furtherTime);
    PutTime(w, r.currentTime);
    PutTime(w, r.workStart);
    PutTime(w, r.workEnd);
    PutTime(w, r.duration);
    w.Write<uint32_t>(r.bgColor);
    for (uint32_t v : r.viewState) w.Write<uint32_t>(v);
    w.Write<uint32_t>(r.compSwitches);
    w.Write<uint16_t>(r.width);
    w.Write<uint16_t>(r.height);
    w.Write<int32_t>(r.hsf.num);
    w.Write<uint32_t>(r.hsf.den);
    w.Write<uint32_t>(0);
    w.Write<uint32_t>(r.frameRate);
    w.Write<uint32_t>(0);
    PutTime(w, r.secondTime);
    if (ErrorCode err = Atom(kcdta, w)) return err;
    if (ErrorCode err = WriteTimeMarkers(it)) return err;
    const int32_t n = LayerCount(it);
    for (int32_t i = 0; i < n; ++i)
      if (ErrorCode err = WriteLayer(LayerAt(it, i))) return err;
    return 0;
  }

  // The composition's time markers, when any is set.
  ErrorCode WriteTimeMarkers(BEE_Item it) {
    const BEE_ItemRec& r = R(it);
    bool any = false;
    for (const Time& t : r.timeMarkers) any = any || t.scale != 0;
    if (!any) return 0;
    be::Writer w;
    for (const Time& t : r.timeMarkers) PutTime(w, t.scale ? t : Time{0, 0});
    return Atom(ktmrk, w);
  }

  ErrorCode WriteSolid(BEE_Item it) {
    const BEE_ItemRec& r = R(it);
    be::Writer w;
    w.Write<uint32_t>(r.solidColor);
    w.Write<uint32_t>(r.solidSetting);
    w.Write<uint16_t>(r.width);
    w.Write<uint16_t>(r.height);
    return Atom(kcrdt, w);
  }

  ErrorCode WriteFootage(BEE_Item it) {
    const BEE_ItemRec& r = R(it);
    BEE_FootageDesc d{};
    if (r.footage) std::memcpy(&d, *r.footage, sizeof d);
    be::Writer w;
    w.WriteFixedString(NameOf(d.name), 32);
    w.WriteFixedString(NameOf(d.formatName), 32);
    w.Write<uint16_t>(d.width);
    w.Write<uint16_t>(d.height);
    PutTime(w, d.duration);
    w.Write<int32_t>(d.pixelAspect.num);
    w.Write<uint32_t>(d.pixelAspect.den);
    w.Write<uint32_t>(d.frameRate);
    w.Write<uint32_t>(d.depth);
    w.Write<int32_t>(d.fieldSetting);
    w.Write<uint32_t>(d.fieldSecond);
    w.Write<uint32_t>(d.hasVideo);
    w.WriteFixedString(std::string_view(d.text, strnlen(d.text, sizeof d.text)), sizeof d.text);
    if (ErrorCode err = Atom(kfdsc, w)) return err;
    if (R(it).seqSpec) return PIN_WriteSeqSpec(R(it).seqSpec, c_);
    return 0;
  }

  static ErrorCode EncodeGuide(intptr_t, LIST_Handle, int32_t, const void* item, uint8_t* out) {
    BEE_Guide g{};
    std::memcpy(&g, item, sizeof g);
    be::Store<int32_t>(out, g.position);
    out[4] = g.settings[0];
    out[5] = g.settings[1];
    out[6] = g.settings[2];
    out[7] = 0;
    return 0;
  }

  ErrorCode WriteGuides(LIST_Handle guides, const uint8_t (&settings)[3]) {
    ChunkWriter gide(c_, slu::kLIST, kGide);
    if (gide.err()) return gide.err();
    be::Writer w;
    w.WriteBytes(settings);
    w.WriteZeros(5);
    if (ErrorCode err = Atom(kgdta, w)) return err;
    LIST_Handle list = guides;
    if (!list)
      if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(BEE_Guide)), 4, 1, &list)) return err;
    ErrorCode err = LIST_WriteEncoded(list, kGuideSize, &EncodeGuide, 0, c_);
    if (!guides) LIST_Dispose(list, 0);
    if (err) return err;
    return gide.End();
  }

  ErrorCode WriteStream(TDB_Stream s) {
    if (!s) return SLU_WriteAtom(c_, ktdbn, 0, nullptr);
    return TDB_WriteStream(s, c_);
  }

  ErrorCode WriteLayer(BEE_Layer l) {
    const BEE_LayerRec& r = R(l);
    ChunkWriter layr(c_, slu::kLIST, kLayr);
    if (layr.err()) return layr.err();
    const bool solid = IsLiveItem(r.source) && R(r.source).kind == BEE_KindSolid;
    const bool hasComment = !TextOf(r.comment).empty();
    be::Writer w;
    w.Write<uint32_t>(r.id);
    w.Write<int16_t>(r.quality);
    w.Write<uint16_t>(r.fileSetting);
    w.Write<int32_t>(r.stretch.num);
    PutTime(w, r.offset);
    PutTime(w, r.inPoint);
    PutTime(w, r.outPoint);
    w.Write<uint32_t>(r.switches);
    w.Write<uint32_t>(solid || !IsLiveItem(r.source) ? 0 : R(r.source).id);
    w.WriteBytes(r.fileSettings);
    w.Write<uint8_t>(0);
    w.Write<uint8_t>(1);
    w.Write<uint8_t>(hasComment ? 1 : 0);
    w.Write<int8_t>(r.label);
    w.WriteZeros(2);
    w.WriteFixedString(NameOf(r.name), 32);
    w.Write<uint32_t>(r.transferMode);
    w.Write<uint32_t>(r.transferFlags);
    w.Write<uint32_t>(r.trackMatte);
    w.Write<uint32_t>(r.stretch.den);
    w.Write<double>(r.origin.h);
    w.Write<double>(r.origin.v);
    // Older files had shorter layer records (only tests write them).
    be::Writer cut;
    uint32_t size = o_.version >= 20 ? kLdtaSize : o_.version >= 16 ? kLdtaSize19 : kLdtaSize15;
    cut.WriteBytes(std::span(w.bytes()).first(size));
    if (ErrorCode err = Atom(kldta, cut)) return err;
    if (solid)
      if (ErrorCode err = WriteItem(r.source)) return err;
    // The effect chain; a layer without effects writes an empty one.
    Handle parade = R(l).parade;
    if (!parade)
      if (ErrorCode err = FLT_NewParade(nullptr, nullptr, &parade)) return err;
    ErrorCode err = FLT_WriteParade(parade, nullptr, nullptr, c_);
    if (!R(l).parade) FLT_DisposeParade(parade);
    if (err) return err;
    if (ErrorCode e = WriteMasks(l)) return e;
    for (int32_t index : kStreamOrder)
      if (ErrorCode e = WriteStream(R(l).streams[index])) return e;
    // Layers have no guides of their own: an empty guide list.
    const uint8_t none[3] = {0, 0, 0};
    if (ErrorCode e = WriteGuides(nullptr, none)) return e;
    if (hasComment)
      if (ErrorCode e = WriteText(R(l).comment)) return e;
    return layr.End();
  }

  ErrorCode WriteMasks(BEE_Layer l) {
    ChunkWriter mprd(c_, slu::kLIST, kMprd);
    if (mprd.err()) return mprd.err();
    be::Writer w;
    w.WriteBytes(R(l).maskRecord);
    if (ErrorCode err = Atom(kmdta, w)) return err;
    int32_t n = 0;
    if (R(l).masks) LIST_GetNumItems(R(l).masks, &n);
    for (int32_t i = 0; i < n; ++i) {
      MaskRec m{};
      LIST_GetItem(R(l).masks, i, &m);
      be::Writer k;
      k.Write<uint32_t>(m.id);
      k.Write<uint32_t>(m.mode);
      k.Write<uint32_t>(m.invert);
      k.Write<uint32_t>(m.locked);
      k.WriteFixedString(NameOf(m.name), 32);
      if (ErrorCode err = Atom(kmkdt, k)) return err;
      if (ErrorCode err = OM_WriteStream(m.streams[0], c_)) return err;
      if (ErrorCode err = TDB_WriteStream(m.streams[1], c_)) return err;
      if (ErrorCode err = TDB_WriteStream(m.streams[2], c_)) return err;
    }
    return mprd.End();
  }

  SLU_FileContext* c_;
  SaveOptions o_;
  std::unordered_map<BEE_Item, std::vector<BEE_Item>> children_;
  int32_t total_ = 0;
  int32_t done_ = 0;
};

}  // namespace

ErrorCode WriteProject(SLU_FileContext* file, const SaveOptions& options) {
  return ProjectWriter(file, options).Write();
}

}  // namespace tv::bee::proj
