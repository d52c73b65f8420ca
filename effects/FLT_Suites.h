/* FLT_Suites: the suites the effect package adds to the suite system
 * (FLT_InstallStandardSuites), all version 1.1. An effect acquires them
 * through the basic suite of its input record; every function takes the
 * effect reference of the call it is made in and returns 0 or an error it
 * has reported (516 for a bad argument, 512 for a reference that is not
 * the current call's).
 *
 * - "PF Param Utils Suite": the parameters of the call's Sequence: their
 *   interface (name, UI flags and size) and their keyframes.
 * - "PF Path Data Suite": reading a path (a closed or open run of cubic
 *   Bezier segments): its vertices, segment lengths and points along them.
 * - "PF Path Query Suite": the mask paths of the effect's layer. The layer's
 *   masks belong to the project, which does not hand them to effects yet:
 *   these functions answer 5 and say so.
 */
#pragma once

#include "PF_Effect.h"

typedef struct PF_PathVertex {
  double x, y;          /* the vertex */
  double inX, inY;      /* its incoming tangent handle (absolute) */
  double outX, outY;    /* its outgoing tangent handle (absolute) */
} PF_PathVertex;

/* A path: count vertices; a closed path has a segment from the last back
 * to the first. */
typedef struct PF_Path {
  int32_t closed;
  int32_t count;
  const PF_PathVertex* vertices;
} PF_Path;

typedef struct PF_ParamUtilsSuite {
  /* Copies the name, UI flags and UI size of def into parameter index of the
   * call's Sequence; def must be of the parameter's type. */
  PF_Result (*updateParamUI)(PF_ProgPtr ref, int32_t index, const PF_ParamDef* def);
  PF_Result (*getKeyframeCount)(PF_ProgPtr ref, int32_t index, int32_t* count);
  /* The key's time (both time pointers or neither) and its value in param. */
  PF_Result (*checkoutKeyframe)(PF_ProgPtr ref, int32_t index, int32_t keyIndex, int32_t* keyTime,
                                uint32_t* keyScale, PF_ParamDef* param);
  PF_Result (*checkinKeyframe)(PF_ProgPtr ref, PF_ParamDef* param);
  PF_Result (*keyIndexToTime)(PF_ProgPtr ref, int32_t index, int32_t keyIndex, int32_t* keyTime,
                              uint32_t* keyScale);
  /* The key before (direction -1), at (0) or after (1) a time; not finding
   * one is not a failure (*found 0). keyTime and keyScale: both or neither. */
  PF_Result (*findKeyframeTime)(PF_ProgPtr ref, int32_t index, int32_t time, uint32_t scale, int32_t direction,
                                int32_t* found, int32_t* keyIndex, int32_t* keyTime, uint32_t* keyScale);
  /* Not offered yet: answers 5 ("IsIdenticalCheckout not yet implemented"). */
  PF_Result (*isIdenticalCheckout)(PF_ProgPtr ref, int32_t index, int32_t time1, int32_t time2, uint32_t scale,
                                   int32_t* identical);
} PF_ParamUtilsSuite;

typedef struct PF_PathDataSuite {
  PF_Result (*isOpen)(PF_ProgPtr ref, const PF_Path* path, int32_t* open);
  PF_Result (*numSegments)(PF_ProgPtr ref, const PF_Path* path, int32_t* count);
  PF_Result (*vertex)(PF_ProgPtr ref, const PF_Path* path, int32_t index, PF_PathVertex* vertex);
  /* The length of segment index (vertex index to the next one), measured
   * over 64 chords. */
  PF_Result (*segmentLength)(PF_ProgPtr ref, const PF_Path* path, int32_t index, double* length);
  /* The point at parameter t (0 to 1, clamped) of segment index. */
  PF_Result (*pointOnSegment)(PF_ProgPtr ref, const PF_Path* path, int32_t index, double t, double* x, double* y);
} PF_PathDataSuite;

typedef struct PF_PathQuerySuite {
  PF_Result (*numPaths)(PF_ProgPtr ref, int32_t* count);
  PF_Result (*pathInfo)(PF_ProgPtr ref, int32_t index, int32_t* pathId);
  PF_Result (*checkoutPath)(PF_ProgPtr ref, int32_t pathId, int32_t time, uint32_t scale, PF_Path* path);
  PF_Result (*checkinPath)(PF_ProgPtr ref, int32_t pathId, PF_Path* path);
} PF_PathQuerySuite;
