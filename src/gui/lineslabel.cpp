#include "gui/lineslabel.h"

#include <QEvent>
#include <QTextLayout>

namespace zelvano::gui {

LinesLabel::LinesLabel(int maxLines, bool wrap, QWidget *parent)
    : QLabel(parent), m_maxLines(std::max(1, maxLines)), m_wrap(wrap)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void LinesLabel::setFullText(const QString &text)
{
    m_text = text;
    setToolTip(text);
    relayout();
}

QSize LinesLabel::sizeHint() const
{
    return {fontMetrics().averageCharWidth() * 40, minimumSizeHint().height()};
}

QSize LinesLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    return {0, m_maxLines * fontMetrics().lineSpacing() + m.top() + m.bottom()};
}

void LinesLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    relayout();
}

void LinesLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

void LinesLabel::relayout()
{
    const QFontMetrics fm = fontMetrics();
    const int width = std::max(0, contentsRect().width());
    QStringList lines;
    QString rest; // what did not fit in the lines
    const QStringList paragraphs = m_text.split(u'\n');
    for (int p = 0; p < paragraphs.size(); ++p) {
        const QString &paragraph = paragraphs[p];
        if (!m_wrap) {
            lines << paragraph;
            continue;
        }
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (paragraph.isEmpty())
            lines << QString();
    }
    QStringList shown;
    for (int i = 0; i < lines.size() && i < m_maxLines; ++i) {
        QString line = lines[i];
        // The last line that shows carries what follows, cut with "…".
        if (i == m_maxLines - 1 && lines.size() > m_maxLines && m_wrap)
            line = QStringList(lines.mid(i)).join(u' ');
        shown << fm.elidedText(line, Qt::ElideRight, width);
    }
    m_shown = shown;
    QLabel::setText(shown.join(u'\n'));
}

} // namespace zelvano::gui
