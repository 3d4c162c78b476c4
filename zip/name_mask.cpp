#include "zip/name_mask.h"

#include <cstdint>

namespace ferrolo::zip {

namespace {

char fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of the character starting at `text[position]`: a UTF-8 lead byte and its continuation bytes.
size_t character_length(std::string_view text, size_t position) {
    size_t length = 1;
    while (position + length < text.size() &&
           (static_cast<uint8_t>(text[position + length]) & 0xC0) == 0x80 &&
           static_cast<uint8_t>(text[position]) >= 0xC0) {
        ++length;
    }
    return length;
}

}  // namespace

bool matches_name_mask(std::string_view text, std::string_view mask) {
    // Greedy matching with one backtrack point, the last "*": linear in practice and never exponential.
    size_t t = 0;
    size_t m = 0;
    size_t star_mask = std::string_view::npos;
    size_t star_text = 0;
    while (t < text.size()) {
        if (m < mask.size() && mask[m] == '*') {
            star_mask = m++;
            star_text = t;
        } else if (m < mask.size() && mask[m] == '?') {
            t += character_length(text, t);
            ++m;
        } else if (m < mask.size() && fold(mask[m]) == fold(text[t])) {
            ++t;
            ++m;
        } else if (star_mask != std::string_view::npos) {
            m = star_mask + 1;
            star_text += character_length(text, star_text);
            t = star_text;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

}  // namespace ferrolo::zip
