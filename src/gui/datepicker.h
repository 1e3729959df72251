#pragma once

#include <QDate>
#include <QWidget>

#include <functional>
#include <optional>

class QCalendarWidget;
class QFrame;
class QLineEdit;
class QToolButton;

namespace zelvano::gui {

// A date as a person types it, day first: "29/02/2024", "29-2-24",
// "29.02.2024", "29 2 2024", "29022024", "290224", or "29/2" (in `year`).
// Two-digit years are 2000 to 2099. An empty text gives an invalid QDate;
// a text that is no date gives nullopt.
std::optional<QDate> parseDateText(const QString &text, int year);

// A date field to type into or pick from a calendar. What is typed is taken
// when the field loses the focus or Enter is pressed: a date is shown again
// as dd/MM/yyyy, anything else gives the field its last date back. A picker
// that may be empty shows nothing until a date is chosen.
class DatePicker final : public QWidget
{
    Q_OBJECT
public:
    DatePicker(bool mayBeEmpty, QWidget *parent);

    // Invalid while the field is empty.
    QDate date() const { return m_date; }
    // An invalid date empties a picker that may be empty, else it is ignored.
    void setDate(const QDate &date);
    // What the field shows now, typed text included.
    QString text() const;

    // Takes the typed text; false when it was no date and was put back.
    bool commit();

    // The calendar, opened at the field's date, or at `emptyAnchor()` when
    // the field is empty (today unless told otherwise).
    void showCalendar();
    QCalendarWidget *calendar() const { return m_calendar; }
    bool calendarVisible() const;
    std::function<QDate()> emptyAnchor;

    QLineEdit *lineEdit() const { return m_edit; }

signals:
    void dateChanged(const QDate &date);
    // The text typed was no date (it was put back): the window says so.
    void refused(const QString &typed);
    // Enter took a date (or the field's empty value).
    void returnPressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showDate();
    void choose(const QDate &date);

    bool m_mayBeEmpty;
    QDate m_date;
    QLineEdit *m_edit;
    QToolButton *m_button;
    QFrame *m_popup;
    QCalendarWidget *m_calendar;
};

} // namespace zelvano::gui
