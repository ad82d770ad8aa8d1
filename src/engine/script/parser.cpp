#include "engine/script/parser.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <deque>

namespace reelwork::engine::script {

namespace {

struct Token {
  enum class Type { End, Newline, Ident, Int, Float, String, Op };
  Type type = Type::End;
  std::string text; // identifier, string contents or operator
  long long ival = 0;
  double fval = 0;
  int line = 1;
};

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Describe(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 33 && u < 127)
    return std::string("'") + c + "'";
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02X", u);
  return std::string("character ") + buf;
}

class Lexer {
public:
  explicit Lexer(const std::string &text) : s_(text) {
    if (s_.size() >= 3 && s_.compare(0, 3, "\xEF\xBB\xBF") == 0)
      pos_ = 3;
  }

  int line() const { return line_; }

  // The next token; End again and again at the end.
  Token next() {
    for (;;) {
      skipBlanks();
      if (atEnd() || ended_)
        return make(Token::Type::End);
      const char c = s_[pos_];
      if (c == '#') {
        skipLineRest();
        continue;
      }
      if (c == '/' && peek(1) == '*') {
        blockComment("*/");
        continue;
      }
      if (c == '[' && peek(1) == '*') {
        blockComment("*]");
        continue;
      }
      if (c == '\n') {
        Token t = make(Token::Type::Newline);
        ++pos_;
        ++line_;
        if (continuesOnNextLine() || depth_ > 0)
          continue;
        return t;
      }
      if (c == '\\') {
        // A "\" ending a line joins it with the next one.
        ++pos_;
        skipBlanks();
        if (peek() == '#')
          skipLineRest();
        if (atEnd())
          return make(Token::Type::End);
        if (peek() != '\n')
          fail("'\\' must stand at the end or the start of a line");
        ++pos_;
        ++line_;
        continuesOnNextLine();
        continue;
      }
      if (c == '"')
        return string();
      if (std::isdigit(static_cast<unsigned char>(c)) ||
          (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))))
        return number();
      if (c == '$')
        return hexNumber();
      if (IsIdentStart(c)) {
        Token t = make(Token::Type::Ident);
        const size_t start = pos_;
        while (!atEnd() && IsIdentChar(s_[pos_]))
          ++pos_;
        t.text = s_.substr(start, pos_ - start);
        if (t.text == "__END__") {
          ended_ = true;
          return make(Token::Type::End);
        }
        return t;
      }
      return op();
    }
  }

