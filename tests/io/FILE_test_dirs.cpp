// Folder enumeration, names and extensions, the extension map and mapping
// functions, volumes and free space, and dates.
#include <fcntl.h>

#include <cstring>
#include <ctime>

#include "FILE_internal.h"
#include "FILE_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::file;

class FileFolders : public FileTest {
 protected:
  static std::vector<std::string> Names(FILE_SpecH folder) {
    std::vector<std::string> names;
    int32_t count = OUT(FILE_DirFileCount, folder);
    for (int32_t i = 1; i <= count; ++i) {
      FILE_SpecH r = OUT(FILE_DirInqFileSpec, folder, i);
      names.push_back(NameOf(r, FILE_NameOnly));
      FILE_Dispose(r);
    }
    return names;
  }
};

// The listing is sorted byte-wise; a change made behind the package's back
// moves the folder's stamp, and the listing follows it.
TEST_F(FileFolders, ListingsAreSortedByteWiseAndFollowChanges) {
  for (const char* n : {"b", "c", "B", "10", "9"}) Write(P(n), "");
  FILE_SpecH folder = Ref(dir);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"10", "9", "B", "b", "c"}));
  FILE_SpecH r = nullptr;
  Fails(FILE_DirInqFileSpec(folder, 0, &r), 784, kSiteDirInqFileSpec,
        "no entry 0 in directory \"" + dir + "\" (310).");
  EXPECT_EQ(FILE_DirInqFileSpec(folder, 6, &r), 784);
  rec.clear();
  struct timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 100, 0}};
  ::unlink(P("b").c_str());
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), later, 0), 0);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"10", "9", "B", "c"}));
}

TEST_F(FileFolders, FolderOnlyOperationsOnFiles) {
  FILE_SpecH f = Made("f", "");
  int32_t count = -1;
  EXPECT_EQ(FILE_DirFileCount(f, &count), 770);
  EXPECT_EQ(count, 0);
  ExpectReport(kSiteDirFileCount, "Test error: file count allowed on directory only (302).");
  FILE_SpecH r = nullptr;
  Fails(FILE_DirInqFileSpec(f, 1, &r), 770, kSiteDirInqFileSpec, "indexing allowed on directory only (302).");
  Fails(FILE_DirInqFileSpecByName(Ref(dir), "missing", &r), 784, kSiteDirByName,
        "file \"" + P("missing") + "\" not found (310).");
  EXPECT_TRUE(Same(Keep(OUT(FILE_DirInqFileSpecByName, Ref(dir), "f")), f));
  Fails(FILE_SetFileType(Ref(dir), MakeFourCC("TEXT"), 0), 769, kSiteSetFileType,
        "unable to set file type of directory (301).");
}

TEST_F(FileFolders, SymbolicLinksAreAliases) {
  Write(P("target"), "t");
  ASSERT_EQ(::symlink(P("target").c_str(), P("link").c_str()), 0);
  ASSERT_EQ(::symlink(P("gone").c_str(), P("broken").c_str()), 0);
  FILE_SpecH link = Ref(P("link"));
  Boolean32 was = OUT(FILE_ResolveFinderAlias, link);
  EXPECT_TRUE(was);
  EXPECT_EQ(NameOf(link, FILE_NameOnly), "target");
  EXPECT_FALSE(OUT(FILE_ResolveFinderAlias, link));
  Fails(FILE_ResolveFinderAlias(Ref(P("broken")), &was), 784, kSiteFinderAlias,
        "resolving alias file \"" + P("broken") + "\" -- file not found (-43).");
}

