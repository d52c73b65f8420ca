// The module registry and table: birth order and sorting, unavailable and
// failing drivers, lookup by signature and by file, and the exact default of
// every slot of the module table.
#include <cstring>
#include <functional>

#include "Engine.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using tv::pin::Driver;

constexpr LocationCode Loc(uint32_t site) { return Location(PIN_PackageNumber, site); }

template <uint32_t Sig>
ErrorCode Named(PIN_ModuleInfo* info, PIN_ModuleProcs*) {
  info->signature = Sig;
  const char* names[] = {"beta", "Alpha", "RLAx", "RLA", "\xC3\xA9tude", "b"};
  std::strcpy(info->name, names[(Sig & 0xFF) - '0']);
  return 0;
}
ErrorCode Broken(PIN_ModuleInfo*, PIN_ModuleProcs*) { return kErrUnimplemented; }

class PINRegistryTest : public PINTest {
 protected:
  // Births PIN again with other drivers.
  ErrorCode Rebirth(std::span<const Driver> drivers) {
    EXPECT_EQ(PIN_Death(), 0);
    tv::pin::SetDriversForTesting(drivers);
    return PIN_Birth();
  }
};

TEST_F(PINRegistryTest, FailingDriverEndsBirthWithNothingRegistered) {
  static constexpr Driver drivers[] = {{"0", Named<MakeFourCC("MOD0")>}, {"broken", Broken}};
  EXPECT_EQ(Rebirth(drivers), kErrUnimplemented);
  EXPECT_EQ(OUT(TV_IsPackageAlive, PIN_PackageNumber), 0);
  int32_t n = -1;
  EXPECT_EQ(PIN_GetNumModules(&n), kErrDamaged);
  EXPECT_EQ(n, 0);
  tv::pin::SetDriversForTesting(kTestDrivers);
  ASSERT_EQ(PIN_Birth(), 0);
}

// A signature no module has is answered by the placeholder, and refused when
// there is none.
TEST_F(PINRegistryTest, InfoBySignatureFallsBackOnThePlaceholderOnly) {
  EXPECT_STREQ(OUT(PIN_GetModuleInfo, -1, MakeFourCC("NONE")).name, "Placeholder");
  PIN_ModuleInfo info{};
  EXPECT_EQ(PIN_GetModuleInfo(3, 0, &info), kErrBadParam);
  EXPECT_EQ(rec.last().text, BadArg("PIN_GetModuleInfo"));
  static constexpr Driver drivers[] = {{"tsf", TsfBirth}};
  ASSERT_EQ(Rebirth(drivers), 0);
  rec.clear();
  EXPECT_EQ(PIN_GetModuleInfo(-1, MakeFourCC("NONE"), &info), kErrBadParam);
  ExpectOnly("Test error: cannot find the given module -- a bad parameter was passed.");
  EXPECT_EQ(rec.last().location, Loc(tv::pin::kSiteModuleInfo));
}

// Two modules whose extension, type and creator claims conflict.
ErrorCode ByExt(PIN_ModuleInfo* info, PIN_ModuleProcs*) {
  info->signature = MakeFourCC("EXTM");
  std::strcpy(info->name, "By Extension");
  info->numExtensions = 2;
  info->extensions[0] = MakeFourCC(".ABC");
  info->extensions[1] = MakeFourCC(".xy ");
  info->numFileTypes = 1;
  info->fileTypes[0][0] = MakeFourCC("BBBB");
  return 0;
}
ErrorCode ByType(PIN_ModuleInfo* info, PIN_ModuleProcs*) {
  info->signature = MakeFourCC("TYPM");
  std::strcpy(info->name, "By Type");
  info->creator = MakeFourCC("CRE8");
  info->numFileTypes = 1;
  info->fileTypes[0][0] = MakeFourCC("AAAA");
  info->numExtensions = 1;
  info->extensions[0] = MakeFourCC(".typ");
  return 0;
}

