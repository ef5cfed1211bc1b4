#include "text/chinese_conversion.h"

#include <opencc/opencc.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>

#include "text/encoding.h"
#include "base/failure.h"

namespace quenlet {
namespace {

constexpr std::string_view kConversionNames[] = {"s2t",   "t2s",   "s2tw", "tw2s", "s2twp",
                                                 "tw2sp", "s2hk",  "hk2s", "t2tw", "t2hk"};

// What OpenCC cannot take: units that are not whole characters in UTF-8
// (escape units of undecodable bytes, and any lone surrogate).
bool isLoneSurrogateAt(TextView text, std::size_t i) {
    const char16_t c = text[i];
    if (isHighSurrogate(c)) return !(i + 1 < text.size() && isLowSurrogate(text[i + 1]));
    if (isLowSurrogate(c)) return !(i > 0 && isHighSurrogate(text[i - 1]));
    return false;
}

}  // namespace

class ChineseConverter::Impl {
public:
    // OpenCC finds a bare configuration name in its own data folder.
    explicit Impl(std::string_view name) : converter_(std::string(name) + ".json") {}

    void convert(TextView run, Text& out) const {
        const std::string utf8 = toUtf8(run);
        const std::string converted = converter_.Convert(utf8.data(), utf8.size());
        Text text;
        if (!fromUtf8Strict(converted, text)) throw std::runtime_error("the conversion gave text that is not UTF-8");
        out.append(text);
    }

private:
    opencc::SimpleConverter converter_;
};

std::span<const std::string_view> conversionNames() { return kConversionNames; }

bool isConversionName(std::string_view name) {
    return std::find(std::begin(kConversionNames), std::end(kConversionNames), name) != std::end(kConversionNames);
}

std::string languageAfterConversion(std::string_view conversion) {
    const std::string_view target = conversion.substr(conversion.find('2') + 1);
    if (target.starts_with("hk")) return "zh-HK";
    if (target.starts_with("t")) return "zh-TW";
    return "zh-CN";
}

ChineseConverter::ChineseConverter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ChineseConverter::~ChineseConverter() = default;

std::shared_ptr<const ChineseConverter> ChineseConverter::load(std::string_view name) {
    if (!isConversionName(name)) throw ResourceError(FailureKind::ConversionUnavailable, "unknown conversion " + std::string(name));
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ChineseConverter>, std::less<>> loaded;
    const std::lock_guard lock(mutex);
    if (const auto found = loaded.find(name); found != loaded.end()) return found->second;
    std::unique_ptr<Impl> impl;
    try {
        impl = std::make_unique<Impl>(name);
    } catch (const std::exception& e) {
        throw ResourceError(FailureKind::ConversionUnavailable,
                            "cannot load the conversion " + std::string(name) + ": " + e.what());
    }
    std::shared_ptr<const ChineseConverter> converter(new ChineseConverter(std::move(impl)));
    loaded.emplace(std::string(name), converter);
    return converter;
}

void ChineseConverter::convert(TextView text, Text& out) const {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isLoneSurrogateAt(text, i)) continue;
        if (i > start) impl_->convert(text.substr(start, i - start), out);
        out.push_back(text[i]);
        start = i + 1;
    }
    if (start < text.size()) impl_->convert(text.substr(start), out);
}

struct ConvertingSink::Event {
    enum Kind { Plain, Blank, Heading, Paragraph, ListEntry } kind;
    Text before, body, after;  // a plain line is all body
    HeadingRank rank = HeadingRank::Chapter;
};

namespace {

constexpr std::size_t kBatchUnits = 64 * 1024;

void convertEvent(const ChineseConverter& converter, ConvertingSink::Event& event, ConvertingSink::MarkerCache& markers) {
    auto marker = [&](Text& text) {
        auto found = markers.find(text);
        if (found == markers.end()) {
            Text into;
            converter.convert(text, into);
            found = markers.emplace(text, std::move(into)).first;
        }
        text = found->second;
    };
    if (event.kind == ConvertingSink::Event::Blank) return;
    Text body;
    converter.convert(event.body, body);
    event.body = std::move(body);
    marker(event.before);
    marker(event.after);
}

}  // namespace

ConvertingSink::ConvertingSink(OutputSink& next, const ChineseConverter& converter, unsigned helpers)
    : next_(next), converter_(converter), helpers_(helpers) {}

// Conversions still running finish before the sink goes; their results and
// failures are dropped with it.
ConvertingSink::~ConvertingSink() = default;

void ConvertingSink::plainLine(TextView line) { add({Event::Plain, {}, Text(line), {}}); }

void ConvertingSink::blankLine() { add({Event::Blank, {}, {}, {}}); }

void ConvertingSink::heading(TextView open, TextView title, TextView close, HeadingRank rank) {
    add({Event::Heading, Text(open), Text(title), Text(close), rank});
}

void ConvertingSink::paragraph(TextView indent, TextView body, TextView end) {
    add({Event::Paragraph, Text(indent), Text(body), Text(end)});
}

void ConvertingSink::listEntry(TextView indent, TextView entry, TextView end) {
    add({Event::ListEntry, Text(indent), Text(entry), Text(end)});
}

namespace {

void handOn(OutputSink& next, const ConvertingSink::Event& event) {
    switch (event.kind) {
        case ConvertingSink::Event::Plain: next.plainLine(event.body); break;
        case ConvertingSink::Event::Blank: next.blankLine(); break;
        case ConvertingSink::Event::Heading: next.heading(event.before, event.body, event.after, event.rank); break;
        case ConvertingSink::Event::Paragraph: next.paragraph(event.before, event.body, event.after); break;
        case ConvertingSink::Event::ListEntry: next.listEntry(event.before, event.body, event.after); break;
    }
}

}  // namespace

void ConvertingSink::add(Event event) {
    if (helpers_ == 0) {
        convertEvent(converter_, event, markers_);
        handOn(next_, event);
        return;
    }
    if (!gathering_) gathering_ = std::make_unique<Batch>();
    gatheredUnits_ += event.before.size() + event.body.size() + event.after.size() + 1;
    gathering_->push_back(std::move(event));
    if (gatheredUnits_ < kBatchUnits) return;
    while (converting_.size() >= helpers_) handOnOldest();
    gatheredUnits_ = 0;
    std::shared_ptr<Batch> batch = std::move(gathering_);
    // A batch whose helper cannot be started is converted here when its turn comes.
    converting_.emplace_back([this, batch] {
        MarkerCache markers;
        for (Event& e : *batch) convertEvent(converter_, e, markers);
        return std::move(*batch);
    });
}

void ConvertingSink::handOnOldest() {
    const Batch batch = converting_.front().get();
    converting_.pop_front();
    for (const Event& event : batch) handOn(next_, event);
}

void ConvertingSink::finish() {
    while (!converting_.empty()) handOnOldest();
    if (gathering_) {
        MarkerCache markers;
        for (Event& e : *gathering_) {
            convertEvent(converter_, e, markers);
            handOn(next_, e);
        }
        gathering_.reset();
        gatheredUnits_ = 0;
    }
}

}  // namespace quenlet
