// Fuzz target: what a user hands quenlet-cli besides the novel -- a rules
// file and the command line -- and the book the tidy mode makes of the novel.
//
// The input is three parts separated by lines of "%%":
//   RULES \n%%\n WORDS \n%%\n TEXT
// (with one separator there are no words; with none all of it is the text).
//   - RULES is a user rules file, read from a file as --rules FILE reads it:
//     it is taken, or refused with a message that names the file and shows
//     no raw control character or broken UTF-8;
//   - WORDS, separated by NULs or line ends, are the command line's words:
//     the parser gives a request, or stops with its own message (help,
//     version, usage), and nothing escapes it as an exception; a request is
//     made into a run with the rules above and a book, or refused with a
//     message;
//   - TEXT is a source file typeset in a scratch folder with those options
//     into an EPUB: the run succeeds with a complete book -- a zip archive
//     whose first entry is the stored "mimetype", every entry reading back
//     whole -- or fails with a message and leaves nothing behind; and the
//     same source gives the same book bytes twice.
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_setup.h"
#include "formats/epub_writer.h"
#include "run/file_run.h"
#include "text/utf8.h"

using namespace quenlet;

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

constexpr std::string_view kSeparator = "\n%%\n";
constexpr std::size_t kMaxWords = 24;
constexpr std::int64_t kModified = 981173106;  // 2001-02-03T04:05:06Z, fixed so that books compare

std::string scratch;  // the folder the source and its outputs are written in

void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

struct Parts {
    std::string_view rules, words, text;
};

Parts split(std::string_view data) {
    Parts parts;
    const std::size_t first = data.find(kSeparator);
    if (first == std::string_view::npos) {
        parts.text = data;
        return parts;
    }
    parts.rules = data.substr(0, first);
    data.remove_prefix(first + kSeparator.size());
    const std::size_t second = data.find(kSeparator);
    if (second == std::string_view::npos) {
        parts.text = data;
        return parts;
    }
    parts.words = data.substr(0, second);
    parts.text = data.substr(second + kSeparator.size());
    return parts;
}

std::vector<std::string> wordsOf(std::string_view text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < text.size() && words.size() < kMaxWords) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\0' && text[end] != '\n') ++end;
        if (end > start) words.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// A rules file's bytes behind a path that open() reads as a regular file,
// as the user's own would be.
class RulesFile {
public:
    explicit RulesFile(std::string_view bytes) : fd_(::memfd_create("quenlet-fuzz-rules", MFD_CLOEXEC)) {
        if (fd_ < 0) fail("memfd_create");
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (wrote <= 0) fail("write to memory file");
            done += static_cast<std::size_t>(wrote);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~RulesFile() { ::close(fd_); }
    RulesFile(const RulesFile&) = delete;
    RulesFile& operator=(const RulesFile&) = delete;
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

// A message the front end prints as it stands after "quenlet-cli: ":
// something, and nothing a terminal would act on or could not show.
void checkMessage(const std::string& message, const char* what) {
    if (message.empty()) fail(std::string(what) + " without a message");
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    for (std::size_t i = 0; i < message.size();) {
        if (bytes[i] < 0x20 && bytes[i] != '\n') fail(std::string(what) + " shows a control character: " + message);
        if (bytes[i] == 0x7F) fail(std::string(what) + " shows DEL: " + message);
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const Utf8Sequence seq = readUtf8Sequence(bytes + i, message.size() - i);
        if (seq.status != Utf8Sequence::Complete) fail(std::string(what) + " is not UTF-8: " + message);
        i += seq.length;
    }
}

// The request as the run takes it here: the tidy mode with the fuzzed rules
// file (none when it was refused), and always a book.
void prepare(RunRequest& request, const RulesFile& rules, bool rulesTaken) {
    request.tidy = true;
    request.rulesFiles.clear();  // a path among the words could be a pipe no one writes to
    if (rulesTaken) request.rulesFiles.push_back(rules.path());
    if (request.formats.empty()) request.epub = true;
    else if (("," + request.formats + ",").find(",epub,") == std::string::npos) request.formats += ",epub";
}

std::variant<cli::RunSetup, cli::SetupError> setupFor(RunRequest request, const RulesFile& rules, bool rulesTaken) {
    prepare(request, rules, rulesTaken);
    return cli::setupOf(request);
}

// The words through the parser as quenlet-cli gives them to it; the request
// when there is one.
std::optional<RunRequest> parseWords(const std::vector<std::string>& words) {
    std::vector<const char*> argv = {"quenlet-cli"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    cli::Parsed parsed;
    try {
        parsed = cli::parseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), out, err);
    } catch (const std::exception& e) {
        fail(std::string("the command line parser threw: ") + e.what());
    } catch (...) {
        fail("the command line parser threw something");
    }
    if (parsed.request) {
        if (parsed.status != 0) fail("a request with a failing status");
        return parsed.request;
    }
    if (parsed.status == 0 && out.str().empty()) fail("the parser stopped without help, version or error");
    if (parsed.status == 2 && err.str().empty()) fail("a usage error without a message");
    if (parsed.status != 0 && parsed.status != 2) fail("the parser stopped with status " + std::to_string(parsed.status));
    return std::nullopt;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> folderNames() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch)) names.insert(entry.path().filename());
    return names;
}

