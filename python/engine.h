// The Python module's view of the engine: its one life (born by an Engine
// object or on first use, killed by close()), the reports it makes (they
// become the text of tavelo.Error), and the checks every wrapper makes
// before it calls in.
//
// What the module's objects may rely on:
// - Every object that names something of the engine (an item, a layer, a
//   property) remembers the life of the engine it came from. Used after that
//   life ended (close(), the with block left) it raises tavelo.Error with
//   code 3 instead of calling in with a handle of a dead engine.
// - Within a life, a handle the engine freed (an item removed, a project
//   closed) is caught by the engine's own checks (code 2) and raised.
// - Objects of a project (the Project, its items, layers, properties ...)
//   carry a token of the engine's life and of the project that was open
//   when they were made: once the engine opened, built or made another,
//   they raise tavelo.Error (code 3) rather than act on the new project
//   (a freed record's address may hold one of the new project's by then).
// - Nothing of the engine's memory is kept by a Python object: frames,
//   sounds, shapes and file references are released before a call returns.
#pragma once

#include <pybind11/pybind11.h>

#include <csignal>
#include <cstdint>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "BEE.h"
#include "Types.h"

namespace tvpy {
namespace py = pybind11;

// The one exception the module raises for what the engine refuses or cannot
// do; Python sees it as tavelo.Error with code, location and message.
// An argument the module refuses itself is also Python's ValueError (a value
// outside what is allowed) or TypeError (a value of the wrong kind).
enum class Blame { kEngine, kValue, kType };
struct EngineError : std::exception {
  int32_t code;
  uint32_t location;
  std::string message;  // the engine's report, or what the module says
  std::string text;     // "<what> failed: <message> (code N)"
  Blame blame = Blame::kEngine;
  EngineError(int32_t c, uint32_t l, std::string m, std::string t, Blame b = Blame::kEngine)
      : code(c), location(l), message(std::move(m)), text(std::move(t)), blame(b) {}
  const char* what() const noexcept override { return text.c_str(); }
};

// For the life of a call that writes files: a file-size limit (ulimit -f)
// then makes the write fail with an error the engine reports, instead of
// ending the interpreter with SIGXFSZ. The earlier disposition comes back.
class WriteScope {
 public:
  WriteScope() : old_(std::signal(SIGXFSZ, SIG_IGN)) {}
  ~WriteScope() {
    if (old_ != SIG_ERR) std::signal(SIGXFSZ, old_);
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

 private:
  void (*old_)(int);
};

struct Report {
  uint32_t location;
  int32_t severity;
  std::string text;
};

struct State {
  bool alive = false;
  uint64_t life = 0;                 // counts the engine's births
  uint64_t project = 0;              // counts the projects opened in it (open, build, new)
  std::vector<Report> reports;       // since the current call began
  py::object progress;               // the progress callable of the running render
  py::object pendingType, pendingValue, pendingTrace;  // an exception the callable raised
  bool stopped = false;              // the callable asked to stop
  bool busy = false;                 // a render with a progress callable is running
  std::thread::id renderThread;      // the thread that started it
  bool movie = false;                // a movie render: the callable hears its status (selector 2)
};
State& S();

// Births the engine's packages and installs the module's callbacks; code 12
// (reported by the module) when it is alive already. A memory budget of 0
// bytes leaves the automatic one (preferences, control group, physical
// memory); code 3 for one below the smallest budget.
void Birth(const std::vector<std::string>& pluginFolders, int32_t threads, int64_t memoryBudget);
// Kills the packages born by Birth (nothing when none).
void Death();

// Raises tavelo.Error(3) when the engine is not alive or is not the life
// `life` came from, or, for a project token, when another project was opened
// since; and forgets the reports of earlier calls.
void Enter(uint64_t life);
// The token of the engine's open project for an engine life: the life in the
// high 32 bits, the count of projects opened in the low ones.
uint64_t ProjectToken(uint64_t life);
// Raises tavelo.Error for a code that is not 0, with the last error report
// heard during the call (and its location) as the message.
void Check(ErrorCode err, const std::string& what);
[[noreturn]] void Fail(int32_t code, const std::string& message);
// An argument of the right type with a value the module refuses (code 3;
// tavelo.Error and ValueError), or of the wrong type (code 3; tavelo.Error
// and TypeError).
[[noreturn]] void BadValue(const std::string& message);
[[noreturn]] void BadType(const std::string& message);

// One undo step for a call that issues several commands (a key added to a
// property not yet animated, a mask with its mode and feather, a text
// layer): a group named as the call's main command, ended however the call
// ends. Inside the caller's own undo_group it becomes part of that step.
class StepGroup {
 public:
  explicit StepGroup(const char* name);
  ~StepGroup();
  StepGroup(const StepGroup&) = delete;
  StepGroup& operator=(const StepGroup&) = delete;
};

// A progress callable for the duration of one render: the engine's progress
// polls call it with (phase, done, total) (a movie render: with (status,
// frames done, frames in all) at each status); a true answer stops the render.
// Finish() raises the callable's own exception when it raised one.
class ProgressScope {
 public:
  explicit ProgressScope(py::object callable, bool movie = false);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  // Call after the engine's operation, before Check.
  void Finish();
};

// Times in seconds to the engine's exact times and back. A time of a
// layer's composition falls on the composition's frames when it is given
// at one (a 29.97 fps frame is not on the grid of other times).
Time ToTime(double seconds);
Time ToTime(double seconds, BEE_Layer layer);
Time ToTime(double seconds, BEE_Item comp);
double Seconds(Time t);
// A colour given as an int 0xAARRGGBB or a string "#rrggbb" (opaque) or
// "#aarrggbb", as 0xAARRGGBB.
uint32_t ColourOf(const py::object& colour);

}  // namespace tvpy
