// References, opening with permissions and the read-only fallback, reading,
// writing, positions, sizes, and creating, deleting, renaming, copying and
// exchanging files, with the code and text of every failure.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "AtomicFile.h"
#include "FILE_internal.h"
#include "FILE_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::file;

TEST(FilePackage, Translation) {
  const std::pair<ErrorCode, ErrorCode> table[] = {{-54, 790}, {-48, 789}, {-46, 788}, {-45, 787},  {-43, 784},
                                                   {-39, 786}, {-34, 785}, {-44, -44}, {-120, -120}, {0, 0},
                                                   {1234, 1234}};
  for (auto [code, translated] : table) EXPECT_EQ(FILE_TranslateError(code), translated) << code;
}

using FileRefs = FileTest;

TEST_F(FileRefs, EveryLocationKindNamesTheSameFile) {
  FILE_SpecH byPath = Made("a.txt", "x");
  FILE_FlatLoc flat = OUT(FILE_CopyFlatLoc, byPath);
  std::string path = P("a.txt");
  EXPECT_EQ(flat.data[0], 0x46);
  EXPECT_EQ(flat.data[1], 0x4C);
  EXPECT_EQ((flat.data[2] << 8) | flat.data[3], static_cast<int>(path.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(flat.data + 4), path.size()), path);

  FILE_SpecH byFlat = Keep(OUT(FILE_New, &flat, FILE_LocFlat));
  FILE_PlatSpec spec = OUT(FILE_InqLocSpec, byPath);
  EXPECT_EQ(std::string(spec.parentDir), dir);
  EXPECT_EQ(std::string(spec.name), "a.txt");
  FILE_SpecH bySpec = Keep(OUT(FILE_New, &spec, FILE_LocPlatSpec));
  EXPECT_TRUE(Same(byPath, byFlat));
  EXPECT_TRUE(Same(byPath, bySpec));

  // Paths are normalised.
  FILE_SpecH messy = Ref(dir + "//sub/../a.txt/");
  EXPECT_EQ(NameOf(messy), path);
  EXPECT_EQ(NameOf(messy, FILE_NameOnly), "a.txt");
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(FileRefs, BadLocationsAreRefused) {
  FILE_SpecH r = reinterpret_cast<FILE_SpecH>(1);
  EXPECT_EQ(FILE_New(P("a").c_str(), 2, &r), 773);
  EXPECT_EQ(r, nullptr);
  ExpectReport(kSiteNew, "Test error: invalid file location specification (305).");
  Fails(FILE_New(nullptr, FILE_LocFullPath, &r), 772, kSiteNew,
        "invalid specification initialization (304).");
  Fails(FILE_New("relative/path", FILE_LocFullPath, &r), 771, kSiteNew, "invalid file specification (303).");
  FILE_FlatLoc flat{};
  Fails(FILE_New(&flat, FILE_LocFlat, &r), 772, kSiteNew, "invalid specification initialization (304).");
  std::string longName = P(std::string(256, 'n'));
  EXPECT_EQ(FILE_New(longName.c_str(), FILE_LocFullPath, &r), -37);
  EXPECT_EQ(r, nullptr);
  rec.clear();
}

TEST_F(FileRefs, DamagedReferencesAreReported) {
  Handle h = NewHandleClear(sizeof(SpecRec));
  Boolean32 exists = 7;
  EXPECT_EQ(FILE_InqExist(h, &exists), 2);
  EXPECT_EQ(exists, 0);
  ExpectReport(kSiteInqExist, "Test error: internal structure is damaged -- internal structure damaged.");
  reinterpret_cast<SpecRec*>(*h)->head = kSpecHead;  // the tail marker is still wrong
  Fails(FILE_Open(FILE_PermRead, h), 2, kSiteOpen,
        "internal structure is damaged -- internal structure damaged.");
  DisposeHandle(h);
}

TEST_F(FileRefs, RootAndParents) {
  FILE_SpecH root = Ref("/");
  Boolean32 isRoot = OUT(FILE_InqIsRoot, root);
  EXPECT_TRUE(isRoot);
  FILE_SpecH parent = nullptr;
  Fails(FILE_ParentDir(root, 0, &parent), 777, kSiteParentDir,
        "illegal search for parent directory of root (309).");
  FILE_SpecH f = Made("f", "");
  Fails(FILE_InqIsRoot(f, &isRoot), 770, kSiteInqIsRoot, "test for root allowed on directory only (302).");
  parent = Keep(OUT(FILE_ParentDir, f, 0));
  EXPECT_EQ(NameOf(parent), dir);
  EXPECT_FALSE(OUT(FILE_InqIsRoot, parent));
}

using FileOpen = FileTest;

TEST_F(FileOpen, MissingFileReopenAndBadPermission) {
  FILE_SpecH missing = Ref(P("missing"));
  Fails(FILE_Open(FILE_PermRead, missing), 784, kSiteOpen,
        "opening file \"" + P("missing") + "\" -- file not found (-43).");
  EXPECT_EQ(OUT(FILE_InqPlatDepRef, missing),
            FILE_ClosedRefNum);  // a failed open leaves the reference closed

  FILE_SpecH a = Made("a", "abc");
  Fails(FILE_Open(4, a), 3, kSiteOpen,
        "invalid read/write permission specification -- a bad parameter was passed.");
  ASSERT_EQ(FILE_Open(FILE_PermRead, a), 0);
  Fails(FILE_Open(FILE_PermRead, a), 782, kSiteOpen, "cannot reopen an open file (30E).");
  ASSERT_EQ(FILE_Close(a), 0);
  Fails(FILE_Close(a), 783, kSiteClose, "cannot close a closed file (30F).");

  FILE_SpecH folder = Ref(dir);
  Fails(FILE_Open(FILE_PermRead, folder), 769, kSiteOpen, "can not open a directory (301).");
  int32_t count = 4;
  char buf[4];
  EXPECT_EQ(FILE_Read(folder, &count, buf), 769);
  EXPECT_EQ(count, 0);
  ExpectReport(kSiteRead, "Test error: reading allowed from file only (301).");
}

TEST_F(FileOpen, EachPermissionAllowsWhatItSays) {
  FILE_SpecH a = Made("a", "abcdef");
  char buf[8] = {};
  int32_t count = 3;
  ASSERT_EQ(FILE_Open(FILE_PermWrite, a), 0);
  Fails(FILE_Read(a, &count, buf), 790, kSiteRead, "can't access file \"" + P("a") + "\" (316).");
  ASSERT_EQ(FILE_NWrite(a, 3, "XYZ"), 0);
  ASSERT_EQ(FILE_Close(a), 0);
  EXPECT_EQ(Slurp(P("a")), "XYZdef");
}

TEST_F(FileOpen, ReadWriteFallsBackToReadOnly) {
  Write(P("ro"), "data");
  ASSERT_EQ(::chmod(P("ro").c_str(), 0444), 0);
  PermissionChecks checks;
  FILE_SpecH ro = Opened("ro");
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(OUT(FILE_InqPerm, ro), FILE_PermRead);
  EXPECT_TRUE(OUT(FILE_InqReadOnlyFallback, ro));
  EXPECT_TRUE(OUT(FILE_InqFileLocked, ro));
  EXPECT_EQ(Read(ro, 4), "data");
  Fails(FILE_NWrite(ro, 1, "x"), 790, kSiteWrite, "can't access file \"" + P("ro") + "\" (316).");
  EXPECT_EQ(FILE_SetSize(ro, 0), 790);
  rec.clear();
  // Still open and still readable after the refused write.
  EXPECT_EQ(ReadAt(ro, 1, 3), "ata");
  ASSERT_EQ(FILE_Close(ro), 0);
  EXPECT_EQ(Slurp(P("ro")), "data");

  // Asked for writing alone there is no fallback.
  Fails(FILE_Open(FILE_PermWrite, ro), 790, kSiteOpen,
        "opening file \"" + P("ro") + "\" -- you do not have permission to open this file (-54).");
}

using FileData = FileTest;

TEST_F(FileData, ClosedReferencesAndSetBuffer) {
  FILE_SpecH a = Made("a", "abc");
  char buf[4];
  int32_t count = 1;
  Fails(FILE_Read(a, &count, buf), 783, kSiteRead, "cannot read a closed file (30F).");
  Fails(FILE_Write(a, &count, buf), 783, kSiteWrite, "cannot write to a closed file (30F).");
  Fails(FILE_SetPos(a, 0), 783, kSiteSetPos, "cannot set position in a closed file (30F).");
  Fails(FILE_SetBuffer(a, 4096), 783, kSiteSetBuffer, "cannot set buffer for a closed file (30F).");
  ASSERT_EQ(FILE_Open(FILE_PermRead, a), 0);
  Fails(FILE_SetBuffer(a, 4096), 5, kSiteSetBuffer,
        "unimplemented function \"SetBuffer\" -- sorry, this is unimplemented.");
  ASSERT_EQ(FILE_Close(a), 0);
}

TEST_F(FileData, SizesOfForksFilesAndFolders) {
  FILE_SpecH a = Made("a", "12345");
  EXPECT_EQ(OUT(FILE_InqSize, a, FILE_SizeData), 5);
  EXPECT_EQ(OUT(FILE_InqSize, a, FILE_SizeResource), 0);
  int64_t size = -1;
  Fails(FILE_InqSize(a, 7, &size), 3, kSiteInqSize,
        "illegal mode for size inquiry of file \"" + P("a") + "\" -- a bad parameter was passed.");
  Fails(FILE_InqSize(Ref(dir), FILE_SizeData, &size), 769, kSiteInqSize,
        "unable to get size of a directory (301).");
  Fails(FILE_InqSize(Ref(P("none")), FILE_SizeData, &size), 784, kSiteInqSize,
        "finding size of file \"" + P("none") + "\" -- file not found (-43).");

  // The side-car resource fork: absent, then made by writing to it.
  int32_t resRef = 0;
  EXPECT_EQ(FILE_OpenResFile(a, FILE_PermRead, &resRef), -192);
  EXPECT_EQ(resRef, FILE_ClosedRefNum);
  ExpectReport(kSiteOpenResFile,
               "Test error: opening resource fork of file \"" + P("a") + "\" -- resource not found (-192).");
  ASSERT_EQ(FILE_OpenForkWithPermissions(a, FILE_ResourceFork, FILE_PermReadWrite), 0);
  int32_t count = 3;
  ASSERT_EQ(FILE_WriteFork(a, FILE_ResourceFork, &count, "RES"), 0);
  ASSERT_EQ(FILE_SetForkPos(a, FILE_ResourceFork, 1), 0);
  char buf[2];
  count = 2;
  ASSERT_EQ(FILE_ReadFork(a, FILE_ResourceFork, &count, buf), 0);
  EXPECT_EQ(std::string(buf, 2), "ES");
  ASSERT_EQ(FILE_CloseFork(a, FILE_ResourceFork), 0);
  EXPECT_EQ(OUT(FILE_InqSize, a, FILE_SizeTotal), 8);
  EXPECT_NE(OUT(FILE_OpenResFile, a, FILE_PermRead), FILE_ClosedRefNum);
  ASSERT_EQ(FILE_CloseResFile(a), 0);

  ASSERT_EQ(FILE_Open(FILE_PermReadWrite, a), 0);
  ASSERT_EQ(FILE_SetSize(a, 2), 0);
  EXPECT_EQ(OUT(FILE_InqSize, a, FILE_SizeData), 2);
  ASSERT_EQ(FILE_Flush(a), 0);
  ASSERT_EQ(FILE_SynchFiles(a), 0);
  ASSERT_EQ(FILE_Close(a), 0);
  EXPECT_EQ(Slurp(P("a")), "12");
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(FileData, FullDiskFromTheProvider) {
  uint64_t freeBytes = 10;
  SetVolumeSpaceProvider([&](const std::string&, uint64_t* f, uint64_t* t) {
    *f = freeBytes;
    *t = 1000;
    return 0;
  });
  Write(P("a"), "12345");
  FILE_SpecH a = Opened("a");
  std::string big(16, 'x');  // grows the file by 11 bytes
  int32_t count = 16;
  EXPECT_EQ(FILE_Write(a, &count, big.data()), 785);
  EXPECT_EQ(count, 0);
  ExpectReport(kSiteWrite, "Test error: writing to file \"" + P("a") + "\" -- disk is full (-34).");
  // Overwriting in place does not need free space; growing by 10 fits.
  ASSERT_EQ(FILE_NWrite(a, 5, "abcde"), 0);
  ASSERT_EQ(FILE_NWrite(a, 10, big.data()), 0);
  Fails(FILE_SetSize(a, 100), 785, kSiteSetSize,
        "setting size of file \"" + P("a") + "\" -- disk is full (-34).");
  ASSERT_EQ(FILE_Close(a), 0);
  EXPECT_EQ(Slurp(P("a")), "abcde" + std::string(10, 'x'));

  // A copy that does not fit leaves neither the copy nor a temporary file.
  FILE_SpecH copy = Ref(P("copy"));
  Fails(FILE_Copy(a, copy), 785, kSiteCopy, "copying to file \"" + P("copy") + "\" -- disk is full (-34).");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// (A full disk refusing the buffer when it goes out: FileBuffer's
// FailedWriteBackIsReportedOnceAndReturned.)
TEST_F(FileData, PlatformFailuresAreTranslated) {
  // What is not a regular file is refused at once, never waited on.
  ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0644), 0);
  for (int32_t perm : {FILE_PermRead, FILE_PermWrite, FILE_PermReadWrite}) {
    FILE_SpecH pipe = Ref(P("pipe"));
    Fails(FILE_Open(perm, pipe), 769, kSiteOpen,
          "can not open \"" + P("pipe") + "\": it is a named pipe (FIFO), not a file (301).");
  }
  FILE_SpecH device = Ref("/dev/null");
  Fails(FILE_Open(FILE_PermRead, device), 769, kSiteOpen,
        "can not open \"/dev/null\": it is a device, not a file (301).");

  Write(P("plain"), "");
  Fails(FILE_Open(FILE_PermRead, Ref(P("plain/x"))), -120, kSiteOpen,
        "opening file \"" + P("plain/x") + "\" -- no such directory (-120).");
}

using FileOps = FileTest;

TEST_F(FileOps, CreateFilesAndFolders) {
  Write(P("new"), "old contents");
  ASSERT_EQ(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, Ref(P("new"))), 0);
  EXPECT_EQ(Slurp(P("new")), "");
  EXPECT_TRUE(OUT(FILE_InqExist, Ref(P("new"))));
  FILE_SpecH d = Ref(P("folder"));
  ASSERT_EQ(FILE_Create(FILE_CreateFolder, 0, 0, d), 0);
  EXPECT_TRUE(IsDir(d));
  Fails(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, d), 793, kSiteCreate,
        "unable to overwrite busy file/directory (319).");
  Fails(FILE_Create(FILE_CreateFile, 0, 0, Ref(P("nowhere/x"))), -120, kSiteCreate,
        "directory \"" + P("nowhere") + "\" does not exist -- no such directory (-120).");
}

