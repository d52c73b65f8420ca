// What `tavelo view` serves, apart from HTTP itself: the open project's
// compositions and layers as JSON, frames rendered through the frame cache
// and encoded by the output modules, a composition's sound for a span as
// WAV, layer switches changed by undoable commands, undo and redo, and the
// project reloaded when its file changes. Every call takes the one engine
// lock: the server answers requests on several threads, the engine is used
// from one at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "BEE.h"

namespace tavelo {

// An answer: status, content type and body (JSON unless said otherwise),
// and extra headers.
struct Reply {
  int status = 200;
  std::string type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// {"error": message} with the status.
Reply ErrorReply(int status, const std::string& message);

// Request parameters by name (query string or form).
using Params = std::multimap<std::string, std::string>;

class Viewer {
 public:
  // Opens the project (Failure when it cannot be opened); scratch is a
  // private folder for the files the output modules write.
  Viewer(std::string project, std::filesystem::path scratch);

  // GET /api/state: the revision (it grows with every change, undo, redo
  // and reload), the undo and redo step names, the load error if any.
  Reply State();
  // GET /api/comps and /api/comps/ID.
  Reply Comps();
  Reply Comp(uint32_t id);
  // GET /api/comps/ID/frame?frame=N&res=full|half|third|quarter&format=png|jpeg
  Reply Frame(uint32_t id, const Params& params);
  // GET /api/comps/ID/sound?start=S&duration=S&rate=HZ (seconds)
  Reply Sound(uint32_t id, const Params& params);
  // POST /api/comps/ID/layers/N with {"video": bool, "audio": bool,
  // "effects": bool}: one undoable step.
  Reply SetSwitches(uint32_t id, int32_t layer, const std::string& body);
  // POST /api/comps/ID/layers/N/solo: the layer's video on, every other
  // layer's off, one undoable step.
  Reply Solo(uint32_t id, int32_t layer);
  // POST /api/undo and /api/redo.
  Reply Undo(bool redo);

  // Reloads the project when its file's time or size changed since it was
  // read; true when it did (whether or not the new file could be read).
  bool ReloadIfChanged();
  // The composition the page shows first (0: the first one).
  uint32_t defaultComp = 0;

 private:
  struct Stamp {
    std::filesystem::file_time_type time{};
    uintmax_t size = 0;
    bool operator==(const Stamp&) const = default;
  };
  Stamp StampNow() const;
  void Load();
  BEE_Item CompById(uint32_t id);
  BEE_Layer LayerOf(BEE_Item comp, int32_t number);
  std::string ReadBack(const std::filesystem::path& file);
  // A change, undo, redo or reload: a new revision, and the encoded frames
  // of the old one forgotten.
  void Changed();

  // Frames as encoded and sent, by composition, frame, resolution and
  // format, for the current revision; the oldest go first past the budget.
  // The engine's frame cache keeps the pixels; this saves encoding them
  // again while a page plays the same frames over and over.
  static constexpr size_t kEncodedBudget = 128u << 20;
  std::map<std::string, Reply> encoded_;
  std::vector<std::string> encodedOrder_;
  size_t encodedBytes_ = 0;

  std::mutex mutex_;
  std::string project_;
  std::filesystem::path scratch_;
  Stamp stamp_;
  std::string loadError_;
  uint64_t revision_ = 1;
};

}  // namespace tavelo