// A complete EPUB: the stored mimetype first, as readers look for it at a
// fixed place, and every entry of a consistent archive reads back whole.
void checkBook(const std::string& book) {
    constexpr std::string_view kMimetype = "application/epub+zip";
    const std::string_view head(book.data(), std::min<std::size_t>(book.size(), 38 + kMimetype.size()));
    if (head.substr(0, 4) != "PK\x03\x04") fail("the book is no zip archive");
    if (head.size() < 38 + kMimetype.size() || head.substr(30, 8) != "mimetype" ||
        head.substr(38) != kMimetype || head[26] != 8 || head[27] != 0 || head[28] != 0 || head[29] != 0)
        fail("the book does not begin with its mimetype");
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(book.data(), book.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        fail(std::string("libzip cannot open the book: ") + zip_error_strerror(&error));
    }
    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    if (entries < 1) fail("the book has no entries");
    std::string data;
    for (zip_int64_t i = 0; i < entries; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) fail("an entry without its details");
        if (i == 0 && (std::string_view(stat.name) != "mimetype" || stat.comp_method != ZIP_CM_STORE))
            fail("the first entry is not the stored mimetype");
        data.assign(stat.size + 1, '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!file) fail(std::string("cannot open the entry ") + stat.name);
        // One byte more than the entry holds: it must end where it says.
        const zip_int64_t got = zip_fread(file, data.data(), data.size());
        zip_fclose(file);
        if (got != static_cast<zip_int64_t>(stat.size)) fail(std::string("the entry does not read back: ") + stat.name);
        if (i == 0 && std::string_view(data.data(), stat.size) != kMimetype) fail("the mimetype entry says otherwise");
    }
    zip_discard(archive);
}

struct BookRun {
    FileRunResult result;
    std::string book;
};

BookRun typesetBook(const std::string& source, const cli::RunSetup& setup) {
    TypesetEngine engine;
    BookRun run;
    run.result = typesetFile(engine, source, setup.options, setup.settings);
    const std::set<std::string> names = folderNames();
    std::set<std::string> expected = {"书.txt"};
    if (run.result.ok) {
        if (run.result.bookPath != scratch + "/kovra-书.epub") fail("the book is not where it belongs: " + run.result.bookPath);
        expected.insert("kovra-书.epub");
        if (setup.settings.writeText) expected.insert("kovra-书.txt");
        if (!run.result.error.empty()) fail("a run that succeeded with an error: " + run.result.error);
    } else if (run.result.error.empty()) {  // (shown escaped by the front ends: any bytes may stand in it)
        fail("a failed run without a message");
    }
    if (names != expected) fail("the folder holds other files than the run's outputs");
    if (run.result.ok) run.book = readAll(run.result.bookPath);
    for (const std::string& name : names)
        if (name != "书.txt") ::unlink((scratch + "/" + name).c_str());
    return run;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenlet-input-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) fail("mkdtemp");
    scratch = pattern;
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Parts parts = split({reinterpret_cast<const char*>(data), size});

    // The rules file alone, as --tidy --rules FILE takes it.
    const RulesFile rules(parts.rules);
    auto setup = setupFor(RunRequest{}, rules, true);
    bool rulesTaken = true;
    if (const auto* refused = std::get_if<cli::SetupError>(&setup)) {
        checkMessage(refused->message, "a refused rules file");
        if (!refused->message.starts_with(rules.path() + ":")) fail("a refused rules file not named: " + refused->message);
        rulesTaken = false;
        setup = setupFor(RunRequest{}, rules, false);
        if (std::holds_alternative<cli::SetupError>(setup)) fail("the built-in rules alone are refused");
    }

    // The words, and the run they ask for when the parser and the setup take them.
    if (const auto request = parseWords(wordsOf(parts.words))) {
        auto asked = setupFor(*request, rules, rulesTaken);
        if (const auto* refused = std::get_if<cli::SetupError>(&asked)) {
            checkMessage(refused->message, "a refused request");
            if (refused->status != 1 && refused->status != 2) fail("a refused request with another status");
        } else {
            setup = std::move(asked);
        }
    }
    cli::RunSetup& run = std::get<cli::RunSetup>(setup);
    if (!run.settings.book) fail("no book in the settings");
    run.settings.syncFolder = false;
    // Both ways a book is made: deflated on helper threads or on the run's own.
    run.settings.threading = size % 2 ? Threading::Pipelined : Threading::Inline;

    const std::string source = scratch + "/书.txt";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(parts.text.data(), static_cast<std::streamsize>(parts.text.size()));
        if (!out) fail("cannot write the source");
    }
    const timeval times[2] = {{kModified, 0}, {kModified, 0}};
    if (::utimes(source.c_str(), times) != 0) fail("utimes");

    const BookRun first = typesetBook(source, run);
    if (first.result.ok) checkBook(first.book);
    const BookRun second = typesetBook(source, run);
    if (second.result.ok != first.result.ok) fail("the same source succeeds once and fails once");
    if (second.book != first.book) fail("the same source gives another book");
    if (second.result.error != first.result.error) fail("the same source fails differently");
    ::unlink(source.c_str());
    return 0;
}
