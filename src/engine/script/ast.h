#pragma once
// The syntax tree of a script: a list of statements (expressions, assignments,
// returns, function definitions, try/catch and if/else blocks, while and for
// loops).

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
    Array,   // [args...]
    Index,   // args[0][args[1]]
  };
  Expr() = default;
  Expr(const Expr &) = delete;
  Expr &operator=(const Expr &) = delete;
  // Long chains (a.F().G()..., 1+1+1...) are freed without recursion.
  ~Expr();

  Kind kind = Kind::Int;
  int line = 0;
  int depth = 1; // levels of the tree below and including this node
  long long ival = 0;
  double fval = 0;
  std::string text;
  std::vector<std::unique_ptr<Expr>> args;
  std::vector<std::string> argNames;
  bool method = false;  // written as receiver.Name(...): args[0] is the receiver
  bool parens = false;  // the call was written with "(...)"
};

using ExprPtr = std::unique_ptr<Expr>;

struct Stmt;

// A parameter of a script function: `clip c`, `int "radius"`, `n`.
struct FunctionParam {
  std::string name;
  std::string type; // lower case: clip, int, float, string, bool, val; "" when not given
  bool optional = false; // written in quotes: optional, may be given by name
};

// `function Name(params) { body }`. Shared, since the evaluator keeps the
// definitions after the program that held them is gone (Import, Eval).
struct FunctionDecl {
  std::string name;
  int line = 0;
  std::vector<FunctionParam> params;
  std::vector<Stmt> body;
  std::string file; // the imported file that defines it; "" for the script itself
};

struct Stmt {
  enum class Kind {
    Expression, // expr
    Assign,     // name = expr (global: in the script's global variables)
    Return,     // expr
    Function,   // function
    Try,        // body; name = the catch variable; elseBody = the catch block
    If,         // expr = condition; body; elseBody (an "else if" is an If inside it)
    While,      // expr = condition; body
    For,        // name = the loop variable; expr = first value; limit; step (null: 1); body
    Break,      // leaves the innermost loop
  };
  Kind kind = Kind::Expression;
  int line = 0;
  std::string name;
  bool global = false;
  ExprPtr expr;
  ExprPtr limit, step; // For
  std::vector<Stmt> body;
  std::vector<Stmt> elseBody;
  std::shared_ptr<FunctionDecl> function;
};

struct Program {
  std::vector<Stmt> statements;
  int lastLine = 0; // the number of the script's last line
};

} // namespace reelwork::engine::script
