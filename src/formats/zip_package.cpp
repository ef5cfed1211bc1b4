#include "formats/zip_package.h"

#include <unistd.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>

#include "files/file_error.h"

namespace quenlet::formats {
namespace {

std::uint32_t crcOf(std::string_view content) {
    std::uint32_t crc = 0;
    for (std::size_t at = 0; at < content.size(); at += UINT32_MAX)
        crc = crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(content.data()) + at,
                              static_cast<std::uint64_t>(std::min<std::size_t>(UINT32_MAX, content.size() - at)));
    return crc;
}

}  // namespace

std::uint32_t crc32Of(std::string_view bytes) { return crcOf(bytes); }

Chunk::Chunk(std::size_t size) : bytes(new char[size]), capacity(size) {}

ZipEntry storedEntry(std::string name, std::string content) {
    ZipEntry entry;
    entry.name = std::move(name);
    entry.crc = crcOf(content);
    entry.size = content.size();
    auto chunk = std::make_shared<Chunk>(content.size());
    std::memcpy(chunk->bytes.get(), content.data(), content.size());
    entry.length = chunk->used = content.size();
    entry.chunk = std::move(chunk);
    entry.stored = true;
    return entry;
}

struct EntryCompressor::State {
    explicit State(int l) : level(l), buffer(new unsigned char[kBufferSize]) {}
    // The level's working memory: the more of it, up to this, the faster.
    static constexpr std::size_t kBufferSize = ISAL_DEF_LVL3_DEFAULT;
    int level;
    std::unique_ptr<unsigned char[]> buffer;
};

EntryCompressor::EntryCompressor(int level) : state_(std::make_unique<State>(std::clamp(level, 0, 3))) {}

EntryCompressor::~EntryCompressor() = default;

// What does not shrink is written as stored blocks: the content, five bytes
// for each block of up to 65,535 bytes, and what the end needs.
std::size_t EntryCompressor::bound(std::size_t size) {
    return size + (size / 65535 + 2) * 5 + ISAL_DEF_MAX_HDR_SIZE + 256;
}

ZipEntry EntryCompressor::deflated(std::string name, std::string_view content) {
    auto chunk = std::make_shared<Chunk>(bound(content.size()));
    ZipEntry entry = deflatedInto(chunk->bytes.get(), chunk->capacity, std::move(name), content);
    chunk->used = entry.length;
    entry.chunk = std::move(chunk);
    return entry;
}

ZipEntry EntryCompressor::deflatedInto(char* out, std::size_t room, std::string name, std::string_view content) {
    ZipEntry entry;
    entry.name = std::move(name);
    entry.crc = crcOf(content);
    entry.size = content.size();
    if (room < bound(content.size())) throw std::logic_error("no room to deflate an entry");
    if (content.size() > UINT32_MAX) throw std::length_error("an entry too large to deflate at once");
    // Raw deflate data, as zip entries hold it, in one go.
    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.level = static_cast<std::uint32_t>(state_->level);
    z.level_buf = state_->buffer.get();
    z.level_buf_size = State::kBufferSize;
    z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(content.data()));
    z.avail_in = static_cast<std::uint32_t>(content.size());
    z.next_out = reinterpret_cast<std::uint8_t*>(out);
    z.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(room, UINT32_MAX));
    z.end_of_stream = 1;
    z.flush = NO_FLUSH;
    z.gzip_flag = IGZIP_DEFLATE;
    if (isal_deflate_stateless(&z) != COMP_OK) throw std::logic_error("deflate failed");
    entry.length = z.total_out;
    return entry;
}

// Works with the helpers the system will start, none at all included.
EntryDeflater::EntryDeflater(int level, unsigned helpers, const RendererFactory& makeRenderer, ScratchFile& scratch)
    : level_(level), makeRenderer_(makeRenderer), scratch_(scratch), caller_(level, makeRenderer) {
    queueLimit_ = 2 * helpers_.start(helpers, [this] { work(); });
}

EntryDeflater::~EntryDeflater() { stop(); }

void EntryDeflater::stop() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    helpers_.join();
}

void EntryDeflater::deflate(Worker& worker, std::size_t index, std::string name, std::u16string_view draft) {
    const std::string_view bytes = worker.renderer->render(draft);
    const std::size_t need = worker.compressor.bound(bytes.size());
    if (worker.capacity - worker.used < need) {
        spill(worker);
        if (worker.capacity < need) {
            worker.capacity = std::max(need, kBufferBytes + kBufferBytes / 2);
            worker.buffer.reset(new char[worker.capacity]);
        }
    }
    ZipEntry entry = worker.compressor.deflatedInto(worker.buffer.get() + worker.used, worker.capacity - worker.used,
                                                    std::move(name), bytes);
    entry.offset = worker.used;
    worker.used += entry.length;
    worker.waiting.emplace_back(index, std::move(entry));
}

