// What the paragraph writers hand on. They decide what a paragraph is -- a
// heading, body text, a line kept as it stood -- and an output format decides
// how each looks: the text output turns every event into one line, other
// formats into markup of their own.
#pragma once

#include "text/text.h"

namespace quenlet {

// How a heading ranks: volumes (卷, 部) stand above the chapters inside them.
// Minor: a heading only by its look (a short line without punctuation, such
// as a poem's title), in a run whose hooks find the chapter headings
// themselves; it stands inside a chapter, it does not start one.
enum class HeadingRank { Chapter, Volume, Minor };

class OutputSink {
public:
    virtual ~OutputSink() = default;
    // A source line written as it stands (when lines are not merged).
    virtual void plainLine(TextView line) = 0;
    // An empty line, as the text output sets headings apart with them.
    virtual void blankLine() = 0;
    // A heading, between its markers.
    virtual void heading(TextView open, TextView title, TextView close, HeadingRank rank) = 0;
    // A paragraph of body text, with the indent before it and the ending after it.
    virtual void paragraph(TextView indent, TextView body, TextView end) = 0;
    // One entry of a table of contents kept as a list: a line of its own,
    // neither joined into a paragraph nor set as a heading.
    virtual void listEntry(TextView indent, TextView entry, TextView end) { paragraph(indent, entry, end); }
    // The paragraphs since the last heading, list entry or end of one are the
    // pieces of one source paragraph, cut at its sentence ends: an output that
    // sets paragraphs as the author made them joins them again. The text
    // output keeps its lines as they are.
    virtual void paragraphEnds() {}
};

// The text output's view of the events: each is one line of text.
class LineSink : public OutputSink {
public:
    virtual void writeLine(TextView line) = 0;
    // One line made of three pieces (a marker, a paragraph, a marker).
    virtual void writeLine(TextView before, TextView body, TextView after) {
        joined_.assign(before).append(body).append(after);
        writeLine(joined_);
    }

    void plainLine(TextView line) override { writeLine(line); }
    void blankLine() override { writeLine(TextView{}); }
    void heading(TextView open, TextView title, TextView close, HeadingRank) override {
        writeLine(open, title, close);
    }
    void paragraph(TextView indent, TextView body, TextView end) override { writeLine(indent, body, end); }

private:
    Text joined_;
};

// Hands every event on to two outputs: the text copy and a book made beside it.
class TeeSink final : public OutputSink {
public:
    TeeSink(OutputSink& first, OutputSink& second) : first_(first), second_(second) {}
    void plainLine(TextView line) override {
        first_.plainLine(line);
        second_.plainLine(line);
    }
    void blankLine() override {
        first_.blankLine();
        second_.blankLine();
    }
    void heading(TextView open, TextView title, TextView close, HeadingRank rank) override {
        first_.heading(open, title, close, rank);
        second_.heading(open, title, close, rank);
    }
    void paragraph(TextView indent, TextView body, TextView end) override {
        first_.paragraph(indent, body, end);
        second_.paragraph(indent, body, end);
    }
    void listEntry(TextView indent, TextView entry, TextView end) override {
        first_.listEntry(indent, entry, end);
        second_.listEntry(indent, entry, end);
    }
    void paragraphEnds() override {
        first_.paragraphEnds();
        second_.paragraphEnds();
    }

private:
    OutputSink& first_;
    OutputSink& second_;
};

}  // namespace quenlet
