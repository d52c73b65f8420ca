// The project, its items and compositions.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "FILE.h"
#include "Memory.h"
#include "PIN.h"
#include "T.h"
#include "desc_build.h"
#include "desc_node.h"
#include "objects.h"

namespace tvpy {
namespace {

// A file reference the engine's file layer understands (an absolute path),
// disposed whatever happens.
struct FileRef {
  FILE_SpecH spec = nullptr;
  explicit FileRef(const std::string& path) {
    std::error_code ec;
    const std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    Check(FILE_New(full.c_str(), FILE_LocFullPath, &spec), "naming \"" + path + "\"");
  }
  ~FileRef() {
    if (spec) FILE_Dispose(spec);
  }
  FileRef(const FileRef&) = delete;
  FileRef& operator=(const FileRef&) = delete;
};

void CopyName(char (&dst)[32], const std::string& name, const char* what) {
  if (name.empty()) BadValue(std::string(what) + " cannot be empty");
  if (name.size() > 31) BadValue(std::string(what) + " \"" + name + "\" is longer than 31 bytes");
  if (name.find('\0') != std::string::npos) BadValue(std::string(what) + " holds a zero byte");
  std::memset(dst, 0, sizeof dst);
  std::memcpy(dst, name.data(), name.size());
}

uint16_t Dimension(int v, const char* what) {
  if (v < 1 || v > 30000) BadValue(std::string(what) + " must be 1 to 30000 (is " + std::to_string(v) + ")");
  return static_cast<uint16_t>(v);
}


}  // namespace

// ---- Project ------------------------------------------------------------------------

std::string Project::Path() const {
  Enter();
  char path[4096] = {};
  Check(BEE_GetProjectPath(path, sizeof path), "reading the project's path");
  return path;
}

bool Project::Dirty() const {
  Enter();
  Boolean32 dirty = 0;
  Check(BEE_GetProjectDirty(&dirty), "reading the project's state");
  return dirty != 0;
}

void Project::Save(const std::string& path) const {
  Enter();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) Fail(3, "cannot save to \"" + path + "\": it is a folder");
  FileRef file(path);
  const WriteScope writing;
  Check(BEE_CmdSaveProject(file.spec, 0, 0), "saving \"" + path + "\"");
}

std::vector<py::object> Project::Items() const {
  Enter();
  std::vector<py::object> out;
  BEE_Item root = nullptr;
  Check(BEE_QueryProject(&root), "reading the project");
  BEE_Item item = nullptr;
  for (;;) {
    Check(BEE_GetNextItem(item, &item), "walking the items");
    if (!item) break;
    if (item != root) out.push_back(WrapItem(item, life));
  }
  return out;
}

std::vector<Comp> Project::Comps() const {
  std::vector<Comp> out;
  for (const py::object& o : Items())
    if (py::isinstance<Comp>(o)) out.push_back(o.cast<Comp>());
  return out;
}

py::object Project::Find(const std::string& name) const {
  Enter();
  BEE_Item item = nullptr;
  Check(BEE_FindItem(nullptr, name.c_str(), 0, &item), "finding \"" + name + "\"");
  return item ? WrapItem(item, life) : py::none();
}

Comp Project::GetComp(const std::string& name) const {
  Enter();
  BEE_Item comp = nullptr;
  Check(BEE_FindItem(nullptr, name.c_str(), BEE_KindComp, &comp), "finding \"" + name + "\"");
  if (!comp) {
    std::string names;
    for (const Comp& c : Comps()) names += std::string(names.empty() ? "" : ", ") + "\"" + c.Name() + "\"";
    Fail(10, "no composition named \"" + name + "\" (the project has " + (names.empty() ? "none" : names) + ")");
  }
  Comp c = MakeComp(comp, life);
  return c;
}

