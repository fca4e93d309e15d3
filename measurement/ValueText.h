// Texts of decoded values: numbers in the general format of 4 significant digits.
#pragma once

#include <cstdint>
#include <string>

// `value` rounded to 4 significant digits (halves away from zero), trailing zeros dropped:
// plain from 0.0001 to 9999 ("0.0001234", "2.5", "1235"), otherwise scientific ("1.235E4",
// "1.234E-5"); '.' as decimal separator whatever the locale; zero is "0"; infinities and
// not-a-number are "INF", "-INF" and "NAN".
std::string FloatToText(float value);
