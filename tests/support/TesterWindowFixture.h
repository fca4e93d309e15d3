// A tester window on the simulated interface, in a working directory of its own: what the
// window tests of both programs share.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimulatedFtdi.h"
#include "tester/RadioGroup.h"
#include "tester/VersionInformation.h"
#include "tests/ui/QtTestEnvironment.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Chart.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

#include <QLineSeries>

namespace windowtest {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A fresh working directory with an empty Def/ directory, current while it exists.
class ScopedWorkingDirectory {
 public:
  ScopedWorkingDirectory() : previous_(std::filesystem::current_path()) {
    static int count = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("quobrix-window-" + std::to_string(getpid()) + "-" + std::to_string(++count));
    std::filesystem::create_directories(path_ / "Def");
    std::filesystem::current_path(path_);
  }
  ~ScopedWorkingDirectory() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  std::string Path() const { return path_.string() + "/"; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// One control as the window shows it at start.
struct ControlRow {
  const char* page;  // tab caption, or "" above the tabs
  const char* name;
  const char* shows;  // caption, text, or title with items and chosen index
  int tag;
  const char* state;  // "", "hidden" (invisible and disabled) or "disabled"
};

// What a control shows: a radio group's title, items and choice, a check box's caption and
// state, a caption, an edit's text and mask, a combo box's items and text.
inline std::string Shows(QWidget& control) {
  if (auto* group = dynamic_cast<tester::RadioGroup*>(&control)) {
    std::string text = group->title().toStdString() + ":";
    for (int i = 0; i < group->Count(); ++i)
      text += (i ? "|" : " ") + group->Item(i);
    return text + " #" + std::to_string(group->ItemIndex());
  }
  if (auto* box = dynamic_cast<QCheckBox*>(&control))
    return box->text().toStdString() + (box->isChecked() ? " [x]" : " [ ]");
  if (auto* button = dynamic_cast<QAbstractButton*>(&control)) return button->text().toStdString();
  if (auto* edit = dynamic_cast<QLineEdit*>(&control)) {
    const std::string mask = edit->inputMask().toStdString();
    return edit->text().toStdString() + (mask.empty() ? "" : " " + mask);
  }
  if (auto* label = dynamic_cast<QLabel*>(&control)) return label->text().toStdString();
  if (auto* combo = dynamic_cast<QComboBox*>(&control)) {
    std::string text;
    for (int i = 0; i < combo->count(); ++i)
      text += (i ? "|" : "") + combo->itemText(i).toStdString();
    return text + " = " + combo->currentText().toStdString();
  }
  return "";
}

// The tab page that holds the control, or null above the tabs.
inline QWidget* PageOf(QTabWidget& pages, QWidget& control) {
  for (int i = 0; i < pages.count(); ++i)
    if (pages.widget(i)->isAncestorOf(&control)) return pages.widget(i);
  return nullptr;
}

inline std::string StateOf(QWidget& control, QWidget& container) {
  if (!control.isVisibleTo(&container))
    return control.isEnabled() ? "invisible but enabled" : "hidden";
  return control.isEnabled() ? "" : "disabled";
}

template <class Form>
class TesterWindow : public ::testing::Test {
 protected:
  void SetUp() override { uitest::App(); }

  void Open(tester::TVersionLookup lookup = Form::CompiledVersion) {
    form = std::make_unique<Form>(std::move(lookup));
  }
  template <class T = QWidget>
  T& Control(const char* name) {
    T* control = form->template findChild<T*>(name);
    if (!control) throw std::logic_error(std::string("no control ") + name);
    return *control;
  }
  Lines Log() {
    auto& memo = Control<ui::ActivityLogMemo>("Memo1");
    Lines lines;
    for (int i = 0; i < memo.LineCount(); ++i)
      lines.push_back(memo.Line(i));
    return lines;
  }
  bool Logged(const std::string& line) {
    const Lines lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  static bool ServeUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  void Click(const char* name) { Control<QAbstractButton>(name).click(); }
  void SetText(const char* name, const char* text) { Control<QLineEdit>(name).setText(text); }
  bool AwaitIdle() {
    return ServeUntil([this] { return form->CommThread() == nullptr; }, 15000);
  }
  Bytes TesterBytes() {
    simulation.Bus().Drain();
    Bytes bytes;
    for (const sim::LineEvent& event : simulation.Bus().Trace())
      if (event.kind == sim::LineEventKind::TesterByte) bytes.push_back(event.value);
    return bytes;
  }
  bool Sent(const Bytes& frame) {
    const Bytes bytes = TesterBytes();
    return std::search(bytes.begin(), bytes.end(), frame.begin(), frame.end()) != bytes.end();
  }
  // The window is idle: nothing connected, every start and stop control enabled, port closed.
  void ExpectIdle() {
    EXPECT_EQ(form->CommThread(), nullptr);
    for (const char* name :
         {"ComboBoxComPort", "CheckBoxSetDTR", "CheckBoxRcvEcho", "ButtonStartComm2000",
          "ButtonStartComplete", "ButtonStopComm2000", "ButtonStopAll"})
      EXPECT_TRUE(Control(name).isEnabled()) << name;
    EXPECT_FALSE(simulation.Ftdi().State().open);
  }

  ui::ListBox& List(const char* name) { return Control<ui::ListBox>(name); }
  ui::StringGrid& Grid(const char* name) { return Control<ui::StringGrid>(name); }
  // Selects these entries only and clicks the list box.
  void ClickEntries(const char* name, std::vector<int> rows) {
    ui::ListBox& box = List(name);
    box.clearSelection();
    for (int row : rows)
      box.SetSelected(row, true);
    emit box.clicked(box.model()->index(rows.empty() ? 0 : rows.front(), 0));
  }
  void SelectGroups(std::vector<int> rows) {
    ClickEntries("ListBoxReadAll", rows);
    Click("ButtonSelect");
  }
  int ChartPoints() {
    auto& chart = Control<ui::Chart>("Chart1");
    return chart.SeriesCount() == 0 ? 0 : static_cast<int>(chart.DrawnPoints(0).size());
  }
  static Lines Texts(const ui::ListBox& box) {
    Lines texts;
    for (int i = 0; i < box.Count(); ++i)
      texts.push_back(box.Text(i));
    return texts;
  }
  static std::vector<std::string> Column(ui::StringGrid& grid, int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < grid.RowCount(); ++row)
      cells.push_back(grid.Cell(column, row));
    return cells;
  }

  // Each control of `rows` on its page, showing what the row says, with its tag and state.
  template <size_t N>
  void ExpectControls(const ControlRow (&rows)[N]) {
    auto& pages = Control<QTabWidget>("PageControl1");
    for (const ControlRow& row : rows) {
      SCOPED_TRACE(row.name);
      QWidget& control = Control(row.name);
      QWidget* page = PageOf(pages, control);
      EXPECT_EQ(page ? pages.tabText(pages.indexOf(page)).toStdString() : "", row.page);
      EXPECT_EQ(Shows(control), row.shows);
      EXPECT_EQ(control.property("Tag").toInt(), row.tag);
      EXPECT_EQ(StateOf(control, page ? *page : *form->centralWidget()), row.state);
    }
  }
  // Shows the window and saves each tab to `prefix` + its number + ".png".
  void SaveTabScreenshots(const std::string& prefix) {
    form->show();
    auto& pages = Control<QTabWidget>("PageControl1");
    for (int i = 0; i < pages.count(); ++i) {
      pages.setCurrentIndex(i);
      // Grid rows grow to their text after a first painting.
      form->grab();
      QCoreApplication::processEvents();
      const std::string file = prefix + std::to_string(i + 1) + ".png";
      EXPECT_TRUE(form->grab().save(QString::fromStdString(file)));
    }
  }

  ScopedWorkingDirectory directory;
  sim::ScopedSimulation simulation;
  uitest::MessageBoxRecorder boxes;
  std::unique_ptr<Form> form;
};

}  // namespace windowtest
