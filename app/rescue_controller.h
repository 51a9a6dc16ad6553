#pragma once
// The error list's context menu and the rescue it starts. The menu copies
// rows, opens a file's folder and rescues the files of Read rows; a rescue
// runs on threads of its own (engine::RescueRun), with a small window of its
// own (CRescueDialog) while the main window stays usable, and ends with one
// message. The main window owns this: it asks, before a check, whether a
// rescue reads the check's drive, and drops the rescue when it goes.
//
// The rescue's calls reach the UI thread through a RescuePoster that is
// detached before the rescue is let go of, so none of them runs once Drop
// has returned. Everything here runs on the UI thread.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/rescue.h"
#include "engine/services.h"
#include "engine/settings.h"
#include "engine/stuck_readers.h"
#include "ui/error_list.h"
#include "ui/rescue_dialog.h"

class QPoint;
class QTreeView;
class QWidget;

namespace ui {

// Asks the user for a folder: the desktop's folder chooser.
class FolderChooser {
 public:
  virtual ~FolderChooser() = default;
  // The folder chosen (its path as the system names it), or empty when the
  // user cancelled. start: the folder shown first.
  virtual std::string ChooseFolder(QWidget* owner, const std::string& title, const std::string& start) = 0;
};

class RescueController : public QObject {
 public:
  struct Services {
    std::shared_ptr<const engine::Settings> settings;        // a rescue's delay and priority
    std::shared_ptr<engine::RootPathTranslator> rootPaths;   // drive letters onto folders
    std::shared_ptr<engine::ThreadStarter> threads;          // the rescue's threads
    std::shared_ptr<engine::StuckReaders> stuck;             // the program's one count (the engine's too)
    std::shared_ptr<FolderChooser> folders;                  // where rescued files go
    std::function<char()> checkedDrive;                      // the drive a running check reads, or 0
  };

  // owner: the main window, parent of the menu, the rescue window and the
  // messages; rows: the error list. Both outlive this.
  RescueController(QWidget& owner, CErrorListModel& rows, Services services);
  ~RescueController() override;  // drops a running rescue

  // The list's menu on a right-click, the Menu key and Shift+F10, and
  // Ctrl+C; rows are selected several at a time.
  void AttachList(QTreeView& list);

  // The window of the running rescue (nullptr: none runs).
  CRescueDialog* Window() const { return m_window; }
  bool Running() const { return m_rescue != nullptr; }
  // A running rescue reads files of drive "D".
  bool ReadsDrive(char drive) const { return m_drives.find(drive) != std::string::npos; }
  // Cancels a running rescue and lets go of it: nothing of it reaches the
  // window any more (the window is going).
  void Drop();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A file of the error list as the rescue takes it.
  struct ListFile {
    char drive = 0;           // the drive letter of its folder
    engine::RescueFile file;  // the file itself, and its path below the drive's root
    std::string volumeRoot;   // the drive's root folder
  };
  // Each drive's root folder, translated once (a rescue of every row asks
  // for the same few drives thousands of times).
  class DriveRoots {
   public:
    explicit DriveRoots(engine::RootPathTranslator& paths) : paths_(paths) {}
    // The folder of drive "D" (empty: none).
    const std::string& Root(char drive);

   private:
    engine::RootPathTranslator& paths_;
    std::map<char, std::string> roots_;
  };
  // The file of a row, or false when the row names none that can be found.
  bool FileOfRow(int row, DriveRoots& roots, ListFile* file) const;
  // The row is a Read error.
  bool IsReadRow(int row) const;
  // The files of the Read rows among rows, each once.
  std::vector<ListFile> ReadFiles(const std::vector<int>& rows) const;
  // The selected rows, in list order.
  std::vector<int> SelectedRows() const;
  // The context menu of the error list, for the row at `row` (-1: none).
  // What its entries act on is taken before it opens: rows may come and go
  // while it is open.
  void ShowListMenu(const QPoint& globalPos, int row);
  // The rows as text: tab-separated cells, one line per row.
  QString RowsText(const std::vector<int>& rows) const;
  void CopyRows(const std::vector<int>& rows);
  // Asks for a destination and starts the rescue of files.
  void RescueFiles(std::vector<ListFile> files);
  void OnRescueProgress(const engine::RescueProgress& progress);
  void OnRescueFinished(const engine::RescueReport& report);
  // A message box of the main window.
  void Tell(const std::string& text, const std::string& caption, unsigned type);

  QWidget& m_owner;
  CErrorListModel& m_rows;
  const Services m_services;
  QPointer<QTreeView> m_list;
  // The running rescue, its listener, its window, the drives it reads and
  // where it writes.
  std::unique_ptr<engine::RescueRun> m_rescue;
  std::shared_ptr<RescuePoster> m_poster;
  QPointer<CRescueDialog> m_window;
  std::string m_drives;
  std::map<std::string, std::string> m_shown;  // the files' paths as the list shows them
  std::string m_destination;  // also the folder the chooser shows first
};

}  // namespace ui
