// A description statement: how to request one kind of data from the ECU and how to read the
// answer. Parsed once; every decoding turns the answer's bytes into parallel lines of names,
// value texts, units and values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/NamedLists.h"
#include "measurement/ScalingBytes.h"
#include "platform/SmallIntArray.h"

// One line per record of a decoding: the text of the record's first item and its raw value.
struct TRecordText {
  std::string Text;
  int32_t RawValue = 0;
};

class TDataDescription {
 public:
  // Parses `statement` (without its closing ';'). Item errors mark the title with "ERROR ";
  // a token that should be an integer and is not throws the conversion error, a record option
  // without its two words the list error. `namedLists` is borrowed and may be null.
  TDataDescription(std::string_view statement, const TNamedLists* namedLists);
  ~TDataDescription();
  TDataDescription(const TDataDescription&) = delete;
  TDataDescription& operator=(const TDataDescription&) = delete;

  // Decodes `data` (first byte first) after the bytes of earlier calls when `append` is set,
  // otherwise on its own; rebuilds every line list and returns the value texts.
  const std::vector<std::string>& Decode(const TSmallIntArray& data, bool append);

  // The items: their names (or the error text of an item that failed) and their scalings,
  // which are null for an item that failed. An index outside the items throws the list error.
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int index) const;
  TScalingBytes* Objects(int index) const;

  // The line lists, one entry per line at the same index.
  const std::vector<std::string>& GetNames() const { return FLines.Names; }
  const std::vector<std::string>& GetValueTexts() const { return FLines.ValueTexts; }
  const std::vector<std::string>& GetUnits() const { return FLines.Units; }
  const std::vector<float>& GetValues() const { return FLines.Values; }
  const std::vector<TRecordText>& GetRecordTexts() const { return FLines.RecordTexts; }
  int GetLineCount() const { return static_cast<int>(FLines.Names.size()); }

  const std::string& GetServiceName() const { return ServiceName; }
  int GetServiceId() const { return ServiceId; }
  int GetIdentifier() const { return Identifier; }
  const std::string& GetTitle() const { return Title; }
  int GetTotalNrBytes() const { return TotalNrBytes; }
  int GetListHeaderBytes() const { return ListHeaderBytes; }
  int GetListRecordBytes() const { return ListRecordBytes; }
  bool IsSingleRecord() const { return ListRecordBytes < 1; }
  const TNamedLists* GetNamedLists() const { return NamedLists; }

 private:
  struct TItem {
    std::string Name;
    std::unique_ptr<TScalingBytes> Scaling;  // null for an item that failed
  };
  struct TLines {
    std::vector<std::string> Names;
    std::vector<std::string> ValueTexts;
    std::vector<std::string> Units;
    std::vector<float> Values;
    std::vector<TRecordText> RecordTexts;
    void Resize(size_t count);
  };
  struct TRecordLayout;

  size_t ReadRecordOptions(const std::vector<std::string>& tokens, size_t pos);
  // Reads the items; returns false when one of them failed.
  bool ReadItems(const std::vector<std::string>& tokens, size_t pos, int count);
  void AddFailedItem(const char* errorText);
  void BuildInitialLines(bool valid);

  TRecordLayout Layout() const;
  // Decodes item `k` of a record at `pos` into line `line` of the new lines.
  void DecodeItem(size_t k, int record, size_t line, size_t& pos, int64_t& totalBytes);

  std::vector<TItem> FItems;
  TLines FLines;
  TLines FNewLines;  // built by a decoding, then swapped in whole
  TSmallIntArray Buffer;
  std::string ServiceName;
  int ServiceId = 0;
  int Identifier = 0;
  std::string Title;
  int TotalNrBytes = 0;
  int ListHeaderBytes = 0;
  int ListRecordBytes = 0;
  const TNamedLists* NamedLists;
};
