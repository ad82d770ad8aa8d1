#include "engine/script/evaluator.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <sstream>

#include "common/text_codec.h"
#include "common/file_lookup.h"
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

// Bounds that keep a runaway script from exhausting the stack, the memory or
// the user's patience; each is far beyond what a real script needs.
constexpr int kMaxCallDepth = 200;             // user functions calling each other
constexpr long long kMaxSteps = 20000000;      // values and calls evaluated in one run
constexpr long long kMaxCalls = 50000;         // calls of script functions in one run
constexpr size_t kMaxString = 4u << 20;        // bytes in one string
constexpr std::ptrdiff_t kStackBudget = 3 << 20; // bytes of stack the evaluation may use
constexpr int kMaxFilterDepth = 2000;          // filters a frame passes through
constexpr long long kMaxLoopRounds = 1000000;  // rounds of one while or for loop
constexpr int kMaxAnimateStages = 250;         // filters Animate makes along its range

// Where the evaluation stands on the stack, for the stack budget.
inline const char *StackHere() { return static_cast<const char *>(__builtin_frame_address(0)); }

ArgType ParamType(const std::string &type) {
  if (type == "clip")
    return ArgType::Clip;
  if (type == "int")
    return ArgType::Int;
  if (type == "float")
    return ArgType::Float;
  if (type == "string")
    return ArgType::String;
  if (type == "bool")
    return ArgType::Bool;
  return ArgType::Any;
}

// A file named by Import, found as the engine finds every file a script
// names: relative to the importing script's folder, without regard to case,
// a Windows path by its trailing components.
std::optional<std::string> ResolveImport(const std::string &name, const std::string &folder) {
  if (auto found = FindNamedFile(folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder), name))
    return found->string();
  return std::nullopt;
}

std::string ReadScriptBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw EngineError("cannot open " + path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad())
    throw EngineError("cannot read " + path);
  return text.str();
}

// The variables of the script or of one running function; a function sees
// its own scope and the globals.
struct Scope {
  std::unordered_map<std::string, Value> vars;
  Value last;
};

// What a list of statements gave: the value of the last one, or of a return.
struct BodyResult {
  Value value;
  bool returned = false;
  bool broke = false; // a break left the statements (and the loop around them)
  int line = 1;
};

// Sets a member for the time of a block and puts the old value back however
// the block ends.
template <typename T> class Restore {
public:
  Restore(T &slot, T value) : slot_(slot), old_(std::move(slot)) { slot_ = std::move(value); }
  ~Restore() { slot_ = std::move(old_); }
  const T &previous() const { return old_; }
  Restore(const Restore &) = delete;
  Restore &operator=(const Restore &) = delete;

private:
  T &slot_;
  T old_;
};

// ApplyRange and Animate. ApplyRange: frames first..last from the filtered
// clip, the others from the unfiltered one. Animate: frame n from the filter
// at step clamp(n, first, last) - first of its arguments' way from the start
// to the end values; `stages` holds the filter at evenly spaced steps (every
// step when the range is short). The clip has the geometry of the first.
class RangeSwitch : public Clip {
public:
  RangeSwitch(ClipPtr outside, std::vector<ClipPtr> stages, int first, int last)
      : outside_(std::move(outside)), stages_(std::move(stages)), first_(first), last_(last) {}
  const ClipInfo &info() const override { return stages_.front()->info(); }
  FramePtr frame(int n) override {
    if (outside_) {
      if (n < first_ || n > last_)
        return outside_->frame(std::min(n, outside_->info().frameCount - 1));
      return stages_.front()->frame(n);
    }
    const long long step = std::clamp(n, first_, last_) - first_, scale = last_ - first_;
    const size_t k = static_cast<size_t>((step * static_cast<long long>(stages_.size() - 1) + scale / 2) / scale);
    const ClipPtr &c = stages_[k];
    return c->frame(std::min(n, c->info().frameCount - 1));
  }

private:
  ClipPtr outside_;
  std::vector<ClipPtr> stages_;
  int first_, last_;
};

class Evaluator {
public:
  Evaluator(const ScriptContext &ctx) : ctx_(ctx), table_(BuiltinFunctions()), stackTop_(StackHere()) {}

  ScriptResult run(const Program &prog) {
    hoist(prog.statements, "");
    BodyResult r = runBody(prog.statements, 1);
    Value result = r.value;
    if (!r.returned && result.isVoid())
      result = top_.last;
    if (result.isVoid()) {
      std::string why = "the script gives no clip";
      if (!passed_.empty()) {
        why += " (not known to the engine:";
        for (size_t k = 0; k < passed_.size(); ++k)
          why += (k ? ", " : " ") + passed_[k];
        why += ")";
      }
      throw ScriptError(voidPass_.line ? voidPass_.line : r.line, why);
    }
    if (!result.isClip())
      throw ScriptError(r.line, "the script's result is not a clip but " + result.describe());
    ScriptResult out;
    out.clip = result.clip;
    out.notes.notPreviewed = passed_;
    out.notes.approximated = approximated_;
    out.notes.missingImports = missingImports_;
    return out;
  }

private:
  // ---- statements ----