private:
  [[noreturn]] void fail(const std::string &m) const { throw ScriptError(line_, "syntax error: " + m); }
  char peek(size_t k = 0) const { return pos_ + k < s_.size() ? s_[pos_ + k] : '\0'; }
  bool atEnd() const { return pos_ >= s_.size(); }

  void skipLineRest() {
    while (!atEnd() && s_[pos_] != '\n')
      ++pos_;
  }
  void skipBlanks() {
    while (!atEnd() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\f' ||
                        s_[pos_] == '\v'))
      ++pos_;
  }

  // After a newline: a "\" that starts the next line continues the statement.
  bool continuesOnNextLine() {
    size_t p = pos_;
    while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t' || s_[p] == '\r'))
      ++p;
    if (p < s_.size() && s_[p] == '\\') {
      pos_ = p + 1;
      return true;
    }
    return false;
  }

  Token make(Token::Type type) const {
    Token t;
    t.type = type;
    t.line = line_;
    return t;
  }

  // /* ... */, or [* ... *] which may hold [* ... *] comments of its own.
  void blockComment(const char *close) {
    const int startLine = line_;
    const bool nests = close[1] == ']';
    int depth = 1;
    pos_ += 2;
    while (!atEnd()) {
      if (s_[pos_] == close[0] && peek(1) == close[1]) {
        pos_ += 2;
        if (--depth == 0)
          return;
        continue;
      }
      if (nests && s_[pos_] == '[' && peek(1) == '*') {
        pos_ += 2;
        ++depth;
        continue;
      }
      if (s_[pos_] == '\n')
        ++line_;
      ++pos_;
    }
    throw ScriptError(startLine, "syntax error: the comment that starts here is not closed");
  }

  // "text" or """text""": no escapes, line breaks allowed.
  Token string() {
    Token t = make(Token::Type::String);
    const bool triple = peek(1) == '"' && peek(2) == '"';
    const size_t quotes = triple ? 3 : 1;
    pos_ += quotes;
    const size_t end = s_.find(triple ? "\"\"\"" : "\"", pos_);
    if (end == std::string::npos)
      fail(triple ? "the \"\"\" string that starts here is not closed" : "the string that starts here is not closed");
    t.text = s_.substr(pos_, end - pos_);
    line_ += static_cast<int>(std::count(t.text.begin(), t.text.end(), '\n'));
    pos_ = end + quotes;
    return t;
  }

  Token number() {
    Token t = make(Token::Type::Int);
    const size_t start = pos_;
    while (std::isdigit(static_cast<unsigned char>(peek())))
      ++pos_;
    bool isFloat = false;
    if (peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))) {
      isFloat = true;
      ++pos_;
      while (std::isdigit(static_cast<unsigned char>(peek())))
        ++pos_;
    } else if (peek() == '.' && !IsIdentStart(peek(1))) {
      // "1." is a float; "1.Foo" would be a method call on a number.
      isFloat = true;
      ++pos_;
    }
    if (isFloat && (peek() == 'e' || peek() == 'E') &&
        (std::isdigit(static_cast<unsigned char>(peek(1))) ||
         ((peek(1) == '-' || peek(1) == '+') && std::isdigit(static_cast<unsigned char>(peek(2)))))) {
      pos_ += 2;
      while (std::isdigit(static_cast<unsigned char>(peek())))
        ++pos_;
    }
    const std::string text = s_.substr(start, pos_ - start);
    if (IsIdentStart(peek()))
      fail("unexpected " + Describe(peek()) + " after the number " + text);
    if (isFloat) {
      t.type = Token::Type::Float;
      t.fval = std::strtod(text.c_str(), nullptr);
    } else {
      if (text.size() > 10 || std::strtoll(text.c_str(), nullptr, 10) > INT_MAX)
        fail("the number " + text + " is too large");
      t.ival = std::strtoll(text.c_str(), nullptr, 10);
    }
    return t;
  }

  Token hexNumber() {
    Token t = make(Token::Type::Int);
    ++pos_;
    const size_t start = pos_;
    while (std::isxdigit(static_cast<unsigned char>(peek())))
      ++pos_;
    const std::string digits = s_.substr(start, pos_ - start);
    if (digits.empty())
      fail("'$' must be followed by hexadecimal digits");
    if (digits.size() > 8)
      fail("the number $" + digits + " is too large");
    // $FFFFFFFF and the like wrap to a negative 32-bit integer.
    t.ival = static_cast<int>(static_cast<unsigned>(std::strtoull(digits.c_str(), nullptr, 16)));
    return t;
  }

  Token op() {
    static const char *ops[] = {"==", "!=", "<>", "<=", ">=", "&&", "||", "++", "(", ")", ",", ".", "=",
                                "+",  "-",  "*",  "/",  "%",  "<",  ">",  "!",  "?", ":",  "{", "}",
                                "[",  "]"};
    for (const char *o : ops) {
      const size_t n = std::char_traits<char>::length(o);
      if (s_.compare(pos_, n, o) == 0) {
        Token t = make(Token::Type::Op);
        t.text = o;
        pos_ += n;
        if (t.text == "(" || t.text == "[")
          ++depth_;
        else if ((t.text == ")" || t.text == "]") && depth_ > 0)
          --depth_;
        return t;
      }
    }
    fail("unexpected " + Describe(s_[pos_]));
  }

  const std::string &s_;
  size_t pos_ = 0;
  int line_ = 1;
  int depth_ = 0;
  bool ended_ = false;
};

class Parser {
public:
  explicit Parser(Lexer &lexer) : lex_(lexer) {}

