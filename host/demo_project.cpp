// The project demo of the host: builds a small project through the engine's
// exported commands (a composition, two solid layers, eased keyframes on
// Position, Scale, Rotation and Opacity), prints the evaluated values over
// one second, then undoes and redoes groups and shows the values follow.
// U must be alive; the demo births and kills the project engine itself.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "BEE.h"
#include "Engine.h"
#include "TDB.h"

int RunProjectDemo();

namespace {

// printf into a string. The host never changes the C locale, so numbers
// always use '.'.
[[gnu::format(printf, 1, 2)]] std::string Text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string s(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(s.data(), s.size() + 1, format, again);
  va_end(again);
  return s;
}

struct Demo {
  std::string out;
  bool ok = true;
  BEE_Item comp = nullptr;
  BEE_Layer red = nullptr, blue = nullptr;

  void Line(const std::string& s) { out += s + "\n"; }

  bool Check(ErrorCode err, const char* what) {
    if (err == 0) return true;
    Line(Text("  %s failed (code %d)", what, err));
    ok = false;
    return false;
  }

  // Animates a layer's stream from one value at 0 s to another at 1 s (layer
  // time, user units), easing out of the first key and into the second: one
  // undo step named "Keyframe Change".
  bool Animate(BEE_Layer layer, int32_t index, const double* from, const double* to) {
    const Time start{0, 1}, end{1, 1};
    int16_t dimension = 0;
    if (!Check(BEE_GetStreamDescription(index, nullptr, nullptr, &dimension), "describing a stream")) return false;
    BEE_StreamValue a{}, b{};
    std::memcpy(a.values, from, sizeof(double) * static_cast<size_t>(dimension));
    std::memcpy(b.values, to, sizeof(double) * static_cast<size_t>(dimension));
    // No speed at either key, with handles reaching half-way.
    const double still[TDB_MaxDimension] = {0, 0, 0, 0};
    const double half[TDB_MaxDimension] = {0.5, 0.5, 0.5, 0.5};
    ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumKeyframeChange);
    if (err) return Check(err, "animating a stream");
    err = BEE_CmdSetStreamVary(layer, index, &start, 1);
    if (!err) err = BEE_CmdSetStreamFPV(layer, index, nullptr, &start, &a);
    if (!err) err = BEE_CmdSetStreamFPV(layer, index, nullptr, &end, &b);
    if (!err) err = BEE_CmdSetKeyInterps(layer, index, -1, TDB_InterpBezier, TDB_InterpBezier);
    for (int32_t k = 0; k < 2 && !err; ++k) err = BEE_CmdSetKeyEase(layer, index, k, still, half, still, half);
    BEE_EndGroup();
    return Check(err, "animating a stream");
  }

  bool Build() {
    BEE_CompSettings s{};
    std::strcpy(s.name, "Demo");
    s.duration = Time{2, 1};
    s.secondTime = Time{0, 600};
    s.width = 640;
    s.height = 360;
    s.frameRate = 30u << 16;
    s.pixelAspect = Ratio{1, 1};
    s.dsfH = s.dsfV = 1;
    if (!Check(BEE_CmdNewComp(nullptr, &s, &comp), "making the composition")) return false;
    BEE_SolidSettings blueSolid{};
    std::strcpy(blueSolid.name, "Blue Backdrop");
    blueSolid.color = 0xFF2040C0;
    blueSolid.width = 640;
    blueSolid.height = 360;
    if (!Check(BEE_CmdNewSolidLayer(comp, &blueSolid, &blue), "making the blue solid")) return false;
    BEE_SolidSettings redSolid{};
    std::strcpy(redSolid.name, "Red Square");
    redSolid.color = 0xFFE02020;
    redSolid.width = 120;
    redSolid.height = 120;
    if (!Check(BEE_CmdNewSolidLayer(comp, &redSolid, &red), "making the red solid")) return false;
    const double p0[2] = {100, 180}, p1[2] = {540, 180};
    const double s0[2] = {50, 50}, s1[2] = {150, 150};
    const double r0[1] = {0}, r1[1] = {360};
    const double o0[1] = {100}, o1[1] = {25};
    return Animate(red, BEE_StreamPosition, p0, p1) && Animate(red, BEE_StreamScale, s0, s1) &&
           Animate(red, BEE_StreamRotation, r0, r1) && Animate(red, BEE_StreamOpacity, o0, o1);
  }

