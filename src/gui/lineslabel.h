#pragma once

#include <QLabel>

namespace zelvano::gui {

// A label that never asks the window for room: it shows at most `maxLines`
// lines of its text in whatever width the layout gives it, wrapped between
// words (or each line cut, when `wrap` is off), the last one ending in "…"
// when the text goes on. The whole text is in its tool tip.
class LinesLabel final : public QLabel
{
    Q_OBJECT
public:
    LinesLabel(int maxLines, bool wrap, QWidget *parent = nullptr);

    void setFullText(const QString &text);
    const QString &fullText() const { return m_text; }
    // The lines shown now, each as wide as the label at most.
    QStringList shownLines() const { return m_shown; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void relayout();

    int m_maxLines;
    bool m_wrap;
    QString m_text;
    QStringList m_shown;
};

} // namespace zelvano::gui
