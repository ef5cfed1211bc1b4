// A book's heading numbers: among the lines of one form (第N章, N、 ...),
// those whose numbers run on through the book -- 1, 2, 3, with a chapter
// missing here and there, one repeated, a fresh start after a volume -- are
// its headings; a line of the form whose number breaks the run is text.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/document_state.h"

namespace quenlet::tidy {

struct NumberedCandidate {
    Count line = 0;           // the source line, counted from 0
    std::int64_t number = 0;
    double weight = 1;        // how much a place in the run counts: less for a line with no text after it
    // Whether the line looks like a heading on its own (short, no sentence in
    // it). One that does not -- a title run into its text, or a sentence that
    // starts with the form -- joins a run only as its next number or close to it.
    bool plain = true;
};

// Where the numbering may start again (a volume heading's line).
struct SequenceResult {
    std::vector<std::size_t> members;  // indexes into the candidates, in order
    double weight = 0;
};

// The run of numbers through the candidates (in line order) that weighs the
// most: each step goes forward by at most kMaxGap, stays (a chapter in two
// parts), or starts again at 1 where `restarts` (sorted line numbers) holds
// a line between the two. Linear in the candidates.
SequenceResult longestSequence(const std::vector<NumberedCandidate>& candidates, const std::vector<Count>& restarts);

inline constexpr std::int64_t kMaxGap = 20;

// What the numbering of the headings found shows: numbers missing between
// two that follow each other, numbers given twice, and steps back.
struct NumberingNotes {
    std::vector<std::int64_t> missing;
    std::vector<std::int64_t> repeated;
    std::vector<std::int64_t> backwards;  // the number after which the numbering stepped back
    bool operator==(const NumberingNotes&) const = default;
};
// `numbers` in their order in the book; `restarts[i]` true when a new volume begins before numbers[i].
NumberingNotes notesOnNumbering(const std::vector<std::int64_t>& numbers, const std::vector<bool>& restarts);

}  // namespace quenlet::tidy
