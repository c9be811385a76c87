#include "ConsolePrompt.h"

#include <QTextStream>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace bx {

namespace {

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

std::optional<QString> readLine()
{
    QTextStream in(stdin);
    QString line;
    if (!in.readLineInto(&line))
        return std::nullopt;
    return line;
}

} // namespace

void ConsolePrompt::inform(const QString& text, const QString& title, PromptIcon icon)
{
    if (icon == PromptIcon::Critical)
        m_sawError = true;
    const QString prefix = icon == PromptIcon::Critical  ? QStringLiteral("error: ")
                           : icon == PromptIcon::Warning ? QStringLiteral("warning: ")
                                                         : QString();
    err() << prefix << (title.isEmpty() ? QString() : title + QStringLiteral(": ")) << text
          << Qt::endl;
}

PromptAnswer ConsolePrompt::ask(const QString& text, const QString& /*title*/,
                                PromptButtons buttons, PromptIcon /*icon*/)
{
    const bool yesNo = buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel;
    const PromptAnswer yes = yesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
    const PromptAnswer no = yesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    err() << text << Qt::endl;
    if (m_assumeYes) {
        err() << "(answered yes: --yes was given)" << Qt::endl;
        return yes;
    }
    if (!isatty(STDIN_FILENO)) {
        err() << "(answered no: no terminal to ask; give --yes to agree)" << Qt::endl;
        return no;
    }
    err() << "[y/N] " << Qt::flush;
    const auto answer = readLine();
    return answer && answer->trimmed().startsWith(QLatin1Char('y'), Qt::CaseInsensitive) ? yes : no;
}

std::optional<QString> ConsolePrompt::input(const QString& text, const QString& /*title*/,
                                            const QString& defaultValue)
{
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    err() << text
          << (defaultValue.isEmpty() ? QString()
                                     : QStringLiteral(" [") + defaultValue + QLatin1Char(']'))
          << ' ' << Qt::flush;
    auto line = readLine();
    if (line && line->isEmpty())
        return defaultValue;
    return line;
}

std::optional<QString> ConsolePrompt::readSecret(const QString& question)
{
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    err() << question << ' ' << Qt::flush;
    termios old{};
    tcgetattr(STDIN_FILENO, &old);
    termios quiet = old;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    const auto line = readLine();
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    err() << Qt::endl;
    return line;
}

} // namespace bx
