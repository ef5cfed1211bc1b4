#include "cli/json_text.h"

#include <cstdio>

#include "text/utf8.h"

namespace quenlet::cli {

std::string jsonString(std::string_view bytes) {
    std::string out = "\"";
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    char hex[8];
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = data[i];
        if (b == '"' || b == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(b));
            ++i;
        } else if (b < 0x20) {
            std::snprintf(hex, sizeof hex, "\\u%04x", b);
            out += hex;
            ++i;
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
        } else {
            const Utf8Sequence seq = readUtf8Sequence(data + i, bytes.size() - i);
            if (seq.status == Utf8Sequence::Complete) {
                out.append(bytes.substr(i, seq.length));
                i += seq.length;
            } else {
                std::snprintf(hex, sizeof hex, "\\udc%02x", b);
                out += hex;
                ++i;
            }
        }
    }
    out.push_back('"');
    return out;
}

void writeJson(std::ostream& to, const Json& value) {
    if (value.is_object()) {
        to << '{';
        const char* separator = "";
        for (const auto& [key, member] : value.items()) {
            to << separator << jsonString(key) << ": ";
            writeJson(to, member);
            separator = ", ";
        }
        to << '}';
    } else if (value.is_array()) {
        to << '[';
        const char* separator = "";
        for (const Json& element : value) {
            to << separator;
            writeJson(to, element);
            separator = ", ";
        }
        to << ']';
    } else if (value.is_string()) {
        to << jsonString(value.get_ref<const std::string&>());
    } else {
        to << value.dump();  // numbers, true, false, null
    }
}

}  // namespace quenlet::cli
