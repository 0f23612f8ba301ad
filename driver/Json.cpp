#include "driver/Json.h"

#include <charconv>
#include <cstdio>

CJson CJson::Bool(bool b) {
    CJson j;
    j.m_type = EType::Bool;
    j.m_bool = b;
    return j;
}

CJson CJson::Int(int64_t v) {
    return NumberText(std::to_string(v));
}
CJson CJson::Uint(uint64_t v) {
    return NumberText(std::to_string(v));
}

CJson CJson::NumberText(std::string text) {
    CJson j;
    j.m_type = EType::Number;
    j.m_text = std::move(text);
    return j;
}

CJson CJson::Str(std::string s) {
    CJson j;
    j.m_type = EType::String;
    j.m_text = std::move(s);
    return j;
}

CJson CJson::Array() {
    CJson j;
    j.m_type = EType::Array;
    return j;
}

CJson CJson::Object() {
    CJson j;
    j.m_type = EType::Object;
    return j;
}

static bool IsPlainInteger(const std::string& t) {
    size_t i = t[0] == '-' ? 1 : 0;
    if (i >= t.size())
        return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9')
            return false;
    return true;
}

bool CJson::GetInt64(int64_t& out) const {
    if (m_type != EType::Number || !IsPlainInteger(m_text))
        return false;
    auto r = std::from_chars(m_text.data(), m_text.data() + m_text.size(), out);
    return r.ec == std::errc() && r.ptr == m_text.data() + m_text.size();
}

bool CJson::GetUint64(uint64_t& out) const {
    if (m_type != EType::Number || !IsPlainInteger(m_text) || m_text[0] == '-')
        return false;
    auto r = std::from_chars(m_text.data(), m_text.data() + m_text.size(), out);
    return r.ec == std::errc() && r.ptr == m_text.data() + m_text.size();
}

CJson& CJson::Push(CJson v) {
    m_items.push_back(std::move(v));
    return m_items.back();
}

CJson& CJson::Set(const std::string& key, CJson v) {
    for (auto& m : m_members)
        if (m.first == key) {
            m.second = std::move(v);
            return m.second;
        }
    m_members.emplace_back(key, std::move(v));
    return m_members.back().second;
}

const CJson* CJson::Find(std::string_view key) const {
    for (const auto& m : m_members)
        if (m.first == key)
            return &m.second;
    return nullptr;
}

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

static bool IsScalar(const CJson& j) {
    return !j.IsArray() && !j.IsObject();
}

void CJson::DumpTo(std::string& out, bool pretty, int indent) const {
    auto newline = [&](int level) {
        if (pretty) {
            out += '\n';
            out.append(static_cast<size_t>(level) * 2, ' ');
        }
    };
    switch (m_type) {
    case EType::Null:
        out += "null";
        break;
    case EType::Bool:
        out += m_bool ? "true" : "false";
        break;
    case EType::Number:
        out += m_text;
        break;
    case EType::String:
        AppendJsonString(out, m_text);
        break;
    case EType::Array: {
        bool flat = true;
        for (const auto& it : m_items)
            flat = flat && IsScalar(it);
        out += '[';
        for (size_t k = 0; k < m_items.size(); ++k) {
            if (k)
                out += (pretty && flat) ? ", " : ",";
            if (!flat)
                newline(indent + 1);
            m_items[k].DumpTo(out, pretty, indent + 1);
        }
        if (!flat && !m_items.empty())
            newline(indent);
        out += ']';
        break;
    }
    case EType::Object:
        out += '{';
        for (size_t k = 0; k < m_members.size(); ++k) {
            if (k)
                out += ',';
            newline(indent + 1);
            AppendJsonString(out, m_members[k].first);
            out += pretty ? ": " : ":";
            m_members[k].second.DumpTo(out, pretty, indent + 1);
        }
        if (!m_members.empty())
            newline(indent);
        out += '}';
        break;
    }
}

std::string CJson::Dump(bool pretty) const {
    std::string out;
    DumpTo(out, pretty, 0);
    return out;
}

namespace {

class CParser {
public:
    explicit CParser(std::string_view t) : m_t(t) {}

    bool Document(CJson& out) {
        SkipBlanks();
        if (!Value(out, 0))
            return false;
        SkipBlanks();
        if (m_i != m_t.size())
            return Fail("unexpected content after the document");
        return true;
    }

