// Numbered still sequences: the frame number of a file name (its last run of
// digits before the extension), the "[#]" pattern that names a sequence, and
// gathering every file of a folder that fits it in one sorted pass, with the
// duplicate and missing frames counted.
#include <algorithm>
#include <cstring>

#include "PIN_internal.h"
#include "Scratch.h"

namespace tv::pin {

SequenceName ParseSequenceName(std::string_view name) {
  SequenceName r;
  const size_t dot = name.rfind('.');
  r.stemEnd = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
  // Digits are single bytes in UTF-8 and never part of a longer character.
  size_t end = r.stemEnd;
  while (end > 0 && !(name[end - 1] >= '0' && name[end - 1] <= '9')) --end;
  if (end == 0) return r;
  size_t start = end;
  while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
  r.hasDigits = true;
  r.runStart = start;
  r.runLength = end - start;
  // Frame numbers are 64-bit: names such as dates and times with seconds
  // (14 digits) are common and overflow 32 bits. A run that overflows 64 bits
  // is not a valid sequence name.
  uint64_t v = 0;
  for (size_t i = start; i < end; ++i) {
    const uint64_t digit = static_cast<uint64_t>(name[i] - '0');
    if (v > (UINT64_MAX - digit) / 10) {
      r.valid = false;
      return r;
    }
    v = v * 10 + digit;
  }
  r.number = v;
  return r;
}

bool SamePattern(std::string_view pattern, const SequenceName& p, std::string_view name,
                 const SequenceName& n) {
  if (!p.hasDigits || !n.hasDigits) {
    // Names without digits: the same extension, both without digits.
    if (p.hasDigits || n.hasDigits) return false;
    return pattern.substr(p.stemEnd) == name.substr(n.stemEnd);
  }
  if (!n.valid) return false;
  // A name that is nothing but its digit run matches the other names made of
  // digits alone with the same extension (taking such a name as a literal
  // pattern would gather a sequence of one file from a folder of frames).
  return pattern.substr(0, p.runStart) == name.substr(0, n.runStart) &&
         pattern.substr(p.runStart + p.runLength) == name.substr(n.runStart + n.runLength);
}

namespace {

struct Listed {
  FileEntry entry;
  SequenceName parsed;
  bool isDir;
};

// Case-blind comparison of ASCII letters (other bytes compare as they are).
int CompareNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned ca = static_cast<uint8_t>(*a), cb = static_cast<uint8_t>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 32;
    if (cb >= 'A' && cb <= 'Z') cb += 32;
    if (ca != cb || ca == 0) return static_cast<int>(ca) - static_cast<int>(cb);
  }
}

ErrorCode ListFolder(FILE_SpecH dir, ScratchArray<Listed>& out, int32_t* count) {
  *count = 0;
  int32_t n = 0;
  if (ErrorCode err = FILE_DirFileCount(dir, &n)) return err;
  if (n == 0) return 0;
  if (!out.Allocate(static_cast<size_t>(n), true))
    return kReport.OutOfMemory(kSiteGather, kTextMemoryFileList, out.failedBytes());
  for (int32_t i = 0; i < n; ++i) {
    FILE_SpecH ref = nullptr;
    if (ErrorCode err = FILE_DirInqFileSpec(dir, i + 1, &ref)) return err;
    Listed& l = out[static_cast<size_t>(i)];
    Boolean32 isDir = 0;
    ErrorCode err = FILE_InqName(ref, FILE_NameOnly, l.entry.name, sizeof l.entry.name);
    if (!err) err = FILE_InqIsDir(ref, &isDir);
    FILE_Dispose(ref);
    if (err) return err;
    l.isDir = isDir != 0;
    l.parsed = ParseSequenceName(l.entry.name);
    l.entry.number = l.parsed.number;
    if (ErrorCode abort = Progress(i + 1, n)) return abort;
  }
  *count = n;
  return 0;
}

int32_t Clamp32(uint64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

}  // namespace

