#include "tidy/tidy_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <system_error>

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

// Whether the brace at `open` belongs to an escape rather than to a name:
// a literal brace (\{) or the argument of an escape such as \p{Han} or \k{x}.
bool isEscapedBrace(const Text& pattern, std::size_t open) {
    auto escapedAt = [&pattern](std::size_t at) {  // pattern[at] follows an odd run of backslashes
        std::size_t backslashes = 0;
        while (at > backslashes && pattern[at - backslashes - 1] == u'\\') ++backslashes;
        return backslashes % 2 == 1;
    };
    if (escapedAt(open)) return true;
    return open > 0 && isNameStart(pattern[open - 1]) && escapedAt(open - 1);
}

// Replaces each {NAME} with its pattern, as a group; true when anything was
// replaced. Other braces ({2,4}, \p{Han}, \{) stay as they are; a name that
// is not defined is an error, given as the name in `undefined`.
bool expandNames(Text& pattern, const std::map<std::string, Text>& names, std::string& undefined) {
    bool expanded = false;
    for (std::size_t open = pattern.find(u'{'); open != Text::npos; open = pattern.find(u'{', open + 1)) {
        std::size_t close = open + 1;
        while (close < pattern.size() && isNameChar(pattern[close])) ++close;
        if (close == open + 1 || close >= pattern.size() || pattern[close] != u'}' || !isNameStart(pattern[open + 1]))
            continue;
        if (isEscapedBrace(pattern, open)) continue;
        const std::string name = toUtf8(TextView(pattern).substr(open + 1, close - open - 1));
        const auto found = names.find(name);
        if (found == names.end()) {
            undefined = name;
            return expanded;
        }
        const Text group = u"(?:" + found->second + u")";
        pattern.replace(open, close + 1 - open, group);
        open += group.size() - 1;
        expanded = true;
    }
    return expanded;
}

// Text from a rules file as a message shows it: control characters (an
// escape sequence could drive the terminal) as \xNN.
std::string shownText(std::string_view text) {
    std::string out;
    char escape[8];
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", b);
            out += escape;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Why a file's bytes are no rules file: UTF-16 (its byte order mark, or the
// zero bytes of its ASCII) rather than UTF-8. Empty when they may be one.
std::string notUtf8Reason(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
        bytes.substr(0, 4096).find('\0') != std::string_view::npos)
        return "the file is not UTF-8 (it looks like UTF-16); a rules file is UTF-8 text";
    return {};
}

std::string systemReason(const std::string& what, int error) {
    return what + ": " + std::generic_category().message(error);
}

}  // namespace

std::string_view TidyRules::builtInText() { return kBuiltInRulesText; }

TidyRules TidyRules::builtIn() {
    TidyRules rules;
    rules.add(builtInText(), "(built-in rules)", true);
    return rules;
}

void TidyRules::addFile(const std::string& path) {
    auto fail = [&path](const std::string& reason) { throw RulesError(path + ": " + reason); };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) fail(systemReason("cannot read the rules file", errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info{};
    if (::fstat(fd, &info) != 0) fail(systemReason("cannot read the rules file", errno));
    // A pipe is fine (--rules <(...)); a device or a folder is no rules file,
    // and /dev/zero would be read until memory runs out.
    if (S_ISDIR(info.st_mode)) fail("this is a folder, not a rules file");
    if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) fail("this is a device or a socket, not a rules file");
    const std::string tooLarge =
        "the rules file is larger than " + std::to_string(kMaxFileBytes / (1024 * 1024)) + " MB";
    if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes) fail(tooLarge);
    std::string text;
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(systemReason("cannot read the rules file", errno));
        if (got == 0) break;
        if (text.size() + static_cast<std::size_t>(got) > kMaxFileBytes) fail(tooLarge);  // an endless pipe
        text.append(block, static_cast<std::size_t>(got));
    }
    add(text, path);
}

void TidyRules::add(std::string_view fileText, const std::string& fileName) { add(fileText, fileName, false); }

void TidyRules::add(std::string_view fileText, const std::string& fileName, bool builtIn) {
    if (const std::string reason = notUtf8Reason(fileText); !reason.empty()) throw RulesError(fileName + ": " + reason);
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
        Text lineText;
        if (!fromUtf8Strict(line, lineText)) fail("the line is not valid UTF-8");

        std::size_t split = 0;
        while (split < line.size() && !isBlank(line[split])) ++split;
        const std::string_view keyword = line.substr(0, split);
        std::string_view rest = trimmed(line.substr(split));

        const KindName* kind = nullptr;
        for (const KindName& k : kKinds)
            if (k.name == keyword) kind = &k;
        if (!kind && keyword != "define")
            fail("unknown rule \"" + shownText(keyword) +
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
        fromUtf8Strict(rest, pattern);  // (valid: the whole line is)
        if (pattern.empty()) fail(std::string(keyword) + " needs a pattern");
        std::string undefined;
        const bool expanded = expandNames(pattern, names, undefined);
        if (!undefined.empty())
            fail("{" + undefined + "} is not defined (define " + undefined +
                 " PATTERN on an earlier line defines it; \\{ is a literal brace)");
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
        added.push_back({kind->kind, compiled(), origin, neededCharacters(pattern), builtIn});
    }
    rules_.insert(rules_.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    names_ = std::move(names);
}

}  // namespace quenlet::tidy
