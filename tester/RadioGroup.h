// A radio group: a titled frame of radio buttons of which at most one is chosen. The item index
// is the chosen button's position, or -1 when none is chosen.
#pragma once

#include <QGroupBox>
#include <string>
#include <vector>

class QButtonGroup;

namespace tester {

class RadioGroup final : public QGroupBox {
 public:
  RadioGroup(const std::string& title, const std::vector<std::string>& items,
             QWidget* parent = nullptr);

  int Count() const;
  std::string Item(int index) const;
  int ItemIndex() const;
  // An index below -1 chooses none (-1), one beyond the last item chooses the last item.
  void SetItemIndex(int index);

 private:
  QButtonGroup* buttons_;  // owned by the group box
};

}  // namespace tester
