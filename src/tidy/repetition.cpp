#include "tidy/repetition.h"

#include <algorithm>
#include <array>

namespace quenlet::tidy {
namespace {

bool isHan(char16_t c) {
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xD800 && c <= 0xDBFF);  // a character beyond the BMP: its lead unit stands for it
}

// Latin letters and digits, full-width ones as ASCII, letters in lower case; 0 for anything else.
char16_t latinOf(char16_t c) {
    if (c >= u'\uFF01' && c <= u'\uFF5E') c = static_cast<char16_t>(c - 0xFEE0);
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c - u'A' + u'a');
    if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return c;
    return 0;
}

// What a skeleton keeps: Han characters, Latin letters and digits, other
// letters of any script; spaces, punctuation and symbols go.
bool keptInSkeleton(char16_t c) {
    if (latinOf(c) != 0 || isHan(c)) return true;
    if (c < 0x80) return false;
    if (c >= 0x2000 && c <= 0x2BFF) return false;  // general punctuation, arrows, symbols
    if (c >= 0x3000 && c <= 0x303F) return false;  // CJK punctuation
    if (c >= 0xFE30 && c <= 0xFE4F) return false;  // CJK compatibility forms
    if (c >= 0xFF00 && c <= 0xFF65) return false;  // full-width punctuation (letters were taken above)
    if (c == 0x00D7 || c == 0x00B7 || (c >= 0x00A0 && c <= 0x00BF)) return false;
    if (c >= 0xDC00 && c <= 0xDFFF) return false;  // the trail unit of a pair, or an undecodable byte
    return true;
}

// Words by which a site speaks of itself, in either script. (Latin words are
// matched in the skeleton, where letters are lower case.)
constexpr std::array<std::u16string_view, 52> kSiteWords = {
    u"小说", u"小說", u"电子书", u"電子書", u"下载", u"下載", u"手机", u"手機", u"书屋", u"書屋", u"天堂",
    u"文学网", u"文學網", u"网站", u"網站", u"网址", u"網址", u"书城", u"書城", u"书库", u"書庫", u"书网",
    u"書網", u"免费", u"免費", u"首发", u"首發", u"在线阅读", u"在線閱讀", u"阅读网", u"閱讀網", u"论坛",
    u"論壇", u"扫描", u"掃描", u"校对", u"校對", u"录入", u"錄入", u"上传", u"上傳", u"月票", u"书评",
    u"書評", u"本站", u"txt", u"www", u"http", u"com", u"net", u"书吧", u"書吧",
};

// The site words that may stand inside a disguised address, split by marks (小.说。天.堂).
constexpr std::array<std::u16string_view, 25> kAddressWords = {
    u"txt", u"小说", u"小說", u"天堂", u"电子书", u"電子書", u"下载", u"下載", u"手机", u"手機", u"书屋", u"書屋", u"网",
    u"網", u"文学", u"文學", u"阅读", u"閱讀", u"书城", u"書城", u"书库", u"書庫", u"首发", u"首發", u"站",
};

constexpr std::array<std::u16string_view, 13> kDomainEnds = {
    u"com", u"net", u"org", u"cn", u"cc", u"tw", u"hk", u"info", u"top", u"xyz", u"me", u"la", u"vip",
};

bool containsWord(TextView text, TextView word) { return text.find(word) != TextView::npos; }

// Words of a site's talk about itself and its offer: a clause around an
// address that holds two of them is the ad the address belongs to.
constexpr std::array<std::u16string_view, 46> kSiteTalk = {
    u"书评", u"書評", u"最新", u"更新", u"推荐", u"推薦", u"专题", u"專題", u"网址", u"網址", u"请到", u"請到",
    u"访问", u"訪問", u"登陆", u"登陸", u"登录", u"登錄", u"下载", u"下載", u"阅读", u"閱讀", u"收藏", u"本站",
    u"小说", u"小說", u"电子书", u"電子書", u"网站", u"網站", u"首发", u"首發", u"手机", u"手機", u"书友", u"書友",
    u"免费", u"免費", u"章节", u"章節", u"全集", u"在线", u"在線", u"txt", u"TXT", u"书城",
};

