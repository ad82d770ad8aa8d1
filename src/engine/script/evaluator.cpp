#include "engine/script/evaluator.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "common/text_codec.h"
#include "engine/filters/filters.h"
#include "engine/mpeg2_source.h"
#include "engine/script/functions.h"
#include "engine/script/parser.h"

namespace reelwork::engine::script {

namespace {

const char *TypeName(ArgType t) {
  switch (t) {
  case ArgType::Clip:
    return "a clip";
  case ArgType::Int:
    return "an integer";
  case ArgType::Float:
    return "a number";
  case ArgType::String:
    return "a string";
  case ArgType::Bool:
    return "true or false";
  case ArgType::Any:
    return "a value";
  }
  return "?";
}

bool Fits(const Value &v, ArgType t) {
  switch (t) {
  case ArgType::Clip:
    return v.type == Value::Type::Clip;
  case ArgType::Int:
    return v.type == Value::Type::Int;
  case ArgType::Float:
    return v.isNumber();
  case ArgType::String:
    return v.type == Value::Type::String;
  case ArgType::Bool:
    return v.type == Value::Type::Bool;
  case ArgType::Any:
    return !v.isVoid();
  }
  return false;
}

int Wrap(long long v) { return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v))); }

class Evaluator {
public:
  Evaluator(const ScriptContext &ctx) : ctx_(ctx), table_(BuiltinFunctions()) {}

  ScriptResult run(const Program &prog) {
    Value result;
    int resultLine = prog.statements.empty() ? 1 : prog.statements.back().line;
    bool returned = false;
    for (const Stmt &s : prog.statements) {
      switch (s.kind) {
      case Stmt::Kind::Return:
        result = eval(*s.expr);
        resultLine = s.line;
        returned = true;
        break;
      case Stmt::Kind::Assign: {
        const std::string key = Lower(s.name);
        Value v = eval(*s.expr);
        if (key == "last" && !v.isClip())
          throw ScriptError(s.line, "'last' can only hold a clip, not " + v.describe());
        if (key == "last")
          last_ = v;
        else
          vars_[key] = v;
        result = Value{};
        break;
      }
      case Stmt::Kind::Expression: {
        Value v = statementValue(*s.expr);
        if (v.isClip())
          last_ = v;
        result = v;
        break;
      }
      }
      if (returned)
        break;
    }
    if (!returned && result.isVoid())
      result = last_;
    if (result.isVoid()) {
      std::string why = "the script gives no clip";
      if (!passed_.empty()) {
        why += " (not known to the engine:";
        for (size_t k = 0; k < passed_.size(); ++k)
          why += (k ? ", " : " ") + passed_[k];
        why += ")";
      }
      throw ScriptError(resultLine, why);
    }
    if (!result.isClip())
      throw ScriptError(resultLine, "the script's result is not a clip but " + result.describe());
    ScriptResult out;
    out.clip = result.clip;
    out.notes.notPreviewed = passed_;
    out.notes.approximated = approximated_;
    return out;
  }

private:
  // A statement that is a bare unknown name ("Telecide") is a call of a
  // filter the engine does not know.
  Value statementValue(const Expr &e) {
    if (e.kind == Expr::Kind::Ident && Lower(e.text) != "last" && !vars_.count(Lower(e.text)) &&
        !table_.find(e.text))
      return passThrough(e);
    return eval(e);
  }

  Value eval(const Expr &e, bool lenient = false) {
    switch (e.kind) {
    case Expr::Kind::Int:
      return Value::OfInt(static_cast<int>(e.ival));
    case Expr::Kind::Float:
      return Value::OfFloat(e.fval);
    case Expr::Kind::String:
      return Value::OfString(e.text);
    case Expr::Kind::Bool:
      return Value::OfBool(e.ival != 0);
    case Expr::Kind::Ident:
      return identifier(e, lenient);
    case Expr::Kind::Call:
      return call(e, lenient);
    case Expr::Kind::Unary:
      return unary(e, lenient);
    case Expr::Kind::Binary:
      return binary(e, lenient);
    case Expr::Kind::Ternary: {
      Value c = eval(*e.args[0], lenient);
      if (c.type != Value::Type::Bool)
        throw ScriptError(e.line, "the condition before '?' must be true or false, not " + c.describe());
      return eval(*e.args[c.b ? 1 : 2], lenient);
    }
    }
    return Value{};
  }

  Value identifier(const Expr &e, bool lenient) {
    const std::string key = Lower(e.text);
    if (key == "last") {
      if (last_.isVoid() && !lenient)
        throw ScriptError(e.line, "'last' has no clip yet");
      return last_;
    }
    auto it = vars_.find(key);
    if (it != vars_.end())
      return it->second;
    if (const FunctionDef *def = table_.find(e.text)) {
      if (def->approximated)
        noteApproximated(e.text);
      return invoke(*def, {}, {}, e.line);
    }
    if (lenient)
      return Value{};
    throw ScriptError(e.line, "I don't know what '" + e.text + "' means");
  }

