// Alias records: flattened golden bytes, round trips, malformed input,
// resolution (moved projects, Windows paths from old projects, hostile
// relative data), relative paths, and the interactive hooks.
#include <cstring>
#include <random>

#include "FILE_internal.h"
#include "FILE_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::file;
using Bytes = std::vector<uint8_t>;

Bytes Flat(FILE_AliasH alias) {
  Handle h = OUT(FILE_FlattenAliasRec, alias);
  if (!h) return {};
  Bytes b(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + GetHandleSize(h));
  DisposeHandle(h);
  return b;
}

ErrorCode Unflatten(const Bytes& b, FILE_AliasH* alias) {
  return FILE_UnflattenAliasRec(b.data(), static_cast<int32_t>(b.size()), alias);
}

// The flattened record of an alias made from path (and the project's path).
Bytes FlatFromPath(const std::string& path, FourCC type = 0, const std::string& project = "") {
  FILE_AliasH alias = nullptr;
  EXPECT_EQ(NewAliasFromPath(path, type, project, &alias), 0) << path;
  Bytes b = alias ? Flat(alias) : Bytes{};
  FILE_DisposeAliasRec(alias);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Str(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::string FullPathOf(FILE_AliasH alias) {
  char path[FILE_MaxPath];
  EXPECT_EQ(FILE_InqAliasRecFullPath(alias, path, sizeof path), 0);
  return path;
}
// The full path of the record flattened as flat.
std::string FullPathOf(const Bytes& flat) {
  FILE_AliasH alias = OUT(Unflatten, flat);
  std::string path = alias ? FullPathOf(alias) : "";
  FILE_DisposeAliasRec(alias);
  return path;
}

using FileAliasBytes = FileTest;

TEST_F(FileAliasBytes, GoldenBytesAndRoundTrips) {
  struct Case {
    std::string path;
    FourCC type;
    std::string project;
    Bytes golden;
  };
  const Case cases[] = {
      {"c:\\proj\\a.mov", MakeFourCC("MooV"), "",
       Concat({{0, 1, 0, 9, 'M', 'o', 'o', 'V', 0, 0, 0, 0, 15, 0}, Str(":c::proj:a.mov"), {0}})},
      {"\\\\srv\\share\\x.mov", 0, "",
       Concat({{0, 1, 0, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 19, 0}, Str(":::srv:share:x.mov"), {0}})},
      {"/home/u/a.mov", 0, "",
       Concat({{0, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 17, 15, 0}, Str("::home:u:a.mov"), {0}, Str("LNXP/home/u/a.mov")})},
      {"/home/u/media/b.mov", MakeFourCC("MooV"), "/home/u/proj/p.dat",
       Concat({{0, 1, 0, 7, 'M', 'o', 'o', 'V', 0, 0, 0, 23, 21, 0},
               Str("::home:u:media:b.mov"),
               {0},
               Str("LNXP/home/u/media/b.mov"),
               {2, 8}})},
      {"c:\\proj\\media\\b.mov", 0, "c:\\proj\\sub\\p.dat",
       Concat({{0, 1, 0, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 21, 0}, Str(":c::proj:media:b.mov"), {0}, {2, 8}})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FlatFromPath(c.path, c.type, c.project), c.golden) << c.path;

    FILE_AliasH back = nullptr;
    ASSERT_EQ(Unflatten(c.golden, &back), 0) << c.path;
    EXPECT_EQ(FullPathOf(back), c.path);
    EXPECT_EQ(OUT(FILE_InqAliasRecType, back), c.type);
    EXPECT_EQ(Flat(back), c.golden) << c.path;
    FILE_DisposeAliasRec(back);
  }
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(FileAliasBytes, NamesWithColonsAndLongPathsSurvive) {
  const std::string colon = "/home/u/a:b.mov";
  EXPECT_EQ(FullPathOf(FlatFromPath(colon)), colon);

  // A native path longer than the path field: the field is cut, the exact
  // path travels in the platform data, and no note is needed.
  std::string deep = "/" + std::string(150, 'd') + "/" + std::string(148, 'f') + ".mov";
  Bytes flat = FlatFromPath(deep);
  EXPECT_EQ(flat[12], 255);  // 253 characters and the two extra bytes
  EXPECT_EQ(FullPathOf(flat), deep);
  EXPECT_TRUE(rec.reports.empty());

  // A Windows-form path has no exact copy: it is cut to 253 with a note.
  std::string win = "c:\\" + std::string(297, 'w');
  flat = FlatFromPath(win);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().severity, kSevWarning);
  EXPECT_EQ(rec.last().location, Location(FILE_PackageNumber, kSiteFlattenAlias));
  EXPECT_EQ(rec.last().text.rfind("Test warning: file path too long, may be missing when read. (\"c:\\www", 0), 0u);
  rec.clear();
  EXPECT_EQ(FullPathOf(flat), win.substr(0, 253));
}

TEST_F(FileAliasBytes, MalformedInputIsRefusedWhole) {
  const Bytes good = FlatFromPath("/home/u/media/b.mov", 0, "/home/u/proj/p.dat");
  FILE_AliasH alias = nullptr;

  // Every cut and every extension of a good record is refused.
  for (size_t n = 0; n < good.size(); ++n) {
    alias = reinterpret_cast<FILE_AliasH>(1);
    EXPECT_EQ(FILE_UnflattenAliasRec(good.data(), static_cast<int32_t>(n), &alias), FILE_ErrBadData) << n;
    EXPECT_EQ(alias, nullptr);
  }
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_EQ(Unflatten(longer, &alias), FILE_ErrBadData);
  ASSERT_FALSE(rec.reports.empty());
  EXPECT_EQ(rec.last().text, "Test error: alias record is damaged -- internal structure damaged.");
  EXPECT_EQ(rec.last().location, Location(FILE_PackageNumber, kSiteUnflattenAlias));
  rec.clear();

  Bytes v2 = good;
  v2[1] = 2;
  EXPECT_EQ(Unflatten(v2, &alias), kErrDocVersion);
  EXPECT_EQ(alias, nullptr);
  ExpectReport(kSiteUnflattenAlias, "Test error: alias record too new -- unsupported document version.");

  Bytes relativeOnly = {0, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1};
  Fails(FILE_UnflattenAliasRec(relativeOnly.data(), 16, &alias), FILE_ErrBadData, kSiteUnflattenAlias,
        "relative aliases require full path -- internal structure damaged.");

  struct Bad {
    const char* why;
    Bytes bytes;
  } bad[] = {
      {"path field without its leading colon", Concat({{0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}, Str("/ab"), {0}})},
      {"path field without its terminator", Concat({{0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}, Str(":ab!")})},
      {"zero inside the path", Concat({{0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}, Str(":a"), {0, 0}})},
      {"path length without the path flag", Concat({{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0}, Str(":ab"), {0}})},
      {"platform data size without its flag", {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 'x'}},
      {"unknown flags", {0, 1, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"version 0", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"huge platform data size", {0, 1, 0, 2, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
      {"native tag with a relative path",
       Concat({{0, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 6, 4, 0}, Str(":ab"), {0}, Str("LNXPab")})},
  };
  for (const Bad& b : bad) {
    alias = reinterpret_cast<FILE_AliasH>(1);
    EXPECT_EQ(Unflatten(b.bytes, &alias), FILE_ErrBadData) << b.why;
    EXPECT_EQ(alias, nullptr) << b.why;
  }
  rec.clear();

  // Random damage never crashes and never leaves a half-made record.
  std::mt19937 rng(1234);
  for (int i = 0; i < 3000; ++i) {
    Bytes m = good;
    int flips = 1 + static_cast<int>(rng() % 3);
    for (int f = 0; f < flips; ++f) m[rng() % m.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    alias = nullptr;
    ErrorCode err = Unflatten(m, &alias);
    if (err) {
      EXPECT_EQ(alias, nullptr);
    } else {
      // Whatever was accepted flattens to a record that reads back the same.
      Bytes again = Flat(alias);
      FILE_DisposeAliasRec(alias);
      ASSERT_EQ(Unflatten(again, &alias), 0);
      EXPECT_EQ(Flat(alias), again);
      FILE_DisposeAliasRec(alias);
    }
  }
  rec.clear();
}

TEST_F(FileAliasBytes, WrittenToAndReadFromFiles) {
  FILE_AliasH a = OUT(NewAliasFromPath, "/x/y.mov", MakeFourCC("MooV"), "");
  FILE_AliasH b = OUT(NewAliasFromPath, "c:\\proj\\z.tif", 0, "");
  Write(P("aliases"), "");
  FILE_SpecH f = Opened("aliases");
  ASSERT_EQ(FILE_WriteAliasRec(f, a), 0);
  ASSERT_EQ(FILE_WriteAliasRec(f, b), 0);
  ASSERT_EQ(FILE_SetPos(f, 0), 0);
  FILE_AliasH ra = OUT(FILE_ReadAliasRec, f);
  FILE_AliasH rb = OUT(FILE_ReadAliasRec, f);
  EXPECT_EQ(Flat(ra), Flat(a));
  EXPECT_EQ(Flat(rb), Flat(b));
  FILE_AliasH none = nullptr;
  EXPECT_EQ(FILE_ReadAliasRec(f, &none), 786);
  EXPECT_EQ(none, nullptr);
  rec.clear();
  for (FILE_AliasH h : {a, b, ra, rb}) FILE_DisposeAliasRec(h);

  // A header that claims more than the file holds is refused before reading.
  ASSERT_EQ(FILE_SetSize(f, 0), 0);
  Bytes header = {0, 1, 0, 2, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 'x'};
  ASSERT_EQ(FILE_NWrite(f, static_cast<int32_t>(header.size()), header.data()), 0);
  ASSERT_EQ(FILE_SetPos(f, 0), 0);
  EXPECT_EQ(FILE_ReadAliasRec(f, &none), FILE_ErrBadData);
  EXPECT_EQ(none, nullptr);
  ExpectReport(kSiteReadAlias, "Test error: alias record is damaged -- internal structure damaged.");
  ASSERT_EQ(FILE_Close(f), 0);
}

using FileRelative = FileTest;

struct Relation {
  Boolean32 same;
  int32_t levels, offset;
  bool operator==(const Relation&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Relation& r) {
  return out << "{" << r.same << ", " << r.levels << ", " << r.offset << "}";
}
Relation Compare(const std::string& project, const std::string& footage) {
  Relation r{9, 9, 9};
  EXPECT_EQ(FILE_CompareRelativePaths(project.c_str(), footage.c_str(), &r.same, &r.levels, &r.offset), 0);
  return r;
}
std::string ResolveRel(const std::string& project, const std::string& stored, int32_t levels, int32_t offset,
                       int32_t size = FILE_MaxPath) {
  std::vector<char> out(static_cast<size_t>(size), '?');
  EXPECT_EQ(FILE_ResolveRelativePaths(project.c_str(), stored.c_str(), levels, offset, out.data(), size), 0);
  return out.data();
}

TEST_F(FileRelative, RelationsOfWindowsAndLinuxPaths) {
  const struct {
    const char *project, *footage;
    Relation want;
  } cases[] = {
      {"c:\\proj\\sub\\p.dat", "c:\\proj\\media\\b.mov", {1, 2, 8}},
      {"C:\\Proj\\Sub\\p.dat", "c:\\proj\\media\\b.mov", {1, 2, 8}},  // Windows names ignore case
      {"c:\\proj\\p.dat", "d:\\proj\\b.mov", {0, 0, 0}},
      {"\\\\srv\\share\\p.dat", "\\\\srv\\share\\m\\b.mov", {1, 1, 12}},
      {"/home/u/proj/p.dat", "/home/u/media/b.mov", {1, 2, 8}},
      {"/a/media/p.dat", "/a/Media/x.mov", {1, 2, 3}},  // Linux names keep case
      {"/p.dat", "/media/b.mov", {1, 1, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(Compare(c.project, c.footage), c.want) << c.project;
  EXPECT_FALSE(Compare("/home/p.dat", "c:\\b.mov").same);
  EXPECT_EQ(ResolveRel("d:\\new\\sub\\p.dat", "c:\\proj\\media\\b.mov", 2, 8), "d:\\new\\media\\b.mov");
  EXPECT_EQ(ResolveRel("/mnt/x/proj/p.dat", "/home/u/media/b.mov", 2, 8), "/mnt/x/media/b.mov");
  EXPECT_EQ(ResolveRel("/p.dat", "/media/b.mov", 1, 1), "/media/b.mov");
  // A Windows path from an old project, against a project now on Linux.
  EXPECT_EQ(ResolveRel("/home/u/new/sub/p.dat", "c:\\proj\\media\\b.mov", 2, 8), "/home/u/new/media/b.mov");
}

TEST_F(FileRelative, HostileRelativeDataIsIgnored) {
  const std::string stored = "/old/proj/media/b.mov";
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 1, 10), "/new/proj/media/b.mov");
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 1, 200), "");   // past the stored path
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 1, 21), "");    // nothing left to name
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 1, 7), "");     // not after a separator
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 1, 0), "");
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 0, 10), "");
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 200, 10), "");  // climbs past the root
  EXPECT_EQ(ResolveRel("d:\\p.dat", "c:\\a\\b.mov", 2, 3), "");
  EXPECT_EQ(ResolveRel("relative\\p.dat", "c:\\a\\b.mov", 1, 3), "");
  // A result that does not fit is not cut into another name.
  EXPECT_EQ(ResolveRel("/new/proj/p.dat", stored, 1, 10, 12), "");
  std::string deepProject = "c:\\" + std::string(250, 'p') + "\\p.dat";
  EXPECT_EQ(ResolveRel(deepProject, "c:\\a\\media\\b.mov", 1, 3), "");  // more than 260 characters

  // Relations deeper than one byte are not stored.
  std::string prefix = "/" + std::string(300, 'd');
  EXPECT_EQ(FlatFromPath(prefix + "/media/b.mov", 0, prefix + "/proj/p.dat")[3] & 4, 0);
  EXPECT_TRUE(rec.reports.empty());
}

