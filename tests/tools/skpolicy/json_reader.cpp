#include "json_reader.h"

#include <cstdlib>
#include <cstring>

namespace {

class Reader {
public:
    explicit Reader(const std::string& s) : m_s(s) {}

    bool document(Json& v)
    {
        if (!value(v))
            return false;
        space();
        return m_i == m_s.size();
    }
    size_t at() const { return m_i; }

private:
    void space()
    {
        while (m_i < m_s.size() && std::strchr(" \t\r\n", m_s[m_i]) != nullptr && m_s[m_i] != '\0')
            ++m_i;
    }
    bool eat(char c)
    {
        space();
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }
    bool word(const char* w)
    {
        const size_t n = std::strlen(w);
        if (m_s.compare(m_i, n, w) != 0)
            return false;
        m_i += n;
        return true;
    }
    static void utf8(unsigned cp, std::string& out)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool hex4(unsigned& cp)
    {
        if (m_i + 4 > m_s.size())
            return false;
        cp = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = m_s[m_i++];
            cp <<= 4;
            if (c >= '0' && c <= '9')
                cp |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                cp |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                cp |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool string(std::string& out)
    {
        if (!eat('"'))
            return false;
        out.clear();
        while (m_i < m_s.size()) {
            const char c = m_s[m_i++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size())
                return false;
            const char e = m_s[m_i++];
            const char* const kFrom = "\"\\/bfnrt";
            const char* const kTo = "\"\\/\b\f\n\r\t";
            const char* p = std::strchr(kFrom, e);
            if (e != 'u' && (p == nullptr || e == '\0'))
                return false;
            if (e != 'u') {
                out += kTo[p - kFrom];
                continue;
            }
            unsigned cp = 0;
            if (!hex4(cp))
                return false;
            if (cp >= 0xD800 && cp < 0xDC00) {
                unsigned low = 0;
                if (!word("\\u") || !hex4(low) || low < 0xDC00 || low >= 0xE000)
                    return false;
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
            utf8(cp, out);
        }
        return false;
    }
    bool number(double& d)
    {
        const size_t start = m_i;
        if (m_i < m_s.size() && m_s[m_i] == '-')
            ++m_i;
        const size_t digits = m_i;
        while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
            ++m_i;
        if (m_i == digits || (m_s[digits] == '0' && m_i > digits + 1))
            return false;
        if (m_i < m_s.size() && m_s[m_i] == '.') {
            const size_t fraction = ++m_i;
            while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
                ++m_i;
            if (m_i == fraction)
                return false;
        }
        if (m_i < m_s.size() && (m_s[m_i] == 'e' || m_s[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_s.size() && (m_s[m_i] == '+' || m_s[m_i] == '-'))
                ++m_i;
            const size_t exponent = m_i;
            while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
                ++m_i;
            if (m_i == exponent)
                return false;
        }
        d = std::strtod(m_s.substr(start, m_i - start).c_str(), nullptr);
        return true;
    }
    bool value(Json& v)
    {
        space();
        if (m_i >= m_s.size())
            return false;
        const char c = m_s[m_i];
        if (c == '{') {
            v.kind = Json::kObject;
            ++m_i;
            if (eat('}'))
                return true;
            do {
                std::pair<std::string, Json> member;
                if (!string(member.first) || !eat(':') || !value(member.second))
                    return false;
                v.members.push_back(member);
            } while (eat(','));
            return eat('}');
        }
        if (c == '[') {
            v.kind = Json::kArray;
            ++m_i;
            if (eat(']'))
                return true;
            do {
                Json item;
                if (!value(item))
                    return false;
                v.items.push_back(item);
            } while (eat(','));
            return eat(']');
        }
        if (c == '"') {
            v.kind = Json::kString;
            return string(v.text);
        }
        if (word("true") || word("false")) {
            v.kind = Json::kBool;
            v.boolean = m_s[m_i - 1] == 'e' && m_s[m_i - 2] == 'u';
            return true;
        }
        if (word("null")) {
            v.kind = Json::kNull;
            return true;
        }
        v.kind = Json::kNumber;
        return number(v.number);
    }

    const std::string& m_s;
    size_t m_i = 0;
};

} // namespace

const Json& Json::operator[](const std::string& name) const
{
    static const Json kNone;
    for (const auto& m : members)
        if (m.first == name)
            return m.second;
    return kNone;
}

bool Json::has(const std::string& name) const
{
    for (const auto& m : members)
        if (m.first == name)
            return true;
    return false;
}

bool parseJson(const std::string& text, Json& value, size_t* pAt)
{
    Reader reader(text);
    value = Json();
    const bool ok = reader.document(value);
    if (pAt != nullptr)
        *pAt = reader.at();
    return ok;
}
