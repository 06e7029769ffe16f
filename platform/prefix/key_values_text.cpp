#include "platform/prefix/key_values_text.h"

#include <cctype>

namespace qv {

namespace {

constexpr int kMaxDepth = 64;
constexpr size_t kMaxNodes = 1'000'000;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    KeyValuesText Run() {
        KeyValuesText result;
        ReadEntries(result.top, 0, /*inBlock=*/false);
        result.error = std::move(error_);
        return result;
    }

private:
    enum class Token { End, String, Open, Close, Bad };

    void Fail(const std::string& what) {
        if (error_.empty()) error_ = what + " at line " + std::to_string(line_);
        stop_ = true;
    }

    // Skips white space and // comments.
    void SkipSpace() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    Token Next(std::string& s) {
        SkipSpace();
        if (pos_ >= text_.size()) return Token::End;
        char c = text_[pos_];
        if (c == '{') return ++pos_, Token::Open;
        if (c == '}') return ++pos_, Token::Close;
        s.clear();
        if (c == '"') {
            ++pos_;
            while (pos_ < text_.size() && text_[pos_] != '"') {
                char d = text_[pos_++];
                if (d == '\n') ++line_;
                if (d == '\\' && pos_ < text_.size()) {
                    char e = text_[pos_++];
                    switch (e) {
                        case 'n': s += '\n'; break;
                        case 't': s += '\t'; break;
                        case '\\': s += '\\'; break;
                        case '"': s += '"'; break;
                        default: s += '\\', s += e; break;  // paths keep their backslashes
                    }
                    if (e == '\n') ++line_;
                } else {
                    s += d;
                }
            }
            if (pos_ >= text_.size()) {
                Fail("unterminated quoted text");
                return Token::Bad;
            }
            ++pos_;
            return Token::String;
        }
        // A bare word runs to white space, a quote or a brace.
        while (pos_ < text_.size()) {
            char d = text_[pos_];
            if (std::isspace(static_cast<unsigned char>(d)) || d == '"' || d == '{' || d == '}') break;
            s += d;
            ++pos_;
        }
        return Token::String;
    }

    static bool IsCondition(const std::string& s) { return s.size() > 1 && s.front() == '[' && s.back() == ']'; }

    void ReadEntries(std::vector<KeyValuesNode>& out, int depth, bool inBlock) {
        std::string key, value;
        while (!stop_) {
            Token t = Next(key);
            if (t == Token::Bad) return;
            if (t == Token::End) {
                if (inBlock) Fail("missing closing brace");
                return;
            }
            if (t == Token::Close) {
                if (!inBlock) Fail("closing brace without an opening one");
                return;
            }
            if (t == Token::Open) {
                Fail("block without a key");
                return;
            }
            if (IsCondition(key)) continue;  // a condition such as [$WIN32] between entries
            if (++nodes_ > kMaxNodes) {
                Fail("too many entries");
                return;
            }
            // A condition such as [$WIN32] after the key is skipped.
            Token v = Next(value);
            while (v == Token::String && IsCondition(value)) v = Next(value);
            if (v == Token::Bad) return;
            if (v == Token::String) {
                out.push_back({std::move(key), std::move(value), false, {}});
                key.clear();
                value.clear();
            } else if (v == Token::Open) {
                if (depth + 1 >= kMaxDepth) {
                    Fail("blocks nested too deeply");
                    return;
                }
                out.push_back({std::move(key), {}, true, {}});
                key.clear();
                ReadEntries(out.back().children, depth + 1, true);
            } else {
                Fail(v == Token::End ? "key without a value" : "closing brace after a key");
                return;
            }
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
    size_t nodes_ = 0;
    bool stop_ = false;
    std::string error_;
};

bool SameAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

KeyValuesText ParseKeyValues(std::string_view text) { return Reader(text).Run(); }

const KeyValuesNode* FindKey(const std::vector<KeyValuesNode>& entries, std::string_view key) {
    for (const KeyValuesNode& n : entries)
        if (SameAsciiCase(n.key, key)) return &n;
    return nullptr;
}

}  // namespace qv
