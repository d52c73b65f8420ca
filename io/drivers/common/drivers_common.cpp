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

ErrorCode CannotRead(uint32_t site, std::string_view name, std::string_view reason) {
  const std::string r = Reason(reason);
  return kReport.Fail(site, PIN_ErrCannotImport, kTextCannotImport, {name, r});
}

ErrorCode CannotWrite(uint32_t site, ErrorCode code, std::string_view name, std::string_view reason) {
  const std::string msg = "cannot write '" + std::string(name) + "' -- " + Reason(reason) + ".";
  return kReport.Message(site, kSevError, code, msg);
}

}  // namespace tv::pin

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AtomicFile.h"

namespace tv::pin {

PartialFile::PartialFile(std::string finalPath) : final_(std::move(finalPath)) {
  const size_t slash = final_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : final_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? final_ : final_.substr(slash + 1);
  partial_ = dir + "." + name + ".partial-" + std::to_string(::getpid());
}

PartialFile::~PartialFile() {
  if (!committed_) ::unlink(partial_.c_str());
}

ErrorCode PartialFile::Commit() {
  const int in = ::open(partial_.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return kSysFileNotFound;
  struct stat st {};
  ::fstat(in, &st);
  const ErrorCode err = platform::ReplaceFileAtomically(final_, [&](int fd, const std::string&) -> ErrorCode {
    off_t offset = 0;
    while (offset < st.st_size) {
      const ssize_t n = ::sendfile(fd, in, &offset, static_cast<size_t>(st.st_size - offset));
      if (n <= 0) return kSysIO;
    }
    return 0;
  });
  ::close(in);
  ::unlink(partial_.c_str());
  committed_ = true;
  return err;
}

}  // namespace tv::pin