TEST_F(PINRegistryTest, LookupOrder) {
  static constexpr Driver drivers[] = {{"ext", ByExt}, {"type", ByType}};
  ASSERT_EQ(Rebirth(drivers), 0);
  const FourCC ext = MakeFourCC("EXTM"), typ = MakeFourCC("TYPM");
  struct Case {
    FourCC type, creator;
    const char* name;
    bool extensionFirst;
    FourCC want;
  } cases[] = {
      {MakeFourCC("AAAA"), 0, "clip.abc", true, ext},   // the extension first
      {MakeFourCC("AAAA"), 0, "clip.abc", false, typ},  // the type before the extension
      {0, MakeFourCC("CRE8"), "clip.abc", false, typ},  // the creator before the extension
      {0, MakeFourCC("CRE8"), "clip.abc", true, ext},
      {0, 0, "/some/where/CLIP.Abc", false, ext},  // extensions ignore case
      {0, 0, "x.xy", false, ext},                  // a short extension
      {MakeFourCC("BBBB"), 0, "x.typ", false, ext},
      {0, 0, "x.abcd", true, PIN_NoSignature},  // longer than a code
      {0, 0, "abc", true, PIN_NoSignature},
      {MakeFourCC("ZZZZ"), MakeFourCC("ZZZZ"), "x.zzz", true, PIN_NoSignature},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tv::pin::SigFromType(c.type, c.creator, c.name, c.extensionFirst), c.want) << c.name;
  EXPECT_EQ(OUT(PIN_GetSigFromType, MakeFourCC("AAAA"), 0, "clip.abc"), typ);
  EXPECT_EQ(OUT(PIN_GetSigFromType, 0, 0, nullptr), PIN_NoSignature);
}

TEST_F(PINTest, UnclaimedFileCannotBeImported) {
  WriteTsf(dir.P("clip.zzz"), 4, 4, 1);
  rec.clear();
  PIN_SeqSpecH seq = reinterpret_cast<PIN_SeqSpecH>(1);
  EXPECT_EQ(Import(dir.P("clip.zzz"), 0, &seq), PIN_ErrCannotImport);
  EXPECT_EQ(seq, nullptr);
  ExpectOnly(Logged("file 'clip.zzz' cannot be imported -- files of type \"????\" are not supported.", 9987));
  EXPECT_EQ(rec.last().location, Loc(tv::pin::kSiteNewSeqSpec));
}

// ---- Defaults -----------------------------------------------------------------

struct Expected {
  ErrorCode code;
  const char* text;  // null: no report
};

constexpr const char* kNo = "the Empty module does not support ";
const Expected kDefaults[PIN_SlotCount] = {
    {0, nullptr},
    {9985, "creation of new input sequences from files."},
    {9985, "creation of new input sequences interactively."},
    {9985, "disposal of input sequences."},
    {9985, "saving of input sequences."},
    {9985, "loading of input sequences."},
    {9985, "synchronization of input sequences."},
    {9985, "reporting of active extents from input sequences."},
    {9985, "reporting of input sequences information."},
    {9985, "drawing frames from input sequences."},
    {9985, "drawing partial frames from input sequences"},
    {9985, "retrieving the dimensions of input sequences."},
    {9985, "retrieving the duration of input sequences."},
    {9985, "retrieving the starting time of input sequences."},
    {9985, "retrieving sound from input sequences."},
    {9985, "retrieving file from input sequences."},
    {9985, "inquiring frame times from input sequences."},
    {9985, "creation of output sequences."},
    {9985, "reporting of active extents from output sequences."},
    {9985, "disposal of output options."},
    {9985, "displaying option dialog for output sequences"},
    {9985, "reporting of output sequences information."},
    {9985, "setting of output sequences information."},
    {9985, "setting file for output sequences"},
    {9985, "adding to output sequences"},
    {9985, "adding to output sequences"},
    {9985, "adding to output sequences"},
    {9985, "outputting single frames as output sequences"},
    {9985, "creation of labels."},
    {9985, "size reporting of output sequences"},
    {9985, "flushing of output sequences"},
    {9985, "adding sound to output sequences"},
    {9985, "setting module-specific data"},
    {9985, "retrieving module-specific data"},
    {9985, "setting input sequence-specific data"},
    {0, nullptr},
    {9985, "setting output sequence-specific data"},
    {9985, "retrieving output sequence-specific data"},
    {9985, "idle functions"},
    {9985, "getting legal color depths of output sequences"},
    {9985, "getting output suffixes"},
    {9985, "!the chosen format does not support converting clipboard items."},
    {9985, "!the chosen format does not support disposing of clipboard items."},
    {9985, "!unimplemented routine."},
    {9985, nullptr},
    {9985, "!unimplemented routine."},
    {9985, "!unimplemented routine."},
    {9985, "!unimplemented routine."},
    {9985, nullptr},
    {9985, nullptr},
    {0, nullptr},
};