  std::vector<Stmt> run() {
    std::vector<Stmt> out;
    for (;;) {
      skipNewlines();
      if (cur().type == Token::Type::End)
        break;
      out.push_back(statement(true));
      if (!isNewline() && cur().type != Token::Type::End)
        fail("unexpected " + describe(cur()) + " after the end of the statement");
    }
    return out;
  }

private:
  // Tokens come from the lexer as they are needed, so that a huge script is
  // never held as a list of tokens.
  const Token &ahead(size_t k) {
    while (buf_.size() <= k)
      buf_.push_back(lex_.next());
    return buf_[k];
  }
  const Token &cur() { return ahead(0); }
  void advance() {
    ahead(0);
    buf_.pop_front();
  }
  void skipNewlines() {
    while (isNewline())
      advance();
  }
  bool isNewline() { return cur().type == Token::Type::Newline; }
  bool isOp(const char *o) { return cur().type == Token::Type::Op && cur().text == o; }
  static bool IsWord(const Token &t, const char *word) {
    if (t.type != Token::Type::Ident || t.text.size() != std::char_traits<char>::length(word))
      return false;
    for (size_t k = 0; k < t.text.size(); ++k)
      if (std::tolower(static_cast<unsigned char>(t.text[k])) != word[k])
        return false;
    return true;
  }
  bool isIdent(const char *word) { return IsWord(cur(), word); }
  static bool IsOpToken(const Token &t, const char *o) { return t.type == Token::Type::Op && t.text == o; }
  // The first token after any line breaks, without taking them.
  const Token &afterNewlines(size_t k = 0) {
    while (ahead(k).type == Token::Type::Newline)
      ++k;
    return ahead(k);
  }
  [[noreturn]] void fail(const std::string &m) { throw ScriptError(cur().line, "syntax error: " + m); }

  static std::string describe(const Token &t) {
    switch (t.type) {
    case Token::Type::End:
      return "end of script";
    case Token::Type::Newline:
      return "end of line";
    case Token::Type::Ident:
      return "'" + t.text + "'";
    case Token::Type::Int:
      return "the number " + std::to_string(t.ival);
    case Token::Type::Float:
      return "a number";
    case Token::Type::String:
      return "a string";
    case Token::Type::Op:
      return "'" + t.text + "'";
    }
    return "?";
  }

  void expectOp(const char *o, const std::string &where) {
    if (!isOp(o))
      fail(std::string("expected '") + o + "' " + where + ", found " + describe(cur()));
    advance();
  }

  ExprPtr node(Expr::Kind k, int line) {
    if (++nodes_ > kMaxNodes)
      throw ScriptError(line, "syntax error: the script is too large (more than " + std::to_string(kMaxNodes) +
                                  " values, names and operations)");
    auto e = std::make_unique<Expr>();
    e->kind = k;
    e->line = line;
    return e;
  }

  // Sets the depth of a node whose children are in place; a tree too deep to
  // evaluate safely is refused here.
  ExprPtr finish(ExprPtr e) {
    int d = 0;
    for (const ExprPtr &a : e->args)
      d = std::max(d, a->depth);
    e->depth = d + 1;
    if (e->depth > kMaxChain)
      throw ScriptError(e->line, "syntax error: the expression is too long (more than " + std::to_string(kMaxChain) +
                                     " operations or calls inside each other)");
    return e;
  }

  struct DepthGuard {
    explicit DepthGuard(Parser &p) : p_(p) {
      if (++p_.depth_ > kMaxNesting)
        p_.fail("the expression is nested too deeply");
    }
    ~DepthGuard() { --p_.depth_; }
    Parser &p_;
  };

  // ---- statements ----

