#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace zelvano {

// How the core speaks to the person at the desk: message boxes, questions,
// input boxes and the small pop-up notice. The window shows them; headless
// runs print them on standard error and take the default answer.
class UserNotices
{
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };

    virtual ~UserNotices() = default;

    // A modal message box with one OK button.
    virtual void messageBox(const QString &text, Icon icon, const QString &title) = 0;
    // A Yes/No question; returns true for Yes. Headless answers defaultYes.
    virtual bool askYesNo(const QString &text, const QString &title, bool defaultYes) = 0;
    // An input box; headless returns the default answer.
    virtual QString inputBox(const QString &prompt, const QString &title,
                             const QString &defaultAnswer) = 0;
    // The non-blocking pop-up notice at the bottom of the screen.
    virtual void popup(const QString &text) = 0;
};

// Prints every notice on standard error ("title: text") and never waits.
class HeadlessNotices : public UserNotices
{
public:
    void messageBox(const QString &text, Icon icon, const QString &title) override;
    bool askYesNo(const QString &text, const QString &title, bool defaultYes) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    void popup(const QString &text) override;
};

// Keeps every notice for inspection (tests, and the command line's exit status).
class RecordingNotices : public UserNotices
{
public:
    struct Notice
    {
        QString kind; // "message", "question", "input", "popup"
        QString title;
        QString text;
        Icon icon = Icon::None;
    };

    void messageBox(const QString &text, Icon icon, const QString &title) override;
    bool askYesNo(const QString &text, const QString &title, bool defaultYes) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    void popup(const QString &text) override;

    const std::vector<Notice> &notices() const { return m_notices; }
    void clear() { m_notices.clear(); }

    // Answers given to the next questions and input boxes, in order; when none
    // is left the default is taken.
    std::vector<bool> yesNoAnswers;
    QStringList inputAnswers;

private:
    std::vector<Notice> m_notices;
};

} // namespace zelvano
