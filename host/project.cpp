// Opening, saving and rendering the project of a sub-command.
#include "project.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "BM.h"
#include "FILE.h"
#include "MC.h"
#include "PIN.h"
#include "T.h"
#include "desc_build.h"
#include "description.h"
#include "output_module.h"
#include "output_name.h"
#include "session.h"

namespace tavelo {
void LoadProject(const std::string& path) {
  std::error_code ec;
  const auto kind = std::filesystem::status(path, ec).type();
  if (kind == std::filesystem::file_type::not_found) Fail("cannot open \"" + path + "\": no such file");
  if (kind == std::filesystem::file_type::directory) Fail("cannot open \"" + path + "\": it is a folder");
  // Reading a named pipe or a device could wait forever.
  if (kind == std::filesystem::file_type::fifo) Fail("cannot open \"" + path + "\": it is a named pipe (FIFO), not a file");
  if (kind == std::filesystem::file_type::character || kind == std::filesystem::file_type::block ||
      kind == std::filesystem::file_type::socket)
    Fail("cannot open \"" + path + "\": it is not a regular file");
  if (ExtensionOf(path) == "json") {
    BuildDescriptionFile(path);
    return;
  }
  FileRef file(path);
  Boolean32 converted = 0;
  Check(BEE_CmdOpenProject(file.spec, 0, &converted), "opening \"" + path + "\"");
}

void SaveProject(const std::string& path) {
  MakeOutputFolder(path);
  FileRef file(path);
  Check(BEE_CmdSaveProject(file.spec, 0, 0), "saving \"" + path + "\"");
}

std::string ItemName(BEE_Item item) {
  char name[32] = {};
  BEE_GetItemName(item, name);
  return name;
}

namespace {
// A nested item draws its proxy when the proxy is on; the composition
// rendered draws its layers.
void FindMissing(BEE_Item item, bool nested, std::vector<BEE_Item>& seen, std::vector<std::string>& out) {
  if (!item || std::find(seen.begin(), seen.end(), item) != seen.end()) return;
  seen.push_back(item);
  uint32_t flags = 0;
  BEE_GetItemFlags(item, &flags);
  PIN_SeqSpecH seq = nullptr;
  if (nested && (flags & BEE_ItemProxyOn)) BEEp_GetItemProxy(item, &seq);
  int16_t kind = 0;
  BEE_GetItemKind(item, &kind);
  if (!seq && kind == BEE_KindFootage) BEE_GetFootageSeqSpec(item, &seq);
  if (seq) {
    Boolean32 missing = 0;
    if (PIN_IsMissing(seq, &missing) == 0 && missing) {
      char path[FILE_MaxPath] = "";
      PINp_GetMissingPath(seq, path, sizeof path);
      out.push_back("\"" + ItemName(item) + "\"" + (path[0] ? std::string(" (") + path + ")" : std::string()));
    }
    return;
  }
  if (kind != BEE_KindComp) return;
  int32_t n = 0;
  BEE_GetCompNumLayers(item, &n);
  for (int32_t i = 0; i < n; ++i) {
    BEE_Layer layer = nullptr;
    BEE_Item source = nullptr;
    if (BEE_GetIndLayer(item, i, &layer) == 0 && BEE_GetLayerSource(layer, &source) == 0) FindMissing(source, true, seen, out);
  }
}
}  // namespace

std::vector<std::string> MissingFootage(BEE_Item comp) {
  std::vector<BEE_Item> seen;
  std::vector<std::string> out;
  FindMissing(comp, false, seen, out);
  return out;
}

void RefuseMissingFootage(BEE_Item comp, const std::string& why) {
  const std::vector<std::string> missing = MissingFootage(comp);
  if (missing.empty()) return;
  std::string list;
  for (const std::string& m : missing) list += (list.empty() ? "" : ", ") + m;
  Fail("footage is missing: " + list + "; " + why);
}

std::vector<BEE_Item> Comps() {
  std::vector<BEE_Item> out;
  BEE_Item item = nullptr;
  while (BEE_GetNextItem(item, &item) == 0 && item) {
    int16_t kind = 0;
    if (BEE_GetItemKind(item, &kind) == 0 && kind == BEE_KindComp) out.push_back(item);
  }
  return out;
}

BEE_Item FindComp(const std::string& name) {
  BEE_Item comp = nullptr;
  if (!name.empty() && BEE_FindItem(nullptr, name.c_str(), BEE_KindComp, &comp) == 0 && comp) return comp;
  const std::vector<BEE_Item> comps = Comps();
  if (name.empty() && comps.size() == 1) return comps[0];
  if (comps.empty()) Fail("the project has no composition");
  std::string names;
  for (BEE_Item c : comps) names += std::string(names.empty() ? "" : ", ") + "\"" + ItemName(c) + "\"";
  // A name the project does not hold is an argument to correct, as is a
  // time outside the composition: both are usage errors.
  if (name.empty()) Fail("give the composition with --comp: the project has " + names, kExitUsage);
  Fail("no composition named \"" + name + "\" (the project has " + names + ")", kExitUsage);
}

FrameGrid GridOf(BEE_Item comp) {
  FrameGrid g{};
  Time duration{};
  Check(BEE_GetCompFrameDuration(comp, &g.frame), "reading the frame rate");
  Check(BEE_GetItemDuration(comp, &duration, nullptr), "reading the duration");
  if (g.frame.value <= 0 || g.frame.scale == 0 || duration.scale == 0) Fail("the composition has no frame rate");
  // frames = duration / frame, compared as exact products.
  const __int128 num = static_cast<__int128>(duration.value) * g.frame.scale;
  const __int128 den = static_cast<__int128>(g.frame.value) * duration.scale;
  g.count = num > 0 ? static_cast<int64_t>(num / den) : 0;
  return g;
}

int64_t ParseFrameTime(const std::string& text, BEE_Item comp) {
  const FrameGrid g = GridOf(comp);
  size_t used = 0;
  int64_t frame = -1;
  try {
    if (!text.empty() && text.back() == 'f') {
      frame = std::stoll(text.substr(0, text.size() - 1), &used);
      if (used + 1 != text.size()) used = 0;
    } else {
      // Decimal seconds only (the library would take "0x1" and "inf" too).
      const bool decimal = text.find_first_not_of("0123456789.+-eE") == std::string::npos;
      const double seconds = decimal ? std::stod(text, &used) : 0;
      if (used != text.size() || !std::isfinite(seconds)) used = 0;
      else frame = desc::FrameAtSeconds(seconds, g.frame);
    }
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0) Fail("bad time \"" + text + "\" (seconds such as 1.5, or a frame such as 45f)", kExitUsage);
  if (frame < 0 || frame >= g.count)
    Fail("time \"" + text + "\" is outside the composition (frames 0 to " + std::to_string(g.count - 1) + ")",
         kExitUsage);
  return frame;
}

void SetResolution(BEE_Item comp, const std::string& resolution) {
  const char* names[] = {"full", "half", "third", "quarter"};
  for (uint16_t f = 1; f <= 4; ++f)
    if (resolution == names[f - 1]) {
      Check(BEE_CmdSetResolution(comp, f, f), "setting the resolution");
      return;
    }
  Fail("bad resolution \"" + resolution + "\" (full, half, third or quarter)", kExitUsage);
}

BEE_RenderRequest FrameRequest(BEE_Item comp, int64_t frame) {
  const FrameGrid g = GridOf(comp);
  BEE_RenderRequest rq{};
  rq.time = Time{static_cast<int32_t>(frame * g.frame.value), g.frame.scale};
  rq.span = g.frame;
  rq.layerCount = -1;
  return rq;
}

Image RenderFrame(BEE_Item comp, int64_t frame, const std::string& writeTo) {
  BEE_RenderRequest rq = FrameRequest(comp, frame);
  if (!writeTo.empty()) {
    // One frame, written and returned: rendered once through the frame
    // cache, and the engine writes it from there, over the background
    // colour for a format without alpha.
    MC_Receipt receipt = nullptr;
    Check(BEE_RenderCompFrameCheckout(comp, &rq, &receipt), "rendering frame " + std::to_string(frame));
    BM_World world = nullptr;
    ErrorCode err = BEE_GetReceiptWorld(receipt, &world);
    Image img;
    if (!err) {
      try {
        img = ImageFromWorld(world);
      } catch (...) {
        BEE_RenderCompFrameCheckin(receipt);
        throw;
      }
    }
    BEE_RenderCompFrameCheckin(receipt);
    Check(err, "reading frame " + std::to_string(frame));
    rq.flags |= BEE_Request_Cacheable;
    FileRef file(writeTo);
    if (ErrorCode e = BEE_SaveFrameAs(comp, &rq, file.spec, 0)) FailWriting(writeTo, e);
    return img;
  }
  // The frame is drawn into a World of the host's, not kept in the frame
  // cache: a long run of frames (a farm task, a stream) would otherwise
  // fill the cache with frames never asked for again.
  int32_t width = 0, height = 0;
  Check(BEE_GetCompDimensionsDSF(comp, &width, &height, nullptr), "reading the frame size");
  struct World {
    BM_World w = nullptr;
    ~World() {
      if (w) BM_DisposeWorld(w);
    }
  } world;
  const Rect bounds{0, 0, static_cast<int16_t>(std::max(height, 1)), static_cast<int16_t>(std::max(width, 1))};
  Check(BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world.w), "making the frame");
  // A description's fields: each field rendered at its own time (half a
  // frame apart) into its rows, as a render to a movie or stills does.
  const int32_t order = LastDescriptionRender().fieldOrder;
  if (order == 1 || order == 2) {
    Time half{};
    Check(T_MulTime(rq.span, Ratio{1, 2}, &half), "halving the frame");
    BEE_RenderRequest first = rq, second = rq;
    first.span = second.span = half;
    first.field = order;
    second.field = 3 - order;
    Check(T_AddTime(rq.time, half, &second.time), "timing the second field");
    Check(BEEp_RenderItemFrame(comp, &first, world.w), "rendering frame " + std::to_string(frame));
    Check(BEEp_RenderItemFrame(comp, &second, world.w), "rendering frame " + std::to_string(frame));
  } else {
    Check(BEEp_RenderItemFrame(comp, &rq, world.w), "rendering frame " + std::to_string(frame));
  }
  return ImageFromWorld(world.w);
}

