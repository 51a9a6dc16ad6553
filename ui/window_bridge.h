#pragma once
// Carries the engine's window calls over to the UI thread.
//
// The engine calls its window from the UI thread (Start, the timer) and from
// its own threads (the check thread, the readers). The bridge hands every call
// to the window on the UI thread: directly when the caller is already there,
// otherwise as a queued call. Adding a row, the message box, the Options and
// HandOver block their caller until the UI thread has carried them out. The
// buttons and the title do not: they are queued in order with those. Field
// texts and progress positions do not either: the latest value of each wins
// and is put on the screen at the next frame, always before any queued call
// that came after it, so their order against rows, message boxes and
// HandOver is kept (a queued button may find a newer text already shown).
//
// The gate: once Close has been called (on the UI thread, as the window goes)
// every call does nothing and ShowMessage answers Cancel, callers waiting for
// the UI thread are let go at once, and the window is never touched again.
// No lock is held while a caller waits for the UI thread.
#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/window_gate.h"
#include "engine/window_ops.h"

#include <deque>

class QTimer;

namespace ui {

class WindowBridge;

// The bridge's end on the UI thread: a queued call with no arguments wakes
// it, and it takes the bridge's pending calls out under the bridge's own
// lock (so the hand-over between the threads is ours, not only Qt's queue).
class BridgeReceiver : public QObject {
  Q_OBJECT

 public:
  BridgeReceiver(std::weak_ptr<WindowBridge> bridge, QObject* parent);
  Q_INVOKABLE void Deliver();

 private:
  std::weak_ptr<WindowBridge> bridge_;
};

class WindowBridge : public engine::WindowOps, public std::enable_shared_from_this<WindowBridge> {
 public:
  // target: the window's own operations, carried out on the UI thread;
  // owner: a QObject of the UI thread that lives at least until Close (the
  // bridge's receiver becomes its child). Made on the UI thread.
  static std::shared_ptr<WindowBridge> Create(engine::WindowOps& target, QObject& owner,
                                              std::shared_ptr<engine::WindowGate> gate);
  ~WindowBridge() override;

  void SetFieldText(int id, const std::string& text) override;
  void SetProgress(int id, int position) override;
  int AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) override;
  void ShowButton(int id, bool show) override;
  void EnableButton(int id, bool enable) override;
  void SetTitle(const std::string& title) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned type) override;
  void OpenOptions() override;
  void HandOver(const std::function<void()>& fn) override;

  // The window is going (UI thread). Closes the gate.
  void Close();
  bool IsOpen() const { return gate_->IsOpen(); }

  // Puts pending field texts and positions on the screen now (UI thread).
  void Flush();

  // The shortest time between two screen updates of field texts and positions.
  static constexpr std::chrono::milliseconds kFrame{16};

 private:
  friend class BridgeReceiver;
  WindowBridge(engine::WindowOps& target, std::shared_ptr<engine::WindowGate> gate);
  bool OnUiThread() const;
  // Queues a call for the UI thread and wakes it when the queue was empty.
  // Called with m_ held.
  void PostLocked(std::function<void()> call);
  // Runs the queued calls (UI thread).
  void Deliver();
  // Runs op on the UI thread and waits for it; `closed` when the gate is or
  // becomes closed first.
  int Blocking(std::function<int(engine::WindowOps&)> op, int closed);
  // Runs op on the UI thread, after the calls queued before it, without
  // waiting for it; nothing once the gate is closed.
  void Posted(std::function<void(engine::WindowOps&)> op);
  // A pending value was stored: make sure a flush is coming. Called with m_ held.
  void RequestFlushLocked();
  void FlushOnUi();

  engine::WindowOps& target_;
  BridgeReceiver* receiver_ = nullptr;  // used only while the gate is open, under m_
  const std::thread::id uiThread_;
  std::shared_ptr<engine::WindowGate> gate_;

  std::mutex m_;
  std::condition_variable done_;
  std::map<int, std::string> texts_;  // pending, by control id
  std::map<int, int> positions_;
  std::deque<std::function<void()>> calls_;  // for the UI thread, in order
  bool flushPosted_ = false;
  // UI thread only.
  QPointer<QTimer> frameTimer_;
  std::chrono::steady_clock::time_point lastFlush_{};
};

}  // namespace ui