Comp Project::NewComp(const std::string& name, int width, int height, double fps, double duration,
                      double pixelAspect, const py::object& background) const {
  Enter();
  BEE_CompSettings s{};
  CopyName(s.name, name, "a composition's name");
  s.width = Dimension(width, "width");
  s.height = Dimension(height, "height");
  if (!(fps >= 0.01 && fps <= 999)) BadValue("fps must be 0.01 to 999");
  s.frameRate = static_cast<uint32_t>(std::llround(fps * 65536));
  // Its frames as the engine counts them (29.97 fps: 1001/30000 s), so that
  // a duration of frame times holds those frames.
  Time frame{0, 1};
  Check(T_FrameRate2Duration(static_cast<Fixed>(s.frameRate), &frame), "reading the frame rate");
  ToTime(duration);  // the checks of every time
  s.duration = tavelo::desc::TimeOfSeconds(duration, frame);
  if (duration < Seconds(frame) - 1e-9)
    BadValue("a composition lasts at least one frame (1/" + tavelo::desc::Decimal(fps) + " s)");
  s.secondTime = Time{0, 600};
  if (!(pixelAspect >= 0.01 && pixelAspect <= 100)) BadValue("pixel_aspect must be 0.01 to 100");
  s.pixelAspect = tavelo::desc::PixelAspectRatioOf(pixelAspect);
  s.dsfH = s.dsfV = 1;
  const std::optional<uint32_t> bg = background.is_none() ? std::nullopt : std::optional(ColourOf(background));
  BEE_Item comp = nullptr;
  Check(BEE_CmdNewComp(nullptr, &s, &comp), "making the composition \"" + name + "\"");
  if (const std::string why = tavelo::desc::FramesBeyondTimes(comp); !why.empty()) {
    // Taken back whole: the composition was one step.
    BEE_Undo();
    BEE_ClearRedoStack();
    BadValue(why);
  }
  Comp c = MakeComp(comp, life);
  if (bg) Check(BEE_CmdSetBackgroundColor(comp, *bg), "setting the background colour");
  return c;
}

Item Project::NewFolder(const std::string& name) const {
  Enter();
  char n[32];
  CopyName(n, name, "a folder's name");
  BEE_Item folder = nullptr;
  Check(BEE_CmdNewFolder(nullptr, n, &folder), "making the folder \"" + name + "\"");
  return MakeItem(folder, life);
}

Item Project::ImportFootage(const std::string& path, bool sequence) const {
  Enter();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) Fail(-43, "cannot import \"" + path + "\": no such file");
  if (std::filesystem::is_directory(path, ec))
    Fail(3, "cannot import \"" + path +
                "\": it is a folder (a numbered sequence is imported by one of its files, "
                "with sequence=True)");
  FileRef file(path);
  BEE_Item item = nullptr;
  Check(BEE_CmdImportFootage(nullptr, file.spec, sequence ? PIN_Import_Sequence : 0, &item),
        "importing \"" + path + "\"");
  return MakeItem(item, life);
}

void Project::Undo() const {
  Enter();
  Check(BEE_Undo(), "undo");
}

void Project::Redo() const {
  Enter();
  Check(BEE_Redo(), "redo");
}

std::optional<std::string> Project::UndoName() const {
  Enter();
  Boolean32 available = 0;
  char name[BEE_GroupNameSize] = {};
  Check(BEE_UndoAvailable(&available, name), "reading the undo stack");
  if (!available) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> Project::RedoName() const {
  Enter();
  Boolean32 available = 0;
  char name[BEE_GroupNameSize] = {};
  Check(BEE_RedoAvailable(&available, name), "reading the redo stack");
  if (!available) return std::nullopt;
  return std::string(name);
}

void Project::StartGroup(const std::string& name) const {
  Enter();
  if (name.empty() || name.size() >= BEE_GroupNameSize)
    BadValue("an undo group's name must be 1 to " + std::to_string(BEE_GroupNameSize - 1) + " bytes");
  Check(BEE_StartGroup(name.c_str(), 0), "starting the undo group \"" + name + "\"");
}

void Project::EndGroup() const {
  Enter();
  Check(BEE_EndGroup(), "ending the undo group");
}

std::string Project::Dump() const {
  Enter();
  Handle text = nullptr;
  Check(BEEp_DumpProject(&text), "describing the project");
  std::string out;
  if (text) {
    HLock(text);
    out.assign(*text, strnlen(*text, static_cast<size_t>(GetHandleSize(text))));
    DisposeHandle(text);
  }
  return out;
}

void NewProject(uint64_t life) {
  Enter(life);
  Check(BEE_NewProject(), "making a new project");
  ++S().project;
}

void OpenProject(uint64_t life, const std::string& path) {
  Enter(life);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) Fail(-43, "cannot open \"" + path + "\": no such file");
  if (std::filesystem::is_directory(path, ec)) Fail(3, "cannot open \"" + path + "\": it is a folder");
  const std::string ext = std::filesystem::path(path).extension().string();
  if (ext == ".json" || ext == ".JSON") {
    Check(BEE_NewProject(), "making a new project");
    ++S().project;
    const std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    FILE* f = std::fopen(full.c_str(), "rb");
    if (!f) Fail(-43, "cannot read \"" + path + "\"");
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    BuildDescription(life, text, path, std::filesystem::path(full).parent_path().string());
    return;
  }
  FileRef file(path);
  Boolean32 converted = 0;
  Check(BEE_CmdOpenProject(file.spec, 0, &converted), "opening \"" + path + "\"");
  ++S().project;
}

