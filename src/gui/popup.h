#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace zelvano::gui {

// The small notice at the bottom right of the screen: frameless, never takes
// the focus, hides itself after a few seconds. 290 x 120 (device-independent
// pixels), its lower edge 40 above the bottom of the screen.
class PopupNotice final : public QWidget
{
    Q_OBJECT
public:
    explicit PopupNotice(QWidget *parent = nullptr);

    void showNotice(const QString &text);
    QString text() const { return m_text->text(); }

    static constexpr int kShowMs = 6000;
    static constexpr int kWidth = 290;
    static constexpr int kHeight = 120;
    static constexpr int kBottomMargin = 40;
    static constexpr int kRightMargin = 12;
    // Its top-left corner on a screen of that geometry.
    static QPoint placement(const QRect &screen);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_text;
    QTimer m_hideTimer;
};

} // namespace zelvano::gui
