// A place in a project description: the JSON value and its path from the
// top ("comps[0].layers[2].opacity"), so every complaint names where it is.
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

struct Node {
  const Json& j;
  std::string path;
  const std::string* file;  // the description's name, for messages

  [[noreturn]] void Error(const std::string& what) const {
    Fail(*file + ": " + (path.empty() ? std::string("(top)") : path) + ": " + what);
  }
  std::string Child(const std::string& key) const { return path.empty() ? key : path + "." + key; }

  bool IsObject() const { return j.is_object(); }
  bool IsArray() const { return j.is_array(); }
  bool IsNumber() const { return j.is_number(); }

  std::optional<Node> Get(const char* key) const {
    if (!j.is_object()) Error("expected an object");
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) return std::nullopt;
    return Node{*it, Child(key), file};
  }
  Node Need(const char* key) const {
    auto n = Get(key);
    if (!n) Error(std::string("\"") + key + "\" is missing");
    return *n;
  }
  size_t Size() const {
    if (!j.is_array()) Error("expected a list");
    return j.size();
  }
  Node At(size_t i) const { return Node{j.at(i), path + "[" + std::to_string(i) + "]", file}; }
  // Refuses keys outside the list (a misspelt key would else be ignored).
  void Only(std::initializer_list<const char*> keys) const {
    if (!j.is_object()) Error("expected an object");
    for (auto it = j.begin(); it != j.end(); ++it) {
      bool known = false;
      for (const char* k : keys) known = known || it.key() == k;
      if (!known) Node{*it, Child(it.key()), file}.Error("unknown key");
    }
  }
  double Number() const {
    if (!j.is_number()) Error("expected a number");
    return j.get<double>();
  }
  double Number(double lo, double hi) const {
    double v = Number();
    if (!(v >= lo && v <= hi)) Error("must lie between " + Fmt(lo) + " and " + Fmt(hi));
    return v;
  }
  int32_t Int(int32_t lo, int32_t hi) const {
    double v = Number(lo, hi);
    if (v != static_cast<double>(static_cast<int32_t>(v))) Error("expected a whole number");
    return static_cast<int32_t>(v);
  }
  bool Bool() const {
    if (!j.is_boolean()) Error("expected true or false");
    return j.get<bool>();
  }
  std::string String() const {
    if (!j.is_string()) Error("expected a string");
    return j.get<std::string>();
  }
  // A name the engine keeps (at most 31 bytes).
  std::string Name() const {
    std::string s = String();
    if (s.empty() || s.size() > 31) Error("a name has 1 to 31 bytes");
    return s;
  }
  // One of the words, as its position in the list.
  int32_t Choice(std::initializer_list<const char*> words) const {
    std::string s = String();
    int32_t i = 0;
    std::string all;
    for (const char* w : words) {
      if (s == w) return i;
      all += (i ? ", " : "") + std::string(w);
      ++i;
    }
    Error("\"" + s + "\" is not one of " + all);
  }
  // A time in seconds.
  Time Seconds() const;
  // "#rrggbb" or "#aarrggbb" as 0xAARRGGBB.
  uint32_t Colour() const;
  // count numbers (a single number stands for all of them when allowScalar).
  std::vector<double> Numbers(size_t count, bool allowScalar) const;

  static std::string Fmt(double v);
};

}  // namespace tavelo::desc
