#include "cli/manual_page.h"

#include <cstdio>

#include "cli/command_line.h"
#include "options/option_table.h"
#include "text/utf8.h"

namespace quenlet::cli {
namespace {

// "-j,--jobs" as "\fB\-j\fR, \fB\-\-jobs\fR"; the FILEs as "\fIFILE\fR ...".
void appendFlags(std::string& page, std::string_view flags) {
    if (!flags.starts_with('-')) {
        page.append("\\fI").append(roffText(flags)).append("\\fR ...");
        return;
    }
    for (bool first = true; !flags.empty(); first = false) {
        const std::size_t comma = flags.find(',');
        page.append(first ? "\\fB" : ", \\fB").append(roffText(flags.substr(0, comma))).append("\\fR");
        flags = comma == std::string_view::npos ? std::string_view() : flags.substr(comma + 1);
    }
}

void addEntry(std::string& page, std::string_view flags, std::string_view valueName, std::string_view help) {
    page.append(".TP\n");
    appendFlags(page, flags);
    if (!valueName.empty() && flags.starts_with('-')) page.append(" \\fI").append(roffText(valueName)).append("\\fR");
    page.append("\n").append(roffText(help)).append("\n");
}

std::string heading(std::string_view name, const ManualDetails& details) {
    return ".TH " + std::string(name) + " 1 \"\" \"Quenlet " + std::string(details.version) +
           "\" \"User Commands\"\n.nh\n";  // no hyphenation: kovra-FILE and the options stay whole
}

}  // namespace

std::string roffText(std::string_view text) {
    std::string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = bytes[i];
        if (b >= 0x80) {
            const Utf8Sequence seq = readUtf8Sequence(bytes + i, text.size() - i);
            if (seq.status == Utf8Sequence::Complete) {
                char glyph[16];
                std::snprintf(glyph, sizeof glyph, "\\[u%04X]", static_cast<unsigned>(seq.codePoint));
                out += glyph;
                i += static_cast<std::size_t>(seq.length);
            } else {
                out += "\\[uFFFD]";
                ++i;
            }
            continue;
        }
        if (b == '\\') out += "\\e";
        else if (b == '-') out += "\\-";
        else if (b == '\n') out += ' ';
        else out += static_cast<char>(b);
        ++i;
    }
    if (out.starts_with('.') || out.starts_with('\'')) out.insert(0, "\\&");
    return out;
}

std::string cliManualPage(const ManualDetails& details) {
    std::string page = heading("QUENLET-CLI", details);
    page += ".SH NAME\nquenlet\\-cli \\- re\\-flow plain\\-text Chinese novels into clean, indented text\n";
    page += ".SH SYNOPSIS\n"
            ".B quenlet\\-cli\n[\\fIOPTIONS\\fR] \\fIFILE\\fR ...\n.br\n"
            ".B quenlet\\-cli\n[\\fIOPTIONS\\fR] \\fB\\-\\-batch\\fR \\fIDIR\\fR\n.br\n"
            ".B quenlet\\-cli\n[\\fIOPTIONS\\fR] \\fB\\-\\fR < \\fIin.txt\\fR > \\fIout.txt\\fR\n";
    page += ".SH DESCRIPTION\n" + roffText(programDescription()) + "\n.PP\n" +
            roffText("Files may be UTF-8, UTF-16 (with or without a byte order mark), GBK/GB18030 or Big5; each "
                     "is detected, and the copy is written in the same encoding with CR LF line ends unless "
                     "--output-encoding or --line-ends choose otherwise. The copy appears only once it is "
                     "complete. --tidy also tidies novels as they are downloaded, and --epub makes an EPUB "
                     "e-book instead of the text copy.") +
            "\n";
    page += ".SH OPTIONS\n";
    for (const OptionSpec& option : optionTable()) addEntry(page, option.flags, option.valueName, helpText(option));
    for (const ParserFlag& flag : parserFlags()) addEntry(page, flag.flags, {}, std::string(flag.help) + ".");
    page += ".SH EXIT STATUS\n"
            ".TP\n.B 0\nEvery file was typeset.\n"
            ".TP\n.B 1\n" +
            roffText("A file failed (the others are still done; each failure is reported on standard error with "
                     "the file and the reason, and leaves no output behind and an existing kovra- copy "
                     "untouched), or the report could not be written to standard output.") +
            "\n.TP\n.B 2\nA usage error.\n";
    page += ".SH FILES\n.TP\n.I " + roffText(details.rulesFile) + "\n" +
            roffText("The built-in tidy rules, as --print-rules prints them: a starting point for rules of "
                     "your own (--rules).") +
            "\n";
    page += ".SH EXAMPLES\n"
            ".TP\n.B " + roffText("quenlet-cli 三国演义.txt") + "\n" +
            roffText("Typesets the novel into kovra-三国演义.txt beside it and prints the statistics.") +
            "\n.TP\n.B " + roffText("quenlet-cli --tidy --epub --author 罗贯中 三国演义.txt") + "\n" +
            roffText("Tidies a downloaded novel and makes the e-book kovra-三国演义.epub.") +
            "\n.TP\n.B " + roffText("quenlet-cli --batch ~/小说 --json") + "\n" +
            roffText("Typesets every .txt file in the folder and below it, with a line of JSON for each file "
                     "as it is done and the totals last.") +
            "\n.TP\n.B " + roffText("quenlet-cli --convert t2s --output-encoding utf-8 - < in.txt > out.txt") +
            "\n" + roffText("Converts a traditional novel to simplified characters in UTF-8, from standard input.") +
            "\n";
    page += ".SH SEE ALSO\n.BR quenlet (1)\n";
    return page;
}

std::string windowManualPage(const ManualDetails& details) {
    std::string page = heading("QUENLET", details);
    page += ".SH NAME\nquenlet \\- re\\-flow plain\\-text Chinese novels, in a window\n";
    page += ".SH SYNOPSIS\n"
            ".B quenlet\n[\\fIFILE\\fR | \\fIFOLDER\\fR] ...\n.br\n"
            ".B quenlet \\-\\-version\n";
    page += ".SH DESCRIPTION\n" +
            roffText("The window of Quenlet, which re-flows plain-text Chinese novels as quenlet-cli does: it "
                     "joins paragraphs broken into short lines, removes padding spaces and runs of question "
                     "marks, normalises quotes and ellipses, sets chapter headings apart and indents every "
                     "paragraph, into a copy named kovra-NAME beside each file; the file itself is never "
                     "changed. Its boxes and check boxes hold the rules; 打　开　排　版 typesets one file, "
                     "批　量　排　版 every .txt file in a folder and below it, and the statistics are shown in "
                     "the panel on the right.") +
            "\n.PP\n" +
            roffText("Started with files or folders on its command line, as a file manager's \"Open with\" "
                     "starts it, the window typesets each file, and every .txt file in and below each folder "
                     "as a batch, with the settings it remembers, and shows the statistics.") +
            "\n";
    page += ".SH OPTIONS\n";
    addEntry(page, "--version", {}, "Print the version (quenlet VERSION) and exit, without opening the window.");
    page += ".SH FILES\n"
            ".TP\n.I ~/.config/Quenlet/quenlet.conf\n" +
            roffText("The settings the window remembers: every box, check box and choice, and the folders last "
                     "chosen.") +
            "\n.TP\n.I " + roffText(details.rulesFile) + "\n" +
            roffText("The built-in rules of the tidy mode (整理网络文本).") + "\n";
    page += ".SH SEE ALSO\n.BR quenlet\\-cli (1)\n";
    return page;
}

}  // namespace quenlet::cli
