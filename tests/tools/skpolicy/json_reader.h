// A small JSON reader for checking what skpolicy prints: the whole text must be one JSON value.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = kNull;
    bool boolean = false;
    double number = 0;
    std::string text; // UTF-8
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    // The member with the name; a null value when there is none.
    const Json& operator[](const std::string& name) const;
    bool has(const std::string& name) const;
};

// False (with the offset of the fault in *pAt) when the text is not exactly one JSON value.
bool parseJson(const std::string& text, Json& value, size_t* pAt = nullptr);
