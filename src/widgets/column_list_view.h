#pragma once

// The four tables of the main window (accounts, clients, monitored files, transfers) come
// from their units as text lines with the fields separated by "||", so the list takes
// exactly that and nothing else: the units stay free of Qt and the list stays free of
// their record types. A model/view pair per table was rejected; it would duplicate every
// unit's locking and copying for lists of a few dozen rows redrawn every two seconds.

#include <QTreeWidget>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The fields of one line. Every field ends in "||"; text after the last "||" is a field of
// its own only when it is not empty, so "a||b||" gives two fields and "a||b" too.
std::vector<std::string> SplitColumns(std::string_view line);

// Owned by its parent window; main thread only. Sorting is the owner's business: a header
// click is only reported, because the units sort their own tables (stable, by their rules)
// and hand out the lines again.
class ColumnListView : public QTreeWidget {
  Q_OBJECT

 public:
  struct Column {
    QString caption;
    int width = 100;
  };

  explicit ColumnListView(const std::vector<Column>& columns, QWidget* parent = nullptr);

  // Replaces the rows. Items are reused in place, so a list redrawn every tick keeps its
  // scroll position and the selected row index.
  void SetLines(const std::vector<std::string>& lines);

  // -1 without a selection.
  int SelectedRow() const;
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
