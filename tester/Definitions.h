// What a tester knows about an ECU from its definition files: the named lists, the measurement
// groups of "Available For Read", the identification descriptions and whatever else the program
// files; and the load that empties all of it and reads the chosen file afresh. Each program
// derives its own definitions with its keyword tables and its further lists. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "measurement/NamedLists.h"
#include "tester/DefinitionReader.h"

class TActivityLog;
class TControlSettings;
class TDataDescription;
class TListBox;
class TStringGrid;

// The window's controls that a load fills, borrowed; they must outlive the definitions.
struct TDefinitionControls {
  TListBox& ReadAll;       // groups: text = title, object = the description
  TListBox& ItemsReadAll;  // items of ReadAll
  TListBox& ReadSel;       // the selected groups (objects: descriptions of ReadAll)
  TListBox& ItemsAll;      // items of ReadSel
  TStringGrid& IdentGrid;  // one row per identification item name
  TControlSettings& Settings;
  TActivityLog& Log;
};

using TDescriptionList = std::vector<std::unique_ptr<TDataDescription>>;

// Files a description by keeping it in `list`.
TFileAction IntoList(TDescriptionList& list);

class TDefinitions {
 public:
  // `defDir` is the definition directory with its trailing '/'.
  TDefinitions(const TDefinitionControls& controls, std::string defDir);
  virtual ~TDefinitions();
  TDefinitions(const TDefinitions&) = delete;
  TDefinitions& operator=(const TDefinitions&) = delete;

  // The load: frees every description and empties every list that definition files fill,
  // "Selected For Read" included, reads `fileName`, then lists the items of both group boxes and
  // the identification item names in the grid. Errors of the file (list, conversion and file
  // errors) stop the reading; what was filed before stays, the item lists and the grid are still
  // built, and the error travels on to the caller.
  //
  // Before calling it, the window stops continuous reading and clears its data destinations, so
  // that nothing still in use refers to a description that the load frees.
  void Load(const std::string& fileName);

  const std::vector<std::string>& ReadFiles() const { return FReadFiles; }
  const TNamedLists& NamedLists() const { return FNamedLists; }
  const TDescriptionList& IdentDescriptions() const { return FIdentDescriptions; }
  // The owners of the objects of ReadAll, in the same order.
  const TDescriptionList& RealtimeDescriptions() const { return FRealtimeDescriptions; }

 protected:
  // The program's "#define" keys, "#clear" targets and description keywords.
  virtual const TDefinitionKeywords& Keywords() const = 0;
  // Frees the program's further descriptions and empties its further lists.
  virtual void ClearProgramLists() = 0;

  // Filing and clearing of the lists every tester has.
  void FileRealtime(std::unique_ptr<TDataDescription> description);
  void FileIdent(std::unique_ptr<TDataDescription> description);
  void ClearRealtime();
  void ClearIdent();

 private:
  void FillIdentGrid();

  TDefinitionControls FControls;
  std::string FDefDir;
  std::vector<std::string> FReadFiles;
  TNamedLists FNamedLists;
  TDescriptionList FRealtimeDescriptions;
  TDescriptionList FIdentDescriptions;
};
