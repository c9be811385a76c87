#include "core/db/ScriptStatement.h"

#include <QList>
#include <QStringList>

namespace bx {

namespace {

struct Token
{
    enum class Kind
    {
        Word,   ///< a keyword or a bare name, upper case
        Quoted, ///< quoted text: never a keyword
        Name,   ///< a quoted name, as the engine reads it, upper case
        Symbol, ///< one character of punctuation
    };
    Kind kind;
    QString text;
};

/** Splits a statement into tokens, reading quotes and comments as the engine reads them. */
class Scanner
{
public:
    Scanner(const QString& sql, Engine engine)
        : m_sql(sql)
        , m_server(engine == Engine::Postgres)
    {
    }

    /** Whether the text ends inside a block comment (after tokens()). */
    bool endsInComment() const { return m_endsInComment; }

    QList<Token> tokens()
    {
        QList<Token> out;
        while (m_pos < m_sql.size()) {
            const QChar c = m_sql.at(m_pos);
            if (isBlank(c)) {
                ++m_pos;
            } else if (c == u'-' && peek(1) == u'-') {
                skipLineComment();
            } else if (c == u'/' && peek(1) == u'*') {
                skipBlockComment();
            } else if (c == u'\'') {
                skipQuoted(u'\'', false);
                out.append({Token::Kind::Quoted, {}});
            } else if (c == u'"') {
                out.append({Token::Kind::Name, quotedName(u'"')});
            } else if (!m_server && (c == u'`' || c == u'[')) {
                out.append({Token::Kind::Name, quotedName(c == u'[' ? u']' : u'`')});
            } else if (m_server && c == u'$' && skipDollarQuoted()) {
                out.append({Token::Kind::Quoted, {}});
            } else if (isWordChar(c)) {
                const QString word = readWord();
                // E'...' on the server: backslash escapes, so \' does not end the text.
                if (m_server && word.compare(u"E", Qt::CaseInsensitive) == 0 && peek(0) == u'\'') {
                    skipQuoted(u'\'', true);
                    out.append({Token::Kind::Quoted, {}});
                } else {
                    out.append({Token::Kind::Word, word.toUpper()});
                }
            } else {
                ++m_pos;
                out.append({Token::Kind::Symbol, QString(c)});
            }
        }
        return out;
    }

private:
    /**
     * The blanks both engines skip between tokens. Any other character, a vertical tab or a
     * no-break space say, is one the embedded engine reads as a token of its own, or refuses.
     */
    static bool isBlank(QChar c)
    {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
    }

    static bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

    QChar peek(qsizetype ahead) const
    {
        const qsizetype at = m_pos + ahead;
        return at < m_sql.size() ? m_sql.at(at) : QChar();
    }

    void skipLineComment()
    {
        const qsizetype end = m_sql.indexOf(u'\n', m_pos);
        m_pos = end < 0 ? m_sql.size() : end + 1;
    }

    void skipBlockComment()
    {
        // The server nests block comments, the embedded engine ends one at the first "*/".
        int depth = 0;
        while (m_pos < m_sql.size()) {
            if (m_sql.at(m_pos) == u'/' && peek(1) == u'*' && (m_server || depth == 0)) {
                ++depth;
                m_pos += 2;
            } else if (m_sql.at(m_pos) == u'*' && peek(1) == u'/') {
                m_pos += 2;
                if (--depth == 0)
                    return;
            } else {
                ++m_pos;
            }
        }
        m_endsInComment = true;
    }

    /** From the opening character to the closing one; a doubled closing character is kept. */
    void skipQuoted(QChar close, bool backslashEscapes)
    {
        ++m_pos;
        while (m_pos < m_sql.size()) {
            const QChar c = m_sql.at(m_pos);
            if (backslashEscapes && c == u'\\') {
                m_pos += 2;
            } else if (c == close) {
                ++m_pos;
                if (peek(0) != close || close == u']')
                    return;
                ++m_pos;
            } else {
                ++m_pos;
            }
        }
    }

    /** A quoted name without its quotes, a doubled closing character read as one. */
    QString quotedName(QChar close)
    {
        const qsizetype start = m_pos;
        skipQuoted(close, false);
        QString name = m_sql.mid(start + 1, qMax<qsizetype>(0, m_pos - start - 2));
        if (close != u']')
            name.replace(QString(2, close), QString(close));
        return name.toUpper();
    }

    /** $tag$ ... $tag$; false (nothing read) when the '$' opens no such quote. */
    bool skipDollarQuoted()
    {
        qsizetype j = m_pos + 1;
        while (j < m_sql.size() && (m_sql.at(j).isLetterOrNumber() || m_sql.at(j) == u'_'))
            ++j;
        if (j >= m_sql.size() || m_sql.at(j) != u'$' || (j > m_pos + 1 && peek(1).isDigit()))
            return false;
        const QString tag = m_sql.mid(m_pos, j - m_pos + 1);
        const qsizetype end = m_sql.indexOf(tag, j + 1);
        m_pos = end < 0 ? m_sql.size() : end + tag.size();
        return true;
    }

