#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace zelvano::gui {

// The program's own small images, drawn here rather than loaded from files.
QIcon programIcon();
// The same drawing at any size (the installed icon files are made from it).
QImage programIconImage(int size);
// The trip grid's icons by number: 1 trip already stored, 7 unload with a
// position, 8 unload without one. A null pixmap for any other number.
QPixmap gridIcon(int number);
// The cross on the button that closes the event panel.
QIcon closePanelIcon();
// The information mark of the pop-up notice.
QPixmap noticeIcon();

} // namespace zelvano::gui
