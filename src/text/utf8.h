// UTF-8, as option texts, file names and messages are written: reading one
// sequence, converting text from and to it strictly, and telling whether a
// byte stream is valid UTF-8 from end to end (the detector's question).
// Files in UTF-8 are read and written by the UTF-8 codec (utf8.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/text.h"

namespace quenlet {

// One UTF-8 sequence at the front of a byte range.
struct Utf8Sequence {
    enum Status { Complete, Invalid, Incomplete } status;
    int length;          // bytes taken when Complete
    char32_t codePoint;  // when Complete
};
Utf8Sequence readUtf8Sequence(const unsigned char* bytes, std::size_t available);

// Strict UTF-8 for option texts and messages: fromUtf8Strict fails on bytes
// that are not valid UTF-8; fromUtf8 throws std::invalid_argument instead.
bool fromUtf8Strict(std::string_view bytes, Text& out);
Text fromUtf8(std::string_view bytes);
// Escape units (undecodable bytes) become those bytes again; a lone
// surrogate is written in its three-byte form.
std::string toUtf8(TextView text);

// Incremental check that a byte stream is entirely valid UTF-8.
class Utf8Validator {
public:
    void feed(const unsigned char* bytes, std::size_t size);
    // True when everything fed so far, taken as the whole stream, is valid.
    bool finish() const { return valid_ && carried_ == 0; }
    bool stillValid() const { return valid_; }

private:
    bool valid_ = true;
    unsigned char carry_[4] = {};
    std::size_t carried_ = 0;
};

}  // namespace quenlet
