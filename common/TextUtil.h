#pragma once
// Small text helpers used by every reader of this system's text files.

#include <fstream>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// Reads one whole line, however long, without its line end. A carriage return
// before the line feed (files written on Windows) is dropped as well, so that
// CRLF and LF files read the same. Returns false at end of input when nothing
// was read.
bool ReadLine(std::istream& in, std::string& line);

// Opens a file for binary reading. False for a missing or unreadable path and
// for a directory, which std::ifstream would otherwise open on Linux and read
// as an empty file.
bool OpenInput(std::ifstream& in, const std::string& path);

std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);
// Removes trailing spaces, tabs, carriage returns and line feeds.
std::string TrimRight(std::string_view s);
std::string Trim(std::string_view s);
bool StartsWith(std::string_view s, std::string_view prefix);
bool EndsWith(std::string_view s, std::string_view suffix);
// Case-insensitive equality.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Text fit for XML 1.0 (and HTML) content and attribute values: markup
// characters as references, blanks that attribute normalisation would fold
// as character references, other control characters (which XML 1.0 cannot
// carry) as "?".
std::string XmlEscaped(std::string_view text);

// Text as valid UTF-8 without control characters, for files that every XML
// and JSON reader must take. A byte that begins no UTF-8 sequence is read as
// Latin-1 (titles of older files were most often written in it); control
// characters become U+FFFD, the replacement character.
std::string ValidUtf8(std::string_view text);

// A JSON string literal of the text, quotes included (ValidUtf8 leaves no
// control character to escape).
std::string JsonString(std::string_view text);

// The fields between separators: "a,,b" gives "a", "", "b"; an empty text
// gives one empty field.
std::vector<std::string> Split(std::string_view s, char separator = ',');
// The parts with `separator` between them.
std::string Join(const std::vector<std::string>& parts, std::string_view separator);

// Number parsing with the semantics of the C library's atoi/atof: leading
// white space skipped, trailing text ignored, no number gives 0.
int AtoI(std::string_view s);
double AtoF(std::string_view s);

}  // namespace text