bool endsClause(char16_t c) {
    return c == u'。' || c == u'！' || c == u'？' || c == u'!' || c == u'?' || c == u'；' || c == u';' || c == u'“' ||
           c == u'”' || c == u'「' || c == u'」' || c == u'『' || c == u'』' || c == u'"';
}

std::size_t siteTalkIn(TextView text) {
    std::size_t found = 0;
    for (TextView word : kSiteTalk)
        for (std::size_t at = text.find(word); at != TextView::npos; at = text.find(word, at + word.size())) ++found;
    return found;
}

}  // namespace

void skeletonOf(TextView text, Text& skeleton) {
    skeleton.clear();
    for (const char16_t c : text) {
        if (!keptInSkeleton(c)) continue;
        const char16_t latin = latinOf(c);
        skeleton.push_back(latin != 0 ? latin : c);
    }
}

namespace {

// For each character: whether it is a Latin letter or digit, whether it
// begins a site word, whether it is a site word's second character. One
// look-up a character: this runs on most short lines of a book.
constexpr std::uint8_t kLatin = 1, kFirst = 2, kSecond = 4;
const std::array<std::uint8_t, 0x10000>& siteKinds() {
    static const std::array<std::uint8_t, 0x10000> kinds = [] {
        std::array<std::uint8_t, 0x10000> table{};
        for (std::size_t c = 0; c < table.size(); ++c)
            if (latinOf(static_cast<char16_t>(c)) != 0) table[c] |= kLatin;
        for (TextView word : kSiteWords) {
            table[word[0]] |= kFirst;
            table[word[1]] |= kSecond;
        }
        return table;
    }();
    return kinds;
}

}  // namespace

bool looksLikeSite(TextView text) {
    const std::array<std::uint8_t, 0x10000>& kinds = siteKinds();
    // Most lines hold neither a Latin letter nor a site word's first two
    // characters side by side: one pass without branches tells.
    unsigned latin = 0;
    unsigned pairs = 0;
    unsigned previous = 0;
    for (const char16_t c : text) {
        const unsigned kind = kinds[c];
        latin |= kind;
        pairs |= (previous << 1) & kind;  // a first character (kFirst) before a second (kSecond)
        previous = kind;
    }
    if (latin & kLatin) return true;  // Latin letters or digits in a Chinese book's recurring line
    if ((pairs & kSecond) == 0) return false;
    for (std::size_t at = 0; at + 1 < text.size(); ++at) {
        if (!(kinds[text[at]] & kFirst) || !(kinds[text[at + 1]] & kSecond)) continue;
        for (TextView word : kSiteWords)
            if (word[0] == text[at] && text.substr(at, word.size()) == word) return true;
    }
    return false;
}

std::uint64_t skeletonKey(TextView skeleton) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const char16_t c : skeleton) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash | 1;
}

RepeatCounter::Entry& RepeatCounter::placeOf(std::uint64_t hash) {
    const std::size_t mask = places_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask)
        if (places_[at].hash == hash || places_[at].hash == 0) return places_[at];
}

void RepeatCounter::add(TextView skeleton, TextView line, Count chapter) {
    const std::uint64_t hash = skeletonKey(skeleton);
    if (places_.empty()) places_.resize(kPlaces);
    if (used_ >= kPlaces * 3 / 4) forget();
    Entry* entry = &placeOf(hash);
    if (entry->hash == 0) {
        entry->hash = hash;
        entry->firstChapter = chapter;
        ++used_;
    }
    ++entry->count;
    if ((entry->count == 2 || (entry->count == 1 && keepsFirstLines_)) && samples_.size() < kPlaces) {
        samples_.emplace_back(line);
        (entry->count == 2 ? entry->sample : entry->firstSample) = static_cast<std::uint32_t>(samples_.size());
    }
    if (entry->lastChapter != chapter) {
        ++entry->chapters;
        entry->lastChapter = chapter;
    }
}

