#include "driver/Json.h"

#include <charconv>
#include <cstdio>
#include <vector>

// Length of the well-formed UTF-8 sequence at s[i], or 0.
static size_t Utf8SequenceLength(std::string_view s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendJsonString(std::string& out, std::string_view s) {
    out += '"';
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            size_t n = Utf8SequenceLength(s, i);
            if (n == 0) {
                AppendUtf8(out, c); // a stray byte, taken as Latin-1
                ++i;
            } else {
                out.append(s.substr(i, n));
                i += n;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
}

namespace {

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

// The JSON number grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsJsonNumberText(std::string_view t) {
    size_t i = 0;
    auto digits = [&] {
        const size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i - from;
    };
    if (i < t.size() && t[i] == '-')
        ++i;
    const size_t lead = i;
    const size_t n = digits();
    if (n == 0 || (n > 1 && t[lead] == '0'))
        return false;
    if (i < t.size() && t[i] == '.') {
        ++i;
        if (digits() == 0)
            return false;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == t.size();
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

// "line L, column C" of a byte offset; columns count characters.
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
    return "line " + std::to_string(line) + ", column " + std::to_string(col);
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
                throw SRefused{read, "nesting too deep (more than 64 levels)"};
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
                    throw SRefused{read, "duplicate member \"" + key + "\""};
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
        error = Place(text, e.byte > 0 ? e.byte - 1 : 0) + ": " + ParseWhat(e.what());
    } catch (const Json::exception& e) {
        error = Place(text, read) + ": " + ParseWhat(e.what());
    }
    return false;
}

std::string DumpJson(const Json& j, bool pretty) {
    std::string out;
    Dump(j, out, pretty, 0);
    return out;
}

Json JsonNumber(std::string_view text) {
    if (!IsJsonNumberText(text))
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
