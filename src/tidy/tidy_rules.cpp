#include "tidy/tidy_rules.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "text/encoding.h"
#include "tidy/needed_chars.h"

namespace quenlet::tidy {

extern const char kBuiltInRulesText[];  // generated from data/tidy-rules.txt at build time

namespace {

struct KindName {
    std::string_view name;
    RuleKind kind;
};
constexpr KindName kKinds[] = {
    {"drop-line", RuleKind::DropLine}, {"cut", RuleKind::Cut},       {"prefix", RuleKind::Prefix},
    {"heading", RuleKind::Heading},    {"section", RuleKind::Section}, {"volume", RuleKind::Volume},
    {"toc", RuleKind::Toc},
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool isNameStart(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; }
bool isNameChar(char16_t c) { return isNameStart(c) || (c >= u'0' && c <= u'9'); }

// Replaces each {NAME} of a defined name with its pattern, as a group; true
// when anything was replaced. Other braces ({2,4}, \p{Han}) stay as they are.
bool expandNames(Text& pattern, const std::map<std::string, Text>& names) {
    bool expanded = false;
    for (std::size_t open = pattern.find(u'{'); open != Text::npos; open = pattern.find(u'{', open + 1)) {
        std::size_t close = open + 1;
        while (close < pattern.size() && isNameChar(pattern[close])) ++close;
        if (close == open + 1 || close >= pattern.size() || pattern[close] != u'}' || !isNameStart(pattern[open + 1]))
            continue;
        const auto found = names.find(toUtf8(TextView(pattern).substr(open + 1, close - open - 1)));
        if (found == names.end()) continue;
        const Text group = u"(?:" + found->second + u")";
        pattern.replace(open, close + 1 - open, group);
        open += group.size() - 1;
        expanded = true;
    }
    return expanded;
}

}  // namespace

std::string_view TidyRules::builtInText() { return kBuiltInRulesText; }

TidyRules TidyRules::builtIn() {
    TidyRules rules;
    rules.add(builtInText(), "(built-in rules)");
    return rules;
}

void TidyRules::addFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RulesError(path + ": cannot read the rules file");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw RulesError(path + ": cannot read the rules file");
    add(text.str(), path);
}

void TidyRules::add(std::string_view fileText, const std::string& fileName) {
    if (fileText.starts_with("\xEF\xBB\xBF")) fileText.remove_prefix(3);
    std::vector<Rule> added;
    std::map<std::string, Text> names = names_;
    std::size_t lineNumber = 0;
    while (!fileText.empty()) {
        ++lineNumber;
        const std::size_t end = fileText.find('\n');
        const std::string_view line = trimmed(fileText.substr(0, end));
        fileText.remove_prefix(end == std::string_view::npos ? fileText.size() : end + 1);
        const std::string origin = fileName + ":" + std::to_string(lineNumber);
        auto fail = [&origin](const std::string& reason) { throw RulesError(origin + ": " + reason); };
        if (line.empty() || line.front() == '#') continue;

        std::size_t split = 0;
        while (split < line.size() && !isBlank(line[split])) ++split;
        const std::string_view keyword = line.substr(0, split);
        std::string_view rest = trimmed(line.substr(split));

        const KindName* kind = nullptr;
        for (const KindName& k : kKinds)
            if (k.name == keyword) kind = &k;
        if (!kind && keyword != "define")
            fail("unknown rule \"" + std::string(keyword) +
                 "\" (a line holds define, drop-line, cut, prefix, heading, section, volume or toc, then a pattern)");
        std::string name;
        if (!kind) {
            std::size_t nameEnd = 0;
            while (nameEnd < rest.size() && !isBlank(rest[nameEnd])) ++nameEnd;
            name = rest.substr(0, nameEnd);
            rest = trimmed(rest.substr(nameEnd));
            const bool nameOk = !name.empty() && isNameStart(static_cast<unsigned char>(name[0])) &&
                                std::all_of(name.begin(), name.end(),
                                            [](char c) { return isNameChar(static_cast<unsigned char>(c)); });
            if (!nameOk) fail("define needs a name (letters, digits and _, not starting with a digit)");
        }
        Text pattern;
        if (!fromUtf8Strict(rest, pattern)) fail("the line is not valid UTF-8");
        if (pattern.empty()) fail(std::string(keyword) + " needs a pattern");
        const bool expanded = expandNames(pattern, names);
        auto compiled = [&]() -> Pattern {
            try {
                return Pattern(pattern, kind && !isJunkRule(kind->kind));
            } catch (const PatternError& e) {
                std::string reason = "bad pattern: " + std::string(e.what());
                if (!expanded) reason += " (at character " + std::to_string(e.offset() + 1) + ")";
                fail(reason);
                throw;
            }
        };
        if (!kind) {
            compiled();  // a bad definition is reported where it is written
            names[name] = pattern;
            continue;
        }
        added.push_back({kind->kind, compiled(), origin, neededCharacters(pattern)});
    }
    rules_.insert(rules_.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    names_ = std::move(names);
}

}  // namespace quenlet::tidy
