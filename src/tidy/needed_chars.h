// Which characters a pattern's every match must contain, read from the
// pattern's text: 本章字数 ?[:：] needs 字 and 数; (?:扫描|录入)员 needs 描 or 入,
// and 员. A line without them cannot match, so the pattern is not run on it --
// which spares most lines of a novel every junk pattern.
#pragma once

#include <optional>
#include <vector>

#include "text/text.h"

namespace quenlet::tidy {

// Two sets of characters: every match of the pattern contains one of the
// first and one of the second (the two may be the same set).
struct NeededCharacters {
    std::vector<char16_t> first;
    std::vector<char16_t> second;
    bool operator==(const NeededCharacters&) const = default;
};

// The two smallest such sets this reading finds; nothing when the pattern
// can match without any particular character, or uses a form this reading
// does not follow (the pattern is then simply always run).
std::optional<NeededCharacters> neededCharacters(TextView pattern);

}  // namespace quenlet::tidy
