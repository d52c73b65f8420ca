#include "TestSupport.h"

#include "Engine.h"
#include "Memory.h"

namespace tv::test {

Recorder::Recorder() {
  platform::SetDialogSink([this](const platform::Dialog& d) {
    dialogs.push_back(ShownDialog{std::string(d.title), std::string(d.text), d.icon});
    return ErrorCode{0};
  });
}

Recorder::~Recorder() {
  if (attached_) {
    // U may be dead by now: its guard dialog still lands in this recorder.
    U_LogCallback fn = nullptr;
    intptr_t data = 0;
    U_GetLoggingCallback(&fn, &data);
    if (fn == &Recorder::Log && data == reinterpret_cast<intptr_t>(this)) U_SetLoggingCallback(nullptr, 0);
  }
  platform::SetDialogSink({});
}

void Recorder::Attach() {
  attached_ = true;
  U_SetLoggingCallback(&Recorder::Log, reinterpret_cast<intptr_t>(this));
}

ErrorCode Recorder::Log(intptr_t data, LocationCode location, Severity severity, const char* text) {
  auto* self = reinterpret_cast<Recorder*>(data);
  self->reports.push_back(Report{location, severity, text ? text : ""});
  return self->callbackResult;
}

void UFixture::SetUp() {
  handlesAtStart_ = EMUL_LiveHandleCount();
  ASSERT_EQ(TV_BirthPackages("Test", packages_.data(), static_cast<int32_t>(packages_.size())), 0);
  rec.Attach();
}

void UFixture::TearDown() {
  // Packages a test killed itself are left alone.
  TV_DeathPackages();
  // Whatever a test made it must dispose: no handle outlives it.
  EXPECT_EQ(EMUL_LiveHandleCount(), handlesAtStart_) << "handles leaked by the test";
}

}  // namespace tv::test
