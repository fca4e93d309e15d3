#include "measurement/ScalingBytes.h"

#include <array>
#include <optional>
#include <string_view>

#include "measurement/CommaText.h"
#include "platform/Conversions.h"
#include "measurement/Cp1252.h"
#include "measurement/DataDescription.h"
#include "measurement/NamedLists.h"
#include "measurement/ValueText.h"

namespace {

constexpr std::string_view kDegree = "\xC2\xB0";

struct UnitText {
  uint8_t code;
  std::string_view text;
};

constexpr std::array<UnitText, 19> kUnits = {{{0x00, ""},
                                              {0x01, "m"},
                                              {0x06, "g"},
                                              {0x08, "s"},
                                              {0x0D, "A"},
                                              {0x0E, "V"},
                                              {0x16, "K"},
                                              {0x17,
                                               "\xC2\xB0"
                                               "C"},
                                              {0x1B, kDegree},
                                              {0x24, "Pa"},
                                              {0x25, "bar"},
                                              {0x2F, "m/s"},
                                              {0x30, "km/h"},
                                              {0x31, "mph"},
                                              {0x33, "rpm"},
                                              {0x35, "%"},
                                              {0x36, "mg/stroke"},
                                              {0x38, "Nm"},
                                              {0x80, "mm^3"}}};

constexpr std::array<std::string_view, 16> kPrefixes = {"E", "P", "T", "G", "M", "k", "h", "da",
                                                        "d", "c", "m", "u", "n", "p", "f", "a"};

// Number of constants that follow a formula byte, or nullopt for an id outside the table.
std::optional<int> ConstantCount(int formulaId, int dataType) {
  switch (formulaId) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 9:
      return 2;
    case 2:
    case 5:
      return 3;
    case 6:
    case 7:
    case 8:
      return 1;
    case fiInverted:
      if (dataType == dtCharacters) return 0;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

struct TypeWord {
  std::string_view word;
  int dataType;
};

constexpr std::array<TypeWord, 9> kTypeWords = {{{"unsigned", dtUnsigned},
                                                 {"signed", dtSigned},
                                                 {"ascii", dtCharacters},
                                                 {"ascii_inv", dtCharacters},
                                                 {"indication", dtEnumeration},
                                                 {"list", dtEnumeration},
                                                 {"hex", dtHex},
                                                 {"bcd", dtHex},
                                                 {"bitmask", dtBitMask}}};

uint8_t ByteAt(std::span<const int16_t> data, size_t index) {
  return static_cast<uint8_t>(data[index] & 0xFF);
}

// Big-endian sum of the bytes; beyond four bytes the earlier ones are added in again at the
// same four positions.
uint32_t RawOf(std::span<const int16_t> data, int n) {
  uint32_t raw = 0;
  for (int k = 0; k < n; ++k)
    raw += static_cast<uint32_t>(ByteAt(data, static_cast<size_t>(k))) << (8 * ((n - 1 - k) % 4));
  return raw;
}

// Appends `word` to a text of words joined by ", "; `count` counts the words so far.
void AppendJoined(std::string& text, int& count, const std::string& word) {
  if (count++ > 0) text += ", ";
  text += word;
}

}  // namespace

float ScalingConstant(uint8_t high, uint8_t low) {
  unsigned word = (static_cast<unsigned>(high) << 8) | low;
  int mantissa = static_cast<int>(word & 0x7FF);
  if (word & 0x800) mantissa = -mantissa;
  int exponent = static_cast<int>((word >> 12) & 0x7);
  double step = (word & 0x8000) ? 0.1 : 10.0;
  float factor = 1.0f;
  for (int i = 0; i < exponent; ++i)
    factor = static_cast<float>(factor * step);
  return static_cast<float>(static_cast<double>(factor) * mantissa);
}

TScalingBytes::TScalingBytes(const TSmallIntArray& scalingBytes,
                             const std::vector<std::string>& optionLines, int itemIndex,
                             const TDataDescription* owner)
    : ScalingBytes(scalingBytes.Bytes()),
      OptionLines(optionLines),
      Owner(owner),
      ItemIndex(itemIndex) {
  ReadScalingBytes();
  for (const std::string& option : OptionLines)
    ApplyOption(option);
}

TScalingBytes::~TScalingBytes() = default;

void TScalingBytes::ReadScalingBytes() {
  size_t pos = 0;
  while (pos < ScalingBytes.size()) {
    uint8_t byte = ScalingBytes[pos];
    int high = byte >> 4;
    int low = byte & 0x0F;
    if (high <= 0x8 || high == 0xB) {
      DataType = high == 0xB ? dtEnumeration : high;
      NrBytes += low;
      ++pos;
    } else if (high == 0x9) {
      if (!ReadFormula(pos)) return;
    } else if (high == 0xA && pos + 1 < ScalingBytes.size()) {
      ReadUnit(ScalingBytes[pos + 1]);
      pos += 2;
    } else {
      return;  // 0xC to 0xF end the scaling bytes, as does a unit byte without its code
    }
  }
}

bool TScalingBytes::ReadFormula(size_t& pos) {
  if (pos + 1 >= ScalingBytes.size()) return false;
  FormulaId = ScalingBytes[pos + 1];
  Constants = {0, 0, 0};
  pos += 2;
  std::optional<int> count = ConstantCount(FormulaId, DataType);
  if (!count) {
    FormulaId = fiNone;
    return false;
  }
  for (int i = 0; i < *count; ++i) {
    if (pos + 1 >= ScalingBytes.size()) return false;  // the scaling bytes end inside a constant
    Constants[static_cast<size_t>(i)] = ScalingConstant(ScalingBytes[pos], ScalingBytes[pos + 1]);
    pos += 2;
  }
  return true;
}

void TScalingBytes::ReadUnit(uint8_t code) {
  if (code >= 0x40 && code <= 0x4F) {
    Unit.insert(0, kPrefixes[code - 0x40]);
    return;
  }
  UnitId = code;
  for (const UnitText& unit : kUnits)
    if (unit.code == code) Unit += unit.text;
}

void TScalingBytes::ApplyOption(const std::string& option) {
  std::vector<std::string> words = SplitCommaText(option);
  const std::string& keyword = WordAt(words, 0);
  if (keyword == "#list") {
    ListName = WordAt(words, 1);
  } else if (keyword == "#prefixunit") {
    Unit = WordAt(words, 1);
  } else if (keyword == "#datatype") {
    ApplyTypeWord(WordAt(words, 1));
  } else if (keyword == "#nrbytes") {
    NrBytes = plat::StrToInt(WordAt(words, 1));
  } else if (keyword == "#formula") {
    SetFormula(WordAt(words, 1));
  } else if (keyword == "#scaling") {
    ApplyTypeWord(WordAt(words, 1));
    if (words.size() > 2) NrBytes = plat::StrToInt(words[2]);
    if (words.size() > 3) SetFormula(words[3]);
    if (words.size() > 4) Unit = words[4];
  }
}

void TScalingBytes::ApplyTypeWord(const std::string& word) {
  for (const TypeWord& type : kTypeWords) {
    if (type.word != word) continue;
    DataType = type.dataType;
    if (word == "ascii_inv") FormulaId = fiInverted;
    return;
  }
}

void TScalingBytes::SetFormula(const std::string& text) {
  Formula = std::make_unique<TFormulaInt>(text);
  FormulaId = fiFree;
}

const std::string& TScalingBytes::Decode(const TSmallIntArray& data) {
  return Decode(std::span<const int16_t>(data.Values()));
}

const std::string& TScalingBytes::Decode(std::span<const int16_t> data) {
  // A negative byte count (from an option) reads nothing, like data that are too short.
  if (NrBytes < 0 || data.size() < static_cast<size_t>(NrBytes)) {
    Text.clear();
    return Text;
  }
  uint32_t raw = RawOf(data, NrBytes);
  RawValue = static_cast<int32_t>(raw);
  switch (DataType) {
    case dtUnsigned:
    case dtSigned:
      DecodeNumber(data, raw);
      break;
    case dtBitMapped:
    case dtBitMask:
      DecodeBitMask(raw);
      break;
    case dtHex:
      Text.clear();
      for (int k = 0; k < NrBytes; ++k) {
        if (k > 0) Text += ' ';
        Text += plat::IntToHex(ByteAt(data, static_cast<size_t>(k)), 2);
      }
      break;
    case dtState:
      Value = static_cast<float>(raw);
      Text = plat::IntToHex(raw, NrBytes);
      break;
    case dtCharacters:
      DecodeCharacters(data);
      break;
    case dtEnumeration:
      DecodeEnumeration(raw);
      break;
    default:
      Text = "DataType not known";
      for (int k = 0; k < NrBytes; ++k)
        Text += " " + plat::IntToHex(ByteAt(data, static_cast<size_t>(k)), 2);
      break;
  }
  return Text;
}

void TScalingBytes::DecodeNumber(std::span<const int16_t> data, uint32_t raw) {
  float x = static_cast<float>(raw);
  if (DataType == dtSigned && NrBytes >= 1 && ByteAt(data, 0) >= 0x80) {
    uint32_t extended = raw;
    for (int position = NrBytes; position < 4; ++position)
      extended |= 0xFFu << (8 * position);
    x = static_cast<float>(static_cast<int32_t>(extended));
  }
  Value = ApplyFormula(x);
  Text = FloatToText(Value);
}

float TScalingBytes::ApplyFormula(float x) {
  const double v = x;
  const double c0 = Constants[0], c1 = Constants[1], c2 = Constants[2];
  switch (FormulaId) {
    case fiFree: {
      double y = v;
      if (Formula) Formula->Calculate(v, y);
      return static_cast<float>(y);
    }
    case 0:
      return static_cast<float>(c0 * v + c1);
    case 1:
      return static_cast<float>(c0 * (v + c1));
    case 2:
      return static_cast<float>(c0 / (v + c1) + c2);
    case 3:
      return static_cast<float>(v / c0 + c1);
    case 4:
      return static_cast<float>((v + c0) / c1);
    case 5:
      return static_cast<float>((v + c0) / c1 + c2);
    case 6:
      return static_cast<float>(c0 * v);
    case 7:
      return static_cast<float>(v / c0);
    case 8:
      return static_cast<float>(v + c0);
    case 9:
      return static_cast<float>(v * c0 / c1);
    default:
      return x;
  }
}

std::string TScalingBytes::HexPrefix(uint32_t raw) const {
  return "0x" + plat::IntToHex(raw, 2 * NrBytes) + ", ";
}

void TScalingBytes::DecodeBitMask(uint32_t raw) {
  Value = static_cast<float>(raw);
  const TNamedLists* lists = Owner ? Owner->GetNamedLists() : nullptr;
  const TNamedList* list = lists ? lists->Find(ListName) : nullptr;
  if (!list) {
    Text = HexPrefix(raw) + (lists ? "list not found" : "no lists available");
    return;
  }
  Text.clear();
  int count = 0;
  for (const TNamedListEntry& entry : list->Entries()) {
    int32_t mask = plat::StrToInt(WordAt(entry.Words, 0));
    const std::string& word = WordAt(entry.Words, 1);
    if ((static_cast<uint32_t>(mask) & raw) == static_cast<uint32_t>(entry.Id))
      AppendJoined(Text, count, word);
  }
}

void TScalingBytes::DecodeEnumeration(uint32_t raw) {
  Value = static_cast<float>(raw);
  const TNamedLists* lists = Owner ? Owner->GetNamedLists() : nullptr;
  const TNamedList* list = lists ? lists->Find(ListName) : nullptr;
  const TNamedListEntry* entry = list ? list->Find(static_cast<int32_t>(raw)) : nullptr;
  if (!entry || entry->Words.empty()) {
    Text = HexPrefix(raw);
    if (!lists)
      Text += "no lists available";
    else if (!list)
      Text += "list not found";
    else if (!entry)
      Text += "item not found in list";
    return;
  }
  Text.clear();
  int count = 0;
  for (const std::string& word : entry->Words)
    AppendJoined(Text, count, word);
}

void TScalingBytes::DecodeCharacters(std::span<const int16_t> data) {
  std::string bytes;
  for (int k = 0; k < NrBytes; ++k)
    bytes += static_cast<char>(ByteAt(data, static_cast<size_t>(k)));
  if (FormulaId == fiInverted) bytes.assign(bytes.rbegin(), bytes.rend());
  Text = Cp1252ToUtf8(bytes);
}