// (The entries stay waiting until the caller puts them in place: it may
// need the lock for that.)
void EntryDeflater::spill(Worker& worker) {
    if (worker.used > 0) {
        const std::uint64_t start = scratch_.append({worker.buffer.get(), worker.used});
        for (std::size_t i = worker.written; i < worker.waiting.size(); ++i) worker.waiting[i].second.offset += start;
    }
    worker.used = 0;
    worker.written = worker.waiting.size();
}

void EntryDeflater::place(Worker& worker) {
    for (auto& [index, entry] : worker.waiting) entries_[index] = std::move(entry);
    worker.waiting.clear();
    worker.written = 0;
}

void EntryDeflater::add(std::string name, std::u16string draft) {
    if (helpers_.empty()) {
        entries_.emplace_back();
        deflate(caller_, entries_.size() - 1, std::move(name), draft);
        if (caller_.used >= kBufferBytes) {
            spill(caller_);
            place(caller_);
        }
        if (spares_.empty() && draft.capacity() <= kSpareLimit) {
            draft.clear();
            spares_.push_back(std::move(draft));
        }
        return;
    }
    std::unique_lock lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
    gathering_.indexes.push_back(entries_.size());
    entries_.emplace_back().name = std::move(name);
    gathering_.units += draft.size();
    gathering_.drafts.push_back(std::move(draft));
    if (gathering_.units >= kJobUnits) handOver(lock);
}

// Queues the gathered entries for the helpers -- or, when they are behind,
// does them on the calling thread instead of waiting for them: the work is
// shared out whatever the speed of each side.
void EntryDeflater::handOver(std::unique_lock<std::mutex>& lock) {
    if (gathering_.indexes.empty()) return;
    Job job = std::move(gathering_);
    gathering_ = Job();
    if (queue_.size() < queueLimit_) {
        queue_.push_back(std::move(job));
        changed_.notify_all();
        return;
    }
    run(job, caller_, lock);
}

// Renders and deflates a job's entries and writes their data out (without
// the lock), then puts them in place.
void EntryDeflater::run(Job& job, Worker& worker, std::unique_lock<std::mutex>& lock) {
    std::vector<std::string> names;
    for (std::size_t index : job.indexes) names.push_back(std::move(entries_[index].name));
    lock.unlock();
    for (std::size_t i = 0; i < job.indexes.size(); ++i)
        deflate(worker, job.indexes[i], std::move(names[i]), job.drafts[i]);
    spill(worker);
    lock.lock();
    place(worker);
    for (std::u16string& used : job.drafts) {
        if (spares_.size() < kSpareCount && used.capacity() <= kSpareLimit) {
            used.clear();
            spares_.push_back(std::move(used));
        }
    }
}

void EntryDeflater::work() {
    std::unique_lock lock(mutex_);
    try {
        lock.unlock();
        Worker worker(level_, makeRenderer_);
        lock.lock();
        for (;;) {
            changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
            if (queue_.empty() || failure_) return;
            Job job = std::move(queue_.front());
            queue_.pop_front();
            run(job, worker, lock);
        }
    } catch (...) {
        if (!lock.owns_lock()) lock.lock();
        if (!failure_) failure_ = std::current_exception();
        changed_.notify_all();
    }
}

std::u16string EntryDeflater::spareDraft() {
    std::lock_guard lock(mutex_);
    if (spares_.empty()) return {};
    std::u16string spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

std::vector<ZipEntry> EntryDeflater::finish() {
    if (!helpers_.empty()) {
        // The calling thread has nothing else to do: it helps with what is left.
        std::unique_lock lock(mutex_);
        handOver(lock);
        while (!queue_.empty() && !failure_) {
            Job job = std::move(queue_.front());
            queue_.pop_front();
            try {
                run(job, caller_, lock);
            } catch (...) {
                if (!lock.owns_lock()) lock.lock();
                if (!failure_) failure_ = std::current_exception();
            }
        }
    } else {
        spill(caller_);
        place(caller_);
    }
    stop();
    if (failure_) std::rethrow_exception(failure_);
    return std::move(entries_);
}

DosTime dosTimeOf(std::int64_t secondsSince1970) {
    constexpr std::int64_t k1980 = 315532800;    // 1980-01-01T00:00:00Z
    constexpr std::int64_t k2107 = 4354819198;   // 2107-12-31T23:59:58Z
    const std::time_t seconds = static_cast<std::time_t>(std::clamp(secondsSince1970, k1980, k2107));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    DosTime dos;
    dos.time = static_cast<std::uint16_t>((utc.tm_hour << 11) | (utc.tm_min << 5) | (utc.tm_sec / 2));
    dos.date = static_cast<std::uint16_t>(((utc.tm_year - 80) << 9) | ((utc.tm_mon + 1) << 5) | utc.tm_mday);
    return dos;
}

namespace {

// The scratch file as the entries kept in it read it: ahead, in large
// blocks, as libzip asks for a few kilobytes at a time and mostly for data
// that follows the last. A failure is kept for writeZip to throw: it cannot
// pass through libzip.
struct ScratchReader {
    static constexpr std::size_t kBlock = 1 << 20;
    const ScratchFile* file = nullptr;
    std::unique_ptr<char[]> block;
    std::uint64_t start = 0;
    std::size_t filled = 0;
    std::exception_ptr failure;

    bool read(std::uint64_t offset, char* into, std::size_t length) {
        try {
            if (offset < start || offset + length > start + filled) {
                if (length > kBlock) {
                    file->read(offset, into, length);
                    return true;
                }
                if (!block) block.reset(new char[kBlock]);
                start = offset;
                filled = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, file->size() - offset));
                file->read(offset, block.get(), filled);
                if (filled < length) throw std::logic_error("an entry beyond the end of the scratch file");
            }
            std::memcpy(into, block.get() + (offset - start), length);
            return true;
        } catch (...) {
            failure = std::current_exception();
            filled = 0;
            return false;
        }
    }
};

