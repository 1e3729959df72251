#include "gui/icons.h"

#include "common/tripgrid.h"

#include <QPainter>
#include <QPainterPath>

namespace zelvano::gui {

namespace {

QPixmap canvas(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A map pin; crossed out when there is no position.
QPixmap pin(bool crossed)
{
    QPixmap pixmap = canvas(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = crossed ? QColor(0x90, 0x90, 0x90) : QColor(0x1f, 0x6f, 0xd0);
    QPainterPath path;
    path.moveTo(8, 15);
    path.cubicTo(3, 9, 2.5, 7, 2.5, 6);
    path.arcTo(2.5, 0.5, 11, 11, 180, -180);
    path.cubicTo(13.5, 7, 13, 9, 8, 15);
    p.setPen(QPen(body.darker(140), 1));
    p.setBrush(body);
    p.drawPath(path);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(8, 6), 2.2, 2.2);
    if (crossed) {
        p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2, 2), QPointF(14, 14));
    }
    return pixmap;
}

QPixmap storedMark()
{
    QPixmap pixmap = canvas(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9e, 0x3e));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF tick[] = {{4.5, 8.5}, {7, 11}, {11.5, 5.5}};
    p.drawPolyline(tick, 3);
    return pixmap;
}

} // namespace

QImage programIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1b, 0x7a, 0x43));
    p.drawRoundedRect(QRectF(0.5 * s, 0.5 * s, 15 * s, 15 * s), 3 * s, 3 * s);
    // A "Z" for the program's name.
    p.setPen(QPen(Qt::white, 2.2 * s, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const QPointF z[] = {
        {4 * s, 4.5 * s}, {12 * s, 4.5 * s}, {4 * s, 11.5 * s}, {12 * s, 11.5 * s}};
    p.drawPolyline(z, 4);
    return image;
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

QPixmap gridIcon(int number)
{
    switch (number) {
    case TripGrid::kStoredIcon:
        return storedMark();
    case TripGrid::kGpsIcon:
        return pin(false);
    case TripGrid::kNoGpsIcon:
        return pin(true);
    default:
        return QPixmap();
    }
}

QIcon closePanelIcon()
{
    QPixmap pixmap = canvas(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    return QIcon(pixmap);
}

QPixmap noticeIcon()
{
    QPixmap pixmap = canvas(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x6f, 0xd0));
    p.drawEllipse(QRectF(1, 1, 30, 30));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9), 2.5, 2.5);
    p.drawRoundedRect(QRectF(13.5, 13, 5, 12), 1.5, 1.5);
    return pixmap;
}

} // namespace zelvano::gui
