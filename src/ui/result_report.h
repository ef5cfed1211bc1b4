// What the result view shows of a run, taken from what the run reported --
// its result and findings, never a second look at the files -- and the
// Chinese words for it.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "run/file_run.h"

namespace quenlet::ui {

// One file typeset on its own, kept whole: its headings, junk and first chapter.
struct FileReport {
    std::string source;  // the source's path
    FileRunResult result;
    bool tidied = false;  // typeset in the tidy mode
    QString failure;      // what stopped it, in Chinese; empty when it went through
};

// One file of a batch: only what its row shows, so that a batch of
// twenty thousand files keeps no heading lists.
struct BatchRow {
    QString name;      // the path below the folder of the run
    QString encoding;  // as read; empty for a failure
    Count chapters = 0;
    QStringList warnings;
    QString failure;     // empty when the file was typeset
    std::string source;  // the source's path (for a folder that failed, the folder's)
    std::string book;    // the book beside the copy, when one was written
    bool failed() const { return !failure.isEmpty(); }
};

struct BatchReport {
    std::string folder;  // the folder typeset, or empty when the run had several
    Count files = 0;     // typeset
    std::vector<BatchRow> rows;
};

// Where a typeset file's text copy lies.
std::string copyPathOf(const BatchRow& row);

// The rows: `base` is the folder the names are given below.
BatchRow typesetRow(const std::string& base, const std::string& source, const FileRunResult& result, bool tidied);
// A row for a failure: its Chinese text without the row's own path, which the
// row shows already (a failure of another path, such as the copy's, keeps it).
BatchRow failedRow(const std::string& base, const std::string& source, const FailureCause& cause,
                   const std::string& englishError);
BatchRow failedRow(const std::string& base, const std::string& source, const QString& failure);

// "GB18030", "UTF-8 (带BOM)".
QString formatText(const TextFormat& format);
// How the encoding was told: "按文件开头的BOM" ...
QString detectionText(DetectedBy by);
// What a file's run should not keep quiet about, a sentence each, without the
// file's name: the notes the window's messages give, the bytes that could not
// be read, the lines dropped, the rules that gave up.
QStringList warningTexts(const FileRunResult& result, bool tidied);
// The bytes that could not be decoded and what became of them; empty when none.
QString undecodableText(const FileRunResult& result);
// A path held as bytes, for the screen.
QString pathText(const std::string& path);

}  // namespace quenlet::ui
