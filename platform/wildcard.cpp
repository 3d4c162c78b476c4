#include "platform/wildcard.h"

#include <string>
#include <vector>

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

std::vector<PatternItem> compile(std::string_view pattern) {
    std::vector<PatternItem> items;
    items.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '?') {
            items.push_back({Token::DosQuestion, c});
        } else if (c == '*') {
            items.push_back({next == '.' ? Token::DosStar : Token::Star, c});
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            items.push_back({Token::DosDot, c});
        } else {
            items.push_back({Token::Literal, c});
        }
    }
    return items;
}

class Matcher {
public:
    Matcher(std::string_view name, std::vector<PatternItem> pattern, LetterCase letter_case)
        : name_(name),
          letter_case_(letter_case),
          pattern_(std::move(pattern)),
          last_dot_(name.rfind('.')),
          memo_((pattern_.size() + 1) * (name.size() + 1), kUnknown) {}

    bool matches() { return match(0, 0); }

private:
    static constexpr char kUnknown = 2;

    // Memoised so that masks with many stars stay linear in the name's length per pattern item.
    bool match(size_t p, size_t n) {
        char& known = memo_[p * (name_.size() + 1) + n];
        if (known == kUnknown) {
            known = compute(p, n) ? 1 : 0;
        }
        return known == 1;
    }

    bool compute(size_t p, size_t n) {
        if (p == pattern_.size()) {
            return n == name_.size();
        }
        const bool at_end = n == name_.size();
        const PatternItem& item = pattern_[p];
        switch (item.token) {
            case Token::Literal:
                return !at_end && same_letter(name_[n], item.literal) && match(p + 1, n + 1);
            case Token::Star:
                return match(p + 1, n) || (!at_end && match(p, n + 1));
            case Token::DosStar:
                return match(p + 1, n) || (!at_end && n != last_dot_ && match(p, n + 1));
            case Token::DosQuestion:
                if (!at_end && name_[n] != '.') {
                    return match(p + 1, n + 1);
                }
                return match(skip_dos_questions(p), n);
            case Token::DosDot:
                if (at_end) {
                    return match(p + 1, n);
                }
                return name_[n] == '.' && match(p + 1, n + 1);
        }
        return false;
    }

    bool same_letter(char a, char b) const {
        if (letter_case_ == LetterCase::Insensitive) {
            a = (a >= 'a' && a <= 'z') ? static_cast<char>(a - 'a' + 'A') : a;
            b = (b >= 'a' && b <= 'z') ? static_cast<char>(b - 'a' + 'A') : b;
        }
        return a == b;
    }

    size_t skip_dos_questions(size_t p) const {
        while (p < pattern_.size() && pattern_[p].token == Token::DosQuestion) {
            ++p;
        }
        return p;
    }

    std::string_view name_;
    LetterCase letter_case_;
    std::vector<PatternItem> pattern_;
    size_t last_dot_;
    std::vector<char> memo_;
};

}  // namespace

bool matches_file_mask(std::string_view name, std::string_view pattern, LetterCase letter_case) {
    if (pattern == "*" || pattern == "*.*") {
        return true;
    }
    return Matcher(name, compile(pattern), letter_case).matches();
}

bool has_wildcards(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

}  // namespace ferrolo::platform