using FileAliasResolve = FileTest;

TEST_F(FileAliasResolve, MovedProjectFindsItsFootage) {
  MakeDir("proj");
  MakeDir("media");
  Write(P("proj/p.dat"), "");
  Write(P("media/b.mov"), "");
  FILE_AliasH alias = OUT(FILE_NewAliasRec, Ref(P("media/b.mov")), Ref(P("proj/p.dat")));
  EXPECT_TRUE(OUT(FILE_InqLocExist, alias, FILE_LocAlias));
  FILE_SpecH found = nullptr;
  Boolean32 changed = 9;
  ASSERT_EQ(FILE_ResolveAliasRec(alias, nullptr, 0, &found, &changed), 0);
  Keep(found);
  EXPECT_FALSE(changed);

  MakeDir("moved");
  ASSERT_EQ(::rename(P("proj").c_str(), P("moved/proj").c_str()), 0);
  ASSERT_EQ(::rename(P("media").c_str(), P("moved/media").c_str()), 0);
  EXPECT_FALSE(OUT(FILE_InqLocExist, alias, FILE_LocAlias));
  EXPECT_TRUE(rec.reports.empty());

  ASSERT_EQ(FILE_ResolveAliasRec(alias, Ref(P("moved/proj/p.dat")), 0, &found, &changed), 0);
  Keep(found);
  EXPECT_TRUE(changed);
  EXPECT_EQ(NameOf(found), P("moved/media/b.mov"));

  EXPECT_EQ(FILE_ResolveAliasRec(alias, nullptr, 0, &found, &changed), 784);
  EXPECT_EQ(found, nullptr);
  ExpectReport(kSiteResolveAlias, "Test error: file \"" + P("media/b.mov") + "\" not found (310).");
  EXPECT_EQ(FILE_New(alias, FILE_LocAlias, &found), 784);
  rec.clear();
  FILE_DisposeAliasRec(alias);
}

