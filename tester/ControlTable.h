// The declarative description of a window's controls and the builder that turns it into Qt
// widgets in grid layouts: one row per control with its page, object name, kind, caption or
// items, initial text, edit mask, tag, state and grid cell. Handlers find the controls by object
// name.
#pragma once

#include <QWidget>
#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class QBoxLayout;
class QTabWidget;

namespace tester {

// Where a control lives: the row of controls above the tabs, or one of the seven tabs.
enum class Page {
  TopRow,
  Connect,
  Identification,
  Diagnose,
  RealtimeSelect,
  RealtimeGraph,
  MiscAndDebug,
  About
};

// Captions of the tabs, in the order of the pages after the top row.
inline constexpr std::array<const char*, 7> kTabCaptions{
    "Connect",        "Identification", "Diagnose", "Realtime Select",
    "Realtime Graph", "Misc and Debug", "About"};

enum class ControlKind {
  Button,
  GlyphButton,  // a button with a picture before its caption
  ComboBox,     // editable
  CheckBox,
  RadioGroup,  // tester::RadioGroup: caption is its title, items its buttons
  MaskEdit,    // QLineEdit with the input mask translated from `mask`
  Edit,        // QLineEdit
  Label,
  BoldLabel,
  ListBox,             // ui::ListBox, one line selectable
  MultiSelectListBox,  // ui::ListBox, several lines selectable
  StringGrid,          // ui::StringGrid of 3 columns and 3 rows
  Chart,               // ui::Chart
  Memo,                // ui::ActivityLogMemo, read-only, items are its lines
  LargeText,           // a label in a large font
  Image,               // a picture
  Panel,               // a borderless area with a grid of its own for the controls that name it
};

// Position in the grid of the control's panel or page (in the top row only the column counts).
struct Cell {
  int row = 0;
  int column = 0;
  int rowSpan = 1;
  int columnSpan = 1;
};

struct ControlSpec {
  Page page = Page::TopRow;
  std::string panel{};  // the panel that holds the control (listed before it); empty: the page
  std::string name{};   // object name; empty for a caption nobody refers to
  ControlKind kind = ControlKind::Label;
  std::string caption{};             // button, check box, label; title of a radio group
  std::vector<std::string> items{};  // radio items, combo items, memo lines
  std::string text{};                // initial text of an edit or a combo box
  std::string mask{};                // edit mask of a masked edit
  int itemIndex = -1;                // chosen radio item
  bool checked = false;
  int tag = 0;
  bool hidden = false;      // not visible and disabled
  bool disabled = false;    // visible but disabled
  int dropDownRows = 0;     // combo box rows shown dropped down (0: Qt's default)
  int width = 0;            // fixed width in pixels (0: the control's own)
  std::string label{};      // caption shown above the control
  std::string labelName{};  // object name of that caption
  Cell cell{};
  Qt::Alignment alignment{};  // in the cell; none: the kind's usual place
};

using ControlTable = std::vector<ControlSpec>;

// `base` with every row of `changes` replacing the row of the same name, or appended when no
// row has that name. So a variant window's table states only its differences.
ControlTable MergeControls(ControlTable base, const ControlTable& changes);

// A copy of the row of `name` in `table`, for a variant window to change; a missing row is a
// programming error (std::logic_error).
ControlSpec RowOf(const ControlTable& table, std::string_view name);

// The controls a builder made, by object name.
class Controls {
 public:
  // Null when no control has that name.
  QWidget* Find(std::string_view name) const;
  template <class T>
  T& Get(std::string_view name) const {
    auto* control = dynamic_cast<T*>(Find(name));
    if (!control) throw std::logic_error("no control " + std::string(name) + " of that kind");
    return *control;
  }
  // Shown: visible and enabled; hidden: invisible and disabled. A caption above it goes along.
  void SetShown(std::string_view name, bool shown) const;

 private:
  friend Controls BuildControls(const ControlTable&, QBoxLayout&, QTabWidget&);
  struct Entry {
    QWidget* control;  // owned by the window
    QWidget* frame;    // the control with its caption, or the control itself
  };
  std::map<std::string, Entry, std::less<>> entries_;
};

// Builds the rows of `table`: the top-row controls into `topRow`, the others into one page per
// tab caption, added to `pages` here.
Controls BuildControls(const ControlTable& table, QBoxLayout& topRow, QTabWidget& pages);

// The integer tag of a control (0 when it has none).
int Tag(const QObject& control);

}  // namespace tester
