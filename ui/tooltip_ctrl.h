#pragma once
// The tooltips of one window: a short text per button, in the interface
// language, shown when the mouse rests on the button. The window registers
// each button once; its text can be replaced later.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

namespace ui {

class CToolTipCtrl : public QObject {
  Q_OBJECT

 public:
  explicit CToolTipCtrl(QObject* parent = nullptr);

  // Ties the tooltips to the window that owns them (the window does not take
  // ownership of this object: make it a member of the window).
  bool Create(QWidget* owner);
  // An inactive control shows no tips; it starts inactive.
  void Activate(bool active);

  // Registers a tool: the whole widget, with its own copy of the (UTF-8) text.
  bool AddTool(QWidget* tool, const char* text);
  // Replaces the text of a registered tool.
  void UpdateTipText(const char* text, QWidget* tool);
  // The text registered for a tool (empty when it has none).
  QString GetText(const QWidget* tool) const;
  int GetToolCount() const;

 private:
  void Show(QWidget* tool, const QString& text) const;

  QPointer<QWidget> m_owner;
  std::vector<std::pair<QPointer<QWidget>, QString>> m_tools;  // in registration order
  bool m_bActive = false;
};

}  // namespace ui
