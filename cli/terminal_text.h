// Text on its way to a terminal or a script: the listings' fields and every message on
// stderr. Names from a workbook (sheets, zip members) and paths can hold any character;
// written raw, a line break would forge a second line and an escape character would drive
// the terminal.
#pragma once

#include <string>
#include <string_view>

namespace gridwell::cli {

// Appends `s` with tab, newline, carriage return and backslash written \t, \n, \r and \\,
// and every other control character (C0, DEL, and the C1 controls U+0080-U+009F, which some
// terminals obey as 8-bit escapes) written as \xHH escapes of its bytes. Bytes that are not
// part of valid UTF-8 are written as \xHH too, so that no lone byte can act as a C1 control.
void AppendEscapedText(std::string& out, std::string_view s);

// Writes `text`, escaped, and one line end on stderr: a message is always one line.
void PrintLine(std::string_view text);

}  // namespace gridwell::cli
