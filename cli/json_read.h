// A strict JSON reader: objects, arrays, strings with their escapes, numbers, true, false and
// null, nothing after the value, bounded nesting. orveldump reads summaries back with it; the
// tests and the fuzz target use it to check that what orveldump writes is JSON.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool boolean = false;
    double number = 0;
    std::string text;  // a string's UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // The first member of that name, or null.
    const JsonValue* Member(const char* key) const;
};

// Reads `text` as one JSON value into `value`; false, with what is wrong and where in `error`,
// when it is not.
bool ReadJson(const std::string& text, JsonValue& value, std::string& error);
