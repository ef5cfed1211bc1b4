// The archive of a book. Its entries are deflated as they are finished --
// on helper threads while the engine goes on typesetting, when allowed --
// and written at once to a scratch file on disk, so that a book of any size
// takes the same memory; libzip puts them together at the end, taking the
// deflated data as it is, and writes the archive into an open file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/helper_threads.h"
#include "files/scratch_file.h"

namespace quenlet::formats {

// Memory for the data of entries: raw, so that only what is written is ever touched.
struct Chunk {
    explicit Chunk(std::size_t bytes);
    std::unique_ptr<char[]> bytes;
    std::size_t capacity;
    std::size_t used = 0;
    std::size_t room() const { return capacity - used; }
};

struct ZipEntry {
    std::string name;
    // The data -- deflated, or the content itself when stored -- in memory,
    // or, without a chunk, in the scratch file the archive is written with.
    std::shared_ptr<const Chunk> chunk;
    std::uint64_t offset = 0;
    std::size_t length = 0;
    std::uint32_t crc = 0;   // of the content
    std::uint64_t size = 0;  // of the content
    bool stored = false;
    std::string_view data() const { return {chunk->bytes.get() + offset, length}; }
};

ZipEntry storedEntry(std::string name, std::string content);

// The CRC-32 of bytes, as zip entries hold it.
std::uint32_t crc32Of(std::string_view bytes);

// Raw deflate (as zip entries hold it), each entry deflated at once with
// ISA-L's compressor: at its fastest level (1) about three and a half times
// as fast as zlib's and its data a few per cent smaller. Levels 0 to 3; one
// compressor is kept for many entries.
class EntryCompressor {
public:
    explicit EntryCompressor(int level);
    ~EntryCompressor();
    EntryCompressor(const EntryCompressor&) = delete;
    EntryCompressor& operator=(const EntryCompressor&) = delete;
    // The most that deflating `size` bytes can come to.
    std::size_t bound(std::size_t size);
    // Deflates content into `out`, which has room for its bound; the entry's
    // length tells how much was written.
    ZipEntry deflatedInto(char* out, std::size_t room, std::string name, std::string_view content);
    // Deflates content into a chunk of its own.
    ZipEntry deflated(std::string name, std::string_view content);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Turns the draft of an entry into its bytes, on whichever thread deflates
// it; every such thread has a renderer of its own.
class EntryRenderer {
public:
    virtual ~EntryRenderer() = default;
    // The bytes, valid until the next call.
    virtual std::string_view render(std::u16string_view draft) = 0;
};
using RendererFactory = std::function<std::unique_ptr<EntryRenderer>()>;

// Renders and deflates the entries handed to it as drafts, keeping the order
// given: on `helpers` threads, or on the calling thread alone when there are
// none. The calling thread mostly just hands over drafts, which costs it
// little; when the helpers fall behind it takes a share of their work
// instead of waiting, and at the end it helps them finish. The deflated data
// goes to `scratch` as it is made; the entries only say where it lies.
class EntryDeflater {
public:
    EntryDeflater(int level, unsigned helpers, const RendererFactory& makeRenderer, ScratchFile& scratch);
    ~EntryDeflater();
    EntryDeflater(const EntryDeflater&) = delete;
    EntryDeflater& operator=(const EntryDeflater&) = delete;

    // Throws, on the calling thread, what failed on a helper so far (the
    // scratch file could not be written): the run need not go on for nothing.
    void add(std::string name, std::u16string draft);
    // An empty draft with room, from an entry already done: the next draft is
    // written into it instead of into newly allocated memory.
    std::u16string spareDraft();
    // Waits for the helpers; rethrows what failed on one of them.
    std::vector<ZipEntry> finish();

private:
    // Entries handed over together: small ones are gathered, so that the
    // helpers are woken once for many of them.
    struct Job {
        std::vector<std::size_t> indexes;
        std::vector<std::u16string> drafts;
        std::size_t units = 0;
    };
    // What renders and deflates on one thread: its entries are deflated one
    // after another into its buffer, which goes to the scratch file in one
    // write once full (or once a job is done).
    struct Worker {
        Worker(int level, const RendererFactory& makeRenderer) : compressor(level), renderer(makeRenderer()) {}
        EntryCompressor compressor;
        std::unique_ptr<EntryRenderer> renderer;
        std::unique_ptr<char[]> buffer;
        std::size_t capacity = 0;
        std::size_t used = 0;
        // The entries deflated but not yet put in place (by their index):
        // those from `written` on have their offsets in the buffer still.
        std::vector<std::pair<std::size_t, ZipEntry>> waiting;
        std::size_t written = 0;
    };
    static constexpr std::size_t kJobUnits = 128 * 1024;
    static constexpr std::size_t kBufferBytes = 1 << 20;
    void work();
    void stop();
    void handOver(std::unique_lock<std::mutex>& lock);
    void run(Job& job, Worker& worker, std::unique_lock<std::mutex>& lock);
    void deflate(Worker& worker, std::size_t index, std::string name, std::u16string_view draft);
    // Writes the worker's buffer out; its entries then know where their data lies.
    void spill(Worker& worker);
    // Puts the worker's written entries in place.
    void place(Worker& worker);

    int level_;
    RendererFactory makeRenderer_;
    ScratchFile& scratch_;
    Worker caller_;  // the calling thread's
    std::vector<ZipEntry> entries_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    Job gathering_;
    std::vector<std::u16string> spares_;
    static constexpr std::size_t kSpareLimit = 1 << 20;
    static constexpr std::size_t kSpareCount = 256;
    std::size_t queueLimit_ = 0;
    bool closing_ = false;
    std::exception_ptr failure_;
    HelperThreads helpers_;
};

// A time as zip entries hold it (MS-DOS date and time, two-second steps).
struct DosTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};
// The DOS time of a moment in UTC, so that the archive's bytes do not depend
// on the time zone; clamped to the years DOS times can hold (1980 to 2107).
DosTime dosTimeOf(std::int64_t secondsSince1970);

// Writes the entries, in their order and all with the given time, as a zip
// archive into fd (a new, empty, seekable file); the data of entries without
// a chunk is read from `scratch`. Throws FileError naming path.
void writeZip(int fd, const std::string& path, const std::vector<ZipEntry>& entries, DosTime time,
              const ScratchFile* scratch = nullptr);

}  // namespace quenlet::formats
