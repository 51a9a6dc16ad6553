#include "ui/error_list.h"

#include <QHeaderView>
#include <QTreeView>
#include <new>

namespace ui {

CErrorListModel::CErrorListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CErrorListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CErrorListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !m_bColumns ? 0 : kColumns;
}

QVariant CErrorListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
  switch (role) {
    case Qt::DisplayRole:
      return m_rows[static_cast<std::size_t>(index.row())].cells[static_cast<std::size_t>(index.column())];
    case Qt::TextAlignmentRole:
      // The position in kilobytes is right-aligned, the other columns left.
      return QVariant::fromValue(Qt::AlignVCenter | (index.column() == 2 ? Qt::AlignRight : Qt::AlignLeft));
    default:
      return {};
  }
}

QVariant CErrorListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
  if (role == Qt::DisplayRole) return m_captions[static_cast<std::size_t>(section)];
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignVCenter | (section == 2 ? Qt::AlignRight : Qt::AlignLeft));
  }
  return {};
}

void CErrorListModel::SetColumns(const std::array<QString, kColumns>& captions) {
  if (!m_bColumns) {
    beginInsertColumns(QModelIndex(), 0, kColumns - 1);
    m_captions = captions;
    m_bColumns = true;
    endInsertColumns();
    return;
  }
  m_captions = captions;
  emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void CErrorListModel::MakeRoom() {
  if (m_rows.size() == m_rows.capacity()) m_rows.reserve(m_rows.size() * 2 + 16);
}

bool CErrorListModel::InsertRow(int index, const std::array<std::string, kColumns>& cells,
                                const engine::RowFile& file) {
  const int rows = static_cast<int>(m_rows.size());
  if (index < 0 || index > rows) index = rows;
  try {
    StoredRow row;
    bool lossy = false;
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      row.cells[i] = QString::fromUtf8(cells[i].data(), static_cast<qsizetype>(cells[i].size()));
      // A name in another encoding comes back from the cell with replacement characters.
      lossy = lossy || row.cells[i].toUtf8() != QByteArrayView(cells[i].data(), static_cast<qsizetype>(cells[i].size()));
    }
    if (lossy) row.bytes = std::make_unique<std::array<std::string, kColumns>>(cells);
    row.file = file;
    // Room first, so that a failure leaves the model untouched.
    MakeRoom();
    beginInsertRows(QModelIndex(), index, index);
    m_rows.insert(m_rows.begin() + index, std::move(row));
    endInsertRows();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::string CErrorListModel::RowBytes(int index, int column) const {
  if (index < 0 || index >= rowCount() || column < 0 || column >= kColumns) return {};
  const StoredRow& row = m_rows[static_cast<std::size_t>(index)];
  const auto c = static_cast<std::size_t>(column);
  if (row.bytes) return (*row.bytes)[c];
  return row.cells[c].toStdString();
}

void CErrorListModel::DeleteAllItems() {
  beginResetModel();
  std::vector<StoredRow>().swap(m_rows);
  endResetModel();
}

void AttachErrorList(QTreeView& view, CErrorListModel& model, int baseX) {
  view.setModel(&model);
  QHeaderView* header = view.header();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setTextElideMode(Qt::ElideRight);
  view.setTextElideMode(Qt::ElideRight);
  const auto setWidths = [&view, baseX] {
    for (int i = 0; i < CErrorListModel::kColumns; ++i) {
      const int width = kErrorListWidths[static_cast<std::size_t>(i)];
      view.setColumnWidth(i, (width * baseX + kErrorListBaseX / 2) / kErrorListBaseX);
    }
  };
  setWidths();
  // The columns arrive when the window is first shown.
  QObject::connect(&model, &QAbstractItemModel::columnsInserted, &view, setWidths);
}

}  // namespace ui
