#include "gui/columnfit.h"

#include <gtest/gtest.h>

#include <numeric>

namespace zelvano::test {
namespace {

using gui::ColumnFit;
using gui::fitColumnWidths;

int total(const std::vector<int> &widths)
{
    return std::accumulate(widths.begin(), widths.end(), 0);
}

// Id, Receta, GPS, Suceso: content, floor, ceiling, user, yields first.
std::vector<ColumnFit> tripColumns()
{
    return {{110, 110, 180, 0, false},
            {170, 60, 260, 0, false},
            {160, 40, 200, 0, false},
            {400, 60, 360, 0, true}};
}

TEST(ColumnFit, EachColumnItsContentWithinItsBounds)
{
    EXPECT_EQ(fitColumnWidths(tripColumns(), 2000), (std::vector<int>{110, 170, 160, 360}));
    // Less content than the caption: the caption's width.
    EXPECT_EQ(fitColumnWidths({{20, 50, 180, 0, false}}, 500), (std::vector<int>{50}));
}

TEST(ColumnFit, FreeTextGivesWayFirstThenTheWidest)
{
    // 800 wanted in 600: Suceso alone gives up room, the others stay whole.
    std::vector<int> w = fitColumnWidths(tripColumns(), 600);
    EXPECT_EQ(w, (std::vector<int>{110, 170, 160, 160}));
    // Suceso down to its floor, then Receta and GPS cut to one width.
    w = fitColumnWidths(tripColumns(), 460);
    EXPECT_EQ(total(w), 460);
    EXPECT_EQ(w[0], 110);
    EXPECT_EQ(w[3], 60);
    EXPECT_LE(std::abs(w[1] - w[2]), 1);
    // Never below a floor, even when that does not fit.
    w = fitColumnWidths(tripColumns(), 100);
    EXPECT_EQ(w, (std::vector<int>{110, 60, 40, 60}));
}

TEST(ColumnFit, UserWidthsStayAsGiven)
{
    std::vector<ColumnFit> columns = tripColumns();
    columns[3].user = 300; // widened by hand to read the tablet's messages
    std::vector<int> w = fitColumnWidths(columns, 600);
    EXPECT_EQ(w[3], 300);
    EXPECT_EQ(total(w), 600);
    EXPECT_EQ(w[0], 110);
}

TEST(ColumnFit, PageIsFilledExactly)
{
    const std::vector<int> w = fitColumnWidths(tripColumns(), 1001, true);
    EXPECT_EQ(total(w), 1001);
    EXPECT_GT(w[1], 170);
}

} // namespace
} // namespace zelvano::test
