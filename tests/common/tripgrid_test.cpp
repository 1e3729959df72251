#include "common/gridcolumns.h"
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
    grid.setValue(trip, TripCell::Id, 101);
    const int load = grid.addChild(trip);
    grid.setChildValue(trip, load, LoadCell::Hora, QStringLiteral("06:00"));

    const auto before = grid.snapshot();
    grid.setValue(trip, TripCell::Id, 202);
    grid.setChildValue(trip, load, LoadCell::Hora, QStringLiteral("07:30"));
    grid.setIcon(trip, TripCell::Id, TripGrid::kStoredIcon);
    grid.addChild(trip);
    grid.addRow();
    ASSERT_EQ(before->size(), 1u);
    EXPECT_EQ(before->at(0).value(TripCell::Id).toInt(), 101);
    EXPECT_EQ(before->at(0).cells[TripCell::Id].icon, TripGrid::kNoIcon);
    ASSERT_EQ(before->at(0).children.size(), 1u);
    EXPECT_EQ(before->at(0).children[0].value(LoadCell::Hora).toString(), "06:00");
    EXPECT_EQ(grid.row(0).value(TripCell::Id).toInt(), 202);
    EXPECT_EQ(grid.child(0, 0).value(LoadCell::Hora).toString(), "07:30");
    EXPECT_EQ(grid.rowCount(), 2);

    const auto during = grid.snapshot();
    grid.clearRows();
    grid.removeRow(grid.addRow());
    EXPECT_EQ(during->size(), 2u);
    EXPECT_EQ(grid.rowCount(), 0);
    // Without a snapshot held the grid changes in place.
    EXPECT_EQ(grid.snapshot()->size(), 0u);
}
