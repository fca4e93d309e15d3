#include "tester/EditMask.h"

#include <string>

namespace tester {

namespace {

// Characters with a meaning in a Qt input mask; as literals they need a '\'.
constexpr std::string_view kQtMaskCharacters = "AaNnXx90Dd#HhBb><!\\[]{}";

// The Qt character of a mask character of the class library, or 0 for a literal.
char QtMaskCharacter(char c) {
  switch (c) {
    case 'L':
      return 'A';  // letter required
    case 'l':
      return 'a';  // letter permitted
    case 'A':
      return 'N';  // letter or digit required
    case 'a':
      return 'n';  // letter or digit permitted
    case 'C':
      return 'X';  // any character required
    case 'c':
      return 'x';  // any character permitted
    case '0':
      return '9';  // digit required
    case '9':
      return '0';  // digit permitted
    case '#':
      return '#';  // digit or sign permitted
    case '>':
      return '>';
    case '<':
      return '<';
    default:
      return 0;
  }
}

void AddLiteral(std::string& mask, char c) {
  if (kQtMaskCharacters.find(c) != std::string_view::npos) mask += '\\';
  mask += c;
}

}  // namespace

QString TranslateEditMask(std::string_view editMask) {
  const size_t fieldEnd = editMask.find(';');
  const std::string_view pattern = editMask.substr(0, fieldEnd);
  char blank = '_';
  if (fieldEnd != std::string_view::npos) {
    const size_t blankField = editMask.find(';', fieldEnd + 1);
    if (blankField != std::string_view::npos && blankField + 1 < editMask.size())
      blank = editMask[blankField + 1];
  }
  std::string mask;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      AddLiteral(mask, pattern[++i]);
    } else if (c == '!') {
      // Leading blanks instead of trailing ones: Qt has no such choice.
    } else if (c == '<' && i + 1 < pattern.size() && pattern[i + 1] == '>') {
      mask += '!';  // case conversion off
      ++i;
    } else if (c == '_') {
      AddLiteral(mask, ' ');
    } else if (char qt = QtMaskCharacter(c)) {
      mask += qt;
    } else {
      AddLiteral(mask, c);
    }
  }
  return QString::fromStdString(mask + ';' + blank);
}

}  // namespace tester