    QString readWord()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_sql.size() && isWordChar(m_sql.at(m_pos)))
            ++m_pos;
        return m_sql.mid(start, m_pos - start);
    }

    const QString& m_sql;
    const bool m_server;
    bool m_endsInComment = false;
    qsizetype m_pos = 0;
};

bool isWord(const Token& t, QStringView word)
{
    return t.kind == Token::Kind::Word && t.text == word;
}

/**
 * Functions a rule never calls: those that manage the database's logins and passwords, and the
 * one that changes the session's settings (a rule runs in the session of whoever saves the task).
 */
bool isForbiddenName(const Token& t)
{
    if (t.kind != Token::Kind::Word && t.kind != Token::Kind::Name)
        return false;
    return t.text.startsWith(QLatin1String("BX_LOGIN")) ||
           t.text.startsWith(QLatin1String("BX_PASSWORD")) || t.text == QLatin1String("SET_CONFIG");
}

/** What a kind of caller may run, and how its refusals are worded. */
struct Rules
{
    QStringList allowed;   ///< the words a statement may begin with
    QString allowedText;   ///< the same, as the refusal lists them
    QString who;           ///< what refuses, as the refusals name it
    bool readOnly = false; ///< no writing keyword anywhere (a writing CTE, say)
};

std::optional<QString> refusalOf(const QString& sql, Engine engine, const Rules& rules)
{
    Scanner scanner(sql, engine);
    const QList<Token> tokens = scanner.tokens();
    // A comment left open: the server refuses the text, the embedded engine reads the statement
    // before it and leaves the rest unread. Neither is one whole statement.
    if (scanner.endsInComment())
        return QStringLiteral("%1 was given a statement that ends inside a comment").arg(rules.who);
    if (tokens.isEmpty() ||
        (tokens.first().kind == Token::Kind::Symbol && tokens.first().text == QLatin1String(";")))
        return QStringLiteral("%1 was given no statement").arg(rules.who);

    const Token& first = tokens.first();
    if (first.kind != Token::Kind::Word || !rules.allowed.contains(first.text))
        return QStringLiteral("%1 runs only %2 statements, not %3")
            .arg(rules.who, rules.allowedText,
                 first.kind == Token::Kind::Word ? first.text : QStringLiteral("this one"));

    static const QStringList writing = {QStringLiteral("INSERT"), QStringLiteral("UPDATE"),
                                        QStringLiteral("DELETE"), QStringLiteral("MERGE"),
                                        QStringLiteral("TRUNCATE")};
    bool ended = false;
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        if (isForbiddenName(t))
            return QStringLiteral("%1 does not run %2, which changes logins or settings")
                .arg(rules.who, t.text.toLower());
        // U&"..." spells a name in escapes, which could hide any of them.
        if (engine == Engine::Postgres && isWord(t, u"U") && i + 2 < tokens.size() &&
            tokens.at(i + 1).text == QLatin1String("&") &&
            tokens.at(i + 2).kind == Token::Kind::Name)
            return QStringLiteral("%1 does not run names written in Unicode escapes")
                .arg(rules.who);
        if (t.kind == Token::Kind::Symbol && t.text == QLatin1String(";")) {
            ended = true;
            continue;
        }
        if (ended)
            return QStringLiteral("%1 runs one statement at a time; this text holds several")
                .arg(rules.who);
        // On the server SELECT ... INTO creates a table; INTO belongs to INSERT only.
        if (engine == Engine::Postgres && isWord(t, u"INTO") &&
            !isWord(tokens.at(i - 1), u"INSERT"))
            return QStringLiteral("%1 does not run SELECT ... INTO, which creates a table")
                .arg(rules.who);
        // A query that only reads holds no writing statement, not even inside a WITH.
        if (rules.readOnly && t.kind == Token::Kind::Word && writing.contains(t.text))
            return QStringLiteral("%1 only reads; this one writes (%2)").arg(rules.who, t.text);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> scriptStatementRefusal(const QString& sql, Engine engine)
{
    static const Rules rules{{QStringLiteral("SELECT"), QStringLiteral("WITH"),
                              QStringLiteral("INSERT"), QStringLiteral("UPDATE"),
                              QStringLiteral("DELETE")},
                             QStringLiteral("SELECT, WITH, INSERT, UPDATE and DELETE"),
                             QStringLiteral("BXDB"),
                             false};
    return refusalOf(sql, engine, rules);
}

std::optional<QString> readOnlyStatementRefusal(const QString& sql, Engine engine)
{
    static const Rules rules{{QStringLiteral("SELECT"), QStringLiteral("WITH")},
                             QStringLiteral("SELECT and WITH"),
                             QStringLiteral("The query"),
                             true};
    return refusalOf(sql, engine, rules);
}

} // namespace bx
