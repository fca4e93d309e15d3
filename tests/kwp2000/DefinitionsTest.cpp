// Loading definition files into the KWP2000 tester's definitions: small files in a temporary
// definition directory, each loaded twice, with every activity-log line, what is filed where,
// the settings made, and the error that stops a load.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "measurement/DataDescription.h"
#include "platform/Exceptions.h"
#include "tester/GroupItems.h"
#include "tests/support/FakeDisplayTargets.h"
#include "tests/support/DefinitionWindows.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FakeGrid;
using testing_support::FakeListBox;
using Texts = std::vector<std::string>;
using Window = testing_support::Kwp2000DefinitionWindow;

// A fresh temporary folder with a definition directory; "@" in file texts, log lines and
// messages stands for the folder. A file text "<socket>" or "<fifo>" makes a file that cannot be
// opened.
class TempFolder {
 public:
  TempFolder() {
    char path[] = "/tmp/quobrix-defs-XXXXXX";
    root_ = mkdtemp(path);
    fs::create_directory(root_ + "/Def");
  }
  ~TempFolder() { fs::remove_all(root_); }
  std::string DefDir() const { return root_ + "/Def/"; }
  void Write(const std::string& name, const std::string& text) const {
    const std::string path = DefDir() + name;
    if (text == "<socket>") return MakeSocket(path);
    if (text == "<fifo>") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      return;
    }
    std::ofstream(path, std::ios::binary) << Replace(text, "@", root_);
  }
  std::string Collapse(const std::string& text) const { return Replace(text, root_, "@"); }

 private:
  static std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
      text.replace(pos, from.size(), to);
    return text;
  }
  static void MakeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd);
  }
  std::string root_;
};

std::string Join(const Texts& texts, const char* separator = " | ") {
  std::string joined;
  for (const std::string& text : texts)
    joined += (joined.empty() ? "" : separator) + text;
  return joined;
}

std::string Titles(const TDescriptionList& descriptions) {
  Texts titles;
  for (const auto& description : descriptions)
    titles.push_back(description->GetTitle());
  return Join(titles);
}

std::string Identifiers(const FakeListBox& box) {
  Texts entries;
  for (const FakeListBox::Entry& entry : box.entries)
    entries.push_back(entry.text + "=" + std::to_string(entry.object));
  return Join(entries);
}

std::string Lists(const TNamedLists& lists) {
  Texts texts;
  for (int i = 0; i < lists.Count(); ++i) {
    Texts entries;
    for (const TNamedListEntry& entry : lists.Items(i).Entries())
      entries.push_back(std::to_string(entry.Id) + ":" + Join(entry.Words, "/"));
    texts.push_back(lists.Items(i).Name() + "{" + Join(entries, ",") + "}");
  }
  return Join(texts, " ");
}

Texts GridNames(const FakeGrid& grid) {
  Texts names;
  for (int row = 0; row < grid.RowCount(); ++row) {
    const Texts cells = grid.Row(row);
    EXPECT_EQ(Texts(cells.begin() + 1, cells.end()), Texts({"", ""})) << "row " << row;
    if (!cells[0].empty()) names.push_back(cells[0]);
  }
  EXPECT_EQ(grid.RowCount(), std::max<int>(1, static_cast<int>(names.size())));
  return names;
}

// Everything a load filled, one line per non-empty list.
Texts State(const Window& w, const TempFolder& folder) {
  Texts state;
  auto add = [&](const std::string& label, const std::string& text) {
    if (!text.empty()) state.push_back(label + ": " + text);
  };
  add("files", folder.Collapse(Join(w.defs.ReadFiles())));
  add("lists", Lists(w.defs.NamedLists()));
  add("ReadAll", Join(w.readAll.AllTexts()));
  add("ItemsReadAll", Join(w.itemsReadAll.AllTexts()));
  add("ReadSel", Join(w.readSel.AllTexts()));
  add("ItemsAll", Join(w.itemsAll.AllTexts()));
  add("Ident", Titles(w.defs.IdentDescriptions()));
  add("grid", Join(GridNames(w.identGrid)));
  add("ByStatus", Titles(w.defs.DtcByStatusDescriptions()));
  add("StatusOfDtc", Titles(w.defs.StatusOfDtcDescriptions()));
  add("Status18", Identifiers(w.status18));
  add("Group18", Identifiers(w.group18));
  add("Group14", Identifiers(w.group14));
  add("Group17", Identifiers(w.group17));
  add("settings", Join(w.settings.calls));
  return state;
}

