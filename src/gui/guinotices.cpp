#include "gui/guinotices.h"

#include "gui/popup.h"

#include <QInputDialog>
#include <QMessageBox>

namespace zelvano::gui {

namespace {

QMessageBox::Icon boxIcon(UserNotices::Icon icon)
{
    switch (icon) {
    case UserNotices::Icon::Information:
        return QMessageBox::Information;
    case UserNotices::Icon::Exclamation:
        return QMessageBox::Warning;
    case UserNotices::Icon::Critical:
        return QMessageBox::Critical;
    case UserNotices::Icon::Question:
        return QMessageBox::Question;
    case UserNotices::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QString lines(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

} // namespace

void GuiNotices::messageBox(const QString &text, Icon icon, const QString &title)
{
    QMessageBox box(boxIcon(icon), title, lines(text), QMessageBox::Ok);
    box.exec();
}

bool GuiNotices::askYesNo(const QString &text, const QString &title, bool defaultYes)
{
    QMessageBox box(QMessageBox::Question, title, lines(text), QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString GuiNotices::inputBox(const QString &prompt, const QString &title,
                             const QString &defaultAnswer)
{
    bool ok = false;
    const QString answer =
        QInputDialog::getText(nullptr, title, lines(prompt), QLineEdit::Normal, defaultAnswer, &ok);
    // Cancel gives the empty text, as the input box does.
    return ok ? answer : QString();
}

void GuiNotices::popup(const QString &text)
{
    m_popup.showNotice(text);
}

} // namespace zelvano::gui
