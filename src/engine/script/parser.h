#pragma once
// Reads script text into a syntax tree.
//
// The syntax: one statement a line ("\" at the end of a line or at the start
// of the next one joins them; inside parentheses lines may break freely),
// "#" comments to the end of the line, /* */ and [* *] block comments,
// "__END__" ends the script. Statements are `name = expr`, `global name = expr`,
// `return expr`, plain expressions, `function Name(type name, type "opt") {...}`,
// `try {...} catch(name) {...}` and `if (cond) {...} else {...}`. Expressions:
// integers (also $hex), floats, "strings" and """strings""" (both may run over
// several lines, without escapes), true/false/yes/no, names, calls with
// positional and name=value arguments, method chains a.F(x).G, arrays [a, b]
// and their items a[0], operators ?: || && == != <> < > <= >= + ++ - * / % !
// and unary -.
//
// Input of any size is read without deep recursion: nesting, chains of
// operators and calls, and the size of the tree are bounded, and a script past
// a bound is refused with a syntax error that says which.

#include <stdexcept>
#include <string>

#include "engine/script/ast.h"
#include "engine/video.h"

namespace reelwork::engine::script {

// An error that already names its script line ("line 3: ...").
class ScriptError : public EngineError {
public:
  ScriptError(int line, const std::string &message)
      : EngineError("line " + std::to_string(line) + ": " + message), line_(line), reason_(message) {}
  int line() const { return line_; }
  // The message without its line.
  const std::string &reason() const { return reason_; }

private:
  int line_;
  std::string reason_;
};

// Bounds on what one script may hold.
inline constexpr size_t kMaxScriptBytes = 4u << 20; // the text of one script or imported file
inline constexpr int kMaxNesting = 200;        // parentheses, unary operators and blocks inside each other
inline constexpr int kMaxChain = 1000;         // levels of one expression: chained operators and calls
inline constexpr size_t kMaxNodes = 500000;    // values, names, operators and calls in one script

// Throws ScriptError ("line N: syntax error: ...") on malformed text.
Program ParseScript(const std::string &text);

} // namespace reelwork::engine::script
