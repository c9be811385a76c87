#include "core/db/SqliteFolding.h"

#include <QChar>

#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace bx {

namespace {

char32_t fold(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    return QChar::toCaseFolded(c);
}

/** Decodes UTF-8 as the engine stores it; a malformed byte stands for U+FFFD. */
std::u32string decode(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        size_t j = i + 1;
        for (; extra > 0 && j < s.size() && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80;
             ++j, --extra)
            c = (c << 6) | (static_cast<unsigned char>(s[j]) & 0x3F);
        out.push_back(extra == 0 ? c : char32_t(0xFFFD));
        i = j;
    }
    return out;
}

std::u32string folded(std::string_view s)
{
    std::u32string out = decode(s);
    for (char32_t& c : out)
        c = fold(c);
    return out;
}

/** A pattern made into tokens once per statement and kept with it by the engine. */
struct CompiledPattern
{
    std::string source;
    std::optional<char32_t> escape;
    std::u32string tokens;
};

std::string_view textOf(sqlite3_value* v)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, size_t(sqlite3_value_bytes(v))) : std::string_view();
}

enum class Token : char32_t
{
    AnyRun = 0xFFFFFFFE,
    AnyOne = 0xFFFFFFFF,
};

/** The pattern as folded literals and the two wildcards; an escaped wildcard is a literal. */
std::u32string tokens(std::string_view pattern, std::optional<char32_t> escape)
{
    const std::u32string raw = decode(pattern);
    std::u32string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char32_t c = raw[i];
        if (escape && c == *escape) {
            // An escape at the very end stands for itself.
            out.push_back(fold(i + 1 < raw.size() ? raw[++i] : c));
        } else if (c == U'%') {
            out.push_back(char32_t(Token::AnyRun));
        } else if (c == U'_') {
            out.push_back(char32_t(Token::AnyOne));
        } else {
            out.push_back(fold(c));
        }
    }
    return out;
}

/** Wildcard match, remembering only the last run wildcard: linear in practice, never exponential.
 */
bool matches(const std::u32string& pattern, const std::u32string& text)
{
    size_t p = 0;
    size_t t = 0;
    size_t starP = std::u32string::npos;
    size_t starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == char32_t(Token::AnyRun)) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == char32_t(Token::AnyOne) || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == char32_t(Token::AnyRun))
        ++p;
    return p == pattern.size();
}

void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(context);
            return;
        }
    }
    std::optional<char32_t> escape;
    if (argc == 3) {
        const std::u32string e = decode(textOf(argv[2]));
        if (e.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e.front();
    }
    // The pattern is the same for every row of a statement: the engine keeps the tokens for it.
    const std::string_view source = textOf(argv[0]);
    auto* compiled = static_cast<CompiledPattern*>(sqlite3_get_auxdata(context, 0));
    if (!compiled || compiled->source != source || compiled->escape != escape) {
        compiled = new CompiledPattern{std::string(source), escape, tokens(source, escape)};
        sqlite3_set_auxdata(context, 0, compiled,
                            [](void* p) { delete static_cast<CompiledPattern*>(p); });
        compiled = static_cast<CompiledPattern*>(sqlite3_get_auxdata(context, 0));
        if (!compiled) {
            sqlite3_result_error_nomem(context);
            return;
        }
    }
    sqlite3_result_int(context, matches(compiled->tokens, folded(textOf(argv[1]))) ? 1 : 0);
}

int foldCaseCompare(void*, int lengthA, const void* a, int lengthB, const void* b)
{
    const std::u32string x = folded({static_cast<const char*>(a), size_t(lengthA)});
    const std::u32string y = folded({static_cast<const char*>(b), size_t(lengthB)});
    return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
}

} // namespace

int registerCaseFolding(sqlite3* db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    int rc = sqlite3_create_function(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc =
            sqlite3_create_collation(db, kFoldCaseCollation, SQLITE_UTF8, nullptr, foldCaseCompare);
    return rc;
}

} // namespace bx
