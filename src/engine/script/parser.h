#pragma once
// Reads script text into a syntax tree.
//
// The syntax: one statement a line ("\" at the end of a line or at the start
// of the next one joins them; inside parentheses lines may break freely),
// "#" comments to the end of the line, /* */ block comments, "__END__" ends the
// script. Statements are `name = expr`, `global name = expr`, `return expr` and
// plain expressions. Expressions: integers (also $hex), floats, "strings" and
// """strings""" without escapes, true/false/yes/no, names, calls with
// positional and name=value arguments, method chains a.F(x).G, operators
// ?: || && == != <> < > <= >= + ++ - * / % ! and unary -.

#include <stdexcept>
#include <string>

#include "engine/script/ast.h"
#include "engine/video.h"

namespace reelwork::engine::script {

// An error that already names its script line ("line 3: ...").
class ScriptError : public EngineError {
public:
  ScriptError(int line, const std::string &message)
      : EngineError("line " + std::to_string(line) + ": " + message), line_(line) {}
  int line() const { return line_; }

private:
  int line_;
};

// Throws ScriptError ("line N: syntax error: ...") on malformed text.
Program ParseScript(const std::string &text);

} // namespace reelwork::engine::script
