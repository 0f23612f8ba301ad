#pragma once
// A small JSON value with a writer and a strict parser, enough for the
// command line's output and its configuration files. Numbers keep the text
// they were written or read with, so register values and exact decimals
// travel without passing through binary floating point.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CJson {
public:
    enum class EType { Null, Bool, Number, String, Array, Object };

    CJson() = default;
    static CJson Bool(bool b);
    static CJson Int(int64_t v);
    static CJson Uint(uint64_t v);
    // A number from its JSON text ("-100.0"); the caller vouches for the form.
    static CJson NumberText(std::string text);
    static CJson Str(std::string s);
    static CJson Array();
    static CJson Object();

    EType Type() const { return m_type; }
    bool IsNull() const { return m_type == EType::Null; }
    bool IsNumber() const { return m_type == EType::Number; }
    bool IsString() const { return m_type == EType::String; }
    bool IsArray() const { return m_type == EType::Array; }
    bool IsObject() const { return m_type == EType::Object; }
    bool IsBool() const { return m_type == EType::Bool; }

    bool BoolValue() const { return m_bool; }
    // Number text, or string contents.
    const std::string& Text() const { return m_text; }
    // True when the number is an integer written without fraction or exponent
    // and fits the target.
    bool GetInt64(int64_t& out) const;
    bool GetUint64(uint64_t& out) const;

    // Arrays.
    CJson& Push(CJson v);
    const std::vector<CJson>& Items() const { return m_items; }
    size_t Size() const { return m_type == EType::Object ? m_members.size() : m_items.size(); }

    // Objects: Set replaces an existing key, keeping its place.
    CJson& Set(const std::string& key, CJson v);
    const CJson* Find(std::string_view key) const;
    const std::vector<std::pair<std::string, CJson>>& Members() const { return m_members; }

    // Pretty output indents by two spaces and keeps arrays of scalars on one
    // line; compact output has no blanks at all. Bytes of strings that are not
    // UTF-8 are written as the Latin-1 characters of the same codes.
    std::string Dump(bool pretty = true) const;

private:
    void DumpTo(std::string& out, bool pretty, int indent) const;

    EType m_type = EType::Null;
    bool m_bool = false;
    std::string m_text;
    std::vector<CJson> m_items;
    std::vector<std::pair<std::string, CJson>> m_members;
};

// Appends s as a JSON string literal (quotes included).
void AppendJsonString(std::string& out, std::string_view s);

// Parses one JSON document (RFC 8259, UTF-8). Rejects trailing content,
// duplicate keys, nesting deeper than 64 and invalid UTF-8. On failure error
// holds "line L, column C: what".
bool ParseJson(std::string_view text, CJson& out, std::string& error);
