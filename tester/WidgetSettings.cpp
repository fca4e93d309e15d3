#include "tester/WidgetSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "tester/ControlTable.h"
#include "tester/RadioGroup.h"

namespace tester {

void WidgetSettings::SetText(std::string_view control, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (auto* combo = dynamic_cast<QComboBox*>(controls_.Find(control))) {
    combo->setEditText(value);
    return;
  }
  controls_.Get<QLineEdit>(control).setText(value);
}

int WidgetSettings::RadioItemCount(std::string_view control) const {
  return controls_.Get<RadioGroup>(control).Count();
}

void WidgetSettings::SetItemIndex(std::string_view control, int index) {
  controls_.Get<RadioGroup>(control).SetItemIndex(index);
}

void WidgetSettings::SetChecked(std::string_view control, bool checked) {
  controls_.Get<QCheckBox>(control).setChecked(checked);
}

}  // namespace tester
