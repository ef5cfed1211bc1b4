// Where a file lives: an open folder and a name in it. Sources are opened and
// outputs created and renamed relative to the folder's descriptor, so a name
// higher up that is swapped for a link once the folder is open can never lead
// elsewhere, and paths of any length work. The path is kept for messages.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>

namespace quenlet {

class OpenFolder {
public:
    // The folder at `path`, following links as any path the user gives does.
    static std::shared_ptr<const OpenFolder> open(const std::string& path);
    // The folder at `path` opened for listing, following links as open()
    // does. Throws FileError naming `path`.
    static std::shared_ptr<const OpenFolder> openForListing(const std::string& path);
    // The sub-folder `name` of `parent`, opened for listing; a link is never
    // followed. Throws FileError naming the sub-folder.
    static std::shared_ptr<const OpenFolder> openChild(const OpenFolder& parent, const std::string& name);

    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // The path of an entry of this folder, for messages.
    std::string childPath(std::string_view name) const;
    // Makes the folder's entries (a rename into it) durable. Throws FileError
    // naming `pathForMessages` when the disk reports a failure.
    void sync(const std::string& pathForMessages) const;

private:
    OpenFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;  // "" for the working folder, else ending in '/'
};

struct FileLocation {
    std::shared_ptr<const OpenFolder> folder;
    std::string name;  // the file's name in the folder
    std::string path;  // the path as the user would name it, for messages

    // Opens the folder that holds `path`. Throws FileError naming `path`.
    static FileLocation ofPath(const std::string& path);
    // Another file of the same folder.
    FileLocation sibling(std::string otherName) const;
};

// Opens a source for reading only; refuses what is not a regular file (a
// folder, a FIFO, a device) without blocking on it. A link to a file is
// followed. `status` receives what the open descriptor refers to.
int openSourceFile(const FileLocation& file, struct stat& status);

}  // namespace quenlet
