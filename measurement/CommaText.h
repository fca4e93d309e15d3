// Splitting of a text into words by the class library's comma-text rules, as used for
// description statements, their '#' options and the directives of definition files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Blanks and control characters (codes 1 to 32) and commas separate words; a word that begins
// with a double quote runs to the next single double quote ("" stands for one) or to the end of
// the text; two commas with only blanks between them give an empty word; a comma at the very end
// gives none. A NUL character ends the text.
std::vector<std::string> SplitCommaText(std::string_view text);

// Word `index` of `words`; an index outside the list throws the list error
// "List index out of bounds (<index>)".
const std::string& WordAt(const std::vector<std::string>& words, int index);
