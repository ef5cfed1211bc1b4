#include "ui/result_report.h"

#include <QFile>
#include <string_view>

#include "run/output_names.h"
#include "ui/failure_texts.h"
#include "ui/output_choices.h"
#include "ui/run_notes.h"

namespace quenlet::ui {
namespace {

// The path below `base`, or the whole path when it lies elsewhere.
QString nameBelow(const std::string& base, const std::string& path) {
    std::string folder = base;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    if (!folder.empty() && path.size() > folder.size() && path.starts_with(folder))
        return pathText(path.substr(folder.size()));
    return pathText(path);
}

}  // namespace

QString pathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

QString formatText(const TextFormat& format) {
    QString text = encodingLabel(format.encoding);
    if (format.hasBom) text += QStringLiteral(" (带BOM)");
    return text;
}

QString detectionText(DetectedBy by) {
    switch (by) {
        case DetectedBy::Option: return QStringLiteral("按指定的编码读取");
        case DetectedBy::Mark: return QStringLiteral("根据文件开头的BOM");
        case DetectedBy::Utf8: return QStringLiteral("全文都是有效的UTF-8");
        case DetectedBy::Utf16Pattern: return QStringLiteral("根据UTF-16特有的字节规律");
        case DetectedBy::Utf16Score:
        case DetectedBy::Big5Score:
        case DetectedBy::Gb18030Score: return QStringLiteral("根据解码后常用汉字所占的比例推断");
        case DetectedBy::TooShort: return QStringLiteral("文件太短，无从判断");
        case DetectedBy::MostlyUtf8: return QStringLiteral("除少数字节外都是有效的UTF-8");
        case DetectedBy::Unsupported: break;
    }
    return QStringLiteral("不是本程序能读的编码");
}

QString undecodableText(const FileRunResult& result) {
    const std::uint64_t bytes = result.undecodableBytes;
    if (bytes == 0) return {};
    const QString lead =
        QStringLiteral("源文件中有%1个字节不是有效的%2").arg(bytes).arg(encodingLabel(result.format.encoding));
    const QString dropped = QStringLiteral("，其余的随删去的行一起去掉了");
    if (const std::uint64_t replaced = result.replaced.escapesReplaced; replaced > 0) {
        const QChar replacement(encodingInfo(result.outputFormat.encoding).replacement);
        if (replaced == bytes) return lead + QStringLiteral("，在副本中写成了“%1”。").arg(replacement);
        return lead + QStringLiteral("，其中%1个在副本中写成了“%2”").arg(replaced).arg(replacement) + dropped +
               QStringLiteral("。");
    }
    if (result.undecodableBytesWritten == bytes) return lead + QStringLiteral("，已原样写入副本。");
    return lead + QStringLiteral("，其中%1个原样写入副本").arg(result.undecodableBytesWritten) + dropped +
           QStringLiteral("。");
}

QStringList warningTexts(const FileRunResult& result, bool tidied) {
    QStringList texts = unnamedNotes(result, tidied);
    if (!result.ok) return texts;
    if (const QString undecodable = undecodableText(result); !undecodable.isEmpty()) texts << undecodable;
    if (result.replaced.unencodableReplaced > 0)
        texts << QStringLiteral("有%1个字符无法用%2写出，写成了“?”。")
                     .arg(result.replaced.unencodableReplaced)
                     .arg(encodingLabel(result.outputFormat.encoding));
    const RunFindings& found = result.findings;
    if (found.linesDropped > 0)
        texts << QStringLiteral("以一串问号结尾的%1行被删去（共%2个字符）。").arg(found.linesDropped).arg(found.charactersDropped);
    // The engine's own words say which rule and where: they are all there is.
    for (const std::string& warning : found.warnings)
        texts << QStringLiteral("有一条整理规则回溯过多，没有全部执行（%1）。").arg(QString::fromStdString(warning));
    return texts;
}

std::string copyPathOf(const BatchRow& row) {
    if (row.failed()) return {};
    const SourcePath parts = splitSourcePath(row.source);
    return parts.folder + copyNameFor(parts.name);
}

BatchRow typesetRow(const std::string& base, const std::string& source, const FileRunResult& result, bool tidied) {
    BatchRow row;
    row.name = nameBelow(base, source);
    row.encoding = formatText(result.format);
    row.chapters = result.findings.headings;
    row.warnings = warningTexts(result, tidied);
    row.source = source;
    row.book = result.bookPath;
    return row;
}

BatchRow failedRow(const std::string& base, const std::string& source, const FailureCause& cause,
                   const std::string& englishError) {
    FailureCause unnamed = cause;
    std::string_view detail = englishError;
    if (unnamed.path.empty() || unnamed.path == source) {
        unnamed.path.clear();
        if (detail.starts_with(source + ": ")) detail.remove_prefix(source.size() + 2);
    }
    return failedRow(base, source, failureText(unnamed, std::string(detail)));
}

BatchRow failedRow(const std::string& base, const std::string& source, const QString& failure) {
    BatchRow row;
    row.name = nameBelow(base, source);
    row.failure = failure;
    row.source = source;
    return row;
}

}  // namespace quenlet::ui
