#include "common/usernotices.h"

#include <cstdio>

namespace zelvano {

namespace {
void printLine(const QString &title, const QString &text)
{
    QString line = title.isEmpty() ? text : title + QStringLiteral(": ") + text;
    line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

void HeadlessNotices::messageBox(const QString &text, Icon, const QString &title)
{
    printLine(title, text);
}

bool HeadlessNotices::askYesNo(const QString &text, const QString &title, bool defaultYes)
{
    printLine(title, text);
    return defaultYes;
}

QString HeadlessNotices::inputBox(const QString &prompt, const QString &title,
                                  const QString &defaultAnswer)
{
    printLine(title, prompt);
    return defaultAnswer;
}

void HeadlessNotices::popup(const QString &text)
{
    printLine(QString(), text);
}

void RecordingNotices::messageBox(const QString &text, Icon icon, const QString &title)
{
    m_notices.push_back({QStringLiteral("message"), title, text, icon});
}

bool RecordingNotices::askYesNo(const QString &text, const QString &title, bool defaultYes)
{
    m_notices.push_back({QStringLiteral("question"), title, text, Icon::Question});
    if (yesNoAnswers.empty())
        return defaultYes;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.erase(yesNoAnswers.begin());
    return answer;
}

QString RecordingNotices::inputBox(const QString &prompt, const QString &title,
                                   const QString &defaultAnswer)
{
    m_notices.push_back({QStringLiteral("input"), title, prompt, Icon::None});
    if (inputAnswers.isEmpty())
        return defaultAnswer;
    return inputAnswers.takeFirst();
}

void RecordingNotices::popup(const QString &text)
{
    m_notices.push_back({QStringLiteral("popup"), QString(), text, Icon::None});
}

} // namespace zelvano
