// Shared fixture of the RLA driver's tests: the built-in drivers, files made
// by the tests' writer, and the driver's report as the log shows it.
#pragma once

#include <string>

#include "PIN_test_fixture.h"
#include "PIN_test_rla_writer.h"
#include "drivers/rla/RLA_internal.h"

namespace tv::test::rla {

class RLATest : public pin::DriverTest {
 protected:
  std::string Write(const std::string& name, const RlaFile& f) {
    pin::WriteFile(dir.P(name), Build(f));
    return dir.P(name);
  }
  void ExpectOneReport(const std::string& text, ErrorCode code) {
    DriverTest::ExpectOneReport(D_RLA_PackageNumber, text, code);
  }
};

}  // namespace tv::test::rla
