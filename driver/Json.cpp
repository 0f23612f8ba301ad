#include "driver/Json.h"

#include "lang/Tr.h"

#include <vector>

namespace {

// Strings are escaped by nlohmann, which refuses bytes that are no UTF-8;
// true when s has none (no stray bytes, overlong forms, surrogates or code
// points beyond U+10FFFF either).
bool IsUtf8(std::string_view s) {
    try {
        (void)Json(std::string(s)).dump(-1, ' ', false, Json::error_handler_t::strict);
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// s with each byte that starts no well-formed sequence taken as the Latin-1
// character of its code. nlohmann can only refuse such a byte or replace it
// with U+FFFD, and a device's text is better shown than lost.
std::string Utf8OrLatin1(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (n == 1 || (n > 1 && i + n <= s.size() && IsUtf8(s.substr(i, n)))) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return out;
}

// Subtype of the binary values that carry an exact decimal's text.
constexpr std::uint64_t kExactNumber = 0x4E;

bool IsExactNumber(const Json& j) {
    return j.is_binary() && j.get_binary().has_subtype() &&
           j.get_binary().subtype() == kExactNumber;
}

std::string ExactNumberText(const Json& j) {
    const auto& b = j.get_binary();
    return std::string(b.begin(), b.end());
}

void Dump(const Json& j, std::string& out, bool pretty, int indent) {
    auto newline = [&](int level) {
        if (pretty) {
            out += '\n';
            out.append(static_cast<size_t>(level) * 2, ' ');
        }
    };
    switch (j.type()) {
    case Json::value_t::array: {
        bool flat = true;
        for (const auto& it : j)
            flat = flat && !it.is_structured();
        out += '[';
        bool first = true;
        for (const auto& it : j) {
            if (!first)
                out += (pretty && flat) ? ", " : ",";
            first = false;
            if (!flat)
                newline(indent + 1);
            Dump(it, out, pretty, indent + 1);
        }
        if (!flat && !j.empty())
            newline(indent);
        out += ']';
        break;
    }
    case Json::value_t::object: {
        out += '{';
        bool first = true;
        for (const auto& [key, value] : j.items()) {
            if (!first)
                out += ',';
            first = false;
            newline(indent + 1);
            AppendJsonString(out, key);
            out += pretty ? ": " : ":";
            Dump(value, out, pretty, indent + 1);
        }
        if (!j.empty())
            newline(indent);
        out += '}';
        break;
    }
    case Json::value_t::string:
        AppendJsonString(out, j.get_ref<const std::string&>());
        break;
    case Json::value_t::binary:
        out += IsExactNumber(j) ? ExactNumberText(j) : std::string("null");
        break;
    default: // numbers, literals, null
        out += j.dump();
        break;
    }
}

// Counts what the parser has read, to name the place of a problem the
// parser's callback finds (a duplicate name).
class CCountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CCountingIterator(const char* p, size_t* count) : m_p(p), m_count(count) {}
    reference operator*() const { return *m_p; }
    CCountingIterator& operator++() {
        ++m_p;
        ++*m_count;
        return *this;
    }
    CCountingIterator operator++(int) {
        CCountingIterator old = *this;
        ++*this;
        return old;
    }
    bool operator==(const CCountingIterator& o) const { return m_p == o.m_p; }
    bool operator!=(const CCountingIterator& o) const { return m_p != o.m_p; }

private:
    const char* m_p;
    size_t* m_count;
};

// A problem found by the callback; ends the parse.
struct SRefused {
    size_t offset;
    std::string what;
};

// "第L行, 第C列" (line L, column C) of a byte offset; columns count characters.
std::string Place(std::string_view text, size_t offset) {
    size_t line = 1, col = 1;
    for (size_t k = 0; k < offset && k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++line;
            col = 1;
        } else if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
            ++col;
        }
    }
    return lang::Args(lang::translate("driver/Json", "第%1行, 第%2列"),
                      {std::to_string(line), std::to_string(col)});
}

// nlohmann's message without its own "[json.exception...] parse error at ..."
// prefix, which names the place in its own way.
std::string ParseWhat(const std::string& message) {
    std::string_view m = message;
    // "last read" quotes the input, which may be the very bytes that are not UTF-8.
    if (size_t last = m.find("; last read: "); last != std::string_view::npos)
        m = m.substr(0, last);
    const std::string_view syntax = ": syntax error while parsing value - ";
    if (size_t k = m.find(syntax); k != std::string_view::npos)
        return std::string(m.substr(k + syntax.size()));
    const size_t k = m.rfind(": ");
    return std::string(k == std::string_view::npos ? m : m.substr(k + 2));
}

} // namespace