  Value call(const Expr &e, bool lenient) {
    const FunctionDef *def = table_.find(e.text);
    if (!def)
      return passThrough(e);
    std::vector<Value> positional;
    std::vector<std::pair<std::string, Value>> named;
    for (size_t k = 0; k < e.args.size(); ++k) {
      Value v = eval(*e.args[k], lenient);
      if (e.argNames[k].empty())
        positional.push_back(std::move(v));
      else
        named.emplace_back(e.argNames[k], std::move(v));
    }
    if (def->approximated)
      noteApproximated(e.text);
    return invoke(*def, positional, named, e.line);
  }

  // Names an approximated function once, as the script spells it.
  void noteApproximated(const std::string &spelled) {
    const std::string key = Lower(spelled);
    if (approximatedKeys_.insert(key).second)
      approximated_.push_back(spelled);
  }

  // A function the engine does not know: its clip goes on unchanged.
  Value passThrough(const Expr &e) {
    Value result;
    bool found = false;
    for (size_t k = 0; k < e.args.size(); ++k) {
      Value v = eval(*e.args[k], true);
      if (!found && v.isClip() && e.argNames[k].empty() && (k == 0 || !e.method)) {
        result = v;
        found = true;
      }
    }
    if (!found)
      result = last_;
    const std::string key = Lower(e.text);
    if (!passedKeys_.count(key)) {
      passedKeys_.insert(key);
      passed_.push_back(e.text);
    }
    return result;
  }

  Value invoke(const FunctionDef &def, const std::vector<Value> &positional,
               const std::vector<std::pair<std::string, Value>> &named, int line) {
    auto fail = [&](const std::string &why) -> ScriptError { return ScriptError(line, def.name + ": " + why); };
    std::vector<std::optional<Value>> bound;
    if (def.anyArguments) {
      // Such functions work on `last` when no clip comes first.
      if ((positional.empty() || !positional[0].isClip()) && last_.isClip())
        bound.emplace_back(last_);
      for (const Value &v : positional)
        bound.emplace_back(v);
    } else {
      const std::vector<Param> &params = def.params;
      bound.resize(params.size());
      size_t pi = 0, ai = 0;
      if (!params.empty() && params[0].type == ArgType::Clip) {
        if (!positional.empty() && positional[0].isClip()) {
          bound[0] = positional[0];
          ai = 1;
        }
        pi = 1;
      }
      for (; ai < positional.size(); ++ai, ++pi) {
        if (pi >= params.size())
          throw fail("too many arguments (it takes at most " + std::to_string(params.size()) + ")");
        const Param &p = params[pi];
        if (!Fits(positional[ai], p.type))
          throw fail(p.name + " must be " + TypeName(p.type) + ", not " + positional[ai].describe());
        bound[pi] = positional[ai];
      }
      for (const auto &[name, value] : named) {
        size_t idx = params.size();
        for (size_t k = 0; k < params.size(); ++k)
          if (Lower(params[k].name) == Lower(name))
            idx = k;
        if (idx == params.size())
          throw fail("unknown argument '" + name + "'");
        if (bound[idx])
          throw fail("argument '" + params[idx].name + "' is given twice");
        if (!Fits(value, params[idx].type))
          throw fail(params[idx].name + " must be " + TypeName(params[idx].type) + ", not " + value.describe());
        bound[idx] = value;
      }
      if (!params.empty() && params[0].type == ArgType::Clip && !params[0].optional && !bound[0]) {
        if (!last_.isClip())
          throw fail("there is no clip to work on (no clip before this line)");
        bound[0] = last_;
      }
      for (size_t k = 0; k < params.size(); ++k)
        if (!params[k].optional && !bound[k])
          throw fail("argument '" + params[k].name + "' is missing");
    }
    Args args(def.name, def.params, std::move(bound));
    CallEnv env{ctx_};
    try {
      return def.body(args, env);
    } catch (const ScriptError &) {
      throw;
    } catch (const EngineError &ex) {
      throw ScriptError(line, ex.what());
    }
  }

  Value unary(const Expr &e, bool lenient) {
    Value v = eval(*e.args[0], lenient);
    if (e.text == "!") {
      if (v.type != Value::Type::Bool)
        throw ScriptError(e.line, "'!' needs true or false, not " + v.describe());
      return Value::OfBool(!v.b);
    }
    if (!v.isNumber())
      throw ScriptError(e.line, "'" + e.text + "' needs a number, not " + v.describe());
    if (e.text == "+")
      return v;
    if (v.type == Value::Type::Int)
      return Value::OfInt(Wrap(-static_cast<long long>(v.i)));
    return Value::OfFloat(-v.f);
  }

