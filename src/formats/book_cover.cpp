#include "formats/book_cover.h"

#include <algorithm>
#include <vector>

#include "formats/epub_package.h"
#include "formats/xml_text.h"
#include "text/utf16.h"

namespace quenlet::formats {
namespace {

// Colours of a cover: ground, lettering, rules. Chosen by the title, so a
// shelf of them is not all alike, and the same book always looks the same.
struct Palette {
    const char* ground;
    const char* letters;
    const char* rules;
};
constexpr Palette kPalettes[] = {
    {"#f3ecdc", "#2b2118", "#8c2f24"}, {"#1f3a4d", "#f4efe3", "#c9a55b"}, {"#7a2620", "#f6eee0", "#e0c07a"},
    {"#2f4a35", "#f2eddf", "#c8b27a"}, {"#e9e2d0", "#1c2a3a", "#3d6b8c"}, {"#3b2f4a", "#f1ebe0", "#c4a36a"},
};

// The forms punctuation takes in vertical lines.
char32_t verticalForm(char32_t c) {
    static constexpr std::pair<char32_t, char32_t> kForms[] = {
        {U'，', U'\uFE10'}, {U'、', U'\uFE11'}, {U'。', U'\uFE12'}, {U'：', U'\uFE13'}, {U'；', U'\uFE14'},
        {U'！', U'\uFE15'}, {U'？', U'\uFE16'}, {U'…', U'\uFE19'}, {U'—', U'\uFE31'}, {U'（', U'\uFE35'},
        {U'）', U'\uFE36'}, {U'【', U'\uFE3B'}, {U'】', U'\uFE3C'}, {U'《', U'\uFE3D'}, {U'》', U'\uFE3E'},
        {U'〈', U'\uFE3F'}, {U'〉', U'\uFE40'}, {U'「', U'\uFE41'}, {U'」', U'\uFE42'}, {U'『', U'\uFE43'},
        {U'』', U'\uFE44'}, {U'“', U'\uFE41'}, {U'”', U'\uFE42'}, {U'‘', U'\uFE43'}, {U'’', U'\uFE44'}};
    for (const auto& [across, down] : kForms)
        if (c == across) return down;
    return c;
}

// The characters of a text (pairs of surrogates together), at most `most`,
// the last of them an ellipsis when the text is longer.
std::vector<Text> charactersOf(TextView text, std::size_t most) {
    std::vector<Text> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = pairStartsAt(text, i) ? 2 : 1;
        out.emplace_back(text.substr(i, length));
        i += length;
    }
    if (out.size() > most) {
        out.resize(most);
        out.back().assign(1, u'\u2026');
    }
    return out;
}

// Groups of at most `per` characters, as even as they can be.
std::vector<std::vector<Text>> groupsOf(const std::vector<Text>& characters, std::size_t per) {
    const std::size_t groups = std::max<std::size_t>(1, (characters.size() + per - 1) / per);
    const std::size_t each = (characters.size() + groups - 1) / groups;
    std::vector<std::vector<Text>> out(groups);
    for (std::size_t i = 0; i < characters.size(); ++i) out[std::min(groups - 1, i / std::max<std::size_t>(1, each))].push_back(characters[i]);
    return out;
}

void appendText(std::string& out, MarkupText& markup, int x, int y, int size, TextView text) {
    out += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" font-size=\"" +
           std::to_string(size) + "\">";
    markup.appendXml(out, text);
    out += "</text>\n";
}

Text vertically(TextView character) {
    if (character.size() != 1) return Text(character);
    Text out;
    appendCharacter(out, verticalForm(character[0]));
    return out;
}

}  // namespace

