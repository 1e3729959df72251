#pragma once

#include <QString>

namespace zelvano {

// What the core may do to the main window and the tray icon: the caption, the
// tray tip, showing the window, and letting pending window events run.
class WindowStatus
{
public:
    virtual ~WindowStatus() = default;

    virtual void setCaption(const QString &caption) = 0;
    virtual QString caption() const = 0;
    // The tray tip; the tray cuts it to 64 characters.
    virtual void setTrayTip(const QString &tip) = 0;
    virtual QString trayTip() const = 0;
    virtual void showWindow() = 0;
    // One pass of the event loop, so the window repaints during long work.
    virtual void yieldToEvents() = 0;

    // What the last job came to, in words for the person at the desk, kept
    // until the next job's. The save that follows a download in the same tick
    // adds its line under the download's instead of replacing it.
    enum class ResultLine { New, Added };
    virtual void showJobResult(const QString &text, ResultLine line) = 0;
    virtual QString jobResult() const = 0;
};

// The result text after one more job: `text` alone, or under `previous`.
QString joinJobResult(const QString &previous, const QString &text, WindowStatus::ResultLine line);

// Keeps caption and tip in memory; yielding runs queued Qt events when an
// application object exists.
class HeadlessWindowStatus : public WindowStatus
{
public:
    void setCaption(const QString &caption) override { m_caption = caption; }
    QString caption() const override { return m_caption; }
    void setTrayTip(const QString &tip) override { m_tip = tip; }
    QString trayTip() const override { return m_tip; }
    void showWindow() override { ++m_showCount; }
    void yieldToEvents() override;
    void showJobResult(const QString &text, ResultLine line) override
    {
        m_result = joinJobResult(m_result, text, line);
    }
    QString jobResult() const override { return m_result; }

    int showCount() const { return m_showCount; }

private:
    QString m_caption;
    QString m_tip;
    QString m_result;
    int m_showCount = 0;
};

// "Zelvano - V.1.0.0 - " + status
QString windowCaption(const QString &status);

} // namespace zelvano
