#pragma once
// The tree of drives and folders of the folder browser. It fills itself
// lazily: a drive or folder is listed when it is expanded and its contents
// are thrown away again when it is collapsed, so that expanding it again
// reads the disk afresh. Under the root "Devices" come the drives in letter
// order; under each drive its folders in the order the file system lists
// them, hidden ones included. Paths are in the program's drive-letter form
// ("D:\GAMES") and are rebuilt from the tree itself.
//
// A drive or folder that has not been listed holds one placeholder child (an
// item with an empty text), which gives it its expand button.
#include <QIcon>
#include <QTreeWidget>
#include <map>
#include <string>
#include <vector>

namespace platform {
class DriveTable;
class FolderLister;
}  // namespace platform

namespace dialogs {

class CFolderTreeCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  // The drive table and the lister must outlive the tree.
  CFolderTreeCtrl(const platform::DriveTable& drives, const platform::FolderLister& lister,
                  QWidget* parent = nullptr);

  // Places the tree in a window of its own making and builds its root.
  bool Create(const QRect& rect, QWidget* parent);

  // Builds the tree anew: the root "Devices" with its placeholder.
  void ResetTree(bool deleteAll);
  // Expands along a path such as "D:\GAMES\SAVE" (pieces compared without
  // regard to case, empty pieces skipped) and selects its last item. Stops at
  // the first piece not found, selecting nothing, and returns false. An empty
  // path selects the root.
  bool SelectPath(const std::string& path);
  // The path of an item; empty for a placeholder.
  std::string GetSelectedPath(QTreeWidgetItem* item) const;
  // The path of an item with a suffix: "" for the root, "D:\" + suffix for a
  // drive, and for a folder the path of its parent with its name, a
  // backslash and the suffix; a folder without any child item loses the
  // last character ("D:\GAMES" for an expanded folder without subfolders,
  // "D:\GAMES\" while it still has its placeholder).
  std::string GetItemPath(QTreeWidgetItem* item, const std::string& suffix) const;
  // A drive under the root by its root string ("d:" finds "D:\"); a folder
  // by its name, an exact match before one that differs only in case.
  QTreeWidgetItem* FindChildByName(QTreeWidgetItem* parent, const std::string& name) const;

  // Lists the drives under the root, or the folders of a drive or folder,
  // in place of what the item held. A listing that runs out of memory says
  // "Not enough memory" and leaves the item as it was (collapsed, not listed).
  void FillChildren(QTreeWidgetItem* item);
  // Removes every child (with its whole subtree and icons) and adds a
  // placeholder when asked.
  void ClearChildren(QTreeWidgetItem* item, bool addPlaceholder);

  bool IsPlaceholder(const QTreeWidgetItem* item) const;
  // The file name an item stands for (bytes), empty for the root, a drive
  // or a placeholder.
  static std::string ItemName(const QTreeWidgetItem* item);

  QTreeWidgetItem* m_hRootItem = nullptr;
  // The root strings of the drives ("C:\", "D:\", ...), one per child of the
  // root, in the same order: how a drive item maps to its drive.
  std::vector<std::string> m_szDrives;

 protected:
  // Asked for every plain file while a folder is listed: false, so the tree
  // shows folders only. A derived tree may list files by answering true.
  virtual bool ShouldListFile(const std::string& name) const;

 private:
  enum IconKind { kIconComputer, kIconFixed, kIconOptical, kIconRemovable, kIconNetwork, kIconFolder, kIconFile };

  void OnItemExpanded(QTreeWidgetItem* item);
  void OnItemCollapsed(QTreeWidgetItem* item);
  // The items of a listing, made apart from the tree.
  QList<QTreeWidgetItem*> ListDrives(std::vector<std::string>& roots) const;
  QList<QTreeWidgetItem*> ListFolder(QTreeWidgetItem* item) const;
  QTreeWidgetItem* MakeItem(const QString& text, IconKind icon, const std::string& name, bool addPlaceholder) const;
  const QIcon& Icon(IconKind kind) const;

  const platform::DriveTable& m_drives;
  const platform::FolderLister& m_lister;
  mutable std::map<IconKind, QIcon> m_icons;  // normal image, and the open one for a selected item
  bool m_bIgnoreExpansion = false;
};

}  // namespace dialogs
