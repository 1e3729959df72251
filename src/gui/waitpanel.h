#pragma once

#include "common/waitoverlay.h"

#include <QFrame>

class QLabel;
class QProgressBar;

namespace zelvano::gui {

// FrEspere: the wait panel over the window, with a message and a progress bar.
// The panel grows to hold its message, and wraps it when the window is too
// narrow. The bar shows no share: a bar that starts again from 1 (the
// download that does not know how many trips come) would make it a lie, so
// once it has started again the panel counts the trips instead.
class WaitPanel final : public QFrame, public WaitOverlay
{
    Q_OBJECT
public:
    explicit WaitPanel(QWidget *parent);

    void setVisible(bool visible) override;
    bool isVisible() const override { return QFrame::isVisible(); }
    void setText(const QString &text) override;
    QString text() const override;
    void setMaximum(int maximum) override;
    int maximum() const override;
    void setValue(int value) override;
    int value() const override;
    void bringToFront() override;

    // Fits the panel to its message and centres it over its parent.
    void centre();

    // "viaje N" once the bar has started again, else empty.
    QString countText() const;
    // Whether the bar draws a share ("32 %") on itself.
    bool barShowsShare() const;

private:
    QLabel *m_text;
    QProgressBar *m_bar;
    QLabel *m_count;
    int m_value = 0;
    int m_steps = 0;
    bool m_restarted = false;
};

} // namespace zelvano::gui
