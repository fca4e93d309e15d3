#include "tester/DefinitionReader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/ActivityLog.h"
#include "measurement/CommaText.h"
#include "measurement/Cp1252.h"
#include "measurement/DataDescription.h"
#include "measurement/NamedLists.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "tester/ControlSettings.h"

namespace fs = std::filesystem;

namespace {

bool IsExistingFile(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error) && !fs::is_directory(path, error);
}

// The file to open for `name`: the name itself, or, for a ".def" name that does not exist, a file
// in the same directory whose name differs only in the letter case of its extension. Empty when
// there is none.
fs::path FindFile(const std::string& name) {
  const fs::path path(name);
  if (IsExistingFile(path)) return path;
  if (!HasDefExtension(name)) return {};
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
    const fs::path candidate = entry.path().filename();
    if (candidate.stem() == path.stem() && HasDefExtension(candidate.string()) &&
        IsExistingFile(entry.path()))
      return entry.path();
  }
  return {};
}

// Only a regular file is read: opening a FIFO waits for a writer and a device may never end, so
// either counts as a file that cannot be opened.
std::string ReadWholeFile(const fs::path& path, const std::string& name) {
  std::error_code error;
  std::ifstream file;
  if (fs::is_regular_file(path, error)) file.open(path, std::ios::binary);
  if (!file.is_open()) throw plat::EFOpenError("Cannot open file " + name);
  std::ostringstream text;
  text << file.rdbuf();
  return Cp1252ToUtf8(text.str());
}

// The statements of a file's text: lines trimmed of codes 0 to 32, empty and '%' lines skipped,
// the rest joined without a separator until the text ends with ';', which is removed. Empty
// statements and an unterminated tail are dropped.
std::vector<std::string> SplitStatements(std::string_view text) {
  std::vector<std::string> statements;
  std::string statement;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    const std::string line = plat::Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '%') continue;
    statement += line;
    if (statement.back() != ';') continue;
    statement.pop_back();
    if (!statement.empty()) statements.push_back(std::move(statement));
    statement.clear();
  }
  return statements;
}

class TStatementProcessor {
 public:
  explicit TStatementProcessor(const TDefinitionSinks& sinks) : sinks_(sinks) {}

  void Process(const std::string& statement) {
    if (statement.front() == '#')
      Directive(SplitCommaText(statement));
    else
      Description(statement);
  }

 private:
  void Log(std::string line) { sinks_.Log.Add(std::move(line)); }

  void Directive(const std::vector<std::string>& words) {
    const std::string& name = WordAt(words, 0);
    if (name == "#include")
      Include(WordAt(words, 1));
    else if (name == "#define")
      Define(words);
    else if (name == "#list")
      List(words);
    else if (name == "#clearlist")
      ClearList(WordAt(words, 1));
    else if (name == "#clear")
      Clear(WordAt(words, 1));
  }

  void Include(const std::string& word) {
    const std::string name = word.find('/') == std::string::npos ? sinks_.DefDir + word : word;
    const std::vector<std::string>& read = sinks_.ReadFiles;
    if (std::none_of(read.begin(), read.end(),
                     [&](const std::string& file) { return CompareText(file, name) == 0; }))
      ReadDefinitionFile(sinks_, name);
  }

  void Define(const std::vector<std::string>& words) {
    const std::string& key = WordAt(words, 1);
    const std::vector<TDefineKey>& keys = sinks_.Keywords.DefineKeys;
    auto found = std::find_if(keys.begin(), keys.end(),
                              [&](const TDefineKey& k) { return CompareText(k.Key, key) == 0; });
    if (found == keys.end()) return;
    const std::string& value = WordAt(words, 2);
    TControlSettings& settings = sinks_.Settings;
    switch (found->Kind) {
      case TDefineKind::Text:
        settings.SetText(found->Control, value);
        break;
      case TDefineKind::ItemIndex: {
        const int last = std::max(settings.RadioItemCount(found->Control) - 1, -1);
        settings.SetItemIndex(found->Control, std::clamp(plat::StrToInt(value), -1, last));
        break;
      }
      case TDefineKind::Checked:
        settings.SetChecked(found->Control, CompareText(value, "on") == 0);
        break;
    }
  }

  void List(const std::vector<std::string>& words) {
    TNamedList& list = sinks_.NamedLists.FindOrAdd(WordAt(words, 1));
    const int32_t id = plat::StrToInt(WordAt(words, 2));
    std::vector<std::string> texts(std::next(words.begin(), 3), words.end());
    if (texts.empty()) texts.push_back("no text");
    list.Add(id, std::move(texts));
    Log("list: " + list.Name() + ", id: " + plat::IntToHex(static_cast<uint32_t>(id), 4));
  }

  void ClearList(const std::string& name) {
    TNamedList* list = sinks_.NamedLists.Find(name);
    if (!list) {
      Log("clearlist, list does not excist: " + name);
      return;
    }
    list->Clear();
    Log("clearlist: " + list->Name());
  }

  void Clear(const std::string& target) {
    for (const TClearTarget& known : sinks_.Keywords.ClearTargets) {
      if (known.Target != target) continue;
      known.Clear();
      Log(std::string(known.Line));
      return;
    }
    Log("clear, not known: " + target);
  }

  void Description(const std::string& statement) {
    auto description = std::make_unique<TDataDescription>(statement, &sinks_.NamedLists);
    const std::string title = description->GetTitle();
    for (const TFilingRule& rule : sinks_.Keywords.FilingRules) {
      if (!Matches(rule, *description)) continue;
      rule.File(std::move(description));
      Log(std::string(rule.LinePrefix) + title);
      return;
    }
    Log("Not recognized : " + title);
  }

  static bool Matches(const TFilingRule& rule, const TDataDescription& description) {
    const std::vector<int>& ids = rule.ServiceIds;
    return rule.Keyword == description.GetServiceName() &&
           (ids.empty() ||
            std::find(ids.begin(), ids.end(), description.GetServiceId()) != ids.end());
  }

  const TDefinitionSinks& sinks_;
};

}  // namespace

bool HasDefExtension(std::string_view name) {
  return name.size() >= 4 && CompareText(name.substr(name.size() - 4), ".def") == 0;
}

void ReadDefinitionFile(const TDefinitionSinks& sinks, const std::string& name) {
  const fs::path path = FindFile(name);
  if (path.empty()) {
    sinks.Log.Add("File: " + name + " does not excist");
    return;
  }
  sinks.ReadFiles.push_back(name);
  const std::string text = ReadWholeFile(path, name);
  sinks.Log.Add("File read: " + name);
  TStatementProcessor processor(sinks);
  for (const std::string& statement : SplitStatements(text))
    processor.Process(statement);
}
