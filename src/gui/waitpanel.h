#pragma once

#include "common/waitoverlay.h"

#include <QFrame>

class QLabel;
class QProgressBar;

namespace zelvano::gui {

// FrEspere: the wait panel over the window, with a message and a progress bar.
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

    // Centres the panel over its parent.
    void centre();

private:
    QLabel *m_text;
    QProgressBar *m_bar;
    int m_value = 0;
};

} // namespace zelvano::gui
