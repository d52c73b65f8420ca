/* Opens a project file and renders a composition to an H.264 movie with
 * sound, printing progress; Ctrl-C stops the render, and the unfinished
 * movie is removed (a half movie is of no use to anyone).
 *
 *   render_movie PROJECT.tvp COMP OUT.mp4
 *
 * Exit 0 done, 1 failed, 130 stopped by Ctrl-C. */
#define _POSIX_C_SOURCE 200809L /* getcwd */
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "engine_life.h"

static volatile sig_atomic_t gStop = 0;

static void OnInterrupt(int signal) {
  (void)signal;
  gStop = 1;
}

/* The engine calls the host back while it works: progress polls inside a
 * frame, and the movie's status. A non-zero answer stops the render. */
static ErrorCode HostCallback(intptr_t refcon, int32_t selector, void* data) {
  (void)refcon;
  if (selector == BEE_SelMovieStatus && data) {
    const BEE_MovieStatus* s = (const BEE_MovieStatus*)data;
    if (s->status == BEE_MovieFrameDone) fprintf(stderr, "\rframe %d of %d", s->framesDone, s->framesTotal);
    if (s->status == BEE_MovieEnded) fprintf(stderr, "\n");
  }
  if (selector == BEE_SelProgress || selector == BEE_SelMovieStatus) return gStop ? 1 : 0;
  return 0;
}

static uint32_t Four(const char* c) {
  return ((uint32_t)(uint8_t)c[0] << 24) | ((uint32_t)(uint8_t)c[1] << 16) | ((uint32_t)(uint8_t)c[2] << 8) |
         (uint8_t)c[3];
}

/* A file reference of the engine names an absolute path. */
static ErrorCode NewFile(const char* path, FILE_SpecH* spec) {
  char full[4096] = "";
  if (path[0] != '/' && !getcwd(full, sizeof full)) return 3;
  if (strlen(full) + 1 + strlen(path) >= sizeof full) return 3;
  if (path[0] != '/') strcat(full, "/");
  strcat(full, path);
  return FILE_New(full, FILE_LocFullPath, spec);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: render_movie PROJECT.tvp COMP OUT.mp4\n");
    return 2;
  }
  signal(SIGINT, OnInterrupt);
  ErrorCode err = EngineStart("render_movie", HostCallback);
  if (err) return Failed("starting the engine", err);
  int status = 1;
  FILE_SpecH file = NULL;
  PIN_OutputSpecH output = NULL;
  BEE_Item comp = NULL;
  BEE_CompSettings cs;
  PIN_OutputInfo info;
  int32_t width = 0, height = 0;
  Time duration = {0, 600};

  if ((err = NewFile(argv[1], &file)) || (err = BEE_CmdOpenProject(file, 0, NULL))) {
    Failed("opening the project", err);
    goto done;
  }
  FILE_Dispose(file);
  file = NULL;
  BEE_FindItem(NULL, argv[2], BEE_KindComp, &comp);
  if (!comp) {
    fprintf(stderr, "the project has no composition named \"%s\"\n", argv[2]);
    goto done;
  }
  if ((err = BEE_GetCompSettings(comp, &cs)) || (err = BEE_GetCompDimensionsDSF(comp, &width, &height, NULL)) ||
      (err = BEE_GetItemDuration(comp, &duration, NULL))) {
    Failed("reading the composition", err);
    goto done;
  }

  /* The output: the movie module ("MooV"), H.264 at the composition's frame
   * rate, 48 kHz stereo 16-bit sound. The OutputSpec is ours to dispose. */
  if ((err = PIN_NewOutputSpec(Four("MooV"), width, height, &output)) || (err = NewFile(argv[3], &file)) ||
      (err = PIN_SetOutputFile(output, file))) {
    Failed("making the output", err);
    goto done;
  }
  {
    const int32_t words[][2] = {{1, (int32_t)Four("avc1")}, {3, (int32_t)cs.frameRate}, {4, 48000}, {5, 2}};
    for (size_t i = 0; !err && i < sizeof words / sizeof words[0]; ++i)
      err = PIN_SetOutSpecificData(output, words[i][0], &words[i][1], 4);
  }
  if (!err) err = PIN_GetOutputInfo(output, &info, (int32_t)sizeof info);
  if (!err) {
    info.depth = 32;
    info.frameRate = (Fixed)cs.frameRate;
    info.soundRate = 48000u << 16;
    info.soundEncoding = SND_Encoding_Signed;
    info.soundBytes = 2;
    info.soundChannels = 2;
    err = PIN_SetOutputInfo(output, &info, (int32_t)sizeof info);
  }
  if (err) {
    Failed("setting the output", err);
    goto done;
  }

  BEE_MovieOutput entry;
  memset(&entry, 0, sizeof entry);
  entry.out = output;
  BEE_RenderSettings rs;
  memset(&rs, 0, sizeof rs);
  rs.comp = comp;
  rs.outputCount = 1;
  rs.outputs = &entry;
  rs.start = (Time){0, 600};
  rs.duration = duration;
  rs.frameRate = cs.frameRate;
  rs.useResolution = 1;
  Boolean32 stopped = 0;
  const int existed = access(argv[3], F_OK) == 0;
  err = BEE_CmdMakeMovie(&rs, &stopped);
  if ((stopped || gStop || err) && !existed) remove(argv[3]);
  if (stopped || gStop) {
    fprintf(stderr, "stopped after %d frames; the unfinished movie was removed\n", entry.framesWritten);
    status = 130;
  } else if (err) {
    Failed("rendering the movie", err);
  } else {
    printf("wrote %s: %d frames\n", argv[3], entry.framesWritten);
    status = 0;
  }
done:
  if (file) FILE_Dispose(file);
  if (output) PIN_DisposeOutputSpec(output);
  EngineStop();
  return status;
}
