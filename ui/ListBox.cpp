#include "ui/ListBox.h"

#include "platform/Exceptions.h"

namespace ui {

namespace {
constexpr int kObjectRole = Qt::UserRole;
}

ListBox::ListBox(bool multiSelect, QWidget* parent) : QListWidget(parent) {
  setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                               : QAbstractItemView::SingleSelection);
}

void ListBox::AddObject(const std::string& text, intptr_t object) {
  auto* entry = new QListWidgetItem(QString::fromStdString(text));
  entry->setData(kObjectRole, QVariant::fromValue<qlonglong>(object));
  addItem(entry);
}

QListWidgetItem* ListBox::Entry(int index) const {
  if (index < 0 || index >= count()) plat::ThrowListIndexError(index);
  return item(index);
}

std::string ListBox::Text(int index) const {
  return Entry(index)->text().toStdString();
}

intptr_t ListBox::Object(int index) const {
  return static_cast<intptr_t>(Entry(index)->data(kObjectRole).toLongLong());
}

bool ListBox::Selected(int index) const {
  return Entry(index)->isSelected();
}

void ListBox::SetSelected(int index, bool selected) {
  Entry(index)->setSelected(selected);
}

}  // namespace ui
