// Product-integration weights on the nodes of a Gauss-Legendre rule: for a
// weight v^a or v^a ln v on [0, 1] (a > -1), the weights W_i on the rule's
// nodes v_i with
//   int_0^1 v^a (ln v)^j p(v) dv = sum_i W_i p(v_i),   j = 0 or 1,
// exact for every polynomial p of degree < n. An integrand v^a g(v) with g
// analytic then converges like the rule on g alone (at r^-n instead of the
// r^-2n of Gauss), whatever the power a. Built in the shifted Legendre
// polynomials P~_k(v) = P_k(2v - 1), which the rule keeps orthogonal
// (sum_i w_i P~_j(v_i) P~_k(v_i) = delta_jk/(2k + 1) for j + k < 2n), so that
//   W_i = w_i sum_{k<n} (2k + 1) P~_k(v_i) m_k,   m_k = int_0^1 v^a (ln v)^j P~_k(v) dv,
// a well-conditioned sum (no Vandermonde matrix). The modified moments are
//   int_0^1 v^a P~_k(v) dv = prod_{j<k} (a - j) / prod_{j=1..k+1} (a + j)
// (Gradshteyn & Ryzhik 7.127), by the recurrence m_k = m_{k-1} (a - k + 1)/(a + k + 1),
// and their derivatives in a for the logarithm (the recurrence differentiated,
// which stays exact where a is an integer and m_k vanishes).
#pragma once

#include <span>

#include "numerics/source_rules_table.hpp"

namespace magnifex {

// out[i] = W_i for the nodes of `rule` (out.size() == rule.size()).
void product_weights(std::span<const RuleNode> rule, double a, bool logarithmic, std::span<double> out);

}  // namespace magnifex
