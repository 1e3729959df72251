#pragma once

#include "common/usernotices.h"

class QWidget;

namespace zelvano::gui {

class PopupNotice;

// Notices of the tray program: message boxes, questions and input boxes as
// dialogs, the pop-up notice at the bottom right.
class GuiNotices final : public UserNotices
{
public:
    explicit GuiNotices(PopupNotice &popup) : m_popup(popup) {}

    void messageBox(const QString &text, Icon icon, const QString &title) override;
    bool askYesNo(const QString &text, const QString &title, bool defaultYes) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    void popup(const QString &text) override;

private:
    PopupNotice &m_popup;
};

} // namespace zelvano::gui
