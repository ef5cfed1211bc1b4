#include "tidy/sequence.h"

#include <algorithm>

namespace quenlet::tidy {
namespace {

// How far back a step may reach, in candidates of the form: enough to pass
// over the lists and stray lines of one chapter, few enough to stay linear.
constexpr std::size_t kLookBack = 64;

// A step that skips numbers costs a little, so that of two runs of equal
// length the one without holes wins.
constexpr double kGapCost = 0.02;
// A number given twice counts for less than a new one.
constexpr double kRepeatShare = 0.3;
// The largest step a line that does not look like a heading may take.
constexpr std::int64_t kLeastPlainStep = 3;

bool restartBetween(const std::vector<Count>& restarts, Count from, Count to) {
    const auto it = std::upper_bound(restarts.begin(), restarts.end(), from);
    return it != restarts.end() && *it < to;
}

}  // namespace

SequenceResult longestSequence(const std::vector<NumberedCandidate>& candidates, const std::vector<Count>& restarts) {
    const std::size_t n = candidates.size();
    std::vector<double> best(n, 0);
    std::vector<std::size_t> previous(n, n);
    std::size_t bestEnd = n;
    for (std::size_t i = 0; i < n; ++i) {
        const NumberedCandidate& c = candidates[i];
        best[i] = c.weight;
        for (std::size_t back = 1; back <= kLookBack && back <= i; ++back) {
            const std::size_t j = i - back;
            const NumberedCandidate& p = candidates[j];
            const std::int64_t step = c.number - p.number;
            // (a line that does not look like a heading alone only goes on
            // by a step or two, or starts again after a volume)
            double score;
            if (step >= 1 && step <= (c.plain ? kMaxGap : kLeastPlainStep))
                score = best[j] + c.weight - kGapCost * static_cast<double>(step - 1);
            else if (step == 0 && c.plain) score = best[j] + c.weight * kRepeatShare;
            else if (c.number <= 1 && restartBetween(restarts, p.line, c.line)) score = best[j] + c.weight;
            else continue;
            if (score > best[i]) {
                best[i] = score;
                previous[i] = j;
            }
        }
        if (bestEnd == n || best[i] > best[bestEnd]) bestEnd = i;
    }
    SequenceResult result;
    if (bestEnd == n) return result;
    result.weight = best[bestEnd];
    for (std::size_t i = bestEnd; i != n; i = previous[i]) result.members.push_back(i);
    std::reverse(result.members.begin(), result.members.end());
    return result;
}

NumberingNotes notesOnNumbering(const std::vector<std::int64_t>& numbers, const std::vector<bool>& restarts) {
    NumberingNotes notes;
    // Each volume's numbering on its own: chapters start again at 1 in each.
    for (std::size_t begin = 0; begin < numbers.size();) {
        std::size_t end = begin + 1;
        while (end < numbers.size() && !(end < restarts.size() && restarts[end])) ++end;
        std::vector<std::int64_t> seen(numbers.begin() + static_cast<std::ptrdiff_t>(begin),
                                       numbers.begin() + static_cast<std::ptrdiff_t>(end));
        for (std::size_t i = begin + 1; i < end; ++i)
            if (numbers[i] < numbers[i - 1]) notes.backwards.push_back(numbers[i - 1]);
        std::sort(seen.begin(), seen.end());
        for (std::size_t i = 1; i < seen.size(); ++i) {
            if (seen[i] == seen[i - 1]) {
                if (notes.repeated.empty() || notes.repeated.back() != seen[i] || i < 2 || seen[i - 2] != seen[i])
                    notes.repeated.push_back(seen[i]);
            } else if (seen[i] - seen[i - 1] <= kMaxGap) {
                for (std::int64_t missing = seen[i - 1] + 1; missing < seen[i]; ++missing) notes.missing.push_back(missing);
            }
        }
        begin = end;
    }
    return notes;
}

}  // namespace quenlet::tidy
