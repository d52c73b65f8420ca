// The --memory option and the description of the engine's memory budget.
#include "memory_budget.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <cstdio>

#include "Memory.h"
#include "cli.h"

namespace tavelo {
namespace {

struct Described {
  const char* key;   // for JSON
  std::string text;  // for people
};

Described Source(const EMUL_BudgetInfo& info) {
  const std::string usage = "MemoryUsage " + std::to_string(info.usagePercent) + " % after the system's reserve";
  switch (info.source) {
    case EMUL_BudgetSetting: return {"setting", "set by --memory"};
    case EMUL_BudgetPreference:
      return {"preference", "preference ApplicationMemory " + FormatBytes(info.figure) + ", " + usage};
    case EMUL_BudgetCgroup2:
    case EMUL_BudgetCgroup1:
      return {info.source == EMUL_BudgetCgroup2 ? "cgroup2" : "cgroup1",
              "control group limit " + FormatBytes(info.figure) + " in " + info.file + ", " + usage};
    default: return {"physical", "physical memory " + FormatBytes(info.figure) + ", " + usage};
  }
}

EMUL_BudgetInfo Budget() {
  EMUL_BudgetInfo info{};
  EMUL_GetMemoryBudget(&info);
  return info;
}

}  // namespace

int64_t ParseMemorySize(const std::string& text, const std::string& option) {
  auto bad = [&] {
    Fail(option + " \"" + text + "\" is not a size (such as 512M, 2G or 1.5G)", kExitUsage);
  };
  size_t used = 0;
  double number = 0;
  try {
    number = std::stod(text, &used);
  } catch (const std::exception&) {
    bad();
  }
  if (!std::isfinite(number) || number <= 0 || !std::isdigit(static_cast<unsigned char>(text[0]))) bad();
  std::string unit = text.substr(used);
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (unit.size() == 3 && unit.substr(1) == "IB") unit.erase(1);
  else if (unit.size() == 2 && unit[1] == 'B') unit.erase(1);
  double scale = 0;
  if (unit.empty() || unit == "M") scale = 1 << 20;
  else if (unit == "K") scale = 1 << 10;
  else if (unit == "G") scale = 1 << 30;
  else if (unit == "T") scale = static_cast<double>(int64_t{1} << 40);
  else bad();
  const double bytes = number * scale;
  if (bytes >= 9.0e18) bad();
  return static_cast<int64_t>(bytes);
}

std::string FormatBytes(int64_t bytes) {
  char buf[32];
  const double v = static_cast<double>(bytes);
  if (bytes >= (int64_t{1} << 30)) std::snprintf(buf, sizeof buf, "%.2f GiB", v / (1 << 30));
  else std::snprintf(buf, sizeof buf, "%.0f MiB", v / (1 << 20));
  return buf;
}

void ApplyMemoryOption(const std::string& text) {
  if (text.empty()) return;
  const int64_t bytes = ParseMemorySize(text, "--memory");
  if (EMUL_SetMemoryBudget(bytes) != 0)
    Fail("--memory must be at least " + FormatBytes(EMUL_MinMemoryBudget) + " (\"" + text + "\" is " +
             FormatBytes(bytes) + ")",
         kExitUsage);
}

std::string DescribeBudget() {
  const EMUL_BudgetInfo info = Budget();
  return FormatBytes(info.budget) + " (" + Source(info).text + ")";
}

int PrintMemoryInfo(bool json) {
  const EMUL_BudgetInfo info = Budget();
  const Described source = Source(info);
  if (json) {
    nlohmann::ordered_json j = {{"budget", info.budget},
                                {"source", source.key},
                                {"figure", info.figure},
                                {"usagePercent", info.usagePercent},
                                {"file", info.file},
                                {"purgeLevel", info.prePurgeLevel},
                                {"ceiling", info.ceiling}};
    std::printf("%s\n", j.dump(2).c_str());
    return kExitDone;
  }
  std::printf("memory budget  %s\n", FormatBytes(info.budget).c_str());
  std::printf("  from         %s\n", source.text.c_str());
  std::printf("  purging at   %s of resident memory\n", FormatBytes(info.prePurgeLevel).c_str());
  std::printf("  ceiling      %s (larger allocations fail beyond it)\n", FormatBytes(info.ceiling).c_str());
  return kExitDone;
}

}  // namespace tavelo