// ---- Items --------------------------------------------------------------------------

py::object WrapItem(BEE_Item item, uint64_t life) {
  int16_t kind = 0;
  Check(BEE_GetItemKind(item, &kind), "reading an item");
  if (kind == BEE_KindComp) {
    Comp c = MakeComp(item, life);
    return py::cast(c);
  }
  return py::cast(MakeItem(item, life));
}

BEE_Item ItemArg(const py::object& o, uint64_t life, const char* what) {
  if (o.is_none() || !py::isinstance<Item>(o)) BadType(std::string(what) + " must be a tavelo Item");
  const Item& i = o.cast<const Item&>();
  Enter(i.life);
  if (i.life != life) Fail(3, std::string(what) + " belongs to another engine");
  return i.h;
}

Item MakeItem(BEE_Item h, uint64_t life) {
  Item i{h, life};
  Check(BEE_GetItemID(h, &i.id), "reading an item");
  return i;
}

Comp MakeComp(BEE_Item h, uint64_t life) {
  Comp c;
  c.h = h;
  c.life = life;
  Check(BEE_GetItemID(h, &c.id), "reading an item");
  return c;
}

void Item::Enter() const {
  tvpy::Enter(life);
  Boolean32 in = 0;
  Check(BEEp_IsItemInProject(h, &in), "finding the item");
  if (!in) Fail(3, "the item was removed from the project");
  // A freed item's address may hold another item by now: its ID tells.
  uint32_t now = 0;
  if (id && (BEE_GetItemID(h, &now) != 0 || now != id)) Fail(3, "the item was removed from the project");
}

std::string Item::Name() const {
  Enter();
  char name[32] = {};
  Check(BEE_GetItemName(h, name), "reading an item's name");
  return name;
}

void Item::SetName(const std::string& name) const {
  Enter();
  char n[32];
  CopyName(n, name, "an item's name");
  const std::string old = Name();
  Check(BEE_CmdRenameItem(h, n), "renaming \"" + old + "\"");
}

std::string Item::Kind() const {
  Enter();
  int16_t kind = 0;
  Check(BEE_GetItemKind(h, &kind), "reading an item");
  switch (kind) {
    case BEE_KindFolder: return "folder";
    case BEE_KindComp: return "comp";
    case BEE_KindRenderItem: return "render";
    case BEE_KindSolid: return "solid";
    case BEE_KindFootage: return "footage";
    default: return "other";
  }
}

uint32_t Item::Id() const {
  Enter();
  uint32_t id = 0;
  Check(BEE_GetItemID(h, &id), "reading an item's ID");
  return id;
}

int Item::Width() const {
  Enter();
  int32_t w = 0, hh = 0;
  Check(BEE_GetItemDimensions(h, &w, &hh), "reading an item's size");
  return w;
}

int Item::Height() const {
  Enter();
  int32_t w = 0, hh = 0;
  Check(BEE_GetItemDimensions(h, &w, &hh), "reading an item's size");
  return hh;
}

double Item::Duration() const {
  Enter();
  Time d{};
  Check(BEE_GetItemDuration(h, &d, nullptr), "reading an item's duration");
  return Seconds(d);
}

py::object Item::Parent() const {
  Enter();
  BEE_Item parent = nullptr, root = nullptr;
  Check(BEE_GetItemParent(h, &parent), "reading an item's folder");
  Check(BEE_QueryProject(&root), "reading the project");
  if (!parent || parent == root) return py::none();
  return WrapItem(parent, life);
}

