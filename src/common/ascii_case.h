// Letter case as file systems that ignore it compare names: ASCII letters only, every other byte
// as it is.
#pragma once

#include <string>

inline char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string upperAscii(std::string text) {
    for (char& c : text) {
        c = upperAscii(c);
    }
    return text;
}