void WriteFrame(BEE_Item comp, int64_t frame, const std::string& path) {
  BEE_RenderRequest rq = FrameRequest(comp, frame);
  // Not cacheable: the engine renders the frame for the file alone and does
  // not keep it, over the background colour for a format without alpha.
  FileRef file(path);
  if (ErrorCode e = BEE_SaveFrameAs(comp, &rq, file.spec, 0)) FailWriting(path, e);
}

}  // namespace tavelo

namespace tavelo {

int ThumbnailHeight(BEE_Item comp, int width) {
  int32_t cw = 0, ch = 0;
  Check(BEE_GetItemDimensions(comp, &cw, &ch), "reading the frame size");
  // The frame as it is seen: pixels twice as wide make a frame half as high.
  Ratio hsf{1, 1};
  Check(BEE_GetItemHSF(comp, &hsf), "reading the pixel aspect");
  const int64_t num = static_cast<int64_t>(ch) * width * std::max<int32_t>(hsf.den, 1);
  const int64_t den = static_cast<int64_t>(std::max(cw, 1)) * std::max<int32_t>(hsf.num, 1);
  const int64_t height = std::max<int64_t>(1, num / den);
  if (height > kMaxImageSide)
    Fail("the composition is too tall for a contact sheet " + std::to_string(width) + " wide");
  return static_cast<int>(height);
}

Image Thumbnail(BEE_Item comp, int64_t frame, int width) {
  const int height = ThumbnailHeight(comp, width);
  const Rect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  BM_World world = nullptr;
  Check(BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world), "making a thumbnail");
  struct Dispose {
    BM_World w;
    ~Dispose() { BM_DisposeWorld(w); }
  } owner{world};
  BEE_RenderRequest rq = FrameRequest(comp, frame);
  Check(BEE_DrawMattedItemFrame(comp, &rq, nullptr, world), "rendering frame " + std::to_string(frame));
  return ImageFromWorld(world);
}

}  // namespace tavelo
