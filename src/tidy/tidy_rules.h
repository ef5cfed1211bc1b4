// The tidy mode's rules: which lines are site junk, which fragments are cut
// out, which site prefixes stand before headings, and what a heading or a
// table of contents looks like. They are data, in one plain line-based
// format: the built-in rules file and the user's own files are read by the
// same parser (the format is described at the top of data/tidy-rules.txt).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tidy/needed_chars.h"
#include "tidy/pattern.h"
#include "text/text.h"

namespace quenlet::tidy {

enum class RuleKind {
    DropLine,  // drop-line: the whole line is junk
    Cut,       // cut: each match is cut out of the line
    Prefix,    // prefix: a site prefix before a heading, removed with it
    Heading,   // heading: a chapter heading
    Section,   // section: a heading below a chapter (节)
    Volume,    // volume: a heading above the chapters (卷, 部)
    Toc,       // toc: the line that heads a table of contents
};

struct Rule {
    RuleKind kind;
    Pattern pattern;  // anchored at the line's start for all but the junk rules
    std::string origin;  // "<file>:<line>", for messages
    // Characters every match contains (needed_chars.h); nothing when unknown.
    std::optional<NeededCharacters> needs;
    bool builtIn = false;  // from the built-in rules file, not the user's
};

// The junk rules search the whole line; the others match at its start.
inline bool isJunkRule(RuleKind kind) { return kind == RuleKind::DropLine || kind == RuleKind::Cut; }

// A rules file that cannot be used: "<file>:<line>: <reason>".
class RulesError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TidyRules {
public:
    // The rules built into the program.
    static TidyRules builtIn();
    // The text of the built-in rules file, as --print-rules shows it.
    static std::string_view builtInText();

    // Reads the rules of one file (its bytes, UTF-8) and adds them after the
    // rules already there. Names defined earlier stay usable; {NAME} of a name
    // not defined is an error. Throws RulesError naming the file, the line and
    // the reason (the file's own text in it with its control characters
    // escaped); nothing is added then.
    void add(std::string_view fileText, const std::string& fileName);
    // Reads the rules file at `path` and adds its rules. RulesError, naming
    // the file and the reason, when it cannot be read, is a folder or a
    // device, or holds more than kMaxFileBytes (a pipe is read up to that).
    void addFile(const std::string& path);
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

    const std::vector<Rule>& rules() const { return rules_; }

private:
    void add(std::string_view fileText, const std::string& fileName, bool builtIn);

    std::vector<Rule> rules_;
    std::map<std::string, Text> names_;  // define NAME PATTERN
};

}  // namespace quenlet::tidy