// The objects of the list boxes point at what the definitions hold.
void ExpectConsistent(const Window& w) {
  const TDescriptionList& groups = w.defs.RealtimeDescriptions();
  ASSERT_EQ(w.readAll.Count(), static_cast<int>(groups.size()));
  int line = 0;
  for (size_t i = 0; i < groups.size(); ++i) {
    EXPECT_EQ(w.readAll.Object(static_cast<int>(i)), reinterpret_cast<intptr_t>(groups[i].get()));
    for (int j = 0; j < groups[i]->Count(); ++j, ++line)
      EXPECT_EQ(w.itemsReadAll.Object(line), reinterpret_cast<intptr_t>(groups[i]->Objects(j)));
  }
  EXPECT_EQ(w.itemsReadAll.Count(), line);
  for (auto [box, list] : {std::pair{&w.group14, &w.defs.DtcGroups14()},
                           std::pair{&w.group17, &w.defs.DtcGroups17()}}) {
    ASSERT_EQ(box->Count(), list->Count());
    for (int i = 0; i < box->Count(); ++i)
      EXPECT_EQ(box->entries[i],
                (FakeListBox::Entry{list->Entries()[i].Text, list->Entries()[i].Object}));
  }
}

struct Case {
  std::string name;
  std::map<std::string, std::string> files;  // in Def/; the load reads main.def
  Texts log;
  Texts state;
  std::string error;
};

// A load that `bad` stops after an included file filed a group and an identification.
Case StopsAt(const std::string& name, const std::string& bad, const std::string& error,
             Texts extraState = {}) {
  Texts state = {"files: @/Def/main.def | @/Def/before.def", "ReadAll: Group",
                 "ItemsReadAll: Speed ()", "Ident: Ident", "grid: Vin"};
  state.insert(state.end(), extraState.begin(), extraState.end());
  return {name,
          {{"before.def",
            "RDBLI_2000 0x21 1 Group 1 Speed 1 0x01;\nREI_2000 0x1A 0x90 Ident 1 Vin 1 0x61;\n"},
           {"main.def", "#include before.def;\n" + bad + "\nREI_2000 0x1A 1 After 1 Hw 1 0x01;\n"}},
          {"File read: @/Def/main.def", "File read: @/Def/before.def", "RDBLI_2000 : Group",
           "REI_2000 : Ident"},
          state,
          error};
}

// A load that stops at an included file that exists but cannot be opened.
Case CannotOpen(const std::string& name, const std::string& include,
                std::map<std::string, std::string> files = {}) {
  files["main.def"] =
      "RDBLI_2000 0x21 1 Group 1 Speed 1 0x01;\n#include " + include + ";\nREI_2000 0x1A 1 A 0;\n";
  const std::string path = include.find('/') == std::string::npos ? "@/Def/" + include : include;
  return {name,
          files,
          {"File read: @/Def/main.def", "RDBLI_2000 : Group"},
          {"files: @/Def/main.def | " + path, "ReadAll: Group", "ItemsReadAll: Speed ()"},
          "Cannot open file " + path};
}

