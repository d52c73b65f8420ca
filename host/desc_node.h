// A place in a project description: the JSON value, its path from the top
// ("comps[0].layers[2].opacity") and the keys and indexes that lead to it,
// so every complaint names the file, the line and column where the value
// starts, and the path.
#pragma once

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "Types.h"
#include "cli.h"

namespace tavelo::desc {

using Json = nlohmann::json;

// The description being read: its name for messages and its text.
struct Source {
  std::string name;
  std::string text;
  // "<name>:<line>:<column>" of the value the tokens lead to (keys of
  // objects, indexes of lists) in the text; the name alone when the text
  // does not hold it.
  std::string Place(const std::vector<std::string>& tokens) const;
};

// At most 80 characters of a user's text in double quotes, control
// characters escaped: how names and values are echoed in messages.
std::string Echo(const std::string& text);
// A number as a user writes it: the shortest decimal that reads back the
// same ("0.00001", "1.5", "24"), exponents only for very large or small ones.
std::string Decimal(double v);

struct Node {
  const Json* j;
  std::string path;
  const Source* src;
  std::vector<std::string> tokens;

  // "<file>:<line>:<column>: <path>" of this value.
  std::string Where() const;
  [[noreturn]] void Error(const std::string& what) const { Fail(Where() + ": " + what); }
  // Reports a warning about this value through the engine's reporting, as
  // the engine's own notes go ("tavelo: note: <where>: <what>").
  void Note(const std::string& what) const;

  bool IsObject() const { return j->is_object(); }
  bool IsArray() const { return j->is_array(); }
  bool IsNumber() const { return j->is_number(); }
  bool IsString() const { return j->is_string(); }

  std::optional<Node> Get(const char* key) const;
  Node Need(const char* key) const;
  size_t Size() const;
  Node At(size_t i) const;
  Node Member(const std::string& key) const;  // an existing key of this object
  // Refuses keys outside the list (a misspelt key would else be ignored).
  void Only(std::initializer_list<const char*> keys) const;

  double Number() const;
  double Number(double lo, double hi) const;
  int32_t Int(int32_t lo, int32_t hi) const;
  bool Bool() const;
  // A string; a zero character inside is refused (names and paths are cut
  // at it everywhere below).
  std::string String() const;
  // A name the engine keeps (at most 31 bytes).
  std::string Name() const;
  // One of the words, as its position in the list.
  int32_t Choice(std::initializer_list<const char*> words) const;
  // A time in seconds.
  // Seconds as a time of a composition of that frame duration (TimeOfSeconds).
  Time Seconds(Time frame = Time{0, 1}) const;
  // "#rrggbb" or "#aarrggbb" as 0xAARRGGBB.
  uint32_t Colour() const;
  // count numbers (a single number stands for all of them when allowScalar).
  std::vector<double> Numbers(size_t count, bool allowScalar) const;
};

// The root node of a parsed description.
Node Root(const Json& root, const Source& src);

}  // namespace tavelo::desc
