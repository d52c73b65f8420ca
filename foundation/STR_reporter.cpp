// The package reporter: one per package, bound to its number and its string
// table. Messages are formatted into fixed buffers; nothing here allocates
// from the C++ heap except the one-time installation of the table, whose
// failure falls back on the compiled texts without a report.
#include "Package.h"
#include "STR_internal.h"

namespace tv::pkg {

ErrorCode Reporter::InstallTable() const {
  if (table->texts) return 0;
  return str::EnsureTable(*table, compiled);
}

const char* Reporter::Text(int32_t index) const {
  if (index < 0 || index >= count) return "[?]";
  if (!table->texts) {
    if (!installOnUse) return compiled[index];
    ErrorCode err = kErrOutOfMemory;
    try {
      err = str::EnsureTable(*table, compiled, true);
    } catch (...) {
    }
    if (err) return compiled[index];
  }
  return STRp_Lookup(table, index);
}

ErrorCode Reporter::Fail(uint32_t site, ErrorCode code, int32_t text, std::initializer_list<fmt::Arg> args) const {
  return Report(site, kSevError, code, text, args);
}

ErrorCode Reporter::Report(uint32_t site, Severity severity, ErrorCode code, int32_t text,
                           std::initializer_list<fmt::Arg> args) const {
  return report::Code(Loc(site), severity, code, Text(text), args);
}

ErrorCode Reporter::Message(uint32_t site, Severity severity, ErrorCode code, std::string_view message) const {
  Text(0);  // a package that installs its table on use does so with its first report
  char text[U_MessageBufferSize];
  fmt::CopyTo(text, message);
  return Up_ReportVeskErrString(Loc(site), severity, code, text);
}

ErrorCode Reporter::Note(uint32_t site, Severity severity, int32_t text, std::initializer_list<fmt::Arg> args) const {
  return report::Text(Loc(site), severity, Text(text), args);
}

ErrorCode Reporter::Platform(uint32_t site, Severity severity, ErrorCode platformCode, int32_t text,
                             std::initializer_list<fmt::Arg> args) const {
  return report::System(Loc(site), severity, platformCode, Text(text), args);
}

ErrorCode Reporter::OutOfMemory(uint32_t site, int32_t what, uint64_t size) const {
  return Up_ReportOutOfMemory(Loc(site), Text(what), size);
}

ErrorCode Reporter::OutOfMemory(uint32_t site, const char* what, uint64_t size) const {
  Text(0);
  return Up_ReportOutOfMemory(Loc(site), what, size);
}

ErrorCode Reporter::Damaged(uint32_t site, std::initializer_list<fmt::Arg> args) const {
  if (damaged < 0) return Message(site, damagedSeverity, kErrDamaged, "");
  return Report(site, damagedSeverity, kErrDamaged, damaged, args);
}

ErrorCode Reporter::BadParam(uint32_t site, std::initializer_list<fmt::Arg> args) const {
  if (badParam < 0) return Message(site, kSevError, kErrBadParam, "");
  return Fail(site, kErrBadParam, badParam, args);
}

}  // namespace tv::pkg