const std::vector<Case>& Cases() {
  const std::string megabyte(1 << 20, 'x');
  static const std::vector<Case> cases = {
      {"statements",
       {{"main.def",
         "% a comment line\r\n"
         "  RDBLI_2000, 0x21, 0x01,  \r\n"
         "% a comment between the lines of a statement\r\n"
         "\t\"Engine \xB0"
         "C\", 1, Speed, 1, 0x01;\r\n"
         "#list Remarked 1 one; % a remark\r\n"
         "two;\r\n"
         "#list Semi 2 a;b;\r\n"
         ";\r\n"
         "#define ecuaddress\r\n"
         "0x11;\r\n"
         "RDBLI_2000 0x21 2 Dropped 0\r\n"}},
       {"File read: @/Def/main.def", "RDBLI_2000 : Engine \u00B0C", "list: Remarked, id: 0001",
        "list: Semi, id: 0002"},
       {"files: @/Def/main.def", "lists: Remarked{1:one;/%/a/remarktwo} Semi{2:a;b}",
        "ReadAll: Engine \u00B0C", "ItemsReadAll: Speed ()"},
       ""},
      {"define",
       {{"main.def",
         "#define inittype, 4;\n#define AddressMode -5;\n#define headertype 0x2;\n"
         "#define lengthinformation $1;\n#define ECUAddress 0x11;\n"
         "#define testeraddress \"F1\";\n#define port 0x00000211;\n"
         "#define EchoAfterSend oN;\n#define setdtr yes;\n#define unknownkey;\n"
         "#unknown word;\n#Define port 1;\n"}},
       {"File read: @/Def/main.def"},
       {"files: @/Def/main.def",
        "settings: RadioInit2000 = 1 | RadioGroupAddressMode = -1 | RadioGroupHeaderType = 2 | "
        "RadioGroupLengthInfo = 1 | MaskEditEcuAddress2000 = 0x11 | "
        "MaskEditTesterAddress2000 = F1 | ComboBoxComPort = 0x00000211 | "
        "CheckBoxRcvEcho = on | CheckBoxSetDTR = off"},
       ""},
      {"named lists",
       {{"main.def",
         "#list Colors 3 red \"dark red\";\n#list COLORS 0x04;\n#clearlist nothing;\n"
         "#list Empty 1 gone;\n#clearlist EMPTY;\n#list empty 2 again;\n#list Neg -1 minus;\n"}},
       {"File read: @/Def/main.def", "list: Colors, id: 0003", "list: Colors, id: 0004",
        "clearlist, list does not excist: nothing", "list: Empty, id: 0001", "clearlist: Empty",
        "list: Empty, id: 0002", "list: Neg, id: FFFFFFFF"},
       {"files: @/Def/main.def",
        "lists: Colors{3:red/dark red,4:no text} Empty{2:again} Neg{-1:minus}"},
       ""},
      {"includes",
       {{"main.def",
         "#include sub.def;\n#include SUB.DEF;\n#include main.def;\n#include missing.def;\n"
         "#include missing.def;\n#include @/Def/abs.def;\n#include Upper.def;\n"
         "REI_2000 0x1A 0x80 Main 1 X 1 0x01;\n"},
        {"sub.def", "REI_2000 0x1A 0x81 Sub 1 Y 1 0x01;\n#include MAIN.def;\n"},
        {"abs.def", "#include abs.def;\nRDBCI_2000 0x2C 0xF0 Abs 1 Volt 3 0x01 0xA0 0x0E;\n"},
        {"Upper.DEF", "#list U 1 up;\n"}},
       {"File read: @/Def/main.def", "File read: @/Def/sub.def", "REI_2000 : Sub",
        "File: @/Def/missing.def does not excist", "File: @/Def/missing.def does not excist",
        "File read: @/Def/abs.def", "RDBCI_2000 : Abs", "File read: @/Def/Upper.def",
        "list: U, id: 0001", "REI_2000 : Main"},
       {"files: @/Def/main.def | @/Def/sub.def | @/Def/abs.def | @/Def/Upper.def", "lists: U{1:up}",
        "ReadAll: Abs", "ItemsReadAll: Volt (V)", "Ident: Sub | Main", "grid: Y | X"},
       ""},
      {"filing",
       {{"main.def",
         "RDBLI_2000 0x21 0x01 Engine 2 Speed 1 0x01 Temp 3 0x01 0xA0 0x17;\n"
         "RDBCI_2000 0x2C 0xF0 Dynamic 1 Volt 3 0x01 0xA0 0x0E;\n"
         "REI_2000 0x1A 0x90 Vin 1 VIN 1 0x61;\n"
         "ReadId_2000 0x1A 0x91 HwNr 1 Hw 1 0x01;\n"
         "ReadId_2000 0x21 0x92 SwNr 2 Sw 1 0x01 Cal 1 0x01;\n"
         "ReadId_2000 0x22 0x93 Wrong 1 Z 1 0x01;\n"
         "RDTCBS_2000 0x18 0 DtcList \"#list 1 3\" 2 Code 1 0x02 Status 1 0x01;\n"
         "RSODTC_2000 0x17 0 DtcStatus 1 S 1 0x01;\n"
         "SODTCRQ_2000 0x18 0x02 Pending 0;\n"
         "SODTCRQ_2000 0x17 0x03 NotFor17 0;\n"
         "GODTC_2000 0x18 0xFF00 AllGroups 0;\n"
         "GODTC_2000 0x14 0xFF00 ClearAll 0;\n"
         "GODTC_2000 0x17 0x0120 P0120 0;\n"
         "GODTC_2000 0x19 1 Other 0;\n"
         "rdbli_2000 0x21 2 Lower 0;\n"
         "Short 1 2;\n"
         "RDBLI_2000 0x21 3 Broken 2 A 1 0x01;\n"}},
       {"File read: @/Def/main.def", "RDBLI_2000 : Engine", "RDBCI_2000 : Dynamic",
        "REI_2000 : Vin", "REI_2000 : HwNr", "REI_2000 : SwNr", "Not recognized : Wrong",
        "RDTCBS_2000 : DtcList", "RSODTC_2000 : DtcStatus", "SODTCRQ_2000 : Pending",
        "Not recognized : NotFor17", "GODTC_2000, 18 : AllGroups", "GODTC_2000, 14 : ClearAll",
        "GODTC_2000, 17 : P0120", "Not recognized : Other", "Not recognized : Lower",
        "Not recognized : ERROR Description not valid", "RDBLI_2000 : ERROR Broken"},
       {"files: @/Def/main.def", "ReadAll: Engine | Dynamic | ERROR Broken",
        "ItemsReadAll: Speed () | Temp (\u00B0C) | Volt (V) | A (not valid) | "
        "No name + scalingbytecount (not valid)",
        "Ident: Vin | HwNr | SwNr", "grid: VIN | Hw | Sw | Cal", "ByStatus: DtcList",
        "StatusOfDtc: DtcStatus", "Status18: Pending=2", "Group18: AllGroups=65280",
        "Group14: ClearAll=65280", "Group17: P0120=288"},
       ""},
      {"clear",
       {{"main.def",
         "REI_2000 0x1A 1 First 1 A 1 0x01;\nRDBLI_2000 0x21 1 G1 1 B 1 0x01;\n"
         "#clear ReadId_2000;\n#clear ReadData_2000;\n#clear readid_2000;\n"
         "REI_2000 0x1A 2 Second 1 C 1 0x01;\nRDBLI_2000 0x21 2 G2 1 D 1 0x01;\n"}},
       {"File read: @/Def/main.def", "REI_2000 : First", "RDBLI_2000 : G1", "clear: REI_2000",
        "clear: ListBoxReadAll->Items", "clear, not known: readid_2000", "REI_2000 : Second",
        "RDBLI_2000 : G2"},
       {"files: @/Def/main.def", "ReadAll: G2", "ItemsReadAll: D ()", "Ident: Second", "grid: C"},
       ""},
      {"missing file", {}, {"File: @/Def/main.def does not excist"}, {}, ""},
      StopsAt("include without name", "#include;", "List index out of bounds (1)"),
      StopsAt("define without key", "#define;", "List index out of bounds (1)"),
      StopsAt("define without value", "#define Port;", "List index out of bounds (2)"),
      StopsAt("define non-number", "#define inittype five;", "'five' is not a valid integer value"),
      StopsAt("list without name", "#list;", "List index out of bounds (1)"),
      StopsAt("list without id", "#list Only;", "List index out of bounds (2)", {"lists: Only{}"}),
      StopsAt("list non-number", "#list L 1x y;", "'1x' is not a valid integer value",
              {"lists: L{}"}),
      StopsAt("clearlist without name", "#clearlist;", "List index out of bounds (1)"),
      StopsAt("clear without target", "#clear;", "List index out of bounds (1)"),
      StopsAt("description non-number", "RDBLI_2000 0xZZ 1 T 0;",
              "'0xZZ' is not a valid integer value"),
      StopsAt("record option without words", "RDBLI_2000 0x21 1 T \"#list 1\" 0;",
              "List index out of bounds (2)"),
      {"error in an included file",
       {{"main.def", "#include bad.def;\nREI_2000 0x1A 1 After 1 Z 1 0x01;\n"},
        {"bad.def", "RDBLI_2000 0x21 1 Group 1 Speed 1 0x01;\n#clear;\nREI_2000 0x1A 2 T 0;\n"}},
       {"File read: @/Def/main.def", "File read: @/Def/bad.def", "RDBLI_2000 : Group"},
       {"files: @/Def/main.def | @/Def/bad.def", "ReadAll: Group", "ItemsReadAll: Speed ()"},
       "List index out of bounds (1)"},
      CannotOpen("socket", "sock.def", {{"sock.def", "<socket>"}}),
      CannotOpen("FIFO without writer", "fifo.def", {{"fifo.def", "<fifo>"}}),
      CannotOpen("endless device", "/dev/zero"),
      {"1 MB lines",
       {{"main.def", "%" + megabyte + "\nRDBLI_2000 0x21 1 Group 1 Speed 1 0x01;\n#list Big 1 " +
                         megabyte + ";\nREI_2000 0x1A 1 " + megabyte + "\n"}},
       {"File read: @/Def/main.def", "RDBLI_2000 : Group", "list: Big, id: 0001"},
       {"files: @/Def/main.def", "lists: Big{1:" + megabyte + "}", "ReadAll: Group",
        "ItemsReadAll: Speed ()"},
       ""},
      {"binary garbage",
       {{"main.def", std::string("\x00\x01\xFF\xFE;\n\x7F#\x80\x00;\n#\x00list X 1;\n\x1B;\n", 27) +
                         "#list L 0x7F \x01\x02 \x03;\n"}},
       {"File read: @/Def/main.def", "Not recognized : ERROR Description not valid",
        "Not recognized : ERROR Description not valid", "list: L, id: 007F"},
       {"files: @/Def/main.def", "lists: L{127:no text}"},
       ""},
      {"invalid UTF-8 and Windows-1252 bytes",
       {{"main.def",
         "#list Bytes 1 \xC3\x28 \xE2\x82 \x80\x81\x8D\x8F\x90\x9D \xC3\xA9;\n"
         "RDBLI_2000 0x21 1 \xB0\xFF 1 \xE4 3 0x01 0xA0 0x17;\n"}},
       {"File read: @/Def/main.def", "list: Bytes, id: 0001", "RDBLI_2000 : \u00B0\u00FF"},
       {"files: @/Def/main.def",
        "lists: Bytes{1:\u00C3(/\u00E2\u201A/\u20AC\u0081\u008D\u008F\u0090\u009D/"
        "\u00C3\u00A9}",
        "ReadAll: \u00B0\u00FF", "ItemsReadAll: \u00E4 (\u00B0C)"},
       ""},
  };
  return cases;
}

