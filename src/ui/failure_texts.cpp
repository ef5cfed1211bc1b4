#include "ui/failure_texts.h"

#include <QFile>
#include <cerrno>
#include <string_view>

#include "ui/output_choices.h"

namespace quenlet::ui {
namespace {

// "第3行的“説”（U+8AAC）无法用Big5写出……"
QString unencodableText(const UnencodableCharacter& at) {
    const char32_t character = at.character;
    return QStringLiteral("第%1行的“%2”（U+%3）无法用%4编码写出，文件没有写入任何内容；"
                          "请换一种输出编码或简繁转换")
        .arg(at.line)
        .arg(QString::fromUcs4(&character, 1))
        .arg(QString::number(static_cast<uint>(character), 16).toUpper().rightJustified(4, QLatin1Char('0')))
        .arg(encodingLabel(at.encoding));
}

// What a source in no supported encoding most likely is.
QString likelyText(LikelyEncoding likely) {
    switch (likely) {
        case LikelyEncoding::Utf32LE: return QStringLiteral("UTF-32LE编码");
        case LikelyEncoding::Utf32BE: return QStringLiteral("UTF-32BE编码");
        case LikelyEncoding::ShiftJis: return QStringLiteral("日文的Shift_JIS编码");
        case LikelyEncoding::EucJp: return QStringLiteral("日文的EUC-JP编码");
        case LikelyEncoding::EucKr: return QStringLiteral("韩文的EUC-KR编码");
        case LikelyEncoding::EucTw: return QStringLiteral("EUC-TW编码");
        case LikelyEncoding::Hz: return QStringLiteral("HZ编码");
        case LikelyEncoding::SingleByte: return QStringLiteral("西文的单字节编码（如Windows-1252）");
        case LikelyEncoding::Binary: return QStringLiteral("二进制数据，不是文本");
        case LikelyEncoding::Unknown: break;
    }
    return QStringLiteral("一种不支持的编码");
}

// "它的电子书“kovra-a.epub”与本次较早排版的a.txt的电子书同名……"
QString takenNameText(const TakenOutputName& taken) {
    const auto kind = [](bool book) { return book ? QStringLiteral("电子书") : QStringLiteral("副本"); };
    const std::string_view output = taken.output;
    const std::string_view name = output.substr(output.rfind('/') == std::string_view::npos ? 0 : output.rfind('/') + 1);
    return QStringLiteral("它的%1“%2”与本次较早排版的%3的%4同名，为免替换没有排版；请给其中一个文件改名")
        .arg(kind(taken.book), QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size()))),
             QFile::decodeName(QByteArray::fromStdString(taken.firstSource)), kind(taken.firstBook));
}

// The reason for each kind, as the end of "<file>：……".
QString reasonText(const FailureCause& cause, const std::string& englishError) {
    switch (cause.kind) {
        case FailureKind::CannotOpen: return QStringLiteral("无法打开");
        case FailureKind::IsDirectory: return QStringLiteral("这是一个文件夹，不是文件");
        case FailureKind::NotRegularFile: return QStringLiteral("这不是普通文件（而是设备、管道之类），不能排版");
        case FailureKind::CannotListFolder: return QStringLiteral("无法读取这个文件夹的内容");
        case FailureKind::FolderReplacedByLink:
            return QStringLiteral("这个文件夹在读取过程中被换成了链接，为安全起见没有进入");
        case FailureKind::CannotRead: return QStringLiteral("读取时出错");
        case FailureKind::ChangedWhileRead:
            return QStringLiteral("文件在读取过程中被改动了，没有生成副本；请等它不再变动时重试");
        case FailureKind::CannotCreateOutput: return QStringLiteral("无法创建输出文件");
        case FailureKind::TooManyTemporaryFiles: return QStringLiteral("同时在写的输出文件太多，无法再创建");
        case FailureKind::CannotWrite: return QStringLiteral("写入时出错");
        case FailureKind::CannotReplaceOutput: return QStringLiteral("无法用新的副本替换已有的同名文件");
        case FailureKind::WouldReplaceSource:
            return QStringLiteral("这个副本的名字指向源文件本身（通过链接），为保护源文件没有写入");
        case FailureKind::Unencodable: return unencodableText(cause.unencodable);
        case FailureKind::OutOfMemory: return QStringLiteral("内存不足");
        case FailureKind::Interrupted: return QStringLiteral("程序正在退出，排版被中断");
        case FailureKind::CannotMakeTemporaryCopy: return QStringLiteral("无法在临时文件夹中保存副本");
        case FailureKind::EncodingUnavailable: return QStringLiteral("无法载入这种编码的转换表");
        case FailureKind::ConversionUnavailable: return QStringLiteral("简繁转换的词典没有安装或无法读取");
        case FailureKind::CannotStart: return QStringLiteral("无法开始排版：系统不能再创建线程");
        case FailureKind::UnsupportedEncoding:
            return QStringLiteral("读不出中文：看起来是%1，不是本程序能读的UTF-8、UTF-16LE、UTF-16BE、GB18030或Big5编码，没有排版")
                .arg(likelyText(cause.likely));
        case FailureKind::OutputNameTaken: return takenNameText(cause.taken);
        case FailureKind::None:
        case FailureKind::Other: break;
    }
    // A failure the engine could not name: its own words are all there is
    // (less the file's name, which the text already begins with).
    std::string_view detail = englishError;
    if (!cause.path.empty() && detail.starts_with(cause.path + ": ")) detail.remove_prefix(cause.path.size() + 2);
    if (detail.empty()) return QStringLiteral("出现意外错误");
    return QStringLiteral("出现意外错误：") + QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size()));
}

}  // namespace