ErrorCode GatherSequence(FILE_SpecH file, uint32_t options, LIST_Handle* files, FILE_SpecH* first) {
  constexpr uint32_t site = kSiteGather;
  *files = nullptr;
  *first = nullptr;
  const bool folder = (options & PIN_Import_Folder) != 0;
  FILE_SpecH dir = nullptr;
  if (folder) {
    if (ErrorCode err = FILE_Duplicate(file, &dir)) return err;
  } else if (ErrorCode err = FILE_ParentDir(file, 0, &dir)) {
    return err;
  }
  struct DirGuard {
    FILE_SpecH h;
    ~DirGuard() { FILE_Dispose(h); }
  } guard{dir};

  ScratchArray<Listed> listed;
  int32_t n = 0;
  if (ErrorCode err = ListFolder(dir, listed, &n)) return err;

  // The pattern: the chosen file's name, or the folder's first valid sequence name.
  char patternName[FILE_MaxName + 1] = "";
  if (folder) {
    if (n == 0) return kReport.Fail(site, PIN_ErrCannotImport, kTextEmptyFolder);
    if (listed[0].isDir) return kReport.Fail(site, PIN_ErrCannotImport, kTextFolderFirst);
    for (int32_t i = 0; i < n && !patternName[0]; ++i) {
      const Listed& l = listed[static_cast<size_t>(i)];
      if (!l.isDir && l.parsed.valid && (l.parsed.hasDigits || PIN_G_Allow_AlphaOnly_SeqB))
        std::memcpy(patternName, l.entry.name, sizeof patternName);
    }
    if (!patternName[0]) return kReport.Fail(site, PIN_ErrCannotImport, kTextNoSequenceNames);
  } else if (ErrorCode err = FILE_InqName(file, FILE_NameOnly, patternName, sizeof patternName)) {
    return err;
  }
  const SequenceName pattern = ParseSequenceName(patternName);
  if (!pattern.valid || (!pattern.hasDigits && !PIN_G_Allow_AlphaOnly_SeqB))
    return kReport.Fail(site, PIN_ErrCannotImport, kTextBadSequenceName);

  // Collect what fits, in one pass; then one sort.
  ScratchArray<uint32_t> order(static_cast<size_t>(n));
  if (n > 0 && !order.ok()) return kReport.OutOfMemory(site, kTextMemoryFileList, order.failedBytes());
  size_t matched = 0;
  for (int32_t i = 0; i < n; ++i) {
    const Listed& l = listed[static_cast<size_t>(i)];
    if (l.isDir) continue;
    if (SamePattern(patternName, pattern, l.entry.name, l.parsed)) {
      order[matched++] = static_cast<uint32_t>(i);
    } else if (folder) {
      kReport.Note(site, kSevWarning, kTextFileNotInSequence, {l.entry.name});
    }
  }
  if (matched == 0) return kReport.Fail(site, PIN_ErrCannotImport, kTextNoMatches);
  const bool numbered = pattern.hasDigits;
  std::sort(order.data(), order.data() + matched, [&](uint32_t a, uint32_t b) {
    const FileEntry& x = listed[a].entry;
    const FileEntry& y = listed[b].entry;
    if (!numbered) return CompareNoCase(x.name, y.name) < 0;
    if (x.number != y.number) return x.number < y.number;
    return std::strcmp(x.name, y.name) < 0;
  });

  // Duplicates and gaps, counted in 64 bits.
  if (numbered) {
    uint64_t duplicates = 0, missing = 0;
    for (size_t i = 1; i < matched; ++i) {
      const uint64_t prev = listed[order[i - 1]].entry.number, next = listed[order[i]].entry.number;
      if (next == prev)
        ++duplicates;
      else if (next - prev > 1)
        missing += next - prev - 1;
    }
    if (duplicates) kReport.Note(site, kSevWarning, kTextDuplicates, {Clamp32(duplicates)});
    if (missing) kReport.Note(site, kSevWarning, kTextMissingFrames, {Clamp32(missing)});
  }

  if (matched > static_cast<size_t>(INT32_MAX / static_cast<int32_t>(sizeof(FileEntry))))
    return kReport.OutOfMemory(site, kTextMemoryFileList, matched * sizeof(FileEntry));
  LIST_Handle list = nullptr;
  if (ErrorCode err = LIST_New(0, sizeof(FileEntry), static_cast<int32_t>(matched), 1, &list)) return err;
  for (size_t i = 0; i < matched; ++i)
    if (ErrorCode err = LIST_Insert(&listed[order[i]].entry, -1, list)) {
      LIST_Dispose(list, 0);
      return err;
    }
  if (ErrorCode err = FILE_DirInqFileSpecByName(dir, listed[order[0]].entry.name, first)) {
    LIST_Dispose(list, 0);
    return err;
  }
  *files = list;
  return 0;
}

}  // namespace tv::pin
