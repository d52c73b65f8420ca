// No C++ exception leaves an exported operation: the global operator new of
// this program fails at the N-th allocation, for every N until a realistic
// scenario (births, the value registry, number and message texts, string
// resources and balls, the preferences file, file paths, time streams, the
// project engine, an atomic save and its reading back) runs through without
// meeting the failure. Each run must end cleanly: no exception escapes, the
// step that met the failure answers 4 with exactly one report (or -108
// without a report from the platform's preferences, which cannot report), and
// after the clean-up no handle, pointer block, list, item, layer or file is
// left over.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "BEE_test_support.h"
#include "Engine.h"
#include "FILE.h"
#include "MC.h"
#include "Platform.h"
#include "Prefs.h"
#include "SLU.h"
#include "STR.h"
#include "U.h"
#include "VAL.h"

namespace {

// Allocations still granted before the injected failure (-1: none injected).
std::atomic<long long> gLeft{-1};
std::atomic<bool> gTripped{false};
std::atomic<long long> gCount{0};

bool FailNow() {
  gCount.fetch_add(1, std::memory_order_relaxed);
  long long left = gLeft.load(std::memory_order_relaxed);
  if (left < 0) return false;
  if (left == 0) {
    gLeft.store(-1);
    gTripped.store(true);
    return true;
  }
  gLeft.store(left - 1);
  return false;
}

}  // namespace

// The replacements pair malloc with free themselves.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (FailNow()) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (FailNow()) return nullptr;
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return ::operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// Reports are counted into fixed storage: recording must not allocate.
struct Log {
  int count = 0;
  char last[U_MessageBufferSize] = "";
  static ErrorCode Record(intptr_t data, LocationCode, Severity, const char* text) {
    auto* self = reinterpret_cast<Log*>(data);
    ++self->count;
    std::strncpy(self->last, text ? text : "", sizeof self->last - 1);
    return 0;
  }
};

VAL_TypeRecord NamedType() {
  VAL_TypeRecord r{};
  r.getName = [](intptr_t, char* name) {
    std::strcpy(name, "alloc test type");
    return ErrorCode{0};
  };
  return r;
}

// What a run made, for the clean-up.
struct Made {
  FILE_SpecH file = nullptr;
  TDB_Stream stream = nullptr, back = nullptr;
  STR_Ball ball = nullptr;
  Handle dump = nullptr;
  MC_Bag bag = nullptr;
  BEE_Layer layer = nullptr;  // owned by the project
  PIN_SeqSpecH seq = nullptr, seqBack = nullptr;
  int32_t type = 0;  // what the steps answer
  double number = 0;
  char text[256] = "";
};

constexpr int32_t kResourceBase = 7000;
const char* const kBallTexts[] = {"one", "two", STR_END};

struct Step {
  const char* name;
  std::function<ErrorCode(Made&)> run;
  bool platform = false;  // a platform operation: fails with -108 and no report
};

class AllocationFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = (dir_ / "project.tv").string();
    prefs_ = (dir_ / "prefs.ini").string();
    tv::platform::SetDialogSink([](const tv::platform::Dialog&) { return ErrorCode{0}; });
    ASSERT_EQ(TV_BirthPackages("Alloc", nullptr, 0), 0);
    U_SetLoggingCallback(&Log::Record, reinterpret_cast<intptr_t>(&log_));
    Up_SetInteract(0xFFFF0000u);  // log every report, show none
    record_ = NamedType();
    resource_ = {0, 2, 0, 3, 'u', 'n', 'o', 0, 3, 'd', 'o', 's'};
    BuildSteps();
  }
  void TearDown() override {
    TV_DeathPackages();
    EMUL_SetTVPrefsFile(nullptr);
    tv::platform::SetDialogSink({});
  }

  void BuildSteps() {
    steps_ = {
        {"births", [](Made&) {
           const int32_t packages[] = {VAL_PackageNumber, BEE_PackageNumber};
           return TV_BirthPackages("Alloc", packages, 2);
         }},
        {"value type", [this](Made& m) { return VAL_RegisterType(&record_, &m.type); }},
        {"number text", [](Made& m) { return U_FormatNum(1234567.891, U_NumThousands, 1, 2, m.text); }},
        {"number scan", [](Made& m) { return U_ScanNum("1,234.5e1", U_NumNoLocale, &m.number); }},
        {"message", [](Made& m) {
           U_SubArg args[3] = {{U_SubArgText, 0, 0, "a layer"}, {U_SubArgDouble, 0, 1234.5, nullptr},
                               {U_SubArgLong, 7, 0, nullptr}};
           return U_SubString(m.text, sizeof m.text, "^1 moves ^F2@3.2s@ pixels in ^L3 frames", args, 3);
         }},
        {"string resource", [this](Made&) {
           return STR_SetStringResource(kResourceBase + STR_ResourceIdOffset, resource_.data(),
                                        static_cast<int32_t>(resource_.size()));
         }},
        {"string ball", [](Made& m) { return STR_NewBall(kResourceBase, kBallTexts, &m.ball); }},
        {"replacement tag", [](Made&) { return STR_UseReplacementTag("{{*AllocationTest*}}"); }},
        {"preferences file", [this](Made&) { return EMUL_SetTVPrefsFile(prefs_.c_str()); }, true},
        {"preference", [](Made&) { return EMUL_SetProfileString("Tavelo", "AllocationTestKey", "a value"); },
         true},
        {"file reference", [this](Made& m) { return FILE_New(path_.c_str(), FILE_LocFullPath, &m.file); }},
        {"file name", [](Made& m) {
           char name[FILE_MaxPath];
           return FILE_InqName(m.file, FILE_NameFullPath, name, FILE_MaxPath);
         }},
        {"time stream", [](Made& m) {
           TDB_ValueDesc desc{};
           desc.dataType = 9;
           if (ErrorCode err = TDB_NewStream(1, 600, 0, 0, 7, 7, &desc, &m.stream)) return err;
           for (int32_t k = 0; k < 4; ++k) {
             const Time t{k * 300, 600};
             const double v = k * 2.5;
             if (ErrorCode err = TDB_InsertKeyF(m.stream, &t, 0, 0, &v, TDB_InterpBezier, TDB_InterpBezier))
               return err;
           }
           return ErrorCode{0};
         }},
        {"composition", [](Made& m) {
           BEE_CompSettings s = tv::bee::test::Settings("Comp", 64, 48);
           BEE_Item comp = nullptr;
           if (ErrorCode err = BEE_CmdNewComp(nullptr, &s, &comp)) return err;
           BEE_SolidSettings solid = tv::bee::test::Solid("Red", 0xFFFF0000u, 10, 10);
           BEE_Layer layer = nullptr;
           if (ErrorCode err = BEE_CmdNewSolidLayer(comp, &solid, &layer)) return err;
           if (ErrorCode err = BEE_Undo()) return err;
           if (ErrorCode err = BEE_Redo()) return err;
           m.layer = layer;
           return BEEp_DumpProject(&m.dump);
         }},
        {"frame cache", [](Made& m) {
           if (ErrorCode err = VAL_LookupType("alloc test type", &m.type)) return err;
           if (ErrorCode err = MC_NewBag(4, 1, &m.bag)) return err;
           MC_SortDir dir = nullptr;
           if (ErrorCode err = MC_NewSortDir(m.bag, nullptr, 0, &dir)) return err;
           for (int k = 0; k < 6; ++k) {
             VAL_Value v{};
             if (ErrorCode err = VAL_NewValue(m.type, nullptr, &v)) return err;
             uint32_t index = MC_NoIndex;
             if (ErrorCode err = MC_AddStuff(m.bag, 0, &v, k, nullptr, 0, nullptr, nullptr, 0, &index)) {
               VAL_DisposeValue(&v);
               return err;
             }
             if (ErrorCode err = MC_AddStuffToSortDir(dir, index)) return err;
             MC_Receipt r = nullptr;
             if (ErrorCode err = MC_CheckoutByID(m.bag, k & 1, index, nullptr, &r)) return err;
             if (ErrorCode err = MC_CheckinStuff(0, r)) return err;
           }
           return MC_PurgeAllPurgeableStuffsFromBag(m.bag);
           }},
        {"masks", [](Made& m) {
           const FixedRect bounds{0, 0, 5 << 16, 5 << 16};
           OM_Shape shape = nullptr;
           if (ErrorCode err = OM_NewShape(OM_TypeOval, &bounds, &shape)) return err;
           ErrorCode err = OM_SetShapeType(OM_TypePath, shape);
           int32_t mask = 0;
           if (!err) err = BEE_CmdAddMask(m.layer, shape, &mask);
           if (!err) err = BEE_CmdDeleteMask(m.layer, mask);
           if (!err) err = BEE_Undo();
           OM_DisposeShape(shape);
           return err;
         }},
        {"atomic save", [](Made& m) {
           return tv::slu::SaveAtomically(m.file, [&m](SLU_FileContext* c) { return TDB_WriteStream(m.stream, c); });
         }},
        {"reading back", [](Made& m) {
           if (ErrorCode err = FILE_Open(FILE_PermRead, m.file)) return err;
           SLU_FileContext c{};
           ErrorCode err = SLU_InitFile(m.file, 0, &c);
           if (!err) err = TDB_ReadStream(&c, nullptr, &m.back);
           ErrorCode closed = FILE_Close(m.file);
           return err ? err : closed;
         }},
        {"footage description", [](Made& m) {
           const int32_t packages[] = {PIN_PackageNumber};
           if (ErrorCode err = TV_BirthPackages("Alloc", packages, 1)) return err;
           const Time d{10, 1};
           if (ErrorCode err = PIN_NewSeqSpecMissingPlus(64, 48, &d, 30 << 16, &m.seq)) return err;
           auto write = [&m](SLU_FileContext* c) { return PIN_WriteSeqSpec(m.seq, c); };
           if (ErrorCode err = tv::slu::SaveAtomically(m.file, write)) return err;
           if (ErrorCode err = FILE_Open(FILE_PermRead, m.file)) return err;
           SLU_FileContext c{};
           SLU_Chunk list{};
           ErrorCode err = SLU_InitFile(m.file, 0, &c);
           if (!err) err = SLU_Descend(&c, tv::MakeFourCC("LIST"), tv::MakeFourCC("Pin "), nullptr, &list, nullptr);
           if (!err) err = PIN_ReadSeqSpec(&c, &list, &m.seqBack);
           ErrorCode closed = FILE_Close(m.file);
           return err ? err : closed;
         }},
    };
  }

  // Runs the steps until one fails; the failing step (or -1) and its code.
  std::pair<int, ErrorCode> Run(Made& m, bool& escaped) {
    escaped = false;
    try {
      for (size_t i = 0; i < steps_.size(); ++i)
        if (ErrorCode err = steps_[i].run(m)) return {static_cast<int>(i), err};
    } catch (...) {
      escaped = true;
    }
    return {-1, 0};
  }

  void CleanUp(Made& m) {
    if (m.seq) PIN_DisposeSeqSpec(m.seq);
    if (m.seqBack) PIN_DisposeSeqSpec(m.seqBack);
    if (m.dump) DisposeHandle(m.dump);
    if (m.back) TDB_DisposeStream(m.back);
    if (m.stream) TDB_DisposeStream(m.stream);
    if (m.file) FILE_Dispose(m.file);
    if (m.ball) STR_DisposeBall(&m.ball);
    if (m.bag) MC_DisposeBag(m.bag);
    m = Made{};
    Boolean32 alive = 0;
    if (TV_IsPackageAlive(BEE_PackageNumber, &alive) == 0 && alive) BEE_Death();
    if (TV_IsPackageAlive(PIN_PackageNumber, &alive) == 0 && alive) PIN_Death();
    if (TV_IsPackageAlive(VAL_PackageNumber, &alive) == 0 && alive) VAL_Death();
    STR_SetStringResource(kResourceBase + STR_ResourceIdOffset, nullptr, 0);
    STR_UseReplacementTag("{{*MSWindows*}}");
    EMUL_SetTVPrefsFile(nullptr);
    std::filesystem::remove(path_);
    std::filesystem::remove(prefs_);
  }

  struct Counts {
    int64_t handles, ptrs;
    int32_t lists, items, layers;
    size_t files;
    bool operator==(const Counts&) const = default;
  };
  Counts Now() const {
    Counts c{EMUL_LiveHandleCount(), EMUL_LivePtrCount(), 0, 0, 0, 0};
    LISTp_GetLiveCount(&c.lists);
    BEEp_GetLiveCounts(&c.items, &c.layers);
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++c.files;
    return c;
  }

  tv::test::TempDir temp_{"tvalloc"};
  std::filesystem::path dir_;
  std::string path_, prefs_;
  VAL_TypeRecord record_{};
  std::vector<uint8_t> resource_;
  std::vector<Step> steps_;
  Log log_;
};

