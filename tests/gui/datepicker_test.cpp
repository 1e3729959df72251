#include "gui/datepicker.h"

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

using gui::parseDateText;

TEST(DateText, DayFirstWithOrWithoutSeparators)
{
    const QDate leap(2024, 2, 29);
    for (const char *text : {"29/02/2024", "29-02-2024", "29.02.2024", "29 02 2024", "29/2/2024",
                             " 29/02/2024 ", "29022024", "290224", "29/2/24", "29//2//2024"})
        EXPECT_EQ(parseDateText(QString::fromLatin1(text), 1999), std::optional(leap)) << text;
    // Day and month alone take the year given.
    EXPECT_EQ(parseDateText("5/1", 2026), std::optional(QDate(2026, 1, 5)));
    EXPECT_EQ(parseDateText("0501", 2026), std::optional(QDate(2026, 1, 5)));
    // Empty is the empty picker, not an error.
    const std::optional<QDate> empty = parseDateText("  ", 2026);
    ASSERT_TRUE(empty.has_value());
    EXPECT_FALSE(empty->isValid());
}

TEST(DateText, WhatIsNoDateIsRefused)
{
    for (const char *text :
         {"29/02/2023", "31/04/2024", "00/01/2024", "12/13/2024", "2024-01-05", "5/1/202", "29022",
          "2902202", "290220245", "1/2/3/4", "5", "ab/01/2024", "5/1/+24"})
        EXPECT_EQ(parseDateText(QString::fromLatin1(text), 2026), std::nullopt) << text;
}

} // namespace
} // namespace zelvano::test
