// Frames written to standard output.
#include "frame_stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "cli.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;

// A private folder for the PNG of the frame under way, removed at the end.
struct ScratchFolder {
  fs::path path;
  ScratchFolder() {
    std::string name = (fs::temp_directory_path() / "tavelo-stream.XXXXXX").string();
    if (!::mkdtemp(name.data())) Fail("cannot make a temporary folder for the frames: " + std::string(std::strerror(errno)));
    path = name;
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void Put(const void* data, size_t size) {
  if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
    Fail("cannot write the frames to standard output: " + std::string(std::strerror(errno)));
}

}  // namespace

int64_t StreamFrames(BEE_Item comp, const std::vector<int64_t>& frames, StreamFormat format, Progress& progress) {
  std::optional<ScratchFolder> scratch;
  if (format == StreamFormat::Png) scratch.emplace();
  int64_t written = 0;
  for (int64_t f : frames) {
    if (Interrupted()) break;
    if (format == StreamFormat::Raw) {
      const Image img = RenderFrame(comp, f);
      Put(img.rgba.data(), img.rgba.size());
    } else {
      // Written through the image output module, then copied out whole.
      const fs::path png = scratch->path / "frame.png";
      WriteImage(RenderFrame(comp, f), png.string());
      std::ifstream in(png, std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (!in.good() && !in.eof()) Fail("cannot read back the frame written to " + png.string());
      Put(bytes.data(), bytes.size());
    }
    ++written;
    progress.FrameDone("frame " + std::to_string(f));
  }
  progress.Finish();
  return written;
}

}  // namespace tavelo
