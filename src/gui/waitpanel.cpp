#include "gui/waitpanel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace zelvano::gui {

namespace {

constexpr int kMinimumWidth = 320;
constexpr int kSideMargin = 16;
// Room left between the panel and the window's edges.
constexpr int kWindowMargin = 24;

} // namespace

WaitPanel::WaitPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("FrEspere"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_text = new QLabel(QStringLiteral("Cargando... Espere!!!"), this);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    QFont font = m_text->font();
    font.setBold(true);
    m_text->setFont(font);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_count = new QLabel(this);
    m_count->setAlignment(Qt::AlignCenter);
    m_count->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSideMargin, 12, kSideMargin, 12);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(m_count);
    resize(kMinimumWidth, 90);
    QFrame::setVisible(false);
}

void WaitPanel::setVisible(bool visible)
{
    if (visible)
        centre();
    QFrame::setVisible(visible);
}

void WaitPanel::setText(const QString &text)
{
    m_text->setText(text);
    centre();
}

QString WaitPanel::text() const
{
    return m_text->text();
}

void WaitPanel::setMaximum(int maximum)
{
    m_bar->setMaximum(maximum);
}

int WaitPanel::maximum() const
{
    return m_bar->maximum();
}

void WaitPanel::setValue(int value)
{
    if (value <= 0) {
        // A new run of the bar.
        m_steps = 0;
        m_restarted = false;
    } else if (value < m_value) {
        m_restarted = true;
        ++m_steps;
    } else {
        m_steps += value - m_value;
    }
    m_value = value;
    m_bar->setValue(qBound(m_bar->minimum(), value, m_bar->maximum()));
    const bool counting = m_restarted;
    m_count->setText(countText());
    if (counting != m_count->isVisibleTo(this)) {
        m_count->setVisible(counting);
        centre();
    }
}

int WaitPanel::value() const
{
    // What was set, also past the bar's ends.
    return m_value;
}

QString WaitPanel::countText() const
{
    return m_restarted ? QStringLiteral("viaje %1").arg(m_steps) : QString();
}

bool WaitPanel::barShowsShare() const
{
    return m_bar->isTextVisible();
}

void WaitPanel::bringToFront()
{
    centre();
    raise();
}

void WaitPanel::centre()
{
    QWidget *p = parentWidget();
    const int room = p ? std::max(kMinimumWidth, p->width() - 2 * kWindowMargin) : 640;
    // One line when the window has room for it, wrapped lines when not.
    const int textWidth = m_text->fontMetrics().horizontalAdvance(m_text->text());
    const int width =
        std::clamp(textWidth + 2 * kSideMargin + 2 * frameWidth() + 8, kMinimumWidth, room);
    int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                               : layout()->totalSizeHint().height();
    height = std::max(height, layout()->totalMinimumSize().height());
    resize(width, height);
    if (p)
        move((p->width() - width) / 2, (p->height() - height) / 2);
}

} // namespace zelvano::gui
