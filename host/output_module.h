// Files the host writes go through the engine's output modules: the module
// that claims a file's extension is found, an OutputSpec of it is made,
// frames and sound are added and the output is ended. A module writes under
// a temporary name and renames at the end, so a write that fails or is
// interrupted never leaves a partial file under the final name.
#pragma once

#include <cstdint>
#include <string>

#include "BM.h"
#include "PIN.h"
#include "SND.h"

namespace tavelo {

// "cannot write "<path>": <the engine's reason> (code N)", or exit 130 for
// an abort after an interrupt.
[[noreturn]] void FailWriting(const std::string& path, ErrorCode err);

// The signature of the module that writes files named like path; Failure
// (usage) when no module does.
FourCC OutputSignatureFor(const std::string& path);

class Output {
 public:
  // An output of the module for path's extension (or signature when not 0),
  // for frames of width x height (0 x 0 for sound only).
  Output(const std::string& path, int32_t width, int32_t height, FourCC signature = 0);
  ~Output();  // an output not ended leaves no file under its final name
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  PIN_OutputSpecH spec() const { return out_; }
  // Module options (PIN_SetOutSpecificData) with one 32-bit value.
  void SetOption(int32_t selector, int32_t value, const char* what);
  void SetInfo(const PIN_OutputInfo& info);
  void Start();
  // A single frame (a still file named exactly path).
  void OutputFrame(BM_World world);
  void AddSound(SND_World world);
  void End();

 private:
  [[noreturn]] void WriteFail(ErrorCode err) const { FailWriting(path_, err); }
  std::string path_;
  PIN_OutputSpecH out_ = nullptr;
};

// The zlib level (0..9) of every PNG file written from now on; -1 leaves
// the module's default (1: fast).
void SetPngCompression(int32_t level);

// One still frame (a 32-bit World) to path.
void WriteWorld(BM_World world, const std::string& path);

}  // namespace tavelo