TEST(FileNames, CleaningReplacesTheNineCharactersAndCutsOnCharacters) {
  const auto clean = [](const std::string& in, ErrorCode (*fn)(char*) = FILE_CleanFilename) {
    char name[400];
    std::strcpy(name, in.c_str());
    EXPECT_EQ(fn(name), 0);
    return std::string(name);
  };
  EXPECT_EQ(clean("a/b:c"), "a-b-c");
  EXPECT_EQ(clean("\\/:*?\"<>|x", FILE_CleanFilenameXplat), "---------x");
  EXPECT_EQ(clean(std::string(300, 'n')).size(), 255u);
  // 254 bytes and a two-byte character: the character does not fit whole.
  EXPECT_EQ(clean(std::string(254, 'n') + "\xC3\xA9").size(), 254u);
  EXPECT_EQ(clean(std::string(253, 'n') + "\xC3\xA9z"), std::string(253, 'n') + "\xC3\xA9");
}

TEST(FileNames, Extensions) {
  char ext[FILE_MaxName + 1];
  int32_t length = -1;
  struct Case {
    const char* name;
    const char* ext;
  } cases[] = {{"clip.MOV", ".mov"}, {"noext", ""}, {"a.b.c", ".c"}, {".hidden", ".hidden"}, {"end.", "."}};
  for (const Case& c : cases) {
    ASSERT_EQ(FILE_ExtFromName(c.name, ext, &length), 0);
    EXPECT_STREQ(ext, c.ext) << c.name;
    EXPECT_EQ(length, static_cast<int32_t>(std::strlen(c.ext))) << c.name;
  }
  EXPECT_EQ(OUT(FILE_InqSeparator), '/');
}

using FileTypes = FileTest;

Boolean32 MapEverything(intptr_t refcon, const char*, const char* extension, FourCC* type, FourCC* creator) {
  ++*reinterpret_cast<int*>(refcon);
  if (std::strcmp(extension, ".fn") != 0) return 0;
  *type = MakeFourCC("FUNC");
  *creator = MakeFourCC("test");
  return 1;
}

TEST_F(FileTypes, ExtensionMapComesBeforeTheFunctions) {
  int calls = 0;
  ASSERT_EQ(FILE_AddFiletypeMapFunc(&MapEverything, reinterpret_cast<intptr_t>(&calls)), 0);
  ASSERT_EQ(FILE_AddExtensionMap(".MOV", MakeFourCC("MooV"), MakeFourCC("TVQT")), 0);
  ASSERT_EQ(FILE_AddExtensionMap("fn", MakeFourCC("MAPD"), 0), 0);
  FourCC type = 1, creator = 1;
  ASSERT_EQ(FILE_InqFileType(Ref(P("clip.mov")), &type, &creator), 0);
  EXPECT_EQ(type, MakeFourCC("MooV"));
  EXPECT_EQ(creator, MakeFourCC("TVQT"));
  ASSERT_EQ(FILE_InqFileType(Ref(P("x.fn")), &type, &creator), 0);
  EXPECT_EQ(type, MakeFourCC("MAPD"));
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(FILE_InqFileType(Ref(P("x.other")), &type, &creator), 0);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(calls, 1);
  // Re-adding an extension replaces its entry.
  ASSERT_EQ(FILE_AddExtensionMap("mov", MakeFourCC("MOV2"), 0), 0);
  ASSERT_EQ(FILE_InqFileType(Ref(P("b.MOV")), &type, &creator), 0);
  EXPECT_EQ(type, MakeFourCC("MOV2"));
  ASSERT_EQ(FILE_RemoveFiletypeMapFunc(&MapEverything, reinterpret_cast<intptr_t>(&calls)), 0);
  Fails(FILE_RemoveFiletypeMapFunc(&MapEverything, reinterpret_cast<intptr_t>(&calls)), 3, kSiteRemoveMapFunc,
        "filetype mapping function not found, and thus not removed -- a bad parameter was passed.");
}