TEST_F(FileAliasResolve, WindowsPathFromAnOldProject) {
  MakeDir("sub");
  MakeDir("media");
  Write(P("media/b.mov"), "");
  Bytes flat = Concat({{0, 1, 0, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 21, 0}, Str(":c::proj:media:b.mov"), {0}, {2, 8}});
  FILE_AliasH alias = OUT(FILE_UnflattenAliasRec, flat.data(), static_cast<int32_t>(flat.size()));
  FILE_SpecH found = nullptr;
  Boolean32 changed = OUT(FILE_ResolveAliasRec, alias, Ref(P("sub/p.dat")), 0, &found);
  Keep(found);
  EXPECT_TRUE(changed);
  EXPECT_EQ(NameOf(found), P("media/b.mov"));
  // The record keeps the Windows path for display and for saving back.
  EXPECT_EQ(FullPathOf(alias), "c:\\proj\\media\\b.mov");
  EXPECT_EQ(Flat(alias), flat);

  // Hostile relative data pointing elsewhere finds nothing rather than a wrong file.
  Bytes hostile = flat;
  hostile[hostile.size() - 1] = 3;  // names a folder that does not hold the file
  FILE_AliasH bad = OUT(FILE_UnflattenAliasRec, hostile.data(), static_cast<int32_t>(hostile.size()));
  Fails(FILE_ResolveAliasRec(bad, Ref(P("sub/p.dat")), 0, &found, &changed), 784, kSiteResolveAlias,
        "file \"c:\\proj\\media\\b.mov\" not found (310).");
  FILE_DisposeAliasRec(bad);

  // Saved into a project elsewhere, a copy leads to the same file; the
  // record and its platform data stay as they were.
  Bytes withData = Concat({{0, 1, 0, 0x0F, 0, 0, 0, 0, 0, 0, 0, 3, 21, 0}, Str(":c::proj:media:b.mov"), {0},
                           Str("xyz"), {2, 8}});
  FILE_AliasH kept = OUT(FILE_UnflattenAliasRec, withData.data(), static_cast<int32_t>(withData.size()));
  ASSERT_EQ(SetAliasBase(kept, P("sub/p.dat")), 0);
  MakeDir("sub/deeper");
  FILE_AliasH copy = OUT(RebasedAlias, kept, P("sub/deeper/q.dat"));
  OUT(FILE_ResolveAliasRec, copy, Ref(P("sub/deeper/q.dat")), 0, &found);
  Keep(found);
  EXPECT_EQ(NameOf(found), P("media/b.mov"));
  const Bytes copied = Flat(copy);
  EXPECT_EQ(Bytes(copied.begin(), copied.end() - 2), Bytes(withData.begin(), withData.end() - 2));
  EXPECT_EQ(copied.back(), 8);
  EXPECT_EQ(copied[copied.size() - 2], 3) << "one folder more to climb";
  EXPECT_EQ(Flat(kept), withData);
  FILE_DisposeAliasRec(copy);
  // No relative data leads there from a project on another path: the copy
  // keeps the full path alone.
  copy = OUT(RebasedAlias, kept, "/elsewhere/q.dat");
  EXPECT_EQ(Flat(copy)[3], 0x0B);
  FILE_DisposeAliasRec(copy);
  FILE_DisposeAliasRec(kept);
  FILE_DisposeAliasRec(alias);
  EXPECT_TRUE(rec.reports.empty());
}

