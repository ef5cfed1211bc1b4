#include "ui/run_notes.h"

#include <QFile>

namespace quenlet::ui {
namespace {

QString pathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// "第8、9、18章": the first numbers of a list, then how many more.
QString chapterList(const std::vector<std::int64_t>& numbers) {
    constexpr std::size_t kShown = 20;
    QStringList shown;
    for (std::size_t i = 0; i < numbers.size() && i < kShown; ++i) shown << QString::number(numbers[i]);
    QString text = QStringLiteral("第%1章").arg(shown.join(QStringLiteral("、")));
    if (numbers.size() > kShown) text += QStringLiteral("等%1章").arg(numbers.size());
    return text;
}

}  // namespace

QStringList fileNotes(const std::string& sourcePath, const FileRunResult& result, bool tidied) {
    QStringList notes;
    if (!result.ok) return notes;  // a failure has a message of its own
    // Without the tidy mode a heading is only what the rules make one, and
    // a file without any is nothing to wonder at.
    if (tidied && lacksExpectedHeadings(result))
        notes << QStringLiteral("%1：在%2 KB的文字中没有找到任何章节标题，排版结果没有分章。")
                     .arg(pathText(sourcePath))
                     .arg(result.sourceBytes / 1024);
    else if (bookLacksChapters(result))
        notes << QStringLiteral("%1：在%2 KB的文字中只分出%3章，电子书的目录用处不大。")
                     .arg(pathText(result.bookPath))
                     .arg(result.sourceBytes / 1024)
                     .arg(result.bookChapters);
    // What the numbering of the chapters shows: the download may lack some.
    const RunFindings& found = result.findings;
    if (!found.sequenceMissing.empty())
        notes << QStringLiteral("%1：章节编号不连续，缺少%2。").arg(pathText(sourcePath), chapterList(found.sequenceMissing));
    if (!found.sequenceRepeated.empty())
        notes << QStringLiteral("%1：%2重复出现。").arg(pathText(sourcePath), chapterList(found.sequenceRepeated));
    if (!found.sequenceBackwards.empty())
        notes << QStringLiteral("%1：章节编号在%2之后倒退。").arg(pathText(sourcePath), chapterList(found.sequenceBackwards));
    if (result.bookReplacedCharacters > 0)
        notes << QStringLiteral("%1：有%2个字符（源文件中无法解码的字节或控制字符）无法放进EPUB，书中显示为“%3”。")
                     .arg(pathText(result.bookPath))
                     .arg(result.bookReplacedCharacters)
                     .arg(QChar(0xFFFD));
    return notes;
}

QString notesText(const QStringList& notes) {
    constexpr qsizetype kShown = 20;
    QString text = QStringLiteral("请注意：\n");
    for (qsizetype i = 0; i < notes.size() && i < kShown; ++i) text += notes[i] + '\n';
    if (notes.size() > kShown) text += QStringLiteral("……（共%1条）\n").arg(notes.size());
    return text;
}

}  // namespace quenlet::ui