// Keeps the entries seen more than `least` times, for the least `least` that
// frees a good part of the table; the table is then built anew.
bool RepeatCounter::canTake(const RepeatCounter& later) const {
    return !forgot_ && !later.forgot_ && used_ + later.used_ < kPlaces * 3 / 4 &&
           samples_.size() + later.samples_.size() < kPlaces;
}

void RepeatCounter::append(const RepeatCounter& later, Count chapterOffset) {
    if (later.used_ == 0) return;
    if (places_.empty()) places_.resize(kPlaces);
    later.forEach([&](const Entry& seen) {
        Entry& entry = placeOf(seen.hash);
        if (entry.hash == 0) {
            entry.hash = seen.hash;
            entry.firstChapter = chapterOffset + seen.firstChapter;
            ++used_;
        }
        // Its second line overall: the later part's second, or its first
        // when it was seen once before.
        const std::uint32_t second = entry.count == 0 ? seen.sample : entry.count == 1 ? seen.firstSample : 0;
        if (second != 0) {
            samples_.push_back(later.samples_[second - 1]);
            entry.sample = static_cast<std::uint32_t>(samples_.size());
        }
        // (a chapter that runs on into the later part is one chapter)
        const bool sameChapter = entry.count > 0 && entry.lastChapter == chapterOffset + seen.firstChapter;
        entry.chapters += seen.chapters - (sameChapter ? 1 : 0);
        entry.count += seen.count;
        entry.lastChapter = chapterOffset + seen.lastChapter;
    });
}

void RepeatCounter::forget() {
    forgot_ = true;
    for (Count least = 1; used_ >= kPlaces / 2; ++least) {
        std::vector<Entry> kept;
        for (const Entry& entry : places_)
            if (entry.hash != 0 && entry.count > least) kept.push_back(entry);
        std::fill(places_.begin(), places_.end(), Entry{});
        used_ = 0;
        for (const Entry& entry : kept) {
            placeOf(entry.hash) = entry;
            ++used_;
        }
    }
}

namespace {

// The parts of a line an address piece is made of.
enum class Part : std::uint8_t { Other, Latin, Mark, SiteWord };

bool isLetter(char16_t c) { return latinOf(c) != 0; }

// Whether the letters of a piece spell an address: www, http, or a name
// ending in a domain (xiaoshuotxt.net), or nothing but a domain's end (com)
// where the piece stands alone.
bool spellsAddress(TextView piece, bool standsAlone) {
    Text letters;
    Text tail;  // the letters after the last dot-like mark
    bool dotSeen = false;
    for (const char16_t c : piece) {
        if (const char16_t l = latinOf(c)) {
            letters.push_back(l);
            tail.push_back(l);
        } else if (c == u'.' || c == u'。' || c == u'．' || c == u'、') {
            dotSeen = true;
            tail.clear();
        }
    }
    if (letters.size() < 2) return false;
    if (containsWord(letters, u"www") || containsWord(letters, u"http") || containsWord(letters, u"wap"))
        return true;
    for (TextView end : kDomainEnds) {
        if (dotSeen && tail.size() >= end.size() && TextView(tail).substr(0, end.size()) == end &&
            tail.size() <= end.size() + 1)
            return true;
        if (standsAlone && letters == end) return true;
    }
    return false;
}

}  // namespace