py::object Item::ProxyPath() const {
  Enter();
  PIN_SeqSpecH seq = nullptr;
  Check(BEEp_GetItemProxy(h, &seq), "reading the proxy");
  if (!seq) return py::none();
  FILE_SpecH file = nullptr;
  Check(PIN_GetFile(seq, &file), "reading the proxy's file");
  char name[FILE_MaxPath] = {};
  if (file) Check(FILE_InqName(file, FILE_NameFullPath, name, sizeof name), "reading the proxy's file");
  return py::str(name);
}

void Item::SetProxy(const py::object& path, bool sequence) const {
  Enter();
  const std::string kind = Kind();
  if (kind != "footage" && kind != "comp")
    Fail(3, "only footage and compositions take a proxy (\"" + Name() + "\" is a " +
                (kind == "comp" ? std::string("composition") : kind) + ")");
  PIN_SeqSpecH seq = nullptr;
  if (!path.is_none()) {
    const std::string p = py::module_::import("os").attr("fspath")(path).cast<std::string>();
    std::error_code ec;
    if (!std::filesystem::exists(p, ec)) Fail(-43, "no proxy file \"" + p + "\"");
    if (std::filesystem::is_directory(p, ec)) Fail(3, "the proxy \"" + p + "\" is a folder, not a file");
    FileRef file(p);
    Check(PIN_NewSeqSpecFromFileOptions(file.spec, sequence ? PIN_Import_Sequence : 0, &seq), "reading \"" + p + "\"");
  }
  const StepGroup step("Set Proxy");
  const ErrorCode err = BEE_CmdSetProxy(h, seq);
  if (err && seq) PIN_DisposeSeqSpec(seq);
  Check(err, "setting the proxy");
  if (seq) Check(BEE_CmdProxyToggle(h, 1), "showing the proxy");
}

bool Item::ProxyOn() const {
  Enter();
  uint32_t flags = 0;
  Check(BEE_GetItemFlags(h, &flags), "reading the item");
  return (flags & BEE_ItemProxyOn) != 0;
}

void Item::SetProxyOn(bool on) const {
  Enter();
  Check(BEE_CmdProxyToggle(h, on), on ? "showing the proxy" : "hiding the proxy");
}

std::string Item::Repr() const {
  try {
    const std::string kind = Kind();
    return "<tavelo." + std::string(kind == "comp" ? "Comp" : "Item") + " \"" + Name() + "\" (" + kind + ", " +
           std::to_string(Width()) + " x " + std::to_string(Height()) + ")>";
  } catch (const EngineError&) {
    return "<tavelo.Item (gone)>";
  }
}

void Item::Remove() const {
  Enter();
  if (Kind() == "solid") Fail(3, "a solid goes with its layer: delete the layer (\"" + Name() + "\")");
  Check(BEE_CmdRemoveItem(h), "removing an item");
}

// ---- Compositions -------------------------------------------------------------------

double Comp::FrameRate() const {
  Enter();
  Time f{};
  Check(BEE_GetCompFrameDuration(h, &f), "reading the frame rate");
  return f.value > 0 ? static_cast<double>(f.scale) / f.value : 0.0;
}

int64_t Comp::FrameCount() const {
  Enter();
  Time f{}, d{};
  Check(BEE_GetCompFrameDuration(h, &f), "reading the frame rate");
  Check(BEE_GetItemDuration(h, &d, nullptr), "reading the duration");
  if (f.value <= 0 || f.scale == 0 || d.scale == 0) return 0;
  const __int128 num = static_cast<__int128>(d.value) * f.scale;
  const __int128 den = static_cast<__int128>(f.value) * d.scale;
  return num > 0 ? static_cast<int64_t>(num / den) : 0;
}

double Comp::FrameTime(int64_t frame) const {
  Enter();
  Time f{};
  Check(BEE_GetCompFrameDuration(h, &f), "reading the frame rate");
  return f.scale ? static_cast<double>(frame) * f.value / f.scale : 0.0;
}

uint32_t Comp::Background() const {
  Enter();
  uint32_t c = 0;
  Check(BEE_GetCompBackgroundColor(h, &c), "reading the background colour");
  return c;
}

