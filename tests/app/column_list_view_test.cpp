#include "widgets/column_list_view.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "app/qt_printers.h"

namespace vantrel {
namespace {

class ColumnListViewTest : public ::testing::Test {
 protected:
  ColumnListView list_{{{"Name", 120}, {"Count", 50}, {"Last", 90}}};

  QStringList Row(int row) const {
    QStringList cells;
    for (int column = 0; column < list_.columnCount(); ++column)
      cells << list_.topLevelItem(row)->text(column);
    return cells;
  }
};

TEST_F(ColumnListViewTest, CellsFillTheColumnsAndRedrawsReuseRows) {
  list_.SetRows({{"a", "1", "x"}, {"b", "2"}, {"c", "3", "z", "extra"}});
  ASSERT_EQ(list_.topLevelItemCount(), 3);
  EXPECT_EQ(Row(0), QStringList({"a", "1", "x"}));
  EXPECT_EQ(Row(1), QStringList({"b", "2", ""})) << "missing fields show empty";
  EXPECT_EQ(Row(2), QStringList({"c", "3", "z"})) << "fields beyond the columns are dropped";

  list_.setCurrentItem(list_.topLevelItem(1));
  QTreeWidgetItem* second = list_.topLevelItem(1);
  list_.ShowRows(std::vector<std::string>{"a", "b"}, [](const std::string& name) {
    return std::vector<std::string>{name, name == "b" ? "5" : "1", name == "b" ? "y" : "x"};
  });
  ASSERT_EQ(list_.topLevelItemCount(), 2);
  EXPECT_EQ(list_.topLevelItem(1), second) << "a redraw keeps the row objects";
  EXPECT_EQ(Row(1), QStringList({"b", "5", "y"}));
  EXPECT_EQ(list_.SelectedField(0), "b");
  EXPECT_EQ(list_.SelectedField(7), std::nullopt);

  list_.SetRows({});
  EXPECT_EQ(list_.topLevelItemCount(), 0);
  EXPECT_EQ(list_.SelectedField(0), std::nullopt);
}

TEST_F(ColumnListViewTest, WidthsComeAndGoAndDamagedOnesAreSkipped) {
  EXPECT_EQ(list_.ColumnWidths(), (std::vector<int>{120, 50, 90}));
  list_.SetColumnWidths({200, -5, 30, 999});
  EXPECT_EQ(list_.ColumnWidths(), (std::vector<int>{200, 50, 30}));
}

TEST_F(ColumnListViewTest, HeaderReportsClicksAndResizes) {
  QSignalSpy clicks(&list_, &ColumnListView::HeaderClicked);
  QSignalSpy resizes(&list_, &ColumnListView::ColumnResized);
  emit list_.header()->sectionClicked(2);
  list_.header()->resizeSection(1, 77);
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks.at(0).at(0).toInt(), 2);
  ASSERT_EQ(resizes.count(), 1);
  EXPECT_EQ(resizes.at(0).at(0).toInt(), 1);
  EXPECT_EQ(resizes.at(0).at(1).toInt(), 77);
}

TEST_F(ColumnListViewTest, RightReleaseClearsTheSelectionOnlyWhenAsked) {
  list_.resize(400, 200);
  list_.show();
  list_.SetRows({{"a", "1"}, {"b", "2"}});
  const QPoint inside = list_.visualItemRect(list_.topLevelItem(1)).center();

  list_.setCurrentItem(list_.topLevelItem(0));
  QTest::mouseRelease(list_.viewport(), Qt::RightButton, {}, inside);
  EXPECT_EQ(list_.SelectedField(0), "a");

  list_.SetClearSelectionOnRightRelease(true);
  QTest::mouseRelease(list_.viewport(), Qt::RightButton, {}, inside);
  EXPECT_EQ(list_.SelectedField(0), std::nullopt);
}

}  // namespace
}  // namespace vantrel
