// Text layers of a description: a transparent layer of the composition's
// size carrying the Text effect, whose anchor (the first baseline, at the
// alignment edge) sits at the layer's centre, so the layer's position places
// the text. Every numeric key takes keyframes like any property.
#include <cstring>

#include "FLT.h"
#include "desc_build.h"
#include "session.h"

namespace tavelo::desc {
namespace {

// A layer name from the text: its first line, cut to the 31 bytes a name
// holds (never inside a UTF-8 sequence).
std::string NameFrom(const std::string& text) {
  std::string s = text.substr(0, text.find_first_of("\r\n"));
  if (s.size() > 31) {
    size_t n = 31;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
  }
  return s.find_first_not_of(' ') == std::string::npos ? "Text" : s;
}

}  // namespace

BEE_Layer AddTextLayer(BEE_Item comp, const Node& layer, const Node& t, const std::function<void(BEE_Layer)>& place) {
  t.Only({"text", "font", "size", "color", "strokeColor", "strokeWidth", "tracking", "leading", "align",
          "direction", "offset", "charactersShown", "opacity"});
  const std::string text = t.Need("text").String();
  int16_t cls = 0;
  Boolean32 found = 0;
  if (FLTp_FindClass(FLT_MatchText, &cls, &found) != 0 || !found) t.Error("the Text effect is not installed");
  BEE_SolidSettings s{};
  const std::string name = layer.Get("name") ? layer.Need("name").Name() : NameFrom(text);
  std::strncpy(s.name, name.c_str(), sizeof s.name - 1);
  s.color = 0;  // transparent
  int32_t w = 0, h = 0;
  BEE_GetItemDimensions(comp, &w, &h);
  s.width = static_cast<uint16_t>(w);
  s.height = static_cast<uint16_t>(h);
  BEE_Layer l = nullptr;
  Check(BEE_CmdNewSolidLayer(comp, &s, &l), t, "making the text layer");
  if (place) place(l);
  int32_t effect = 0;
  Check(BEE_CmdApplyEffect(l, cls, &effect), t, "applying the Text effect");
  Check(BEE_CmdSetEffectParamText(l, effect, FLT_TextParam_Text, text.data(), static_cast<int32_t>(text.size())),
        t.Need("text"), "setting the text");
  if (auto f = t.Get("font")) {
    const std::string font = f->String();
    Check(BEE_CmdSetEffectParamText(l, effect, FLT_TextParam_Font, font.data(), static_cast<int32_t>(font.size())),
          *f, "setting the font");
  }
  auto stream = [effect](int32_t param) { return BEE_StreamFirstEffect + 128 * effect + param - 1; };
  auto choice = [&](const char* key, int32_t param, std::initializer_list<const char*> words,
                    std::initializer_list<int32_t> values) {
    auto n = t.Get(key);
    if (!n) return;
    const int32_t i = n->Choice(words);
    const Json number = *(values.begin() + i);
    SetProperty(l, stream(param), Node{&number, n->path, n->src, n->tokens}, false);
  };
  choice("align", FLT_TextParam_Alignment, {"left", "centre", "center", "right"}, {1, 2, 2, 3});
  choice("direction", FLT_TextParam_Direction, {"auto", "ltr", "rtl"}, {1, 2, 3});
  const struct {
    const char* key;
    int32_t param;
  } numbers[] = {{"size", FLT_TextParam_Size},
                 {"color", FLT_TextParam_FillColour},
                 {"strokeColor", FLT_TextParam_StrokeColour},
                 {"strokeWidth", FLT_TextParam_StrokeWidth},
                 {"tracking", FLT_TextParam_Tracking},
                 {"leading", FLT_TextParam_Leading},
                 {"offset", FLT_TextParam_Offset},
                 {"charactersShown", FLT_TextParam_CharactersShown},
                 {"opacity", FLT_TextParam_Opacity}};
  for (const auto& p : numbers)
    if (auto v = t.Get(p.key)) SetProperty(l, stream(p.param), *v, false);
  return l;
}

}  // namespace tavelo::desc
