#include "ui/window_bridge.h"

#include <QMetaObject>
#include <QTimer>

namespace ui {
namespace {

// One blocking call on its way to the UI thread; guarded by the bridge's mutex.
struct PendingCall {
  bool done = false;
  int result = 0;
};

// A hand-over on its way to the UI thread; guarded by the bridge's mutex.
// Whoever claims it first runs it: the UI thread, or the caller once the
// gate has closed before the UI thread came to it.
struct PendingHandOver {
  bool claimed = false;
  bool done = false;
};

}  // namespace

BridgeReceiver::BridgeReceiver(std::weak_ptr<WindowBridge> bridge, QObject* parent)
    : QObject(parent), bridge_(std::move(bridge)) {}

void BridgeReceiver::Deliver() {
  if (auto bridge = bridge_.lock()) bridge->Deliver();
}

std::shared_ptr<WindowBridge> WindowBridge::Create(engine::WindowOps& target, QObject& owner,
                                                   std::shared_ptr<engine::WindowGate> gate) {
  std::shared_ptr<WindowBridge> bridge(new WindowBridge(target, std::move(gate)));
  bridge->receiver_ = new BridgeReceiver(bridge, &owner);
  return bridge;
}

WindowBridge::WindowBridge(engine::WindowOps& target, std::shared_ptr<engine::WindowGate> gate)
    : target_(target), uiThread_(std::this_thread::get_id()), gate_(std::move(gate)) {}

// The last owner may be an engine thread: nothing of Qt is touched here.
WindowBridge::~WindowBridge() = default;

bool WindowBridge::OnUiThread() const { return std::this_thread::get_id() == uiThread_; }

void WindowBridge::Close() {
  {
    std::lock_guard lock(m_);
    gate_->Close();
    texts_.clear();
    positions_.clear();
    calls_.clear();
  }
  done_.notify_all();
  if (frameTimer_) frameTimer_->stop();
}

void WindowBridge::PostLocked(std::function<void()> call) {
  calls_.push_back(std::move(call));
  // A wake-up per call: one may be taken by the event loop of a box that an
  // earlier call is showing.
  QMetaObject::invokeMethod(receiver_, "Deliver", Qt::QueuedConnection);
}

void WindowBridge::Deliver() {
  // One at a time, in order: a call may run a message box whose own event
  // loop delivers the calls that come meanwhile.
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(m_);
      if (calls_.empty()) return;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    call();
  }
}

void WindowBridge::RequestFlushLocked() {
  if (flushPosted_) return;
  flushPosted_ = true;
  PostLocked([this] { FlushOnUi(); });
}

void WindowBridge::FlushOnUi() {
  if (!IsOpen()) return;
  // Not more often than once a frame: a tree of small files changes the
  // current file thousands of times a second.
  const auto wait = kFrame - (std::chrono::steady_clock::now() - lastFlush_);
  if (wait <= std::chrono::steady_clock::duration::zero()) {
    Flush();
    return;
  }
  if (!frameTimer_) {
    frameTimer_ = new QTimer(receiver_);
    frameTimer_->setSingleShot(true);
    QObject::connect(frameTimer_, &QTimer::timeout, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->Flush();
    });
  }
  if (!frameTimer_->isActive()) {
    frameTimer_->start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
  }
}

void WindowBridge::Flush() {
  if (!IsOpen()) return;
  std::map<int, std::string> texts;
  std::map<int, int> positions;
  {
    std::lock_guard lock(m_);
    texts.swap(texts_);
    positions.swap(positions_);
    flushPosted_ = false;
  }
  lastFlush_ = std::chrono::steady_clock::now();
  if (frameTimer_) frameTimer_->stop();
  for (const auto& [id, text] : texts) target_.SetFieldText(id, text);
  for (const auto& [id, position] : positions) target_.SetProgress(id, position);
}

