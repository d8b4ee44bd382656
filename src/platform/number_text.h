// Number formatting and parsing with "." as decimal separator, whatever the locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvek {

// Decimal text of an integer ("-12").
std::string FormatInt(int64_t value);

// General format with at most `digits` significant digits: fixed notation ("0.25", "1500")
// unless the decimal exponent is below -4 or at least `digits`, then "1.5E20", "1E-5".
std::string FormatFloatGeneral(double value, int digits = 15);

// Fixed notation with at least `minDecimals` and at most `maxDecimals` decimals
// (the pattern "0.0##############": 1 -> "1.0", 0.25 -> "0.25").
std::string FormatFloatFixed(double value, int minDecimals, int maxDecimals);

// Appends FormatFloatFixed / FormatInt to `out` without a temporary string.
void AppendFloatFixed(std::string& out, double value, int minDecimals, int maxDecimals);
void AppendInt(std::string& out, int64_t value);

// Parses a decimal integer; a leading "$" (after an optional sign) means hexadecimal.
// Fails with EConvertError "'%s' is not a valid integer value".
int64_t ParseInt(std::string_view text);

// Parses a float with "." as decimal separator and an optional exponent.
// Fails with EConvertError "'%s' is not a valid floating point value".
double ParseFloat(std::string_view text);

// Non-throwing forms: false when the text is not a number.
bool TryParseInt(std::string_view text, int64_t& value);
bool TryParseFloat(std::string_view text, double& value);

}  // namespace tolvek
