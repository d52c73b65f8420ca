// The one report path and every entry that ends in it.
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "Format.h"
#include "Memory.h"
#include "Platform.h"
#include "U_internal.h"

namespace tv::u {

LastError gLast{};
int gReportNesting = 0;

const char* SeverityWord(Severity severity) {
  switch (severity) {
    case kSevPlain:
    case kSevFailure:
    case kSevIndented: return String(0);
    case kSevWarning: return String(1);
    case kSevError: return String(2);
    case kSevFatal: return String(3);
    case kSevDebug: return String(92);
    default: return String(51);
  }
}

namespace {

platform::Icon IconFor(Severity severity) {
  switch (severity) {
    case kSevPlain: return platform::Icon::None;
    case kSevWarning: return platform::Icon::Warning;
    case kSevError:
    case kSevFatal: return platform::Icon::Stop;
    default: return platform::Icon::Information;
  }
}

// The location line "( package :: site )", empty for location 0.
void PrintLocation(LocationCode location, std::span<char> out) {
  out[0] = 0;
  if (location != 0) fmt::FormatTo(out, String(105), {LocationPackage(location), LocationSite(location)});
}

// Keeps the nesting counter balanced on every exit of the report path.
struct Nesting {
  Nesting() { ++gReportNesting; }
  ~Nesting() { --gReportNesting; }
};

void SetBuffer(std::string_view text) { fmt::CopyTo(gLast.text, text); }

// The message buffer without one final ".".
std::string_view MessageWithoutStop(std::span<char> copy) {
  size_t n = fmt::CopyTo(copy, gLast.text);
  if (n > 0 && copy[n - 1] == '.') --n;
  return std::string_view(copy.data(), n);
}

}  // namespace

}  // namespace tv::u

using namespace tv;
using namespace tv::u;

// Nothing on this path allocates: every text is composed in a fixed buffer,
// so a report can be made when memory has run out.
ErrorCode Up_ReportError(LocationCode location, Severity severity) {
  if (gReportNesting > 0) return 0;  // a failure while reporting is never reported
  Nesting nesting;
  gLast.severity = static_cast<int16_t>(severity);
  gLast.location = location;
  if (ErrorCode err = Guard(kSiteReport, gLast.text)) return err;
  Globals* g = G();
  if (severity == kSevFatal) g->dead = 1;
  ++g->errorCount;

  const char* prefix = "";
  char head[kReportCut + 1] = "";
  if (severity == kSevIndented) {
    prefix = "  ";
  } else if (severity != kSevPlain) {
    fmt::FormatTo(head, "%s%s: ", {g->name, SeverityWord(severity)});
    prefix = head;
  }
  char text[kReportCut + 1];
  fmt::FormatTo(text, "%s%s", {prefix, gLast.text});

  ErrorCode result = 0;
  uint32_t mask = g->interactMask;
  uint32_t sevBits = static_cast<uint32_t>(severity);
  char loc[64];
  PrintLocation(location, loc);
  if (((sevBits << 16) & mask) != 0) {
    if (g->logStream) {
      std::fprintf(g->logStream, "%s %s\n", text, loc);
      std::fflush(g->logStream);
    }
    if (g->logCallback) {
      ErrorCode cb = g->logCallback(g->logCallbackData, location, severity, text);
      if (cb) result = cb;
      g = G();  // the callback may not free U, but re-read the block all the same
      if (!g) return result ? result : U_ErrUnborn;
    }
  }
  if ((sevBits & mask) != 0) {
    char body[kDialogLimit + 1];
    if (severity != kSevPlain && loc[0])
      fmt::FormatTo(body, "%s\n\n%s", {text, loc});
    else
      fmt::CopyTo(body, text);
    if (ErrorCode shown = platform::ShowDialog(g->name, body, IconFor(severity))) result = shown;
  }
  return result;
}

ErrorCode Up_ReportErrString(LocationCode location, Severity severity, const char* text) {
  if (gReportNesting > 0) return 0;  // leave the record of the outer report alone
  gLast.code = 0;
  SetBuffer(text ? text : "");
  return Up_ReportError(location, severity);
}

ErrorCode Up_ReportSyserrString(LocationCode location, Severity severity, ErrorCode platformCode,
                                const char* text) {
  if (platformCode == 0) return 0;
  if (gReportNesting > 0) return platformCode;
  gLast.code = platformCode;
  SetBuffer(text ? text : "");
  char copy[U_MessageBufferSize];
  std::string_view msg = MessageWithoutStop(copy);
  const char* english = U_GetSysEnglish(platformCode);
  if (english[0])
    fmt::FormatTo(gLast.text, String(108), {msg, english, platformCode});
  else
    fmt::FormatTo(gLast.text, String(109), {msg, platformCode});
  Up_ReportError(location, severity);
  return platformCode;
}

