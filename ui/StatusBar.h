// A status bar made of fixed-width text panels.
#pragma once

#include <QStatusBar>
#include <string>
#include <vector>

#include "measurement/DisplayTargets.h"

class QLabel;

namespace ui {

class StatusBar final : public QStatusBar, public TStatusBar {
 public:
  StatusBar(int panels, int panelWidth, QWidget* parent = nullptr);

  // Throw EListError "List index out of bounds (<panel>)" for a panel that does not exist.
  void SetPanelText(int panel, const std::string& text) override;
  std::string PanelText(int panel) const;

 private:
  QLabel* Panel(int panel) const;

  std::vector<QLabel*> panels_;  // owned by the status bar as its widgets
};

}  // namespace ui