void Comp::SetBackground(const py::object& colour) const {
  Enter();
  const uint32_t argb = ColourOf(colour);
  Check(BEE_CmdSetBackgroundColor(h, argb), "setting the background colour");
}

int Comp::Resolution() const {
  Enter();
  BEE_CompSettings s{};
  Check(BEE_GetCompSettings(h, &s), "reading the composition");
  return s.dsfH;
}

void Comp::SetResolution(int factor) const {
  Enter();
  if (factor < 1 || factor > 4) BadValue("resolution must be 1 (full), 2 (half), 3 (third) or 4 (quarter)");
  Check(BEE_CmdSetResolution(h, static_cast<uint16_t>(factor), static_cast<uint16_t>(factor)),
        "setting the resolution");
}

bool Comp::Switch(uint32_t bit) const {
  Enter();
  uint32_t sw = 0;
  Check(BEE_GetCompSwitches(h, &sw), "reading the composition's switches");
  return (sw & bit) != 0;
}

void Comp::SetSwitch(uint32_t bit, bool on) const {
  Enter();
  Check(BEE_CmdSetCompSwitch(h, bit, on), "switching the composition");
}

double Comp::PixelAspect() const {
  Enter();
  BEE_CompSettings s{};
  Check(BEE_GetCompSettings(h, &s), "reading the composition");
  return s.pixelAspect.den ? static_cast<double>(s.pixelAspect.num) / s.pixelAspect.den : 1.0;
}

void Comp::SetPixelAspect(double aspect) const {
  Enter();
  if (!(aspect >= 0.01 && aspect <= 100)) BadValue("pixel_aspect must be 0.01 to 100");
  BEE_CompSettings s{};
  Check(BEE_GetCompSettings(h, &s), "reading the composition");
  s.pixelAspect = tavelo::desc::PixelAspectRatioOf(aspect);
  Check(BEE_CmdSetCompSettings(h, &s), "setting the pixel aspect");
}

int Comp::NumLayers() const {
  Enter();
  int32_t n = 0;
  Check(BEE_GetCompNumLayers(h, &n), "counting the layers");
  return n;
}

Layer Comp::LayerAt(int index) const {
  const int n = NumLayers();
  if (index < 0) index += n;
  if (index < 0 || index >= n) throw py::index_error("layer index out of range");
  BEE_Layer layer = nullptr;
  Check(BEE_GetIndLayer(h, index, &layer), "reading layer " + std::to_string(index));
  return MakeLayer(layer, life);
}

std::vector<Layer> Comp::Layers() const {
  std::vector<Layer> out;
  const int n = NumLayers();
  for (int i = 0; i < n; ++i) out.push_back(LayerAt(i));
  return out;
}

Layer Comp::LayerNamed(const std::string& name) const {
  for (const Layer& l : Layers())
    if (l.Name() == name) return l;
  Fail(10, "the composition \"" + Name() + "\" has no layer named \"" + name + "\"");
}

Layer Comp::AddSolid(const std::string& name, const py::object& color, std::optional<int> width,
                     std::optional<int> height) const {
  Enter();
  BEE_SolidSettings s{};
  CopyName(s.name, name, "a solid's name");
  s.color = ColourOf(color);
  int32_t w = 0, hh = 0;
  Check(BEE_GetItemDimensions(h, &w, &hh), "reading the composition's size");
  s.width = Dimension(width.value_or(w), "width");
  s.height = Dimension(height.value_or(hh), "height");
  BEE_Layer layer = nullptr;
  Check(BEE_CmdNewSolidLayer(h, &s, &layer), "making the solid layer \"" + name + "\"");
  return MakeLayer(layer, life);
}

Layer Comp::AddLayer(const py::object& source) const {
  Enter();
  BEE_Item item = ItemArg(source, life, "source");
  Boolean32 valid = 0;
  Check(BEE_ValidSource(h, item, &valid), "checking the source");
  if (!valid) Fail(3, "that item cannot be a layer of this composition (it contains the composition)");
  BEE_Layer layer = nullptr;
  Check(BEE_CmdNewLayer(h, item, &layer), "making the layer");
  return MakeLayer(layer, life);
}

