#pragma once
// The pieces of an OBJ line as the simplification's loader reads them:
// trimmed lines, blank-separated tokens, coordinates and vertex references.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// line without the leading and trailing characters of code 32 or below.
std::string_view TrimObjLine(std::string_view line);

// Splits line into maximal runs of characters above code 32. A token that
// starts with a double quote runs to the next single double quote, without
// the quotes, a doubled quote standing for one. Tokens point into line, or into
// scratch for quoted tokens that held a doubled quote.
void SplitObjTokens(std::string_view line, std::vector<std::string_view>& tokens,
                    std::string& scratch);

// How many tokens SplitObjTokens would give.
size_t CountObjTokens(std::string_view line);

enum class CoordinateRead { kNumber, kNotANumber, kOverflow };

// A decimal number with "." whatever the locale: sign? (digits ("." digits?)? |
// "." digits) ([eE] sign? digits)?. Anything else reads as 0 (kNotANumber);
// a magnitude beyond the range of a double is kOverflow (value 0); a value
// too small for a double reads as what from_chars makes of it, or 0.
CoordinateRead ReadCoordinate(std::string_view token, double& value);

// The part of token before its first "/", read as a decimal integer with an
// optional sign. False when that part is not an integer (empty included). A
// value beyond int64 saturates; callers treat it as naming no vertex.
bool ReadVertexReference(std::string_view token, int64_t& value);

}  // namespace zelfin
