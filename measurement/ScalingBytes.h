// The scaling of one item of a description statement: its ISO 14230-3 scaling bytes and '#'
// options, read once, and the decoding of the item's data bytes into a text, a value and a raw
// integer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "measurement/FormulaInt.h"
#include "platform/SmallIntArray.h"

class TDataDescription;

// Data types of an item.
inline constexpr int dtNone = -1;
inline constexpr int dtUnsigned = 0;
inline constexpr int dtSigned = 1;
inline constexpr int dtBitMapped = 2;
inline constexpr int dtBitMask = 3;
inline constexpr int dtHex = 4;
inline constexpr int dtState = 5;
inline constexpr int dtCharacters = 6;
inline constexpr int dtEnumeration = 11;

// Formula ids besides the standard formulas 0 to 9.
inline constexpr int fiNone = -1;
inline constexpr int fiFree = -2;
inline constexpr int fiInverted = 255;  // with characters: last byte first

class TScalingBytes {
 public:
  // Copies the scaling bytes (low 8 bits of each) and the option tokens, reads the scaling bytes,
  // then applies the options in order. An option that lacks a word throws the list error, a
  // number that is none the conversion error. `owner` (may be null) lends its named lists.
  TScalingBytes(const TSmallIntArray& scalingBytes, const std::vector<std::string>& optionLines,
                int itemIndex, const TDataDescription* owner);
  ~TScalingBytes();
  TScalingBytes(const TScalingBytes&) = delete;
  TScalingBytes& operator=(const TScalingBytes&) = delete;

  // Decodes the item's bytes (first byte first) and returns the text; data shorter than the
  // item give "" and change nothing else.
  const std::string& Decode(const TSmallIntArray& data);
  const std::string& Decode(std::span<const int16_t> data);

  const std::string& GetText() const { return Text; }
  const std::string& GetUnit() const { return Unit; }
  int GetNrBytes() const { return NrBytes; }
  float GetValue() const { return Value; }
  int32_t GetRawValue() const { return RawValue; }
  int GetDataType() const { return DataType; }
  int GetFormulaId() const { return FormulaId; }
  float GetConstant(int index) const { return Constants.at(static_cast<size_t>(index)); }
  const TFormulaInt* GetFormula() const { return Formula.get(); }
  const std::string& GetListName() const { return ListName; }
  const std::vector<std::string>& GetOptionLines() const { return OptionLines; }
  int GetUnitId() const { return UnitId; }
  int GetItemIndex() const { return ItemIndex; }

 private:
  void ReadScalingBytes();
  // Reads a formula byte at `pos`; returns false when the reading has to stop.
  bool ReadFormula(size_t& pos);
  void ReadUnit(uint8_t code);
  void ApplyOption(const std::string& option);
  void ApplyTypeWord(const std::string& word);
  void SetFormula(const std::string& text);

  float ApplyFormula(float x);
  void DecodeNumber(std::span<const int16_t> data, uint32_t raw);
  void DecodeBitMask(uint32_t raw);
  void DecodeEnumeration(uint32_t raw);
  void DecodeCharacters(std::span<const int16_t> data);
  std::string HexPrefix(uint32_t raw) const;

  std::vector<uint8_t> ScalingBytes;
  std::string ListName;
  std::vector<std::string> OptionLines;
  int DataType = dtNone;
  int NrBytes = 0;
  int FormulaId = fiNone;
  std::array<float, 3> Constants{};
  std::unique_ptr<TFormulaInt> Formula;
  std::string Unit;
  int UnitId = -1;
  float Value = 0;
  int32_t RawValue = 0;
  std::string Text;
  const TDataDescription* Owner;
  int ItemIndex;
};

// The two-byte constant of a formula byte: an 11-bit mantissa with its sign, times ten to a
// 3-bit exponent with its sign, worked out in single precision step by step.
float ScalingConstant(uint8_t high, uint8_t low);
