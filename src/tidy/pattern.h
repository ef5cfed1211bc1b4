// Regular expressions over the engine's UTF-16 text (PCRE2, 16-bit library,
// just-in-time compiled where the platform allows). A compiled Pattern is
// read-only and may be shared between threads; the match data each match
// needs is not, so every thread or file keeps its own MatchData.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

#include "text/text.h"

struct pcre2_real_code_16;
struct pcre2_real_match_data_16;

namespace quenlet::tidy {

// A pattern PCRE2 refused: its message and where in the pattern it stopped.
class PatternError : public std::runtime_error {
public:
    PatternError(const std::string& message, std::size_t offset)
        : std::runtime_error(message), offset_(offset) {}
    std::size_t offset() const { return offset_; }  // in UTF-16 code units from the pattern's start

private:
    std::size_t offset_;
};

class MatchData {
public:
    MatchData();
    ~MatchData();
    MatchData(const MatchData&) = delete;
    MatchData& operator=(const MatchData&) = delete;
    pcre2_real_match_data_16* get() const { return data_; }

private:
    pcre2_real_match_data_16* data_;
};

struct Match {
    std::size_t begin = 0;
    std::size_t end = 0;
};

class Pattern {
public:
    // Compiles a pattern; a code unit is a character, as everywhere in the
    // engine. An anchored pattern matches only where a search starts. Throws
    // PatternError.
    explicit Pattern(TextView source, bool anchored = false);
    ~Pattern();
    Pattern(Pattern&&) noexcept;
    Pattern& operator=(Pattern&&) noexcept;
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    // The first match in `subject` at or after `from` (at `from` only, for an
    // anchored pattern). False when there is none.
    bool find(TextView subject, std::size_t from, MatchData& data, Match& match) const;
    // Whether the pattern matches only at the start of a subject (anchored, or beginning with ^).
    bool anchoredAtStart() const { return anchoredAtStart_; }
    // Whether some match could begin with the character c: false only when
    // no match can. Used to skip patterns that cannot match a line at all.
    bool canStartWith(char16_t c, MatchData& data) const;

private:
    pcre2_real_code_16* code_ = nullptr;
    bool anchoredAtStart_ = false;
    bool looksBehind_ = false;
};

}  // namespace quenlet::tidy