ErrorCode Up_ReportVeskErrString(LocationCode location, Severity severity, ErrorCode code,
                                 const char* text) {
  if (code == 0) return 0;
  if (gReportNesting > 0) return code;
  gLast.code = code;
  SetBuffer(text ? text : "");
  char copy[U_MessageBufferSize];
  std::string_view msg = MessageWithoutStop(copy);
  const char* english = U_GetErrEnglish(code);
  // The separator depends on the English text itself, before the hexadecimal
  // fallback takes its place.
  const char* sep = (!msg.empty() && english[0]) ? String(106) : "";
  char hex[16];
  if (!english[0]) {
    fmt::FormatTo(hex, " (%lX)", {static_cast<uint32_t>(code)});
    english = hex;
  }
  fmt::FormatTo(gLast.text, String(107), {msg, sep, english});
  Up_ReportError(location, severity);
  return code;
}

ErrorCode Up_ReportOutOfMemory(LocationCode location, const char* what, uint64_t size) {
  if (gReportNesting > 0) return kErrOutOfMemory;
  // Rounded up without wrapping (a size of 0 asks for 0K), and held to what
  // the message's 32-bit figure can show.
  uint64_t kilobytes = size == 0 ? 0 : (size - 1) / 1024 + 1;
  if (kilobytes > INT32_MAX) kilobytes = INT32_MAX;
  // The available figure is what the memory manager can still grant.
  Size available = MaxBlock();
  uint64_t availableKB = available > 0 ? static_cast<uint64_t>(available) / 1024 : 0;
  if (availableKB > INT32_MAX) availableKB = INT32_MAX;
  gLast.code = 0;
  fmt::FormatTo(gLast.text, String(7), {what ? what : "", kilobytes, availableKB});
  Up_ReportError(location, kSevFailure);
  return kErrOutOfMemory;
}

ErrorCode U_GetLastError(char* text, Severity* severity, LocationCode* location, ErrorCode* code) {
  if (text) fmt::CopyTo(std::span<char>(text, U_MessageBufferSize), gLast.text);
  if (severity) *severity = gLast.severity;
  if (location) *location = gLast.location;
  if (code) *code = gLast.code;
  return 0;
}

ErrorCode U_DeferredReportingStart(uint32_t mask, int32_t state[3]) {
  if (state) state[0] = state[1] = state[2] = 0;
  if (ErrorCode err = Guard(kSiteDeferred)) return err;
  if (!state) return BadArgument(kSiteDeferred);
  state[0] = static_cast<int32_t>(G()->interactMask);
  state[1] = G()->errorCount;
  state[2] = 0;
  G()->interactMask = mask;
  return 0;
}

ErrorCode U_DeferredReportingEnd(Boolean32 report, const char* fallbackText, int32_t state[3]) {
  if (ErrorCode err = Guard(kSiteDeferred)) return err;
  if (!state) return BadArgument(kSiteDeferred);
  ErrorCode result = 0;
  uint32_t saved = static_cast<uint32_t>(state[0]);
  if (report) {
    if (G()->errorCount != state[1]) {
      char text[U_MessageBufferSize];
      Severity severity = 0;
      LocationCode location = 0;
      ErrorCode code = 0;
      result = U_GetLastError(text, &severity, &location, &code);
      // Shown again, but not logged a second time.
      G()->interactMask = saved & 0xFFFFu;
      if (result == 0 && text[0]) {
        Up_ReportErrString(location, severity, text);
      } else {
        Up_ReportErrString(0, kSevFatal, fallbackText ? fallbackText : "missing deferred error information.");
      }
    }
  } else {
    G()->errorCount = state[1];
  }
  if (Globals* g = G()) g->interactMask = saved;
  return result;
}

ErrorCode Up_AssertFailed(const char* expressionText, const char* fileName, int32_t lineNumber) {
  if (gReportNesting > 0) return 0;
  if (ErrorCode err = Guard(kSiteAssert)) return err;
  uint32_t saved = G()->interactMask;
  G()->interactMask = saved | 0xFFFFu;
  gLast.code = 0;
  fmt::FormatTo(gLast.text, String(53), {expressionText ? expressionText : "", lineNumber, fileName ? fileName : ""});
  Up_ReportError(0, kSevError);
  if (Globals* g = G()) g->interactMask = saved;
  return 0;
}

ErrorCode U_ReportFailedVerification(LocationCode location, int32_t number, const char* description,
                                     const char* numberText) {
  if (gReportNesting > 0) return 0;
  char num[16];
  fmt::FormatTo(num, "%ld", {number});
  char text[U_MessageBufferSize];
  if (description)
    SubString(text, String(111), {description, numberText ? numberText : num});
  else
    SubString(text, String(110), {numberText ? numberText : num});
  gLast.code = 0;
  SetBuffer(text);
  return Up_ReportError(location, kSevError);
}

ErrorCode Up_DebugCStr(const char* text) {
  if (ErrorCode err = Guard(kSiteDebug)) return err;
  std::string_view s = text ? text : "";
  platform::DebugOutput(s.substr(0, fmt::Utf8Prefix(s, 255)));
  return 0;
}
