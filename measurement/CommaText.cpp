#include "measurement/CommaText.h"

#include "platform/Exceptions.h"

namespace {

bool IsSeparatorBlank(char c) {
  return c >= 1 && c <= ' ';
}
bool IsWordChar(char c) {
  return static_cast<unsigned char>(c) > ' ' && c != ',';
}

class CommaTextReader {
 public:
  explicit CommaTextReader(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

  std::vector<std::string> Words() {
    std::vector<std::string> words;
    SkipBlanks();
    while (pos_ < text_.size()) {
      words.push_back(At() == '"' ? QuotedWord() : PlainWord());
      SkipBlanks();
      if (pos_ < text_.size() && At() == ',') {
        ++pos_;
        SkipBlanks();
      }
    }
    return words;
  }

 private:
  char At() const { return text_[pos_]; }
  char Next() const { return pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0'; }

  void SkipBlanks() {
    while (pos_ < text_.size() && IsSeparatorBlank(At()))
      ++pos_;
  }

  std::string PlainWord() {
    size_t start = pos_;
    while (pos_ < text_.size() && IsWordChar(At()))
      ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  std::string QuotedWord() {
    std::string word;
    ++pos_;  // opening quote
    while (pos_ < text_.size()) {
      if (At() != '"') {
        word += At();
        ++pos_;
      } else if (Next() == '"') {
        word += '"';
        pos_ += 2;
      } else {
        ++pos_;  // closing quote
        break;
      }
    }
    return word;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
  return CommaTextReader(text).Words();
}

const std::string& WordAt(const std::vector<std::string>& words, int index) {
  if (index < 0 || index >= static_cast<int>(words.size())) plat::ThrowListIndexError(index);
  return words[static_cast<size_t>(index)];
}
