#include "tools/qx6rc/RcExpression.h"

#include "tools/qx6rc/SourceError.h"

namespace qx6::rc {

namespace {

constexpr int kMaxExpansionDepth = 64;

class Evaluator {
 public:
  Evaluator(const std::vector<Token>& tokens, size_t& pos, const RcSymbols& symbols, ExpressionMode mode,
            int depth)
      : tokens_(tokens), pos_(pos), symbols_(symbols), mode_(mode), depth_(depth) {}

  int64_t Run() { return Binary(0); }

 private:
  struct Operator {
    const char* text;
    int precedence;
  };

  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  [[noreturn]] void Fail(const Token& at, const std::string& message) const {
    throw SourceError(at.file, at.line, message);
  }

  // Precedence of the binary operator at the current token, 0 when there is none.
  int PrecedenceOf(const Token& t) const {
    static const Operator kOperators[] = {
        {"||", 1}, {"&&", 2}, {"|", 3},  {"^", 4},  {"&", 5},  {"==", 6}, {"!=", 6},
        {"<", 7},  {">", 7},  {"<=", 7}, {">=", 7}, {"<<", 8}, {">>", 8}, {"+", 9},
        {"-", 9},  {"*", 10}, {"/", 10}, {"%", 10}};
    if (t.kind != Token::Kind::Punct) return 0;
    for (const Operator& op : kOperators)
      if (t.text == op.text) {
        // String IDs use the arithmetic and bitwise operators only, so that
        // "ID, text" and "ID text" end where they should.
        if (mode_ == ExpressionMode::Resource && op.precedence != 3 && op.precedence != 5 &&
            op.precedence != 9 && op.precedence != 10)
          return 0;
        return op.precedence;
      }
    return 0;
  }

  int64_t Binary(int minPrecedence) {
    int64_t left = Unary();
    while (true) {
      const Token& op = Peek();
      int precedence = PrecedenceOf(op);
      if (precedence == 0 || precedence <= minPrecedence) return left;
      Next();
      int64_t right = Binary(precedence);
      left = Apply(op, left, right);
    }
  }

  int64_t Apply(const Token& op, int64_t a, int64_t b) const {
    const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    const std::string& o = op.text;
    if (o == "+") return static_cast<int64_t>(ua + ub);
    if (o == "-") return static_cast<int64_t>(ua - ub);
    if (o == "*") return static_cast<int64_t>(ua * ub);
    if (o == "/" || o == "%") {
      if (b == 0) Fail(op, "division by zero");
      if (b == -1) return o == "/" ? static_cast<int64_t>(0 - ua) : 0;
      return o == "/" ? a / b : a % b;
    }
    if (o == "|") return a | b;
    if (o == "&") return a & b;
    if (o == "^") return a ^ b;
    if (o == "<<") return static_cast<int64_t>(ua << (ub & 63));
    if (o == ">>") return a >> (ub & 63);
    if (o == "==") return a == b;
    if (o == "!=") return a != b;
    if (o == "<") return a < b;
    if (o == ">") return a > b;
    if (o == "<=") return a <= b;
    if (o == ">=") return a >= b;
    if (o == "&&") return a && b;
    return a || b;
  }

  int64_t Unary() {
    const Token& t = Next();
    if (t.IsPunct("-")) return static_cast<int64_t>(0 - static_cast<uint64_t>(Unary()));
    if (t.IsPunct("+")) return Unary();
    if (t.IsPunct("~")) return ~Unary();
    if (t.IsPunct("!") && mode_ == ExpressionMode::Condition) return !Unary();
    if (t.IsPunct("(")) {
      int64_t v = Binary(0);
      if (!Next().IsPunct(")")) Fail(t, "missing ')' in expression");
      return v;
    }
    if (t.kind == Token::Kind::Number) return t.number;
    if (t.kind == Token::Kind::Name) return Name(t);
    Fail(t, "expected a number, found " + t.Describe());
  }

  int64_t Name(const Token& t) {
    if (mode_ == ExpressionMode::Condition && t.text == "defined") {
      bool paren = Peek().IsPunct("(");
      if (paren) Next();
      const Token& name = Next();
      if (name.kind != Token::Kind::Name) Fail(name, "expected a name after 'defined'");
      if (paren && !Next().IsPunct(")")) Fail(name, "missing ')' after 'defined(" + name.text + "'");
      return symbols_.Find(name.text) != nullptr;
    }
    const RcSymbols::Definition* definition = symbols_.Find(t.text);
    if (!definition) {
      if (mode_ == ExpressionMode::Condition) return 0;
      Fail(t, "undefined symbol '" + t.text + "'");
    }
    if (depth_ >= kMaxExpansionDepth) Fail(t, "'" + t.text + "' expands recursively");
    // The macro's value is evaluated where it is used.
    std::vector<Token> value = Tokenize(definition->value, t.file, t.line);
    if (value.empty()) Fail(t, "'" + t.text + "' is defined without a value");
    Token end;
    end.file = t.file;
    end.line = t.line;
    value.push_back(end);
    size_t inner = 0;
    int64_t v = Evaluator(value, inner, symbols_, mode_, depth_ + 1).Run();
    if (value[inner].kind != Token::Kind::End)
      Fail(t, "'" + t.text + "' does not stand for a number (its value is '" + definition->value + "')");
    return v;
  }

  const std::vector<Token>& tokens_;
  size_t& pos_;
  const RcSymbols& symbols_;
  ExpressionMode mode_;
  int depth_;
};

}  // namespace

int64_t EvaluateExpression(const std::vector<Token>& tokens, size_t& pos, const RcSymbols& symbols,
                           ExpressionMode mode) {
  return Evaluator(tokens, pos, symbols, mode, 0).Run();
}

}  // namespace qx6::rc