    std::string Error() const {
        size_t line = 1, col = 1;
        for (size_t k = 0; k < m_errPos && k < m_t.size(); ++k) {
            if (m_t[k] == '\n') {
                ++line;
                col = 1;
            } else if ((static_cast<unsigned char>(m_t[k]) & 0xC0) != 0x80) {
                ++col;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(col) + ": " +
               m_strError;
    }

private:
    bool Fail(const std::string& what) {
        if (m_strError.empty()) {
            m_strError = what;
            m_errPos = m_i;
        }
        return false;
    }

    void SkipBlanks() {
        while (m_i < m_t.size() &&
               (m_t[m_i] == ' ' || m_t[m_i] == '\t' || m_t[m_i] == '\n' || m_t[m_i] == '\r'))
            ++m_i;
    }

    bool Literal(std::string_view word) {
        if (m_t.substr(m_i, word.size()) != word)
            return Fail("invalid literal");
        m_i += word.size();
        return true;
    }

    bool Value(CJson& out, int depth) {
        if (depth > 64)
            return Fail("nesting too deep");
        if (m_i >= m_t.size())
            return Fail("unexpected end of the document");
        char c = m_t[m_i];
        if (c == '{')
            return ObjectValue(out, depth);
        if (c == '[')
            return ArrayValue(out, depth);
        if (c == '"') {
            std::string s;
            if (!String(s))
                return false;
            out = CJson::Str(std::move(s));
            return true;
        }
        if (c == 't') {
            out = CJson::Bool(true);
            return Literal("true");
        }
        if (c == 'f') {
            out = CJson::Bool(false);
            return Literal("false");
        }
        if (c == 'n') {
            out = CJson();
            return Literal("null");
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return Number(out);
        return Fail(std::string("unexpected character '") + c + "'");
    }

    bool Digits() {
        size_t start = m_i;
        while (m_i < m_t.size() && m_t[m_i] >= '0' && m_t[m_i] <= '9')
            ++m_i;
        return m_i > start;
    }

    bool Number(CJson& out) {
        size_t start = m_i;
        if (m_t[m_i] == '-')
            ++m_i;
        if (m_i < m_t.size() && m_t[m_i] == '0') {
            ++m_i;
        } else if (!Digits()) {
            return Fail("invalid number");
        }
        if (m_i < m_t.size() && m_t[m_i] == '.') {
            ++m_i;
            if (!Digits())
                return Fail("invalid number");
        }
        if (m_i < m_t.size() && (m_t[m_i] == 'e' || m_t[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_t.size() && (m_t[m_i] == '+' || m_t[m_i] == '-'))
                ++m_i;
            if (!Digits())
                return Fail("invalid number");
        }
        out = CJson::NumberText(std::string(m_t.substr(start, m_i - start)));
        return true;
    }

    bool Hex4(uint32_t& v) {
        if (m_i + 4 > m_t.size())
            return Fail("incomplete \\u escape");
        v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = m_t[m_i++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return Fail("invalid \\u escape");
        }
        return true;
    }

    bool String(std::string& s) {
        ++m_i; // opening quote
        while (true) {
            if (m_i >= m_t.size())
                return Fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(m_t[m_i]);
            if (c == '"') {
                ++m_i;
                return true;
            }
            if (c < 0x20)
                return Fail("control character in a string");
            if (c >= 0x80) {
                size_t n = Utf8SequenceLength(m_t, m_i);
                if (n == 0)
                    return Fail("invalid UTF-8");
                s.append(m_t.substr(m_i, n));
                m_i += n;
                continue;
            }
            ++m_i;
            if (c != '\\') {
                s += static_cast<char>(c);
                continue;
            }
            if (m_i >= m_t.size())
                return Fail("unterminated string");
            char e = m_t[m_i++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                s += e;
                break;
            case 'b':
                s += '\b';
                break;
            case 'f':
                s += '\f';
                break;
            case 'n':
                s += '\n';
                break;
            case 'r':
                s += '\r';
                break;
            case 't':
                s += '\t';
                break;
            case 'u': {
                uint32_t cp;
                if (!Hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    uint32_t lo;
                    if (m_t.substr(m_i, 2) != "\\u")
                        return Fail("unpaired surrogate");
                    m_i += 2;
                    if (!Hex4(lo))
                        return false;
                    if (lo < 0xDC00 || lo > 0xDFFF)
                        return Fail("unpaired surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return Fail("unpaired surrogate");
                }
                AppendUtf8(s, cp);
                break;
            }
            default:
                return Fail("invalid escape");
            }
        }
    }

    bool ArrayValue(CJson& out, int depth) {
        ++m_i;
        out = CJson::Array();
        SkipBlanks();
        if (m_i < m_t.size() && m_t[m_i] == ']') {
            ++m_i;
            return true;
        }
        while (true) {
            SkipBlanks();
            CJson item;
            if (!Value(item, depth + 1))
                return false;
            out.Push(std::move(item));
            SkipBlanks();
            if (m_i >= m_t.size())
                return Fail("unexpected end of the document");
            if (m_t[m_i] == ',') {
                ++m_i;
                continue;
            }
            if (m_t[m_i] == ']') {
                ++m_i;
                return true;
            }
            return Fail("expected ',' or ']'");
        }
    }

    bool ObjectValue(CJson& out, int depth) {
        ++m_i;
        out = CJson::Object();
        SkipBlanks();
        if (m_i < m_t.size() && m_t[m_i] == '}') {
            ++m_i;
            return true;
        }
        while (true) {
            SkipBlanks();
            if (m_i >= m_t.size() || m_t[m_i] != '"')
                return Fail("expected a member name");
            size_t keyPos = m_i;
            std::string key;
            if (!String(key))
                return false;
            if (out.Find(key)) {
                m_i = keyPos;
                return Fail("duplicate member \"" + key + "\"");
            }
            SkipBlanks();
            if (m_i >= m_t.size() || m_t[m_i] != ':')
                return Fail("expected ':'");
            ++m_i;
            SkipBlanks();
            CJson v;
            if (!Value(v, depth + 1))
                return false;
            out.Set(key, std::move(v));
            SkipBlanks();
            if (m_i >= m_t.size())
                return Fail("unexpected end of the document");
            if (m_t[m_i] == ',') {
                ++m_i;
                continue;
            }
            if (m_t[m_i] == '}') {
                ++m_i;
                return true;
            }
            return Fail("expected ',' or '}'");
        }
    }

    std::string_view m_t;
    size_t m_i = 0;
    std::string m_strError;
    size_t m_errPos = 0;
};

} // namespace

bool ParseJson(std::string_view text, CJson& out, std::string& error) {
    CParser p(text);
    CJson v;
    if (!p.Document(v)) {
        error = p.Error();
        return false;
    }
    out = std::move(v);
    return true;
}
