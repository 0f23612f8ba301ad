#pragma once
// JSON documents of the command line and of configuration files, on
// nlohmann-json (objects keep their member order). What this adds:
// - ParseJson: a strict reader that never throws and refuses what a
//   configuration file must not be: broken or truncated text, invalid UTF-8,
//   duplicate member names, nesting deeper than 64; the error names the place
//   ("line L, column C: what");
// - DumpJson: the writer; pretty output indents by two spaces and keeps
//   arrays of scalars on one line, compact output has no blanks. Bytes of
//   strings that are not UTF-8 are written as the Latin-1 characters of the
//   same codes, so the output always stays valid UTF-8.
// - JsonNumber: an exact decimal text ("-100.5") as a JSON number.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

using Json = nlohmann::ordered_json;

constexpr int kMaxJsonDepth = 64;

bool ParseJson(std::string_view text, Json& out, std::string& error);
std::string DumpJson(const Json& j, bool pretty = true);
// Appends s as a JSON string literal (quotes included).
void AppendJsonString(std::string& out, std::string_view s);

// A number written exactly as its decimal text ("16.000" stays 16.000); null
// when the text is not a JSON number. A document read back holds it as an
// ordinary number.
Json JsonNumber(std::string_view text);
// A whole number that fits: false for fractions, exponents and out of range.
bool JsonUint(const Json& j, uint64_t& out);
bool JsonInt(const Json& j, int64_t& out);
// A scalar as text: strings as they are, numbers and literals as written.
std::string JsonText(const Json& j);