Comp Comp::Duplicate() const {
  Enter();
  BEE_Item copy = nullptr;
  Check(BEE_CmdDuplicateComp(h, &copy), "duplicating the composition");
  Comp c = MakeComp(copy, life);
  return c;
}

namespace {

// The layers a Python argument names (a Layer or an iterable of them), each
// of comp and each once, in comp's order (topmost first).
std::vector<BEE_Layer> LayersOf(const Comp& comp, const py::object& arg) {
  std::vector<py::object> given;
  if (py::isinstance<Layer>(arg)) {
    given.push_back(arg);
  } else if (!py::isinstance<py::str>(arg) && py::hasattr(arg, "__iter__")) {
    for (py::handle o : arg) given.push_back(py::reinterpret_borrow<py::object>(o));
  } else {
    BadType("layers must be a tavelo Layer or a list of them");
  }
  if (given.empty()) BadValue("no layer is given to pre-compose");
  std::vector<BEE_Layer> layers;
  for (const py::object& o : given) {
    if (!py::isinstance<Layer>(o)) BadType("layers must be a tavelo Layer or a list of them");
    const Layer& l = o.cast<const Layer&>();
    if (l.life != comp.life || !(l.GetComp() == comp))
      BadValue("layer \"" + l.Name() + "\" is not a layer of \"" + comp.Name() + "\"");
    if (std::find(layers.begin(), layers.end(), l.h) != layers.end())
      BadValue("layer \"" + l.Name() + "\" is given twice");
    layers.push_back(l.h);
  }
  return layers;
}

// Whether the layer's source can go into a composition of its own (what
// pre-composing without its attributes needs): a source with a picture
// that is not the layer's own solid.
bool SourceStandsAlone(BEE_Layer layer) {
  BEE_Item source = nullptr;
  if (BEE_GetLayerSource(layer, &source) || !source) return false;
  int16_t kind = 0;
  Check(BEE_GetItemKind(source, &kind), "reading the layer's source");
  if (kind == BEE_KindSolid) {
    BEE_Layer owner = nullptr;
    if (BEE_GetLayerFromSolid(source, &owner) == 0 && owner == layer) return false;
  }
  int32_t w = 0, h = 0;
  return BEE_GetItemDimensions(source, &w, &h) == 0 && w > 0 && h > 0;
}

}  // namespace

Comp Comp::Precompose(const py::object& layersArg, const std::optional<std::string>& name,
                      bool moveAttributes) const {
  Enter();
  const std::vector<BEE_Layer> layers = LayersOf(*this, layersArg);
  char n[32] = {};
  if (name) CopyName(n, *name, "the new composition's name");
  // What the engine would refuse is refused here, before the undo group
  // opens: a refusal inside it would leave a step that only selects.
  if (!moveAttributes) {
    if (layers.size() != 1)
      BadValue("move_attributes=False pre-composes one layer (" + std::to_string(layers.size()) + " are given)");
    if (!SourceStandsAlone(layers.front()))
      Fail(3, "the source of layer \"" + MakeLayer(layers.front(), life).Name() +
                  "\" cannot be pre-composed on its own");
  }
  BEE_Selection sel = nullptr;
  Check(BEE_NewSelection(&sel), "making a selection");
  ErrorCode err = 0;
  for (BEE_Layer l : layers)
    if (!err) err = BEE_SelectLayer(sel, l, 1, nullptr);
  if (err) {
    BEE_DisposeSelection(sel);
    Check(err, "selecting the layers to pre-compose");
  }
  // Selecting the layers and pre-composing them are one undo step.
  if ((err = BEE_StartGroup("Pre-compose", 0))) {
    BEE_DisposeSelection(sel);
    Check(err, "pre-composing");
  }
  BEE_Item made = nullptr;
  err = BEE_CmdSetCompSelection(h, sel);
  BEE_DisposeSelection(sel);
  if (!err) err = BEE_CmdCompify(h, name ? n : nullptr, moveAttributes ? 1 : 0, &made);
  BEE_EndGroup();
  Check(err, "pre-composing " + std::to_string(layers.size()) + " layer(s) of \"" + Name() + "\"");
  Comp c = MakeComp(made, life);
  return c;
}

}  // namespace tvpy
