#pragma once

#include <string>

// A number as PDF content and objects allow it: plain decimal notation (never exponent form,
// which readers reject), rounded to six decimals, without trailing zeros. Values closer to zero
// than half a millionth, and non-finite values, are "0".
std::string plainDecimal(double value);