// Calls slot n of the table with plausible arguments.
ErrorCode CallDefault(const PIN_ModuleProcs& p, int n, Handle h, const PIN_ModuleInfo* info, int32_t* count) {
  Time t{0, 1}, out{};
  LRect r{};
  int32_t a = 0, b = 0;
  Handle x = nullptr;
  FILE_SpecH f = nullptr;
  Boolean32 flag = 0;
  char text[64] = "";
  uint32_t depths = 0;
  int64_t s1 = 0, s2 = 0;
  PIN_DrawParams params{};
  const std::function<ErrorCode()> calls[PIN_SlotCount] = {
      [&] { return p.death(info); },
      [&] { return p.newSeqSpecFromFile(h, nullptr, 0); },
      [&] { return p.newSeqSpecInteractive(h, &flag); },
      [&] { return p.disposeSeqSpec(h); },
      [&] { return p.writeSeqSpec(h, nullptr); },
      [&] { return p.readSeqSpec(h, nullptr, nullptr); },
      [&] { return p.synchSeqSpec(h); },
      [&] { return p.getActiveExtent(h, &t, &r); },
      [&] { return p.getSeqSpecInfo(h, text, sizeof text); },
      [&] { return p.drawSparseFrame(h, &params, nullptr); },
      [&] { return p.drawPartialFrame(h, &params, nullptr); },
      [&] { return p.getDimensions(h, &a, &b); },
      [&] { return p.getDuration(h, &out); },
      [&] { return p.getTime(h, &out); },
      [&] { return p.getSound(h, nullptr, nullptr); },
      [&] { return p.getFile(h, &t, &f); },
      [&] { return p.inqNextFrameTime(h, &t, &out); },
      [&] { return p.newOutputSpec(h); },
      [&] { return p.getOutputOptions(h, &x); },
      [&] { return p.disposeOutputOptions(h, nullptr); },
      [&] { return p.userOptionsDialog(h, &flag); },
      [&] { return p.getOutputInfo(h, text, sizeof text); },
      [&] { return p.setOutputInfo(h, text, sizeof text); },
      [&] { return p.setOutputFile(h, nullptr); },
      [&] { return p.startAdding(h); },
      [&] { return p.addFrame(h, 0, nullptr); },
      [&] { return p.endAdding(h); },
      [&] { return p.outputFrame(h, nullptr); },
      [&] { return p.writeLabels(h); },
      [&] { return p.getSizes(h, &s1, &s2); },
      [&] { return p.flush(h); },
      [&] { return p.addSoundChunk(h, nullptr); },
      [&] { return p.setModuleSpecificData(h, 0, nullptr, 0); },
      [&] { return p.getModuleSpecificData(h, 0, nullptr, 0); },
      [&] { return p.setInSpecificData(h, 0, nullptr, 0); },
      [&] { return p.getInSpecificData(h, 0, nullptr, 0); },
      [&] { return p.setOutSpecificData(h, 0, nullptr, 0); },
      [&] { return p.getOutSpecificData(h, 0, nullptr, 0); },
      [&] { return p.idle(h); },
      [&] { return p.getLegalDepths(h, &depths); },
      [&] { return p.getOutputSuffix(h, text, sizeof text); },
      [&] { return p.convertScrap(h, nullptr, &x); },
      [&] { return p.cleanupScrap(h, nullptr); },
      [&] { return p.reserved43(h); },
      [&] {
        *count = 7;
        return p.getNumAuxChannels(h, count);
      },
      [&] { return p.getAuxChannelDesc(h, 0, text, sizeof text); },
      [&] { return p.drawAuxChannel(h, 0, &params, &x); },
      [&] { return p.freeAuxChannel(h, nullptr); },
      [&] { return p.reserved48(h); },
      [&] { return p.reserved49(h); },
      [&] { return p.reserved50(h); },
  };
  return calls[n]();
}

