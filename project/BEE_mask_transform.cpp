// Transforming a mask: every shape of its shape stream (its constant shape,
// or every keyframe's) moved through a matrix in layer pixels, as one undo
// step named by the transform (a task record, command 60).
#include <cmath>
#include <cstring>

#include "BEE_cmd_internal.h"
#include "M.h"
#include "OM.h"

namespace tv::bee {

namespace {

// The task block: the task's function and the transform's name first, as
// every task block has them, then the mask and the stream to put in.
struct MaskTransformTask {
  BEE_TaskBlock head;
  BEE_Layer layer;
  int32_t index;      // the mask's shape stream index
  TDB_Stream stream;  // owned until it is the mask's
};

void DisposeTask(BEE_CmdRec* rec) {
  auto* task = reinterpret_cast<MaskTransformTask*>(rec->param1);
  if (task) {
    if (task->stream) TDB_DisposeStream(task->stream);
    DisposePtr(reinterpret_cast<Ptr>(task));
  }
  rec->param1 = 0;
}

// Puts the task's stream in as the mask's shape; the inverse puts the old
// one back (a task record of the same name).
ErrorCode SwapShape(BEE_CmdRec* rec, BEE_CmdRec* inv, const BEE_CmdRec*, uint8_t*) {
  auto* task = reinterpret_cast<MaskTransformTask*>(rec->param1);
  if (!task || !task->stream) return kErrBadParam;
  if (ErrorCode err = CheckLayer(task->layer)) return err;
  TDB_Stream old = nullptr;
  if (ErrorCode err = MaskStream(task->layer, task->index, &old)) return err;
  if (Fault f = CheckStream(task->layer, task->index, task->stream)) return Refuse(BEE_SiteStream, f);
  const MaskTransformTask back{task->head, task->layer, task->index, old};
  MaskTransformTask* block = nullptr;
  if (ErrorCode err = NewCopy(&back, 1, &block)) return err;
  SetMaskStream(task->layer, task->index, task->stream);
  task->stream = nullptr;  // the mask's now
  TouchLayer(task->layer);
  inv->flags |= BEE_RecTask;
  inv->param1 = reinterpret_cast<intptr_t>(block);
  inv->param2 = 0;
  inv->operation = &OpTask;
  inv->dispose = &DisposeTask;
  return 0;
}

// The shape moved through the matrix: a rectangle or an oval becomes the
// path it stands for; every vertex and handle is transformed.
ErrorCode TransformShape(OM_Shape shape, const FloatMatrix& m) {
  int32_t type = 0, count = 0;
  uint32_t flags = 0;
  if (ErrorCode err = OM_GetShapeInfo(shape, &type, &flags, nullptr)) return err;
  if (type != OM_TypePath)
    if (ErrorCode err = OM_SetShapeType(OM_TypePath, shape)) return err;
  if (ErrorCode err = OM_GetShapeInfo(shape, nullptr, nullptr, &count)) return err;
  for (int32_t v = 0; v < count; v += 3) {
    FixedPoint p[3]{};
    if (ErrorCode err = OM_ShapeGetBezPoints(shape, v, &p[0], &p[1], &p[2])) return err;
    const FixedPoint was = p[0];
    if (ErrorCode err = M_TransformFixPoints(&m, 3, p)) return err;
    const int64_t dh = int64_t{p[0].h} - was.h, dv = int64_t{p[0].v} - was.v;
    if (dh < INT32_MIN || dh > INT32_MAX || dv < INT32_MIN || dv > INT32_MAX)
      return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextBadArgument, {"BEE_CmdMaskTransform"});
    if (ErrorCode err = OM_ShapeMoveBezVertex(shape, v, static_cast<Fixed>(dh), static_cast<Fixed>(dv))) return err;
    if (ErrorCode err = OM_ShapeMoveBezTangents(shape, v, &p[1], &p[2])) return err;
  }
  return OM_RecalcBounds(shape);
}

// A copy of the shape stream with every shape transformed.
ErrorCode TransformedStream(TDB_Stream s, const FloatMatrix& m, TDB_Stream* out) {
  *out = nullptr;
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(s, &info)) return err;
  TDB_Stream copy = nullptr;
  if (ErrorCode err = TDB_DuplicateStream(s, &copy)) return err;
  const bool constant = (info.flags & TDB_StreamConstant) != 0;
  const int32_t keys = constant ? 1 : info.keyCount;
  ErrorCode err = 0;
  for (int32_t k = 0; k < keys && !err; ++k) {
    Time at{0, info.timeScale};
    int8_t in = TDB_InterpLinear, outInterp = TDB_InterpLinear;
    if (!constant) err = TDB_IndexToTime(s, k, &at);
    if (!err && !constant) err = TDB_GetKeyInterps(s, k, &in, &outInterp);
    OM_Shape shape = nullptr;
    if (!err) err = OM_GetShape(s, &at, 0, &shape);
    if (!err) err = TransformShape(shape, m);
    if (!err) err = OM_InsertKeyShape(copy, constant ? nullptr : &at, 0, 1, shape, in, outInterp);
    if (shape) OM_DisposeShape(shape);
  }
  if (err) {
    TDB_DisposeStream(copy);
    return err;
  }
  *out = copy;
  return 0;
}

}  // namespace

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdMaskTransform(BEE_Layer layer, int32_t mask, const FloatMatrix* matrix, const char* name) try {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!matrix) return kReport.BadParam(kSiteArgument, {"BEE_CmdMaskTransform"});
  for (double v : matrix->m)
    if (!std::isfinite(v)) return kReport.BadParam(kSiteArgument, {"BEE_CmdMaskTransform"});
  int32_t masks = 0;
  if (ErrorCode err = BEE_GetLayerNumMasks(layer, &masks)) return err;
  if (mask < 0 || mask >= masks)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {mask});
  const int32_t index = BEE_StreamFirstMask + 3 * mask + BEE_MaskStreamShape;
  TDB_Stream shapes = nullptr;
  if (ErrorCode err = MaskStream(layer, index, &shapes)) return err;
  MaskTransformTask task{{&SwapShape, {}}, layer, index, nullptr};
  fmt::CopyTo(std::span<char>(task.head.name), name && *name ? std::string_view(name)
                                                             : std::string_view(kReport.Text(kTextMaskTransform)));
  if (ErrorCode err = TransformedStream(shapes, *matrix, &task.stream)) return err;
  // A task record with a name is an undo step of its own, under that name.
  intptr_t params[2] = {reinterpret_cast<intptr_t>(&task), 0};
  const ErrorCode err = BEE_DoCommand(BEE_CmdNumTask, params);
  if (task.stream) TDB_DisposeStream(task.stream);  // not taken: the command failed
  return err;
} TV_CATCH(BEE_PackageNumber)