// One entry's data for libzip, as it stands: libzip copies data that a source
// says is already deflated instead of deflating it again.
struct EntrySource {
    EntrySource(const ZipEntry& e, ScratchReader& r) : entry(&e), scratch(&r) { zip_error_init(&error); }
    ~EntrySource() { zip_error_fini(&error); }
    const ZipEntry* entry;
    ScratchReader* scratch;
    std::size_t offset = 0;
    zip_error_t error;
};

zip_int64_t entryCallback(void* user, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<EntrySource*>(user);
    const ZipEntry& entry = *source->entry;
    switch (command) {
        case ZIP_SOURCE_OPEN:
            source->offset = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const std::size_t n = std::min<std::size_t>(length, entry.length - source->offset);
            if (entry.chunk) {
                std::memcpy(data, entry.data().data() + source->offset, n);
            } else if (!source->scratch->read(entry.offset + source->offset, static_cast<char*>(data), n)) {
                zip_error_set(&source->error, ZIP_ER_READ, 0);
                return -1;
            }
            source->offset += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE: return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
            if (!stat) return -1;
            zip_stat_init(stat);
            stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
            stat->size = entry.size;
            stat->comp_size = entry.length;
            stat->comp_method = entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
            stat->crc = entry.crc;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&source->error, data, length);
        case ZIP_SOURCE_FREE:
            delete source;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

// The archive's destination: the open file, written in large blocks. It
// starts empty, as a new archive does. libzip goes back to complete each
// entry's header once its data is written; while that header is still in the
// buffer, it is completed there.
struct FileTarget {
    explicit FileTarget(int f) : fd(f) { zip_error_init(&error); }
    ~FileTarget() { zip_error_fini(&error); }
    FileTarget(const FileTarget&) = delete;
    FileTarget& operator=(const FileTarget&) = delete;
    int fd;
    zip_error_t error;
    int writeErrno = 0;
    std::uint64_t offset = 0;       // where libzip writes next
    std::uint64_t size = 0;         // of what libzip has written
    std::uint64_t bufferStart = 0;  // the file offset of buffer[0]
    std::string buffer;

    bool writeAt(std::uint64_t at, const char* bytes, std::size_t length) {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t wrote = ::pwrite(fd, bytes + done, length - done, static_cast<off_t>(at + done));
            if (wrote < 0) {
                if (errno == EINTR) continue;
                writeErrno = errno;
                zip_error_set(&error, ZIP_ER_WRITE, errno);
                return false;
            }
            done += static_cast<std::size_t>(wrote);
        }
        return true;
    }
    bool flush() {
        if (!writeAt(bufferStart, buffer.data(), buffer.size())) return false;
        bufferStart += buffer.size();
        buffer.clear();
        return true;
    }
    bool write(const char* bytes, std::size_t length) {
        const std::uint64_t bufferEnd = bufferStart + buffer.size();
        if (offset < bufferStart || offset > bufferEnd) {
            if (offset + length <= bufferStart) return writeAt(offset, bytes, length);  // before the buffer
            if (!flush()) return false;
            bufferStart = offset;
        }
        const std::size_t at = static_cast<std::size_t>(offset - bufferStart);
        const std::size_t overlap = std::min(length, buffer.size() - at);
        std::memcpy(buffer.data() + at, bytes, overlap);
        buffer.append(bytes + overlap, length - overlap);
        return true;
    }
};

