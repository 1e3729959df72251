#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace zelvano::gui {

// The small notice at the bottom right of the screen: frameless, never takes
// the focus, hides itself after a few seconds.
class PopupNotice final : public QWidget
{
    Q_OBJECT
public:
    explicit PopupNotice(QWidget *parent = nullptr);

    void showNotice(const QString &text);
    QString text() const { return m_text->text(); }

    static constexpr int kShowMs = 6000;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_text;
    QTimer m_hideTimer;
};

} // namespace zelvano::gui
