/* Builds a small project through the engine's commands (a composition, a
 * solid, keyframes in one undo group), renders one frame into a buffer of
 * its own and writes it as a binary PPM image.
 *
 *   render_frame [OUT.ppm]        (default frame.ppm)
 *
 * Prints the colour of the pixel under the square and the undo step it
 * made. Exit 0 done, 1 failed. */
#include <stdint.h>
#include <stdlib.h>

#include "TaveloVersion.h"
#include "engine_life.h"

enum { kWidth = 320, kHeight = 180 };

static Time Seconds(int32_t tenths) { return (Time){tenths * 60, 600}; }

/* The composition's frame at time into rgba (kWidth x kHeight x 4, red,
 * green, blue, alpha): the engine's frame is checked out of its cache,
 * copied, and checked in again. */
static ErrorCode RenderInto(BEE_Item comp, Time time, uint8_t* rgba) {
  BEE_RenderRequest request;
  memset(&request, 0, sizeof request);
  request.time = time;
  request.span = (Time){25, 600}; /* one frame at 24 a second */
  request.layerCount = -1;        /* every layer */
  MC_Receipt receipt = NULL;
  ErrorCode err = BEE_RenderCompFrameCheckout(comp, &request, &receipt);
  if (err) return err;
  BM_World world = NULL;
  int32_t width = 0, height = 0, depth = 0, rowBytes = 0;
  Boolean32 purged = 0;
  err = BEE_GetReceiptWorld(receipt, &world);
  if (!err) err = BM_GetWorldInfo(world, &width, &height, &depth, &rowBytes);
  if (!err && (width != kWidth || height != kHeight || depth != 32)) err = 3;
  if (!err) err = BM_LockPixels(0, world, &purged);
  if (!err) {
    /* Worlds hold straight alpha, red, green, blue bytes per pixel. */
    const uint8_t* base = (const uint8_t*)BMp_GetPixBaseAddr(world);
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* src = base + (size_t)y * (size_t)rowBytes;
      uint8_t* dst = rgba + (size_t)y * kWidth * 4;
      for (int32_t x = 0; x < width; ++x, src += 4, dst += 4) {
        dst[0] = src[1];
        dst[1] = src[2];
        dst[2] = src[3];
        dst[3] = src[0];
      }
    }
    BM_UnlockPixels(world);
  }
  BEE_RenderCompFrameCheckin(receipt);
  return err;
}

static int WritePPM(const char* path, const uint8_t* rgba) {
  FILE* f = fopen(path, "wb");
  if (!f) return 1;
  fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
  for (size_t i = 0; i < (size_t)kWidth * kHeight; ++i) fwrite(rgba + 4 * i, 1, 3, f);
  return fclose(f) != 0;
}

int main(int argc, char** argv) {
  const char* out = argc > 1 ? argv[1] : "frame.ppm";
  printf("Tavelo %s\n", TAVELO_VERSION);
  ErrorCode err = EngineStart("render_frame", NULL);
  if (err) return Failed("starting the engine", err);
  int status = 1;
  uint8_t* rgba = malloc((size_t)kWidth * kHeight * 4);

  /* A composition of 2 seconds, 320 x 180 at 24 frames a second. */
  BEE_CompSettings settings;
  memset(&settings, 0, sizeof settings);
  strcpy(settings.name, "Main");
  settings.width = kWidth;
  settings.height = kHeight;
  settings.frameRate = 24u << 16;
  settings.duration = Seconds(20);
  settings.secondTime = Seconds(0); /* where the timeline starts counting */
  settings.pixelAspect = (Ratio){1, 1};
  settings.dsfH = settings.dsfV = 1;
  BEE_Item comp = NULL;
  BEE_Layer square = NULL;
  BEE_SolidSettings solid;
  memset(&solid, 0, sizeof solid);
  strcpy(solid.name, "Square");
  solid.color = 0xFFFF8000u; /* opaque orange, 0xAARRGGBB */
  solid.width = solid.height = 40;
  if (!rgba) goto done;
  if ((err = BEE_NewProject())) { Failed("making a project", err); goto done; }
  if ((err = BEE_CmdNewComp(NULL, &settings, &comp))) { Failed("making the composition", err); goto done; }
  if ((err = BEE_CmdSetBackgroundColor(comp, 0xFF203040u))) { Failed("setting the background", err); goto done; }
  if ((err = BEE_CmdNewSolidLayer(comp, &solid, &square))) { Failed("making the solid", err); goto done; }

  /* The square moves from the left to the right in the first second: the
   * position animated, a key at 0 and at 1 second, one undo step. */
  {
    const Time start = Seconds(0), end = Seconds(10);
    BEE_StreamValue left, right;
    memset(&left, 0, sizeof left);
    memset(&right, 0, sizeof right);
    left.count = right.count = 2;
    left.values[0] = 40, left.values[1] = 90;
    right.values[0] = 280, right.values[1] = 90;
    BEE_StartGroup("Move the square", 0);
    err = BEE_CmdSetStreamVary(square, BEE_StreamPosition, &start, 1);
    if (!err) err = BEE_CmdSetStreamFPV(square, BEE_StreamPosition, &start, NULL, &left);
    if (!err) err = BEE_CmdSetStreamFPV(square, BEE_StreamPosition, &end, NULL, &right);
    BEE_EndGroup();
    if (err) { Failed("animating the square", err); goto done; }
  }
  Boolean32 canUndo = 0;
  char undoName[64] = "";
  BEE_UndoAvailable(&canUndo, undoName);
  printf("undo: \"%s\"\n", canUndo ? undoName : "");

  /* Half way, the square's centre is at (160, 90). */
  if ((err = RenderInto(comp, Seconds(5), rgba))) { Failed("rendering the frame", err); goto done; }
  const uint8_t* p = rgba + ((size_t)90 * kWidth + 160) * 4;
  printf("pixel (160, 90): %d %d %d %d\n", p[0], p[1], p[2], p[3]);
  if (WritePPM(out, rgba)) {
    fprintf(stderr, "cannot write \"%s\"\n", out);
    goto done;
  }
  printf("wrote %s\n", out);
  status = 0;
done:
  free(rgba);
  EngineStop();
  return status;
}