std::string coverSvg(const CoverText& cover) {
    std::size_t hash = 0;
    for (char16_t c : cover.title) hash = hash * 31 + c;
    const Palette& colours = kPalettes[hash % std::size(kPalettes)];
    MarkupText markup;
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                      std::to_string(kCoverWidth) + "\" height=\"" + std::to_string(kCoverHeight) +
                      "\" viewBox=\"0 0 " + std::to_string(kCoverWidth) + " " + std::to_string(kCoverHeight) +
                      "\" xml:lang=\"" + cover.language + "\">\n<title>";
    markup.appendXml(out, cover.title);
    out += "</title>\n";
    out += std::string("<rect width=\"100%\" height=\"100%\" fill=\"") + colours.ground + "\"/>\n";
    out += std::string("<rect x=\"26\" y=\"26\" width=\"548\" height=\"748\" fill=\"none\" stroke=\"") + colours.rules +
           "\" stroke-width=\"4\"/>\n";
    out += std::string("<rect x=\"38\" y=\"38\" width=\"524\" height=\"724\" fill=\"none\" stroke=\"") + colours.rules +
           "\" stroke-width=\"1.5\"/>\n";
    out += "<g font-family=\"" + std::string(serifFonts(cover.traditional, '\'')) + "\" fill=\"" + colours.letters +
           "\" text-anchor=\"middle\">\n";
    const std::vector<Text> title = charactersOf(cover.title, 40);
    const std::vector<Text> author = charactersOf(cover.author, 16);
    if (!cover.vertical) {
        // Lines across, the block of them above the middle; the author below a rule.
        const auto lines = groupsOf(title, 8);
        std::size_t longest = 0;
        for (const auto& line : lines) longest = std::max(longest, line.size());
        const int size = std::min(84, static_cast<int>(440 / std::max<std::size_t>(1, longest)));
        const int step = size * 13 / 10;
        const int first = 330 - static_cast<int>(lines.size() - 1) * step / 2;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            Text line;
            for (const Text& c : lines[i]) line += c;
            appendText(out, markup, kCoverWidth / 2, first + static_cast<int>(i) * step, size, line);
        }
        const int rule = first + static_cast<int>(lines.size() - 1) * step + size;
        out += "<line x1=\"230\" y1=\"" + std::to_string(rule) + "\" x2=\"370\" y2=\"" + std::to_string(rule) +
               "\" stroke=\"" + colours.rules + "\" stroke-width=\"2\"/>\n";
        if (!author.empty()) {
            Text line;
            for (const Text& c : author) line += c;
            appendText(out, markup, kCoverWidth / 2, std::max(rule + 90, 620), 32, line);
        }
    } else {
        // Columns from the right, one character under the other; the author
        // in a column of its own to the left, starting lower.
        const auto columns = groupsOf(title, 10);
        std::size_t longest = 0;
        for (const auto& column : columns) longest = std::max(longest, column.size());
        const int size = std::min(84, static_cast<int>(560 / std::max<std::size_t>(1, longest)));
        const int step = size * 13 / 10;
        int x = kCoverWidth / 2 + static_cast<int>(columns.size() - 1) * step / 2 + (author.empty() ? 0 : 40);
        for (const auto& column : columns) {
            for (std::size_t i = 0; i < column.size(); ++i)
                appendText(out, markup, x, 110 + size + static_cast<int>(i) * size * 21 / 20, size,
                           vertically(column[i]));
            x -= step;
        }
        const int rule = x + step - size;
        out += "<line x1=\"" + std::to_string(rule) + "\" y1=\"120\" x2=\"" + std::to_string(rule) +
               "\" y2=\"680\" stroke=\"" + colours.rules + "\" stroke-width=\"2\"/>\n";
        for (std::size_t i = 0; i < author.size(); ++i)
            appendText(out, markup, rule - 40, 380 + static_cast<int>(i) * 34, 30, vertically(author[i]));
    }
    out += "</g>\n</svg>\n";
    return out;
}

ImageSize imageSize(std::string_view image) {
    auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(image[at])); };
    auto big16 = [&](std::size_t at) { return byte(at) << 8 | byte(at + 1); };
    auto big32 = [&](std::size_t at) { return big16(at) << 16 | big16(at + 2); };
    if (image.size() >= 24 && image.starts_with("\x89PNG\r\n\x1A\n") && image.substr(12, 4) == "IHDR")
        return {big32(16), big32(20)};
    if (image.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return {};
    // JPEG: the segments up to the frame header, which holds the size.
    for (std::size_t at = 2; at + 9 < image.size();) {
        if (byte(at) != 0xFF) return {};
        const std::uint32_t marker = byte(at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {
            at += 2;
            continue;
        }
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) return {big16(at + 7), big16(at + 5)};
        at += 2 + big16(at + 2);
    }
    return {};
}

}  // namespace quenlet::formats
