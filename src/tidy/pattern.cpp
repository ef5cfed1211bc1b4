#include "tidy/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace quenlet::tidy {
namespace {

std::string errorMessage(int code) {
    PCRE2_UCHAR16 buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    std::string message;
    for (int i = 0; i < length; ++i) message.push_back(buffer[i] < 0x80 ? static_cast<char>(buffer[i]) : '?');
    return message;
}

PCRE2_SPTR16 units(TextView text) { return reinterpret_cast<PCRE2_SPTR16>(text.data()); }

}  // namespace

MatchData::MatchData()
    : data_(pcre2_match_data_create_16(4, nullptr)), context_(pcre2_match_context_create_16(nullptr)),
      // Room for the just-in-time code's backtracking beyond its 32 KB
      // default, so that the match budget, not the stack, ends a hard match.
      jitStack_(pcre2_jit_stack_create_16(32 * 1024, 1024 * 1024, nullptr)) {
    if (!data_ || !context_) {
        pcre2_match_data_free_16(data_);
        pcre2_match_context_free_16(context_);
        pcre2_jit_stack_free_16(jitStack_);
        throw std::bad_alloc();
    }
    if (jitStack_) pcre2_jit_stack_assign_16(context_, nullptr, jitStack_);
}

MatchData::~MatchData() {
    pcre2_match_data_free_16(data_);
    pcre2_match_context_free_16(context_);
    pcre2_jit_stack_free_16(jitStack_);
}

pcre2_match_context_16* MatchData::context(bool jit, std::size_t subjectSize) {
    const MatchBudget budget = jit ? kJitBudget : kInterpreterBudget;
    const std::uint64_t limit = budget.base + std::uint64_t{budget.perUnit} * subjectSize;
    pcre2_set_match_limit_16(context_, static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, UINT32_MAX)));
    // (the depth limit bounds the interpreter's memory; the match limit bounds it too)
    pcre2_set_depth_limit_16(context_, static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, UINT32_MAX)));
    return context_;
}

Pattern::Pattern(TextView source, bool anchored) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    // Not in UTF mode: the engine's text may hold lone surrogates (bytes that
    // could not be decoded), and it counts code units as characters anyway.
    // Anchoring is compiled in: asked for at match time, it would keep the
    // just-in-time code from running.
    code_ = pcre2_compile_16(units(source), source.size(), anchored ? PCRE2_ANCHORED : 0, &error, &offset, nullptr);
    if (!code_) throw PatternError(errorMessage(error), offset);
    jit_ = pcre2_jit_compile_16(code_, PCRE2_JIT_COMPLETE) == 0;  // where JIT is not available the interpreter runs
    std::uint32_t options = 0;
    pcre2_pattern_info_16(code_, PCRE2_INFO_ALLOPTIONS, &options);
    anchoredAtStart_ = (options & PCRE2_ANCHORED) != 0;
    std::uint32_t lookBehind = 0;
    pcre2_pattern_info_16(code_, PCRE2_INFO_MAXLOOKBEHIND, &lookBehind);
    looksBehind_ = lookBehind > 0;
}

Pattern::~Pattern() { pcre2_code_free_16(code_); }

Pattern::Pattern(Pattern&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)), jit_(other.jit_), anchoredAtStart_(other.anchoredAtStart_),
      looksBehind_(other.looksBehind_) {}

Pattern& Pattern::operator=(Pattern&& other) noexcept {
    std::swap(code_, other.code_);
    jit_ = other.jit_;
    anchoredAtStart_ = other.anchoredAtStart_;
    looksBehind_ = other.looksBehind_;
    return *this;
}

bool Pattern::find(TextView subject, std::size_t from, MatchData& data, Match& match) const {
    const int rc =
        pcre2_match_16(code_, units(subject), subject.size(), from, 0, data.get(), data.context(jit_, subject.size()));
    if (rc < 0) {
        if (rc != PCRE2_ERROR_NOMATCH) data.noteLimitHit();  // a limit, the stack or memory: the match gave up
        return false;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(data.get());
    match.begin = ovector[0];
    match.end = ovector[1];
    return match.end >= match.begin;  // \K in a lookahead can report an end before the start
}

bool Pattern::canStartWith(char16_t c, MatchData& data) const {
    // A pattern that looks behind (or tests a word boundary) cannot be judged
    // from one character without what stands before it.
    if (looksBehind_) return true;
    const PCRE2_UCHAR16 subject[1] = {c};
    const int rc = pcre2_match_16(code_, subject, 1, 0, PCRE2_ANCHORED | PCRE2_PARTIAL_HARD, data.get(), nullptr);
    return rc != PCRE2_ERROR_NOMATCH;
}

}  // namespace quenlet::tidy