TEST_F(PINTest, EverySlotsDefault) {
  PIN_ModuleProcs procs{};
  ASSERT_EQ(PIN_GetDefaultProcs(&procs), 0);
  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(tv::pin::NewSeqSpec(MakeFourCC("EMPT"), &seq, 0), 0);
  PIN_ModuleInfo info = OUT(PIN_GetModuleInfo, -1, MakeFourCC("EMPT"));
  for (int n = 0; n < PIN_SlotCount; ++n) {
    rec.clear();
    int32_t count = -1;
    EXPECT_EQ(CallDefault(procs, n, seq, &info, &count), kDefaults[n].code) << "slot " << n;
    if (n == PIN_Slot_GetNumAuxChannels) {
      EXPECT_EQ(count, 0);
    }
    if (!kDefaults[n].text) {
      EXPECT_TRUE(rec.reports.empty()) << "slot " << n;
      continue;
    }
    ASSERT_EQ(rec.reports.size(), 1u) << "slot " << n;
    const std::string want = kDefaults[n].text[0] == '!' ? std::string(kDefaults[n].text + 1)
                                                         : std::string(kNo) + kDefaults[n].text;
    EXPECT_EQ(rec.last().text, Logged(want, 9985)) << "slot " << n;
    EXPECT_EQ(rec.last().severity, kSevError);
    EXPECT_EQ(rec.last().location, Loc(0x40 + static_cast<uint32_t>(n)));
  }
  EXPECT_EQ(PIN_DisposeSeqSpec(seq), 0);
}

TEST_F(PINTest, OperationsOfAModuleThatFillsNothing) {
  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(tv::pin::NewSeqSpec(MakeFourCC("EMPT"), &seq, 0), 0);
  int32_t w = 1, h = 1;
  rec.clear();
  EXPECT_EQ(PIN_GetDimensions(seq, nullptr, &w, &h, nullptr), PIN_ErrUnsupported);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(rec.last().text,
            Logged("the Empty module does not support retrieving the dimensions of input sequences.", 9985));
  Time d{1, 1};
  EXPECT_EQ(PIN_GetDuration(seq, &d), PIN_ErrUnsupported);
  EXPECT_EQ(d.scale, 0u);
  int32_t aux = 5;
  rec.clear();
  EXPECT_EQ(PIN_GetNumAuxChannels(seq, &aux), PIN_ErrUnsupported);
  EXPECT_EQ(aux, 0);
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(PIN_GetSeqSpecificData(seq, 3, nullptr, 0), 0);
  EXPECT_EQ(PIN_DisposeSeqSpec(seq), 0);
}

TEST_F(PINTest, DamagedSeqSpec) {
  Handle fake = NewHandleClear(256);
  rec.clear();
  int32_t w = 0, h = 0;
  EXPECT_EQ(PIN_GetDimensions(fake, nullptr, &w, &h, nullptr), kErrDamaged);
  ExpectOnly("Test error: damaged i/o structure -- internal structure damaged.");
  EXPECT_EQ(PIN_DisposeSeqSpec(fake), kErrDamaged);
  DisposeHandle(fake);
}

}  // namespace
}  // namespace tv::test::pin
