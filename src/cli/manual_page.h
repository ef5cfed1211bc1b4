// The manual pages of quenlet-cli and of the window, in roff, made when the
// programs are built: the command line's options come from the option table
// and the parser's own flags, as its help does, so that the page and the help
// cannot tell different stories.
#pragma once

#include <string>
#include <string_view>

namespace quenlet::cli {

struct ManualDetails {
    std::string_view version;    // "1.0"
    std::string_view rulesFile;  // where the tidy rules file is installed
};

std::string cliManualPage(const ManualDetails& details);
std::string windowManualPage(const ManualDetails& details);

// A text as roff shows it on a line of its own: backslashes and hyphens
// escaped (a hyphen stays a hyphen-minus, so options can be copied from the
// page), characters beyond ASCII as \[uXXXX], line breaks as spaces, and a
// leading "." or "'" kept from being read as a request.
std::string roffText(std::string_view text);

}  // namespace quenlet::cli
