#include "ui/tooltip_ctrl.h"

#include <algorithm>

namespace ui {

CToolTipCtrl::CToolTipCtrl(QObject* parent) : QObject(parent) {}

bool CToolTipCtrl::Create(QWidget* owner) {
  if (owner == nullptr) return false;
  m_owner = owner;
  return true;
}

void CToolTipCtrl::Activate(bool active) {
  m_bActive = active;
  for (const auto& [tool, text] : m_tools) {
    if (tool) Show(tool, text);
  }
}

bool CToolTipCtrl::AddTool(QWidget* tool, const char* text) {
  if (tool == nullptr) return false;
  const QString copy = QString::fromUtf8(text != nullptr ? text : "");
  auto it = std::find_if(m_tools.begin(), m_tools.end(), [tool](const auto& t) { return t.first == tool; });
  if (it != m_tools.end()) {
    it->second = copy;
  } else {
    m_tools.emplace_back(tool, copy);
  }
  Show(tool, copy);
  return true;
}

void CToolTipCtrl::UpdateTipText(const char* text, QWidget* tool) {
  auto it = std::find_if(m_tools.begin(), m_tools.end(), [tool](const auto& t) { return t.first == tool; });
  if (it == m_tools.end() || tool == nullptr) return;
  it->second = QString::fromUtf8(text != nullptr ? text : "");
  Show(tool, it->second);
}

QString CToolTipCtrl::GetText(const QWidget* tool) const {
  auto it = std::find_if(m_tools.begin(), m_tools.end(), [tool](const auto& t) { return t.first == tool; });
  return it == m_tools.end() ? QString() : it->second;
}

int CToolTipCtrl::GetToolCount() const {
  return static_cast<int>(std::count_if(m_tools.begin(), m_tools.end(), [](const auto& t) { return !t.first.isNull(); }));
}

void CToolTipCtrl::Show(QWidget* tool, const QString& text) const {
  // Qt shows a widget's tooltip when the mouse rests on it, with the
  // platform's delays and look.
  tool->setToolTip(m_bActive ? text : QString());
  // A button that shows a picture has no words of its own: a screen reader
  // tells what the tooltip tells, whether the tips are active or not.
  tool->setAccessibleName(text);
  tool->setAccessibleDescription(text);
}

}  // namespace ui
