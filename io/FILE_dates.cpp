// Dates: DateValue is seconds since 1970-01-01 00:00 UTC in 32 unsigned
// bits; DateSpec is local calendar time with the day of week from Sunday = 0.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "FILE_internal.h"

using namespace tv;
using namespace tv::file;

namespace {

// Seconds clamped into the DateValue range.
FILE_DateValue ToValue(int64_t seconds) {
  if (seconds < 0) return 0;
  if (seconds > static_cast<int64_t>(UINT32_MAX)) return UINT32_MAX;
  return static_cast<FILE_DateValue>(seconds);
}

ErrorCode PathOf(FILE_SpecH ref, std::string* path) {
  Spec s(ref, kSiteDates);
  if (s.err) return s.err;
  *path = FullPath(*s);
  return 0;
}

int DaysInMonth(int month, int year) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

ErrorCode FILE_InqCreatDate(FILE_SpecH ref, FILE_DateValue* date) try {
  if (!date) return kReport.BadParam(kSiteDates);
  *date = 0;
  std::string path;
  if (ErrorCode err = PathOf(ref, &path)) return err;
  struct statx sx;
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) != 0)
    return FailErrno(kSiteDates, errno, kActGettingInformationOn, path);
  // Without a birth time the file system's oldest date is the modification date.
  *date = ToValue((sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_SetCreatDate(FILE_SpecH ref, FILE_DateValue /*date*/) try {
  std::string path;
  if (ErrorCode err = PathOf(ref, &path)) return err;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return FailErrno(kSiteDates, errno, kActSettingDateOf, path);
  return 0;  // creation dates cannot be set on this platform's file systems
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqModDate(FILE_SpecH ref, FILE_DateValue* date) try {
  if (!date) return kReport.BadParam(kSiteDates);
  *date = 0;
  std::string path;
  if (ErrorCode err = PathOf(ref, &path)) return err;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return FailErrno(kSiteDates, errno, kActGettingInformationOn, path);
  *date = ToValue(st.st_mtim.tv_sec);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_SetModDate(FILE_SpecH ref, FILE_DateValue date) try {
  std::string path;
  if (ErrorCode err = PathOf(ref, &path)) return err;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(date);
  times[1].tv_nsec = 0;
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    return FailErrno(kSiteDates, errno, kActSettingDateOf, path);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DateValue2DateSpec(FILE_DateValue value, FILE_DateSpec* spec) try {
  if (!spec) return kReport.BadParam(kSiteDates);
  *spec = FILE_DateSpec{};
  time_t t = static_cast<time_t>(value);
  struct tm tm;
  if (!::localtime_r(&t, &tm)) return kReport.Fail(kSiteDates, kErrRange, kStrBadParam);
  spec->second = static_cast<uint8_t>(tm.tm_sec);
  spec->minute = static_cast<uint8_t>(tm.tm_min);
  spec->hour = static_cast<uint8_t>(tm.tm_hour);
  spec->day = static_cast<uint8_t>(tm.tm_mday);
  spec->month = static_cast<uint8_t>(tm.tm_mon + 1);
  spec->year = static_cast<uint16_t>(tm.tm_year + 1900);
  spec->dayOfWeek = static_cast<uint16_t>(tm.tm_wday);  // already counted from Sunday = 0
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DateSpec2DateValue(const FILE_DateSpec* spec, FILE_DateValue* value) try {
  if (!value) return kReport.BadParam(kSiteDates);
  *value = 0;
  // A day the month does not have (31 February) is refused: the calendar
  // routine would carry it into the next month and answer another date.
  if (!spec || spec->month < 1 || spec->month > 12 || spec->day < 1 ||
      spec->day > DaysInMonth(spec->month, spec->year) || spec->hour > 23 || spec->minute > 59 || spec->second > 60)
    return kReport.BadParam(kSiteDates);
  struct tm tm {};
  tm.tm_sec = spec->second;
  tm.tm_min = spec->minute;
  tm.tm_hour = spec->hour;
  tm.tm_mday = spec->day;
  tm.tm_mon = spec->month - 1;
  tm.tm_year = spec->year - 1900;
  tm.tm_isdst = -1;
  time_t t = ::mktime(&tm);
  if (t == static_cast<time_t>(-1) || t < 0 || t > static_cast<time_t>(UINT32_MAX))
    return kReport.Fail(kSiteDates, kErrRange, kStrBadParam);
  *value = static_cast<FILE_DateValue>(t);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_GetDateValueTime(FILE_DateValue* now) try {
  if (!now) return kReport.BadParam(kSiteDates);
  *now = ToValue(static_cast<int64_t>(::time(nullptr)));
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_GetDateSpecTime(FILE_DateSpec* now) try {
  FILE_DateValue v = 0;
  if (ErrorCode err = FILE_GetDateValueTime(&v)) return err;
  return FILE_DateValue2DateSpec(v, now);
} TV_CATCH(FILE_PackageNumber)
