#include "ui/rescue_dialog.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>

#include "engine/message_box.h"
#include "engine/rescue_report.h"
#include "engine/texts.h"
#include "platform/ascii.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"

namespace ui {
namespace {

class TableTexts : public engine::TextLookup {
 public:
  std::string Text(int id) const override { return res::LoadTextCopy(id); }
};

// What the message box's text buffer holds (its last byte ends the text).
constexpr std::size_t kBoxText = 1023;

}  // namespace

CRescueDialog::CRescueDialog(std::map<std::string, std::string> shownPaths, QWidget* parent)
    : CTemplateDialog(res::kDialogRescue, parent), m_shownPaths(std::move(shownPaths)) {}

bool CRescueDialog::OnInitDialog() {
  CTemplateDialog::OnInitDialog();
  setWindowTitle(QString::fromUtf8(res::LoadText(engine::kTextRescueTitle)));
  m_tooltip.Create(this);
  m_tooltip.Activate(true);
  if (CBitmapButton* cancel = AttachBitmapButton(engine::kIdCancel)) {
    m_tooltip.AddTool(cancel, res::LoadText(3));
  }
  if (auto* bar = DlgItem<QProgressBar>(*this, kIdProgress)) {
    bar->setRange(0, 1);
    bar->setValue(0);
  }
  return true;
}

void CRescueDialog::ShowProgress(const engine::RescueProgress& progress) {
  const TableTexts texts;
  SetDlgItemText(*this, kIdFileLine, engine::RescueFileLine(progress, texts).c_str());
  const auto shown = m_shownPaths.find(progress.file);
  const std::string path = shown != m_shownPaths.end() ? platform::VisibleText(shown->second) : ShownNativePath(progress.file);
  if (auto* label = DlgItem<QLabel>(*this, kIdFilePath)) {
    // A long path keeps its drive and the file's name.
    const QString full = QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width()));
    label->setToolTip(label->text() == full ? QString() : full);
  }
  SetDlgItemText(*this, kIdPassLine, engine::RescuePassLine(progress, texts).c_str());
  SetDlgItemText(*this, kIdBytesLine, engine::RescueBytesLine(progress, texts).c_str());
  if (auto* bar = DlgItem<QProgressBar>(*this, kIdProgress)) {
    // The files done, and the passes of the current one.
    const int passes = progress.passes > 0 ? progress.passes : 1;
    bar->setRange(0, (progress.files > 0 ? progress.files : 1) * passes);
    bar->setValue((progress.fileNumber > 0 ? progress.fileNumber - 1 : 0) * passes + progress.pass - 1);
  }
}

void CRescueDialog::OnOK() {}

void CRescueDialog::OnCancel() {
  if (m_bCancelAsked) return;
  m_bCancelAsked = true;
  if (QWidget* cancel = DlgItem(*this, engine::kIdCancel)) cancel->setEnabled(false);
  emit cancelRequested();
}

std::string ShownNativePath(const std::string& path) {
  std::string shown;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('/', start);
    shown += platform::VisibleText(std::string_view(path).substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return shown;
    shown += '/';
    start = slash + 1;
  }
}

std::string RescueWindowPath(char drive, const std::string& relative) {
  std::string path{drive, ':', '\\'};
  for (const char c : relative) path += c == '/' ? '\\' : c;
  return path;
}

std::string RescueEndText(const engine::RescueReport& given, const std::map<std::string, std::string>& shownPaths) {
  const TableTexts texts;
  // The files by the paths the list shows.
  engine::RescueReport report = given;
  for (auto& f : report.files) {
    const auto shown = shownPaths.find(f.relative);
    if (shown != shownPaths.end()) f.relative = shown->second;
  }
  std::string text;
  for (std::size_t files = 20;; files = files > 4 ? files - 4 : files - 1) {
    text = engine::RescueReportText(report, texts, files);
    if (text.size() <= kBoxText || files <= 1) break;
  }
  return text;
}

RescueReceiver::RescueReceiver(std::weak_ptr<RescuePoster> poster, QObject* parent)
    : QObject(parent), poster_(std::move(poster)) {}

void RescueReceiver::Deliver() {
  if (auto poster = poster_.lock()) poster->Deliver();
}

RescuePoster::RescuePoster(ProgressFn progress, FinishedFn finished)
    : progress_(std::move(progress)), finished_(std::move(finished)) {}

std::shared_ptr<RescuePoster> RescuePoster::Create(QObject& owner, ProgressFn progress, FinishedFn finished) {
  std::shared_ptr<RescuePoster> poster(new RescuePoster(std::move(progress), std::move(finished)));
  poster->receiver_ = new RescueReceiver(poster, &owner);
  return poster;
}

void RescuePoster::Progress(const engine::RescueProgress& progress) {
  Post([this, progress] { progress_(progress); });
}

void RescuePoster::Finished(const engine::RescueReport& report) {
  Post([this, report] { finished_(report); });
}

void RescuePoster::Post(std::function<void()> call) {
  std::lock_guard lock(m_);
  if (receiver_ == nullptr) return;
  calls_.push_back(std::move(call));
  QMetaObject::invokeMethod(receiver_, "Deliver", Qt::QueuedConnection);
}

void RescuePoster::Deliver() {
  // One at a time, in order, none while the lock is held: the report runs a
  // message box whose own event loop may deliver what comes meanwhile.
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(m_);
      if (receiver_ == nullptr || calls_.empty()) return;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    call();
  }
}

void RescuePoster::Detach() {
  std::deque<std::function<void()>> dropped;
  std::lock_guard lock(m_);
  if (receiver_ != nullptr) receiver_->deleteLater();  // and the wake-ups still queued for it
  receiver_ = nullptr;
  calls_.swap(dropped);
}

}  // namespace ui
