// The checked road to the disk: injected faults, atomic replacement that
// keeps the old file, temporary names, the removal of abandoned temporaries,
// and what a crash handler removes and reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Errno.h"
#include "InFlight.h"
#include "TestSupport.h"
#include "WriteFaults.h"
#include "platform_test_fixture.h"

namespace tv::test {
namespace {

using platform::WriteFaultOp;

// Replacing keeps the permission bits; a failing write leaves the old file
// and no temporary (every fault through a project save: BEE_test_projfile).
TEST(AtomicFile, ReplacesOnlyWhatFullyReachedTheDisk) {
  TempDir dir("atom");
  const std::string path = dir.P("p.tvp");
  Put(path, "old");
  ::chmod(path.c_str(), 0600);
  const std::string text(1000, 'n');
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  {
    WriteFaultScope fault({WriteFaultOp::Write, ENOSPC, 500});
    platform::AtomicStage stage{};
    EXPECT_EQ(platform::WriteFileAtomically(path, bytes, &stage), kSysDiskFull);
    EXPECT_EQ(stage, platform::AtomicStage::Write);
    EXPECT_EQ(Slurp(path), "old");
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"p.tvp"});
  }
  ASSERT_EQ(platform::WriteFileAtomically(path, bytes), 0);
  EXPECT_EQ(Slurp(path), text);
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(platform::WriteFileAtomically(dir.P("none/x"), bytes), kSysNoDirectory);

  // Dropped unfinished, the temporary goes and the old file stays.
  {
    platform::AtomicFile file(path);
    ASSERT_EQ(file.Create(), 0);
    EXPECT_EQ(NamesIn(dir.path()).size(), 2u);
    EXPECT_EQ(file.Write(bytes.first(10)), 0);
  }
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"p.tvp"});
  EXPECT_EQ(Slurp(path), text);
}

TEST(Temporaries, NamesTellTheirWriter) {
  const std::string host = platform::HostTag();
  const std::string temp = platform::TemporaryPathFor("/d/clip.v2.mp4");
  const std::string pid = std::to_string(::getpid());
  EXPECT_EQ(temp, "/d/.clip.v2.mp4." + host + "." + pid + ".XXXXXX.partial");
  std::string h;
  int64_t p = 0;
  EXPECT_TRUE(platform::ParseTemporaryName(".clip.v2.mp4.node-7.4242.aB3xZ9.partial", &h, &p));
  EXPECT_EQ(h, "node-7");
  EXPECT_EQ(p, 4242);
  // A renderer's own names beside its frame reservations.
  for (const char* own : {".f_0014.done.node-7.4242.png", ".f.v2_0014.stale.node-7.4242.exr", ".f.done.node-7.4242"}) {
    EXPECT_TRUE(platform::ParseTemporaryName(own, &h, &p)) << own;
    EXPECT_EQ(h + "/" + std::to_string(p), "node-7/4242") << own;
  }
  for (const char* other : {".f.kept.node-7.4242.png", "..done.node-7.4242.png", ".f.done.node-7.42x.png"})
    EXPECT_FALSE(platform::ParseTemporaryName(other, nullptr, nullptr)) << other;
  for (const char* other : {"clip.mp4", ".clip.mp4.node.42.abc.partial", ".node.42.aB3xZ9.partial",
                            ".clip.mp4.node.4x2.aB3xZ9.partial", ".clip.mp4.XXXXXX"})
    EXPECT_FALSE(platform::ParseTemporaryName(other, nullptr, nullptr)) << other;
  // Long names are cut to fit the folder's limit.
  EXPECT_LE(platform::TemporaryPathFor(std::string(300, 'a')).size(), 255u);
}

// Abandoned temporaries go: this host's whose writer is gone, other hosts'
// untouched past the limit. Live writers' and anything else stay.
TEST(Temporaries, StaleOnesAreRemoved) {
  TempDir dir("stale");
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);  // a process that is gone
  const std::string host = platform::HostTag();
  const std::string dead = ".a.png." + host + "." + std::to_string(child) + ".aaaaaa.partial";
  const std::string alive = ".a.png." + host + "." + std::to_string(::getppid()) + ".bbbbbb.partial";
  const std::string mine = ".a.png." + host + "." + std::to_string(::getpid()) + ".cccccc.partial";
  const std::string deadFrame = ".a.done." + host + "." + std::to_string(child) + ".png";
  const std::string aliveAside = ".a.stale." + host + "." + std::to_string(::getppid()) + ".png";
  const std::string oldRemote = ".a.png.far-away.12.dddddd.partial", newRemote = ".a.png.far-away.13.eeeeee.partial";
  for (const std::string& n :
       {dead, alive, mine, deadFrame, aliveAside, oldRemote, newRemote, std::string(".a.png.x"), std::string("a.png")})
    Put(dir.P(n), "x");
  const timeval old[2] = {{std::time(nullptr) - 700, 0}, {std::time(nullptr) - 700, 0}};
  ::utimes(dir.P(oldRemote).c_str(), old);
  EXPECT_EQ(platform::RemoveStaleTemporaries(dir.path()), 3);
  std::vector<std::string> left{alive, mine, aliveAside, newRemote, ".a.png.x", "a.png"};
  std::sort(left.begin(), left.end());
  EXPECT_EQ(NamesIn(dir.path()), left);
}

// What a crash handler does: the report of the work in flight, nested
// scopes restoring what they replaced, and the removal of listed files (a
// reservation only while the name holds that very empty file).
TEST(Temporaries, CrashRemovesListedFilesAndReportsWork) {
  TempDir dir("crash");
  Put(dir.P("temp"), "partial");
  Put(dir.P("claim"), "");
  Put(dir.P("taken"), "");
  struct stat claim {}, taken {};
  ::stat(dir.P("claim").c_str(), &claim);
  ::stat(dir.P("taken").c_str(), &taken);
  const int a = platform::ListTemporary(dir.P("temp"));
  const int b = platform::ListTemporary(dir.P("claim"), claim.st_dev, claim.st_ino);
  const int c = platform::ListTemporary(dir.P("taken"), taken.st_dev, taken.st_ino);
  Put(dir.P("taken"), "a finished frame");
  platform::RemoveTemporariesNow();
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"taken"});
  for (int slot : {a, b, c}) platform::UnlistTemporary(slot);

  const std::string report = dir.P("report");
  const int fd = ::open(report.c_str(), O_WRONLY | O_CREAT, 0644);
  {
    const platform::InFlightScope plugin(platform::InFlight::PluginFile, "/p/x.tvx");
    const platform::InFlightScope layer(platform::InFlight::Layer, "\"L\" in \"C\"");
    {
      const platform::InFlightScope inner(platform::InFlight::Layer, "\"N\" in \"D\"");
      EXPECT_TRUE(platform::PluginCallInFlight());
    }
    platform::WriteInFlight(fd, "> ");
  }
  EXPECT_FALSE(platform::PluginCallInFlight());
  platform::WriteInFlight(fd, "> ");  // nothing in flight: nothing written
  ::close(fd);
  EXPECT_EQ(Slurp(report), "> plug-in: /p/x.tvx\n> layer: \"L\" in \"C\"\n");
}

}  // namespace
}  // namespace tv::test
