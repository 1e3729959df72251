#include "common/datetexts.h"
#include "common/windowstatus.h"

#include <QVariant>

#include <gtest/gtest.h>

using namespace zelvano;

TEST(DateTexts, DayFirstDatesAndTwentyFourHourTimes)
{
    EXPECT_EQ(DateTexts::date(QDate(2026, 12, 7)), "07/12/2026");
    EXPECT_EQ(DateTexts::date(QDate()), "");
    EXPECT_EQ(DateTexts::time(QTime(14, 5, 9)), "14:05:09");
    EXPECT_EQ(DateTexts::dateTime(QDateTime(QDate(2026, 3, 12), QTime(6, 5, 9))), "12/03/2026 06:05:09");
    EXPECT_EQ(DateTexts::dateTime(QDateTime(QDate(2026, 3, 12), QTime(0, 0))), "12/03/2026");
    EXPECT_EQ(DateTexts::parseDate("5/1/2024"), QDate(2024, 1, 5));
    EXPECT_EQ(DateTexts::parseDate("2024-01-05"), QDate(2024, 1, 5));
    EXPECT_EQ(DateTexts::parseDate("20240105"), QDate(2024, 1, 5));
    EXPECT_FALSE(DateTexts::parseDate("05-01-2024").isValid());
}

TEST(DateTexts, HoursMinutesOfAnyTimeText)
{
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("7:30")), "07:30");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("07:30:00")), "07:30");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("23:59:59")), "23:59");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant(QTime(6, 5))), "06:05");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("")), "");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant()), "");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("25:00")), "");
}

TEST(DateTexts, TimeTextsAcceptedAndRefused)
{
    EXPECT_EQ(DateTexts::parseTime("06:00:00"), QTime(6, 0, 0));
    EXPECT_EQ(DateTexts::parseTime(" 6:5 "), QTime(6, 5, 0));
    EXPECT_EQ(DateTexts::parseTime("\t23:59:59.250\r\n"), QTime(23, 59, 59));
    EXPECT_EQ(DateTexts::parseTime("7:30.5"), QTime(7, 30, 0));
    for (const char *refused : {"", " ", "7", "7:", "07:30:", "07:30.", "123:00", "07:300",
                                "07:30:00 x", "07-30", "24:00", "07:60", "٠٧:٣٠"})
        EXPECT_FALSE(DateTexts::parseTime(QString::fromUtf8(refused)).isValid()) << refused;
}

TEST(DateTexts, TwelveHourTimesReadAsTheTimeTheyMean)
{
    EXPECT_EQ(DateTexts::parseTime("7:30 PM"), QTime(19, 30));
    EXPECT_EQ(DateTexts::parseTime("07:30 p.m."), QTime(19, 30));
    EXPECT_EQ(DateTexts::parseTime("07:30 p. m."), QTime(19, 30));
    EXPECT_EQ(DateTexts::parseTime("7:30:00 a.m."), QTime(7, 30));
    EXPECT_EQ(DateTexts::parseTime("7:30am"), QTime(7, 30));
    EXPECT_EQ(DateTexts::parseTime("12:00 AM"), QTime(0, 0));
    EXPECT_EQ(DateTexts::parseTime("12:05:09 am"), QTime(0, 5, 9));
    EXPECT_EQ(DateTexts::parseTime("12:00 PM"), QTime(12, 0));
    EXPECT_EQ(DateTexts::parseTime("11:59 PM "), QTime(23, 59));
    EXPECT_EQ(DateTexts::parseTime("13:15 PM"), QTime(13, 15));
    for (const char *refused :
         {"7:30 P", "7:30 PX", "7:30 M", "7:30 PM x", "7:30 p.m.m", "25:00 PM"})
        EXPECT_FALSE(DateTexts::parseTime(QString::fromUtf8(refused)).isValid()) << refused;
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("7:30 PM")), "19:30");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("12:00 AM")), "00:00");
    EXPECT_EQ(DateTexts::hoursMinutes(QVariant("07/12/2026 07:30:00 p.m.")), "19:30");
}

TEST(DateTexts, Caption)
{
    EXPECT_EQ(windowCaption(""), "Zelvano - V.1.0.0 - ");
    EXPECT_EQ(windowCaption("Ultima descarga a las 10:00:00"),
              "Zelvano - V.1.0.0 - Ultima descarga a las 10:00:00");
}

// The test main sets the environment every test executable runs in.
TEST(TestEnvironment, IsSetByTheTestMain)
{
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
    EXPECT_EQ(qgetenv("LC_ALL"), "C.UTF-8");
}
