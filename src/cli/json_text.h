// JSON as the command line prints it: nlohmann-json's ordered objects, so
// that the keys keep the order they were put in, written on one line with a
// space after each colon and comma. Strings are the bytes they hold: UTF-8
// where they can be, any other byte (of a file name that is not UTF-8) the
// escape \udcXX, so that a name is never altered.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <string_view>

namespace quenlet::cli {

using Json = nlohmann::ordered_json;

// A JSON string literal for bytes, escaped as above.
std::string jsonString(std::string_view bytes);

void writeJson(std::ostream& to, const Json& value);

}  // namespace quenlet::cli
