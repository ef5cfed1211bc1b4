// The recursive walk of a batch: depth-first, in each folder first its files,
// then its sub-folders, each sorted by name bytes; a folder's entries are
// listed once before any of them is visited.
//
// Every folder is entered through the descriptor of the folder above it and
// never through a link, so a sub-folder swapped for a link between listing and
// entering is refused instead of followed, and paths of any length work.
// Whatever cannot be examined -- a folder that cannot be listed or entered, a
// file entry that cannot be looked at -- is reported, never passed over.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "files/file_error.h"
#include "files/file_location.h"
#include "run/output_names.h"

namespace quenlet {

struct WalkStep {
    enum Kind {
        TextFile,   // a ".txt" file that is not one of our outputs: `file`
        OtherFile,  // any other file entry
        Failure,    // a folder or file entry that could not be examined: `error`
    };
    Kind kind = OtherFile;
    FileLocation file;    // for TextFile
    std::string path;     // the entry's path, for messages
    std::string error;    // for Failure: "<path>: <reason>"
    bool folder = false;  // for Failure: the entry is a folder
    FailureCause cause;   // for Failure: its kind and details
};

class FolderWalk {
public:
    explicit FolderWalk(std::string folder);
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // The next step in walk order; false when the walk is over.
    bool next(WalkStep& step);

private:
    struct Level;
    void enter(std::shared_ptr<const OpenFolder> folder, WalkStep& failure, bool& failed);

    std::string top_;
    bool started_ = false;
    std::vector<std::unique_ptr<Level>> levels_;
};

}  // namespace quenlet
