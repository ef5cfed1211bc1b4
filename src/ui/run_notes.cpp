#include "ui/run_notes.h"

#include <QFile>
#include <vector>

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

// A note, and whether it concerns the book rather than the source.
struct Note {
    bool aboutBook = false;
    QString text;
};

std::vector<Note> notesOn(const FileRunResult& result, bool tidied) {
    std::vector<Note> notes;
    if (!result.ok) return notes;  // a failure has a message of its own
    // Without the tidy mode a heading is only what the rules make one, and
    // a file without any is nothing to wonder at.
    if (tidied && lacksExpectedHeadings(result))
        notes.push_back({false, QStringLiteral("在%1 KB的文字中没有找到任何章节标题，排版结果没有分章。")
                                    .arg(result.sourceBytes / 1024)});
    else if (bookLacksChapters(result))
        notes.push_back({false, QStringLiteral("在%1 KB的文字中只分出%2章，电子书的目录用处不大。")
                                    .arg(result.sourceBytes / 1024)
                                    .arg(result.bookChapters)});
    // What the numbering of the chapters shows: the download may lack some.
    const RunFindings& found = result.findings;
    if (!found.sequenceMissing.empty())
        notes.push_back({false, QStringLiteral("章节编号不连续，缺少%1。").arg(chapterList(found.sequenceMissing))});
    if (!found.sequenceRepeated.empty())
        notes.push_back({false, QStringLiteral("%1重复出现。").arg(chapterList(found.sequenceRepeated))});
    if (!found.sequenceBackwards.empty())
        notes.push_back({false, QStringLiteral("章节编号在%1之后倒退。").arg(chapterList(found.sequenceBackwards))});
    if (result.bookReplacedCharacters > 0)
        notes.push_back({true, QStringLiteral("有%1个字符（源文件中无法解码的字节或控制字符）无法放进EPUB，书中显示为“%2”。")
                                   .arg(result.bookReplacedCharacters)
                                   .arg(QChar(0xFFFD))});
    return notes;
}

}  // namespace

QStringList fileNotes(const std::string& sourcePath, const FileRunResult& result, bool tidied) {
    QStringList notes;
    for (const Note& note : notesOn(result, tidied))
        notes << pathText(note.aboutBook ? result.bookPath : sourcePath) + QStringLiteral("：") + note.text;
    return notes;
}

QStringList unnamedNotes(const FileRunResult& result, bool tidied) {
    QStringList notes;
    for (const Note& note : notesOn(result, tidied)) notes << note.text;
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
