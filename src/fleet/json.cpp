#include "fleet/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kMaxDepth = 64;

// Length of the valid UTF-8 sequence at the start of `s`, 0 when none is.
size_t utf8_sequence(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    if (s.empty()) return 0;
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;  // no overlong forms
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
    for (size_t i = 2; i < n; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF) return 0;
    }
    return n;
}

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

class parser {
  public:
    explicit parser(std::string_view text) : s_(text) {}

    json_value document() {
        json_value v = value(0);
        space();
        if (at_ < s_.size()) fail("text after the value");
        return v;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw json_error("JSON: " + what + " at byte " + std::to_string(at_));
    }

    void space() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
            ++at_;
    }

    bool take(char c) {
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    void expect(char c) {
        if (!take(c)) fail(std::string("'") + c + "' expected");
    }

    void word(std::string_view w) {
        if (s_.substr(at_, w.size()) != w) fail("unknown word");
        at_ += w.size();
    }

    json_value value(int depth) {
        if (depth >= kMaxDepth) fail("nesting deeper than 64");
        space();
        if (at_ >= s_.size()) fail("value expected");
        json_value v;
        switch (s_[at_]) {
            case '{':
                v.type = json_value::kind::object;
                object(v, depth);
                break;
            case '[':
                v.type = json_value::kind::array;
                array(v, depth);
                break;
            case '"':
                v.type = json_value::kind::string;
                v.text = string();
                break;
            case 't':
                word("true");
                v.type = json_value::kind::boolean;
                v.boolean = true;
                break;
            case 'f':
                word("false");
                v.type = json_value::kind::boolean;
                break;
            case 'n':
                word("null");
                break;
            default:
                v.type = json_value::kind::number;
                v.text = number();
        }
        return v;
    }

    void object(json_value& v, int depth) {
        expect('{');
        space();
        if (take('}')) return;
        for (;;) {
            space();
            if (at_ >= s_.size() || s_[at_] != '"') fail("member name expected");
            std::string name = string();
            if (v.find(name)) fail("duplicate member \"" + name + "\"");
            space();
            expect(':');
            json_value member = value(depth + 1);
            v.members.push_back({std::move(name), std::move(member)});
            space();
            if (take('}')) return;
            expect(',');
        }
    }

    void array(json_value& v, int depth) {
        expect('[');
        space();
        if (take(']')) return;
        for (;;) {
            v.items.push_back(value(depth + 1));
            space();
            if (take(']')) return;
            expect(',');
        }
    }

    uint32_t hex4() {
        if (at_ + 4 > s_.size()) fail("short \\u escape");
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[at_++];
            n <<= 4;
            if (c >= '0' && c <= '9') {
                n |= uint32_t(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                n |= uint32_t(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                n |= uint32_t(c - 'A' + 10);
            } else {
                fail("bad \\u escape");
            }
        }
        return n;
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (at_ >= s_.size()) fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(s_[at_]);
            if (c == '"') {
                ++at_;
                return out;
            }
            if (c < 0x20) fail("control character in a string");
            if (c == '\\') {
                ++at_;
                escape(out);
                continue;
            }
            const size_t n = utf8_sequence(s_.substr(at_));
            if (n == 0) fail("invalid UTF-8");
            out.append(s_.substr(at_, n));
            at_ += n;
        }
    }

    void escape(std::string& out) {
        if (at_ >= s_.size()) fail("unterminated escape");
        const char c = s_[at_++];
        switch (c) {
            case '"':
                out += '"';
                return;
            case '\\':
                out += '\\';
                return;
            case '/':
                out += '/';
                return;
            case 'b':
                out += '\b';
                return;
            case 'f':
                out += '\f';
                return;
            case 'n':
                out += '\n';
                return;
            case 'r':
                out += '\r';
                return;
            case 't':
                out += '\t';
                return;
            case 'u':
                break;
            default:
                fail("unknown escape");
        }
        const uint32_t unit = hex4();
        if (unit >= 0xD800 && unit <= 0xDBFF) {  // a high surrogate: its pair must follow
            if (s_.substr(at_, 2) != "\\u") fail("lone high surrogate");
            at_ += 2;
            const uint32_t low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) fail("lone high surrogate");
            append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            // A byte that is not UTF-8, escaped as its low surrogate.
            if (unit < 0xDC80 || unit > 0xDCFF) fail("lone low surrogate");
            out += char(unit - 0xDC00);
        } else {
            append_utf8(out, unit);
        }
    }

    std::string number() {
        const size_t start = at_;
        take('-');
        if (take('0')) {
        } else if (at_ < s_.size() && s_[at_] >= '1' && s_[at_] <= '9') {
            digits();
        } else {
            fail("value expected");
        }
        if (take('.')) {
            if (!digits()) fail("digit expected");
        }
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits()) fail("digit expected");
        }
        return std::string(s_.substr(start, at_ - start));
    }

    bool digits() {
        const size_t start = at_;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9')
            ++at_;
        return at_ > start;
    }

    std::string_view s_;
    size_t at_ = 0;
};

template <typename T>
bool whole_number(const json_value& v, T& out) {
    if (v.type != json_value::kind::number) return false;
    const std::string& t = v.text;
    if (t.find_first_of(".eE") != std::string::npos) return false;
    if (t == "-0") return false;
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), out);
    return error == std::errc() && end == t.data() + t.size();
}

}  // namespace

const json_value* json_value::find(std::string_view name) const {
    for (const auto& m : members) {
        if (m.name == name) return &m.value;
    }
    return nullptr;
}

json_value parse_json(std::string_view text) {
    return parser(text).document();
}

bool json_to_u64(const json_value& v, uint64_t& out) {
    if (!v.text.empty() && v.text[0] == '-') return false;
    return whole_number(v, out);
}

bool json_to_i64(const json_value& v, int64_t& out) {
    return whole_number(v, out);
}

bool json_to_double(const json_value& v, double& out) {
    if (v.type != json_value::kind::number) return false;
    const std::string& t = v.text;
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), out);
    return error == std::errc() && end == t.data() + t.size() && std::isfinite(out);
}

void append_json_string(std::string& out, std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    out += '"';
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20) {
            out += "\\u00";
            out += digits[c >> 4];
            out += digits[c & 15];
            ++i;
        } else if (const size_t n = utf8_sequence(bytes.substr(i)); n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            out += "\\udc";
            out += digits[c >> 4];
            out += digits[c & 15];
            ++i;
        }
    }
    out += '"';
}

std::string json_number(double value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof(text), value);
    if (error != std::errc() || !std::isfinite(value)) {
        throw std::invalid_argument("JSON: a number that is not finite");
    }
    return std::string(text, end);
}