  // Script functions are known from the start of the text that defines them,
  // so a script may call a function written further down.
  void hoist(const std::vector<Stmt> &stmts, const std::string &file) {
    for (const Stmt &s : stmts)
      if (s.kind == Stmt::Kind::Function) {
        s.function->file = file;
        userFunctions_[Lower(s.function->name)] = s.function;
      }
  }

  BodyResult runBody(const std::vector<Stmt> &stmts, int emptyLine) {
    BodyResult out;
    out.line = emptyLine;
    for (const Stmt &s : stmts) {
      if (s.kind != Stmt::Kind::Function)
        out.line = s.line;
      switch (s.kind) {
      case Stmt::Kind::Return:
        out.value = eval(*s.expr);
        out.returned = true;
        return out;
      case Stmt::Kind::Assign:
        assign(s, eval(*s.expr));
        out.value = Value{};
        break;
      case Stmt::Kind::Expression: {
        Value v = statementValue(*s.expr);
        if (v.isClip())
          scope_->last = v;
        out.value = v;
        break;
      }
      case Stmt::Kind::Function:
        break;
      case Stmt::Kind::Try: {
        BodyResult r;
        bool failed = false;
        std::string message;
        try {
          r = runBody(s.body, s.line);
        } catch (const EngineError &e) {
          failed = true;
          message = e.what();
        }
        if (failed) {
          scope_->vars[Lower(s.name)] = Value::OfString(message);
          r = runBody(s.elseBody, s.line);
        }
        if (r.returned || r.broke)
          return r;
        out.value = r.value;
        break;
      }
      case Stmt::Kind::If: {
        Value c = eval(*s.expr);
        if (c.type != Value::Type::Bool)
          throw ScriptError(s.line, "the condition of if must be true or false, not " + c.describe());
        BodyResult r = runBody(c.b ? s.body : s.elseBody, s.line);
        if (r.returned || r.broke)
          return r;
        out.value = r.value;
        break;
      }
      case Stmt::Kind::Break:
        out.broke = true;
        return out;
      case Stmt::Kind::While:
      case Stmt::Kind::For: {
        BodyResult r = s.kind == Stmt::Kind::While ? whileLoop(s) : forLoop(s);
        if (r.returned)
          return r;
        out.value = r.value;
        break;
      }
      }
    }
    return out;
  }

  // while (condition) { body }: the body runs as long as the condition is
  // true. Its value is that of the last round (`last` if none ran).
  BodyResult whileLoop(const Stmt &s) {
    BodyResult out;
    out.value = scope_->last;
    for (long long round = 0;; ++round) {
      const Value c = eval(*s.expr);
      if (c.type != Value::Type::Bool)
        throw ScriptError(s.line, "while: the condition must be true or false, not " + c.describe());
      if (!c.b)
        return out;
      if (round >= kMaxLoopRounds)
        throw ScriptError(s.line, "while: the loop runs more than " + std::to_string(kMaxLoopRounds) +
                                      " times (does its condition never become false?)");
      if (loopRound(s, out))
        return out;
    }
  }

  // for (name = first, limit, step) { body }: first, limit and step are
  // integers taken once; the body runs while the variable has not passed the
  // limit, and the variable goes on from its value after each round (the
  // body may change it).
  BodyResult forLoop(const Stmt &s) {
    auto integer = [&](const Expr &e, const char *what) {
      const Value v = eval(e);
      if (v.type != Value::Type::Int)
        throw ScriptError(s.line, std::string("for: the ") + what + " must be an integer, not " + v.describe());
      return static_cast<long long>(v.i);
    };
    long long i = integer(*s.expr, "first value");
    const long long limit = integer(*s.limit, "last value");
    const long long step = s.step ? integer(*s.step, "step") : 1;
    if (step == 0)
      throw ScriptError(s.line, "for: the step must not be 0");
    const std::string key = Lower(s.name);
    if (key == "last")
      throw ScriptError(s.line, "for: 'last' cannot count the rounds of a loop");
    BodyResult out;
    out.value = scope_->last;
    scope_->vars[key] = Value::OfInt(static_cast<int>(i));
    for (long long round = 0; step > 0 ? i <= limit : i >= limit; ++round) {
      if (round >= kMaxLoopRounds)
        throw ScriptError(s.line, "for: the loop runs more than " + std::to_string(kMaxLoopRounds) + " times");
      if (loopRound(s, out))
        return out;
      const Value *now = variable(key);
      if (!now || now->type != Value::Type::Int)
        throw ScriptError(s.line, "for: the loop variable '" + s.name + "' no longer holds an integer");
      i = static_cast<long long>(now->i) + step;
      if (i > std::numeric_limits<int>::max() || i < std::numeric_limits<int>::min())
        return out; // the count would leave the integers: the loop has passed any limit
      scope_->vars[key] = Value::OfInt(static_cast<int>(i));
    }
    return out;
  }

