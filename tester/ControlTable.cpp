#include "tester/ControlTable.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <algorithm>

#include "tester/EditMask.h"
#include "tester/RadioGroup.h"
#include "ui/ActivityLogMemo.h"
#include "ui/Chart.h"
#include "ui/ListBox.h"
#include "ui/StringGrid.h"

namespace tester {

namespace {

constexpr const char* kTagProperty = "Tag";
constexpr int kCaptionHeight = 16;  // a caption sits this far above its control
constexpr int kLargeTextPixels = 48;
constexpr int kGridSize = 3;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// A K-line with a wake-up pattern and a few bytes, for the About tab.
QPixmap KLinePicture() {
  QPixmap picture(240, 120);
  picture.fill(Qt::black);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0, 200, 255), 3));
  const int high = 30;
  const int low = 90;
  QPainterPath wave(QPointF(0, high));
  const int edges[] = {20, 45, 70, 85, 100, 115, 125, 150, 160, 175, 200, 215, 225};
  bool isHigh = true;
  for (int x : edges) {
    wave.lineTo(x, isHigh ? high : low);
    isHigh = !isHigh;
    wave.lineTo(x, isHigh ? high : low);
  }
  wave.lineTo(240, isHigh ? high : low);
  painter.drawPath(wave);
  return picture;
}

QWidget* MakeControl(const ControlSpec& spec) {
  switch (spec.kind) {
    case ControlKind::Button:
      return new QPushButton(Text(spec.caption));
    case ControlKind::GlyphButton: {
      auto* button = new QPushButton(Text(spec.caption));
      button->setIcon(button->style()->standardIcon(QStyle::SP_DialogOpenButton));
      return button;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox;
      combo->setEditable(true);
      for (const std::string& item : spec.items)
        combo->addItem(Text(item));
      if (!spec.text.empty()) {
        // The initial text chooses its item when the list has it.
        const int item = combo->findText(Text(spec.text));
        if (item >= 0)
          combo->setCurrentIndex(item);
        else
          combo->setEditText(Text(spec.text));
      }
      if (spec.dropDownRows > 0) combo->setMaxVisibleItems(spec.dropDownRows);
      return combo;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(Text(spec.caption));
      box->setChecked(spec.checked);
      return box;
    }
    case ControlKind::RadioGroup: {
      auto* group = new RadioGroup(spec.caption, spec.items);
      group->SetItemIndex(spec.itemIndex);
      return group;
    }
    case ControlKind::MaskEdit:
    case ControlKind::Edit: {
      auto* edit = new QLineEdit;
      if (spec.kind == ControlKind::MaskEdit) edit->setInputMask(TranslateEditMask(spec.mask));
      edit->setText(Text(spec.text));
      // Room for the text and a few characters more.
      const int characters = static_cast<int>(std::max(spec.text.size(), size_t{4})) + 3;
      edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance('0') * characters);
      return edit;
    }
    case ControlKind::Label:
    case ControlKind::BoldLabel:
    case ControlKind::LargeText: {
      auto* label = new QLabel(Text(spec.caption));
      QFont font = label->font();
      if (spec.kind != ControlKind::Label) font.setBold(true);
      if (spec.kind == ControlKind::LargeText) font.setPixelSize(kLargeTextPixels);
      label->setFont(font);
      return label;
    }
    case ControlKind::ListBox:
    case ControlKind::MultiSelectListBox:
      return new ui::ListBox(spec.kind == ControlKind::MultiSelectListBox);
    case ControlKind::StringGrid:
      return new ui::StringGrid(kGridSize, kGridSize);
    case ControlKind::Chart:
      return new ui::Chart;
    case ControlKind::Memo: {
      auto* memo = new ui::ActivityLogMemo;
      for (const std::string& line : spec.items)
        memo->AddLine(line);
      return memo;
    }
    case ControlKind::Image: {
      auto* image = new QLabel;
      image->setPixmap(KLinePicture());
      return image;
    }
    case ControlKind::Panel:
      return new QWidget;
  }
  return nullptr;
}

// Lists, grids, memos and charts take the room their page has; other controls their own size.
bool Expands(ControlKind kind) {
  switch (kind) {
    case ControlKind::ListBox:
    case ControlKind::MultiSelectListBox:
    case ControlKind::StringGrid:
    case ControlKind::Chart:
    case ControlKind::Memo:
      return true;
    default:
      return false;
  }
}

// Radio groups and combo boxes fill the width of their cell; the other small controls keep
// their own width, left-aligned.
bool FillsCellWidth(ControlKind kind) {
  return Expands(kind) || kind == ControlKind::RadioGroup || kind == ControlKind::ComboBox;
}

// The control with its caption above it.
QWidget* WithCaption(QWidget* control, const ControlSpec& spec) {
  auto* frame = new QWidget;
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* caption = new QLabel(Text(spec.label));
  caption->setObjectName(Text(spec.labelName));
  caption->setFixedHeight(kCaptionHeight);
  caption->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  layout->addWidget(caption);
  layout->addWidget(control, Expands(spec.kind) ? 1 : 0);
  if (!Expands(spec.kind)) layout->addStretch();
  return frame;
}

