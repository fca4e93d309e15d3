// Conversion of Windows-1252 text (definition files, character bytes from the ECU) to UTF-8.
#pragma once

#include <string>
#include <string_view>

// Every byte becomes the character that Windows code page 1252 assigns to it; the five bytes
// that the code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
// characters of the same number, as Windows converts them.
std::string Cp1252ToUtf8(std::string_view text);
