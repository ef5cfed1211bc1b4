// Loaded with LD_PRELOAD into quenlet-cli by the durability test: records, in
// order, every fsync (with the path of what was synced) and every rename into
// the file named by $QUENLET_SYNC_LOG, then does the real call.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string pathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "?";
}

void record(const std::string& line) {
    const char* log = std::getenv("QUENLET_SYNC_LOG");
    if (!log) return;
    const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string text = line + "\n";
    if (::write(fd, text.data(), text.size()) < 0) {
    }
    ::close(fd);
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    record("fsync " + pathOf(fd));
    return real<int (*)(int)>("fsync")(fd);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    record("rename " + pathOf(fromFolder) + "/" + from + " " + pathOf(toFolder) + "/" + to);
    return real<int (*)(int, const char*, int, const char*)>("renameat")(fromFolder, from, toFolder, to);
}

extern "C" int rename(const char* from, const char* to) {
    record(std::string("rename ") + from + " " + to);
    return real<int (*)(const char*, const char*)>("rename")(from, to);
}
