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
constexpr std::array<std::u16string_view, 6> kSentenceEnds = {u"。", u"。", u"！", u"？", u"……", u"。"};
constexpr std::array<std::u16string_view, 4> kChapterUnits = {u"章", u"回", u"节", u"章"};

class Writer {
public:
    explicit Writer(std::uint64_t seed) : random_(seed) {}

    std::u16string sentence() {
        std::u16string s;
        const int words = pick(3, 9);
        for (int i = 0; i < words; ++i) {
            s += kWords[pick(0, kWords.size() - 1)];
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
            if (chance(15)) p += u"他说：“" + sentence() + u"”";
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
                           std::u16string(kChapterUnits[pick(0, kChapterUnits.size() - 1)]) + u"\u3000";
        h += kWords[pick(0, kWords.size() - 1)];
        h += kWords[pick(0, kWords.size() - 1)];
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
};

}  // namespace

std::string generateNovel(std::size_t bytes, Encoding encoding, std::uint64_t seed) {
    Writer writer(seed);
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

}  // namespace quenlet::bench
