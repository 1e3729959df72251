#include "cli/gridtext.h"
#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "download/download.h"

#include <gtest/gtest.h>

namespace zelvano {
namespace {

TEST(GridText, GridPrintedAsTextAndJson)
{
    TripGrid grid;
    resetTripGrid(grid);
    const int row = grid.addRow();
    grid.setValue(row, TripCell::Id, 501);
    grid.setValue(row, TripCell::Receta, QStringLiteral("Dieta \"A\""));
    grid.setIcon(row, TripCell::Id, TripGrid::kStoredIcon);
    const int load = grid.addChild(row);
    grid.setChildBackground(row, load, TripGrid::kLoadBackground);
    grid.setChildValue(row, load, LoadCell::Kind, QStringLiteral("Carga"));
    const int unload = grid.addChild(row);
    grid.setChildBackground(row, unload, TripGrid::kUnloadBackground);
    grid.setChildValue(row, unload, UnloadCell::Kind, QStringLiteral("Descarga"));
    grid.setChildIcon(row, unload, UnloadCell::Gps, TripGrid::kNoGpsIcon);

    const QString json = tripGridJson(grid);
    EXPECT_TRUE(json.startsWith(QStringLiteral("[{\"cells\": [\"501\", \"\", \"Dieta \\\"A\\\"\", ")))
        << json.toStdString();
    EXPECT_TRUE(json.contains(QStringLiteral("\"stored\": true")));
    EXPECT_TRUE(json.contains(QStringLiteral("\"background\": \"C0FFC0\", \"icon\": null")));
    EXPECT_TRUE(json.contains(QStringLiteral("\"background\": \"FFFFC0\", \"icon\": 8")));
    EXPECT_EQ(json.count(QStringLiteral("\"cells\"")), 3);

    const QStringList lines = tripGridText(grid).split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("  Id | Fecha | Receta")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("* 501 |  | Dieta \"A\"")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("      Carga | ")));
}

} // namespace
} // namespace zelvano
