// Shared fixture of the module framework's tests: U and PIN born with the
// placeholder, the ".tsf" test driver and a module that fills no slot, a
// temporary folder, and helpers for the reports.
#pragma once

#include <cstdio>
#include <string>

#include "PinTestDriver.h"
#include "TestSupport.h"

namespace tv::test::pin {

inline constexpr tv::pin::Driver kTestDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", TsfBirth},
    {"Empty", EmptyBirth},
};

class PINTest : public UFixture {
 protected:
  PINTest() : UFixture({PIN_PackageNumber}) { tv::pin::SetDriversForTesting(kTestDrivers); }
  ~PINTest() override { tv::pin::SetDriversForTesting({}); }

  // A reference to a path (disposed by the caller).
  static FILE_SpecH Ref(const std::string& path) {
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0) << path;
    return ref;
  }
  // Imports path with options; the SeqSpec or null.
  ErrorCode Import(const std::string& path, uint32_t options, PIN_SeqSpecH* seq) {
    FILE_SpecH ref = Ref(path);
    ErrorCode err = PIN_NewSeqSpecFromFileOptions(ref, options, seq);
    FILE_Dispose(ref);
    return err;
  }
  // Texts of the recorded reports, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& r : rec.reports) t.push_back(r.text);
    return t;
  }

  // A failure's text as the log shows it: "Test error: <text> (<code in hex>).".
  static std::string Logged(std::string text, ErrorCode code) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(code));
    return "Test error: " + text + " (" + hex + ").";
  }
  static std::string BadArg(const std::string& what) {
    return "Test error: bad argument to " + what + " -- a bad parameter was passed.";
  }

  TempDir dir{"pin"};
};

}  // namespace tv::test::pin
