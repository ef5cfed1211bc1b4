// Everything the command line says besides the typeset text: the prefix of
// its messages, the notes and warnings about each file, the statistics, the
// headings and the JSON reports. Messages go to standard error; statistics,
// headings and JSON to the stream each call names (standard error while the
// typeset text itself goes to standard output).
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_run.h"
#include "cli/json_text.h"
#include "run/file_run.h"

namespace quenlet::cli {

class Reporter {
public:
    Reporter(std::ostream& out, std::ostream& err, bool quiet, bool tidy)
        : out_(out), err_(err), quiet_(quiet), tidy_(tidy) {}

    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }
    bool quiet() const { return quiet_; }

    // "quenlet-cli: <message>" on standard error: a message of the program's
    // own (a usage error), and a failure naming a file, which is shown().
    void error(std::string_view message);
    void failure(std::string_view message);

    // The warnings about one typeset file -- what could not be carried over
    // as it was, lines dropped, a long text without headings -- and, unless
    // quiet, a note on an encoding that was guessed.
    void aboutFile(std::ostream& to, const std::string& file, const FileRunResult& result) const;
    // One of those warnings: what it concerns (the file, or its book) and the sentence.
    struct Warning {
        std::string subject;
        std::string text;
    };
    std::vector<Warning> warnings(const std::string& file, const FileRunResult& result) const;
    // --list-headings: a file's headings in order, chapters under their volumes.
    void headings(std::ostream& to, const std::string& file, const RunFindings& found) const;
    // --list-junk: each distinct piece of junk the tidy mode removed, once, with how often it went.
    void junk(std::ostream& to, const std::string& file, const RunFindings& found) const;
    // The four statistics, one a line.
    void statistics(std::ostream& to, const Statistics& statistics) const;
    // One file's report, the object --json prints for it; and a batch's.
    Json fileJson(const Statistics& statistics, const FileRunResult& result) const;
    Json batchJson(const BatchResult& result, const RunFindings& findings) const;
    // A batch's line for one file as it is done: its path, the object of
    // fileJson, the headings and junk when they are listed, and the warnings;
    // for a file that failed, its path and the failure.
    Json batchFileJson(const std::string& path, const FileRunResult& result, bool listHeadings, bool listJunk) const;
    static Json batchFailureJson(const std::string& path, const std::string& error, const FailureCause& cause);
    // The object on a line of its own.
    void json(std::ostream& to, const Json& report) const;

    // Whether standard output took everything: one that could not be written
    // (a full disk, a closed pipe) is a failure like any other, reported.
    bool delivered();
    // Hands what standard output holds on (a batch's line of JSON), keeping
    // the first error for delivered().
    void flushOut();

    // A text for a terminal or a log, on one line: control characters and
    // bytes that are not UTF-8 shown as escapes.
    static std::string shown(std::string_view text);

private:
    void addFileReport(Json& report, const Statistics& statistics, const FileRunResult& result) const;
    void numbering(std::ostream& to, const std::string& name, const RunFindings& found) const;

    std::ostream& out_;
    std::ostream& err_;
    bool quiet_;
    bool tidy_;
    int outError_ = 0;  // the error number of the first write to standard output that failed (-1: none known)
};

}  // namespace quenlet::cli