  // The red layer's values every 3 frames over the first second.
  std::string Table() {
    std::string t = "    frame   time   position x   position y   scale   rotation   opacity\n";
    for (int32_t f = 0; f <= 30; f += 3) {
      Time at{f, 30};
      double pos[2] = {}, scale[2] = {}, rot = 0, opacity = 0;
      ErrorCode err = BEE_GetLayerStreamValueF(red, BEE_StreamPosition, at, pos);
      if (!err) err = BEE_GetLayerStreamValueF(red, BEE_StreamScale, at, scale);
      if (!err) err = BEE_GetLayerStreamValueF(red, BEE_StreamRotation, at, &rot);
      if (!err) err = BEE_GetLayerStreamValueF(red, BEE_StreamOpacity, at, &opacity);
      if (!Check(err, "evaluating the layer")) break;
      t += Text("    %5d  %5.2fs  %11.2f  %11.2f  %6.1f%%  %8.1f  %7.1f%%\n", f, f / 30.0, pos[0], pos[1],
                scale[0], rot, opacity);
    }
    return t;
  }

  std::string UndoState() {
    Boolean32 u = 0, r = 0;
    char un[BEE_GroupNameSize], rn[BEE_GroupNameSize];
    BEE_UndoAvailable(&u, un);
    BEE_RedoAvailable(&r, rn);
    return Text("  undo: %s   redo: %s", u ? un : "(nothing)", r ? rn : "(nothing)");
  }

  void Expect(bool cond, const char* what) {
    Line(Text("  check: %s ... %s", what, cond ? "yes" : "NO"));
    if (!cond) ok = false;
  }

  void Run() {
    Line("Project demo: a composition built through undoable commands");
    Line("");
    if (!Build()) return;
    int32_t layers = 0;
    BEE_GetCompNumLayers(comp, &layers);
    Line(Text("Built \"Demo\" (640 x 360, 30 fps, 2 s) with %d solid layers; the red square", layers));
    Line("eases from left to right while it grows, turns once and fades:");
    std::string original = Table();
    out += original;
    Line(UndoState());
    Line("");

    Line("One group, \"Make It Snappier\": the red layer plays twice as fast and");
    Line("turns twice:");
    ErrorCode err = BEE_StartGroup("Make It Snappier", 0);
    if (!err) err = BEE_CmdSetLayerStretch(red, Ratio{1, 2});
    const double r0[1] = {0}, r2[1] = {720};
    bool animated = err == 0 && Animate(red, BEE_StreamRotation, r0, r2);
    BEE_EndGroup();
    if (!Check(err, "changing the layer") || !animated) return;
    std::string snappy = Table();
    out += snappy;
    Line(UndoState());
    Line("");

    Line("Undo:");
    if (!Check(BEE_Undo(), "undo")) return;
    std::string undone = Table();
    out += undone;
    Line(UndoState());
    Expect(undone == original, "the values are the original ones again");
    Line("");

    Line("Redo:");
    if (!Check(BEE_Redo(), "redo")) return;
    std::string redone = Table();
    out += redone;
    Line(UndoState());
    Expect(redone == snappy, "the values are the snappier ones again");
    Line("");

    Line("Undo twice more (the group, then the opacity keyframes):");
    if (!Check(BEE_Undo(), "undo") || !Check(BEE_Undo(), "undo")) return;
    std::string noFade = Table();
    out += noFade;
    Line(UndoState());
    double opacity = 0;
    BEE_GetLayerStreamValueF(red, BEE_StreamOpacity, Time{1, 1}, &opacity);
    Expect(opacity == 100.0, "the square no longer fades");
    Line("");

    Line("Redo both:");
    if (!Check(BEE_Redo(), "redo") || !Check(BEE_Redo(), "redo")) return;
    Expect(Table() == snappy, "the values are the snappier ones again");
    Boolean32 dirty = 0;
    BEE_GetProjectDirty(&dirty);
    Expect(dirty != 0, "the project is marked changed");
  }
};

}  // namespace

// Runs the demo, printing to standard output; 0 when every step worked and
// the values followed undo and redo.
int RunProjectDemo() {
  const int32_t project = BEE_PackageNumber;
  if (ErrorCode err = TV_BirthPackages("tavelo", &project, 1)) {
    std::printf("tavelo: starting the project engine failed (code %d)\n", err);
    return 1;
  }
  Demo demo;
  demo.Run();
  std::fputs(demo.out.c_str(), stdout);
  BEE_Death();
  return demo.ok ? 0 : 1;
}
