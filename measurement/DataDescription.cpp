#include "measurement/DataDescription.h"

#include <algorithm>
#include <limits>
#include <span>
#include <utility>

#include "measurement/CommaText.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"

namespace {

constexpr const char* kShortData = "Definition not correct, data received shorter than description";

bool IsOption(const std::string& token) {
  return !token.empty() && token[0] == '#';
}

int ClampToInt(int64_t value) {
  return static_cast<int>(
      std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

// How a decoding reads the buffer: R records from `start`, with X extra lines in front.
struct TDataDescription::TRecordLayout {
  int records = 1;
  size_t extraLines = 0;
  size_t start = 0;
};

void TDataDescription::TLines::Resize(size_t count) {
  Names.resize(count);
  ValueTexts.resize(count);
  Units.resize(count);
  Values.assign(count, 0.0f);
  RecordTexts.clear();
}

TDataDescription::TDataDescription(std::string_view statement, const TNamedLists* namedLists)
    : NamedLists(namedLists) {
  std::vector<std::string> tokens = SplitCommaText(statement);
  bool valid = false;
  if (tokens.size() < 4) {
    ServiceName = "0";
    ServiceId = -1;
    Identifier = -1;
    Title = "ERROR Description not valid";
  } else {
    ServiceName = tokens[0];
    ServiceId = plat::StrToInt(tokens[1]);
    Identifier = plat::StrToInt(tokens[2]);
    Title = tokens[3];
    size_t pos = ReadRecordOptions(tokens, 4);
    if (pos < tokens.size()) valid = ReadItems(tokens, pos + 1, plat::StrToInt(tokens[pos]));
  }
  BuildInitialLines(valid);
}

TDataDescription::~TDataDescription() = default;

size_t TDataDescription::ReadRecordOptions(const std::vector<std::string>& tokens, size_t pos) {
  for (; pos < tokens.size() && IsOption(tokens[pos]); ++pos) {
    std::vector<std::string> words = SplitCommaText(tokens[pos]);
    const std::string& keyword = WordAt(words, 0);
    if (keyword != "#list" && keyword != "#countlist") continue;
    // A negative header counts as none: the records never start before the buffer.
    ListHeaderBytes = std::max(0, plat::StrToInt(WordAt(words, 1)));
    ListRecordBytes = plat::StrToInt(WordAt(words, 2));
  }
  return pos;
}

bool TDataDescription::ReadItems(const std::vector<std::string>& tokens, size_t pos, int count) {
  for (int i = 0; i < count; ++i) {
    size_t left = tokens.size() - pos;
    if (left < 2) {
      AddFailedItem("No name + scalingbytecount");
      return false;
    }
    int scalingCount = plat::StrToInt(tokens[pos + 1]);
    if (scalingCount < 0 || left - 2 < static_cast<size_t>(scalingCount)) {
      AddFailedItem("Not enough scalingbytes");
      return false;
    }
    TSmallIntArray scalingBytes;
    std::vector<std::string> options;
    for (size_t t = pos + 2; t < pos + 2 + static_cast<size_t>(scalingCount); ++t) {
      if (IsOption(tokens[t]))
        options.push_back(tokens[t]);
      else
        scalingBytes.Add(static_cast<int16_t>(plat::StrToInt(tokens[t])));
    }
    auto scaling = std::make_unique<TScalingBytes>(scalingBytes, options, i, this);
    FItems.push_back(TItem{tokens[pos], std::move(scaling)});
    pos += 2 + static_cast<size_t>(scalingCount);
  }
  return true;
}

void TDataDescription::AddFailedItem(const char* errorText) {
  FItems.push_back(TItem{errorText, nullptr});
  Title = "ERROR " + Title;
}

void TDataDescription::BuildInitialLines(bool valid) {
  FLines.Resize(FItems.size());
  int64_t totalBytes = 0;
  for (size_t k = 0; k < FItems.size(); ++k) {
    const TItem& item = FItems[k];
    FLines.Names[k] = item.Name;
    FLines.ValueTexts[k] = "No data";
    FLines.Units[k] = valid && item.Scaling ? item.Scaling->GetUnit() : "not valid";
    if (item.Scaling) totalBytes += std::max(0, item.Scaling->GetNrBytes());
  }
  TotalNrBytes = ClampToInt(totalBytes);
}

const std::string& TDataDescription::Strings(int index) const {
  if (index < 0 || index >= Count()) plat::ThrowListIndexError(index);
  return FItems[static_cast<size_t>(index)].Name;
}

TScalingBytes* TDataDescription::Objects(int index) const {
  if (index < 0 || index >= Count()) plat::ThrowListIndexError(index);
  return FItems[static_cast<size_t>(index)].Scaling.get();
}

TDataDescription::TRecordLayout TDataDescription::Layout() const {
  TRecordLayout layout;
  if (IsSingleRecord()) return layout;
  layout.extraLines = 1;
  int bytes = Buffer.Count();
  if (ListHeaderBytes >= 1 && bytes >= ListHeaderBytes)
    layout.start = static_cast<size_t>(ListHeaderBytes);
  layout.records = bytes < ListHeaderBytes ? 0 : (bytes - ListHeaderBytes) / ListRecordBytes;
  return layout;
}

const std::vector<std::string>& TDataDescription::Decode(const TSmallIntArray& data, bool append) {
  if (!append) Buffer.Clear();
  for (int16_t byte : data.Values())
    Buffer.Add(byte);

  const TRecordLayout layout = Layout();
  const size_t items = FItems.size();
  FNewLines.Resize(items * static_cast<size_t>(layout.records) + layout.extraLines);
  if (layout.extraLines == 1) {
    FNewLines.Names[0] = "Number of items";
    FNewLines.ValueTexts[0] = std::to_string(layout.records);
    FNewLines.Units[0].clear();
    FNewLines.Values[0] = static_cast<float>(layout.records);
  }
  int64_t totalBytes = ListHeaderBytes;
  size_t pos = layout.start;
  size_t line = layout.extraLines;
  for (int record = 0; record < layout.records; ++record) {
    const size_t firstLine = line;
    for (size_t k = 0; k < items; ++k)
      DecodeItem(k, record, line++, pos, totalBytes);
    // The record's text is that of this decoding, also when its first item lacked its bytes;
    // its raw value is the first item's, which then stays that of its last decoding.
    if (items > 0) {
      const TScalingBytes* first = FItems[0].Scaling.get();
      const int32_t raw = first ? first->GetRawValue() : 0;
      FNewLines.RecordTexts.push_back(TRecordText{FNewLines.ValueTexts[firstLine], raw});
    }
  }
  std::swap(FLines, FNewLines);
  TotalNrBytes = ClampToInt(totalBytes);
  return FLines.ValueTexts;
}

void TDataDescription::DecodeItem(size_t k, int record, size_t line, size_t& pos,
                                  int64_t& totalBytes) {
  TItem& item = FItems[k];
  std::string& name = FNewLines.Names[line];
  if (k == 0 && ListRecordBytes >= 2)
    name = std::to_string(record + 1) + ". " + item.Name;
  else
    name = item.Name;
  if (!item.Scaling) {
    FNewLines.ValueTexts[line].clear();
    FNewLines.Units[line] = "not valid";
    return;
  }
  TScalingBytes& scaling = *item.Scaling;
  const int nrBytes = scaling.GetNrBytes();
  const size_t available = static_cast<size_t>(Buffer.Count()) - pos;
  const bool present = nrBytes >= 0 && static_cast<size_t>(nrBytes) <= available;
  if (present) {
    std::span<const int16_t> bytes(Buffer.Values().data() + pos, static_cast<size_t>(nrBytes));
    FNewLines.ValueTexts[line] = scaling.Decode(bytes);
    FNewLines.Values[line] = scaling.GetValue();
    pos += static_cast<size_t>(nrBytes);
  } else {
    FNewLines.ValueTexts[line] = kShortData;
  }
  FNewLines.Units[line] = scaling.GetUnit();
  totalBytes += std::max(0, nrBytes);
}
