#pragma once
// The error list of the main window: one row when a run starts on a disk and
// one for every file that could not be opened or read or whose check was
// skipped. The rows live in a model of their own (a scratched disc can give
// tens of thousands of them), shown by the list view of the window.
#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/window_ops.h"

class QTreeView;

namespace ui {

class CErrorListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using Row = std::array<QString, 4>;
  static constexpr int kColumns = 4;

  explicit CErrorListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The column captions, in the interface language; the list shows no
  // headers until they are set.
  void SetColumns(const std::array<QString, kColumns>& captions);

  // Inserts a row at index (0..rows), its cells given as UTF-8. False when
  // there is no memory for it: the list stays as it was.
  // file: what the row names (see engine::RowFile).
  bool InsertRow(int index, const std::array<std::string, kColumns>& cells, const engine::RowFile& file = {});
  // Deletes every row.
  void DeleteAllItems();
  const Row& RowAt(int index) const { return m_rows[static_cast<std::size_t>(index)].cells; }
  // A cell's bytes as InsertRow was given them (a name that is not UTF-8
  // shows replacement characters in the list, but is kept for the rescue).
  std::string RowBytes(int index, int column) const;
  // The file the row names, as InsertRow was given it.
  const engine::RowFile& FileOf(int index) const { return m_rows[static_cast<std::size_t>(index)].file; }

 protected:
  // Makes room for one more row; throws std::bad_alloc when there is no
  // memory for it.
  virtual void MakeRoom();

 private:
  struct StoredRow {
    Row cells;
    // The cells as given, only for a row whose bytes UTF-8 could not carry.
    std::unique_ptr<std::array<std::string, kColumns>> bytes;
    engine::RowFile file;
  };
  std::vector<StoredRow> m_rows;
  std::array<QString, kColumns> m_captions;
  bool m_bColumns = false;
};

// Column widths in pixels of the 8-point dialog font the list was laid out
// for, whose average character is 6 pixels wide.
inline constexpr std::array<int, CErrorListModel::kColumns> kErrorListWidths{100, 70, 80, 260};
inline constexpr int kErrorListBaseX = 6;

// Gives a list view its model and the column widths, kept in proportion to
// the dialog font as the window's own dialog units are (baseX: the font's
// average character width).
void AttachErrorList(QTreeView& view, CErrorListModel& model, int baseX);

}  // namespace ui
