#include "strict_json.h"

#include <vector>

namespace StrictJson {

namespace {

class Reader
{
public:
    explicit Reader(QByteArrayView text) : m_p(reinterpret_cast<const unsigned char *>(text.data())), m_end(m_p + text.size()) { }

    bool atEnd() const { return m_p == m_end; }
    int peek() const { return m_p < m_end ? *m_p : -1; }
    void advance() { ++m_p; }

    void skipWhitespace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }

    bool consume(char c)
    {
        if (peek() != static_cast<unsigned char>(c))
            return false;
        ++m_p;
        return true;
    }

    bool literal(const char *word)
    {
        for (; *word; ++word) {
            if (!consume(*word))
                return false;
        }
        return true;
    }

    // At the opening quote.
    bool string()
    {
        ++m_p;
        while (m_p < m_end) {
            const unsigned char b = *m_p;
            if (b == '"') {
                ++m_p;
                return true;
            }
            if (b < 0x20)
                return false;
            if (b == '\\') {
                if (!escape())
                    return false;
            } else if (b < 0x80) {
                ++m_p;
            } else if (!utf8Sequence()) {
                return false;
            }
        }
        return false;
    }

    bool number()
    {
        consume('-');
        if (consume('0')) {
        } else if (isOneToNine(peek())) {
            digits();
        } else {
            return false;
        }
        if (consume('.') && !digits())
            return false;
        if (consume('e') || consume('E')) {
            if (!consume('+'))
                consume('-');
            if (!digits())
                return false;
        }
        return true;
    }

private:
    static bool isDigit(int c) { return c >= '0' && c <= '9'; }
    static bool isOneToNine(int c) { return c >= '1' && c <= '9'; }

    // One or more.
    bool digits()
    {
        const unsigned char *start = m_p;
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
        return m_p != start;
    }

    int hexValue(int c) const
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // After "\u": four hex digits.
    int hexQuad()
    {
        if (m_end - m_p < 4)
            return -1;
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = hexValue(m_p[i]);
            if (h < 0)
                return -1;
            value = value * 16 + h;
        }
        m_p += 4;
        return value;
    }

    // At the backslash.
    bool escape()
    {
        ++m_p;
        const int c = peek();
        if (c < 0)
            return false;
        ++m_p;
        switch (c) {
        case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
            return true;
        case 'u': {
            const int unit = hexQuad();
            if (unit < 0)
                return false;
            if (unit >= 0xDC00 && unit <= 0xDFFF)
                return false; // a low surrogate with no high one before it
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                if (!consume('\\') || !consume('u'))
                    return false;
                const int low = hexQuad();
                return low >= 0xDC00 && low <= 0xDFFF;
            }
            return true;
        }
        default:
            return false;
        }
    }

    // At a lead byte >= 0x80: one well-formed UTF-8 sequence (Unicode
    // Table 3-7), so no overlong forms, no surrogates, nothing past U+10FFFF.
    bool utf8Sequence()
    {
        const unsigned char lead = *m_p;
        int trailing = 0;
        unsigned char lo = 0x80, hi = 0xBF; // bounds of the first trailing byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailing = 2;
            if (lead == 0xE0)
                lo = 0xA0;
            else if (lead == 0xED)
                hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailing = 3;
            if (lead == 0xF0)
                lo = 0x90;
            else if (lead == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (m_end - m_p <= trailing)
            return false;
        ++m_p;
        for (int i = 0; i < trailing; ++i, ++m_p) {
            const unsigned char b = *m_p;
            if (b < lo || b > hi)
                return false;
            lo = 0x80;
            hi = 0xBF;
        }
        return true;
    }

    const unsigned char *m_p;
    const unsigned char *m_end;
};

enum class Container : char { Object, Array };

} // namespace

TopLevel check(QByteArrayView utf8, int maxDepth)
{
    Reader in(utf8);
    std::vector<Container> open; // the explicit stack that replaces recursion
    open.reserve(64);
    TopLevel top = TopLevel::Invalid;

    // Expects a member name, the colon and the whitespace before its value.
    auto memberName = [&in]() {
        if (in.peek() != '"' || !in.string())
            return false;
        in.skipWhitespace();
        if (!in.consume(':'))
            return false;
        in.skipWhitespace();
        return true;
    };

    in.skipWhitespace();
    for (;;) {
        // A value starts here.
        const int c = in.peek();
        TopLevel kind = TopLevel::Invalid;
        bool closedAtOnce = false;
        if (c == '{' || c == '[') {
            if (static_cast<int>(open.size()) >= maxDepth)
                return TopLevel::Invalid;
            const bool object = c == '{';
            kind = object ? TopLevel::Object : TopLevel::Array;
            in.advance();
            in.skipWhitespace();
            if (in.consume(object ? '}' : ']')) {
                closedAtOnce = true;
            } else {
                open.push_back(object ? Container::Object : Container::Array);
                if (object && !memberName())
                    return TopLevel::Invalid;
            }
        } else if (c == '"') {
            kind = TopLevel::String;
            if (!in.string())
                return TopLevel::Invalid;
            closedAtOnce = true;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            kind = TopLevel::Number;
            if (!in.number())
                return TopLevel::Invalid;
            closedAtOnce = true;
        } else if (c == 't' || c == 'f' || c == 'n') {
            kind = TopLevel::Literal;
            if (!in.literal(c == 't' ? "true" : c == 'f' ? "false" : "null"))
                return TopLevel::Invalid;
            closedAtOnce = true;
        } else {
            return TopLevel::Invalid;
        }
        if (top == TopLevel::Invalid)
            top = kind;
        if (!closedAtOnce)
            continue; // the container's first element follows

        // A value ended: close containers, or move to the next element.
        for (;;) {
            in.skipWhitespace();
            if (open.empty())
                return in.atEnd() ? top : TopLevel::Invalid;
            const Container inner = open.back();
            if (in.consume(',')) {
                in.skipWhitespace();
                if (inner == Container::Object && !memberName())
                    return TopLevel::Invalid;
                break;
            }
            if (!in.consume(inner == Container::Object ? '}' : ']'))
                return TopLevel::Invalid;
            open.pop_back();
        }
    }
}

} // namespace StrictJson
