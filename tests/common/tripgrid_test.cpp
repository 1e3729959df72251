#include "common/tripgrid.h"

#include <gtest/gtest.h>

using namespace zelvano;

// A snapshot is what the save walks while the window goes on; whatever is
// done to the grid afterwards, the snapshot keeps the rows it was taken of.
TEST(TripGrid, SnapshotsKeepTheirRowsWhateverIsDoneToTheGrid)
{
    TripGrid grid;
    grid.addColumn(TripGrid::Column{});
    grid.addColumn(TripGrid::Column{});
    const int trip = grid.addRow();
    grid.setValue(trip, 0, 101);
    const int load = grid.addChild(trip);
    grid.setChildValue(trip, load, 1, QStringLiteral("Maiz"));

    const auto before = grid.snapshot();
    grid.setValue(trip, 0, 202);
    grid.setChildValue(trip, load, 1, QStringLiteral("Soja"));
    grid.setIcon(trip, 0, TripGrid::kStoredIcon);
    grid.addChild(trip);
    grid.addRow();
    ASSERT_EQ(before->size(), 1u);
    EXPECT_EQ(before->at(0).value(0).toInt(), 101);
    EXPECT_EQ(before->at(0).cells[0].icon, TripGrid::kNoIcon);
    ASSERT_EQ(before->at(0).children.size(), 1u);
    EXPECT_EQ(before->at(0).children[0].value(1).toString(), "Maiz");
    EXPECT_EQ(grid.row(0).value(0).toInt(), 202);
    EXPECT_EQ(grid.child(0, 0).value(1).toString(), "Soja");
    EXPECT_EQ(grid.rowCount(), 2);

    const auto during = grid.snapshot();
    grid.clearRows();
    grid.removeRow(grid.addRow());
    EXPECT_EQ(during->size(), 2u);
    EXPECT_EQ(grid.rowCount(), 0);
    // Without a snapshot held the grid changes in place.
    EXPECT_EQ(grid.snapshot()->size(), 0u);
}
