// Integer expressions of resource scripts: string IDs and LANGUAGE operands
// (numbers, #define names, + - | & ~ and parentheses) and the conditions of
// #if and #elif (the C operators, `defined`, unknown names count as 0).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/qx6rc/RcSymbols.h"
#include "tools/qx6rc/RcTokenizer.h"

namespace qx6::rc {

enum class ExpressionMode { Resource, Condition };

// Evaluates the expression that starts at tokens[pos] and leaves pos on the
// first token after it. `tokens` ends with an End token.
int64_t EvaluateExpression(const std::vector<Token>& tokens, size_t& pos, const RcSymbols& symbols,
                           ExpressionMode mode);

}  // namespace qx6::rc
