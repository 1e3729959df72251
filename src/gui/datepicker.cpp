#include "gui/datepicker.h"

#include <QCalendarWidget>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QToolButton>

namespace zelvano::gui {

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

bool digits(const QString &text, qsizetype from, qsizetype to)
{
    if (text.isEmpty() || from < 1 || from > to)
        return false;
    const qsizetype n = text.size();
    if (n < from || n > to)
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

} // namespace

std::optional<QDate> parseDateText(const QString &text, int year)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QDate();
    static const QRegularExpression separators(QStringLiteral("[/.\\-\\s]+"));
    QString day, month, yearText;
    if (t.contains(separators)) {
        const QStringList parts = t.split(separators, Qt::SkipEmptyParts);
        if (parts.size() < 2 || parts.size() > 3)
            return std::nullopt;
        day = parts[0];
        month = parts[1];
        if (parts.size() == 3)
            yearText = parts[2];
        if (!digits(day, 1, 2) || !digits(month, 1, 2))
            return std::nullopt;
    } else {
        // Digits only: ddMM, ddMMyy or ddMMyyyy.
        if (!digits(t, 4, 8) || t.size() == 5 || t.size() == 7)
            return std::nullopt;
        day = t.left(2);
        month = t.mid(2, 2);
        yearText = t.mid(4);
    }
    if (!yearText.isEmpty()) {
        if (!digits(yearText, 2, 4) || yearText.size() == 3)
            return std::nullopt;
        year = yearText.toInt() + (yearText.size() == 2 ? 2000 : 0);
    }
    const QDate date(year, month.toInt(), day.toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

DatePicker::DatePicker(bool mayBeEmpty, QWidget *parent) : QWidget(parent), m_mayBeEmpty(mayBeEmpty)
{
    m_edit = new QLineEdit(this);
    m_edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9/.\\- ]{0,10}")), m_edit));
    if (mayBeEmpty)
        m_edit->setPlaceholderText(QStringLiteral("dd/mm/aaaa"));
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::editingFinished, this, [this] { commit(); });

    m_button = new QToolButton(this);
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setToolTip(QStringLiteral("Calendario (Alt+Abajo)"));
    connect(m_button, &QToolButton::clicked, this, [this] { showCalendar(); });

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);

    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setFrameShape(QFrame::StyledPanel);
    m_calendar = new QCalendarWidget(m_popup);
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setFirstDayOfWeek(Qt::Monday);
    auto *popupLayout = new QHBoxLayout(m_popup);
    popupLayout->setContentsMargins(1, 1, 1, 1);
    popupLayout->addWidget(m_calendar);
    connect(m_calendar, &QCalendarWidget::clicked, this, [this](QDate d) { choose(d); });
    connect(m_calendar, &QCalendarWidget::activated, this, [this](QDate d) { choose(d); });

    showDate();
}

void DatePicker::setDate(const QDate &date)
{
    if (!date.isValid() && !m_mayBeEmpty)
        return;
    const bool changed = date != m_date;
    m_date = date;
    showDate();
    if (changed)
        emit dateChanged(m_date);
}

QString DatePicker::text() const
{
    return m_edit->text();
}

void DatePicker::showDate()
{
    m_edit->setText(m_date.isValid() ? m_date.toString(kDateFormat) : QString());
}

bool DatePicker::commit()
{
    const QDate anchor = emptyAnchor ? emptyAnchor() : QDate::currentDate();
    const int year = m_date.isValid() ? m_date.year() : anchor.year();
    const std::optional<QDate> typed = parseDateText(m_edit->text(), year);
    if (!typed || (!typed->isValid() && !m_mayBeEmpty)) {
        const QString text = m_edit->text().trimmed();
        showDate();
        if (!text.isEmpty())
            emit refused(text);
        return false;
    }
    setDate(*typed);
    showDate();
    return true;
}

bool DatePicker::calendarVisible() const
{
    return m_popup->isVisible();
}

void DatePicker::showCalendar()
{
    // Whatever was typed counts before the calendar opens at it.
    commit();
    const QDate at =
        m_date.isValid() ? m_date : (emptyAnchor ? emptyAnchor() : QDate::currentDate());
    m_calendar->setSelectedDate(at);
    m_calendar->setCurrentPage(at.year(), at.month());
    m_popup->adjustSize();

    // Below the field, or above it when the screen ends first.
    QPoint pos = mapToGlobal(QPoint(0, height()));
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (pos.y() + m_popup->height() > area.bottom())
            pos.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        pos.setX(std::clamp(pos.x(), area.left(),
                            std::max(area.left(), area.right() - m_popup->width())));
    }
    m_popup->move(pos);
    m_popup->show();
    m_calendar->setFocus();
}

void DatePicker::choose(const QDate &date)
{
    m_popup->hide();
    setDate(date);
    m_edit->setFocus();
}

bool DatePicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F4 ||
            (key->key() == Qt::Key_Down && key->modifiers().testFlag(Qt::AltModifier))) {
            showCalendar();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            key->modifiers() == Qt::NoModifier) {
            if (commit())
                emit returnPressed();
            return true;
        }
        if (key->key() == Qt::Key_Escape &&
            m_edit->text() != (m_date.isValid() ? m_date.toString(kDateFormat) : QString())) {
            showDate();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zelvano::gui
