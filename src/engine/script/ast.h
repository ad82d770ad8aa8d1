#pragma once
// The syntax tree of a script: a list of statements, each an expression, an
// assignment or a return.

#include <memory>
#include <string>
#include <vector>

namespace reelwork::engine::script {

struct Expr {
  enum class Kind {
    Int,     // ival
    Float,   // fval
    String,  // text
    Bool,    // ival 0/1
    Ident,   // text: a variable, "last", or a function called without "()"
    Call,    // text: function name; args; argNames ("" = positional)
    Unary,   // text: operator; args[0]
    Binary,  // text: operator; args[0], args[1]
    Ternary, // args[0] ? args[1] : args[2]
  };
  Kind kind = Kind::Int;
  int line = 0;
  long long ival = 0;
  double fval = 0;
  std::string text;
  std::vector<std::unique_ptr<Expr>> args;
  std::vector<std::string> argNames;
  bool method = false;  // written as receiver.Name(...): args[0] is the receiver
  bool parens = false;  // the call was written with "(...)"
};

using ExprPtr = std::unique_ptr<Expr>;

struct Stmt {
  enum class Kind { Expression, Assign, Return };
  Kind kind = Kind::Expression;
  int line = 0;
  std::string name; // variable of an assignment
  ExprPtr expr;
};

struct Program {
  std::vector<Stmt> statements;
  int lastLine = 0; // the number of the script's last line
};

} // namespace reelwork::engine::script
