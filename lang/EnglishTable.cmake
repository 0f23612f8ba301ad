# Writes OUTPUT, the English texts of the contexts below the desktop surface
# (names starting serial/, modbus/ or driver/) from the translation file TS,
# as a C++ table for halvik-cli, which has no Qt. Run by CMake at build time:
#   cmake -DTS=res/translations/halvik_en.ts -DOUTPUT=EnglishTable.cpp -P EnglishTable.cmake
cmake_policy(VERSION 3.22)
file(READ ${TS} _ts)
# List separators and brackets would split the texts apart below.
string(REPLACE ";" "@SEMICOLON@" _ts "${_ts}")
string(REPLACE "[" "@LBRACKET@" _ts "${_ts}")
string(REPLACE "]" "@RBRACKET@" _ts "${_ts}")
string(REPLACE "</context>" ";" _contexts "${_ts}")

function(_cpp_literal text out)
    # lupdate writes control characters as <byte value="xN"/>; their quotes
    # must outlive the escaping of the text's own.
    string(REGEX REPLACE "<byte value=\"(x[0-9a-fA-F]+)\"/>" "<byte value=@QUOTE@\\1@QUOTE@/>"
                         text "${text}")
    # The file's semicolons, those of the entities too, are @SEMICOLON@ here.
    string(REPLACE "&lt@SEMICOLON@" "<" text "${text}")
    string(REPLACE "&gt@SEMICOLON@" ">" text "${text}")
    string(REPLACE "&quot@SEMICOLON@" "\"" text "${text}")
    string(REPLACE "&apos@SEMICOLON@" "'" text "${text}")
    string(REPLACE "&amp@SEMICOLON@" "&" text "${text}")
    # Backslashes doubled first, then the escapes this writes itself.
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "<byte value=@QUOTE@xd@QUOTE@/>" "\\r" text "${text}")
    string(REPLACE "<byte value=@QUOTE@x9@QUOTE@/>" "\\t" text "${text}")
    string(REPLACE "@SEMICOLON@" ";" text "${text}")
    string(REPLACE "@LBRACKET@" "[" text "${text}")
    string(REPLACE "@RBRACKET@" "]" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

set(_rows "")
foreach(_context IN LISTS _contexts)
    if(NOT _context MATCHES "<name>((serial|modbus|driver)/[^<]*)</name>")
        continue()
    endif()
    set(_name "${CMAKE_MATCH_1}")
    string(REPLACE "</message>" ";" _messages "${_context}")
    foreach(_message IN LISTS _messages)
        if(NOT _message MATCHES "<source>([^<]*(<byte value=\"x[0-9a-fA-F]+\"/>[^<]*)*)</source>")
            continue()
        endif()
        set(_source "${CMAKE_MATCH_1}")
        # Only finished translations: an unfinished one shows the source.
        if(NOT _message MATCHES "<translation>([^<]*(<byte value=\"x[0-9a-fA-F]+\"/>[^<]*)*)</translation>")
            continue()
        endif()
        set(_english "${CMAKE_MATCH_1}")
        _cpp_literal("${_source}" _s)
        _cpp_literal("${_english}" _e)
        string(APPEND _rows "    {\"${_name}\", ${_s}, ${_e}},\n")
    endforeach()
endforeach()

file(CONFIGURE OUTPUT ${OUTPUT} @ONLY CONTENT "// Made by lang/EnglishTable.cmake from the translation file: do not edit.
#include \"lang/EnglishTable.h\"

#include <cstring>

namespace {
struct SRow {
    const char* context;
    const char* source;
    const char* english;
};
const SRow kRows[] = {
@_rows@};
} // namespace

bool EnglishText(const char* context, const char* source, std::string& text) {
    for (const SRow& r : kRows)
        if (std::strcmp(r.source, source) == 0 && std::strcmp(r.context, context) == 0) {
            text = r.english;
            return true;
        }
    return false;
}
")
