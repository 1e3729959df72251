#include "gui/waitpanel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace zelvano::gui {

WaitPanel::WaitPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("FrEspere"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_text = new QLabel(QStringLiteral("Cargando... Espere!!!"), this);
    m_text->setAlignment(Qt::AlignCenter);
    QFont font = m_text->font();
    font.setBold(true);
    m_text->setFont(font);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    resize(320, 90);
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
    m_value = value;
    m_bar->setValue(qBound(m_bar->minimum(), value, m_bar->maximum()));
}

int WaitPanel::value() const
{
    // What was set, also past the bar's ends.
    return m_value;
}

void WaitPanel::bringToFront()
{
    centre();
    raise();
}

void WaitPanel::centre()
{
    if (QWidget *p = parentWidget())
        move((p->width() - width()) / 2, (p->height() - height()) / 2);
}

} // namespace zelvano::gui
