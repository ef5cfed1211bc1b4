// Simplified <-> traditional conversion of the typeset text, with OpenCC's
// own conversions and dictionaries. It sits between the engine and the
// writer, so headings, markers and indents are converted with the text.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/helper_threads.h"
#include "engine/output_sink.h"
#include "text/text.h"

namespace quenlet {

// The conversions by name: s2t, t2s, s2tw, tw2s, s2twp, tw2sp, s2hk, hk2s, t2tw, t2hk.
std::span<const std::string_view> conversionNames();
bool isConversionName(std::string_view name);
// The language tag of text after a conversion: "zh-TW" or "zh-HK" for the
// traditional forms, "zh-CN" for simplified.
std::string languageAfterConversion(std::string_view conversion);

class ChineseConverter {
public:
    // The named conversion, loaded once and shared (it is only read). Throws
    // ResourceError (ConversionUnavailable) when the name is unknown or its
    // dictionaries cannot be loaded.
    static std::shared_ptr<const ChineseConverter> load(std::string_view name);

    ~ChineseConverter();
    ChineseConverter(const ChineseConverter&) = delete;
    ChineseConverter& operator=(const ChineseConverter&) = delete;

    // Appends the converted text to `out`. Undecodable source bytes (escape
    // units) pass through unchanged and split the text around them.
    void convert(TextView text, Text& out) const;

private:
    class Impl;
    explicit ChineseConverter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Converts the texts of every event before handing it on. With helper
// threads, events are gathered into batches that are converted side by side
// and handed on in their order; finish() hands on the last of them.
class ConvertingSink final : public OutputSink {
public:
    ConvertingSink(OutputSink& next, const ChineseConverter& converter, unsigned helpers = 0);
    ~ConvertingSink() override;
    ConvertingSink(const ConvertingSink&) = delete;
    ConvertingSink& operator=(const ConvertingSink&) = delete;

    void plainLine(TextView line) override;
    void blankLine() override;
    void heading(TextView open, TextView title, TextView close, HeadingRank rank) override;
    void paragraph(TextView indent, TextView body, TextView end) override;
    void listEntry(TextView indent, TextView entry, TextView end) override;
    // Hands on every event still being converted; a conversion's failure is
    // thrown here (or by the event that found it).
    void finish();

    struct Event;
    using Batch = std::vector<Event>;
    // Markers, indents and endings repeat on every line: converted once.
    using MarkerCache = std::map<Text, Text, std::less<>>;

private:
    void add(Event event);
    void handOnOldest();

    OutputSink& next_;
    const ChineseConverter& converter_;
    unsigned helpers_;
    MarkerCache markers_;  // used inline only; each batch has its own
    std::unique_ptr<Batch> gathering_;
    std::size_t gatheredUnits_ = 0;
    std::deque<HelperTask<Batch>> converting_;
};

}  // namespace quenlet