TEST_F(FileOps, CreateInAReadOnlyFolder) {
  ASSERT_EQ(::mkdir(P("locked").c_str(), 0555), 0);
  PermissionChecks checks;
  Fails(FILE_Create(FILE_CreateFile, 0, 0, Ref(P("locked/x"))), 790, kSiteCreate,
        "creating file \"" + P("locked/x") + "\" -- you do not have permission to open this file (-54).");
}

TEST_F(FileOps, DeleteRenameCopyExchange) {
  FILE_SpecH a = Made("a", "AAA"), b = Made("b", "BB");
  MakeFork(a, "R");

  ASSERT_EQ(FILE_Open(FILE_PermRead, a), 0);
  Fails(FILE_Delete(a), 782, kSiteDelete, "unable to delete open file (30E).");
  Fails(FILE_ExchFileData(a, b), 782, kSiteExchange, "cannot exchange an open file (30E).");
  ASSERT_EQ(FILE_Close(a), 0);

  Fails(FILE_Rename(a, "b"), 792, kSiteRename, "file \"" + P("b") + "\" aleady exists (318).");
  EXPECT_EQ(FILE_Rename(a, "x/y"), 771);
  rec.clear();
  ASSERT_EQ(FILE_Rename(a, "c"), 0);
  EXPECT_EQ(NameOf(a, FILE_NameOnly), "c");
  EXPECT_EQ(Slurp(P("c")), "AAA");
  EXPECT_EQ(Slurp(P("c.rsrc")), "R");  // the resource fork follows

  FILE_SpecH copy = Ref(P("copy"));
  ASSERT_EQ(FILE_Copy(a, copy), 0);
  EXPECT_EQ(Slurp(P("copy")), "AAA");
  EXPECT_EQ(Slurp(P("copy.rsrc")), "R");
  Fails(FILE_Copy(a, copy), 792, kSiteCopy, "file \"" + P("copy") + "\" aleady exists (318).");
  Fails(FILE_Copy(Ref(P("none")), Ref(P("copy2"))), 784, kSiteCopy,
        "copying file \"" + P("none") + "\" -- file not found (-43).");

  ASSERT_EQ(FILE_ExchFileData(a, b), 0);
  EXPECT_EQ(Slurp(P("c")), "BB");
  EXPECT_EQ(Slurp(P("b")), "AAA");
  EXPECT_EQ(Slurp(P("b.rsrc")), "R");  // the resource fork goes with the data
  EXPECT_FALSE(Exists("c.rsrc"));
  ASSERT_EQ(FILE_ExchFileData(a, b), 0);
  EXPECT_EQ(Slurp(P("c")), "AAA");
  EXPECT_EQ(Slurp(P("c.rsrc")), "R");
  ASSERT_EQ(FILE_ExchFileData(b, a), 0);
  EXPECT_EQ(Slurp(P("b")), "AAA");

  ASSERT_EQ(FILE_Delete(copy), 0);
  EXPECT_FALSE(Exists("copy") || Exists("copy.rsrc"));
  Fails(FILE_Delete(copy), 784, kSiteDelete, "deleting file \"" + P("copy") + "\" -- file not found (-43).");

  MakeDir("full");
  Write(P("full/x"), "");
  Fails(FILE_Delete(Ref(P("full"))), -47, kSiteDelete,
        "deleting file \"" + P("full") + "\" -- file is busy (delete) (-47).");
  // Nothing but the files made here is left: no temporary files.
  EXPECT_EQ(NamesIn(dir), (std::vector<std::string>{"b", "b.rsrc", "c", "full"}));
}

