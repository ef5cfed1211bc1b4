// Site boilerplate, told by what it looks like and by how it repeats: the
// same slogan or address pasted after chapter after chapter, each time with
// other spaces and punctuation pushed into it; web addresses spelt in Latin
// letters inside Chinese prose, with the site's words around them.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/document_state.h"
#include "text/text.h"

namespace quenlet::tidy {

// A line (or piece) as its repetitions share it: without spaces and
// punctuation, full-width letters and digits as ASCII ones, letters in lower
// case. Two pastings of one ad with different marks pushed in are equal so.
void skeletonOf(TextView text, Text& skeleton);

// Whether a line shows a site: Latin letters or digits, or the words sites
// use of themselves (小说, 电子书, 下载, 手机, 书屋, 天堂 ...) and of what they
// offer (扫描, 校对, 首发 ...). Only such lines are counted as boilerplate.
bool looksLikeSite(TextView text);

// A skeleton's key in the tables of repetitions: a hash, never 0.
std::uint64_t skeletonKey(TextView skeleton);

// How often each skeleton recurs, in how many chapters, with one of its
// lines as it stood. Memory stays bounded: the table has a fixed number of
// places, and when it fills up the skeletons seen only once are forgotten
// (boilerplate recurs soon enough to be counted again).
class RepeatCounter {
public:
    struct Entry {
        std::uint64_t hash = 0;  // 0: a free place
        Count count = 0;
        Count chapters = 0;      // distinct chapters it was seen in
        Count firstChapter = -1;
        Count lastChapter = -1;
        std::uint32_t sample = 0;  // 1 + its index in samples(), once seen twice
        std::uint32_t firstSample = 0;  // the same for its first line, when first lines are kept
    };
    static constexpr std::size_t kPlaces = 1 << 16;

    // A counter for a later part of a book keeps each skeleton's first line
    // too: seen once before the part, its second line is the part's first.
    enum class KeepFirstLines { No, Yes };
    explicit RepeatCounter(KeepFirstLines keep = KeepFirstLines::No) : keepsFirstLines_(keep == KeepFirstLines::Yes) {}

    // A line whose skeleton is `skeleton`, seen in chapter `chapter`.
    void add(TextView skeleton, TextView line, Count chapter);
    // Whether append(later) comes out as though this counter had seen the
    // later part's lines itself: neither has forgotten anything, nor would have.
    bool canTake(const RepeatCounter& later) const;
    // Takes in the counts of the part after this one's lines; its chapters
    // count on from `chapterOffset`.
    void append(const RepeatCounter& later, Count chapterOffset);
    // Whether canTake() holds with another counter that also still may.
    bool mayStillJoin() const { return !forgot_ && used_ < kPlaces * 3 / 8 && samples_.size() < kPlaces / 2; }
    // The entries in use, in no particular order.
    template <typename Visit>
    void forEach(Visit visit) const {
        for (const Entry& entry : places_)
            if (entry.hash != 0) visit(entry);
    }
    const Text& sampleOf(const Entry& entry) const { return samples_[entry.sample - 1]; }

private:
    Entry& placeOf(std::uint64_t hash);
    void forget();
    std::vector<Entry> places_;  // kPlaces of them from the first line counted: most short files have none
    std::size_t used_ = 0;
    std::vector<Text> samples_;
    bool keepsFirstLines_ = false;
    bool forgot_ = false;
};

// A web address in a line, however it is disguised (w w w. xiaos huotxt .nett,
// ＷＷw。xiＡosＨuotxt。net), with the site's words and the marks around it
// (xＴ小说"//天,堂/): the piece [begin, end) of the line.
struct AddressPiece {
    std::size_t begin = 0;
    std::size_t end = 0;
};
// The address pieces of a spaced line, in order; none for most lines (a
// line without Latin letters has none).
std::vector<AddressPiece> findAddresses(TextView line);
// What stands next to a recurring address each time, the same words: the
// signature a site pastes with it (…七个理由。--书香门第注www.bookhome.net你讲). The
// first look sees every address with the words around it; the run then
// cuts those words with the address.
class AddressCompanions {
public:
    // First look: an address piece of a (spaced) line.
    void see(TextView line, const AddressPiece& piece);
    // After the first look: the words that stand with each address often enough.
    void decide();
    // The run: widens the piece over the words found to stand with its address.
    void widen(TextView line, AddressPiece& piece) const;
    bool empty() const { return companions_.empty(); }
    // Taking in what a look at the part after this one's lines saw, before
    // decide(): exact while the two see no more addresses than one may.
    bool canTake(const AddressCompanions& later) const;
    bool mayStillJoin() const;
    void append(AddressCompanions&& later);

private:
    static Text addressLetters(TextView piece);
    struct Seen {
        Count count = 0;
        std::vector<Text> before;  // skeletons of what stood before it, the first few times
        std::vector<Text> after;
    };
    struct Companions {
        Text before;  // a skeleton
        Text after;
    };
    std::unordered_map<Text, Seen> seen_;
    std::unordered_map<Text, Companions> companions_;
};

// Whether a skeleton is nothing but the words of a site's address (小说天堂),
// as an address leaves them when a rule cut it out.
bool onlySiteWords(TextView skeleton);

}  // namespace quenlet::tidy