QString systemErrorText(int errorNumber, FailureKind kind) {
    switch (errorNumber) {
        case 0: return {};
        case EACCES:
        case EPERM: return QStringLiteral("权限不够");
        case ENOENT:
            if (kind == FailureKind::CannotListFolder) return QStringLiteral("文件夹不存在");
            if (kind == FailureKind::CannotCreateOutput || kind == FailureKind::CannotReplaceOutput)
                return QStringLiteral("所在的文件夹不存在");
            return QStringLiteral("文件不存在");
        case ENOSPC: return QStringLiteral("磁盘已满");
        case EDQUOT: return QStringLiteral("超出了磁盘配额");
        case EFBIG: return QStringLiteral("文件超出了允许的大小");
        case EROFS: return QStringLiteral("磁盘是只读的");
        case EISDIR: return QStringLiteral("那是一个文件夹");
        case ENOTDIR: return QStringLiteral("路径中有一部分不是文件夹");
        case EMFILE: return QStringLiteral("本程序同时打开的文件太多");
        case ENFILE: return QStringLiteral("系统同时打开的文件太多");
        case ENOMEM: return QStringLiteral("内存不足");
        case EIO: return QStringLiteral("磁盘读写出错，可能是硬件或文件系统的故障");
        case ENAMETOOLONG: return QStringLiteral("文件名或路径太长");
        case ELOOP: return QStringLiteral("链接的层数太多，可能是循环链接");
        case EBUSY:
        case ETXTBSY: return QStringLiteral("文件正被占用");
        case ENXIO:
        case ENODEV: return QStringLiteral("设备不存在");
        case EAGAIN: return QStringLiteral("资源暂时不够，请稍后重试");
        case ESTALE: return QStringLiteral("网络上的文件已失效");
        case ETIMEDOUT: return QStringLiteral("连接超时");
        case EEXIST: return QStringLiteral("同名文件已存在");
        case ENOTEMPTY: return QStringLiteral("文件夹不是空的");
        case EOVERFLOW: return QStringLiteral("文件太大");
        case EINVAL: return QStringLiteral("这个文件系统不支持所需的操作");
        default: return QStringLiteral("系统错误，代码%1").arg(errorNumber);
    }
}

QString failureText(const FailureCause& cause, const std::string& englishError) {
    QString text;
    if (!cause.path.empty()) text = QFile::decodeName(QByteArray::fromStdString(cause.path)) + QStringLiteral("：");
    text += reasonText(cause, englishError);
    // Out of memory says it already; a failure of no known kind shows the
    // engine's words, which hold it.
    const bool unknown = cause.kind == FailureKind::Other || cause.kind == FailureKind::None;
    const bool explained = cause.kind == FailureKind::OutOfMemory || (unknown && !englishError.empty());
    if (const QString why = systemErrorText(cause.errorNumber, cause.kind); !why.isEmpty() && !explained)
        text += QStringLiteral("（") + why + QStringLiteral("）");
    return text + QStringLiteral("。");
}

QString batchFailureText(const std::vector<BatchFailure>& failures) {
    QStringList texts;
    for (const BatchFailure& failure : failures) {
        FailureCause cause = failure.cause;
        if (cause.path.empty()) cause.path = failure.path;
        texts << failureText(cause, failure.error);
    }
    return failureListText(texts);
}

QString failureListText(const QStringList& failures) {
    constexpr qsizetype kShown = 20;
    QString text = QStringLiteral("以下%1项未能处理，其余文件已排版：\n").arg(failures.size());
    for (qsizetype i = 0; i < failures.size() && i < kShown; ++i) text += failures[i] + '\n';
    if (failures.size() > kShown) text += QStringLiteral("……");
    return text;
}

}  // namespace quenlet::ui
