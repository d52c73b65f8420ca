#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>

#include "Engine.h"
#include "Memory.h"

namespace tv::test {

TempDir::TempDir(const char* prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    ADD_FAILURE() << "no temporary folder " << pattern;
    return;
  }
  path_ = std::filesystem::canonical(pattern).string();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  for (auto& e : fs::recursive_directory_iterator(path_, ec))
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

ErrorCode LastCode() {
  ErrorCode code = 0;
  U_GetLastError(nullptr, nullptr, nullptr, &code);
  return code;
}

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

void Recorder::ExpectLast(LocationCode location, Severity severity, const std::string& text) const {
  ASSERT_FALSE(reports.empty()) << "no report";
  EXPECT_EQ(last().location, location) << last().text;
  EXPECT_EQ(last().severity, severity) << last().text;
  EXPECT_EQ(last().text, text);
}

void Recorder::ExpectOnly(LocationCode location, Severity severity, const std::string& text) {
  ASSERT_EQ(reports.size(), 1u) << (reports.empty() ? std::string("no report") : reports[0].text);
  ExpectLast(location, severity, text);
  clear();
}

void Recorder::ExpectNone() {
  EXPECT_TRUE(reports.empty()) << reports[0].text;
  clear();
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
