#include "widgets/column_list_view.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace vantrel {

ColumnListView::ColumnListView(const std::vector<Column>& columns, QWidget* parent)
    : QTreeWidget(parent) {
  setColumnCount(static_cast<int>(columns.size()));
  QStringList captions;
  for (const Column& column : columns)
    captions << column.caption;
  setHeaderLabels(captions);
  for (int i = 0; i < static_cast<int>(columns.size()); ++i)
    header()->resizeSection(i, columns[static_cast<std::size_t>(i)].width);

  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAlternatingRowColors(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  // The widths are the operator's, saved with the window layout: nothing stretches them.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  header()->setSectionsClickable(true);
  header()->setSectionsMovable(false);

  connect(header(), &QHeaderView::sectionClicked, this, &ColumnListView::HeaderClicked);
  connect(
      header(), &QHeaderView::sectionResized, this,
      [this](int section, int /*old_width*/, int width) { emit ColumnResized(section, width); });
}

void ColumnListView::SetRows(const std::vector<QStringList>& rows) {
  const int count = static_cast<int>(rows.size());
  while (topLevelItemCount() > count)
    delete takeTopLevelItem(topLevelItemCount() - 1);
  for (int row = 0; row < count; ++row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr)
      item = new QTreeWidgetItem(this);
    const QStringList& cells = rows[static_cast<std::size_t>(row)];
    for (int column = 0; column < columnCount(); ++column) {
      const QString text = column < cells.size() ? cells[column] : QString();
      if (item->text(column) != text)
        item->setText(column, text);
    }
  }
}

std::optional<std::string> ColumnListView::SelectedField(int column) const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.isEmpty() || column < 0 || column >= columnCount())
    return std::nullopt;
  return selected.front()->text(column).toStdString();
}

std::vector<int> ColumnListView::ColumnWidths() const {
  std::vector<int> widths;
  for (int i = 0; i < columnCount(); ++i)
    widths.push_back(header()->sectionSize(i));
  return widths;
}

void ColumnListView::SetColumnWidths(const std::vector<int>& widths) {
  const int count = std::min(columnCount(), static_cast<int>(widths.size()));
  for (int i = 0; i < count; ++i) {
    if (widths[static_cast<std::size_t>(i)] >= 0)
      header()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
  }
}

void ColumnListView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (clear_on_right_release_ && event->button() == Qt::RightButton)
    clearSelection();
}

}  // namespace vantrel
