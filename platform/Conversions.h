// Locale-independent conversions between text and numbers, with the class library's errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Decimal, or hexadecimal after "0x"/"0X"/"$" (optionally signed). Leading and trailing blanks
// are allowed. Anything else throws EConvertError "'<text>' is not a valid integer value".
// Hexadecimal values of up to 32 bits wrap into the sign ("$FFFFFFFF" is -1); larger ones throw,
// as do decimal values outside the signed 32-bit range.
int32_t StrToInt(std::string_view text);
// As StrToInt, but returns `fallback` instead of throwing.
int32_t StrToIntDef(std::string_view text, int32_t fallback);
// As StrToInt into 64 bits.
int64_t StrToInt64(std::string_view text);
// Decimal floating point with '.' as separator and an optional exponent. Throws EConvertError
// "'<text>' is not a valid floating point value"; "inf", "nan" and "1,5" are not numbers.
double StrToFloat(std::string_view text);
// Non-throwing variant: returns false and leaves `value` alone when the text is not a number.
bool TryStrToFloat(std::string_view text, double& value);

// Upper-case hexadecimal padded with zeros to at least `digits` digits, never cut
// ("0A", "00FF", "0000ABCD", "1234" for 0x1234 in 2 digits).
std::string IntToHex(uint64_t value, int digits);

// Text with blanks and control characters removed at both ends.
std::string Trim(std::string_view text);

}  // namespace plat
