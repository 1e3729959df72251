#pragma once

#include <vector>

namespace zelvano::gui {

// What one column asks for: the width of its widest content, the least it
// can be given (its caption) and the most it takes; a width the user gave
// the column by hand, when there is one, wins over all three.
struct ColumnFit
{
    int content = 0;
    int floor = 0;
    int ceiling = 0;
    int user = 0; // 0: none
    // A column of free text at the end gives up its room before any other.
    bool yieldsFirst = false;
};

// Widths for columns laid side by side in `available` room: each its content
// kept between its floor and ceiling. When they do not all fit, the columns
// that yield first give up room down to their floors, then the widest of the
// others, all cut to one common width but none below its floor, so that
// narrow columns stay whole; widths the user gave stay as they are.
// With `fill`, room left over is shared out in proportion to the widths (the
// printed page).
std::vector<int> fitColumnWidths(const std::vector<ColumnFit> &columns, int available,
                                 bool fill = false);

} // namespace zelvano::gui
