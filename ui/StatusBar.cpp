#include "ui/StatusBar.h"

#include <QLabel>

#include "platform/Exceptions.h"

namespace ui {

StatusBar::StatusBar(int panels, int panelWidth, QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  for (int i = 0; i < panels; ++i) {
    auto* label = new QLabel(this);
    label->setFixedWidth(panelWidth);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    addWidget(label);
    panels_.push_back(label);
  }
}

QLabel* StatusBar::Panel(int panel) const {
  if (panel < 0 || panel >= static_cast<int>(panels_.size())) plat::ThrowListIndexError(panel);
  return panels_[panel];
}

void StatusBar::SetPanelText(int panel, const std::string& text) {
  Panel(panel)->setText(QString::fromStdString(text));
}

std::string StatusBar::PanelText(int panel) const {
  return Panel(panel)->text().toStdString();
}

}  // namespace ui
