#include "gui/columnfit.h"

#include <algorithm>
#include <numeric>

namespace zelvano::gui {

std::vector<int> fitColumnWidths(const std::vector<ColumnFit> &columns, int available, bool fill)
{
    std::vector<int> wanted;
    wanted.reserve(columns.size());
    for (const ColumnFit &c : columns) {
        if (c.user > 0)
            wanted.push_back(c.user);
        else
            wanted.push_back(std::max(c.floor, std::min(c.content, std::max(c.ceiling, c.floor))));
    }
    const long total = std::accumulate(wanted.begin(), wanted.end(), 0L);
    if (total > available) {
        // The widest columns give up room first: every column is cut to a
        // common cap (never below its floor), the highest cap that fits.
        auto capped = [&](int cap) {
            std::vector<int> widths = wanted;
            for (size_t i = 0; i < columns.size(); ++i)
                if (columns[i].user <= 0)
                    widths[i] = std::max(columns[i].floor, std::min(wanted[i], cap));
            return widths;
        };
        auto sum = [](const std::vector<int> &w) {
            return std::accumulate(w.begin(), w.end(), 0L);
        };
        int low = 0;
        int high = *std::max_element(wanted.begin(), wanted.end());
        while (low < high) {
            const int mid = low + (high - low + 1) / 2;
            if (sum(capped(mid)) <= available)
                low = mid;
            else
                high = mid - 1;
        }
        std::vector<int> widths = capped(low);
        // The pixels the cap could not hand out go to the cut columns, one each.
        long left = available - sum(widths);
        for (size_t i = 0; i < columns.size() && left > 0; ++i)
            if (columns[i].user <= 0 && widths[i] < wanted[i] && widths[i] >= columns[i].floor) {
                ++widths[i];
                --left;
            }
        return widths;
    }
    if (fill && total > 0 && total < available) {
        long given = 0;
        for (int &w : wanted) {
            const long extra = long(w) * (available - total) / total;
            w += int(extra);
            given += extra;
        }
        wanted.back() += int(available - total - given);
    }
    return wanted;
}

} // namespace zelvano::gui
