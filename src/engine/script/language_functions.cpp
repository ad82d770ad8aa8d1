// The language's own functions: values, strings, control of the script.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>

#include "common/file_lookup.h"
#include "engine/script/evaluator.h"
#include "engine/script/functions.h"

namespace reelwork::engine::script {

namespace {

[[noreturn]] void Fail(const Args &a, const std::string &why) { throw EngineError(a.function() + ": " + why); }

Param P(const char *name, ArgType type, bool optional = false) { return Param{name, type, optional}; }

// `first` followed by `count` optional parameters of type `type` named
// prefix0, prefix1, ...: the lists of Select, Min and Max.
std::vector<Param> ListOf(std::vector<Param> first, const char *prefix, ArgType type, int count) {
  for (int k = 0; k < count; ++k) {
    Param p{prefix, type, k > 0};
    p.name.append(std::to_string(k));
    first.push_back(std::move(p));
  }
  return first;
}

constexpr int kListLength = 32;

void AddValueTests(FunctionTable &t) {
  // An optional parameter that was not given arrives unbound: Defined and
  // Default tell it from a given one.
  t.add({"Defined", {P("x", ArgType::Any, true)},
         [](const Args &a, CallEnv &) { return Value::OfBool(a.has(0)); }});
  t.add({"Default", {P("x", ArgType::Any, true), P("d", ArgType::Any, true)},
         [](const Args &a, CallEnv &) { return a.has(0) ? a.at(0) : a.has(1) ? a.at(1) : Value{}; }});
  t.add({"Undefined", {}, [](const Args &, CallEnv &) { return Value{}; }});
  t.add({"NOP", {}, [](const Args &, CallEnv &) { return Value{}; }});
  struct Test {
    const char *name;
    bool (*test)(const Value &);
  };
  static const Test tests[] = {
      {"IsClip", [](const Value &v) { return v.isClip(); }},
      {"IsInt", [](const Value &v) { return v.type == Value::Type::Int; }},
      {"IsFloat", [](const Value &v) { return v.isNumber(); }}, // an integer is a float too
      {"IsString", [](const Value &v) { return v.type == Value::Type::String; }},
      {"IsBool", [](const Value &v) { return v.type == Value::Type::Bool; }},
  };
  for (const Test &test : tests) {
    auto fn = test.test;
    t.add({test.name, {P("x", ArgType::Any, true)},
           [fn](const Args &a, CallEnv &) { return Value::OfBool(a.has(0) && fn(a.at(0))); }});
  }
  t.add({"Select", ListOf({P("index", ArgType::Int)}, "item", ArgType::Any, kListLength),
         [](const Args &a, CallEnv &) {
           const int index = a.getInt(0, 0);
           if (index < 0 || index >= kListLength || !a.has(static_cast<size_t>(index) + 1))
             Fail(a, "the index " + std::to_string(index) + " names no item");
           return a.at(static_cast<size_t>(index) + 1);
         }});
  t.add({"ArraySize", {P("array", ArgType::Any)}, [](const Args &a, CallEnv &) {
           if (a.at(0).type != Value::Type::Array)
             Fail(a, "array must be an array, not " + a.at(0).describe());
           return Value::OfInt(static_cast<int>(a.at(0).items->size()));
         }});
  t.add({"Assert", {P("condition", ArgType::Bool), P("message", ArgType::String, true)},
         [](const Args &a, CallEnv &) -> Value {
           if (!a.getBool(0, false))
             throw EngineError(a.getString(1, "Assert: the assertion failed"));
           return Value{};
         }});
  // The script that runs (an imported one while it runs): its full name,
  // its file name, its folder with a separator at the end.
  t.add({"ScriptName", {}, [](const Args &, CallEnv &env) { return Value::OfString(env.ctx.file); }});
  t.add({"ScriptFile", {}, [](const Args &, CallEnv &env) {
           return Value::OfString(std::filesystem::path(env.ctx.file).filename().string());
         }});
  t.add({"ScriptDir", {}, [](const Args &, CallEnv &env) {
           std::string dir = env.ctx.folder.empty() ? "." : env.ctx.folder;
           if (dir.back() != '/')
             dir += '/';
           return Value::OfString(dir);
         }});
  t.add({"Exist", {P("filename", ArgType::String)}, [](const Args &a, CallEnv &env) {
           namespace fs = std::filesystem;
           fs::path p(a.getString(0, ""));
           if (p.is_relative() && !env.ctx.folder.empty())
             p = fs::path(env.ctx.folder) / p;
           return Value::OfBool(ResolvePathNoCase(p).has_value());
         }});
}

void AddNumbers(FunctionTable &t) {
  for (const char *nm : {"Min", "Max"}) {
    const bool isMax = std::string(nm) == "Max";
    t.add({nm, ListOf({}, "x", ArgType::Float, kListLength), [isMax](const Args &a, CallEnv &) {
             bool allInt = true;
             double best = a.getFloat(0, 0);
             for (size_t k = 0; a.has(k); ++k) {
               allInt = allInt && a.at(k).type == Value::Type::Int;
               const double v = a.at(k).number();
               best = isMax ? std::max(best, v) : std::min(best, v);
             }
             return allInt ? Value::OfInt(static_cast<int>(best)) : Value::OfFloat(best);
           }});
  }
  struct Math {
    const char *name;
    double (*fn)(double);
  };
  static const Math maths[] = {
      {"Sqrt", [](double x) { return std::sqrt(x); }}, {"Exp", [](double x) { return std::exp(x); }},
      {"Log", [](double x) { return std::log(x); }},   {"Log10", [](double x) { return std::log10(x); }},
      {"Sin", [](double x) { return std::sin(x); }},   {"Cos", [](double x) { return std::cos(x); }},
      {"Tan", [](double x) { return std::tan(x); }},   {"Atan", [](double x) { return std::atan(x); }},
      {"Frac", [](double x) { return x - std::trunc(x); }},
  };
  for (const Math &m : maths) {
    auto fn = m.fn;
    t.add({m.name, {P("x", ArgType::Float)}, [fn](const Args &a, CallEnv &) {
             return Value::OfFloat(fn(a.getFloat(0, 0)));
           }});
  }
  t.add({"Pow", {P("base", ArgType::Float), P("power", ArgType::Float)}, [](const Args &a, CallEnv &) {
           return Value::OfFloat(std::pow(a.getFloat(0, 0), a.getFloat(1, 0)));
         }});
  t.add({"Pi", {}, [](const Args &, CallEnv &) { return Value::OfFloat(3.14159265358979323846); }});
  t.add({"Sign", {P("x", ArgType::Float)}, [](const Args &a, CallEnv &) {
           const double x = a.getFloat(0, 0);
           return Value::OfInt(x > 0 ? 1 : x < 0 ? -1 : 0);
         }});
  t.add({"BitAnd", {P("a", ArgType::Int), P("b", ArgType::Int)},
         [](const Args &a, CallEnv &) { return Value::OfInt(a.getInt(0, 0) & a.getInt(1, 0)); }});
  t.add({"BitOr", {P("a", ArgType::Int), P("b", ArgType::Int)},
         [](const Args &a, CallEnv &) { return Value::OfInt(a.getInt(0, 0) | a.getInt(1, 0)); }});
  t.add({"Value", {P("s", ArgType::String)}, [](const Args &a, CallEnv &) {
           const std::string s = a.getString(0, "");
           return Value::OfFloat(std::strtod(s.c_str(), nullptr));
         }});
  t.add({"HexValue", {P("s", ArgType::String)}, [](const Args &a, CallEnv &) {
           const std::string s = a.getString(0, "");
           return Value::OfInt(static_cast<int>(static_cast<unsigned>(std::strtoul(s.c_str(), nullptr, 16))));
         }});
}

// String positions count from 1, as script writers know them.
void AddStrings(FunctionTable &t) {
  auto text = [&t](const char *name, std::string (*fn)(const std::string &)) {
    t.add({name, {P("s", ArgType::String)},
           [fn](const Args &a, CallEnv &) { return Value::OfString(fn(a.getString(0, ""))); }});
  };
  text("LCase", [](const std::string &s) { return Lower(s); });
  text("UCase", [](const std::string &s) {
    std::string r = s;
    for (char &c : r)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
  });
  text("RevStr", [](const std::string &s) { return std::string(s.rbegin(), s.rend()); });
  t.add({"StrLen", {P("s", ArgType::String)},
         [](const Args &a, CallEnv &) { return Value::OfInt(static_cast<int>(a.getString(0, "").size())); }});
  t.add({"LeftStr", {P("s", ArgType::String), P("length", ArgType::Int)}, [](const Args &a, CallEnv &) {
           const std::string s = a.getString(0, "");
           const int n = a.getInt(1, 0);
           if (n < 0)
             Fail(a, "the length must not be negative");
           return Value::OfString(s.substr(0, static_cast<size_t>(n)));
         }});
  t.add({"RightStr", {P("s", ArgType::String), P("length", ArgType::Int)}, [](const Args &a, CallEnv &) {
           const std::string s = a.getString(0, "");
           const int n = a.getInt(1, 0);
           if (n < 0)
             Fail(a, "the length must not be negative");
           const size_t keep = std::min(s.size(), static_cast<size_t>(n));
           return Value::OfString(s.substr(s.size() - keep));
         }});
  t.add({"MidStr", {P("s", ArgType::String), P("start", ArgType::Int), P("length", ArgType::Int, true)},
         [](const Args &a, CallEnv &) {
           const std::string s = a.getString(0, "");
           const int start = a.getInt(1, 1);
           if (start < 1)
             Fail(a, "the start must be 1 or more");
           if (a.has(2) && a.getInt(2, 0) < 0)
             Fail(a, "the length must not be negative");
           if (static_cast<size_t>(start) > s.size())
             return Value::OfString("");
           const size_t length = a.has(2) ? static_cast<size_t>(a.getInt(2, 0)) : std::string::npos;
           return Value::OfString(s.substr(static_cast<size_t>(start) - 1, length));
         }});
  t.add({"FindStr", {P("s", ArgType::String), P("substring", ArgType::String)}, [](const Args &a, CallEnv &) {
           const size_t at = a.getString(0, "").find(a.getString(1, ""));
           return Value::OfInt(at == std::string::npos ? 0 : static_cast<int>(at) + 1);
         }});
  t.add({"Chr", {P("code", ArgType::Int)}, [](const Args &a, CallEnv &) {
           return Value::OfString(std::string(1, static_cast<char>(a.getInt(0, 0) & 0xff)));
         }});
  t.add({"Ord", {P("s", ArgType::String)}, [](const Args &a, CallEnv &) {
           const std::string s = a.getString(0, "");
           return Value::OfInt(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
         }});
  t.add({"FillStr", {P("count", ArgType::Int), P("s", ArgType::String, true)}, [](const Args &a, CallEnv &) {
           const int n = a.getInt(0, 0);
           const std::string s = a.getString(1, " ");
           if (n < 1 || static_cast<double>(n) * static_cast<double>(s.size()) > 4e6)
             Fail(a, "the count must lie between 1 and the 4 MB a string may hold");
           std::string out;
           out.reserve(static_cast<size_t>(n) * s.size());
           for (int k = 0; k < n; ++k)
             out += s;
           return Value::OfString(out);
         }});
}

} // namespace

void AddLanguageFunctions(FunctionTable &t) {
  AddValueTests(t);
  AddNumbers(t);
  AddStrings(t);
}

} // namespace reelwork::engine::script
