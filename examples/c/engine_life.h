/* Birth and death of the engine for the example hosts: every package a host
 * needs, born in dependency order, the log callback that keeps the last
 * report, and the grow zone that lets cached frames go when memory is short.
 * Each example includes this once. */
#ifndef TAVELO_EXAMPLE_ENGINE_LIFE_H
#define TAVELO_EXAMPLE_ENGINE_LIFE_H

#include <stdio.h>
#include <string.h>

#include "BEE.h"
#include "BM.h"
#include "Engine.h"
#include "FLT.h"
#include "M.h"
#include "MC.h"
#include "Memory.h"
#include "OM.h"
#include "PF.h"
#include "PIN.h"
#include "PLUG.h"
#include "SND.h"
#include "U.h"
#include "VAL.h"

/* The interface generation this host was written for (U_CheckVersions). */
enum { kHostMajor = 45 };
/* Severities of reports that describe a failure. */
enum { kSevFailure = 2, kSevError = 8, kSevFatal = 16 };

/* The text of the last failure the engine reported ("" when none). */
static char gLastError[512];

static ErrorCode LogReport(intptr_t data, LocationCode location, Severity severity, const char* text) {
  (void)data;
  (void)location;
  if (severity & (kSevFailure | kSevError | kSevFatal)) snprintf(gLastError, sizeof gLastError, "%s", text);
  else fprintf(stderr, "note: %s\n", text);
  return 0;
}

/* A progress poll's abort procedure for effects (slot 1). */
static void NoAbort(void) {}

static ErrorCode EngineStart(const char* name, BEE_CallbackFunc callback) {
  static const int32_t packages[] = {M_PackageNumber,   VAL_PackageNumber, BM_PackageNumber, MC_PackageNumber,
                                     OM_PackageNumber,  PF_PackageNumber,  SND_PackageNumber, PIN_PackageNumber,
                                     PLUG_PackageNumber, FLT_PackageNumber, BEE_PackageNumber};
  ErrorCode err = TV_BirthPackages(name, NULL, 0); /* U alone, so reports reach our callback */
  if (err) return err;
  U_SetLoggingCallback(LogReport, 0);
  Up_SetInteract(0xFFFF0000u); /* log every severity, show no dialog */
  err = U_CheckVersions(0, kHostMajor);
  if (!err) err = TV_BirthPackages(name, packages, (int32_t)(sizeof packages / sizeof packages[0]));
  if (err) {
    TV_DeathPackages();
    return err;
  }
  SetGrowZone(MC_GrowZone);
  BEE_SetCallbackFunc(callback, 0);
  FLT_InstallProcs(1, NoAbort);
  return 0;
}

static void EngineStop(void) {
  BEE_SetCallbackFunc(NULL, 0);
  SetGrowZone(NULL);
  TV_DeathPackages();
}

/* Prints what failed and the engine's report; answers 1 (an exit code). */
static int Failed(const char* what, ErrorCode err) {
  fprintf(stderr, "%s failed: %s (code %d)\n", what, gLastError[0] ? gLastError : "no report", (int)err);
  return 1;
}

#endif
