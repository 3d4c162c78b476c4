#include "platform/wildcard.h"

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/path_limit.h"

namespace ferrolo::platform {

namespace {

// The directory search rewrites a mask before matching: "?" becomes a question mark that may also match
// nothing before a dot or the end, "*" before a dot becomes a star that stops at the name's last dot, and
// a dot before a wildcard or at the end becomes a dot that may also match the end of the name.
enum class Token : char { Literal, Star, DosStar, DosQuestion, DosDot };

struct PatternItem {
    Token token;
    char literal;
};

// A run of stars matches what one star matches; it is kept as one, so that a mask of many stars costs no
// more than a mask of one.
std::vector<PatternItem> compile(std::string_view pattern) {
    std::vector<PatternItem> items;
    items.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '?') {
            items.push_back({Token::DosQuestion, c});
        } else if (c == '*') {
            const bool after_star = !items.empty() && (items.back().token == Token::Star);
            if (!after_star) {
                items.push_back({next == '.' ? Token::DosStar : Token::Star, c});
            }
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            items.push_back({Token::DosDot, c});
        } else {
            items.push_back({Token::Literal, c});
        }
    }
    return items;
}

bool same_letter(char a, char b, LetterCase letter_case) {
    return letter_case == LetterCase::Insensitive ? upper_ascii(a) == upper_ascii(b) : a == b;
}

// Whether name[n..] matches pattern[p..], for every p and n, filled from the ends backwards: each answer
// needs only answers further on, so there is no recursion to run out of stack and no case is worked out
// twice.
bool matches(std::string_view name, const std::vector<PatternItem>& pattern, LetterCase letter_case) {
    const size_t names = name.size() + 1;
    const size_t last_dot = name.rfind('.');
    std::vector<char> table((pattern.size() + 1) * names, 0);
    const auto at = [&](size_t p, size_t n) { return table[p * names + n] != 0; };
    // Where a run of question marks ends: they may all match nothing before a dot or the end.
    std::vector<size_t> after_questions(pattern.size() + 1, pattern.size());
    table[pattern.size() * names + name.size()] = 1;
    for (size_t p = pattern.size(); p-- > 0;) {
        const PatternItem& item = pattern[p];
        after_questions[p] = item.token == Token::DosQuestion ? after_questions[p + 1] : p;
        for (size_t n = names; n-- > 0;) {
            const bool at_end = n == name.size();
            bool match = false;
            switch (item.token) {
                case Token::Literal:
                    match = !at_end && same_letter(name[n], item.literal, letter_case) && at(p + 1, n + 1);
                    break;
                case Token::Star:
                    match = at(p + 1, n) || (!at_end && at(p, n + 1));
                    break;
                case Token::DosStar:
                    match = at(p + 1, n) || (!at_end && n != last_dot && at(p, n + 1));
                    break;
                case Token::DosQuestion:
                    match = !at_end && name[n] != '.' ? at(p + 1, n + 1) : at(after_questions[p], n);
                    break;
                case Token::DosDot:
                    match = at_end ? at(p + 1, n) : name[n] == '.' && at(p + 1, n + 1);
                    break;
            }
            table[p * names + n] = match ? 1 : 0;
        }
    }
    return at(0, 0);
}

}  // namespace

bool matches_file_mask(std::string_view name, std::string_view pattern, LetterCase letter_case) {
    if (pattern == "*" || pattern == "*.*") {
        return true;
    }
    const std::vector<PatternItem> items = compile(pattern);
    // No name is as long as the longest path; such a mask is refused before its table is made.
    return items.size() < path_length_limit() && matches(name, items, letter_case);
}

bool has_wildcards(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

}  // namespace ferrolo::platform
