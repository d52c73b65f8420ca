// Sort directories: the importance comparison, ordered insertion and
// removal, re-sorting, and the directory operations.
#include <algorithm>

#include "MC_internal.h"

namespace tv::mc {

float Importance(const MC_Stuff& s, uint32_t now) {
  // Each term is rounded to single precision and the sum is taken in single
  // precision; the age is unsigned transaction arithmetic.
  const float cost = static_cast<float>(static_cast<double>(s.cost) * 0.16666667);
  const float uses = static_cast<float>(static_cast<double>(s.useCount) * 0.1);
  const float age = static_cast<float>(now - s.lastUse);
  return cost + uses - age;
}

int32_t CompareImportance(const MC_Stuff& a, const MC_Stuff& b, uint32_t now) {
  const bool na = a.flags & MC_Stuff_NeverPurge, nb = b.flags & MC_Stuff_NeverPurge;
  // Two never-purge stuffs compare equal: answering -1 both ways would not
  // be an ordering, and sorting by such a comparison is undefined. The
  // visible order is the same: never-purge stuffs first.
  if (na) return nb ? 0 : -1;
  if (nb) return 1;
  const float d = Importance(b, now) - Importance(a, now);
  return d > 0 ? 1 : d < 0 ? -1 : 0;
}

int32_t Compare(const Dir& d, const MC_Stuff& a, const MC_Stuff& b) {
  if (d.compare) return d.compare(d.reference, &a, &b);
  return CompareImportance(a, b, G().transactions);
}

void InsertSorted(Dir& d, uint32_t index) {
  const std::vector<MC_Stuff>& s = d.bag->stuffs;
  auto at = std::upper_bound(d.order.begin(), d.order.end(), index,
                             [&](uint32_t x, uint32_t y) { return Compare(d, s[x], s[y]) < 0; });
  d.order.insert(at, index);
}

namespace {

// Where the stuff sits in the directory, or -1.
ptrdiff_t Find(const Dir& d, uint32_t index) {
  const auto& o = d.order;
  if (d.compare) {
    // A keyed directory: the stuff sits in the run of entries equal to it.
    const std::vector<MC_Stuff>& s = d.bag->stuffs;
    auto lo = std::lower_bound(o.begin(), o.end(), index,
                               [&](uint32_t x, uint32_t y) { return Compare(d, s[x], s[y]) < 0; });
    for (auto it = lo; it != o.end() && Compare(d, s[*it], s[index]) == 0; ++it)
      if (*it == index) return it - o.begin();
  }
  // The importance directory is purged from its end: search from there.
  for (size_t i = o.size(); i-- > 0;)
    if (o[i] == index) return static_cast<ptrdiff_t>(i);
  return -1;
}

}  // namespace

bool InDir(const Dir& d, uint32_t index) { return Find(d, index) >= 0; }

bool RemoveFromDir(Dir& d, uint32_t index) {
  const ptrdiff_t at = Find(d, index);
  if (at < 0) return false;
  d.order.erase(d.order.begin() + at);
  return true;
}

void Resort(Dir& d) {
  const std::vector<MC_Stuff>& s = d.bag->stuffs;
  if (d.compare) {
    std::stable_sort(d.order.begin(), d.order.end(),
                     [&](uint32_t x, uint32_t y) { return Compare(d, s[x], s[y]) < 0; });
    return;
  }
  // Importance is computed once per stuff, not once per comparison.
  struct Key {
    bool never;
    float importance;
    uint32_t index;
  };
  const uint32_t now = G().transactions;
  std::vector<Key> keys;
  keys.reserve(d.order.size());
  for (uint32_t i : d.order)
    keys.push_back({(s[i].flags & MC_Stuff_NeverPurge) != 0, Importance(s[i], now), i});
  std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.never != b.never) return a.never;
    return a.importance > b.importance;
  });
  for (size_t i = 0; i < keys.size(); ++i) d.order[i] = keys[i].index;
}

}  // namespace tv::mc

using namespace tv;
using namespace tv::mc;

ErrorCode MC_NewSortDir(MC_Bag token, MC_SortFunc compare, intptr_t reference, MC_SortDir* directory) try {
  if (directory) *directory = nullptr;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!directory) return kReport.BadParam(kSiteArgument, {"MC_NewSortDir"});
  auto d = std::make_unique<Dir>();
  const uint64_t t = NewToken(Kind::Dir);
  d->token = t;
  d->bag = bag;
  d->compare = compare;
  d->reference = reference;
  bag->dirs.push_back(t);
  try {
    G().dirs.emplace(t, std::move(d));
  } catch (...) {
    bag->dirs.pop_back();
    throw;
  }
  *directory = reinterpret_cast<MC_SortDir>(t);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_DisposeSortDir(MC_SortDir token) try {
  Dir* d = nullptr;
  if (ErrorCode err = FindDir(token, &d)) return err;
  Bag& bag = *d->bag;
  if (bag.dirs.front() == d->token)
    return kReport.Report(kSiteSortDir, kSevError, kErrBadParam, kTextDisposeImportance);
  std::erase(bag.dirs, d->token);
  const uint64_t t = d->token;
  G().dirs.erase(t);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_SetSortFunc(MC_SortDir token, MC_SortFunc compare, intptr_t reference) try {
  Dir* d = nullptr;
  if (ErrorCode err = FindDir(token, &d)) return err;
  d->compare = compare;
  d->reference = reference;
  Resort(*d);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_AddStuffToSortDir(MC_SortDir token, uint32_t index) try {
  Dir* d = nullptr;
  if (ErrorCode err = FindDir(token, &d)) return err;
  Bag& bag = *d->bag;
  if (ErrorCode err = FindStuff(bag, index, kSiteSortDir)) return err;
  // A stuff checked out read/write is out of every directory until its
  // checkin puts it back; it joins this one then.
  if (bag.stuffs[index].flags & MC_Stuff_CheckedOutRW) {
    for (auto& [t, r] : G().receipts) {
      if (r.readWrite && r.bag == bag.token && r.index == index &&
          std::find(r.dirs.begin(), r.dirs.end(), d->token) == r.dirs.end())
        r.dirs.push_back(d->token);
    }
    return 0;
  }
  if (InDir(*d, index)) return 0;
  Nest nest;
  InsertSorted(*d, index);
  return 0;
} TV_CATCH(MC_PackageNumber)