TEST_F(FileTypes, MapLimits) {
  for (int i = 0; i < FILE_MaxExtensionMaps; ++i) {
    // Appended rather than `"e" + std::to_string(i)`: GCC 12 at -O3 raises a
    // false -Wrestrict warning on the inlined string insert.
    std::string ext = "e";
    ext += std::to_string(i);
    ASSERT_EQ(FILE_AddExtensionMap(ext.c_str(), static_cast<FourCC>(i), 0), 0) << i;
  }
  Fails(FILE_AddExtensionMap("one-more", 1, 0), 10, kSiteAddExtensionMap,
        "too many file extension mapping table entries -- internal value out of range.");
  ASSERT_EQ(FILE_AddExtensionMap("e5", 99, 0), 0);  // replacing needs no new entry
  Fails(FILE_AddExtensionMap("ninechars", 1, 0), 3, kSiteAddExtensionMap,
        "file extension \"ninechars\" is longer than 8 characters -- a bad parameter was passed.");
  EXPECT_EQ(FILE_AddExtensionMap(".", 1, 0), 3);
  rec.clear();
  ResetState();
  ASSERT_EQ(FILE_AddExtensionMap("eightchr", 1, 0), 0);

  for (int i = 0; i < FILE_MaxFiletypeMapFuncs; ++i) ASSERT_EQ(FILE_AddFiletypeMapFunc(&MapEverything, i), 0);
  Fails(FILE_AddFiletypeMapFunc(&MapEverything, 99), 10, kSiteAddMapFunc,
        "too many filetype mapping functions -- internal value out of range.");
}

using FileVolumes = FileTest;

TEST_F(FileVolumes, VolumeNamesOfFullPaths) {
  struct Case {
    const char* path;
    const char* volume;
  } cases[] = {
      {"c:\\x", "c:"},
      {"\\\\srv\\share\\x.mov", "\\\\srv\\share"},
      {"\\\\srv\\share", "\\\\srv\\share"},
      {"x\\y", ""},
      {"/home/u/a.mov", "/"},
      {"", ""},
  };
  char name[FILE_VolNameSize];
  for (const Case& c : cases) {
    ASSERT_EQ(FILE_GetVolumeNameFromFullPath(c.path, name), 0);
    EXPECT_STREQ(name, c.volume) << c.path;
  }
  // At most 64 characters are examined.
  std::string unc = "\\\\" + std::string(70, 's') + "\\share\\x";
  ASSERT_EQ(FILE_GetVolumeNameFromFullPath(unc.c_str(), name), 0);
  EXPECT_EQ(std::string(name), unc.substr(0, 64));
}

TEST_F(FileVolumes, FreeSpaceFromTheProvider) {
  std::string asked;
  uint64_t freeBytes = 5000;
  SetVolumeSpaceProvider([&](const std::string& path, uint64_t* f, uint64_t* t) {
    asked = path;
    *f = freeBytes;
    *t = freeBytes * 2;
    return 0;
  });
  FILE_SpecH a = Made("a", std::string(300, 'x'));
  EXPECT_EQ(OUT(FILE_InqVolSpaceAvailable, a), 5000u);
  EXPECT_EQ(asked, P("a"));
  EXPECT_EQ(OUT(FILE_InqVolSpacePlusAvailable, a), 5300u);
  uint32_t kb = OUT(FILE_InqVolKBAvailable, a);
  EXPECT_EQ(kb, 4u);
  freeBytes = uint64_t{1} << 45;  // 32 TiB: more KB than 32 bits hold
  EXPECT_EQ(OUT(FILE_InqVolKBAvailable, a), 0xFFFFFFFFu);

  SetVolumeSpaceProvider([](const std::string&, uint64_t*, uint64_t*) { return EIO; });
  EXPECT_EQ(FILE_InqVolKBAvailable(a, &kb), -36);
  EXPECT_EQ(kb, 0u);
  ExpectReport(kSiteVolSpace,
               "Test error: finding free space for file \"" + P("a") + "\" -- disk error (I/O error; bad media) (-36).");

  SetVolumeSpaceProvider(nullptr);
  EXPECT_GT(OUT(FILE_InqVolSpaceAvailable, a), 0u);
}

