#pragma once
// The function table: every function a script can call, with its argument
// signature and the code that builds its result. Names of functions and
// arguments compare without regard to case.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/script/value.h"

namespace reelwork::engine::script {

struct ScriptContext;

enum class ArgType { Clip, Int, Float, String, Bool, Any };

struct Param {
  std::string name;
  ArgType type = ArgType::Any;
  bool optional = true;
};

// The arguments of one call after binding, in signature order.
class Args {
public:
  Args(const std::string &function, const std::vector<Param> &params, std::vector<std::optional<Value>> values)
      : function_(function), params_(params), values_(std::move(values)) {}

  const std::string &function() const { return function_; }
  bool has(size_t i) const { return i < values_.size() && values_[i].has_value(); }
  const Value &at(size_t i) const { return *values_[i]; }
  ClipPtr clip(size_t i) const { return has(i) ? at(i).clip : nullptr; }
  int getInt(size_t i, int def) const { return has(i) ? at(i).i : def; }
  double getFloat(size_t i, double def) const { return has(i) ? at(i).number() : def; }
  bool getBool(size_t i, bool def) const { return has(i) ? at(i).b : def; }
  std::string getString(size_t i, const std::string &def) const { return has(i) ? at(i).s : def; }
  // Index of the parameter called `name` (no case), for readable bodies.
  size_t index(const std::string &name) const;

private:
  std::string function_;
  const std::vector<Param> &params_;
  std::vector<std::optional<Value>> values_;
};

struct CallEnv {
  const ScriptContext &ctx;
};

using FunctionBody = std::function<Value(const Args &, CallEnv &)>;

struct FunctionDef {
  std::string name; // as written in messages, e.g. "Crop"
  // A first parameter of type Clip that is not optional takes `last` when the
  // call gives no clip first.
  std::vector<Param> params;
  FunctionBody body;
  bool anyArguments = false; // takes whatever it is given (no checks)
  // A plugin function the engine does not render itself: its size, frame
  // count, rate and field order are exact, its pixels come from the nearest
  // filter the engine has. Calls are named to the user as approximated.
  bool approximated = false;
};

class FunctionTable {
public:
  void add(FunctionDef def);
  const FunctionDef *find(const std::string &name) const;

private:
  std::map<std::string, FunctionDef> byName_; // lower-case names
};

// The table of every built-in function and filter (built once), by family:
// the language's own functions, the core filters, and the plugin functions
// the engine knows by their effect on the video.
const FunctionTable &BuiltinFunctions();
void AddLanguageFunctions(FunctionTable &t); // language_functions.cpp
void AddPluginFunctions(FunctionTable &t);   // plugin_functions.cpp

std::string Lower(const std::string &s);

} // namespace reelwork::engine::script