std::vector<AddressPiece> findAddresses(TextView line) {
    std::vector<AddressPiece> pieces;
    if (std::none_of(line.begin(), line.end(), isLetter)) return pieces;
    std::vector<Part> parts(line.size(), Part::Other);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isLetter(line[i])) parts[i] = Part::Latin;
        else if (!isHan(line[i]) && !(line[i] >= 0xDC00 && line[i] <= 0xDFFF)) parts[i] = Part::Mark;
    }
    // Site words, their characters perhaps split by marks: 小.说。天.堂.
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (parts[i] != Part::Other) continue;
        for (TextView word : kAddressWords) {
            if (word[0] >= 0x80 && line[i] != word[0]) continue;
            std::size_t at = i;
            std::size_t matched = 0;
            while (matched < word.size() && at < line.size()) {
                if (line[at] == word[matched]) {
                    ++matched;
                    ++at;
                } else if (matched > 0 && parts[at] == Part::Mark && at - i < 4 * word.size()) {
                    ++at;
                } else {
                    break;
                }
            }
            if (matched == word.size()) {
                for (std::size_t k = i; k < at; ++k)
                    if (parts[k] == Part::Other) parts[k] = Part::SiteWord;
                break;
            }
        }
    }
    // Maximal runs of letters, marks and site words that begin and end with a
    // letter or a site word, and whose letters spell an address.
    for (std::size_t i = 0; i < line.size();) {
        if (parts[i] != Part::Latin && parts[i] != Part::SiteWord) {
            ++i;
            continue;
        }
        std::size_t end = i;
        std::size_t lastSolid = i;
        while (end < line.size() && parts[end] != Part::Other) {
            if (parts[end] != Part::Mark) lastSolid = end;
            ++end;
        }
        const std::size_t stop = lastSolid + 1;
        const TextView piece = line.substr(i, stop - i);
        const bool standsAlone = (i == 0 || parts[i - 1] == Part::Mark) && (stop == line.size() || parts[stop] == Part::Mark);
        bool hasLetters = false;
        for (std::size_t k = i; k < stop; ++k) hasLetters |= parts[k] == Part::Latin;
        if (hasLetters && spellsAddress(piece, standsAlone)) pieces.push_back({i, stop});
        i = end;
    }
    // An address inside a clause that talks like a site (请到…专题网址, 最新更新)
    // takes the clause with it.
    for (AddressPiece& piece : pieces) {
        std::size_t begin = piece.begin;
        while (begin > 0 && !endsClause(line[begin - 1])) --begin;
        std::size_t end = piece.end;
        while (end < line.size() && !endsClause(line[end])) ++end;
        if (end < line.size() && (line[end] == u'。' || line[end] == u'！' || line[end] == u'；')) ++end;
        const TextView before = line.substr(begin, piece.begin - begin);
        const TextView after = line.substr(piece.end, end - piece.end);
        if (siteTalkIn(before) + siteTalkIn(after) >= 2) {
            piece.begin = begin;
            piece.end = end;
        }
    }
    // (pieces widened to one clause may now overlap: merge them)
    std::vector<AddressPiece> merged;
    for (const AddressPiece& piece : pieces) {
        if (!merged.empty() && piece.begin <= merged.back().end) merged.back().end = std::max(merged.back().end, piece.end);
        else merged.push_back(piece);
    }
    return merged;
}

namespace {

// The words before or after a piece within its clause, at most this many characters.
constexpr std::size_t kCompanionReach = 12;
// How many sightings of an address are kept, and how many it needs, and in
// what share of them its companion words must stand.
constexpr std::size_t kCompanionSamples = 16;
constexpr Count kLeastSightings = 3;
constexpr double kCompanionShare = 0.6;
constexpr std::size_t kMostAddresses = 4096;

bool isSkeletonChar(char16_t c) { return keptInSkeleton(c); }

// The longest ending (or beginning, when `ends` is false) shared by at least
// the share of the texts, two characters or more.
Text sharedPart(const std::vector<Text>& texts, bool ends) {
    Text best;
    const auto needed = static_cast<std::size_t>(kCompanionShare * static_cast<double>(texts.size()) + 0.999);
    for (const Text& text : texts) {
        for (std::size_t length = text.size(); length >= 2 && length > best.size(); --length) {
            const TextView part = ends ? TextView(text).substr(text.size() - length) : TextView(text).substr(0, length);
            const auto sharing = static_cast<std::size_t>(std::count_if(texts.begin(), texts.end(), [&](const Text& other) {
                return other.size() >= length &&
                       (ends ? TextView(other).substr(other.size() - length) : TextView(other).substr(0, length)) == part;
            }));
            if (sharing >= needed) {
                best.assign(part);
                break;
            }
        }
    }
    return best;
}

}  // namespace

