// What stopped a file, as a kind that front ends can put in their own words.
// The engine's messages (FileError::what(), FileRunResult::error) are the
// command line's English; a window in another language reads the kind, the
// file it concerns and the system's error number instead (FailureCause,
// files/file_error.h), and phrases each from a table of its own.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quenlet {

enum class FailureKind : std::uint8_t {
    None,                     // no failure
    CannotOpen,               // a source (or the folder it is in) could not be opened
    IsDirectory,              // a source is a folder
    NotRegularFile,           // a source is a device, a FIFO or a socket
    CannotListFolder,         // a batch's folder could not be opened or listed
    FolderReplacedByLink,     // a batch's sub-folder turned into a link after it was listed
    CannotRead,               // reading a source failed
    ChangedWhileRead,         // a source changed while it was being read
    CannotCreateOutput,       // the output's temporary file could not be made
    TooManyTemporaryFiles,    // more outputs under way at once than the process can keep track of
    CannotWrite,              // writing the output (or making it durable) failed
    CannotReplaceOutput,      // the finished output could not be renamed over its name
    WouldReplaceSource,       // the output's name is the source itself, through a link
    Unencodable,              // a character the output encoding cannot hold
    OutOfMemory,
    Interrupted,              // the process is ending on a signal
    CannotMakeTemporaryCopy,  // standard input or output could not be held in a temporary file
    EncodingUnavailable,      // the C library cannot convert an encoding
    ConversionUnavailable,    // a simplified/traditional conversion could not be loaded
    CannotStart,              // no thread could be started for the run
    UnsupportedEncoding,      // a source reads as Chinese in no supported encoding
    OutputNameTaken,          // an output's name is that of an output of another source earlier in the run
    Other,                    // anything else; the English message is all there is
};

// A failure of something the engine needs besides the files themselves (a
// converter of the C library, a conversion's dictionaries); the file it
// stopped is named by whoever catches it.
class ResourceError : public std::runtime_error {
public:
    ResourceError(FailureKind kind, const std::string& message, int errorNumber = 0)
        : std::runtime_error(message), kind_(kind), errorNumber_(errorNumber) {}
    FailureKind kind() const { return kind_; }
    int errorNumber() const { return errorNumber_; }

private:
    FailureKind kind_;
    int errorNumber_;
};

}  // namespace quenlet
