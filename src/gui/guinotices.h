#pragma once

#include "common/usernotices.h"

#include <QHash>
#include <QPointer>

class QMessageBox;
class QWidget;

namespace zelvano::gui {

class PopupNotice;

// Notices of the tray program. Message boxes never block their caller: the
// tick that shows one goes on, and the next tick runs on time while the box
// waits for its OK. A text whose box is still open is not shown again. The
// closing question and input boxes wait for their answer.
class GuiNotices final : public UserNotices
{
public:
    explicit GuiNotices(PopupNotice &popup) : m_popup(popup) {}
    ~GuiNotices() override;

    void messageBox(const QString &text, Icon icon, const QString &title) override;
    bool askYesNo(const QString &text, const QString &title, bool defaultYes) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    void popup(const QString &text) override;

    // The message boxes still open, oldest first.
    QList<QMessageBox *> openBoxes() const;
    // Waits until every open box has been answered (before the program ends,
    // so that its last words are read).
    void waitForOpenBoxes();

private:
    PopupNotice &m_popup;
    QHash<QString, QPointer<QMessageBox>> m_open;
    QList<QPointer<QMessageBox>> m_order;
};

} // namespace zelvano::gui
