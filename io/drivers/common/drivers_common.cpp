// The drivers' shared helpers (see drivers.h).
#include <cstring>

#include "drivers.h"

namespace tv::pin {

ErrorCode DrawFrame(const Frame& f, const PIN_DrawParams* params, BM_World world, int32_t left, int32_t top) {
  int32_t sw = f.width, sh = f.height;
  if (ErrorCode err = PIN_ScaleDimensions(&params->scaleX, &params->scaleY, &sw, &sh)) return err;
  PixelLock px(world);
  if (!px.ok()) return px.error() ? px.error() : kErrBadParam;
  if (sw <= 0 || sh <= 0 || left < 0 || top < 0 || left + px.width() > sw || top + px.height() > sh)
    return kErrBadParam;
  const size_t srcRow = size_t{4} * static_cast<size_t>(f.width);
  const uint8_t* src = f.argb.data();
  if (sw == f.width && sh == f.height) {
    for (int32_t y = 0; y < px.height(); ++y)
      std::memcpy(px.Row(y), src + static_cast<size_t>(y + top) * srcRow + size_t{4} * static_cast<size_t>(left),
                  size_t{4} * static_cast<size_t>(px.width()));
    return 0;
  }
  for (int32_t y = 0; y < px.height(); ++y) {
    const int64_t sy = static_cast<int64_t>(y + top) * f.height / sh;
    uint8_t* dst = px.Row(y);
    for (int32_t x = 0; x < px.width(); ++x) {
      const int64_t sx = static_cast<int64_t>(x + left) * f.width / sw;
      std::memcpy(dst + 4 * x, src + static_cast<size_t>(sy) * srcRow + 4 * static_cast<size_t>(sx), 4);
    }
  }
  return 0;
}

std::string PathOf(FILE_SpecH file) {
  char path[FILE_MaxPath + 1] = "";
  if (!file || FILE_InqName(file, FILE_NameFullPath, path, sizeof path)) return {};
  return path;
}

std::string NameOf(FILE_SpecH file) {
  char name[FILE_MaxName + 1] = "";
  if (!file || FILE_InqName(file, FILE_NameOnly, name, sizeof name)) return {};
  return name;
}

namespace {
// A library's message on one line, without its closing full stop.
std::string Reason(std::string_view reason) {
  std::string r(reason);
  for (char& c : r)
    if (c == '\n' || c == '\r') c = ' ';
  while (!r.empty() && (r.back() == ' ' || r.back() == '.')) r.pop_back();
  if (r.empty()) r = "unknown error";
  return r;
}
}  // namespace

ErrorCode BadArgument(uint32_t site, const char* what) { return kReport.BadParam(site, {what}); }

ErrorCode CannotRead(uint32_t site, std::string_view name, std::string_view reason) {
  const std::string r = Reason(reason);
  return kReport.Fail(site, PIN_ErrCannotImport, kTextCannotImport, {name, r});
}

ErrorCode CannotWrite(uint32_t site, ErrorCode code, std::string_view name, std::string_view reason) {
  const std::string msg = "cannot write '" + std::string(name) + "' -- " + Reason(reason) + ".";
  return kReport.Message(site, kSevError, code, msg);
}

ErrorCode CannotWriteFile(uint32_t site, ErrorCode platformCode, std::string_view name) {
  kReport.Text(0);  // the package's table, installed with its first report
  return report::System(kReport.Loc(site), kSevError, platformCode, "cannot write '%s'.", {name});
}

}  // namespace tv::pin
