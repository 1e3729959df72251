#pragma once

#include <QString>

namespace zelvano {

// The wait panel over the window: visibility, a message, a progress bar.
// Long operations drive it; the window paints it, headless runs keep it in memory.
class WaitOverlay
{
public:
    virtual ~WaitOverlay() = default;

    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    virtual void setText(const QString &text) = 0;
    virtual QString text() const = 0;
    virtual void setMaximum(int maximum) = 0;
    virtual int maximum() const = 0;
    virtual void setValue(int value) = 0;
    virtual int value() const = 0;
    virtual void bringToFront() = 0;
};

// Holds the overlay's state without showing anything.
class HeadlessOverlay : public WaitOverlay
{
public:
    void setVisible(bool visible) override { m_visible = visible; }
    bool isVisible() const override { return m_visible; }
    void setText(const QString &text) override { m_text = text; }
    QString text() const override { return m_text; }
    void setMaximum(int maximum) override { m_maximum = maximum; }
    int maximum() const override { return m_maximum; }
    void setValue(int value) override { m_value = value; }
    int value() const override { return m_value; }
    void bringToFront() override {}

private:
    bool m_visible = false;
    QString m_text = QStringLiteral("Cargando... Espere!!!");
    int m_maximum = 100;
    int m_value = 0;
};

} // namespace zelvano
