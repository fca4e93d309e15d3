// Reading of definition files: statements that end with ';', '%' comment lines, the directives
// "#include", "#define", "#list", "#clearlist" and "#clear", and the filing of description
// statements by their keyword. What a directive or keyword does in a program comes from that
// program's tables (TDefinitionKeywords); the reading itself is the same for every tester.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TActivityLog;
class TControlSettings;
class TDataDescription;
class TNamedLists;

// How a "#define" value sets its control.
enum class TDefineKind {
  Text,       // the word as written
  ItemIndex,  // an integer, limited to the radio group's items
  Checked,    // ticked when the word is "on" in any letter case
};

// A "#define" key (lower case) and the control it sets.
struct TDefineKey {
  std::string_view Key;
  std::string_view Control;
  TDefineKind Kind;
};

// A "#clear" target (compared exactly), what it empties and the line it writes.
struct TClearTarget {
  std::string_view Target;
  std::string_view Line;
  std::function<void()> Clear;
};

// Takes a filed description over and keeps or releases it.
using TFileAction = std::function<void(std::unique_ptr<TDataDescription>)>;

// A description keyword (compared exactly): the service ids it is filed for (empty: any), where
// it goes and the text before the title in its line.
struct TFilingRule {
  std::string_view Keyword;
  std::vector<int> ServiceIds;
  std::string_view LinePrefix;
  TFileAction File;
};

// The program's part of the definition-file language.
struct TDefinitionKeywords {
  std::vector<TDefineKey> DefineKeys;
  std::vector<TClearTarget> ClearTargets;
  std::vector<TFilingRule> FilingRules;
};

// What one load reads into, borrowed from the window's definitions.
struct TDefinitionSinks {
  const TDefinitionKeywords& Keywords;
  TNamedLists& NamedLists;
  std::vector<std::string>& ReadFiles;  // names read in this load, in reading order
  TControlSettings& Settings;
  TActivityLog& Log;
  std::string DefDir;  // with its trailing '/'
};

// Reads one definition file and the files it includes; every line goes to the activity log.
// A missing word of a directive throws the list error, a non-number where an integer is read
// the conversion error, a file that exists but cannot be opened the file error; what earlier
// statements filed stays. Main thread only.
void ReadDefinitionFile(const TDefinitionSinks& sinks, const std::string& name);

// True when the name ends with ".def" in any letter case.
bool HasDefExtension(std::string_view name);
