#include "run/converting_sink.h"

namespace quenlet {

struct ConvertingSink::Event {
    enum Kind { Plain, Blank, Heading, Paragraph, ListEntry, ParagraphEnds } kind;
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
    if (event.kind == ConvertingSink::Event::Blank || event.kind == ConvertingSink::Event::ParagraphEnds) return;
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

void ConvertingSink::paragraphEnds() { add({Event::ParagraphEnds, {}, {}, {}}); }

namespace {

void handOn(OutputSink& next, const ConvertingSink::Event& event) {
    switch (event.kind) {
        case ConvertingSink::Event::Plain: next.plainLine(event.body); break;
        case ConvertingSink::Event::Blank: next.blankLine(); break;
        case ConvertingSink::Event::Heading: next.heading(event.before, event.body, event.after, event.rank); break;
        case ConvertingSink::Event::Paragraph: next.paragraph(event.before, event.body, event.after); break;
        case ConvertingSink::Event::ListEntry: next.listEntry(event.before, event.body, event.after); break;
        case ConvertingSink::Event::ParagraphEnds: next.paragraphEnds(); break;
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
