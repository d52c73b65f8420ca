// The package frame of every package built into the engine, as one table:
// the version operations against the package table, the major check with its
// exact text, and the birth and death rules (double birth, death of an unborn
// package) through the engine's births.
#include <gtest/gtest.h>

#include <string>

#include "BM.h"
#include "Engine.h"
#include "Package.h"
#include "STR.h"
#include "TestSupport.h"
#include "U.h"

namespace tv::test {
namespace {

// The packages whose second birth is refused with 12 and whose death while
// unborn is reported, by number and name (BM's second birth only warns).
const std::pair<int32_t, std::string> kBirthRules[] = {
    {17, "M"},  {57, "VAL"}, {58, "MC"},  {37, "PF"},   {26, "BEE"},
    {32, "OM"}, {10, "SND"}, {25, "FLT"}, {39, "PIN"}, {48, "PLUG"}, {BM_PackageNumber, "BM"}};

Boolean32 Alive(int32_t package) {
  Boolean32 alive = 2;
  EXPECT_EQ(TV_IsPackageAlive(package, &alive), 0);
  return alive;
}

class PackageFrame : public UFixture {};

TEST_F(PackageFrame, VersionsAndMajorChecks) {
  for (const engine::Entry& e : engine::Packages()) {
    SCOPED_TRACE(e.name);
    const pkg::Info* info = pkg::Find(e.number);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->name, e.name);
    EXPECT_EQ(e.version(), info->version);
    const int32_t major = pkg::Major(info->version);
    EXPECT_EQ(e.check(Location(1, 2), major), 0);
    rec.clear();
    EXPECT_EQ(e.check(Location(1, 2), major + 1), kErrVersion);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, Location(1, 2));
    EXPECT_EQ(rec.last().severity, kSevFatal);
    EXPECT_EQ(rec.last().text, "Test can't continue: \"" + std::string(e.name) + " package\" v" +
                                   std::to_string(major) + " does not match with \"" + e.name + ".h\" v" +
                                   std::to_string(major + 1) + " included by the pkg or app at the loc below.");
  }
  // Every package table entry with a birth is one the engine can birth.
  for (const pkg::Info& info : pkg::All()) {
    if (info.births.size() > 0) {
      EXPECT_NE(engine::FindEntry(info.number), nullptr) << info.name;
    }
  }
}

TEST_F(PackageFrame, BirthAndDeathRules) {
  for (const auto& [number, name] : kBirthRules) {
    const engine::Entry* e = engine::FindEntry(number);
    ASSERT_NE(e, nullptr);
    SCOPED_TRACE(e->name);
    const bool warns = number == BM_PackageNumber;
    ASSERT_EQ(TV_BirthPackages("Test", &number, 1), 0);
    EXPECT_EQ(Alive(number), 1);
    // What its birth needs is alive too.
    for (int32_t need : pkg::Find(number)->births) EXPECT_EQ(Alive(need), 1) << need;

    rec.clear();
    EXPECT_EQ(e->birth(), warns ? 0 : kErrBirth);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().text, warns ? "Test warning: BM package already born."
                                     : "Test error: " + name + " package -- multiple births.");
    EXPECT_EQ(LocationPackage(rec.last().location), static_cast<uint32_t>(number));

    ASSERT_EQ(e->death(), 0);
    EXPECT_EQ(Alive(number), 0);
    rec.clear();
    EXPECT_EQ(e->death(), kErrDeath);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().text,
              warns ? "Test error: BM package not born (BM_Death) -- multiple or corrupted death."
                    : "Test error: " + name + " package -- multiple or corrupted death.");
    // The births kill only what is still alive.
    EXPECT_EQ(TV_DeathPackages(), 0);
    ASSERT_EQ(TV_BirthPackages("Test", nullptr, 0), 0);
    rec.Attach();
  }
}

TEST_F(PackageFrame, BirthsInDependencyOrderAndRefusals) {
  // PF needs M: both come, M first, and go in reverse order.
  const int32_t pf = 37;
  ASSERT_EQ(TV_BirthPackages("Test", &pf, 1), 0);
  EXPECT_EQ(Alive(17), 1);
  EXPECT_EQ(TV_DeathPackages(), 0);
  EXPECT_EQ(Alive(17), 0);
  EXPECT_EQ(Alive(23), 0);  // U was born by this test's fixture through the same births
  ASSERT_EQ(TV_BirthPackages("Test", nullptr, 0), 0);
  rec.Attach();

  // A package the engine does not hold, a bad count, a null answer.
  rec.clear();
  const int32_t unknown = 99;
  EXPECT_EQ(TV_BirthPackages("Test", &unknown, 1), kErrBadParam);
  EXPECT_EQ(TV_BirthPackages("Test", nullptr, -1), kErrBadParam);
  EXPECT_EQ(TV_IsPackageAlive(23, nullptr), kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 3u);
  EXPECT_EQ(rec.reports[0].text, "Test error: no package #99 to birth in this engine -- a bad parameter was passed.");
  EXPECT_EQ(rec.reports[2].text, "Test error: bad argument to TV_IsPackageAlive -- a bad parameter was passed.");
}

}  // namespace
}  // namespace tv::test