TEST_F(AllocationFailures, EveryFailingAllocationEndsOneOperationCleanly) {
  // FILE has no birth and installs its table with its first report (a
  // buffer it cannot make, say); one report here installs it before the
  // counts are taken, as the births do for the other packages.
  ASSERT_EQ(FILE_InqSeparator(nullptr), tv::kErrBadParam);
  // So does OM (a report when a shape stream's copy fails, say).
  ASSERT_EQ(OM_ShapeIntersect(nullptr, nullptr, nullptr), tv::kErrUnimplemented);
  log_.count = 0;
  // A first run installs the string tables that stay, and counts the
  // allocations of a whole run.
  Made m;
  bool escaped = false;
  gCount = 0;
  auto [failed, code] = Run(m, escaped);
  ASSERT_FALSE(escaped);
  ASSERT_EQ(failed, -1) << steps_[static_cast<size_t>(std::max(failed, 0))].name << " " << code << " "
                        << log_.last;
  ASSERT_EQ(log_.count, 0) << log_.last;
  const long long total = gCount.load();
  CleanUp(m);
  const Counts base = Now();

  int failures = 0;
  for (long long n = 0;; ++n) {
    ASSERT_LT(n, total + 10) << "the scenario never ran through";
    log_.count = 0;
    log_.last[0] = 0;
    gTripped = false;
    gLeft = n;
    auto [step, err] = Run(m, escaped);
    gLeft = -1;
    const bool tripped = gTripped.load();
    const int reports = log_.count;
    CleanUp(m);
    const std::string where = "allocation " + std::to_string(n) + (step >= 0 ? std::string(" in ") + steps_[step].name : "");
    ASSERT_FALSE(escaped) << where;
    if (step >= 0) {
      ++failures;
      if (steps_[step].platform) {
        EXPECT_EQ(err, tv::kSysMemFull) << where;
        EXPECT_EQ(reports, 0) << where << ": " << log_.last;
      } else {
        EXPECT_EQ(err, tv::kErrOutOfMemory) << where << ": " << log_.last;
        EXPECT_EQ(reports, 1) << where << ": " << log_.last;
      }
    } else {
      // The failure met an allocation whose loss is absorbed (a table left
      // uninstalled, a setting left at its default): nothing is reported.
      EXPECT_EQ(reports, 0) << where << ": " << log_.last;
    }
    const Counts now = Now();
    ASSERT_TRUE(now == base) << where << ": something was left over (handles " << now.handles << "/" << base.handles
                             << ", pointer blocks " << now.ptrs << "/" << base.ptrs << ", lists " << now.lists << "/"
                             << base.lists << ", items " << now.items << "/" << base.items << ", files " << now.files
                             << "/" << base.files << ")";
    if (!tripped) break;  // the run went through without meeting the failure
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
