#include "gui/columnfit.h"

#include <algorithm>
#include <numeric>

namespace zelvano::gui {

namespace {

long sum(const std::vector<int> &widths)
{
    return std::accumulate(widths.begin(), widths.end(), 0L);
}

// Cuts the chosen columns to the highest common cap (never below a floor)
// at which all widths fit `available`; the pixels the cap leaves go to the
// cut columns one by one.
void capColumns(std::vector<int> &widths, const std::vector<ColumnFit> &columns,
                const std::vector<bool> &chosen, long available)
{
    const std::vector<int> wanted = widths;
    auto capped = [&](int cap) {
        std::vector<int> w = wanted;
        for (size_t i = 0; i < columns.size(); ++i)
            if (chosen[i])
                w[i] = std::max(columns[i].floor, std::min(wanted[i], cap));
        return w;
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
    widths = capped(low);
    long left = available - sum(widths);
    for (size_t i = 0; i < columns.size() && left > 0; ++i)
        if (chosen[i] && widths[i] < wanted[i]) {
            ++widths[i];
            --left;
        }
}

} // namespace

std::vector<int> fitColumnWidths(const std::vector<ColumnFit> &columns, int available, bool fill)
{
    std::vector<int> widths;
    widths.reserve(columns.size());
    for (const ColumnFit &c : columns) {
        if (c.user > 0)
            widths.push_back(c.user);
        else
            widths.push_back(std::max(c.floor, std::min(c.content, std::max(c.ceiling, c.floor))));
    }
    if (widths.empty())
        return widths;
    const long total = sum(widths);
    if (total > available) {
        std::vector<bool> yielding(columns.size()), others(columns.size());
        for (size_t i = 0; i < columns.size(); ++i) {
            yielding[i] = columns[i].user <= 0 && columns[i].yieldsFirst;
            others[i] = columns[i].user <= 0 && !columns[i].yieldsFirst;
        }
        capColumns(widths, columns, yielding, available);
        if (sum(widths) > available)
            capColumns(widths, columns, others, available);
        return widths;
    }
    if (fill && total > 0 && total < available) {
        long given = 0;
        for (int &w : widths) {
            const long extra = long(w) * (available - total) / total;
            w += int(extra);
            given += extra;
        }
        widths.back() += int(available - total - given);
    }
    return widths;
}

} // namespace zelvano::gui
