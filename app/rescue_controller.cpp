#include "app/rescue_controller.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <numeric>
#include <optional>
#include <set>

#include "engine/message_box.h"
#include "engine/texts.h"
#include "platform/ascii.h"
#include "res/text_table.h"
#include "ui/message_dialog.h"

namespace ui {
namespace {

// The extra passes of a rescue over the sectors still missing.
constexpr int kRescueExtraPasses = 2;

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

RescueController::RescueController(QWidget& owner, CErrorListModel& rows, Services services)
    : m_owner(owner), m_rows(rows), m_services(std::move(services)) {}

RescueController::~RescueController() { Drop(); }

void RescueController::AttachList(QTreeView& list) {
  m_list = &list;
  // Rows are copied and rescued several at a time.
  list.setSelectionMode(QAbstractItemView::ExtendedSelection);
  list.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (m_list == nullptr) return;
    const QModelIndex at = m_list->indexAt(pos);
    ShowListMenu(m_list->viewport()->mapToGlobal(pos), at.isValid() ? at.row() : -1);
  });
  list.installEventFilter(this);
}

bool RescueController::eventFilter(QObject* watched, QEvent* event) {
  // The kind of event first: the list sends others while it is destroyed,
  // when it is no list any more.
  if (event->type() == QEvent::KeyPress && m_list != nullptr && watched == m_list) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      // The menu of the current row, below it.
      const QModelIndex current = m_list->currentIndex();
      QRect place = current.isValid() ? m_list->visualRect(current) : QRect();
      if (!place.isValid() || !m_list->viewport()->rect().intersects(place)) place = QRect(0, 0, 1, 1);
      ShowListMenu(m_list->viewport()->mapToGlobal(place.bottomLeft()), current.isValid() ? current.row() : -1);
      key->accept();
      return true;
    }
    if (key->matches(QKeySequence::Copy)) {
      CopyRows(SelectedRows());
      key->accept();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

// --- The rows ---

const std::string& RescueController::DriveRoots::Root(char drive) {
  auto root = roots_.find(drive);
  if (root == roots_.end()) root = roots_.emplace(drive, paths_.ToNativePath(std::string{drive, ':', '\\'})).first;
  return root->second;
}

bool RescueController::FileOfRow(int row, DriveRoots& roots, ListFile* file) const {
  if (row < 0 || row >= m_rows.rowCount()) return false;
  // The folder cell is "D:\A\B", a drive's root "D:\": it gives the drive;
  // the file itself is the one the row was made from.
  const std::string folder = m_rows.RowBytes(row, 3);
  if (folder.size() < 2 || folder[1] != ':') return false;
  file->drive = platform::AsciiUpper(folder[0]);
  file->volumeRoot = roots.Root(file->drive);
  const std::optional<engine::RescueFile> found = engine::RescueFileOfRow(m_rows.FileOf(row), file->volumeRoot);
  if (!found) return false;
  file->file = *found;
  return true;
}

bool RescueController::IsReadRow(int row) const {
  if (row < 0 || row >= m_rows.rowCount()) return false;
  // Rows keep the language they were listed in.
  const QString& kind = m_rows.RowAt(row)[1];
  return kind == QString::fromUtf8(res::TextResource(engine::kTextRead)) ||
         kind == QString::fromUtf8(res::TextResource(engine::kTextRead + 1));
}

std::vector<int> RescueController::SelectedRows() const {
  std::vector<int> rows;
  if (m_list == nullptr || m_list->selectionModel() == nullptr) return rows;
  for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<RescueController::ListFile> RescueController::ReadFiles(const std::vector<int>& rows) const {
  std::vector<ListFile> files;
  std::set<std::string> seen;  // a disc checked twice lists its files twice
  DriveRoots roots(*m_services.rootPaths);
  for (int row : rows) {
    ListFile file;
    if (IsReadRow(row) && FileOfRow(row, roots, &file) && seen.insert(file.file.root + '\0' + file.file.path).second) {
      files.push_back(std::move(file));
    }
  }
  return files;
}

// --- The menu ---

void RescueController::ShowListMenu(const QPoint& globalPos, int row) {
  std::vector<int> selected = SelectedRows();
  if (row >= 0 && std::find(selected.begin(), selected.end(), row) == selected.end()) selected = {row};
  DriveRoots roots(*m_services.rootPaths);
  ListFile file;
  const bool named = FileOfRow(row, roots, &file);
  std::vector<ListFile> thisFile = ReadFiles({row});
  const QString text = RowsText(selected);

  QMenu menu(&m_owner);
  QAction* rescueOne = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextRescueThisFile)));
  rescueOne->setEnabled(!thisFile.empty());
  QAction* rescueAll = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextRescueAll)));
  menu.addSeparator();
  QAction* copy = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextCopyRows)));
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(!text.isEmpty());
  QAction* open = menu.addAction(Utf8(res::LoadTextCopy(engine::kTextOpenFolder)));
  open->setEnabled(named);
  QAction* chosen = menu.exec(globalPos);
  if (chosen == nullptr) return;
  if (chosen == rescueOne) {
    RescueFiles(std::move(thisFile));
  } else if (chosen == rescueAll) {
    std::vector<int> all(static_cast<std::size_t>(m_rows.rowCount()));
    std::iota(all.begin(), all.end(), 0);
    RescueFiles(ReadFiles(all));
  } else if (chosen == copy) {
    QApplication::clipboard()->setText(text);
  } else if (chosen == open) {
    // The folder that holds the file.
    const std::string& root = file.file.root;
    const std::string path = (root.ends_with('/') ? root : root + "/") + file.file.path;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder))));
  }
}