TEST(DefinitionLoad, GoldenFiles) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    for (const auto& [name, text] : c.files)
      folder.Write(name, text);
    Window w(folder.DefDir());
    w.readSel.AddObject("stale group", 0);
    w.itemsAll.AddObject("stale item", 0);
    // A second load of the same file frees the first one's definitions and gives the same.
    for (int load = 0; load < 2; ++load) {
      w.log.Clear();
      w.settings.calls.clear();
      std::string error;
      try {
        w.defs.Load(folder.DefDir() + "main.def");
      } catch (const plat::Exception& e) {
        error = folder.Collapse(e.what());
      }
      Texts log;
      for (const std::string& line : w.log.Lines())
        log.push_back(folder.Collapse(line));
      EXPECT_EQ(log, c.log);
      EXPECT_THAT(State(w, folder), testing::UnorderedElementsAreArray(c.state));
      EXPECT_EQ(error, c.error);
      ExpectConsistent(w);
    }
  }
}

TEST(DefinitionLoad, ItemLinesFollowTheGroupSelection) {
  TDataDescription engine("RDBLI_2000 0x21 1 Engine 2 Speed 1 0x01 Temp 3 0x01 0xA0 0x17", nullptr);
  TDataDescription volt("RDBLI_2000 0x21 2 Volt 1 Battery 3 0x01 0xA0 0x0E", nullptr);
  FakeListBox groups, items;
  groups.AddObject("Engine", reinterpret_cast<intptr_t>(&engine));
  groups.AddObject("Volt", reinterpret_cast<intptr_t>(&volt));
  groups.SetSelected(0, true);
  items.AddObject("old", 0);
  ShowGroupItems(groups, items);
  using Entry = FakeListBox::Entry;
  EXPECT_EQ(
      items.entries,
      (std::vector<Entry>{{"Speed ()", reinterpret_cast<intptr_t>(engine.Objects(0)), true},
                          {"Temp (\u00B0C)", reinterpret_cast<intptr_t>(engine.Objects(1)), true},
                          {"Battery (V)", reinterpret_cast<intptr_t>(volt.Objects(0)), false}}));
}

}  // namespace
