// An output file that appears only once it is complete, for any writer: the
// text writer and any other format write their bytes to fd() and commit().
#pragma once

#include <sys/types.h>

#include <string>

#include "files/file_location.h"
#include "files/temporary_files.h"

namespace quenlet {

// What an output takes from the source it is made from: the permission bits
// (those of the source less the umask, as a copy made with cp has them, and
// never readable by a group the source is not readable by) and the identity
// of the source, which the output must never replace.
struct SourceIdentity {
    std::string path;  // for messages
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0666;
    gid_t group = 0;
    static SourceIdentity of(const struct stat& status, std::string path);
};

// An output file written under a temporary name in the target's folder and
// renamed over the target by commit(). Until then the target is untouched; if
// the object is destroyed without a commit the temporary file is removed, and
// the registry of temporary files removes it on an interrupting signal too.
class AtomicOutputFile {
public:
    // `source`, when given, sets the permission bits and is protected (see
    // SourceIdentity); without it the file gets 0666 less the umask.
    explicit AtomicOutputFile(FileLocation target, const SourceIdentity* source = nullptr);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Throws FileError when `target` is the source itself (the same file
    // through a link): replacing it would destroy the source.
    static void refuseToReplace(const FileLocation& target, const SourceIdentity& source);

    // Throws the FileError that commit() would meet for a target that cannot
    // be replaced by a file (a folder has its name): for outputs put in
    // place together, so that a second one cannot fail after the first.
    void checkReplaceable() const;

    int fd() const { return fd_; }
    const std::string& path() const { return target_.path; }
    // Makes the written bytes durable and closes the temporary file, so that a
    // file waiting for its commit holds no descriptor. commit() does this
    // itself when it has not been done.
    void finishWriting();
    // Renames the file over the target and makes the rename durable; with
    // syncFolder false the caller syncs target folder itself (once for many
    // renames) before it reports the file as done.
    void commit(bool syncFolder = true);

private:
    FileLocation target_;
    std::string temporaryName_;
    TemporaryRegistration registration_;
    bool protectSource_ = false;
    SourceIdentity source_;
    int fd_ = -1;
};

}  // namespace quenlet
