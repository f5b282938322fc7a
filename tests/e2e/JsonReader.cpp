#include "JsonReader.h"

#include <cctype>
#include <cstdlib>

namespace tamblor::test {
namespace {

class Reader {
  public:
    explicit Reader(const std::string& text) : m_text(text) {}

    std::optional<JsonValue> Document() {
        auto value = Value();
        Blank();
        if (!value || m_at != m_text.size()) return std::nullopt;
        return value;
    }

  private:
    void Blank() {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
    }
    bool Take(char c) {
        Blank();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_at, w.size(), w) != 0) return false;
        m_at += w.size();
        return true;
    }

    std::optional<std::string> String() {
        if (!Take('"')) return std::nullopt;
        std::string text;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return text;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (m_at >= m_text.size()) return std::nullopt;
            const char e = m_text[m_at++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    text += e;
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 't':
                    text += '\t';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case 'b':
                    text += '\b';
                    break;
                case 'f':
                    text += '\f';
                    break;
                case 'u': {
                    if (m_at + 4 > m_text.size()) return std::nullopt;
                    const auto code = std::strtoul(m_text.substr(m_at, 4).c_str(), nullptr, 16);
                    m_at += 4;
                    // The tool escapes single bytes only (Latin-1 code points).
                    text += static_cast<char>(code & 0xFF);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<JsonValue> Value() {
        Blank();
        if (m_at >= m_text.size()) return std::nullopt;
        const char c = m_text[m_at];
        JsonValue value;
        if (c == '{') {
            ++m_at;
            auto object = std::make_shared<JsonValue::Object>();
            if (!Take('}')) {
                do {
                    Blank();
                    auto name = String();
                    if (!name || !Take(':')) return std::nullopt;
                    auto member = Value();
                    if (!member) return std::nullopt;
                    (*object)[*name] = *member;
                } while (Take(','));
                if (!Take('}')) return std::nullopt;
            }
            value.value = object;
        } else if (c == '[') {
            ++m_at;
            auto array = std::make_shared<JsonValue::Array>();
            if (!Take(']')) {
                do {
                    auto item = Value();
                    if (!item) return std::nullopt;
                    array->push_back(*item);
                } while (Take(','));
                if (!Take(']')) return std::nullopt;
            }
            value.value = array;
        } else if (c == '"') {
            auto text = String();
            if (!text) return std::nullopt;
            value.value = *text;
        } else if (Word("true")) {
            value.value = true;
        } else if (Word("false")) {
            value.value = false;
        } else if (Word("null")) {
            value.value = nullptr;
        } else {
            const char* begin = m_text.c_str() + m_at;
            char* end = nullptr;
            const double number = std::strtod(begin, &end);
            if (end == begin) return std::nullopt;
            m_at += static_cast<std::size_t>(end - begin);
            value.value = number;
        }
        return value;
    }

    const std::string& m_text;
    std::size_t m_at = 0;
};

}  // namespace

const JsonValue* JsonValue::Member(const std::string& name) const {
    const Object* object = AsObject();
    if (object == nullptr) return nullptr;
    const auto it = object->find(name);
    return it == object->end() ? nullptr : &it->second;
}

std::string JsonValue::Text(const std::string& name) const {
    const JsonValue* member = Member(name);
    const std::string* text = member != nullptr ? member->String() : nullptr;
    return text != nullptr ? *text : std::string();
}

std::optional<JsonValue> ParseJson(const std::string& text) { return Reader(text).Document(); }

}  // namespace tamblor::test
