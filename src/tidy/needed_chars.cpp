#include "tidy/needed_chars.h"

#include <algorithm>
#include <utility>

namespace quenlet::tidy {
namespace {

using Chars = std::vector<char16_t>;
using Set = std::optional<Chars>;  // nothing: no character is known to be needed
// What a match of a part of the pattern needs: one character of each set.
using Needs = std::optional<NeededCharacters>;

void addAll(Chars& into, const Chars& more) {
    into.insert(into.end(), more.begin(), more.end());
    std::sort(into.begin(), into.end());
    into.erase(std::unique(into.begin(), into.end()), into.end());
}

constexpr std::size_t kMaxClassMembers = 64;

bool isAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// ASCII, general and CJK punctuation, and the full-width forms of ASCII marks.
bool isPunctuation(char16_t c) {
    return (c < 0x80 && !isAsciiAlnum(c)) || (c >= 0x2010 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) ||
           (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
           (c >= 0xFF5B && c <= 0xFF65);
}

bool holdsPunctuation(const std::vector<char16_t>& set) { return std::any_of(set.begin(), set.end(), isPunctuation); }

// A recursive-descent reading of the usual PCRE2 syntax: alternation,
// sequences, groups, classes, escapes and quantifiers. Whatever it does not
// follow (inline options, \Q...\E, ...) makes it give up.
class Reader {
public:
    explicit Reader(TextView pattern) : p_(pattern) {}

    Needs read() {
        Needs needs = alternation();
        if (failed_ || at_ < p_.size()) return std::nullopt;
        return needs;
    }

private:
    struct Item {
        Needs needs;
        bool zeroWidth = false;  // an anchor or lookaround: matches no character
    };
    static Item single(Set set) {
        if (!set) return {};
        return {NeededCharacters{*set, *set}};
    }

    bool more() const { return at_ < p_.size(); }
    char16_t peek(std::size_t ahead = 0) const { return at_ + ahead < p_.size() ? p_[at_ + ahead] : u'\0'; }
    Set fail() {
        failed_ = true;
        return std::nullopt;
    }

    // Each alternative needs its own characters: the alternation needs one of
    // any of them.
    Needs alternation() {
        Needs all = sequence();
        bool known = all.has_value();
        while (!failed_ && more() && peek() == u'|') {
            ++at_;
            const Needs next = sequence();
            if (!next) {
                known = false;
            } else if (known) {
                addAll(all->first, next->first);
                addAll(all->second, next->second);
            }
        }
        if (!known) return std::nullopt;
        return all;
    }

    // The two smallest sets among those of the items every match must pass
    // through; on a tie the later, which tends to be the more particular.
    Needs sequence() {
        std::vector<Chars> sets;
        while (!failed_ && more() && peek() != u'|' && peek() != u')') {
            const Item item = atom();
            const bool optional = quantifier();
            if (failed_) return std::nullopt;
            if (optional || item.zeroWidth || !item.needs) continue;
            sets.push_back(item.needs->first);
            if (item.needs->second != item.needs->first) sets.push_back(item.needs->second);
        }
        if (sets.empty()) return std::nullopt;
        // Smaller sets first; of the same size, those without punctuation,
        // which is in almost every line of prose.
        auto key = [](const Chars& set) { return std::pair(set.size(), holdsPunctuation(set)); };
        std::stable_sort(sets.begin(), sets.end(), [&](const Chars& a, const Chars& b) { return key(a) < key(b); });
        // The last written of the best sets, then the last of the next best.
        auto lastLike = [&](std::size_t from) {
            std::size_t last = from;
            while (last + 1 < sets.size() && key(sets[last + 1]) == key(sets[from])) ++last;
            return last;
        };
        const std::size_t first = lastLike(0);
        if (sets.size() == 1) return NeededCharacters{sets[0], sets[0]};
        const std::size_t second = first > 0 ? first - 1 : lastLike(1);
        return NeededCharacters{sets[first], sets[second]};
    }

    Item atom() {
        const char16_t c = peek();
        ++at_;
        switch (c) {
            case u'(': return group();
            case u'[': return single(characterClass());
            case u'\\': return escape();
            case u'.': return {};
            case u'^':
            case u'$': return {std::nullopt, true};
            default: return single(Chars{c});
        }
    }

    Item group() {
        if (peek() == u'*') {  // (*VERB)
            while (more() && peek() != u')') ++at_;
            return closeGroup({std::nullopt, true});
        }
        if (peek() != u'?') return closeGroup({alternation()});
        ++at_;
        const char16_t kind = peek();
        if (kind == u':' || kind == u'>' || kind == u'|') {
            ++at_;
            return closeGroup({alternation()});
        }
        if (kind == u'=' || kind == u'!') {
            ++at_;
            alternation();
            return closeGroup({std::nullopt, true});
        }
        if (kind == u'<' && (peek(1) == u'=' || peek(1) == u'!')) {
            at_ += 2;
            alternation();
            return closeGroup({std::nullopt, true});
        }
        if (kind == u'#') {
            while (more() && peek() != u')') ++at_;
            return closeGroup({std::nullopt, true});
        }
        if (kind == u'<' || kind == u'\'' || (kind == u'P' && peek(1) == u'<')) {  // a named group
            const char16_t close = kind == u'\'' ? u'\'' : u'>';
            while (more() && peek() != close) ++at_;
            ++at_;
            return closeGroup({alternation()});
        }
        fail();  // inline options and the rarer groups change how the rest reads
        return {};
    }

    Item closeGroup(Item item) {
        if (peek() != u')') {
            fail();
            return {};
        }
        ++at_;
        return item;
    }

    Set characterClass() {
        bool negated = false;
        if (peek() == u'^') {
            negated = true;
            ++at_;
        }
        std::vector<char16_t> members;
        bool known = !negated;
        bool first = true;
        while (more() && (peek() != u']' || first)) {
            first = false;
            char16_t from = peek();
            ++at_;
            if (from == u'[' && peek() == u':') return fail();  // [:alpha:]
            if (from == u'\\') {
                const char16_t e = peek();
                ++at_;
                if (isAsciiAlnum(e)) {  // \d, \s, \x{..}: more than this reading lists
                    known = false;
                    if (e == u'x' && peek() == u'{')
                        while (more() && peek() != u'}') ++at_;
                    continue;
                }
                from = e;
            }
            if (peek() == u'-' && peek(1) != u']' && peek(1) != u'\0' && peek(1) != u'\\') {
                const char16_t to = peek(1);
                at_ += 2;
                if (to < from || static_cast<std::size_t>(to - from) >= kMaxClassMembers) known = false;
                else
                    for (char16_t m = from; m <= to && known; ++m) members.push_back(m);
                continue;
            }
            members.push_back(from);
        }
        if (!more()) return fail();
        ++at_;  // ]
        if (!known || members.size() > kMaxClassMembers) return std::nullopt;
        return members;
    }

    Item escape() {
        const char16_t e = peek();
        ++at_;
        if (!isAsciiAlnum(e)) return single(Chars{e});
        switch (e) {
            case u'b': case u'B': case u'A': case u'z': case u'Z': case u'G': case u'K':
                return {std::nullopt, true};
            case u'n': return single(Chars{u'\n'});
            case u't': return single(Chars{u'\t'});
            case u'r': return single(Chars{u'\r'});
            case u'x': return single(hexCharacter());
            case u'd': case u'D': case u's': case u'S': case u'w': case u'W': case u'h': case u'H':
            case u'v': case u'V': case u'N': case u'R': case u'X':
                return {};
            case u'p': case u'P':
                if (peek() == u'{')
                    while (more() && peek() != u'}') ++at_;
                ++at_;
                return {};
            default:  // back references, \Q...\E and the like
                fail();
                return {};
        }
    }

    Set hexCharacter() {
        std::u16string digits;
        if (peek() == u'{') {
            ++at_;
            while (more() && peek() != u'}') digits.push_back(p_[at_++]);
            ++at_;
        } else {
            for (int i = 0; i < 2 && more(); ++i) digits.push_back(p_[at_++]);
        }
        unsigned value = 0;
        for (const char16_t d : digits) {
            if (d >= u'0' && d <= u'9') value = value * 16 + (d - u'0');
            else if (d >= u'a' && d <= u'f') value = value * 16 + (d - u'a' + 10);
            else if (d >= u'A' && d <= u'F') value = value * 16 + (d - u'A' + 10);
            else return fail();
        }
        if (digits.empty() || value > 0xFFFF) return fail();
        return Chars{static_cast<char16_t>(value)};
    }

    // Reads a quantifier, if one follows; true when it lets the item be absent.
    bool quantifier() {
        bool optional = false;
        const char16_t q = peek();
        if (q == u'?' || q == u'*') {
            ++at_;
            optional = true;
        } else if (q == u'+') {
            ++at_;
        } else if (q == u'{') {
            std::size_t end = at_ + 1;
            std::u16string minimum;
            while (end < p_.size() && p_[end] >= u'0' && p_[end] <= u'9') minimum.push_back(p_[end++]);
            bool isQuantifier = end < p_.size() && (p_[end] == u'}' || p_[end] == u',');
            if (isQuantifier && p_[end] == u',') {
                ++end;
                while (end < p_.size() && p_[end] >= u'0' && p_[end] <= u'9') ++end;
                isQuantifier = end < p_.size() && p_[end] == u'}' && (!minimum.empty() || end > at_ + 2);
            }
            if (!isQuantifier) return false;  // a literal brace
            at_ = end + 1;
            optional = std::all_of(minimum.begin(), minimum.end(), [](char16_t d) { return d == u'0'; });
        } else {
            return false;
        }
        if (peek() == u'?' || peek() == u'+') ++at_;  // lazy or possessive
        return optional;
    }

    TextView p_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

}  // namespace

std::optional<NeededCharacters> neededCharacters(TextView pattern) { return Reader(pattern).read(); }

}  // namespace quenlet::tidy