  // Runs the body of a loop once; true when the loop ends here (break or return).
  bool loopRound(const Stmt &s, BodyResult &out) {
    BodyResult r = runBody(s.body, s.line);
    if (r.returned) {
      out = r;
      return true;
    }
    out.value = r.value;
    return r.broke;
  }

  void assign(const Stmt &s, Value v) {
    const std::string key = Lower(s.name);
    if (key == "last") {
      if (!v.isClip())
        throw ScriptError(s.line, "'last' can only hold a clip, not " + v.describe());
      scope_->last = std::move(v);
    } else if (s.global) {
      globals_[key] = std::move(v);
    } else {
      scope_->vars[key] = std::move(v);
    }
  }

  const Value *variable(const std::string &key) const {
    if (auto it = scope_->vars.find(key); it != scope_->vars.end())
      return &it->second;
    if (auto it = globals_.find(key); it != globals_.end())
      return &it->second;
    return nullptr;
  }

  const FunctionDecl *userFunction(const std::string &name) const {
    auto it = userFunctions_.find(Lower(name));
    return it == userFunctions_.end() ? nullptr : it->second.get();
  }

  // A built-in function by name; a plugin prefix ("DGDecode_mpeg2source",
  // "TIVTC_TFM") is dropped when the rest names a known function.
  const FunctionDef *builtin(const std::string &name) const {
    if (const FunctionDef *def = table_.find(name))
      return def;
    const size_t cut = name.find('_');
    if (cut != std::string::npos && cut > 0 && cut + 1 < name.size())
      return table_.find(name.substr(cut + 1));
    return nullptr;
  }

  // Functions of the language that work on the evaluator itself.
  static bool IsLanguageForm(const std::string &key) {
    return key == "import" || key == "eval" || key == "apply" || key == "functionexists" || key == "varexist" ||
           key == "applyrange" || key == "animate";
  }

  // A statement that is a bare unknown name ("Telecide") is a call of a
  // filter the engine does not know.
  Value statementValue(const Expr &e) {
    if (e.kind == Expr::Kind::Ident) {
      const std::string key = Lower(e.text);
      if (key != "last" && !variable(key) && !userFunction(key) && !builtin(e.text))
        return passThrough(e);
    }
    return eval(e);
  }

  // ---- expressions ----

