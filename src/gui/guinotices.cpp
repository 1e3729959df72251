#include "gui/guinotices.h"

#include "gui/popup.h"

#include <QEventLoop>
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

GuiNotices::~GuiNotices()
{
    for (const QPointer<QMessageBox> &box : std::as_const(m_order))
        delete box.data();
}

void GuiNotices::messageBox(const QString &text, Icon icon, const QString &title)
{
    if (QMessageBox *open = m_open.value(text)) {
        open->raise();
        return;
    }
    // Answered boxes are gone: forget them (texts carry times, so they differ).
    m_open.removeIf([](QHash<QString, QPointer<QMessageBox>>::iterator entry) {
        return entry.value().isNull();
    });
    m_order.removeIf([](const QPointer<QMessageBox> &box) { return box.isNull(); });

    auto *box = new QMessageBox(boxIcon(icon), title, lines(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modal for the desk, but the caller is not held: show() returns at once.
    box->setWindowModality(Qt::ApplicationModal);
    m_open.insert(text, box);
    m_order << box;
    box->show();
}

QList<QMessageBox *> GuiNotices::openBoxes() const
{
    QList<QMessageBox *> boxes;
    for (const QPointer<QMessageBox> &box : m_order)
        if (box && box->isVisible())
            boxes << box.data();
    return boxes;
}

void GuiNotices::waitForOpenBoxes()
{
    const QList<QPointer<QMessageBox>> boxes = m_order;
    for (const QPointer<QMessageBox> &box : boxes) {
        if (!box || !box->isVisible())
            continue;
        QEventLoop loop;
        QObject::connect(box.data(), &QDialog::finished, &loop, &QEventLoop::quit);
        QObject::connect(box.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
    }
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
