// Feeds arbitrary bytes to the project description reader, as a user's
// untrusted file: it must fail with a message or build, never crash, and a
// failure leaves the engine ready for the next description.
#include <cstddef>
#include <cstdint>
#include <string>

#include "BEE.h"
#include "description.h"
#include "session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tavelo::Session* session = [] {
    tavelo::Common common;
    common.level = tavelo::LogLevel::Quiet;
    return new tavelo::Session(common);
  }();
  if (size > (1u << 20)) return 0;
  BEE_NewProject();
  try {
    tavelo::DescriptionOptions options;
    options.readFiles = false;  // a description naming files reads none here
    tavelo::BuildDescriptionText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.json", "/", options);
  } catch (const tavelo::Failure&) {
  }
  session->TakeReports();
  return 0;
}