  Value eval(const Expr &e, bool lenient = false) {
    if (++steps_ > kMaxSteps || stackTop_ - StackHere() > kStackBudget)
      refuseRunaway(e);
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
    case Expr::Kind::Ternary:
      return ternary(e, lenient);
    case Expr::Kind::Array:
      return array(e, lenient);
    case Expr::Kind::Index:
      return index(e, lenient);
    }
    return Value{};
  }

  // Kept out of eval(), whose stack frame every level of an expression pays.
  [[noreturn, gnu::noinline]] void refuseRunaway(const Expr &e) const {
    if (steps_ > kMaxSteps)
      throw ScriptError(e.line, "the script takes too long to run (more than " + std::to_string(kMaxSteps) +
                                    " steps; does a recursion never end?)");
    throw ScriptError(e.line, "the script is nested too deeply to run (expressions and function calls inside "
                              "each other)");
  }

  Value ternary(const Expr &e, bool lenient) {
    Value c = eval(*e.args[0], lenient);
    if (c.type != Value::Type::Bool)
      throw ScriptError(e.line, "the condition before '?' must be true or false, not " + c.describe());
    return eval(*e.args[c.b ? 1 : 2], lenient);
  }

  Value array(const Expr &e, bool lenient) {
    std::vector<Value> items;
    items.reserve(e.args.size());
    for (const ExprPtr &a : e.args)
      items.push_back(eval(*a, lenient));
    return Value::OfArray(std::move(items));
  }

  Value index(const Expr &e, bool lenient) {
    Value array = eval(*e.args[0], lenient);
    Value index = eval(*e.args[1], lenient);
    if (array.type != Value::Type::Array)
      throw ScriptError(e.line, "only an array can be indexed, not " + array.describe());
    if (index.type != Value::Type::Int)
      throw ScriptError(e.line, "an array index must be an integer, not " + index.describe());
    const int size = static_cast<int>(array.items->size());
    if (index.i < 0 || index.i >= size)
      throw ScriptError(e.line, "the index " + std::to_string(index.i) + " lies outside the array" +
                                    (size ? " (0 to " + std::to_string(size - 1) + ")" : " (it is empty)"));
    return (*array.items)[static_cast<size_t>(index.i)];
  }

  // The refusal when a function finds no clip: it names the unknown function
  // that should have given one, on its own line, when there is such.
  ScriptError noClip(const std::string &function, int line) const {
    if (voidPass_.line)
      return ScriptError(voidPass_.line, voidPass_.name + " is not known to the engine and gives no clip, so " +
                                             function + " on line " + std::to_string(line) + " has none to work on");
    return ScriptError(line, function + ": there is no clip to work on (no clip before this line)");
  }

  Value identifier(const Expr &e, bool lenient) {
    const std::string key = Lower(e.text);
    if (key == "last") {
      if (scope_->last.isVoid() && !lenient) {
        if (voidPass_.line)
          throw noClip("'last'", e.line);
        throw ScriptError(e.line, "'last' has no clip yet");
      }
      return scope_->last;
    }
    if (const Value *v = variable(key))
      return *v;
    if (const FunctionDecl *user = userFunction(key))
      return callUser(*user, {}, {}, e.line, true);
    if (const FunctionDef *def = builtin(e.text))
      return callBuiltin(*def, e.text, {}, {}, e.line, true);
    if (lenient)
      return Value{};
    throw ScriptError(e.line, "I don't know what '" + e.text + "' means");
  }

  Value call(const Expr &e, bool lenient) {
    const std::string key = Lower(e.text);
    const FunctionDecl *user = userFunction(key);
    const FunctionDef *def = user || IsLanguageForm(key) ? nullptr : builtin(e.text);
    if (!user && !def && !IsLanguageForm(key))
      return passThrough(e);
    std::vector<Value> positional;
    std::vector<std::pair<std::string, Value>> named;
    positional.reserve(e.args.size());
    for (size_t k = 0; k < e.args.size(); ++k) {
      Value v = eval(*e.args[k], lenient);
      if (e.argNames[k].empty())
        positional.push_back(std::move(v));
      else
        named.emplace_back(e.argNames[k], std::move(v));
    }
    // A call written as clip.Name(...) never takes `last` in front.
    return dispatch(e.text, positional, named, e.line, !e.method);
  }

  // Calls the function `name` with values already evaluated; `implicitLast`
  // lets the call try `last` in front when its arguments do not fit.
  Value dispatch(const std::string &name, const std::vector<Value> &positional,
                 const std::vector<std::pair<std::string, Value>> &named, int line, bool implicitLast) {
    const std::string key = Lower(name);
    if (const FunctionDecl *user = userFunction(key))
      return callUser(*user, positional, named, line, implicitLast);
    if (key == "import")
      return import(positional, named, line);
    if (key == "eval")
      return evalText(positional, named, line);
    if (key == "applyrange" || key == "animate")
      return applyRange(name, key == "animate", positional, named, line, implicitLast);
    if (key == "apply") {
      if (positional.empty() || positional[0].type != Value::Type::String)
        throw ScriptError(line, "Apply: the first argument must be the name of a function");
      return dispatch(positional[0].s, std::vector<Value>(positional.begin() + 1, positional.end()), named, line,
                      true);
    }
    if (key == "functionexists" || key == "varexist") {
      const std::vector<std::string> names =
          stringArguments(key == "varexist" ? "VarExist" : "FunctionExists", positional, named, line);
      const std::string asked = Lower(names[0]);
      if (key == "varexist")
        return Value::OfBool(asked == "last" ? !scope_->last.isVoid() : variable(asked) != nullptr);
      return Value::OfBool(userFunction(asked) || IsLanguageForm(asked) || builtin(asked));
    }
    const FunctionDef *def = builtin(name);
    if (!def) {
      // Reached through Apply: an unknown function passes its clip on.
      Value result = !positional.empty() && positional[0].isClip() ? positional[0] : scope_->last;
      notePassed(name, line, result);
      return result;
    }
    return callBuiltin(*def, name, positional, named, line, implicitLast);
  }

  // Calls a built-in function and names it to the user as the script spells
  // it: as approximated when it is, or as not previewed when its body found
  // that the engine cannot tell its geometry (it adds to the notes' list).
  Value callBuiltin(const FunctionDef &def, const std::string &spelled, const std::vector<Value> &positional,
                    const std::vector<std::pair<std::string, Value>> &named, int line, bool implicitLast) {
    const size_t before = ctx_.notes ? ctx_.notes->notPreviewed.size() : 0;
    Value result = invoke(def, positional, named, line, implicitLast);
    if (ctx_.notes && ctx_.notes->notPreviewed.size() > before) {
      ctx_.notes->notPreviewed.resize(before);
      notePassed(spelled, line, result);
    } else if (def.approximated) {
      noteApproximated(spelled);
    }
    return result;
  }

  // ApplyRange(clip, first, last, "Filter", args...): the filter's frames
  // first..last, the clip's others. Animate(clip, first, last, "Filter",
  // start args..., end args...): the filter with its arguments moving from
  // the start values (up to `first`) to the end values (from `last` on), a
  // filter for every frame between; over a longer range than the engine
  // makes filters for, the frames between take the nearest one made and
  // Animate is named as approximated. Animate may also be called without a
  // clip, its arguments then holding the clips.
  Value applyRange(const std::string &spelled, bool animate, std::vector<Value> args,
                   const std::vector<std::pair<std::string, Value>> &named,
                   int line, bool implicitLast) {
    const std::string fn = animate ? "Animate" : "ApplyRange";
    if (!named.empty())
      throw ScriptError(line, fn + ": unknown argument '" + named[0].first + "'");
    const bool clipFirst = !args.empty() && args[0].isClip();
    if (!clipFirst && implicitLast && scope_->last.isClip() &&
        (!animate || args.size() < 4 || !args[3].isClip())) {
      args.insert(args.begin(), scope_->last);
    }
    const size_t at = !args.empty() && args[0].isClip() ? 1 : 0;
    if (!animate && at == 0)
      throw noClip(fn, line);
    if (args.size() < at + 3 || args[at].type != Value::Type::Int || args[at + 1].type != Value::Type::Int ||
        args[at + 2].type != Value::Type::String)
      throw ScriptError(line, fn + ": expected (clip, first frame, last frame, \"filter\", arguments...)");
    const int first = args[at].i, last = args[at + 1].i;
    const std::string filter = args[at + 2].s;
    if (first > last)
      throw ScriptError(line, fn + ": the last frame must not come before the first");
    if (animate && first == last)
      throw ScriptError(line, fn + ": the last frame must come after the first");
    std::vector<Value> start(args.begin() + static_cast<std::ptrdiff_t>(at + 3), args.end()), end;
    if (animate) {
      if (start.size() % 2)
        throw ScriptError(line, fn + ": the start and end arguments must be two lists of the same length");
      end.assign(start.begin() + static_cast<std::ptrdiff_t>(start.size() / 2), start.end());
      start.resize(start.size() / 2);
      for (size_t k = 0; k < start.size(); ++k) {
        const Value &a = start[k], &b = end[k];
        const bool same = (a.isNumber() && b.isNumber()) || (a.isClip() && b.isClip()) ||
                          (a.type == Value::Type::String && b.type == Value::Type::String &&
                           Lower(a.s) == Lower(b.s)) ||
                          (a.type == Value::Type::Bool && b.type == Value::Type::Bool && a.b == b.b);
        if (!same)
          throw ScriptError(line, fn + ": start and end argument " + std::to_string(k + 1) +
                                      " must be of the same type (strings and true/false the same value)");
      }
    }
    ClipPtr context = at ? args[0].clip : nullptr;
    auto run = [&](std::vector<Value> list) {
      if (context)
        list.insert(list.begin(), Value::OfClip(context));
      Value v = dispatch(filter, list, {}, line, false);
      if (!v.isClip())
        throw ScriptError(line, fn + ": " + filter + " gives no clip");
      return v.clip;
    };
    std::vector<ClipPtr> stages{run(start)};
    const ClipInfo &vi = stages.front()->info();
    if (animate) {
      // Integers move in whole steps (the product first, then the division),
      // numbers as single-precision values; the rest keeps its start value.
      const int scale = last - first;
      const int count = std::min(scale, kMaxAnimateStages);
      for (int k = 1; k <= count; ++k) {
        const long long step = static_cast<long long>(k) * scale / count;
        std::vector<Value> now = start;
        for (size_t a = 0; a < now.size(); ++a) {
          if (start[a].type == Value::Type::Int && end[a].type == Value::Type::Int)
            now[a] = Value::OfInt(static_cast<int>((static_cast<long long>(start[a].i) * (scale - step) +
                                                    static_cast<long long>(end[a].i) * step) / scale));
          else if (start[a].isNumber() && end[a].isNumber())
            now[a] = Value::OfFloat(static_cast<float>((start[a].number() * static_cast<double>(scale - step) +
                                                        end[a].number() * static_cast<double>(step)) / scale));
        }
        stages.push_back(run(now));
      }
      const ClipInfo &to = stages.back()->info();
      if (to.width != vi.width || to.height != vi.height)
        throw ScriptError(line, fn + ": the start and end pictures must have the same size");
      if (scale > count)
        noteApproximated(spelled); // long ranges: the nearest of the steps made
    } else {
      const ClipInfo &a = context->info();
      if (a.width != vi.width || a.height != vi.height || a.format != vi.format)
        throw ScriptError(line, fn + ": " + filter + " must keep the picture's size and format");
    }
    int depth = 0;
    for (const ClipPtr &c : stages)
      depth = std::max(depth, filterDepth(c));
    ClipPtr out = std::make_shared<RangeSwitch>(animate ? nullptr : context, std::move(stages), first, last);
    noteFilter(out, depth, fn, line);
    return Value::OfClip(out);
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
      result = scope_->last;
    notePassed(e.text, e.line, result);
    return result;
  }

  // Names a function passed through once; remembers the first that left the
  // script without a clip.
  void notePassed(const std::string &spelled, int line, const Value &result) {
    if (result.isVoid() && !voidPass_.line)
      voidPass_ = {line, spelled};
    if (passedKeys_.insert(Lower(spelled)).second)
      passed_.push_back(spelled);
  }

  // Binds the arguments of a call to the parameters in signature order; gives
  // the reason when they do not fit. An undefined value (an optional
  // parameter that was not given) counts as not given. An optional clip that
  // comes first may be left out ("BlankClip(100)"). Named arguments are found
  // through an index, so a call with any number of them binds in linear time.
  static std::optional<std::string> bindArgs(const std::vector<Param> &params, const std::vector<Value> &positional,
                                             const std::vector<std::pair<std::string, Value>> &named,
                                             std::vector<std::optional<Value>> &bound) {
    bound.assign(params.size(), std::nullopt);
    std::vector<char> given(params.size(), 0);
    size_t pi = 0, ai = 0;
    if (!params.empty() && params[0].type == ArgType::Clip && params[0].optional &&
        (positional.empty() || !positional[0].isClip()))
      pi = 1;
    for (; ai < positional.size(); ++ai, ++pi) {
      if (pi >= params.size())
        return "too many arguments (it takes at most " + std::to_string(params.size()) + ")";
      given[pi] = 1;
      if (positional[ai].isVoid())
        continue;
      const Param &p = params[pi];
      if (!Fits(positional[ai], p.type))
        return p.name + " must be " + TypeName(p.type) + ", not " + positional[ai].describe();
      bound[pi] = positional[ai];
    }
    if (!named.empty()) {
      std::unordered_map<std::string, size_t> index;
      for (size_t k = 0; k < params.size(); ++k)
        index.emplace(Lower(params[k].name), k);
      for (const auto &[name, value] : named) {
        auto it = index.find(Lower(name));
        if (it == index.end())
          return "unknown argument '" + name + "'";
        const size_t idx = it->second;
        if (given[idx])
          return "argument '" + params[idx].name + "' is given twice";
        given[idx] = 1;
        if (value.isVoid())
          continue;
        if (!Fits(value, params[idx].type))
          return params[idx].name + " must be " + TypeName(params[idx].type) + ", not " + value.describe();
        bound[idx] = value;
      }
    }
    for (size_t k = 0; k < params.size(); ++k)
      if (!params[k].optional && !bound[k])
        return "argument '" + params[k].name + "' is missing";
    return std::nullopt;
  }

  // Binds a call as the language does: the arguments as written first; when
  // they do not fit and the call is not written as `clip.Name(...)`, once
  // more with `last` put in front (so "AssumeFPS(other)" takes other's rate
  // for last). When both fail, the refusal is the one for the arguments the
  // script meant: as written when it gave the clip itself, else with `last`.
  std::vector<std::optional<Value>> bind(const std::string &function, const std::vector<Param> &params,
                                         const std::vector<Value> &positional,
                                         const std::vector<std::pair<std::string, Value>> &named, int line,
                                         bool implicitLast) {
    auto fail = [&](const std::string &why) { return ScriptError(line, function + ": " + why); };
    std::vector<std::optional<Value>> bound;
    const std::optional<std::string> plain = bindArgs(params, positional, named, bound);
    if (!plain)
      return bound;
    const bool clipFirst = !params.empty() && params[0].type == ArgType::Clip && !params[0].optional;
    const bool clipGiven = !positional.empty() && positional[0].isClip();
    if (!implicitLast)
      throw fail(*plain);
    if (!scope_->last.isClip()) {
      if (clipFirst && !clipGiven)
        throw noClip(function, line);
      throw fail(*plain);
    }
    std::vector<Value> withLast;
    withLast.reserve(positional.size() + 1);
    withLast.push_back(scope_->last);
    withLast.insert(withLast.end(), positional.begin(), positional.end());
    const std::optional<std::string> again = bindArgs(params, withLast, named, bound);
    if (!again)
      return bound;
    throw fail(clipFirst && clipGiven ? *plain : *again);
  }

  Value invoke(const FunctionDef &def, const std::vector<Value> &positional,
               const std::vector<std::pair<std::string, Value>> &named, int line, bool implicitLast) {
    std::vector<std::optional<Value>> bound;
    if (def.anyArguments) {
      // Such functions work on `last` when no clip comes first.
      if ((positional.empty() || !positional[0].isClip()) && scope_->last.isClip())
        bound.emplace_back(scope_->last);
      for (const Value &v : positional)
        bound.emplace_back(v);
    } else {
      bound = bind(def.name, def.params, positional, named, line, implicitLast);
    }
    int inputDepth = -1;
    for (const auto &v : bound)
      if (v && v->isClip())
        inputDepth = std::max(inputDepth, filterDepth(v->clip));
    Args args(def.name, def.params, std::move(bound));
    CallEnv env{ctx_};
    Value result;
    try {
      result = def.body(args, env);
    } catch (const ScriptError &) {
      throw;
    } catch (const EngineError &ex) {
      throw ScriptError(line, ex.what());
    }
    if (result.isClip())
      noteFilter(result.clip, inputDepth, def.name, line);
    return result;
  }

  // How many filters a frame of the clip passes through, as far as this
  // script built them; a graph too deep to pull frames from is refused.
  int filterDepth(const ClipPtr &clip) const {
    auto it = filterDepth_.find(clip.get());
    if (it == filterDepth_.end() || it->second.first.lock() != clip)
      return 0;
    return it->second.second;
  }
  void noteFilter(const ClipPtr &result, int inputDepth, const std::string &function, int line) {
    if (inputDepth < 0 || filterDepth(result) > 0)
      return;
    const int depth = inputDepth + 1;
    if (depth > kMaxFilterDepth)
      throw ScriptError(line, function + ": the clip would pass through more than " +
                                  std::to_string(kMaxFilterDepth) + " filters");
    filterDepth_[result.get()] = {result, depth};
  }

  // ---- script functions, Import and Eval ----

  Value callUser(const FunctionDecl &fn, const std::vector<Value> &positional,
                 const std::vector<std::pair<std::string, Value>> &named, int line, bool implicitLast) {
    if (++calls_ > kMaxCalls)
      throw ScriptError(line, "the script takes too long to run (its functions are called more than " +
                                  std::to_string(kMaxCalls) + " times; does a recursion never end?)");
    if (callDepth_ >= kMaxCallDepth)
      throw ScriptError(line, fn.name + ": functions call each other more than " + std::to_string(kMaxCallDepth) +
                                  " levels deep (does the recursion never end?)");
    std::vector<Param> params;
    params.reserve(fn.params.size());
    for (const FunctionParam &p : fn.params)
      params.push_back(Param{p.name, ParamType(p.type), p.optional});
    std::vector<std::optional<Value>> bound = bind(fn.name, params, positional, named, line, implicitLast);
    Scope scope;
    for (size_t k = 0; k < params.size(); ++k) {
      Value v = bound[k] ? *bound[k] : Value{};
      if (fn.params[k].type == "array" && !v.isVoid() && v.type != Value::Type::Array)
        throw ScriptError(line, fn.name + ": " + params[k].name + " must be an array, not " + v.describe());
      if (params[k].type == ArgType::Float && v.type == Value::Type::Int)
        v = Value::OfFloat(v.i);
      // A parameter may be called "last" (Trim(first, last)): it is the
      // function's `last`, whatever it holds.
      const std::string key = Lower(params[k].name);
      if (key == "last")
        scope.last = std::move(v);
      else
        scope.vars[key] = std::move(v);
    }
    Restore<Scope *> inScope(scope_, &scope);
    Restore<int> deeper(callDepth_, callDepth_ + 1);
    Restore<std::string> inFile(currentFile_, fn.file);
    const bool elsewhere = fn.file != inFile.previous();
    try {
      BodyResult r = runBody(fn.body, fn.line);
      if (!r.returned && r.value.isVoid())
        return scope.last;
      return r.value;
    } catch (const ScriptError &ex) {
      if (!elsewhere)
        throw;
      throw ScriptError(line, fn.name + " (" + fn.file + ", line " + std::to_string(ex.line()) + "): " + ex.reason());
    }
  }

  // The string arguments of Import, Eval and the like (at least one).
  std::vector<std::string> stringArguments(const char *function, const std::vector<Value> &positional,
                                           const std::vector<std::pair<std::string, Value>> &named, int line) {
    std::vector<std::string> names;
    for (const Value &v : positional) {
      if (v.type != Value::Type::String)
        throw ScriptError(line, std::string(function) + ": expected a string, not " + v.describe());
      names.push_back(v.s);
    }
    for (const auto &[name, value] : named)
      if (Lower(name) != "utf8" && Lower(name) != "name")
        throw ScriptError(line, std::string(function) + ": unknown argument '" + name + "'");
    if (names.empty())
      throw ScriptError(line, std::string(function) + ": argument missing");
    return names;
  }

  // Import("lib.avsi"): runs the file in the current scope and gives its
  // value. A file that is not here is named in the notes and skipped.
  Value import(const std::vector<Value> &positional, const std::vector<std::pair<std::string, Value>> &named,
               int line) {
    Value result;
    for (const std::string &name : stringArguments("Import", positional, named, line)) {
      const std::optional<std::string> path = ResolveImport(name, ctx_.folder);
      if (!path) {
        if (missingKeys_.insert(name).second)
          missingImports_.push_back(name);
        continue;
      }
      std::error_code ec;
      const std::string key = std::filesystem::weakly_canonical(*path, ec).string();
      for (size_t k = 0; k < importStack_.size(); ++k)
        if (importStack_[k].first == key) {
          std::string chain;
          for (size_t j = k; j < importStack_.size(); ++j)
            chain += importStack_[j].second + " -> ";
          throw ScriptError(line, "Import: " + name + " imports itself in a circle (" + chain + name + ")");
        }
      std::string text;
      try {
        text = DecodeProjectText(ReadScriptBytes(*path));
      } catch (const EngineError &ex) {
        throw ScriptError(line, std::string("Import: ") + ex.what());
      }
      auto prog = std::make_shared<Program>();
      try {
        *prog = ParseScript(text);
      } catch (const ScriptError &ex) {
        throw ScriptError(line, "Import: " + name + ", " + ex.what());
      }
      programs_.push_back(prog);
      hoist(prog->statements, name);
      importStack_.emplace_back(key, name);
      Restore<std::string> inFolder(ctx_.folder, std::filesystem::path(*path).parent_path().string());
      Restore<std::string> inScript(ctx_.file, *path);
      Restore<std::string> inFile(currentFile_, name);
      try {
        BodyResult r = runBody(prog->statements, 1);
        result = r.value;
      } catch (const ScriptError &ex) {
        importStack_.pop_back();
        throw ScriptError(line, "Import: " + name + ", " + ex.what());
      } catch (...) {
        importStack_.pop_back();
        throw;
      }
      importStack_.pop_back();
    }
    return result;
  }

  // Eval("text"): runs the text as script lines in the current scope.
  Value evalText(const std::vector<Value> &positional, const std::vector<std::pair<std::string, Value>> &named,
                 int line) {
    const std::vector<std::string> texts = stringArguments("Eval", positional, named, line);
    if (texts.size() != 1)
      throw ScriptError(line, "Eval: too many arguments");
    auto prog = std::make_shared<Program>();
    try {
      *prog = ParseScript(texts[0]);
    } catch (const ScriptError &ex) {
      throw ScriptError(line, std::string("Eval: ") + ex.what());
    }
    programs_.push_back(prog);
    hoist(prog->statements, currentFile_);
    try {
      BodyResult r = runBody(prog->statements, 1);
      return r.value;
    } catch (const ScriptError &ex) {
      throw ScriptError(line, std::string("Eval: ") + ex.what());
    }
  }

  // ---- operators ----

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
    return combine(e, a, b);
  }

  // A binary operator other than && and || on its two values.
  Value combine(const Expr &e, const Value &a, const Value &b) {
    const std::string &op = e.text;
    auto mismatch = [&]() {
      return ScriptError(e.line, "'" + op + "' cannot combine " + a.describe() + " and " + b.describe());
    };
    if (op == "+" || op == "++") {
      if (a.isClip() && b.isClip()) {
        const int depth = std::max(filterDepth(a.clip), filterDepth(b.clip));
        try {
          Value joined =
              Value::OfClip(filters::MakeSplice(a.clip, b.clip, op == "+" ? "UnalignedSplice" : "AlignedSplice"));
          noteFilter(joined.clip, depth, "'" + op + "'", e.line);
          return joined;
        } catch (const ScriptError &) {
          throw;
        } catch (const EngineError &ex) {
          throw ScriptError(e.line, ex.what());
        }
      }
      if (a.type == Value::Type::String && b.type == Value::Type::String) {
        if (a.s.size() + b.s.size() > kMaxString)
          throw ScriptError(e.line, "'" + op + "': the string would be longer than " +
                                        std::to_string(kMaxString >> 20) + " MB");
        return Value::OfString(a.s + b.s);
      }
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

  ScriptContext ctx_; // its folder follows the file that runs (Import)
  const FunctionTable &table_;
  const char *stackTop_;
  std::unordered_map<std::string, std::shared_ptr<FunctionDecl>> userFunctions_;
  std::vector<std::shared_ptr<Program>> programs_; // imported and evaluated texts, kept for their functions
  std::unordered_map<std::string, Value> globals_;
  Scope top_;
  Scope *scope_ = &top_;
  int callDepth_ = 0;
  long long steps_ = 0;
  long long calls_ = 0;
  std::string currentFile_; // the imported file that runs; "" for the script
  std::vector<std::pair<std::string, std::string>> importStack_; // canonical path, name as written
  std::unordered_map<const Clip *, std::pair<std::weak_ptr<Clip>, int>> filterDepth_;
  struct {
    int line = 0;
    std::string name;
  } voidPass_; // the first unknown function that gave no clip
  std::vector<std::string> passed_;
  std::set<std::string> passedKeys_;
  std::set<std::string> approximatedKeys_;
  std::vector<std::string> approximated_;
  std::set<std::string> missingKeys_;
  std::vector<std::string> missingImports_;
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
  std::vector<ClipPtr> opened;
  if (!full.sources)
    full.sources = &opened;
  ScriptResult result = Evaluator(full).run(prog);
  for (const FrameRange &r : found.damaged)
    result.notes.damaged.push_back(r);
  result.sources = std::move(opened);
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
  ctx.file = path;
  ctx.progress = progress;
  // Scripts are Windows-1251 text (UTF-8 when plainly so); the evaluator
  // and the file look-ups work in UTF-8.
  return EvaluateScript(DecodeProjectText(text.str()), ctx);
}

} // namespace reelwork::engine::script
