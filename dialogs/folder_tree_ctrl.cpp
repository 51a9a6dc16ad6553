#include "dialogs/folder_tree_ctrl.h"

#include <QFileIconProvider>
#include <QStyle>
#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "engine/texts.h"
#include "platform/ascii.h"
#include "platform/drive_table.h"
#include "platform/folder_list.h"
#include "res/text_table.h"
#include "ui/message_dialog.h"

namespace dialogs {
namespace {

// Names compared as a person reads them: case folded, and a run of digits
// by the number it writes. Negative, zero or positive.
int CompareNames(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      qsizetype si = i, sj = j;  // leading zeros do not count
      while (si + 1 < ei && a[si] == u'0') ++si;
      while (sj + 1 < ej && b[sj] == u'0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      for (; si < ei; ++si, ++sj) {
        if (a[si] != b[sj]) return a[si] < b[sj] ? -1 : 1;
      }
      i = ei;
      j = ej;
      continue;
    }
    const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

constexpr int kTextDevices = 171;
// Paths live in buffers of 260 bytes.
constexpr std::size_t kMaxPath = 260;

std::string UpperCase(std::string text) {
  for (char& c : text) c = platform::AsciiUpper(c);
  return text;
}

std::string LastPiece(const std::string& path) {
  if (path == "/") return path;
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "DATA_CD (D:)": the volume label, or else the name of the drive's folder
// or device, with the letter.
QString DriveDisplayName(char letter, const platform::Drive* drive, const std::string& label) {
  std::string name = label;
  if (name.empty() && drive != nullptr) name = LastPiece(!drive->path.empty() ? drive->path : drive->device);
  const QString tail = QStringLiteral("(%1:)").arg(QChar(letter));
  return name.empty() ? tail : QString::fromUtf8(name) + ' ' + tail;
}

// A name that can be a piece of a drive-letter path: a backslash in it
// would split it in two.
bool UsableName(const std::string& name) { return !name.empty() && name.find('\\') == std::string::npos; }

QIcon ThemeIcon(const char* name, const QIcon& fallback) {
  const QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
  return icon.isNull() ? fallback : icon;
}

}  // namespace

CFolderTreeCtrl::CFolderTreeCtrl(const platform::DriveTable& drives, const platform::FolderLister& lister,
                                 QWidget* parent)
    : QTreeWidget(parent), m_drives(drives), m_lister(lister) {
  setColumnCount(1);
  setHeaderHidden(true);
  // Expand buttons on every level but the top one.
  setRootIsDecorated(false);
  setItemsExpandable(true);
  setExpandsOnDoubleClick(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setMouseTracking(true);  // hot tracking
  setDragEnabled(false);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setSortingEnabled(false);
  setUniformRowHeights(true);
  const int small = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  setIconSize(QSize(small, small));
  connect(this, &QTreeWidget::itemExpanded, this, &CFolderTreeCtrl::OnItemExpanded);
  connect(this, &QTreeWidget::itemCollapsed, this, &CFolderTreeCtrl::OnItemCollapsed);
}

bool CFolderTreeCtrl::Create(const QRect& rect, QWidget* parent) {
  if (parent == nullptr) return false;
  setParent(parent);
  setGeometry(rect);
  ResetTree(true);
  show();
  return true;
}

void CFolderTreeCtrl::ResetTree(bool deleteAll) {
  if (deleteAll) {
    clear();
    m_szDrives.clear();
  }
  m_hRootItem = MakeItem(QString::fromUtf8(res::LoadText(kTextDevices)), kIconComputer, std::string(), true);
  addTopLevelItem(m_hRootItem);
}

const QIcon& CFolderTreeCtrl::Icon(IconKind kind) const {
  auto it = m_icons.find(kind);
  if (it != m_icons.end()) return it->second;
  const QFileIconProvider provider;
  const QStyle* s = style();
  QIcon normal;
  QIcon open;
  switch (kind) {
    case kIconComputer:
      normal = ThemeIcon("computer", provider.icon(QAbstractFileIconProvider::Computer));
      break;
    case kIconFixed:
      normal = ThemeIcon("drive-harddisk", provider.icon(QAbstractFileIconProvider::Drive));
      break;
    case kIconOptical:
      normal = ThemeIcon("drive-optical", s->standardIcon(QStyle::SP_DriveCDIcon));
      break;
    case kIconRemovable:
      normal = ThemeIcon("drive-removable-media", s->standardIcon(QStyle::SP_DriveFDIcon));
      break;
    case kIconNetwork:
      normal = ThemeIcon("folder-remote", provider.icon(QAbstractFileIconProvider::Network));
      break;
    case kIconFolder:
      normal = ThemeIcon("folder", provider.icon(QAbstractFileIconProvider::Folder));
      open = ThemeIcon("folder-open", s->standardIcon(QStyle::SP_DirOpenIcon));
      break;
    case kIconFile:
      normal = provider.icon(QAbstractFileIconProvider::File);
      break;
  }
  if (open.isNull()) open = normal;
  // The small icon for an item, the open one while it is selected.
  const QSize size = iconSize();
  QIcon icon;
  icon.addPixmap(normal.pixmap(size), QIcon::Normal);
  icon.addPixmap(open.pixmap(size), QIcon::Selected);
  return m_icons.emplace(kind, icon).first->second;
}

QTreeWidgetItem* CFolderTreeCtrl::MakeItem(const QString& text, IconKind icon, const std::string& name,
                                           bool addPlaceholder) const {
  auto item = std::make_unique<QTreeWidgetItem>();
  item->setText(0, text);
  item->setIcon(0, Icon(icon));
  if (!name.empty()) item->setData(0, Qt::UserRole, QByteArray::fromStdString(name));
  if (addPlaceholder) item->addChild(new QTreeWidgetItem);
  return item.release();
}

bool CFolderTreeCtrl::IsPlaceholder(const QTreeWidgetItem* item) const {
  return item != nullptr && item->text(0).isEmpty();
}

std::string CFolderTreeCtrl::ItemName(const QTreeWidgetItem* item) {
  return item == nullptr ? std::string() : item->data(0, Qt::UserRole).toByteArray().toStdString();
}

bool CFolderTreeCtrl::ShouldListFile(const std::string&) const { return false; }

void CFolderTreeCtrl::OnItemExpanded(QTreeWidgetItem* item) {
  if (!m_bIgnoreExpansion) FillChildren(item);
}

void CFolderTreeCtrl::OnItemCollapsed(QTreeWidgetItem* item) {
  if (!m_bIgnoreExpansion) ClearChildren(item, true);
}

namespace {

// Items made apart from the tree; deleted again unless handed over.
class ItemList {
 public:
  ItemList() = default;
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;
  ~ItemList() { qDeleteAll(items_); }
  void Add(QTreeWidgetItem* item) {
    std::unique_ptr<QTreeWidgetItem> guard(item);
    items_.append(item);
    guard.release();
  }
  QList<QTreeWidgetItem*> Take() { return std::exchange(items_, {}); }

 private:
  QList<QTreeWidgetItem*> items_;
};

}  // namespace

QList<QTreeWidgetItem*> CFolderTreeCtrl::ListDrives(std::vector<std::string>& roots) const {
  ItemList items;
  const std::string strings = m_drives.GetLogicalDriveStrings();
  for (std::size_t at = 0; at < strings.size() && strings[at] != '\0';) {
    std::size_t end = strings.find('\0', at);
    if (end == std::string::npos) end = strings.size();
    const std::string root = UpperCase(strings.substr(at, end - at));
    at = end + 1;
    const platform::Drive* drive = m_drives.Find(root[0]);
    const int kind = drive != nullptr ? drive->kind : platform::kDriveUnknown;
    const IconKind icon = kind == platform::kDriveCdrom        ? kIconOptical
                          : kind == platform::kDriveRemovable ? kIconRemovable
                          : kind == platform::kDriveRemote    ? kIconNetwork
                                                              : kIconFixed;
    const std::string label = drive != nullptr ? m_lister.VolumeLabel(*drive) : std::string();
    items.Add(MakeItem(DriveDisplayName(root[0], drive, label), icon, std::string(), true));
    roots.push_back(root);
  }
  return items.Take();
}

QList<QTreeWidgetItem*> CFolderTreeCtrl::ListFolder(QTreeWidgetItem* item) const {
  std::string path = GetItemPath(item, std::string());
  if (path.empty()) return {};
  if (path.back() != '\\') path.push_back('\\');
  const std::string native = m_drives.ToNativePath(path);
  std::vector<platform::FolderEntry> entries;
  // A folder that cannot be listed (no disc, no access) simply has no children.
  if (native.empty() || !m_lister.ListFolder(native, entries)) return {};
  // By name, as a person reads them: letters of either case together, and
  // numbers by their value ("disc 2" before "disc 10").
  std::vector<std::pair<QString, const platform::FolderEntry*>> sorted;
  sorted.reserve(entries.size());
  for (const platform::FolderEntry& e : entries) sorted.emplace_back(QString::fromUtf8(e.name), &e);
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    const int order = CompareNames(a.first, b.first);
    return order != 0 ? order < 0 : a.second->name < b.second->name;
  });
  std::vector<platform::FolderEntry> byName;
  byName.reserve(entries.size());
  for (const auto& s : sorted) byName.push_back(*s.second);
  entries = std::move(byName);
  ItemList items;
  for (const platform::FolderEntry& e : entries) {
    if (e.folder && UsableName(e.name)) items.Add(MakeItem(QString::fromUtf8(e.name), kIconFolder, e.name, true));
  }
  for (const platform::FolderEntry& e : entries) {
    if (!e.folder && UsableName(e.name) && ShouldListFile(e.name)) {
      items.Add(MakeItem(QString::fromUtf8(e.name), kIconFile, e.name, false));
    }
  }
  return items.Take();
}

void CFolderTreeCtrl::FillChildren(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  try {
    std::vector<std::string> roots;
    QList<QTreeWidgetItem*> children = item == m_hRootItem ? ListDrives(roots) : ListFolder(item);
    ClearChildren(item, false);
    if (item == m_hRootItem) m_szDrives = std::move(roots);
    item->addChildren(children);
  } catch (const std::bad_alloc&) {
    // The item keeps its placeholder and closes again, as it was.
    ui::ShowMessage(res::LoadText(engine::kTextNotEnoughMemory), engine::kCaptionError, engine::kMsgError, window());
    m_bIgnoreExpansion = true;
    item->setExpanded(false);
    m_bIgnoreExpansion = false;
  }
}

void CFolderTreeCtrl::ClearChildren(QTreeWidgetItem* item, bool addPlaceholder) {
  if (item == nullptr) return;
  // Deleting an item deletes its whole subtree and the icons it holds.
  qDeleteAll(item->takeChildren());
  if (addPlaceholder) item->addChild(new QTreeWidgetItem);
}

std::string CFolderTreeCtrl::GetItemPath(QTreeWidgetItem* item, const std::string& suffix) const {
  if (item == nullptr || item == m_hRootItem) return std::string();
  QTreeWidgetItem* parent = item->parent();
  if (parent == m_hRootItem) {
    const int i = parent->indexOfChild(item);
    if (i < 0 || static_cast<std::size_t>(i) >= m_szDrives.size()) return suffix;
    return m_szDrives[static_cast<std::size_t>(i)] + suffix;
  }
  const std::string name = ItemName(item);
  std::string result = GetItemPath(parent, name.empty() ? suffix : name + "\\" + suffix);
  if (item->childCount() == 0 && !result.empty()) result.pop_back();
  return result;
}

std::string CFolderTreeCtrl::GetSelectedPath(QTreeWidgetItem* item) const {
  if (item == nullptr || IsPlaceholder(item)) return std::string();
  return GetItemPath(item, std::string());
}

QTreeWidgetItem* CFolderTreeCtrl::FindChildByName(QTreeWidgetItem* parent, const std::string& name) const {
  if (parent == nullptr) return nullptr;
  if (parent == m_hRootItem) {
    const std::string key = UpperCase(name) + "\\";
    for (int i = 0; i < parent->childCount() && static_cast<std::size_t>(i) < m_szDrives.size(); ++i) {
      if (m_szDrives[static_cast<std::size_t>(i)] == key) return parent->child(i);
    }
    return nullptr;
  }
  // Folder names differ in case on this system: the exact name first.
  for (int i = 0; i < parent->childCount(); ++i) {
    if (ItemName(parent->child(i)) == name) return parent->child(i);
  }
  const QString key = QString::fromUtf8(name);
  for (int i = 0; i < parent->childCount(); ++i) {
    const std::string childName = ItemName(parent->child(i));
    if (!childName.empty() && QString::fromUtf8(childName).compare(key, Qt::CaseInsensitive) == 0) {
      return parent->child(i);
    }
  }
  return nullptr;
}

bool CFolderTreeCtrl::SelectPath(const std::string& path) {
  if (m_hRootItem == nullptr) return false;
  m_hRootItem->setExpanded(true);
  // The longest path a buffer of 260 holds is 259 bytes; a longer one
  // names nothing here.
  if (path.size() >= kMaxPath) return false;
  QTreeWidgetItem* current = m_hRootItem;
  for (std::size_t at = 0; at < path.size();) {
    std::size_t end = path.find('\\', at);
    if (end == std::string::npos) end = path.size();
    const std::string piece = path.substr(at, end - at);
    at = end + 1;
    if (piece.empty()) continue;
    QTreeWidgetItem* child = FindChildByName(current, piece);
    if (child == nullptr) return false;
    child->setExpanded(true);
    current = child;
  }
  setCurrentItem(current);
  scrollToItem(current);
  return true;
}

}  // namespace dialogs
