#pragma once
// The small window of a running rescue: which file is being copied, the pass,
// the bytes recovered and still missing, and Cancel. It does not own the
// rescue: Cancel (also Escape and the close box) only asks for its end, and
// the window that started the rescue closes this one when the rescue has
// ended.
//
// RescuePoster is the rescue's listener: it hears the rescue thread and hands
// what it hears to the UI thread without waiting, through queued calls to a
// receiver that the UI thread can let go of at any time (Detach).
#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <map>
#include <mutex>
#include <string>

#include "engine/rescue.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"

namespace ui {

class CRescueDialog : public CTemplateDialog {
  Q_OBJECT

 public:
  enum : int {
    kIdFileLine = 1201,
    kIdFilePath = 1202,
    kIdPassLine = 1203,
    kIdBytesLine = 1204,
    kIdProgress = 1205,
  };

  // shownPaths: for each file's relative path, its path as the error list
  // names it ("D:\FOLDER\FILE", see RescueWindowPath).
  explicit CRescueDialog(std::map<std::string, std::string> shownPaths, QWidget* parent = nullptr);

  // Shows where the rescue is (UI thread).
  void ShowProgress(const engine::RescueProgress& progress);
  // Whether Cancel was asked for.
  bool CancelAsked() const { return m_bCancelAsked; }

 signals:
  // Cancel, Escape or the close box, once.
  void cancelRequested();

 protected:
  bool OnInitDialog() override;
  void OnOK() override;      // Enter does nothing
  void OnCancel() override;  // asks the rescue to end; the window stays until it has

 private:
  std::map<std::string, std::string> m_shownPaths;
  bool m_bCancelAsked = false;
  CToolTipCtrl m_tooltip;
};

// The path of a file of the rescue as the error list names it: the drive and
// its folders joined with backslashes (bytes as they are: the window shows
// them as VisibleText).
std::string RescueWindowPath(char drive, const std::string& relative);

// A path of this system as the window shows it: each name as VisibleText,
// the slashes kept.
std::string ShownNativePath(const std::string& path);

// The end of a rescue as the message box tells it (engine::RescueReportText),
// each file named by its path in shownPaths (by its relative path where it
// has none there), and kept within the box's text buffer by naming fewer
// files per group where needed.
std::string RescueEndText(const engine::RescueReport& report, const std::map<std::string, std::string>& shownPaths);

class RescuePoster;

// The poster's end on the UI thread: a queued call with no arguments wakes
// it, and it takes the poster's pending calls out under the poster's own
// lock (so the hand-over between the threads is ours, not only Qt's queue).
class RescueReceiver : public QObject {
  Q_OBJECT

 public:
  RescueReceiver(std::weak_ptr<RescuePoster> poster, QObject* parent);
  Q_INVOKABLE void Deliver();

 private:
  std::weak_ptr<RescuePoster> poster_;
};

class RescuePoster : public engine::RescueListener, public std::enable_shared_from_this<RescuePoster> {
 public:
  using ProgressFn = std::function<void(const engine::RescueProgress&)>;
  using FinishedFn = std::function<void(const engine::RescueReport&)>;
  // The functions run on the UI thread until Detach, which owner calls
  // before it goes (owner: a QObject of the UI thread). Made on the UI
  // thread.
  static std::shared_ptr<RescuePoster> Create(QObject& owner, ProgressFn progress, FinishedFn finished);

  void Progress(const engine::RescueProgress& progress) override;
  void Finished(const engine::RescueReport& report) override;
  // Nothing more is delivered, also of what was posted already (UI thread).
  void Detach();

 private:
  friend class RescueReceiver;
  RescuePoster(ProgressFn progress, FinishedFn finished);
  // Queues call for the UI thread and wakes it (any thread; never waits).
  void Post(std::function<void()> call);
  // Runs the queued calls (UI thread).
  void Deliver();

  std::mutex m_;
  RescueReceiver* receiver_ = nullptr;  // under m_; null once detached
  std::deque<std::function<void()>> calls_;  // under m_
  const ProgressFn progress_;
  const FinishedFn finished_;
};

}  // namespace ui