  Stmt statement(bool topLevel) {
    DepthGuard guard(*this);
    Stmt s;
    s.line = cur().line;
    if (isIdent("function") && ahead(1).type == Token::Type::Ident) {
      if (!topLevel)
        fail("a function can only be defined at the top of a script, not inside a block");
      return functionDefinition();
    }
    if (isIdent("try") && IsOpToken(afterNewlines(1), "{"))
      return tryCatch();
    if (isIdent("if") && IsOpToken(ahead(1), "("))
      return ifElse();
    if (isIdent("while") && IsOpToken(ahead(1), "("))
      return whileLoop();
    if (isIdent("for") && IsOpToken(ahead(1), "("))
      return forLoop();
    if (isIdent("break") && loops_ > 0 && (ahead(1).type == Token::Type::Newline || ahead(1).type == Token::Type::End ||
                                            IsOpToken(ahead(1), "}"))) {
      advance();
      s.kind = Stmt::Kind::Break;
      return s;
    }
    if (isIdent("catch") || isIdent("else"))
      fail("'" + cur().text + "' without the block it belongs to");
    if (isIdent("return")) {
      advance();
      s.kind = Stmt::Kind::Return;
      s.expr = expression();
      return s;
    }
    if (isIdent("global") && ahead(1).type == Token::Type::Ident) {
      advance();
      s.global = true;
      if (!IsOpToken(ahead(1), "="))
        fail("expected '=' after global " + cur().text);
    }
    if (cur().type == Token::Type::Ident && IsOpToken(ahead(1), "=")) {
      s.kind = Stmt::Kind::Assign;
      s.name = cur().text;
      advance();
      advance();
      s.expr = expression();
      return s;
    }
    s.kind = Stmt::Kind::Expression;
    s.expr = expression();
    return s;
  }

  // "{" statements "}", the "{" possibly on a later line.
  std::vector<Stmt> block(const std::string &what) {
    skipNewlines();
    const int startLine = cur().line;
    expectOp("{", "to open " + what);
    std::vector<Stmt> out;
    for (;;) {
      skipNewlines();
      if (isOp("}")) {
        advance();
        return out;
      }
      if (cur().type == Token::Type::End)
        throw ScriptError(startLine, "syntax error: the block of " + what + " that starts here is not closed");
      out.push_back(statement(false));
      if (!isNewline() && !isOp("}"))
        fail("unexpected " + describe(cur()) + " after the end of the statement");
    }
  }

  Stmt functionDefinition() {
    Stmt s;
    s.kind = Stmt::Kind::Function;
    s.line = cur().line;
    advance(); // "function"
    auto decl = std::make_shared<FunctionDecl>();
    decl->name = cur().text;
    decl->line = s.line;
    advance();
    expectOp("(", "after the name of function " + decl->name);
    if (isOp(")")) {
      advance();
    } else {
      for (;;) {
        FunctionParam p;
        if (cur().type == Token::Type::Ident &&
            (ahead(1).type == Token::Type::Ident || ahead(1).type == Token::Type::String)) {
          std::string type = cur().text;
          for (char &c : type)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          static const char *const known[] = {"clip", "int", "float", "string", "bool", "val", "var"};
          const bool array = type == "array" || (type.size() > 6 && type.compare(type.size() - 6, 6, "_array") == 0);
          if (!array && std::find(std::begin(known), std::end(known), type) == std::end(known))
            fail("unknown parameter type '" + cur().text + "' in function " + decl->name);
          p.type = type == "var" ? "val" : array ? "array" : type;
          advance();
        }
        if (cur().type == Token::Type::Ident) {
          p.name = cur().text;
        } else if (cur().type == Token::Type::String) {
          p.name = cur().text;
          p.optional = true;
        } else {
          fail("expected a parameter name in function " + decl->name + ", found " + describe(cur()));
        }
        advance();
        decl->params.push_back(std::move(p));
        if (isOp(",")) {
          advance();
          continue;
        }
        expectOp(")", "to close the parameters of function " + decl->name);
        break;
      }
    }
    decl->body = block("function " + decl->name);
    s.function = std::move(decl);
    return s;
  }

  Stmt tryCatch() {
    Stmt s;
    s.kind = Stmt::Kind::Try;
    s.line = cur().line;
    advance(); // "try"
    s.body = block("try");
    skipNewlines();
    if (!isIdent("catch"))
      fail("expected 'catch' after the try block, found " + describe(cur()));
    advance();
    expectOp("(", "after catch");
    if (cur().type != Token::Type::Ident)
      fail("expected the name of a variable in catch(...), found " + describe(cur()));
    s.name = cur().text;
    advance();
    expectOp(")", "after the variable of catch");
    s.elseBody = block("catch");
    return s;
  }