  Value binary(const Expr &e, bool lenient) {
    const std::string &op = e.text;
    if (op == "&&" || op == "||") {
      Value a = eval(*e.args[0], lenient);
      if (a.type != Value::Type::Bool)
        throw ScriptError(e.line, "'" + op + "' needs true or false, not " + a.describe());
      if ((op == "&&" && !a.b) || (op == "||" && a.b))
        return a;
      Value b = eval(*e.args[1], lenient);
      if (b.type != Value::Type::Bool)
        throw ScriptError(e.line, "'" + op + "' needs true or false, not " + b.describe());
      return b;
    }
    Value a = eval(*e.args[0], lenient);
    Value b = eval(*e.args[1], lenient);
    auto mismatch = [&]() {
      return ScriptError(e.line, "'" + op + "' cannot combine " + a.describe() + " and " + b.describe());
    };
    if (op == "+" || op == "++") {
      if (a.isClip() && b.isClip()) {
        try {
          return Value::OfClip(filters::MakeSplice(a.clip, b.clip, op == "+" ? "UnalignedSplice" : "AlignedSplice"));
        } catch (const EngineError &ex) {
          throw ScriptError(e.line, ex.what());
        }
      }
      if (a.type == Value::Type::String && b.type == Value::Type::String)
        return Value::OfString(a.s + b.s);
      if (op == "++")
        throw mismatch();
    }
    if (op == "==" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      int cmp;
      if (a.isNumber() && b.isNumber()) {
        const double x = a.number(), y = b.number();
        cmp = x < y ? -1 : x > y ? 1 : 0;
      } else if (a.type == Value::Type::String && b.type == Value::Type::String) {
        const std::string x = Lower(a.s), y = Lower(b.s);
        cmp = x < y ? -1 : x > y ? 1 : 0;
      } else if (a.type == Value::Type::Bool && b.type == Value::Type::Bool && (op == "==" || op == "!=")) {
        cmp = a.b == b.b ? 0 : 1;
      } else if (a.isClip() && b.isClip() && (op == "==" || op == "!=")) {
        cmp = a.clip == b.clip ? 0 : 1;
      } else {
        throw mismatch();
      }
      const bool r = op == "==" ? cmp == 0 : op == "!=" ? cmp != 0 : op == "<" ? cmp < 0 : op == ">" ? cmp > 0
                                                               : op == "<=" ? cmp <= 0 : cmp >= 0;
      return Value::OfBool(r);
    }
    if (!a.isNumber() || !b.isNumber())
      throw mismatch();
    if (a.type == Value::Type::Int && b.type == Value::Type::Int) {
      const long long x = a.i, y = b.i;
      if (op == "+")
        return Value::OfInt(Wrap(x + y));
      if (op == "-")
        return Value::OfInt(Wrap(x - y));
      if (op == "*")
        return Value::OfInt(Wrap(x * y));
      if (y == 0)
        throw ScriptError(e.line, "division by zero");
      if (op == "/")
        return Value::OfInt(Wrap(x / y));
      return Value::OfInt(Wrap(x % y));
    }
    const double x = a.number(), y = b.number();
    if (op == "+")
      return Value::OfFloat(x + y);
    if (op == "-")
      return Value::OfFloat(x - y);
    if (op == "*")
      return Value::OfFloat(x * y);
    if (op == "/")
      return Value::OfFloat(x / y);
    return Value::OfFloat(std::fmod(x, y));
  }

  const ScriptContext &ctx_;
  const FunctionTable &table_;
  std::map<std::string, Value> vars_;
  Value last_;
  std::vector<std::string> passed_;
  std::set<std::string> approximatedKeys_;
  std::vector<std::string> approximated_;
  std::set<std::string> passedKeys_;
};

} // namespace

ScriptResult EvaluateScript(const std::string &text, const ScriptContext &ctx) {
  const Program prog = ParseScript(text);
  ScriptContext full = ctx;
  if (!full.mpeg2)
    full.mpeg2 = [](const std::string &path, const ProgressFn &progress) { return MakeMpeg2Source(path, progress); };
  PreviewNotes found; // what the sources report while the script runs
  if (!full.notes)
    full.notes = &found;
  ScriptResult result = Evaluator(full).run(prog);
  for (const FrameRange &r : found.damaged)
    result.notes.damaged.push_back(r);
  return result;
}

ScriptResult EvaluateScriptFile(const std::string &path, const ProgressFn &progress) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw EngineError("cannot open the script " + path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    throw EngineError("cannot read the script " + path);
  ScriptContext ctx;
  ctx.folder = std::filesystem::path(path).parent_path().string();
  ctx.progress = progress;
  // Scripts are Windows-1251 text (UTF-8 when plainly so); the evaluator
  // and the file look-ups work in UTF-8.
  return EvaluateScript(DecodeProjectText(text.str()), ctx);
}

} // namespace reelwork::engine::script