// A small control sits at the bottom of its cell, level with an edit that has a caption above
// it; a panel starts at the top.
Qt::Alignment AlignmentOf(ControlKind kind) {
  if (FillsCellWidth(kind)) return {};
  return Qt::AlignLeft | (kind == ControlKind::Panel ? Qt::AlignTop : Qt::AlignBottom);
}

// The grid of a page or a panel.
struct Grid {
  QGridLayout* layout;
  bool rowStretched = false;
  bool columnStretched = false;
  int rows = 0;
  int columns = 0;
};

// Grids without a control that takes the room keep their controls at the top left.
void PackTopLeft(Grid& grid) {
  if (!grid.rowStretched) grid.layout->setRowStretch(grid.rows, 1);
  if (!grid.columnStretched) grid.layout->setColumnStretch(grid.columns, 1);
}

void Place(Grid& grid, QWidget* frame, const ControlSpec& spec) {
  const Cell& cell = spec.cell;
  const Qt::Alignment alignment = spec.alignment ? spec.alignment : AlignmentOf(spec.kind);
  grid.layout->addWidget(frame, cell.row, cell.column, cell.rowSpan, cell.columnSpan, alignment);
  // A hidden control takes no room, so it takes no share of the spare room either.
  if (Expands(spec.kind) && !spec.hidden) {
    grid.layout->setRowStretch(cell.row + cell.rowSpan - 1, 1);
    grid.rowStretched = true;
    if (spec.width == 0) {
      grid.layout->setColumnStretch(cell.column + cell.columnSpan - 1, 1);
      grid.columnStretched = true;
    }
  }
  grid.rows = std::max(grid.rows, cell.row + cell.rowSpan);
  grid.columns = std::max(grid.columns, cell.column + cell.columnSpan);
}

}  // namespace

ControlTable MergeControls(ControlTable base, const ControlTable& changes) {
  for (const ControlSpec& change : changes) {
    auto same = std::find_if(base.begin(), base.end(), [&](const ControlSpec& spec) {
      return !change.name.empty() && spec.name == change.name;
    });
    if (same != base.end())
      *same = change;
    else
      base.push_back(change);
  }
  return base;
}

ControlSpec RowOf(const ControlTable& table, std::string_view name) {
  const auto row = std::find_if(table.begin(), table.end(),
                                [name](const ControlSpec& spec) { return spec.name == name; });
  if (row == table.end()) throw std::logic_error("no control row " + std::string(name));
  return *row;
}

QWidget* Controls::Find(std::string_view name) const {
  const auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : found->second.control;
}

void Controls::SetShown(std::string_view name, bool shown) const {
  const auto found = entries_.find(name);
  if (found == entries_.end()) throw std::logic_error("no control " + std::string(name));
  found->second.frame->setVisible(shown);
  found->second.control->setVisible(shown);
  found->second.control->setEnabled(shown);
}

Controls BuildControls(const ControlTable& table, QBoxLayout& topRow, QTabWidget& pages) {
  constexpr int kPageColumnSpacing = 16;
  std::vector<Grid> pageGrids;
  for (const char* caption : kTabCaptions) {
    auto* page = new QWidget;
    pageGrids.push_back({new QGridLayout(page)});
    pageGrids.back().layout->setHorizontalSpacing(kPageColumnSpacing);
    pages.addTab(page, caption);
  }
  std::map<std::string, Grid> panelGrids;
  std::vector<std::pair<int, QWidget*>> topRowControls;
  Controls controls;
  for (const ControlSpec& spec : table) {
    QWidget* control = MakeControl(spec);
    control->setObjectName(Text(spec.name));
    control->setProperty(kTagProperty, spec.tag);
    if (spec.disabled) control->setEnabled(false);
    if (spec.width > 0) control->setFixedWidth(spec.width);
    QWidget* frame = spec.label.empty() ? control : WithCaption(control, spec);
    if (!spec.panel.empty())
      Place(panelGrids.at(spec.panel), frame, spec);
    else if (spec.page == Page::TopRow)
      topRowControls.emplace_back(spec.cell.column, frame);
    else
      Place(pageGrids[static_cast<int>(spec.page) - 1], frame, spec);
    if (spec.kind == ControlKind::Panel) {
      auto* layout = new QGridLayout(control);
      layout->setContentsMargins(0, 0, 0, 0);
      panelGrids[spec.name] = {layout};
    }
    if (!spec.name.empty()) controls.entries_[spec.name] = {control, frame};
    if (spec.hidden) {
      frame->setVisible(false);
      control->setVisible(false);
      control->setEnabled(false);
    }
  }
  std::stable_sort(topRowControls.begin(), topRowControls.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [column, frame] : topRowControls)
    topRow.addWidget(frame, qobject_cast<QComboBox*>(frame) ? 1 : 0);
  for (Grid& grid : pageGrids)
    PackTopLeft(grid);
  for (auto& [name, grid] : panelGrids)
    PackTopLeft(grid);
  return controls;
}

int Tag(const QObject& control) {
  return control.property(kTagProperty).toInt();
}

}  // namespace tester
