// Shared fixture of the ElectricImage driver's tests: the built-in drivers,
// writing Worlds through an OutputSpec, and the driver's report as the log
// shows it.
#pragma once

#include <string>
#include <vector>

#include "PIN_test_fixture.h"
#include "drivers/ei/EI_internal.h"

namespace tv::test::ei {

using Bytes = std::vector<uint8_t>;
using pin::ReadFile;
using pin::WriteFile;

class EITest : public pin::DriverTest {
 protected:
  // Writes the Worlds through an OutputSpec of the module at `depth` and
  // `rate` (frames a second), frame i at indices[i] (i when none given).
  ErrorCode Write(const std::string& path, const std::vector<BM_World>& frames, int16_t depth, int32_t rate,
                  std::vector<int32_t> indices = {}) {
    int32_t w = 0, h = 0, d = 0, rb = 0;
    BM_GetWorldInfo(frames[0], &w, &h, &d, &rb);
    PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, D_EI_Signature, w, h);
    PIN_OutputInfo info{};
    PIN_GetOutputInfo(out, &info, sizeof info);
    info.depth = depth;
    info.frameRate = rate << 16;
    EXPECT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
    ErrorCode err = SetFile(out, path);
    if (!err) err = PIN_StartAdding(out);
    for (size_t i = 0; i < frames.size() && !err; ++i)
      err = PIN_AddFrame(out, indices.empty() ? static_cast<int32_t>(i) : indices[i], frames[i]);
    if (!err) err = PIN_EndAdding(out);
    PIN_DisposeOutputSpec(out);
    return err;
  }
  void ExpectOneReport(const std::string& text, ErrorCode code) {
    DriverTest::ExpectOneReport(D_EI_PackageNumber, text, code);
  }
};

}  // namespace tv::test::ei
