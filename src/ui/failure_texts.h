// The window's own words for what stopped a file: the file's name and a
// Chinese reason for each kind of failure, with the common system errors
// explained in Chinese rather than in the C library's English.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "files/file_error.h"

namespace quenlet::ui {

// "<file>：<reason>（<explanation of the error number>）。" -- without the
// file when the cause names none. `englishError`, the engine's own message,
// is shown only for a failure of no known kind, where it is all there is.
QString failureText(const FailureCause& cause, const std::string& englishError = {});

// The Chinese explanation of a system error number; empty for 0.
QString systemErrorText(int errorNumber, FailureKind kind = FailureKind::Other);

// The message after a batch: how many items failed and why, the first few
// of them one by one.
QString batchFailureText(const std::vector<BatchFailure>& failures);
// The same message for failures already said in Chinese, one text each.
QString failureListText(const QStringList& failures);

}  // namespace quenlet::ui
