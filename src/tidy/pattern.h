// Regular expressions over the engine's UTF-16 text (PCRE2, 16-bit library,
// just-in-time compiled where the platform allows). A compiled Pattern is
// read-only and may be shared between threads; the match data each match
// needs is not, so every thread or file keeps its own MatchData.
//
// Every match has a budget: a pattern that backtracks without end (^(.+)+x$)
// gives up after about a millisecond on a line of common length, and the
// match data notes that it did, so that the rule's failure is reported rather
// than taken for "no match".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "text/text.h"

struct pcre2_real_code_16;
struct pcre2_real_match_data_16;
struct pcre2_real_match_context_16;
struct pcre2_real_jit_stack_16;

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
    // The limits of one match on `subjectSize` code units, for compiled
    // (just-in-time) or interpreted code.
    pcre2_real_match_context_16* context(bool jit, std::size_t subjectSize);
    // Whether a match gave up on its budget since the last call; clears it.
    bool takeLimitHit() { return std::exchange(limitHit_, false); }
    void noteLimitHit() { limitHit_ = true; }

private:
    pcre2_real_match_data_16* data_;
    pcre2_real_match_context_16* context_;
    pcre2_real_jit_stack_16* jitStack_;
    bool limitHit_ = false;
};

// The budget of one match: a base and an allowance per code unit of the
// subject, so that a long line may take longer than a short one. The
// interpreter spends about ten times as long on each step counted as the
// just-in-time code does.
struct MatchBudget {
    std::uint32_t base;
    std::uint32_t perUnit;
};
inline constexpr MatchBudget kJitBudget{500'000, 50};
inline constexpr MatchBudget kInterpreterBudget{60'000, 5};

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
    // anchored pattern). False when there is none, or when the match used up
    // its budget (data.takeLimitHit() then says so).
    bool find(TextView subject, std::size_t from, MatchData& data, Match& match) const;
    // Whether the pattern matches only at the start of a subject (anchored, or beginning with ^).
    bool anchoredAtStart() const { return anchoredAtStart_; }
    // Whether some match could begin with the character c: false only when
    // no match can. Used to skip patterns that cannot match a line at all.
    bool canStartWith(char16_t c, MatchData& data) const;

private:
    pcre2_real_code_16* code_ = nullptr;
    bool jit_ = false;
    bool anchoredAtStart_ = false;
    bool looksBehind_ = false;
};

}  // namespace quenlet::tidy