int WindowBridge::Blocking(std::function<int(engine::WindowOps&)> op, int closed) {
  if (OnUiThread()) {
    if (!IsOpen()) return closed;
    Flush();  // what the engine threads set before comes first
    return op(target_);
  }
  auto call = std::make_shared<PendingCall>();
  std::unique_lock lock(m_);
  if (!IsOpen()) return closed;
  // The UI thread runs it while the bridge is alive: this caller holds it.
  PostLocked([this, call, op = std::move(op), closed] {
    int result = closed;
    if (IsOpen()) {
      Flush();
      result = op(target_);
    }
    {
      std::lock_guard l(m_);
      call->done = true;
      call->result = result;
    }
    done_.notify_all();
  });
  // The wait lets go of the lock; Close wakes it.
  done_.wait(lock, [&] { return call->done || !IsOpen(); });
  // A window that went meanwhile answers nothing.
  return IsOpen() ? call->result : closed;
}

void WindowBridge::Posted(std::function<void(engine::WindowOps&)> op) {
  if (OnUiThread()) {
    if (!IsOpen()) return;
    Flush();  // what the engine threads set before comes first
    op(target_);
    return;
  }
  std::lock_guard lock(m_);
  if (!IsOpen()) return;
  PostLocked([this, op = std::move(op)] {
    if (!IsOpen()) return;
    Flush();
    op(target_);
  });
}

void WindowBridge::HandOver(const std::function<void()>& fn) {
  if (OnUiThread()) {
    fn();
    return;
  }
  auto handOver = std::make_shared<PendingHandOver>();
  std::unique_lock lock(m_);
  if (IsOpen()) {
    // The UI thread runs it while the bridge is alive: this caller holds it.
    PostLocked([this, handOver, fn] {
      {
        std::lock_guard l(m_);
        if (handOver->claimed) return;
        handOver->claimed = true;
      }
      if (IsOpen()) Flush();
      fn();
      {
        std::lock_guard l(m_);
        handOver->done = true;
      }
      done_.notify_all();
    });
    // The wait lets go of the lock; Close wakes it. Once the UI thread has
    // claimed it, it is waited for even if the gate closes meanwhile.
    done_.wait(lock, [&] { return handOver->done || (!handOver->claimed && !IsOpen()); });
    if (handOver->done) return;
  }
  handOver->claimed = true;
  lock.unlock();
  fn();
}

void WindowBridge::SetFieldText(int id, const std::string& text) {
  if (OnUiThread()) {
    {
      std::lock_guard lock(m_);
      texts_.erase(id);  // a newer value than the one pending
    }
    if (IsOpen()) target_.SetFieldText(id, text);
    return;
  }
  std::lock_guard lock(m_);
  if (!IsOpen()) return;
  texts_[id] = text;
  RequestFlushLocked();
}

void WindowBridge::SetProgress(int id, int position) {
  if (OnUiThread()) {
    {
      std::lock_guard lock(m_);
      positions_.erase(id);
    }
    if (IsOpen()) target_.SetProgress(id, position);
    return;
  }
  std::lock_guard lock(m_);
  if (!IsOpen()) return;
  positions_[id] = position;
  RequestFlushLocked();
}

int WindowBridge::AddRow(const std::array<std::string, 4>& cells, const engine::RowFile& file) {
  return Blocking([cells, file](engine::WindowOps& w) { return w.AddRow(cells, file); }, -1);
}

void WindowBridge::ShowButton(int id, bool show) {
  Posted([id, show](engine::WindowOps& w) { w.ShowButton(id, show); });
}

void WindowBridge::EnableButton(int id, bool enable) {
  Posted([id, enable](engine::WindowOps& w) { w.EnableButton(id, enable); });
}

void WindowBridge::SetTitle(const std::string& title) {
  Posted([title](engine::WindowOps& w) { w.SetTitle(title); });
}

int WindowBridge::ShowMessage(const std::string& text, const std::string& caption, unsigned type) {
  return Blocking([text, caption, type](engine::WindowOps& w) { return w.ShowMessage(text, caption, type); },
                  engine::kIdCancel);
}

void WindowBridge::OpenOptions() {
  Blocking(
      [](engine::WindowOps& w) {
        w.OpenOptions();
        return 0;
      },
      0);
}

}  // namespace ui
