#pragma once

// The four tables of the main window (accounts, clients, monitored files, transfers) come
// from their units as copies of typed rows, and each row type has a function giving its
// cells as text; the list takes those cells and nothing else, so the units stay free of
// Qt and the list stays free of their record types. A model/view pair per table was
// rejected; it would duplicate every unit's locking and copying for lists of a few dozen
// rows redrawn every two seconds.

#include <QStringList>
#include <QTreeWidget>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// Owned by its parent window; main thread only. Sorting is the owner's business: a header
// click is only reported, because the order follows the row type's rules (a date column
// does not sort by its text), and the owner sorts its copy of the rows before showing it.
class ColumnListView : public QTreeWidget {
  Q_OBJECT

 public:
  struct Column {
    QString caption;
    int width = 100;
  };

  explicit ColumnListView(const std::vector<Column>& columns, QWidget* parent = nullptr);

  // Replaces the rows, one list of cells a row: missing cells show empty, cells beyond the
  // columns are dropped. Items are reused in place, so a list redrawn every tick keeps its
  // scroll position and the selected row index.
  void SetRows(const std::vector<QStringList>& rows);
  // The same from a unit's rows and the function that gives a row's cells.
  template <typename Row, typename CellsOf>
  void ShowRows(const std::vector<Row>& rows, CellsOf cells_of) {
    std::vector<QStringList> shown;
    shown.reserve(rows.size());
    for (const Row& row : rows) {
      QStringList cells;
      for (const std::string& cell : cells_of(row))
        cells << QString::fromStdString(cell);
      shown.push_back(std::move(cells));
    }
    SetRows(shown);
  }

  // The selected row's cell; nothing without a selection.
  std::optional<std::string> SelectedField(int column) const;

  std::vector<int> ColumnWidths() const;
  // Negative widths are skipped: they come from a damaged layout file.
  void SetColumnWidths(const std::vector<int>& widths);

  // A right-button release over the list clears its selection.
  void SetClearSelectionOnRightRelease(bool enabled) { clear_on_right_release_ = enabled; }

 signals:
  void HeaderClicked(int section);
  void ColumnResized(int section, int width);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool clear_on_right_release_ = false;
};

}  // namespace vantrel
