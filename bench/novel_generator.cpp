#include "novel_generator.h"

#include <array>
#include <random>

namespace quenlet::bench {
namespace {

constexpr std::array<std::u16string_view, 48> kWords = {
    u"老陈", u"年轻人", u"雨夜", u"街上", u"灯火", u"店门", u"柜台", u"账本", u"布包", u"旧书",
    u"窗前", u"远方", u"南边", u"北边", u"热茶", u"小字", u"一整天", u"过路人", u"门外", u"天亮",
    u"走进", u"看见", u"放下", u"想起", u"说道", u"问道", u"笑着", u"摇摇头", u"点点头", u"站起来",
    u"很久", u"忽然", u"慢慢地", u"一边", u"还是", u"已经", u"终于", u"仿佛", u"不知道", u"心里",
    u"山路", u"河边", u"城门", u"客栈", u"马车", u"信纸", u"刀光", u"月色"};
// The same words in traditional characters, all of which Big5 holds.
constexpr std::array<std::u16string_view, 48> kTraditionalWords = {
    u"老陳", u"年輕人", u"雨夜", u"街上", u"燈火", u"店門", u"櫃檯", u"賬本", u"布包", u"舊書",
    u"窗前", u"遠方", u"南邊", u"北邊", u"熱茶", u"小字", u"一整天", u"過路人", u"門外", u"天亮",
    u"走進", u"看見", u"放下", u"想起", u"說道", u"問道", u"笑著", u"搖搖頭", u"點點頭", u"站起來",
    u"很久", u"忽然", u"慢慢地", u"一邊", u"還是", u"已經", u"終於", u"彷彿", u"不知道", u"心裡",
    u"山路", u"河邊", u"城門", u"客棧", u"馬車", u"信紙", u"刀光", u"月色"};
constexpr std::array<std::u16string_view, 6> kSentenceEnds = {u"。", u"。", u"！", u"？", u"……", u"。"};
constexpr std::array<std::u16string_view, 4> kChapterUnits = {u"章", u"回", u"节", u"章"};
constexpr std::array<std::u16string_view, 4> kTraditionalChapterUnits = {u"章", u"回", u"節", u"章"};

class Writer {
public:
    Writer(std::uint64_t seed, Script script)
        : random_(seed), words_(script == Script::Traditional ? kTraditionalWords : kWords),
          units_(script == Script::Traditional ? kTraditionalChapterUnits : kChapterUnits),
          said_(script == Script::Traditional ? u"他說：“" : u"他说：“") {}

    std::u16string sentence() {
        std::u16string s;
        const int words = pick(3, 9);
        for (int i = 0; i < words; ++i) {
            s += words_[pick(0, words_.size() - 1)];
            if (i + 1 < words && chance(18)) s += u"，";
        }
        s += kSentenceEnds[pick(0, kSentenceEnds.size() - 1)];
        if (chance(3)) s += u"。。";
        if (chance(2)) s.insert(s.size() / 2, u"～～");
        return s;
    }

    std::u16string paragraph() {
        std::u16string p;
        const int sentences = pick(1, 6);
        for (int i = 0; i < sentences; ++i) {
            if (chance(15)) p += std::u16string(said_) + sentence() + u"”";
            else if (chance(10)) p += u"她问道：\"" + sentence() + u"\"";
            else p += sentence();
        }
        return p;
    }

    // Appends the paragraph hard-wrapped into short lines, as downloads have it.
    void wrapped(const std::u16string& paragraph, std::u16string& out) {
        const bool fullWidthIndent = chance(50);
        std::size_t at = 0;
        bool first = true;
        while (at < paragraph.size()) {
            const std::size_t width = pick(18, 42);
            if (first) out += fullWidthIndent ? u"\u3000\u3000" : u"    ";
            out += paragraph.substr(at, width);
            if (chance(2)) out += u"??";
            out += u"\r\n";
            at += width;
            first = false;
        }
        if (chance(30)) out += u"\r\n";
    }

    std::u16string heading(int number) {
        std::u16string h = u"第" + std::u16string(std::u16string_view(number_text(number))) +
                           std::u16string(units_[pick(0, units_.size() - 1)]) + u"\u3000";
        h += words_[pick(0, words_.size() - 1)];
        h += words_[pick(0, words_.size() - 1)];
        return h;
    }

    int pick(std::size_t low, std::size_t high) {
        return static_cast<int>(std::uniform_int_distribution<std::size_t>(low, high)(random_));
    }
    bool chance(int percent) { return pick(0, 99) < percent; }

private:
    static std::u16string number_text(int n) {
        std::u16string s;
        for (char c : std::to_string(n)) s.push_back(static_cast<char16_t>(c));
        return s;
    }
    std::mt19937_64 random_;
    const std::array<std::u16string_view, 48>& words_;
    const std::array<std::u16string_view, 4>& units_;
    std::u16string_view said_;
};

}  // namespace

std::string generateNovel(std::size_t bytes, Encoding encoding, std::uint64_t seed, Script script) {
    Writer writer(seed, script);
    std::string out;
    std::u16string chapter;
    for (int number = 1; out.size() < bytes; ++number) {
        chapter.clear();
        chapter += writer.heading(number) + u"\r\n";
        if (writer.chance(20)) chapter += u"－－－－－－－－－－\r\n";
        chapter += u"\r\n";
        const int paragraphs = writer.pick(30, 90);
        for (int i = 0; i < paragraphs; ++i) writer.wrapped(writer.paragraph(), chapter);
        encodeText(encoding, chapter, out);
    }
    return out;
}

std::string generateNovel(std::size_t bytes, Encoding encoding, std::uint64_t seed) {
    return generateNovel(bytes, encoding, seed, usualScript(encoding));
}

}  // namespace quenlet::bench