  // while (condition) { ... }
  Stmt whileLoop() {
    Stmt s;
    s.kind = Stmt::Kind::While;
    s.line = cur().line;
    advance(); // "while"
    expectOp("(", "after while");
    s.expr = expression();
    expectOp(")", "to close the condition of while");
    s.body = loopBody("while");
    return s;
  }

  // for (name = first, limit [, step]) { ... }
  Stmt forLoop() {
    Stmt s;
    s.kind = Stmt::Kind::For;
    s.line = cur().line;
    advance(); // "for"
    expectOp("(", "after for");
    if (cur().type != Token::Type::Ident || !IsOpToken(ahead(1), "="))
      fail("expected 'name = first value' after 'for (', found " + describe(cur()));
    s.name = cur().text;
    advance();
    advance();
    s.expr = expression();
    expectOp(",", "between the first and the last value of for");
    s.limit = expression();
    if (isOp(",")) {
      advance();
      s.step = expression();
    }
    expectOp(")", "to close the values of for");
    s.body = loopBody("for");
    return s;
  }

  std::vector<Stmt> loopBody(const std::string &what) {
    ++loops_;
    struct Leave {
      int &n;
      ~Leave() { --n; }
    } leave{loops_};
    return block(what);
  }

  Stmt ifElse() {
    DepthGuard guard(*this);
    Stmt s;
    s.kind = Stmt::Kind::If;
    s.line = cur().line;
    advance(); // "if"
    expectOp("(", "after if");
    s.expr = expression();
    expectOp(")", "to close the condition of if");
    s.body = block("if");
    if (IsWord(afterNewlines(), "else")) {
      skipNewlines();
      advance();
      if (isIdent("if") && IsOpToken(ahead(1), "("))
        s.elseBody.push_back(ifElse());
      else
        s.elseBody = block("else");
    }
    return s;
  }

  // ---- expressions ----

  ExprPtr expression() {
    DepthGuard guard(*this);
    ExprPtr c = binary(0);
    if (isOp("?")) {
      const int line = cur().line;
      advance();
      auto e = node(Expr::Kind::Ternary, line);
      e->args.push_back(std::move(c));
      e->args.push_back(expression());
      expectOp(":", "in a ?: expression");
      e->args.push_back(expression());
      return finish(std::move(e));
    }
    return c;
  }

  // Binary operators by precedence level, loosest first.
  static int Level(const std::string &op) {
    if (op == "||")
      return 1;
    if (op == "&&")
      return 2;
    if (op == "==" || op == "!=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=")
      return 3;
    if (op == "+" || op == "-" || op == "++")
      return 4;
    if (op == "*" || op == "/" || op == "%")
      return 5;
    return 0;
  }

  ExprPtr binary(int minLevel) {
    DepthGuard guard(*this);
    ExprPtr left = unary();
    for (;;) {
      if (cur().type != Token::Type::Op)
        return left;
      const int level = Level(cur().text);
      if (level == 0 || level <= minLevel)
        return left;
      auto e = node(Expr::Kind::Binary, cur().line);
      e->text = cur().text == "<>" ? "!=" : cur().text;
      advance();
      e->args.push_back(std::move(left));
      e->args.push_back(binary(level));
      left = finish(std::move(e));
    }
  }

  ExprPtr unary() {
    DepthGuard guard(*this);
    if (isOp("-") || isOp("!") || isOp("+")) {
      auto e = node(Expr::Kind::Unary, cur().line);
      e->text = cur().text;
      advance();
      e->args.push_back(unary());
      return finish(std::move(e));
    }
    return postfix();
  }

  void arguments(Expr &call) {
    // After "(": positional or name=value arguments up to ")".
    if (isOp(")")) {
      advance();
      return;
    }
    bool named = false;
    for (;;) {
      if (cur().type == Token::Type::Ident && IsOpToken(ahead(1), "=")) {
        call.argNames.push_back(cur().text);
        advance();
        advance();
        named = true;
      } else {
        if (named)
          fail("a positional argument cannot follow a named one in " + call.text);
        call.argNames.emplace_back();
      }
      call.args.push_back(expression());
      if (isOp(",")) {
        advance();
        continue;
      }
      expectOp(")", "to close the arguments of " + call.text);
      return;
    }
  }

