// Writing files through the engine's output modules.
#include "output_module.h"

#include "OutputFormats.h"
#include "cli.h"
#include "image_file.h"
#include "session.h"

namespace tavelo {

FourCC OutputSignatureFor(const std::string& path) {
  FourCC sig = PIN_NoSignature;
  if (PIN_GetSigFromType(0, 0, tv::outputs::StillLookupName(path).c_str(), &sig) || sig == PIN_NoSignature ||
      sig == 0)
    Fail("no output module writes \"" + ExtensionOf(path) + "\" files (\"" + path + "\")", kExitUsage);
  return sig;
}

namespace {
int32_t gPngCompression = -1;
constexpr int32_t kImageCompression = 3;  // the image module's PNG level option
}  // namespace

void SetPngCompression(int32_t level) { gPngCompression = level; }

Output::Output(const std::string& path, int32_t width, int32_t height, FourCC signature) : path_(path) {
  if (!signature) signature = OutputSignatureFor(path);
  if (ErrorCode err = PIN_NewOutputSpec(signature, width, height, &out_)) WriteFail(err);
  FileRef file(path);
  if (ErrorCode err = PIN_SetOutputFile(out_, file.spec)) WriteFail(err);
  if (gPngCompression >= 0 && ExtensionOf(path) == "png")
    SetOption(kImageCompression, gPngCompression, "a PNG compression level of");
}

Output::~Output() {
  if (out_) PIN_DisposeOutputSpec(out_);
}

void FailWriting(const std::string& path, ErrorCode err) {
  if (err == 517 && Interrupted()) Fail("interrupted", kExitInterrupted);
  std::string why = Session::current ? Session::current->LastError() : std::string();
  if (Session::current) Session::current->reports.clear();
  Fail("cannot write \"" + path + "\": " + (why.empty() ? "the output module failed" : why) + " (code " +
       std::to_string(err) + ")");
}

void Output::SetOption(int32_t selector, int32_t value, const char* what) {
  if (ErrorCode err = PIN_SetOutSpecificData(out_, selector, &value, sizeof value)) {
    if (Session::current) Session::current->reports.clear();
    Fail(std::string("the output module of \"") + path_ + "\" does not take " + what + " " + std::to_string(value) +
             " (code " + std::to_string(err) + ")",
         kExitUsage);
  }
}

void Output::SetInfo(const PIN_OutputInfo& info) {
  if (ErrorCode err = PIN_SetOutputInfo(out_, &info, sizeof info)) WriteFail(err);
}

void Output::Start() {
  if (ErrorCode err = PIN_StartAdding(out_)) WriteFail(err);
}

void Output::OutputFrame(BM_World world) {
  if (ErrorCode err = PIN_OutputFrame(out_, world)) WriteFail(err);
}

void Output::AddSound(SND_World world) {
  if (ErrorCode err = PIN_AddSoundChunk(out_, world)) WriteFail(err);
}

void Output::End() {
  if (ErrorCode err = PIN_EndAdding(out_)) WriteFail(err);
}

void WriteWorld(BM_World world, const std::string& path) {
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  if (BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes)) Fail("the frame to write is damaged");
  Output out(path, w, h);
  out.Start();
  out.OutputFrame(world);
  out.End();
}

}  // namespace tavelo
