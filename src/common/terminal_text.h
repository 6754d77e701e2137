// Text for a terminal or a log, made from names that may hold any byte: a name must show as
// itself, never act on the terminal (escape sequences, a line of its own) nor reorder the text
// around it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// Length of the valid UTF-8 sequence at text[at], or 0 when the byte there starts none (an
/// overlong form, a surrogate or a code point past U+10FFFF starts none).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

/// True when the character of length bytes at text[at] (length 0: a byte outside valid UTF-8)
/// would act instead of show: a C0 or C1 control, DEL, a bidirectional embedding, override or
/// isolate (U+202A to U+202E, U+2066 to U+2069), or no valid UTF-8 at all.
bool isUnsafeCharacter(std::string_view text, std::size_t at, std::size_t length);

/// text with every byte of an unsafe character written as \xNN (lower case), the rest as it is;
/// backslashToo: a backslash as \\, so that the text reads back unambiguously.
std::string escapeUnsafe(std::string_view text, bool backslashToo = false);

/// The first named items joined by ", ", then " and N more" for the others: a line that names a
/// few of many files.
std::string firstFewOf(const std::vector<std::string>& items, std::size_t named);
