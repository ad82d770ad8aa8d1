#include "engine/script/parser.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

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

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      Token t = next();
      const bool end = t.type == Token::Type::End;
      out.push_back(std::move(t));
      if (end)
        break;
    }
    return out;
  }
  int line() const { return line_; }

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

  void blockComment(const char *close) {
    const int startLine = line_;
    pos_ += 2;
    while (!atEnd()) {
      if (s_[pos_] == close[0] && peek(1) == close[1]) {
        pos_ += 2;
        return;
      }
      if (s_[pos_] == '\n')
        ++line_;
      ++pos_;
    }
    throw ScriptError(startLine, "syntax error: the comment that starts here is not closed");
  }

  Token string() {
    Token t = make(Token::Type::String);
    if (peek(1) == '"' && peek(2) == '"') {
      pos_ += 3;
      const size_t end = s_.find("\"\"\"", pos_);
      if (end == std::string::npos)
        fail("a \"\"\" string is not closed");
      t.text = s_.substr(pos_, end - pos_);
      for (char ch : t.text)
        if (ch == '\n')
          ++line_;
      pos_ = end + 3;
      return t;
    }
    ++pos_;
    const size_t start = pos_;
    while (!atEnd() && s_[pos_] != '"' && s_[pos_] != '\n')
      ++pos_;
    if (atEnd() || s_[pos_] != '"')
      fail("a string is not closed on its line");
    t.text = s_.substr(start, pos_ - start);
    ++pos_;
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
                                "+",  "-",  "*",  "/",  "%",  "<",  ">",  "!",  "?", ":",  "{", "}"};
    for (const char *o : ops) {
      const size_t n = std::char_traits<char>::length(o);
      if (s_.compare(pos_, n, o) == 0) {
        Token t = make(Token::Type::Op);
        t.text = o;
        pos_ += n;
        if (t.text == "(")
          ++depth_;
        else if (t.text == ")" && depth_ > 0)
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
  explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  Program run() {
    Program prog;
    for (;;) {
      while (isNewline())
        ++i_;
      if (cur().type == Token::Type::End)
        break;
      prog.statements.push_back(statement());
      if (cur().type != Token::Type::Newline && cur().type != Token::Type::End)
        fail("unexpected " + describe(cur()) + " after the end of the statement");
    }
    return prog;
  }

private:
  static constexpr int kMaxDepth = 200;

  const Token &cur() const { return t_[i_]; }
  const Token &ahead(size_t k) const { return t_[std::min(i_ + k, t_.size() - 1)]; }
  bool isNewline() const { return cur().type == Token::Type::Newline; }
  bool isOp(const char *o) const { return cur().type == Token::Type::Op && cur().text == o; }
  bool isIdent(const char *word) const {
    if (cur().type != Token::Type::Ident || cur().text.size() != std::char_traits<char>::length(word))
      return false;
    for (size_t k = 0; k < cur().text.size(); ++k)
      if (std::tolower(static_cast<unsigned char>(cur().text[k])) != word[k])
        return false;
    return true;
  }
  [[noreturn]] void fail(const std::string &m) const { throw ScriptError(cur().line, "syntax error: " + m); }

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

  void expectOp(const char *o, const char *where) {
    if (!isOp(o))
      fail(std::string("expected '") + o + "' " + where + ", found " + describe(cur()));
    ++i_;
  }

  ExprPtr node(Expr::Kind k, int line) {
    auto e = std::make_unique<Expr>();
    e->kind = k;
    e->line = line;
    return e;
  }

  Stmt statement() {
    Stmt s;
    s.line = cur().line;
    if (isIdent("function"))
      fail("user-defined functions are not supported");
    if (isIdent("try") || isIdent("catch"))
      fail("try/catch is not supported");
    if (isIdent("return")) {
      ++i_;
      s.kind = Stmt::Kind::Return;
      s.expr = expression();
      return s;
    }
    if (isIdent("global") && ahead(1).type == Token::Type::Ident) {
      ++i_;
      if (!(ahead(1).type == Token::Type::Op && ahead(1).text == "="))
        fail("expected '=' after global " + cur().text);
    }
    if (cur().type == Token::Type::Ident && ahead(1).type == Token::Type::Op && ahead(1).text == "=") {
      s.kind = Stmt::Kind::Assign;
      s.name = cur().text;
      i_ += 2;
      s.expr = expression();
      return s;
    }
    s.kind = Stmt::Kind::Expression;
    s.expr = expression();
    return s;
  }

  struct DepthGuard {
    explicit DepthGuard(Parser &p) : p_(p) {
      if (++p_.depth_ > kMaxDepth)
        p_.fail("the expression is nested too deeply");
    }
    ~DepthGuard() { --p_.depth_; }
    Parser &p_;
  };

  ExprPtr expression() {
    DepthGuard guard(*this);
    ExprPtr c = binary(0);
    if (isOp("?")) {
      const int line = cur().line;
      ++i_;
      auto e = node(Expr::Kind::Ternary, line);
      e->args.push_back(std::move(c));
      e->args.push_back(expression());
      expectOp(":", "in a ?: expression");
      e->args.push_back(expression());
      return e;
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
      ++i_;
      e->args.push_back(std::move(left));
      e->args.push_back(binary(level));
      left = std::move(e);
    }
  }

  ExprPtr unary() {
    DepthGuard guard(*this);
    if (isOp("-") || isOp("!") || isOp("+")) {
      auto e = node(Expr::Kind::Unary, cur().line);
      e->text = cur().text;
      ++i_;
      e->args.push_back(unary());
      return e;
    }
    return postfix();
  }

  void arguments(Expr &call) {
    // After "(": positional or name=value arguments up to ")".
    if (isOp(")")) {
      ++i_;
      return;
    }
    for (;;) {
      if (cur().type == Token::Type::Ident && ahead(1).type == Token::Type::Op && ahead(1).text == "=") {
        call.argNames.push_back(cur().text);
        i_ += 2;
      } else {
        for (const std::string &n : call.argNames)
          if (!n.empty())
            fail("a positional argument cannot follow a named one in " + call.text);
        call.argNames.emplace_back();
      }
      call.args.push_back(expression());
      if (isOp(",")) {
        ++i_;
        continue;
      }
      expectOp(")", ("to close the arguments of " + call.text).c_str());
      return;
    }
  }

  ExprPtr postfix() {
    ExprPtr e = primary();
    while (isOp(".")) {
      ++i_;
      if (cur().type != Token::Type::Ident)
        fail("expected a function name after '.', found " + describe(cur()));
      auto call = node(Expr::Kind::Call, cur().line);
      call->text = cur().text;
      call->method = true;
      ++i_;
      call->args.push_back(std::move(e));
      call->argNames.emplace_back();
      if (isOp("(")) {
        ++i_;
        call->parens = true;
        arguments(*call);
      }
      e = std::move(call);
    }
    return e;
  }

  ExprPtr primary() {
    const Token &t = cur();
    switch (t.type) {
    case Token::Type::Int: {
      auto e = node(Expr::Kind::Int, t.line);
      e->ival = t.ival;
      ++i_;
      return e;
    }
    case Token::Type::Float: {
      auto e = node(Expr::Kind::Float, t.line);
      e->fval = t.fval;
      ++i_;
      return e;
    }
    case Token::Type::String: {
      auto e = node(Expr::Kind::String, t.line);
      e->text = t.text;
      ++i_;
      return e;
    }
    case Token::Type::Ident: {
      if (isIdent("true") || isIdent("yes") || isIdent("false") || isIdent("no")) {
        auto e = node(Expr::Kind::Bool, t.line);
        e->ival = (isIdent("true") || isIdent("yes")) ? 1 : 0;
        ++i_;
        return e;
      }
      const std::string name = t.text;
      const int line = t.line;
      ++i_;
      if (isOp("(")) {
        ++i_;
        auto call = node(Expr::Kind::Call, line);
        call->text = name;
        call->parens = true;
        arguments(*call);
        return call;
      }
      auto e = node(Expr::Kind::Ident, line);
      e->text = name;
      return e;
    }
    case Token::Type::Op:
      if (t.text == "(") {
        ++i_;
        ExprPtr e = expression();
        expectOp(")", "to close the parenthesis");
        return e;
      }
      fail("unexpected " + describe(t));
    case Token::Type::Newline:
    case Token::Type::End:
      fail("the statement ends too early");
    }
    fail("unexpected " + describe(t));
  }

  std::vector<Token> t_;
  size_t i_ = 0;
  int depth_ = 0;
};

} // namespace

Program ParseScript(const std::string &text) {
  Lexer lexer(text);
  std::vector<Token> tokens = lexer.run();
  Program prog = Parser(std::move(tokens)).run();
  prog.lastLine = lexer.line();
  return prog;
}

} // namespace reelwork::engine::script