zip_int64_t targetCallback(void* user, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* target = static_cast<FileTarget*>(user);
    constexpr std::size_t kBlock = 1 << 20;
    switch (command) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_READ:  // nothing to read: the archive is new
        case ZIP_SOURCE_TELL:
        case ZIP_SOURCE_FREE:
        case ZIP_SOURCE_REMOVE:
        case ZIP_SOURCE_ROLLBACK_WRITE: return 0;
        case ZIP_SOURCE_SEEK: return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &target->error);
            if (!stat) return -1;
            zip_stat_init(stat);
            stat->valid = ZIP_STAT_SIZE;
            stat->size = 0;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_BEGIN_WRITE:
            target->offset = target->size = target->bufferStart = 0;
            target->buffer.clear();
            return 0;
        case ZIP_SOURCE_WRITE: {
            // A full buffer is written out when libzip starts on new data, not while it may
            // still go back into it; what lies before the buffer is written directly.
            if (target->buffer.size() >= kBlock && target->offset == target->bufferStart + target->buffer.size() &&
                !target->flush())
                return -1;
            if (!target->write(static_cast<const char*>(data), length)) return -1;
            target->offset += length;
            target->size = std::max(target->size, target->offset);
            return static_cast<zip_int64_t>(length);
        }
        case ZIP_SOURCE_SEEK_WRITE: {
            const zip_int64_t to =
                zip_source_seek_compute_offset(target->offset, target->size, data, length, &target->error);
            if (to < 0) return -1;
            target->offset = static_cast<std::uint64_t>(to);
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE: return static_cast<zip_int64_t>(target->offset);
        case ZIP_SOURCE_COMMIT_WRITE: return target->flush() ? 0 : -1;
        case ZIP_SOURCE_ERROR: return zip_error_to_data(&target->error, data, length);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE,
                ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE,
                ZIP_SOURCE_REMOVE, -1);
        default:
            zip_error_set(&target->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

class ZipError {
public:
    ZipError() { zip_error_init(&error_); }
    ~ZipError() { zip_error_fini(&error_); }
    zip_error_t* get() { return &error_; }
    std::string text() { return zip_error_strerror(&error_); }

private:
    zip_error_t error_;
};

}  // namespace

void writeZip(int fd, const std::string& path, const std::vector<ZipEntry>& entries, DosTime time,
              const ScratchFile* scratch) {
    FileTarget target(fd);
    ScratchReader reader{};
    reader.file = scratch;
    ZipError error;
    zip_source_t* destination = zip_source_function_create(targetCallback, &target, error.get());
    if (!destination) throw FileError(FailureKind::CannotWrite, path, "cannot write the archive: " + error.text());
    zip_t* archive = zip_open_from_source(destination, ZIP_TRUNCATE, error.get());
    if (!archive) {
        zip_source_free(destination);
        throw FileError(FailureKind::CannotWrite, path, "cannot write the archive: " + error.text());
    }
    struct Discarded {
        zip_t* archive;
        ~Discarded() {
            if (archive) zip_discard(archive);
        }
    } open{archive};
    auto fail = [&](const char* what) {
        throw FileError(FailureKind::CannotWrite, path,
                        std::string("cannot write the archive: ") + what + ": " + zip_strerror(archive));
    };
    // libzip keeps entry times as local time and converts them back to DOS
    // fields when it writes: a local time whose fields are the DOS time's
    // comes out as that DOS time -- in every time zone, but for an hour that
    // a change to summer time skips there. (Converted once here: each
    // conversion looks at the time zone file again.)
    std::tm fields{};
    fields.tm_year = 80 + (time.date >> 9);
    fields.tm_mon = ((time.date >> 5) & 0x0F) - 1;
    fields.tm_mday = time.date & 0x1F;
    fields.tm_hour = time.time >> 11;
    fields.tm_min = (time.time >> 5) & 0x3F;
    fields.tm_sec = 2 * (time.time & 0x1F);
    fields.tm_isdst = -1;
    const std::time_t modified = std::mktime(&fields);
    for (const ZipEntry& entry : entries) {
        if (!entry.chunk && !scratch) throw std::logic_error("an entry in a scratch file not given");
        auto* entrySource = new EntrySource(entry, reader);
        zip_source_t* source = zip_source_function(archive, entryCallback, entrySource);
        if (!source) {
            delete entrySource;
            fail("cannot add an entry");
        }
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, 0);
        if (index < 0) {
            zip_source_free(source);
            fail("cannot add an entry");
        }
        const auto at = static_cast<zip_uint64_t>(index);
        if (zip_set_file_compression(archive, at, entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) != 0 ||
            zip_file_set_mtime(archive, at, modified, 0) != 0)
            fail("cannot set an entry's details");
    }
    if (zip_close(archive) != 0) {
        if (reader.failure) std::rethrow_exception(reader.failure);
        if (target.writeErrno != 0) throw FileError(FailureKind::CannotWrite, path, "cannot write", target.writeErrno);
        fail("cannot finish");
    }
    open.archive = nullptr;
}

}  // namespace quenlet::formats
