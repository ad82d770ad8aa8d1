#pragma once
// A script value: nothing, a clip, an integer, a float, a string, a boolean
// or an array of values.

#include <memory>
#include <string>
#include <vector>

#include "engine/clip.h"

namespace reelwork::engine::script {

struct Value {
  enum class Type { Void, Clip, Int, Float, String, Bool, Array };
  Type type = Type::Void;
  ClipPtr clip;
  int i = 0;
  double f = 0;
  std::string s;
  bool b = false;
  std::shared_ptr<const std::vector<Value>> items; // an array's values, shared between copies

  static Value OfClip(ClipPtr c) {
    Value v;
    v.type = Type::Clip;
    v.clip = std::move(c);
    return v;
  }
  static Value OfInt(int x) {
    Value v;
    v.type = Type::Int;
    v.i = x;
    return v;
  }
  static Value OfFloat(double x) {
    Value v;
    v.type = Type::Float;
    v.f = x;
    return v;
  }
  static Value OfString(std::string x) {
    Value v;
    v.type = Type::String;
    v.s = std::move(x);
    return v;
  }
  static Value OfBool(bool x) {
    Value v;
    v.type = Type::Bool;
    v.b = x;
    return v;
  }

  static Value OfArray(std::vector<Value> x) {
    Value v;
    v.type = Type::Array;
    v.items = std::make_shared<const std::vector<Value>>(std::move(x));
    return v;
  }

  bool isVoid() const { return type == Type::Void; }
  bool isClip() const { return type == Type::Clip; }
  bool isNumber() const { return type == Type::Int || type == Type::Float; }
  double number() const { return type == Type::Int ? i : f; }

  // "a clip", "an integer (5)", ... for messages.
  std::string describe() const;
};

} // namespace reelwork::engine::script
