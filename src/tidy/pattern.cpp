#include "tidy/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

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

MatchData::MatchData() : data_(pcre2_match_data_create_16(4, nullptr)) {
    if (!data_) throw std::bad_alloc();
}

MatchData::~MatchData() { pcre2_match_data_free_16(data_); }

Pattern::Pattern(TextView source, bool anchored) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    // Not in UTF mode: the engine's text may hold lone surrogates (bytes that
    // could not be decoded), and it counts code units as characters anyway.
    // Anchoring is compiled in: asked for at match time, it would keep the
    // just-in-time code from running.
    code_ = pcre2_compile_16(units(source), source.size(), anchored ? PCRE2_ANCHORED : 0, &error, &offset, nullptr);
    if (!code_) throw PatternError(errorMessage(error), offset);
    pcre2_jit_compile_16(code_, PCRE2_JIT_COMPLETE);  // where JIT is not available the interpreter runs
    std::uint32_t options = 0;
    pcre2_pattern_info_16(code_, PCRE2_INFO_ALLOPTIONS, &options);
    anchoredAtStart_ = (options & PCRE2_ANCHORED) != 0;
    std::uint32_t lookBehind = 0;
    pcre2_pattern_info_16(code_, PCRE2_INFO_MAXLOOKBEHIND, &lookBehind);
    looksBehind_ = lookBehind > 0;
}

Pattern::~Pattern() { pcre2_code_free_16(code_); }

Pattern::Pattern(Pattern&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)), anchoredAtStart_(other.anchoredAtStart_),
      looksBehind_(other.looksBehind_) {}

Pattern& Pattern::operator=(Pattern&& other) noexcept {
    std::swap(code_, other.code_);
    anchoredAtStart_ = other.anchoredAtStart_;
    looksBehind_ = other.looksBehind_;
    return *this;
}

bool Pattern::find(TextView subject, std::size_t from, MatchData& data, Match& match) const {
    const int rc = pcre2_match_16(code_, units(subject), subject.size(), from, 0, data.get(), nullptr);
    if (rc < 0) return false;  // no match, or a limit reached: either way nothing to act on
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