void AppendJsonString(std::string& out, std::string_view s) {
    std::string escaped;
    try {
        escaped = Json(std::string(s)).dump(-1, ' ', false, Json::error_handler_t::strict);
    } catch (const Json::type_error&) {
        escaped = Json(Utf8OrLatin1(s)).dump(-1, ' ', false, Json::error_handler_t::strict);
    }
    // Backspace, form feed and DEL stay \u escapes as in the files written so
    // far; nlohmann writes \b and \f and leaves DEL bare. In its output a
    // backslash always starts an escape, so the one after it is skipped.
    out.reserve(out.size() + escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\\') {
            const char e = escaped[++i];
            if (e == 'b' || e == 'f') {
                out += e == 'b' ? "\\u0008" : "\\u000c";
            } else {
                out += c;
                out += e;
            }
        } else if (c == '\x7F') {
            out += "\\u007f";
        } else {
            out += c;
        }
    }
}

bool ParseJson(std::string_view text, Json& out, std::string& error) {
    size_t read = 0;
    // Member names seen so far, per open object.
    std::vector<std::vector<std::string>> names;
    int depth = 0;
    auto check = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            if (++depth > kMaxJsonDepth)
                throw SRefused{read, lang::translate("driver/Json", "嵌套太深 (超过64层)")};
            if (event == Json::parse_event_t::object_start)
                names.emplace_back();
            break;
        case Json::parse_event_t::object_end:
            names.pop_back();
            --depth;
            break;
        case Json::parse_event_t::array_end:
            --depth;
            break;
        case Json::parse_event_t::key: {
            const std::string& key = parsed.get_ref<const std::string&>();
            auto& seen = names.back();
            for (const auto& n : seen)
                if (n == key)
                    throw SRefused{
                        read,
                        lang::Args(lang::translate("driver/Json", "重复的成员 \"%1\""), {key})};
            seen.push_back(key);
            break;
        }
        case Json::parse_event_t::value:
            break;
        }
        return true;
    };
    try {
        CCountingIterator first(text.data(), &read), last(text.data() + text.size(), &read);
        Json doc = Json::parse(first, last, check);
        out = std::move(doc);
        return true;
    } catch (const SRefused& r) {
        error = Place(text, r.offset > 0 ? r.offset - 1 : 0) + ": " + r.what;
    } catch (const Json::parse_error& e) {
        // The parser's own words, in English, stay as the detail.
        error = Place(text, e.byte > 0 ? e.byte - 1 : 0) + ": " +
                lang::Args(lang::translate("driver/Json", "不是有效的JSON (%1)"),
                           {ParseWhat(e.what())});
    } catch (const Json::exception& e) {
        error = Place(text, read) + ": " +
                lang::Args(lang::translate("driver/Json", "不是有效的JSON (%1)"),
                           {ParseWhat(e.what())});
    }
    return false;
}

std::string DumpJson(const Json& j, bool pretty) {
    std::string out;
    Dump(j, out, pretty, 0);
    return out;
}

Json JsonNumber(std::string_view text) {
    // nlohmann's parser judges the number. A number's text starts with '-'
    // or a digit and ends with a digit: checking the ends keeps out the
    // blanks and the byte-order mark the parser would skip.
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.empty() || (text.front() != '-' && !digit(text.front())) || !digit(text.back()) ||
        !Json::parse(text, nullptr, false).is_number())
        return Json();
    // Kept as its text, so "16.000" is written as 16.000 and not as 16.0.
    return Json::binary(std::vector<uint8_t>(text.begin(), text.end()), kExactNumber);
}

bool JsonUint(const Json& j, uint64_t& out) {
    if (IsExactNumber(j)) {
        Json parsed;
        std::string error;
        return ParseJson(ExactNumberText(j), parsed, error) && JsonUint(parsed, out);
    }
    if (j.is_number_unsigned()) {
        out = j.get<uint64_t>();
        return true;
    }
    if (j.is_number_integer() && j.get<int64_t>() >= 0) {
        out = static_cast<uint64_t>(j.get<int64_t>());
        return true;
    }
    return false;
}

bool JsonInt(const Json& j, int64_t& out) {
    if (IsExactNumber(j)) {
        Json parsed;
        std::string error;
        return ParseJson(ExactNumberText(j), parsed, error) && JsonInt(parsed, out);
    }
    if (j.is_number_unsigned()) {
        if (j.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
            return false;
        out = static_cast<int64_t>(j.get<uint64_t>());
        return true;
    }
    if (j.is_number_integer()) {
        out = j.get<int64_t>();
        return true;
    }
    return false;
}

std::string JsonText(const Json& j) {
    if (j.is_string())
        return j.get<std::string>();
    if (IsExactNumber(j))
        return ExactNumberText(j);
    return j.dump();
}