TEST_F(FileVolumes, MountTable) {
  int32_t count = OUT(FILE_VolCount);
  ASSERT_GE(count, 1);
  EXPECT_EQ(NameOf(Keep(OUT(FILE_InqVolSpec, 1))), "/");
  EXPECT_EQ(NameOf(Ref(dir), FILE_NameVolume)[0], '/');
  FILE_SpecH none = nullptr;
  EXPECT_EQ(FILE_InqVolSpec(count + 1, &none), -35);
  EXPECT_EQ(none, nullptr);
  rec.clear();
}

using FileDates = FileTest;

class UtcZone {
 public:
  UtcZone() {
    const char* tz = std::getenv("TZ");
    if (tz) saved_ = tz, had_ = true;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  ~UtcZone() {
    if (had_)
      ::setenv("TZ", saved_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST_F(FileDates, ValuesAndSpecs) {
  UtcZone utc;
  FILE_DateSpec spec;
  auto fields = [](const FILE_DateSpec& d) {
    return std::vector<int>{d.year, d.month, d.day, d.hour, d.minute, d.second, d.dayOfWeek};
  };
  ASSERT_EQ(FILE_DateValue2DateSpec(1000000000u, &spec), 0);
  EXPECT_EQ(fields(spec), (std::vector<int>{2001, 9, 9, 1, 46, 40, 0}));  // a Sunday
  FILE_DateValue value = OUT(FILE_DateSpec2DateValue, &spec);
  EXPECT_EQ(value, 1000000000u);
  ASSERT_EQ(FILE_DateValue2DateSpec(0, &spec), 0);
  EXPECT_EQ(spec.year, 1970);
  EXPECT_EQ(spec.dayOfWeek, 4);  // a Thursday
  ASSERT_EQ(FILE_DateValue2DateSpec(0xFFFFFFFFu, &spec), 0);
  EXPECT_EQ(spec.year, 2106);
  spec.month = 13;
  EXPECT_EQ(FILE_DateSpec2DateValue(&spec, &value), 3);
  EXPECT_EQ(value, 0u);
  rec.clear();
  // Days that the month does not have are refused, never carried into the next.
  struct Day {
    uint16_t year;
    uint8_t month, day;
    bool valid;
  };
  const Day days[] = {{2023, 2, 31, false}, {2023, 2, 29, false}, {2024, 2, 29, true},  {2100, 2, 29, false},
                      {2000, 2, 29, true},  {2023, 4, 31, false}, {2023, 4, 30, true},  {2023, 12, 31, true},
                      {2023, 1, 0, false},  {2023, 6, 31, false}, {2023, 11, 31, false}, {2023, 7, 31, true}};
  for (const Day& d : days) {
    SCOPED_TRACE(std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day));
    FILE_DateSpec in{};
    in.year = d.year, in.month = d.month, in.day = d.day, in.hour = 12;
    value = 1;
    if (!d.valid) {
      EXPECT_EQ(FILE_DateSpec2DateValue(&in, &value), 3);
      EXPECT_EQ(value, 0u);
      ExpectReport(kSiteDates, "Test error: invalid parameter -- a bad parameter was passed.");
      continue;
    }
    ASSERT_EQ(FILE_DateSpec2DateValue(&in, &value), 0);
    FILE_DateSpec out = OUT(FILE_DateValue2DateSpec, value);
    EXPECT_EQ(fields(out), (std::vector<int>{d.year, d.month, d.day, 12, 0, 0, fields(out)[6]}));
  }

  FILE_SpecH a = Made("a", "");
  ASSERT_EQ(FILE_SetModDate(a, 1000000000u), 0);
  EXPECT_EQ(OUT(FILE_InqModDate, a), 1000000000u);
  const FILE_DateValue created = OUT(FILE_InqCreatDate, a);
  EXPECT_LE(created, OUT(FILE_GetDateValueTime));
  EXPECT_GT(created, 0u);
  ASSERT_EQ(FILE_SetCreatDate(a, 5), 0);
  Fails(FILE_InqModDate(Ref(P("none")), &value), 784, kSiteDates,
        "getting information on file \"" + P("none") + "\" -- file not found (-43).");
}

}  // namespace
}  // namespace tv::test
