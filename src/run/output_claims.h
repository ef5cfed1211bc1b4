// The outputs of a run of several files, by folder and name. A source whose
// output would have the name of an output of another source earlier in the
// run -- a.txt and a.TXT both make the book kovra-a.epub, and so do
// `--epub a.txt a` -- is refused with a failure naming both, so that no book
// silently replaces another made a moment before. The source first in the
// run's order keeps the name whether its own run succeeds or not, so that
// which file fails never depends on how the files were shared out among jobs.
#pragma once

#include <sys/types.h>

#include <compare>
#include <map>
#include <optional>
#include <string>

#include "files/file_error.h"
#include "files/file_location.h"
#include "run/file_run.h"

namespace quenlet {

class OutputClaims {
public:
    // Claims the names of the outputs `settings` make for `source`: the
    // failure (OutputNameTaken, naming `source`) when one of them is already
    // another source's, and then nothing is claimed. The same source given
    // again claims nothing new.
    std::optional<FileError> claim(const FileLocation& source, const FileRunSettings& settings);
    // The same for a source given by its path. A source whose folder cannot
    // be looked at claims nothing: its run reports why.
    std::optional<FileError> claim(const std::string& sourcePath, const FileRunSettings& settings);

private:
    struct Name {
        dev_t device;
        ino_t folder;
        std::string name;
        auto operator<=>(const Name&) const = default;
    };
    struct Owner {
        std::string sourceName;  // in the same folder
        std::string sourcePath;
        bool book;
    };
    std::optional<FileError> claim(dev_t device, ino_t folder, const std::string& folderPath,
                                   const std::string& sourceName, const std::string& sourcePath,
                                   const FileRunSettings& settings);

    std::map<Name, Owner> owners_;
};

}  // namespace quenlet
