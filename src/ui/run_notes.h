// What a run that went through found worth a word to the user, in Chinese:
// a long file in which the tidy mode found no chapter heading (its chapters
// are probably not set apart), chapters missing from the numbering, given
// twice or out of order, and characters an EPUB could not hold. The
// window shows them in one message once the run has ended, so that neither
// is a surprise found only when the book is read.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "run/file_run.h"

namespace quenlet::ui {

// The notes on one file, a sentence each, naming the file they concern; none
// when all went as expected. `tidied`: the file was typeset in the tidy mode.
QStringList fileNotes(const std::string& sourcePath, const FileRunResult& result, bool tidied);

// The same sentences without the file's name, for a list that names the file beside them.
QStringList unnamedNotes(const FileRunResult& result, bool tidied);

// The notes as a message: "请注意：" and the first few of them one by one.
QString notesText(const QStringList& notes);

}  // namespace quenlet::ui