struct HostLog {
  std::string prompt, missing, answer;
  std::vector<std::string> many;
  int32_t result = 0;
};
HostLog* gHost = nullptr;

int32_t Locate(intptr_t, const char* prompt, const char* missing, char* path) {
  gHost->prompt = prompt;
  gHost->missing = missing;
  std::strcpy(path, gHost->answer.c_str());
  return gHost->result;
}
int32_t OpenOne(intptr_t, const char* prompt, char* path) {
  gHost->prompt = prompt;
  std::strcpy(path, gHost->answer.c_str());
  return gHost->result;
}
int32_t OpenMany(intptr_t, const char*, char* paths, int32_t maxPaths, int32_t* count) {
  *count = 0;
  for (const std::string& p : gHost->many) {
    if (*count == maxPaths) break;
    std::strcpy(paths + static_cast<size_t>(*count) * FILE_MaxPath, p.c_str());
    ++*count;
  }
  return gHost->result;
}
int32_t Save(intptr_t, const char*, const char* defaultName, char* path) {
  std::strcpy(path, (gHost->answer + "/" + defaultName).c_str());
  return gHost->result;
}

TEST_F(FileAliasResolve, InteractiveHooks) {
  FILE_SpecH ref = reinterpret_cast<FILE_SpecH>(1);
  EXPECT_EQ(OUT(FILE_DoOpenInteractiveSingle, "Open"), nullptr);  // no host: cancelled
  Handle many = nullptr;
  int32_t count = 5;
  ASSERT_EQ(FILE_DoOpenInteractiveMultiple("Open", &many, &count), 0);
  EXPECT_EQ(many, nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(OUT(FILE_DoSaveInteractive, "Save", "x"), nullptr);
  EXPECT_FALSE(OUT(FILE_NavServicesAvailable));

  HostLog host;
  gHost = &host;
  FILE_HostProcs procs{};
  procs.locate = &Locate;
  procs.openSingle = &OpenOne;
  procs.openMultiple = &OpenMany;
  procs.save = &Save;
  ASSERT_EQ(FILE_SetHostProcs(&procs), 0);

  Write(P("found.mov"), "");
  host.answer = P("found.mov");
  FILE_AliasH alias = OUT(NewAliasFromPath, "/nowhere/lost.mov", 0, "");
  Boolean32 changed = OUT(FILE_ResolveAliasRec, alias, nullptr, 1, &ref);
  Keep(ref);
  EXPECT_TRUE(changed);
  EXPECT_EQ(host.prompt, "Please find file \"/nowhere/lost.mov\".");
  EXPECT_EQ(host.missing, "/nowhere/lost.mov");
  host.result = 1;  // the user cancels
  EXPECT_EQ(FILE_New(alias, FILE_LocAliasInteract, &ref), 784);
  rec.clear();
  FILE_DisposeAliasRec(alias);

  host.result = 0;
  ASSERT_NE(Keep(OUT(FILE_DoOpenInteractiveSingle, "Open")), nullptr);
  EXPECT_EQ(host.prompt, "Open");
  host.many = {P("found.mov"), P("other.mov")};
  ASSERT_EQ(FILE_DoOpenInteractiveMultiple("Open", &many, &count), 0);
  ASSERT_EQ(count, 2);
  for (int32_t i = 0; i < count; ++i) FILE_Dispose(reinterpret_cast<FILE_SpecH*>(*many)[i]);
  DisposeHandle(many);
  host.answer = dir;
  ASSERT_NE(Keep(OUT(FILE_CreateLocSaveInteractive, "Save", "made.dat")), nullptr);
  EXPECT_TRUE(std::filesystem::exists(P("made.dat")));
  ASSERT_EQ(FILE_SetHostProcs(nullptr), 0);
  gHost = nullptr;
  EXPECT_TRUE(rec.reports.empty());
}

}  // namespace
}  // namespace tv::test
