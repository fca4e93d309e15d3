#include "tester/RadioGroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tester {

RadioGroup::RadioGroup(const std::string& title, const std::vector<std::string>& items,
                       QWidget* parent)
    : QGroupBox(QString::fromStdString(title), parent), buttons_(new QButtonGroup(this)) {
  auto* layout = new QVBoxLayout(this);
  for (const std::string& item : items) {
    auto* button = new QRadioButton(QString::fromStdString(item), this);
    buttons_->addButton(button, buttons_->buttons().size());
    layout->addWidget(button);
  }
  layout->addStretch();
}

int RadioGroup::Count() const {
  return static_cast<int>(buttons_->buttons().size());
}

std::string RadioGroup::Item(int index) const {
  QAbstractButton* button = buttons_->button(index);
  return button ? button->text().toStdString() : std::string();
}

int RadioGroup::ItemIndex() const {
  return buttons_->checkedId();
}

void RadioGroup::SetItemIndex(int index) {
  index = std::clamp(index, -1, Count() - 1);
  if (index >= 0) {
    buttons_->button(index)->setChecked(true);
    return;
  }
  // An exclusive group keeps one button checked; unchecking needs the exclusivity off.
  if (QAbstractButton* checked = buttons_->checkedButton()) {
    buttons_->setExclusive(false);
    checked->setChecked(false);
    buttons_->setExclusive(true);
  }
}

}  // namespace tester
