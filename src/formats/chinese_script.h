// Whether a Chinese text is written in traditional or simplified characters,
// for the language of a book (zh-Hant or zh-Hans). Counts the characters of a
// fixed list of very common pairs that exist in one script only (這/这,
// 說/说, 們/们, ...); characters both scripts share tell nothing. The
// counting stops once enough of them are found to tell: a long book is not
// read to its end for it.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace quenlet::formats {

class ScriptTally {
public:
    static constexpr std::uint64_t kEnough = 20000;
    void add(TextView text);
    // Traditional when its characters outnumber the simplified ones; a text
    // with neither counts as simplified.
    bool traditional() const { return traditional_ > simplified_; }
    // Whether enough has been counted to tell: more text changes nothing.
    bool decided() const { return traditional_ + simplified_ >= kEnough; }
    std::uint64_t traditionalCount() const { return traditional_; }
    std::uint64_t simplifiedCount() const { return simplified_; }

private:
    std::uint64_t traditional_ = 0;
    std::uint64_t simplified_ = 0;
};

}  // namespace quenlet::formats
