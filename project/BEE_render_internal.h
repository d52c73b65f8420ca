// The renderer's pieces shared by its files.
#pragma once

#include "BEE.h"

namespace tv::bee {

// A 32-bit World the renderer made, disposed with it unless taken.
struct TempWorld {
  BM_World w = nullptr;
  TempWorld() = default;
  TempWorld(const TempWorld&) = delete;
  TempWorld& operator=(const TempWorld&) = delete;
  ~TempWorld() { Release(); }
  // A cleared World of the size (3, reported, for a side outside 1..30000).
  ErrorCode Make(int32_t width, int32_t height);
  void Release();
  BM_World Take();
};

// Source pixels to composition pixels at a composition time.
ErrorCode LayerMatrix(BEE_Layer layer, Time compTime, FloatMatrix* m);

// One frame's render: it counts the nesting of compositions.
class Renderer {
 public:
  ErrorCode DrawItem(BEE_Item item, const BEE_RenderRequest& rq, BM_World dst);
  ErrorCode Composite(BEE_Item comp, const BEE_RenderRequest& rq, BM_World dst);
  ErrorCode RenderLayer(BEE_Layer layer, const BEE_RenderRequest& rq, BM_World dst, BEE_Layer matte, bool asMatte);
  ErrorCode SourceFrame(BEE_Layer layer, const BEE_RenderRequest& rq, Time layerTime, Time layerSpan,
                        TempWorld& out);

 private:
  bool NeedsWholeFrames(BEE_Layer layer, Time compTime, int32_t depth);
  ErrorCode Wireframe(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t fullW, int32_t fullH, BM_World dst);
  int32_t depth_ = 0;
};

}  // namespace tv::bee
