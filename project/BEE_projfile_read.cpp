// Reading a project file. The file is untrusted: every chunk's kind, order
// and size and every record's counts, scales, denominators and references
// are checked. Items are built detached from the project (a staging tree)
// and joined to it only when the whole file has been read, so a damaged file
// leaves the open project as it was.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "BEE_projfile.h"
#include "BEE_records.h"
#include "FLT.h"
#include "LIST_file.h"
#include "U.h"

namespace tv::bee::proj {

namespace {

// A chunk inside an entered container, as found by scanning it.
struct Child {
  FourCC id;
  FourCC form;
  int64_t start;   // the header's position
  uint32_t size;
};

std::string FourCCText(FourCC f) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    char ch = static_cast<char>((f >> (24 - 8 * i)) & 0xFF);
    s[static_cast<size_t>(i)] = ch >= 0x20 && ch < 0x7F ? ch : '?';
  }
  return s;
}

std::string ChunkName(FourCC id, FourCC form) {
  return form ? FourCCText(id) + ":" + FourCCText(form) : FourCCText(id);
}

class ProjectReader {
 public:
  ProjectReader(SLU_FileContext* file, bool importing, bool keep)
      : c_(file), importing_(importing), keep_(keep) {}

  ~ProjectReader() {
    // Whatever is still staged was not handed to the project.
    for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) DisposeItem(*it);
  }

  ErrorCode Read(BEE_Item target, ReadResult* result) {
    State& g = G();
    const uint32_t savedNext = g.nextId, savedStamp = g.stamp;
    ErrorCode err = ReadAll();
    if (!err) err = Resolve();
    if (err) {
      g.nextId = savedNext;
      g.stamp = savedStamp;
      return err;
    }
    if (version_ < kFileVersion) {
      result->converted = true;
      kReport.Note(kSiteProjectFile, kSevFailure, importing_ ? kTextImportingOld : kTextOpeningOld);
      Notify(BEE_SelConverted, nullptr);
    }
    if (importing_) {
      g.nextId = std::max<uint64_t>(uint64_t{savedNext} + headNext_, uint64_t{maxId_} + 1) > UINT32_MAX
                     ? UINT32_MAX
                     : static_cast<uint32_t>(std::max<uint64_t>(uint64_t{savedNext} + headNext_, uint64_t{maxId_} + 1));
      g.stamp = std::max(savedStamp, headStamp_);
      Join(target);
    } else {
      // The staged items go with the reader when the new root cannot be made
      // (the open project then stays).
      if (ErrorCode e = OpenEmptyProject()) {
        g.nextId = savedNext;
        g.stamp = savedStamp;
        return e;
      }
      BEE_ItemRec& root = R(g.root);
      std::memcpy(root.fileSettings, rootSettings_, sizeof rootSettings_);
      // The root takes the first ID unless the file gave it to an item.
      if (ids_.count(1)) root.id = std::max(headNext_, maxId_ + 1);
      g.nextId = std::max({headNext_, maxId_ + 1, root.id + 1});
      // The counter never goes below a stamp an item already carries (the
      // items read were stamped as they were made).
      g.stamp = std::max(headStamp_, g.stamp);
      g.sortMode = version_ >= 20 ? sortMode_ : 0;
      g.fileSetting = fileSetting_;
      Join(g.root);
    }
    ReportMissing();
    if (filesChanged_) {
      kReport.Note(kSiteProjectFile, kSevWarning, kTextFilesChanged);
      g.dirty = true;
    }
    return 0;
  }

 private:
  // ---- Failures ----
  ErrorCode Strange(const char* what, int64_t offset) {
    std::string where;
    for (const std::string& p : path_) where += (where.empty() ? "" : "/") + p;
    return kReport.Fail(kSiteProjectFile, BEE_ErrProjectFile, kTextStrangeData, {what, where, offset});
  }
  ErrorCode Strange(const char* what, const Child& at) {
    path_.push_back(ChunkName(at.id, at.form));
    ErrorCode err = Strange(what, at.start);
    path_.pop_back();
    return err;
  }

  // ---- Chunks ----
  ErrorCode Children(const SLU_Chunk& parent, std::vector<Child>* out) {
    out->clear();
    for (;;) {
      SLU_Chunk ch{};
      Boolean32 found = 0;
      if (ErrorCode err = SLU_Descend(c_, 0, 0, &parent, &ch, &found)) return err;
      if (!found) break;
      out->push_back(Child{ch.id, ch.formType, ch.dataStart - 8, ch.size});
      if (ErrorCode err = SLU_Ascend(c_, &ch)) return err;
    }
    return 0;
  }
  ErrorCode Seek(const Child& ch) { return FILE_SetPos(c_->file, ch.start); }
  ErrorCode Enter(const SLU_Chunk& parent, const Child& ch, SLU_Chunk* out) {
    if (ErrorCode err = Seek(ch)) return err;
    return SLU_Descend(c_, ch.id, ch.form, &parent, out, nullptr);
  }
  static bool Is(const Child& ch, FourCC id, FourCC form = 0) { return ch.id == id && ch.form == form; }
  // A fixed record: its size must lie in [minSize, maxSize]; a longer buffer
  // part stays zero.
  ErrorCode Record(const SLU_Chunk& parent, const Child& ch, uint32_t minSize, uint32_t maxSize,
                   std::vector<uint8_t>* out) {
    if (ch.size < minSize || ch.size > maxSize) return Strange("record size", ch);
    out->assign(maxSize, 0);
    SLU_Chunk entered{};
    if (ErrorCode err = Enter(parent, ch, &entered)) return err;
    uint32_t got = 0;
    if (ErrorCode err = slu::ReadUpTo(c_, &entered, *out, &got)) return err;
    return SLU_Ascend(c_, &entered);
  }
  ErrorCode Text(const SLU_Chunk& parent, const Child& ch, Handle* text) {
    std::vector<uint8_t> bytes;
    if (ErrorCode err = Record(parent, ch, 0, ch.size, &bytes)) return err;
    size_t n = std::find(bytes.begin(), bytes.end(), uint8_t{0}) - bytes.begin();
    return NewText(std::string_view(reinterpret_cast<const char*>(bytes.data()), n), text, kSiteProjectFile);
  }

  // ---- The file ----
  ErrorCode ReadAll() {
    // The first twelve bytes tell whether this is a project file at all.
    int64_t fileSize = 0;
    if (ErrorCode err = FILE_InqSize(c_->file, FILE_SizeData, &fileSize)) return err;
    uint8_t first[12] = {};
    int32_t count = sizeof first;
    if (fileSize >= 12) {
      if (ErrorCode err = FILE_SetPos(c_->file, 0)) return err;
      if (ErrorCode err = FILE_Read(c_->file, &count, first)) return err;
    }
    if (fileSize < 12 || be::Load<uint32_t>(first) != slu::kRIFX || be::Load<uint32_t>(first + 8) != kEgg)
      return kReport.Fail(kSiteNotProject, BEE_ErrProjectFile, kTextNotProjectFile);
    SLU_Chunk rifx{};
    if (ErrorCode err = FILE_SetPos(c_->file, 0)) return err;
    if (ErrorCode err = SLU_Descend(c_, slu::kRIFX, kEgg, nullptr, &rifx, nullptr)) return err;
    path_.push_back(ChunkName(slu::kRIFX, kEgg));
    std::vector<Child> top;
    if (ErrorCode e = Children(rifx, &top)) return e;
    if (top.empty() || !Is(top[0], khead)) return Strange("missing header", top.empty() ? rifx.dataStart : top[0].start);
    std::vector<uint8_t> b;
    if (ErrorCode e = Record(rifx, top[0], 2, kHeadMax, &b)) return e;
    be::Reader h(b);
    version_ = h.Read<uint16_t>();
    if (version_ > kFileVersion)
      return kReport.Fail(kSiteProjectFile, kErrDocVersion, kTextNewerVersion);
    if (version_ < kOldestVersion)
      return kReport.Fail(kSiteProjectFile, kErrDocVersion, kTextOlderVersion);
    if (top[0].size < kHeadSize) return Strange("record size", top[0]);
    h.Read<uint16_t>();
    h.Read<uint32_t>();
    h.Read<uint32_t>();
    headNext_ = h.Read<uint32_t>();
    headStamp_ = h.Read<uint32_t>();
    size_t at = 1;
    if (at >= top.size() || !Is(top[at], knhed)) return Strange("missing further header", top[0]);
    if (ErrorCode e = Record(rifx, top[at], kNhedSize, kNhedSize, &b)) return e;
    be::Reader n(b);
    sortMode_ = n.Read<uint16_t>();
    n.Read<uint16_t>();
    fileSetting_ = n.Read<uint32_t>();
    ++at;
    if (at >= top.size() || !Is(top[at], slu::kLIST, kFold)) return Strange("missing root folder", top[at - 1]);
    idBase_ = importing_ ? G().nextId : 0;
    SLU_Chunk fold{};
    if (ErrorCode e = Enter(rifx, top[at], &fold)) return e;
    path_.push_back(ChunkName(slu::kLIST, kFold));
    std::vector<Child> kids;
    if (ErrorCode e = Children(fold, &kids)) return e;
    if (kids.empty() || !Is(kids[0], kfdta)) return Strange("missing folder settings", top[at]);
    if (ErrorCode e = Record(fold, kids[0], kFdtaSize, kFdtaSize, &b)) return e;
    std::memcpy(rootSettings_, b.data(), sizeof rootSettings_);
    if (ErrorCode e = ReadItems(fold, kids, 1, nullptr, 0)) return e;
    path_.pop_back();
    // The host's chunks follow the folder.
    if (G().callback) {
      const Child& last = top[at];
      if (ErrorCode e = FILE_SetPos(c_->file, last.start + 8 + last.size + (last.size & 1))) return e;
      BEE_FileChunkNote note{c_, &rifx};
      if (ErrorCode e = G().callback(G().refcon, BEE_SelOpenChunks, &note)) return e;
    }
    path_.pop_back();
    return 0;
  }

  ErrorCode ReadItems(const SLU_Chunk& folderChunk, const std::vector<Child>& kids, size_t first, BEE_Item folder,
                      int32_t depth) {
    if (depth > kMaxFolderDepth) return Strange("folders nested too deep", folderChunk.dataStart);
    for (size_t i = first; i < kids.size(); ++i) {
      if (!Is(kids[i], slu::kLIST, kItem)) return Strange("unexpected chunk", kids[i]);
      SLU_Chunk item{};
      if (ErrorCode err = Enter(folderChunk, kids[i], &item)) return err;
      BEE_Item made = nullptr;
      if (ErrorCode err = ReadItem(item, kids[i], folder, nullptr, depth, &made)) return err;
    }
    return 0;
  }

  // Takes an ID from the file: unique, non-zero, offset when importing.
  ErrorCode TakeId(uint32_t fileId, const Child& at, uint32_t* id) {
    uint64_t v = uint64_t{fileId} + idBase_;
    if (fileId == 0 || v > UINT32_MAX - 1 || !ids_.insert(static_cast<uint32_t>(v)).second)
      return Strange("bad or repeated ID", at);
    *id = static_cast<uint32_t>(v);
    maxId_ = std::max(maxId_, *id);
    return 0;
  }

  // Reads an entered "LIST"/"Item". solidLayer: the layer a solid belongs to
  // (null outside a layer, where solids are not allowed).
  ErrorCode ReadItem(const SLU_Chunk& item, const Child& self, BEE_Item folder, BEE_Layer solidLayer, int32_t depth,
                     BEE_Item* made) {
    path_.push_back(ChunkName(slu::kLIST, kItem));
    std::vector<Child> kids;
    if (ErrorCode err = Children(item, &kids)) return err;
    if (kids.empty() || !Is(kids[0], kidta)) return Strange("missing item record", self);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(item, kids[0], kIdtaSize, kIdtaSize, &b)) return err;
    be::Reader r(b);
    const int16_t kind = static_cast<int16_t>(r.Read<uint16_t>());
    uint8_t settings[14];
    r.ReadBytes(settings);
    const uint32_t fileId = r.Read<uint32_t>();
    const uint32_t flags = r.Read<uint32_t>();
    char name[32];
    std::memcpy(name, b.data() + 24, 32);
    r.Skip(32);
    const uint8_t hasProxy = r.Read<uint8_t>();
    const uint8_t hasComment = r.Read<uint8_t>();
    const int8_t label = r.Read<int8_t>();
    r.Skip(1);
    BEE_RulerOrigin origin{r.Read<double>(), r.Read<double>()};
    r.Skip(4);
    const uint32_t state = r.Read<uint32_t>();
    const bool allowed = solidLayer ? kind == BEE_KindSolid
                                    : (kind == BEE_KindFolder || kind == BEE_KindComp ||
                                       kind == BEE_KindRenderItem || kind == BEE_KindFootage);
    if (!allowed || hasProxy > 1 || hasComment > 1) return Strange("unexpected item kind", kids[0]);
    uint32_t id = 0;
    if (ErrorCode err = TakeId(fileId, kids[0], &id)) return err;

    BEE_Item it = nullptr;
    if (ErrorCode err = NewItem(kind, NameOf(name), &it)) return err;
    if (solidLayer) {
      R(solidLayer).source = it;  // the layer owns its solid from here on
      R(it).solidLayer = solidLayer;
    } else {
      staged_.push_back(it);
    }
    *made = it;
    {
      BEE_ItemRec& rec = R(it);
      rec.parent = folder;
      rec.id = id;
      rec.flags = flags;
      rec.label = label;
      rec.origin = origin;
      rec.fileState = state;
      std::memcpy(rec.fileSettings, settings, sizeof settings);
    }
    size_t at = 1;
    if (hasComment) {
      if (at >= kids.size() || !Is(kids[at], kcmta)) return Strange("missing comment", kids[at - 1]);
      Handle text = nullptr;
      if (ErrorCode err = Text(item, kids[at], &text)) return err;
      R(it).comment = text;
      ++at;
    }
    ErrorCode err = 0;
    switch (kind) {
      case BEE_KindFolder: err = ReadFolder(item, kids, at, it, depth); break;
      case BEE_KindComp: err = ReadComp(item, kids, at, it, depth); break;
      case BEE_KindSolid: err = ReadSolid(item, kids, at, it); break;
      case BEE_KindFootage: err = ReadFootage(item, kids, at, it); break;
      default: break;
    }
    if (err) return err;
    if (kind == BEE_KindComp || kind == BEE_KindFootage) {
      if (at >= kids.size() || !Is(kids[at], slu::kLIST, kGide)) return Strange("missing guides", kids[at - 1]);
      LIST_Handle guides = nullptr;
      if (ErrorCode e = ReadGuides(item, kids[at], R(it).guideSettings, &guides)) return e;
      R(it).guides = guides;
      ++at;
    }
    if (hasProxy) {
      if (at >= kids.size() || !Is(kids[at], slu::kLIST, kPin)) return Strange("missing proxy", kids[at - 1]);
      PIN_SeqSpecH proxy = nullptr;
      if (ErrorCode e = ReadSeqSpec(item, kids[at], &proxy)) return e;
      R(it).proxy = proxy;
      ++at;
    }
    if (at != kids.size()) return Strange("unexpected chunk", kids[at]);
    path_.pop_back();
    return SLU_Ascend(c_, const_cast<SLU_Chunk*>(&item));
  }

  ErrorCode ReadFolder(const SLU_Chunk& item, const std::vector<Child>& kids, size_t& at, BEE_Item it, int32_t depth) {
    if (at >= kids.size() || !Is(kids[at], ksfdt)) return Strange("missing folder record", kids[at - 1]);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(item, kids[at], kSfdtSize, kSfdtSize, &b)) return err;
    R(it).folderState = be::Load<uint32_t>(b.data());
    ++at;
    if (at >= kids.size() || !Is(kids[at], slu::kLIST, kSfdr)) return Strange("missing folder contents", kids[at - 1]);
    SLU_Chunk sub{};
    if (ErrorCode err = Enter(item, kids[at], &sub)) return err;
    path_.push_back(ChunkName(slu::kLIST, kSfdr));
    std::vector<Child> inner;
    if (ErrorCode err = Children(sub, &inner)) return err;
    if (ErrorCode err = ReadItems(sub, inner, 0, it, depth + 1)) return err;
    path_.pop_back();
    ++at;
    return 0;
  }

  ErrorCode ReadComp(const SLU_Chunk& item, const std::vector<Child>& kids, size_t& at, BEE_Item it, int32_t depth) {
    if (at >= kids.size() || !Is(kids[at], kcdta)) return Strange("missing composition record", kids[at - 1]);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(item, kids[at], kCdtaSize, kCdtaSize, &b)) return err;
    be::Reader r(b);
    BEE_ItemRec& c = R(it);
    c.dsfH = r.Read<uint16_t>();
    c.dsfV = r.Read<uint16_t>();
    c.frameDuration = GetTime(r);
    c.furtherTime = GetTime(r);
    c.currentTime = GetTime(r);
    c.workStart = GetTime(r);
    c.workEnd = GetTime(r);
    c.duration = GetTime(r);
    c.bgColor = r.Read<uint32_t>();
    for (uint32_t& v : c.viewState) v = r.Read<uint32_t>();
    c.compSwitches = r.Read<uint32_t>();
    c.width = r.Read<uint16_t>();
    c.height = r.Read<uint16_t>();
    c.hsf.num = r.Read<int32_t>();
    c.hsf.den = r.Read<uint32_t>();
    r.Skip(4);
    c.frameRate = r.Read<uint32_t>();
    r.Skip(4);
    c.secondTime = GetTime(r);
    if (Fault f = CheckCompRecord(CompRecordOf(it))) return Strange(f.field, kids[at]);
    ++at;
    if (at < kids.size() && Is(kids[at], ktmrk)) {
      if (ErrorCode err = Record(item, kids[at], kTmrkSize, kTmrkSize, &b)) return err;
      be::Reader m(b);
      for (Time& t : c.timeMarkers) {
        t = GetTime(m);
        if (t.scale == 0) t = Time{0, 0};
      }
      ++at;
    }
    while (at < kids.size() && Is(kids[at], slu::kLIST, kLayr)) {
      if (ErrorCode err = ReadLayer(item, kids[at], it, depth)) return err;
      ++at;
    }
    return 0;
  }

  ErrorCode ReadSolid(const SLU_Chunk& item, const std::vector<Child>& kids, size_t& at, BEE_Item it) {
    if (at >= kids.size() || !Is(kids[at], kcrdt)) return Strange("missing solid record", kids[at - 1]);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(item, kids[at], kCrdtSize, kCrdtSize, &b)) return err;
    be::Reader r(b);
    BEE_ItemRec& s = R(it);
    s.solidColor = r.Read<uint32_t>();
    s.solidSetting = r.Read<uint32_t>();
    s.width = r.Read<uint16_t>();
    s.height = r.Read<uint16_t>();
    if (Fault f = CheckSolidSize(s.width, s.height)) return Strange(f.field, kids[at]);
    ++at;
    return 0;
  }

  ErrorCode ReadSeqSpec(const SLU_Chunk& parent, const Child& ch, PIN_SeqSpecH* seq) {
    SLU_Chunk list{};
    if (ErrorCode err = Enter(parent, ch, &list)) return err;
    if (ErrorCode err = PIN_ReadSeqSpec(c_, &list, seq)) return err;
    Boolean32 missing = 0, relinked = 0;
    if (PIN_IsMissing(*seq, &missing) == 0 && missing) ++missingFiles_;
    if (PINp_IsRelinked(*seq, &relinked) == 0 && relinked) filesChanged_ = true;
    return 0;
  }

  ErrorCode ReadFootage(const SLU_Chunk& item, const std::vector<Child>& kids, size_t& at, BEE_Item it) {
    if (at >= kids.size() || !Is(kids[at], kfdsc)) return Strange("missing footage description", kids[at - 1]);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(item, kids[at], kFdscSize, kFdscSize, &b)) return err;
    be::Reader r(b);
    BEE_FootageDesc d{};
    std::memcpy(d.name, b.data(), 32);
    std::memcpy(d.formatName, b.data() + 32, 32);
    r.Skip(64);
    d.width = r.Read<uint16_t>();
    d.height = r.Read<uint16_t>();
    d.duration = GetTime(r);
    d.pixelAspect.num = r.Read<int32_t>();
    d.pixelAspect.den = r.Read<uint32_t>();
    d.frameRate = r.Read<uint32_t>();
    d.depth = r.Read<uint32_t>();
    d.fieldSetting = r.Read<int32_t>();
    d.fieldSecond = r.Read<uint32_t>();
    d.hasVideo = r.Read<uint32_t>();
    r.ReadBytes(std::span(reinterpret_cast<uint8_t*>(d.text), sizeof d.text));
    d.name[31] = d.formatName[31] = d.text[sizeof d.text - 1] = 0;
    if (Fault f = CheckFootageDesc(d)) return Strange(f.field, kids[at]);
    Handle h = NewHandle(sizeof d);
    if (!h) return kReport.OutOfMemory(kSiteProjectFile, kTextOutOfMemoryWhat, sizeof d);
    std::memcpy(*h, &d, sizeof d);
    R(it).footage = h;
    R(it).width = d.width;
    R(it).height = d.height;
    ++at;
    if (at < kids.size() && Is(kids[at], slu::kLIST, kPin)) {
      PIN_SeqSpecH seq = nullptr;
      if (ErrorCode err = ReadSeqSpec(item, kids[at], &seq)) return err;
      R(it).seqSpec = seq;
      DropPlaceholderPicture(it, seq);
      NoteChangedSource(it, seq);
      ++at;
    }
    return 0;
  }

  // Sound files kept a one-pixel picture in projects saved before the engine
  // knew them as sound only: they open without it (no size, no video), as
  // they would be imported now.
  void DropPlaceholderPicture(BEE_Item it, PIN_SeqSpecH seq) {
    FourCC sig = 0;
    PIN_ModuleInfo module{};
    if (PIN_GetModuleSignature(seq, &sig) != 0 || PIN_GetModuleInfo(-1, sig, &module) != 0 ||
        !(module.flags & PIN_ModFlag_NoVideo))
      return;
    BEE_FootageDesc& kept = *reinterpret_cast<BEE_FootageDesc*>(*R(it).footage);
    kept.hasVideo = 0;
    kept.width = kept.height = 0;
    R(it).width = R(it).height = 0;
    R(it).flags &= ~static_cast<uint32_t>(BEE_ItemVideo);
  }

  // A source file that no longer matches what the project knew of it (its
  // size, duration, rate or video) has changed since the save: the item
  // takes the file's description, and the project is dirty after opening
  // so that a save keeps the change.
  void NoteChangedSource(BEE_Item it, PIN_SeqSpecH seq) {
    Boolean32 missing = 0;
    if (PIN_IsMissing(seq, &missing) != 0 || missing) return;
    BEE_FootageDesc fresh{};
    if (DescribeFootageSource(seq, &fresh) != 0) return;
    BEE_FootageDesc& kept = *reinterpret_cast<BEE_FootageDesc*>(*R(it).footage);
    if (fresh.width == kept.width && fresh.height == kept.height && fresh.duration.value == kept.duration.value &&
        fresh.duration.scale == kept.duration.scale && fresh.frameRate == kept.frameRate &&
        (fresh.hasVideo != 0) == (kept.hasVideo != 0))
      return;
    kept.width = fresh.width;
    kept.height = fresh.height;
    kept.duration = fresh.duration;
    kept.frameRate = fresh.frameRate;
    kept.hasVideo = fresh.hasVideo;
    R(it).width = fresh.width;
    R(it).height = fresh.height;
    filesChanged_ = true;
  }

  static ErrorCode DecodeGuide(intptr_t, LIST_Handle, int32_t, const uint8_t* in, void* item) {
    BEE_Guide g{};
    g.position = be::Load<int32_t>(in);
    g.settings[0] = in[4];
    g.settings[1] = in[5];
    g.settings[2] = in[6];
    std::memcpy(item, &g, sizeof g);
    return 0;
  }

  ErrorCode ReadGuides(const SLU_Chunk& parent, const Child& self, uint8_t (&settings)[3], LIST_Handle* out) {
    *out = nullptr;
    SLU_Chunk gide{};
    if (ErrorCode err = Enter(parent, self, &gide)) return err;
    path_.push_back(ChunkName(slu::kLIST, kGide));
    std::vector<Child> kids;
    if (ErrorCode err = Children(gide, &kids)) return err;
    if (kids.size() != 2 || !Is(kids[0], kgdta) || !Is(kids[1], slu::kLIST, klist))
      return Strange("bad guide list", self);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(gide, kids[0], kGdtaSize, kGdtaSize, &b)) return err;
    std::memcpy(settings, b.data(), 3);
    if (ErrorCode err = Seek(kids[1])) return err;
    LIST_Handle list = nullptr;
    if (ErrorCode err = LIST_ReadDecoded(c_, &gide, static_cast<int32_t>(sizeof(BEE_Guide)), kGuideSize,
                                         &DecodeGuide, 0, &list))
      return err;
    int32_t n = 0;
    LIST_GetNumItems(list, &n);
    if (n == 0) {
      LIST_Dispose(list, 0);
      list = nullptr;
    }
    *out = list;
    path_.pop_back();
    return 0;
  }

  // ---- Layers ----
  ErrorCode ReadLayer(const SLU_Chunk& compChunk, const Child& self, BEE_Item comp, int32_t depth) {
    SLU_Chunk layr{};
    if (ErrorCode err = Enter(compChunk, self, &layr)) return err;
    path_.push_back(ChunkName(slu::kLIST, kLayr));
    std::vector<Child> kids;
    if (ErrorCode err = Children(layr, &kids)) return err;
    if (kids.empty() || !Is(kids[0], kldta)) return Strange("missing layer record", self);
    const uint32_t minSize = version_ >= 20 ? kLdtaSize : version_ >= 16 ? kLdtaSize19 : kLdtaSize15;
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(layr, kids[0], version_ == kFileVersion ? kLdtaSize : minSize, kLdtaSize, &b))
      return err;
    const uint32_t size = kids[0].size;
    be::Reader r(b);
    const uint32_t fileId = r.Read<uint32_t>();
    const int16_t quality = r.Read<int16_t>();
    const uint16_t further = r.Read<uint16_t>();
    Ratio stretch{r.Read<int32_t>(), 0};
    const Time offset = GetTime(r), in = GetTime(r), out = GetTime(r);
    const uint32_t switches = r.Read<uint32_t>();
    const uint32_t sourceId = r.Read<uint32_t>();
    uint8_t settings[14];
    r.ReadBytes(settings);
    r.Skip(2);
    const uint8_t hasComment = r.Read<uint8_t>();
    int8_t label = r.Read<int8_t>();
    char name[32];
    std::memcpy(name, b.data() + 64, 32);
    r.Seek(96);
    const uint32_t mode = r.Read<uint32_t>(), transferFlags = r.Read<uint32_t>(), matte = r.Read<uint32_t>();
    stretch.den = r.Read<uint32_t>();
    BEE_RulerOrigin origin{r.Read<double>(), r.Read<double>()};
    // Conversion of older layer records.
    if (size < kLdtaSize19) stretch.den = 65536;
    if (version_ < 20) origin = BEE_RulerOrigin{0, 0};
    if (version_ < 16) label = -1;
    if (hasComment > 1) return Strange("bad layer settings", kids[0]);
    if (Fault f = CheckLayerRecord(LayerRecord{quality, BEE_TransferSettings{mode, transferFlags, matte}, stretch,
                                               BEE_LayerTimes{offset, in, out}}))
      return Strange(f.field, kids[0]);
    uint32_t id = 0;
    if (ErrorCode err = TakeId(fileId, kids[0], &id)) return err;

    BEE_Layer l = nullptr;
    if (ErrorCode err = NewLayer(comp, nullptr, NameOf(name), &l)) return err;
    // Straight into the composition's stack: the composition is new and
    // used by nothing yet, so there is nothing to mark as changed.
    if (ErrorCode err = LIST_InsertP(reinterpret_cast<intptr_t>(l), -1, R(comp).layers)) {
      DisposeLayer(l);
      return err;
    }
    {
      BEE_LayerRec& rec = R(l);
      rec.id = id;
      rec.quality = quality;
      rec.fileSetting = further;
      rec.stretch = stretch;
      rec.offset = offset;
      rec.inPoint = in;
      rec.outPoint = out;
      rec.switches = switches;
      std::memcpy(rec.fileSettings, settings, sizeof settings);
      rec.label = label;
      rec.transferMode = mode;
      rec.transferFlags = transferFlags;
      rec.trackMatte = matte;
      rec.origin = origin;
    }
    size_t at = 1;
    if (at < kids.size() && Is(kids[at], slu::kLIST, kItem)) {
      if (sourceId != 0) return Strange("a solid with a source", kids[at]);
      SLU_Chunk solid{};
      if (ErrorCode err = Enter(layr, kids[at], &solid)) return err;
      BEE_Item made = nullptr;
      if (ErrorCode err = ReadItem(solid, kids[at], nullptr, l, depth, &made)) return err;
      ++at;
    } else if (sourceId != 0) {
      pending_.push_back({l, sourceId, kids[0]});
    }
    if (at >= kids.size() || !Is(kids[at], slu::kLIST, kPar8)) return Strange("missing effects", kids[at - 1]);
    if (ErrorCode err = ReadEffects(layr, kids[at], l)) return err;
    ++at;
    if (at >= kids.size() || !Is(kids[at], slu::kLIST, kMprd)) return Strange("missing masks", kids[at - 1]);
    if (ErrorCode err = ReadMasks(layr, kids[at], l)) return err;
    ++at;
    static constexpr int16_t kDims[8] = {2, 2, 1, 2, 1, 2, 0, 1};
    for (int32_t k = 0; k < 8; ++k) {
      if (at >= kids.size()) return Strange("missing stream", kids[at - 1]);
      const int32_t index = kStreamOrder[k];
      TDB_Stream s = nullptr;
      if (Is(kids[at], ktdbn)) {
        if (kDims[k] != 0) return Strange("missing stream", kids[at]);
      } else if (Is(kids[at], slu::kLIST, ktdbs)) {
        if (ErrorCode err = ReadStream(layr, kids[at], kDims[k], &s)) return err;
      } else {
        return Strange("unexpected chunk", kids[at]);
      }
      if (R(l).streams[index]) TDB_DisposeStream(R(l).streams[index]);
      R(l).streams[index] = s;
      ++at;
    }
    if (at >= kids.size() || !Is(kids[at], slu::kLIST, kGide)) return Strange("missing guides", kids[at - 1]);
    uint8_t unused[3];
    LIST_Handle guides = nullptr;
    if (ErrorCode err = ReadGuides(layr, kids[at], unused, &guides)) return err;
    // Layers keep no guides of their own.
    if (guides) LIST_Dispose(guides, 0);
    ++at;
    if (hasComment) {
      if (at >= kids.size() || !Is(kids[at], kcmta)) return Strange("missing comment", kids[at - 1]);
      Handle text = nullptr;
      if (ErrorCode err = Text(layr, kids[at], &text)) return err;
      R(l).comment = text;
      ++at;
    }
    if (at != kids.size()) return Strange("unexpected chunk", kids[at]);
    // Every key as a command would take it.
    if (Fault f = CheckLayerStreams(l)) return f.error ? f.error : Strange(f.field, self);
    path_.pop_back();
    return 0;
  }

  ErrorCode ReadStream(const SLU_Chunk& parent, const Child& ch, int16_t dimension, TDB_Stream* out) {
    *out = nullptr;
    SLU_Chunk entered{};
    if (ErrorCode err = Enter(parent, ch, &entered)) return err;
    TDB_Stream s = nullptr;
    if (ErrorCode err = TDB_ReadStreamPlus(c_, &parent, &entered, &s)) return err;
    TDB_StreamInfo info{};
    ErrorCode err = TDB_GetStreamInfo(s, &info);
    if (!err && info.dimension != dimension) err = Strange("unexpected stream", ch);
    if (err) {
      TDB_DisposeStream(s);
      return err;
    }
    *out = s;
    return 0;
  }

  ErrorCode ReadEffects(const SLU_Chunk& layr, const Child& ch, BEE_Layer l) {
    SLU_Chunk par8{};
    if (ErrorCode err = Enter(layr, ch, &par8)) return err;
    char names[256] = "";
    int32_t missing = 0;
    Handle parade = nullptr;
    // The chain tells its effects the time of each frame, as one made by
    // applying effects does: keyed parameters are evaluated at every frame.
    if (ErrorCode err = FLT_ReadParade(c_, &EffectLayerInfo, version_, nullptr, &layr, &par8, names, &missing, &parade))
      return err;
    // Layer parameters name layers by their IDs in the file.
    if (ErrorCode err = OffsetLayerChoices(parade, idBase_)) {
      FLT_DisposeParade(parade);
      return err;
    }
    int32_t n = 0;
    FLT_InqParadeNumSeqs(parade, &n);
    if (n > BEE_MaxEffects) {
      FLT_DisposeParade(parade);
      return Strange("too many effects", ch);
    }
    if (missing > 0) {
      missingEffects_ += missing;
      AddNames(names, missing);
      if (!keep_)
        for (int32_t i = n - 1; i >= 0; --i) {
          Boolean32 gone = 0;
          FLT_Sequence seq = nullptr;
          if (FLT_InqParadeSeqMissing(parade, i, &gone) == 0 && gone && FLT_RemoveSeqParade(parade, i, &seq) == 0)
            FLT_DisposeSequence(seq);
        }
      FLT_InqParadeNumSeqs(parade, &n);
    }
    if (n == 0) {
      FLT_DisposeParade(parade);
      parade = nullptr;
    }
    R(l).parade = parade;
    return 0;
  }

  // Names of missing effects, each once, while they fit.
  void AddNames(const char* names, int32_t count) {
    std::string_view all(names);
    int32_t listed = 0;
    while (!all.empty()) {
      size_t cut = all.find(", ");
      std::string name(all.substr(0, cut));
      ++listed;
      if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(name);
      if (cut == std::string_view::npos) break;
      all.remove_prefix(cut + 2);
    }
    if (listed < count) namesCut_ = true;
  }

  ErrorCode ReadMasks(const SLU_Chunk& layr, const Child& self, BEE_Layer l) {
    SLU_Chunk mprd{};
    if (ErrorCode err = Enter(layr, self, &mprd)) return err;
    path_.push_back(ChunkName(slu::kLIST, kMprd));
    std::vector<Child> kids;
    if (ErrorCode err = Children(mprd, &kids)) return err;
    if (kids.empty() || !Is(kids[0], kmdta) || (kids.size() - 1) % 4 != 0)
      return Strange("bad mask list", self);
    if ((kids.size() - 1) / 4 > BEE_MaxMasks) return Strange("too many masks", self);
    std::vector<uint8_t> b;
    if (ErrorCode err = Record(mprd, kids[0], kMdtaSize, kMdtaSize, &b)) return err;
    std::memcpy(R(l).maskRecord, b.data(), kMdtaSize);
    for (size_t at = 1; at < kids.size(); at += 4) {
      if (!Is(kids[at], kmkdt)) return Strange("missing mask settings", kids[at]);
      for (size_t k = 1; k < 4; ++k)
        if (!Is(kids[at + k], slu::kLIST, ktdbs)) return Strange("missing mask stream", kids[at + k]);
      if (ErrorCode err = Record(mprd, kids[at], kMkdtSize, kMkdtSize, &b)) return err;
      be::Reader r(b);
      MaskRec m{};
      m.id = r.Read<uint32_t>();
      m.mode = r.Read<uint32_t>();
      m.invert = r.Read<uint32_t>();
      m.locked = r.Read<uint32_t>();
      std::memcpy(m.name, b.data() + 16, 32);
      m.name[31] = 0;
      if (Fault f = CheckMaskRecord(MaskRecord{m.mode, m.invert, m.locked})) return Strange(f.field, kids[at]);
      if (ErrorCode err = TakeId(m.id, kids[at], &m.id)) return err;
      if (!R(l).masks) {
        LIST_Handle list = nullptr;
        if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(MaskRec)), 4, 1, &list)) return err;
        R(l).masks = list;
      }
      // The mask joins the layer before its streams are read, so that a
      // failure leaves nothing outside the layer.
      if (ErrorCode err = LIST_Insert(&m, -1, R(l).masks)) return err;
      int32_t index = 0;
      LIST_GetNumItems(R(l).masks, &index);
      --index;
      if (ErrorCode err = Seek(kids[at + 1])) return err;
      if (ErrorCode err = OM_ReadStream(c_, &mprd, &m.streams[0])) return err;
      LIST_SetItem(&m, index, R(l).masks, 0, nullptr);
      if (ErrorCode err = ReadStream(mprd, kids[at + 2], 2, &m.streams[1])) return err;
      LIST_SetItem(&m, index, R(l).masks, 0, nullptr);
      if (ErrorCode err = ReadStream(mprd, kids[at + 3], 1, &m.streams[2])) return err;
      LIST_SetItem(&m, index, R(l).masks, 0, nullptr);
    }
    path_.pop_back();
    return 0;
  }

  // ---- After reading ----
  struct Pending {
    BEE_Layer layer;
    uint32_t sourceId;
    Child at;
  };

  ErrorCode Resolve() {
    std::unordered_map<uint32_t, BEE_Item> byId;
    for (BEE_Item it : staged_) byId[R(it).id] = it;
    path_ = {"RIFX:Egg!"};
    for (const Pending& p : pending_) {
      uint64_t id = uint64_t{p.sourceId} + idBase_;
      auto found = byId.find(static_cast<uint32_t>(id));
      if (id > UINT32_MAX || found == byId.end()) return Strange("unknown layer source", p.at);
      BEE_Item src = found->second;
      if (R(src).kind == BEE_KindFolder) return Strange("a folder as a layer source", p.at);
      R(p.layer).source = src;
    }
    // Every layer of the file joins its source's users; then no composition
    // may contain itself, nor nest deeper than a frame renders.
    std::vector<BEE_Item> comps;
    for (BEE_Item it : staged_) {
      if (R(it).kind != BEE_KindComp) continue;
      comps.push_back(it);
      const int32_t n = LayerCount(it);
      for (int32_t i = 0; i < n; ++i) LinkSource(LayerAt(it, i));
    }
    for (const Pending& p : pending_)
      if (!SourceAllowed(R(p.layer).comp, R(p.layer).source))
        return Strange("a composition that contains itself", p.at);
    if (!pending_.empty() && DeepestNesting(comps) > BEE_MaxRenderDepth) return Strange("composition nesting too deep", pending_.front().at);
    return 0;
  }

  void Join(BEE_Item target) {
    State& g = G();
    for (BEE_Item it : staged_) {
      if (!R(it).parent) R(it).parent = target;
      g.order.push_back(it);
    }
    staged_.clear();
    RebuildOrder();
    MarkSortStale();
  }

  void ReportMissing() {
    if (missingEffects_ > 0) {
      std::string list;
      for (const std::string& n : names_) list += (list.empty() ? "" : ", ") + n;
      int32_t text = keep_ ? (namesCut_ ? kTextMissingEffEtc : missingEffects_ == 1 ? kTextMissingEff1 : kTextMissingEffN)
                           : (namesCut_ ? kTextRemovedEtc : missingEffects_ == 1 ? kTextRemoved1 : kTextRemovedN);
      U_SubArg args[2] = {{U_SubArgLong, missingEffects_, 0, nullptr}, {U_SubArgText, 0, 0, list.c_str()}};
      char out[1024];
      U_SubString(out, sizeof out, kReport.Text(text), args, 2);
      report::Text(kReport.Loc(kSiteProjectFile), kSevWarning, "%s", {std::string(out)});
    }
    if (missingFiles_ > 0) {
      U_SubArg args[1] = {{U_SubArgLong, missingFiles_, 0, nullptr}};
      char out[1024];
      U_SubString(out, sizeof out, kReport.Text(missingFiles_ == 1 ? kTextFileMissing1 : kTextFilesMissingN), args,
                  1);
      report::Text(kReport.Loc(kSiteProjectFile), kSevWarning, "%s", {std::string(out)});
    }
  }

  SLU_FileContext* c_;
  bool importing_;
  bool keep_;
  int32_t version_ = 0;
  uint32_t headNext_ = 0, headStamp_ = 0, fileSetting_ = 0;
  int32_t sortMode_ = 0;
  uint8_t rootSettings_[14] = {};
  uint32_t idBase_ = 0;
  uint32_t maxId_ = 0;
  std::unordered_set<uint32_t> ids_;
  std::vector<BEE_Item> staged_;
  std::vector<Pending> pending_;
  std::vector<std::string> path_;
  std::vector<std::string> names_;
  bool namesCut_ = false;
  int32_t missingEffects_ = 0;
  int32_t missingFiles_ = 0;
  bool filesChanged_ = false;
};

}  // namespace

ErrorCode ReadProject(SLU_FileContext* file, bool importing, BEE_Item folder, bool keepMissingEffects,
                      ReadResult* result) {
  *result = ReadResult{};
  ProjectReader reader(file, importing, keepMissingEffects);
  return reader.Read(folder, result);
}

}  // namespace tv::bee::proj
