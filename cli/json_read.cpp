#include "cli/json_read.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli/utf8.h"

const JsonValue* JsonValue::Member(const char* key) const {
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

namespace {

const int kMaxDepth = 64;

class Reader {
public:
    explicit Reader(const std::string& text) : m_text(text) {}

    bool Document(JsonValue& value) {
        Space();
        if (!Value(value, 0)) return false;
        Space();
        return m_at == m_text.size();
    }
    size_t Position() const { return m_at; }

private:
    bool More() const { return m_at < m_text.size(); }
    char Peek() const { return More() ? m_text[m_at] : '\0'; }
    void Space() {
        while (More() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++m_at;
    }
    bool Literal(const char* word) {
        const size_t length = std::strlen(word);
        if (m_text.compare(m_at, length, word) != 0) return false;
        m_at += length;
        return true;
    }
    bool Value(JsonValue& value, int depth) {
        if (depth > kMaxDepth) return false;
        switch (Peek()) {
            case '{': return Composite(value, depth, '}', true);
            case '[': return Composite(value, depth, ']', false);
            case '"': value.type = JsonValue::String; return String(value.text);
            case 't': value.type = JsonValue::Bool; value.boolean = true; return Literal("true");
            case 'f': value.type = JsonValue::Bool; return Literal("false");
            case 'n': return Literal("null");
            default: return Number(value);
        }
    }
    bool Composite(JsonValue& value, int depth, char close, bool object) {
        value.type = object ? JsonValue::Object : JsonValue::Array;
        ++m_at;
        Space();
        if (Peek() == close) {
            ++m_at;
            return true;
        }
        for (;;) {
            JsonValue* item = nullptr;
            if (object) {
                std::string key;
                if (!String(key)) return false;
                Space();
                if (Peek() != ':') return false;
                ++m_at;
                Space();
                value.members.emplace_back(std::move(key), JsonValue());
                item = &value.members.back().second;
            } else {
                value.items.emplace_back();
                item = &value.items.back();
            }
            if (!Value(*item, depth + 1)) return false;
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
    bool Hex4(uint32_t& code) {
        code = 0;
        for (int k = 0; k < 4; ++k) {
            ++m_at;
            const char c = Peek();
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return false;
            code = code * 16 + static_cast<uint32_t>(digit);
        }
        return true;
    }
    bool String(std::string& out) {
        if (Peek() != '"') return false;
        for (++m_at; More(); ++m_at) {
            const unsigned char c = static_cast<unsigned char>(m_text[m_at]);
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            ++m_at;
            switch (Peek()) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    uint32_t code = 0;
                    if (!Hex4(code)) return false;
                    char bytes[4];
                    out.append(bytes, static_cast<size_t>(EncodeUtf8(code, bytes) - bytes));
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool Digits() {
        const size_t from = m_at;
        while (More() && Peek() >= '0' && Peek() <= '9') ++m_at;
        return m_at > from;
    }
    bool Number(JsonValue& value) {
        const size_t from = m_at;
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
        value.type = JsonValue::Number;
        value.number = std::strtod(m_text.substr(from, m_at - from).c_str(), nullptr);
        return true;
    }

    const std::string& m_text;
    size_t m_at = 0;
};

}  // namespace

bool ReadJson(const std::string& text, JsonValue& value, std::string& error) {
    Reader reader(text);
    value = JsonValue();
    if (reader.Document(value)) return true;
    error = "not JSON at " + std::to_string(reader.Position());
    return false;
}
