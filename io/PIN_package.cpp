// PIN's package frame: its checked text table and reporter, version
// operations, birth (registration of the built-in modules, codec settings)
// and death.
#include "PIN_internal.h"
#include "Prefs.h"

STR_Table PINp_G_STRs = {};
int32_t PIN_G_Allow_AlphaOnly_SeqB = 0;

namespace tv::pin {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextDamaged, "damaged i/o structure."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextNotSupported, "the ^1 module does not support ^2"},
    {kTextUnimplemented, "unimplemented routine."},
    {kTextNoScrapConvert, "the chosen format does not support converting clipboard items."},
    {kTextNoScrapDispose, "the chosen format does not support disposing of clipboard items."},
    {kTextCannotImport, "file '%s' cannot be imported -- %s."},
    {kTextTypeNotSupported, "files of type \"%s\" are not supported"},
    {kTextNoModule, "cannot find the given module"},
    {kTextEmptyFolder, "folder contains no files"},
    {kTextFolderFirst, "first entry in folder is another folder"},
    {kTextNotSequenceType, "files of type \"%s\" cannot be used as sequences"},
    {kTextBadSequenceName,
     "Can't import as a sequence. File name doesn't appear to be a valid sequence file name."},
    {kTextNoMatches, "Can't import as a sequence. Found no matches for the selected file name."},
    {kTextNoSequenceNames,
     "Can't generate a sequence. Directory doesn't contain files with valid sequence file names."},
    {kTextFileNotInSequence,
     "File '%s' doesn't appear to be a valid sequence file and won't be included in the sequence."},
    {kTextDuplicates, "The sequence has %d duplicate frames."},
    {kTextMissingFrames, "The sequence has %d missing frames."},
    {kTextBadParameters, "bad parameters: %s"},
    {kTextBadSampleTime, "invalid sample time for sequence."},
    {kTextWrongWorld, "attempt to draw into world of wrong %s."},
    {kTextWrongSize, "size"},
    {kTextNot32Bit, "non 32-bit world"},
    {kTextPlaceholderMemory, "Not enough memory to render missing footage."},
    {kTextCannotLocate, "\"%s\" cannot be located for saving. It will be saved as a placeholder."},
    {kTextBadData, "bad footage data (%s)."},
    {kTextInteraction, "this module requires user interaction to choose a file."},
    {kTextMemoryRegistry, "the module registry"},
    {kTextMemorySeqSpec, "a footage description"},
    {kTextMemoryFileList, "a sequence file list"},
    {kTextStillInfo, "%ld x %ld, %ld frames"},
    {kTextPlaceholderTitle, "MISSING"},
    {kTextPhraseFromFiles, "creation of new %s from files."},
    {kTextPhraseInteractively, "creation of new %s interactively."},
    {kTextPhraseDisposal, "disposal of %s."},
    {kTextPhraseSaving, "saving of %s."},
    {kTextPhraseLoading, "loading of %s."},
    {kTextPhraseSynch, "synchronization of %s."},
    {kTextPhraseExtents, "reporting of active extents from %s."},
    {kTextPhraseInfoReport, "reporting of %s information."},
    {kTextPhraseDrawing, "drawing frames from %s."},
    {kTextPhraseDrawingPartial, "drawing partial frames from %s"},
    {kTextPhraseDimensions, "retrieving the dimensions of %s."},
    {kTextPhraseDuration, "retrieving the duration of %s."},
    {kTextPhraseStartTime, "retrieving the starting time of %s."},
    {kTextPhraseSound, "retrieving sound from %s."},
    {kTextPhraseFile, "retrieving file from %s."},
    {kTextPhraseFrameTimes, "inquiring frame times from %s."},
    {kTextPhraseCreation, "creation of %s."},
    {kTextPhraseOptionDialog, "displaying option dialog for %s"},
    {kTextPhraseInfoSetting, "setting of %s information."},
    {kTextPhraseSetFile, "setting file for %s"},
    {kTextPhraseAdding, "adding to %s"},
    {kTextPhraseSingleFrames, "outputting single frames as %s"},
    {kTextPhraseSizes, "size reporting of %s"},
    {kTextPhraseFlushing, "flushing of %s"},
    {kTextPhraseAddSound, "adding sound to %s"},
    {kTextPhraseSetData, "setting %s-specific data"},
    {kTextPhraseGetData, "retrieving %s-specific data"},
    {kTextPhraseIdle, "idle functions"},
    {kTextPhraseDepths, "getting legal color depths of %s"},
    {kTextPhraseSuffixes, "getting output suffixes"},
    {kTextNounInput, "input sequences"},
    {kTextNounOutput, "output sequences"},
    {kTextNounOutputOptions, "output options"},
    {kTextNounLabels, "labels"},
    {kTextNounModule, "module"},
    {kTextNounInputSequence, "input sequence"},
    {kTextNounOutputSequence, "output sequence"},
    {kTextFieldOrderFirst, "field order must be set before 3:2 pulldown can be removed."},
    {kTextNoNativeRate, "sequences without time do not have a native frame rate."},
    {kTextFpsNoTime, "attempt to set FPS of NO_TIME module."},
    {kTextAlphaGuess, "Unable to guess alpha channel."},
    {kTextRulesTooLarge, "could not use the \"Interpretation Rules.txt\" file because it is too large."},
    {kTextRulesSyntax,
     "could not use the \"Interpretation Rules.txt\" file because of a syntax error on line %d."},
    {kTextNotInstalled, "cannot output to this format because it is not currently installed."},
    {kTextUnknownOutputModule, "Unknown output module"},
    {kTextImageTooLarge, "Cannot output to ^1 because the image size is too large."},
    {kTextBadFilename, "%s is not a valid filename"},
    {kTextMultipleStills, "adding multiple still frames without frame numbering."},
    {kTextMemoryOutput, "an output description"},
    {kTextUnknownDestination, "Unknown output destination"},
    {kTextMemoryBlend, "frame blending deep buffer"},
    {kTextNoOutputFile, "no output file specified!"},
    {kTextUnreserveUnreserved, "trying to unreserve a file without reserving it first."},
    {kTextUnreserveMissing, "trying to unreserve a non-existent file."},
    {kTextUnreserveNonEmpty, "trying to unreserve a file with non-zero size."},
    {kTextOverflowNoRoom,
     "Note: not enough free space on volume \"^1\" to overflow onto.  (Available = ^L2K, wanted = at least ^L3K.)"},
    {kTextOverflowExhausted, "render can't continue -- out of disk space on all overflow volumes."},
    {kTextOverflowExists, "can't overflow to \"%s\" because it already exists!"},
    {kTextContinuing, "Note: output %s, continuing as \"%s\"."},
    {kTextReasonVolume, "hit volume freespace limit"},
    {kTextReasonFolder, "hit folder file-count limit"},
    {kTextReasonFileSize, "hit filesize limit"},
    {kTextAudioLeft,
     "Warning: %lf seconds of audio were left in the previous file and will be missing from this next file."},
    {kTextContinuationSuffix, " (%ld)"},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(PIN_PackageNumber);