Text AddressCompanions::addressLetters(TextView piece) {
    Text letters;
    for (const char16_t c : piece)
        if (const char16_t l = latinOf(c)) letters.push_back(l);
    return letters;
}

void AddressCompanions::see(TextView line, const AddressPiece& piece) {
    Text key = addressLetters(line.substr(piece.begin, piece.end - piece.begin));
    if (key.empty() || (seen_.size() >= kMostAddresses && seen_.count(key) == 0)) return;
    Seen& seen = seen_[std::move(key)];
    ++seen.count;
    if (seen.before.size() >= kCompanionSamples) return;
    std::size_t begin = piece.begin;
    while (begin > 0 && piece.begin - begin < kCompanionReach && !endsClause(line[begin - 1])) --begin;
    std::size_t end = piece.end;
    while (end < line.size() && end - piece.end < kCompanionReach && !endsClause(line[end])) ++end;
    Text before, after;
    skeletonOf(line.substr(begin, piece.begin - begin), before);
    skeletonOf(line.substr(piece.end, end - piece.end), after);
    seen.before.push_back(std::move(before));
    seen.after.push_back(std::move(after));
}

bool AddressCompanions::canTake(const AddressCompanions& later) const {
    return seen_.size() + later.seen_.size() < kMostAddresses;
}

bool AddressCompanions::mayStillJoin() const { return seen_.size() < kMostAddresses / 2; }

void AddressCompanions::append(AddressCompanions&& later) {
    for (auto& [letters, seen] : later.seen_) {
        Seen& mine = seen_[letters];
        mine.count += seen.count;
        for (std::size_t i = 0; i < seen.before.size() && mine.before.size() < kCompanionSamples; ++i) {
            mine.before.push_back(std::move(seen.before[i]));
            mine.after.push_back(std::move(seen.after[i]));
        }
    }
    later.seen_.clear();
}

void AddressCompanions::decide() {
    for (const auto& [letters, seen] : seen_) {
        if (seen.count < kLeastSightings) continue;
        Companions found{sharedPart(seen.before, true), sharedPart(seen.after, false)};
        if (!found.before.empty() || !found.after.empty()) companions_.emplace(letters, std::move(found));
    }
    seen_.clear();
}

void AddressCompanions::widen(TextView line, AddressPiece& piece) const {
    const auto found = companions_.find(addressLetters(line.substr(piece.begin, piece.end - piece.begin)));
    if (found == companions_.end()) return;
    // Backwards over the words before (marks between them and the address go too).
    const Text& before = found->second.before;
    std::size_t at = piece.begin;
    std::size_t matched = 0;
    while (at > 0 && matched < before.size()) {
        const char16_t c = line[at - 1];
        if (!isSkeletonChar(c)) {
            --at;
            continue;
        }
        const char16_t wanted = before[before.size() - 1 - matched];
        if ((latinOf(c) != 0 ? latinOf(c) : c) != wanted) break;
        ++matched;
        --at;
    }
    if (matched == before.size() && matched > 0) piece.begin = at;
    const Text& after = found->second.after;
    at = piece.end;
    matched = 0;
    while (at < line.size() && matched < after.size()) {
        const char16_t c = line[at];
        if (!isSkeletonChar(c)) {
            ++at;
            continue;
        }
        if ((latinOf(c) != 0 ? latinOf(c) : c) != after[matched]) break;
        ++matched;
        ++at;
    }
    if (matched == after.size() && matched > 0) piece.end = at;
}

bool onlySiteWords(TextView skeleton) {
    if (skeleton.empty()) return false;
    while (!skeleton.empty()) {
        const auto word = std::find_if(kAddressWords.begin(), kAddressWords.end(),
                                       [&](TextView w) { return skeleton.substr(0, w.size()) == w; });
        if (word == kAddressWords.end()) return false;
        skeleton.remove_prefix(word->size());
    }
    return true;
}

}  // namespace quenlet::tidy
