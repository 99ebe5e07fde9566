// A strict JSON syntax check for the tests and the fuzz target: objects, arrays, strings with
// their escapes, numbers, true, false and null, nothing after the value, bounded nesting.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

namespace json_check {

class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}
    // Empty when `text` is one JSON value, else what is wrong and where.
    std::string Check() {
        Space();
        if (!Value(0)) return Error();
        Space();
        if (m_at != m_text.size()) return "text after the value at " + std::to_string(m_at);
        return std::string();
    }

private:
    std::string Error() const { return "not JSON at " + std::to_string(m_at); }
    bool More() const { return m_at < m_text.size(); }
    char Peek() const { return More() ? m_text[m_at] : '\0'; }
    void Space() {
        while (More() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++m_at;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_at, w.size(), w) != 0) return false;
        m_at += w.size();
        return true;
    }
    bool Value(int depth) {
        if (depth > 64) return false;
        switch (Peek()) {
            case '{': return Composite(depth, '}', true);
            case '[': return Composite(depth, ']', false);
            case '"': return String();
            case 't': return Literal("true");
            case 'f': return Literal("false");
            case 'n': return Literal("null");
            default: return Number();
        }
    }
    bool Composite(int depth, char close, bool object) {
        ++m_at;
        Space();
        if (Peek() == close) {
            ++m_at;
            return true;
        }
        for (;;) {
            if (object) {
                if (!String()) return false;
                Space();
                if (Peek() != ':') return false;
                ++m_at;
                Space();
            }
            if (!Value(depth + 1)) return false;
            Space();
            if (Peek() == close) {
                ++m_at;
                return true;
            }
            if (Peek() != ',') return false;
            ++m_at;
            Space();
        }
    }
    bool String() {
        if (Peek() != '"') return false;
        for (++m_at; More(); ++m_at) {
            const unsigned char c = static_cast<unsigned char>(m_text[m_at]);
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (c < 0x20) return false;
            if (c != '\\') continue;
            ++m_at;
            const char e = Peek();
            if (e == 'u') {
                for (int k = 0; k < 4; ++k) {
                    ++m_at;
                    if (!std::isxdigit(static_cast<unsigned char>(Peek()))) return false;
                }
            } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos || e == '\0') {
                return false;
            }
        }
        return false;
    }
    bool Digits() {
        const size_t from = m_at;
        while (More() && Peek() >= '0' && Peek() <= '9') ++m_at;
        return m_at > from;
    }
    bool Number() {
        if (Peek() == '-') ++m_at;
        if (Peek() == '0')
            ++m_at;
        else if (!Digits())
            return false;
        if (Peek() == '.') {
            ++m_at;
            if (!Digits()) return false;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++m_at;
            if (Peek() == '+' || Peek() == '-') ++m_at;
            if (!Digits()) return false;
        }
        return true;
    }

    const std::string& m_text;
    size_t m_at = 0;
};

inline std::string Check(const std::string& text) { return Parser(text).Check(); }

}  // namespace json_check