// The codec settings of the movie output, written with their defaults when
// absent so the preferences file shows them. Compressors are not enumerated
// on this platform: the list is empty.
void RequireCodecSettings() {
  char buffer[256];
  EMUL_GetRequiredProfileString("Codec", "KeepOpen", "MJPG", buffer, sizeof buffer);
  EMUL_GetRequiredProfileString("Codec", "Cant32Codec", "YVU9,YV92", buffer, sizeof buffer);
  EMUL_GetRequiredProfileString("Tavelo", "DontCheckSpaceDrives", "", buffer, sizeof buffer);
}

PIN_SeqCallbacks gCallbacks = {};

}  // namespace

constinit const pkg::Reporter kReport{.number = PIN_PackageNumber,
                                      .table = &PINp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument};

ErrorCode CheckSeq(PIN_SeqSpecH seq, uint32_t site) {
  if (!gLife.alive()) return kReport.Damaged(site);
  return kReport.CheckRecord(seq, kSeqMagic, site);
}

ErrorCode CheckOutSpec(PIN_OutputSpecH out, uint32_t site) {
  if (!gLife.alive()) return kReport.Damaged(site);
  return kReport.CheckRecord(out, kOutMagic, site);
}

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

TV_PACKAGE_VERSION_OPS(PIN, PIN_PackageNumber)

ErrorCode PIN_Birth(void) try {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  // The scratch worlds of pulldown removal and frame blending are made by
  // the drawing that needs them, not here.
  if (ErrorCode err = RegisterModules()) {
    gLife.SetAlive(false);
    return err;
  }
  RequireCodecSettings();
  if (ErrorCode err = LoadRulesAtBirth()) {
    UnregisterModules();
    ClearRules();
    gLife.SetAlive(false);
    return err;
  }
  PIN_G_Allow_AlphaOnly_SeqB = 1;
  gCallbacks = {};
  ClearHostProcs();
  return 0;
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  UnregisterModules();
  ClearRules();
  gCallbacks = {};
  ClearHostProcs();
  return 0;
}

ErrorCode PIN_Idle(void) {
  if (!gLife.alive()) return kReport.Damaged(kSiteRegistry);
  for (const Module& m : Modules())
    if (Filled(m.procs, PIN_Slot_Idle))
      if (ErrorCode err = m.procs.idle(nullptr)) return err;
  return 0;
}

ErrorCode PIN_SetSeqCallbacks(const PIN_SeqCallbacks* callbacks) {
  if (!gLife.alive()) return kReport.Damaged(kSiteCallbacks);
  gCallbacks = callbacks ? *callbacks : PIN_SeqCallbacks{};
  return 0;
}

namespace tv::pin {
// The host's progress callback; non-zero aborts.
ErrorCode Progress(int32_t done, int32_t total) {
  return gCallbacks.progress ? gCallbacks.progress(gCallbacks.refcon, done, total) : 0;
}
}  // namespace tv::pin
