// A list box whose entries carry an object each (kept as item data), with single or multiple
// selection.
#pragma once

#include <QListWidget>
#include <string>

#include "measurement/DisplayTargets.h"

namespace ui {

class ListBox final : public QListWidget, public TListBox {
 public:
  explicit ListBox(bool multiSelect, QWidget* parent = nullptr);

  void AddObject(const std::string& text, intptr_t object) override;
  int Count() const override { return count(); }
  // The accessors below throw EListError "List index out of bounds (<index>)" outside the list.
  std::string Text(int index) const override;
  intptr_t Object(int index) const override;
  bool Selected(int index) const override;
  void SetSelected(int index, bool selected) override;
  void Clear() override { clear(); }

 private:
  QListWidgetItem* Entry(int index) const;
};

}  // namespace ui