// Another reference has the file (or only its resource fork) open: creating
// over it or deleting it would take the data from under that reference.
TEST_F(FileOps, DeleteAndReplaceRefuseAFileOpenElsewhere) {
  Write(P("f"), "data");
  FILE_SpecH open = Ref(P("f")), other = Ref(P("f"));
  ASSERT_EQ(FILE_Open(FILE_PermRead, open), 0);
  Fails(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, other), 793, kSiteCreate,
        "unable to overwrite busy file/directory (319).");
  ASSERT_EQ(FILE_Close(open), 0);
  MakeFork(open, "R", false);
  Fails(FILE_Delete(other), 782, kSiteDelete, "unable to delete open file (30E).");
  ASSERT_EQ(FILE_CloseFork(open, FILE_ResourceFork), 0);
  // Closed everywhere: the file goes, and its resource fork with it.
  ASSERT_EQ(FILE_Delete(other), 0);
  EXPECT_FALSE(Exists("f") || Exists("f.rsrc"));
}

// A locked file (one that may not be written) is neither deleted nor replaced.
TEST_F(FileOps, DeleteAndReplaceRefuseALockedFile) {
  Write(P("ro"), "keep");
  ASSERT_EQ(::chmod(P("ro").c_str(), 0444), 0);
  PermissionChecks checks;
  FILE_SpecH ro = Ref(P("ro"));
  ASSERT_TRUE(OUT(FILE_InqFileLocked, ro));
  Fails(FILE_Delete(ro), 787, kSiteDelete, "deleting file \"" + P("ro") + "\" -- file is locked (-45).");
  Fails(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ro), 787, kSiteCreate,
        "replacing file \"" + P("ro") + "\" -- file is locked (-45).");
  EXPECT_EQ(Slurp(P("ro")), "keep");
}

TEST_F(FileOps, DuplicateIsClosedAndFlatLocationsMove) {
  Write(P("a"), "1");
  Write(P("b"), "2");
  FILE_SpecH a = Opened("a", FILE_PermRead);
  FILE_SpecH dup = Keep(OUT(FILE_Duplicate, a));
  EXPECT_EQ(OUT(FILE_InqPlatDepRef, dup), FILE_ClosedRefNum);
  FILE_FlatLoc flat = OUT(FILE_CopyFlatLoc, Ref(P("b")));
  Fails(FILE_UpdateFlatLoc(a, &flat), 782, kSiteUpdateFlatLoc, "cannot relocate an open file (30E).");
  ASSERT_EQ(FILE_UpdateFlatLoc(dup, &flat), 0);
  ASSERT_EQ(FILE_Open(FILE_PermRead, dup), 0);
  EXPECT_EQ(Read(dup, 1), "2");
  int32_t kind = 0;
  ASSERT_EQ(FILE_InqBestLoc(dup, &kind, &flat), 0);
  EXPECT_EQ(kind, FILE_LocFlat);
}

}  // namespace
}  // namespace tv::test
