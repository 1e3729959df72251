#include "gui/popup.h"

#include "gui/icons.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

namespace zelvano::gui {

PopupNotice::PopupNotice(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("Popup"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xff, 0xfb, 0xe6));
    pal.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    setPalette(pal);
    setStyleSheet(QStringLiteral("#Popup { border: 1px solid #8a8a8a; }"));

    m_icon = new QLabel(this);
    m_icon->setPixmap(noticeIcon());
    m_icon->setAlignment(Qt::AlignTop);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 14, 10);
    layout->setSpacing(10);
    layout->addWidget(m_icon);
    layout->addWidget(m_text, 1);

    m_hideTimer.setSingleShot(true);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void PopupNotice::showNotice(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_text->setText(shown);
    setFixedSize(kWidth, kHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(placement(screen->geometry()));
    show();
    raise();
    m_hideTimer.start(kShowMs);
}

QPoint PopupNotice::placement(const QRect &screen)
{
    return {screen.right() + 1 - kWidth - kRightMargin,
            screen.bottom() + 1 - kBottomMargin - kHeight};
}

void PopupNotice::mousePressEvent(QMouseEvent *)
{
    hide();
}

} // namespace zelvano::gui
