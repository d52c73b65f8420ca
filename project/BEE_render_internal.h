// The renderer's pieces shared by its files.
#pragma once

#include <vector>

#include "BEE.h"
#include "PF.h"

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

// A World's pixels locked for the life of the hold, wrapped for the pixel routines.
class Locked {
 public:
  explicit Locked(BM_World w);
  ~Locked();
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  ErrorCode error() const { return err_; }
  PFWorld& pf() { return pf_; }

 private:
  BM_World w_;
  bool locked_ = false;
  ErrorCode err_ = 0;
  PFWorld pf_{};
};

// The opaque colour an item's frames are matted on: the one given, else a
// composition's background colour, else black.
uint32_t MatteBackground(BEE_Item item, const uint32_t* background);
// Composites src over dst at (left, top), normal mode at full opacity.
ErrorCode Over(BM_World src, BM_World dst, int32_t left, int32_t top);
// dst := the opaque colour, then src (same size) over it: a frame for an
// output that keeps no alpha.
ErrorCode OverBackground(BM_World src, uint32_t background, BM_World dst);

// The size of a 32-bit World (3, reported, for another depth).
ErrorCode WorldSize(BM_World w, int32_t* width, int32_t* height);
// The size an item's frame is drawn at: a composition's downsampled size
// (unless it shows a proxy), else its full size.
ErrorCode ItemSize(BEE_Item item, int32_t* w, int32_t* h);
// The source's full size as a layer sees it: the item's own, also while it
// shows a proxy of another size (drawn scaled to it).
ErrorCode FullSize(BEE_Item item, int32_t* w, int32_t* h);
// The request for a layer's source at the composition time of rq: *active
// 0 (and nothing else set) for an inactive layer or one without a source.
ErrorCode SourceRequest(BEE_Layer layer, const BEE_RenderRequest& rq, Boolean32* active, BEE_RenderRequest* srq);
bool IsZero(Time t);

// Source pixels to composition pixels at a composition time.
ErrorCode LayerMatrix(BEE_Layer layer, Time compTime, FloatMatrix* m);

// A layer parameter's frame for the effect now running (ref: the layer's
// ID; time, step and scale in the effect's layer time): data null for no
// layer. Each is held until its checkin, or until the effect call ends.
ErrorCode CheckoutEffectLayerFrame(uint32_t ref, int32_t time, int32_t step, uint32_t scale, PFWorld* world);
ErrorCode CheckinEffectLayerFrame(uint32_t ref);

// Back to one row thread per processor (the engine's death).
void ResetRenderThreads();

// The row threads of the pixel routines for the life of a render (the
// engine's setting), restored afterwards.
class RowThreads {
 public:
  RowThreads();
  ~RowThreads();
  RowThreads(const RowThreads&) = delete;
  RowThreads& operator=(const RowThreads&) = delete;

 private:
  int32_t saved_;
};

// One frame's render: it counts the nesting of compositions.
class Renderer {
 public:
  ErrorCode DrawItem(BEE_Item item, const BEE_RenderRequest& rq, BM_World dst);
  // Composites comp's layers into dst (cleared first for the field when asked).
  ErrorCode Composite(BEE_Item comp, const BEE_RenderRequest& rq, BM_World dst, bool clear = true);
  ErrorCode RenderLayer(BEE_Layer layer, const BEE_RenderRequest& rq, BM_World dst, BEE_Layer matte, bool asMatte);
  ErrorCode SourceFrame(BEE_Layer layer, const BEE_RenderRequest& rq, Time layerTime, Time layerSpan,
                        TempWorld& out);
  // What an effect's layer parameter reads of target at a composition time:
  // its source with its masks and effects, in its own pixels.
  ErrorCode EffectLayerFrame(BEE_Layer target, const BEE_RenderRequest& rq, Time compTime, Time compSpan,
                             TempWorld& out);

 private:
  bool NeedsWholeFrames(BEE_Layer layer, Time compTime, int32_t depth);
  ErrorCode Flattened(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t fullW, int32_t fullH, BM_World dst);
  // A layer whose source draws at its transformed size: the drawn part and
  // the matrices from its pixels to the destination's (no World when the
  // part would be too large: the caller draws the source whole).
  ErrorCode Rasterized(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t dw, int32_t dh, int32_t fullW,
                       int32_t fullH, TempWorld& frame, std::vector<FloatMatrix>& matrices);
  // Inside a flattened nested composition: its pixels to the destination's.
  const FloatMatrix* Post() const { return post_.empty() ? nullptr : &post_[0]; }
  std::vector<FloatMatrix> post_;
  RowThreads threads_;
  ErrorCode Wireframe(BEE_Layer layer, const BEE_RenderRequest& rq, int32_t fullW, int32_t fullH, BM_World dst);
  int32_t depth_ = 0;
};

}  // namespace tv::bee