QString RescueController::RowsText(const std::vector<int>& rows) const {
  QString text;
  for (int row : rows) {
    if (row < 0 || row >= m_rows.rowCount()) continue;
    const CErrorListModel::Row& cells = m_rows.RowAt(row);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i != 0) text += QLatin1Char('\t');
      text += cells[i];
    }
    text += QLatin1Char('\n');
  }
  return text;
}

void RescueController::CopyRows(const std::vector<int>& rows) {
  const QString text = RowsText(rows);
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

// --- The rescue ---

void RescueController::Tell(const std::string& text, const std::string& caption, unsigned type) {
  ui::ShowMessage(text.c_str(), caption.empty() ? nullptr : caption.c_str(), static_cast<int>(type), &m_owner);
}

void RescueController::RescueFiles(std::vector<ListFile> files) {
  std::string drives;
  for (const ListFile& file : files) {
    if (drives.find(file.drive) == std::string::npos) drives += file.drive;
  }
  if (files.empty()) {
    Tell(res::LoadTextCopy(engine::kTextNothingToRescue), engine::kCaptionInfo, engine::kMsgInfo);
    return;
  }
  if (m_rescue) {
    Tell(res::LoadTextCopy(engine::kTextBusyRescuing), engine::kCaptionWarning, engine::kMsgWarning);
    return;
  }
  // One drive is read by one of them at a time.
  const char checked = m_services.checkedDrive ? m_services.checkedDrive() : 0;
  if (checked != 0 && drives.find(checked) != std::string::npos) {
    Tell(res::LoadTextCopy(engine::kTextBusyChecking), engine::kCaptionWarning, engine::kMsgWarning);
    return;
  }

  const std::string start = m_destination.empty() ? QFile::encodeName(QDir::homePath()).toStdString() : m_destination;
  const std::string destination =
      m_services.folders->ChooseFolder(&m_owner, res::LoadTextCopy(engine::kTextRescueWhere), start);
  if (destination.empty()) return;
  // Nothing is ever written to a volume being read.
  std::set<std::string> volumes;
  for (const ListFile& file : files) volumes.insert(file.volumeRoot);
  for (const std::string& volume : volumes) {
    const engine::DestinationProblem problem = engine::CheckDestination(destination, volume);
    if (problem == engine::DestinationProblem::kMissing) {
      Tell(engine::FillIn(res::LoadTextCopy(engine::kTextRescueNoFolder), {ShownNativePath(destination)}),
           engine::kCaptionError, engine::kMsgError);
      return;
    }
    if (problem == engine::DestinationProblem::kOnVolume) {
      Tell(res::LoadTextCopy(engine::kTextRescueOnVolume), engine::kCaptionError, engine::kMsgError);
      return;
    }
  }
  m_destination = destination;

  // Files of several drives go below a folder named by their letter each,
  // so that the same path on two discs makes two copies.
  std::vector<engine::RescueFile> rescued;
  std::map<std::string, std::string> shown;
  for (const ListFile& file : files) {
    engine::RescueFile f = file.file;
    if (drives.size() > 1) f.relative = std::string(1, file.drive) + "/" + f.relative;
    shown[f.relative] = RescueWindowPath(file.drive, file.file.relative);
    rescued.push_back(std::move(f));
  }
  engine::RescueOptions options;
  options.destination = destination;
  options.delaySeconds = engine::DelaySeconds(*m_services.settings);
  options.priority = engine::PriorityPosition(*m_services.settings);
  options.extraPasses = kRescueExtraPasses;
  for (const char d : drives) options.drive += (options.drive.empty() ? "" : ", ") + std::string{d, ':'};

  auto poster = RescuePoster::Create(
      *this, [this](const engine::RescueProgress& p) { OnRescueProgress(p); },
      [this](const engine::RescueReport& r) { OnRescueFinished(r); });
  auto rescue = std::make_unique<engine::RescueRun>(m_services.threads, poster, m_services.stuck);
  if (!rescue->Start(std::move(rescued), options)) {
    poster->Detach();
    Tell(res::LoadTextCopy(engine::kTextNotEnoughMemory), engine::kCaptionError, engine::kMsgError);
    return;
  }
  m_rescue = std::move(rescue);
  m_poster = std::move(poster);
  m_drives = drives;
  m_shown = shown;
  auto* window = new CRescueDialog(std::move(shown), &m_owner);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  connect(window, &CRescueDialog::cancelRequested, this, [this] {
    if (m_rescue) m_rescue->Cancel();
  });
  m_window = window;
  window->Create();
}

void RescueController::OnRescueProgress(const engine::RescueProgress& progress) {
  if (m_window) m_window->ShowProgress(progress);
}

void RescueController::OnRescueFinished(const engine::RescueReport& report) {
  const std::string text = RescueEndText(report, m_shown);
  bool whole = !report.cancelled && !report.deviceNotAnswering && !report.destinationFailed;
  for (const auto& f : report.files) whole = whole && f.kind == engine::RescueOutcome::kWhole;
  m_poster->Detach();
  m_poster.reset();
  m_rescue.reset();
  m_drives.clear();
  m_shown.clear();
  if (m_window) {
    m_window->hide();
    m_window->deleteLater();
  }
  // The report, once the handing over of the rescue's calls has unwound.
  QTimer::singleShot(0, this, [this, text, whole] {
    Tell(text, res::LoadTextCopy(engine::kTextRescueTitle), whole ? engine::kMsgInfo : engine::kMsgWarning);
  });
}

void RescueController::Drop() {
  if (m_poster) m_poster->Detach();
  m_poster.reset();
  if (m_rescue) m_rescue->Cancel();  // what was read stays under its temporary name
  m_rescue.reset();
  m_drives.clear();
  m_shown.clear();
  delete m_window;
}

}  // namespace ui