  ExprPtr postfix() {
    ExprPtr e = primary();
    for (;;) {
      if (isOp("[")) {
        auto index = node(Expr::Kind::Index, cur().line);
        advance();
        index->args.push_back(std::move(e));
        index->args.push_back(expression());
        expectOp("]", "to close the index");
        e = finish(std::move(index));
        continue;
      }
      if (!isOp("."))
        return e;
      advance();
      if (cur().type != Token::Type::Ident)
        fail("expected a function name after '.', found " + describe(cur()));
      auto call = node(Expr::Kind::Call, cur().line);
      call->text = cur().text;
      call->method = true;
      advance();
      call->args.push_back(std::move(e));
      call->argNames.emplace_back();
      if (isOp("(")) {
        advance();
        call->parens = true;
        arguments(*call);
      }
      e = finish(std::move(call));
    }
  }

  ExprPtr primary() {
    const Token t = cur();
    switch (t.type) {
    case Token::Type::Int: {
      auto e = node(Expr::Kind::Int, t.line);
      e->ival = t.ival;
      advance();
      return e;
    }
    case Token::Type::Float: {
      auto e = node(Expr::Kind::Float, t.line);
      e->fval = t.fval;
      advance();
      return e;
    }
    case Token::Type::String: {
      auto e = node(Expr::Kind::String, t.line);
      e->text = t.text;
      advance();
      return e;
    }
    case Token::Type::Ident: {
      if (IsWord(t, "true") || IsWord(t, "yes") || IsWord(t, "false") || IsWord(t, "no")) {
        auto e = node(Expr::Kind::Bool, t.line);
        e->ival = (IsWord(t, "true") || IsWord(t, "yes")) ? 1 : 0;
        advance();
        return e;
      }
      advance();
      if (isOp("(")) {
        advance();
        auto call = node(Expr::Kind::Call, t.line);
        call->text = t.text;
        call->parens = true;
        arguments(*call);
        return finish(std::move(call));
      }
      auto e = node(Expr::Kind::Ident, t.line);
      e->text = t.text;
      return e;
    }
    case Token::Type::Op:
      if (t.text == "(") {
        advance();
        ExprPtr e = expression();
        expectOp(")", "to close the parenthesis");
        return e;
      }
      if (t.text == "[") {
        auto array = node(Expr::Kind::Array, t.line);
        advance();
        while (!isOp("]")) {
          array->args.push_back(expression());
          if (!isOp(","))
            break;
          advance();
        }
        expectOp("]", "to close the array");
        return finish(std::move(array));
      }
      fail("unexpected " + describe(t));
    case Token::Type::Newline:
    case Token::Type::End:
      fail("the statement ends too early");
    }
    fail("unexpected " + describe(t));
  }

  Lexer &lex_;
  std::deque<Token> buf_;
  size_t nodes_ = 0;
  int depth_ = 0;
  int loops_ = 0; // loops the parser is inside: "break" is a statement there
};

} // namespace

Expr::~Expr() {
  // Children are taken apart one at a time, so a chain of any length is freed
  // without a call per level.
  std::vector<ExprPtr> pending;
  for (ExprPtr &a : args)
    if (a)
      pending.push_back(std::move(a));
  while (!pending.empty()) {
    ExprPtr e = std::move(pending.back());
    pending.pop_back();
    for (ExprPtr &a : e->args)
      if (a)
        pending.push_back(std::move(a));
  }
}

Program ParseScript(const std::string &text) {
  if (text.size() > kMaxScriptBytes)
    throw ScriptError(1, "the script is too large (" + std::to_string(text.size() >> 20) +
                             " MB; a script may hold at most " + std::to_string(kMaxScriptBytes >> 20) + " MB)");
  Lexer lexer(text);
  Program prog;
  prog.statements = Parser(lexer).run();
  prog.lastLine = lexer.line();
  return prog;
}

} // namespace reelwork::engine::script
