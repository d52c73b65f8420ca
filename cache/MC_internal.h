// MC's private state: the registry of bags, sort directories and receipts
// (tokens are serial numbers, never reused, so a disposed one is recognised
// and never read through), the stuff slots and the helpers the files share.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "MC.h"
#include "Package.h"

namespace tv::mc {

enum Site : uint32_t {
  kSiteBirth = 0x01,
  kSiteDeath = 0x02,
  kSiteArgument = 0x03,
  kSiteBag = 0x04,
  kSiteSortDir = 0x05,
  kSiteAdd = 0x06,
  kSiteStuff = 0x07,
  kSitePurge = 0x08,
  kSiteDiskCacheInfo = MC_SiteDiskCacheInfo,
  kSiteDisposeBag = 0x0A,
  kSiteCheckin = 0x0B,
  kSiteDelete = MC_SiteDelete,
  kSiteDamaged = MC_SiteDamaged,
  kSiteCheckout = MC_SiteCheckout,
  kSiteGlobalData = MC_SiteGlobalData,
};

// Texts 0..17 are the package's message table 1..18.
enum TextIndex : int32_t {
  kTextBag,                 // 1
  kTextDamaged,             // 2
  kTextDamagedBag,          // 3
  kTextDamagedDir,          // 4
  kTextDamagedGlobal,       // 5
  kTextNonEmpty,            // 6
  kTextDisposeGlobal,       // 7
  kTextDiskCache,           // 8
  kTextSortDir,             // 9
  kTextDeleteCheckedOut,    // 10
  kTextAlreadyRW,           // 11
  kTextCannotRW,            // 12
  kTextDamagedReceipt,      // 13
  kTextReceipt,             // 14
  kTextSearchImportance,    // 15
  kTextDisposedDir,         // 16
  kTextNotFound,            // 17
  kTextDisposeImportance,   // 18
  kTextDisposedSlot,
  kTextBadArgument,
  kTextUnbalanced,
  kTextMissingDiskProcs,
  kTextCount
};

extern const pkg::Reporter kReport;

constexpr uint32_t kPackageMark = 0x2FADE0FF;
constexpr uint32_t kBagMark = 0xC0DE2D1E;
constexpr uint32_t kReceiptMark = 0x02BAF1EA;
constexpr uint32_t kNoIndex = MC_NoIndex;
constexpr uint32_t kPackageFlags = MC_Stuff_NeverPurge | MC_Stuff_MayGoToDisk | MC_Stuff_CheckedOutRW | MC_Stuff_Free;

// Token kinds in the top byte of a token, so a token of one kind is never
// taken for another.
enum class Kind : uint64_t { Bag = 1, Dir = 2, Receipt = 3 };

struct Bag;

struct Dir {
  uint64_t token = 0;
  Bag* bag = nullptr;
  MC_SortFunc compare = nullptr;  // null: importance
  intptr_t reference = 0;
  std::vector<uint32_t> order;   // stuff indices
};

struct Bag {
  uint32_t mark = kBagMark;
  uint64_t token = 0;
  std::vector<MC_Stuff> stuffs;  // a free slot's useCount holds the next free slot
  std::vector<uint64_t> dirs;    // tokens; the first is the importance directory
  uint32_t freeHead = kNoIndex;
  uint32_t count = 0;
  uint32_t diskA = 0, diskB = 0;
  uint32_t diskBytes = 0;
  int64_t lastReloadSize = 0;
  int64_t reloadTicks = 0;
  uint32_t sortedAt = 0;  // transaction count of the last importance re-sort
  bool sortedOnce = false;
  int64_t bytes = 0;
  int64_t hits = 0, misses = 0, purges = 0;
};

struct Receipt {
  uint32_t mark = kReceiptMark;
  uint64_t bag = 0;
  uint32_t index = kNoIndex;
  bool readWrite = false;
  std::vector<uint64_t> dirs;  // read/write: the directories the stuff left
  bool hasNewValue = false;
  VAL_Value newValue{};
};

struct State {
  uint32_t mark = 0;
  intptr_t value1 = 0, value2 = 0;
  uint32_t transactions = 0;
  int32_t nesting = 0;
  uint64_t nextSerial = 1;
  Bag* global = nullptr;
  std::unordered_map<uint64_t, std::unique_ptr<Bag>> bags;
  std::unordered_map<uint64_t, std::unique_ptr<Dir>> dirs;
  std::unordered_map<uint64_t, Receipt> receipts;
};

State& G();
bool Alive();
uint64_t NewToken(Kind kind);

// Nesting of package operations (memory freeing acts only when outermost).
struct Nest {
  Nest() { ++G().nesting; }
  ~Nest() { --G().nesting; }
  Nest(const Nest&) = delete;
  Nest& operator=(const Nest&) = delete;
};

// Look-ups: 0 and the object, or the reported failure (2 for a dead package
// or a disposed token).
ErrorCode CheckAlive();
ErrorCode FindBag(MC_Bag token, Bag** bag);
ErrorCode FindDir(MC_SortDir token, Dir** dir);
ErrorCode FindStuff(Bag& bag, uint32_t index, uint32_t site);
inline MC_Bag BagToken(const Bag& b) { return &b == G().global ? MC_GlobalBag : reinterpret_cast<MC_Bag>(b.token); }
inline Dir* DirOf(uint64_t token) {
  auto it = G().dirs.find(token);
  return it == G().dirs.end() ? nullptr : it->second.get();
}

// Stuffs and directories (MC_stuffs.cpp, MC_dirs.cpp).
float Importance(const MC_Stuff& s, uint32_t now);
int32_t CompareImportance(const MC_Stuff& a, const MC_Stuff& b, uint32_t now);
int32_t Compare(const Dir& d, const MC_Stuff& a, const MC_Stuff& b);
void InsertSorted(Dir& d, uint32_t index);
// Whether the stuff was in the directory (it is not afterwards).
bool RemoveFromDir(Dir& d, uint32_t index);
bool InDir(const Dir& d, uint32_t index);
void Resort(Dir& d);
int64_t BytesOf(const MC_Stuff& s);
// Takes the stuff out of its directories, disposes its value and frees the slot.
void FreeSlot(Bag& bag, uint32_t index);
ErrorCode DeleteStuff(Bag& bag, uint32_t index);
ErrorCode NewBag(uint32_t blockSize, uint32_t blocks, Bag** out);
void DestroyBag(Bag& bag);
// Purges one stuff: 0 kept, 1 removed, 2 released.
int32_t PurgeOne(Bag& bag, uint32_t index);

}  // namespace tv::mc
