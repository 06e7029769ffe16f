#include "update/xml_document.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/registry/reg_text.h"

namespace {

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Characters that end an unquoted token; each one is a token of its own.
bool IsDelimiter(char c) { return c != '\0' && (IsWhiteSpace(c) || std::strchr("<>=\\/?!", c) != nullptr); }

// The bytes of a character in UTF-8, the program's code page; empty for a number that is
// not a character (0, a surrogate half, above U+10FFFF).
std::string EncodeUtf8(uint32_t code) {
    std::string bytes;
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return bytes;
    qv::reg::AppendUtf8(bytes, code);
    return bytes;
}

// The number of a numeric reference body (the characters between "&#" and ";"): decimal, or
// hexadecimal after a lowercase x. Every character must be a digit; 0 when not a number.
uint32_t ReferenceNumber(const char* body, size_t length) {
    bool hex = length > 0 && body[0] == 'x';
    size_t start = hex ? 1 : 0;
    if (start == length) return 0;
    uint32_t value = 0;
    for (size_t i = start; i < length; ++i) {
        char c = body[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return 0;
        }
        // At most seven characters: neither 9999999 nor 0xFFFFFF overflows.
        value = value * (hex ? 16 : 10) + digit;
    }
    return value;
}

struct NamedReference {
    const char* name;  // after the ampersand, semicolon included
    char character;
};

constexpr NamedReference kNamedReferences[] = {
    {"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};

}  // namespace

// A token of the text: [start, end) are its characters (without quotes), next is where the
// scan goes on after it.
struct CXmlDocument::Token {
    bool found = false;
    bool quoted = false;
    int32_t start = 0;
    int32_t end = 0;
    int32_t next = 0;
    int32_t Length() const { return end - start; }
};

CXmlDocument::CXmlDocument() = default;

CXmlDocument::~CXmlDocument() {
    for (uint32_t s = 0; s < m_nSegments; ++s) delete[] m_ppSegments[s];
}

// ---- element table ---------------------------------------------------------------------

// Makes room for `count` records. Full segments stay where they are; only a partly filled
// last segment is moved, to its new size or to full size when a later segment follows.
void CXmlDocument::ReserveRecords(uint32_t count) {
    if (count <= m_nAllocated) return;
    uint32_t segmentsNeeded = (count - 1) / kSegmentRecords + 1;
    if (segmentsNeeded > m_nSegmentSlots) {
        uint32_t slots = std::max(segmentsNeeded, 2 * (segmentsNeeded - 1) + 4);
        auto directory = std::make_unique<ElementSpan*[]>(slots);
        for (uint32_t s = 0; s < m_nSegments; ++s) directory[s] = m_ppSegments[s];
        m_ppSegments = std::move(directory);
        m_nSegmentSlots = slots;
    }
    for (uint32_t s = (m_nSegments == 0 ? 0 : m_nSegments - 1); s < segmentsNeeded; ++s) {
        uint32_t size = (s + 1 < segmentsNeeded) ? kSegmentRecords : count - s * kSegmentRecords;
        if (s < m_nSegments) {
            // The partly filled last segment grows.
            if (m_nLastSegmentRecords >= size) continue;
            auto* grown = new ElementSpan[size];
            std::copy(m_ppSegments[s], m_ppSegments[s] + m_nLastSegmentRecords, grown);
            delete[] m_ppSegments[s];
            m_ppSegments[s] = grown;
        } else {
            m_ppSegments[s] = new ElementSpan[size];
        }
        m_nLastSegmentRecords = size;
    }
    m_nSegments = segmentsNeeded;
    m_nAllocated = count;
}

// Called when every allocated record is in use: one and a half times the records in use,
// but never past the end of the segment after the last one begun.
void CXmlDocument::GrowForOneMore() {
    uint64_t target = static_cast<uint64_t>(m_nUsed) + m_nUsed / 2;
    uint64_t lastSegment = m_nAllocated == 0 ? 0 : (m_nAllocated - 1) / kSegmentRecords;
    uint64_t limit = (lastSegment + 2) * kSegmentRecords;
    target = std::clamp<uint64_t>(target, static_cast<uint64_t>(m_nAllocated) + 1, limit);
    ReserveRecords(static_cast<uint32_t>(target));
}

void CXmlDocument::ClearTable() {
    Record(0) = ElementSpan{};
    m_nUsed = 1;
}

// ---- scanning primitives ---------------------------------------------------------------

int32_t CXmlDocument::Find(char c, int32_t from) const {
    if (from < 0 || static_cast<size_t>(from) >= m_strText.size()) return -1;
    const void* hit = std::memchr(m_strText.data() + from, c, m_strText.size() - from);
    return hit ? static_cast<int32_t>(static_cast<const char*>(hit) - m_strText.data()) : -1;
}

int32_t CXmlDocument::Find(const char* pattern, int32_t from) const {
    if (from < 0 || static_cast<size_t>(from) > m_strText.size()) return -1;
    size_t at = m_strText.find(pattern, static_cast<size_t>(from));
    return at == std::string::npos ? -1 : static_cast<int32_t>(at);
}

CXmlDocument::Token CXmlDocument::ReadToken(int32_t position) const {
    Token token;
    const int32_t size = static_cast<int32_t>(m_strText.size());
    const char* text = m_strText.data();
    int32_t p = position;
    while (p < size && IsWhiteSpace(text[p])) ++p;
    if (p >= size) return token;
    token.found = true;
    char c = text[p];
    if (c == '"' || c == '\'') {
        token.quoted = true;
        token.start = p + 1;
        int32_t close = Find(c, p + 1);
        token.end = close < 0 ? size : close;
        token.next = close < 0 ? size : close + 1;
        return token;
    }
    token.start = p;
    if (IsDelimiter(c)) {
        token.end = token.next = p + 1;
        return token;
    }
    while (p < size && !IsDelimiter(text[p])) ++p;
    token.end = token.next = p;
    return token;
}

std::string CXmlDocument::TokenText(const Token& token) const {
    return m_strText.substr(static_cast<size_t>(token.start), static_cast<size_t>(token.Length()));
}

std::string CXmlDocument::NameOf(int32_t element) const {
    if (element <= 0) return {};
    return TokenText(ReadToken(Record(element).tagStart + 1));
}

// A token matches a name when the name begins with the token's characters and goes on with
// its end or one of " =/[".
bool CXmlDocument::NameMatches(int32_t element, const char* name) const {
    if (name == nullptr || name[0] == '\0') return true;
    Token token = ReadToken(Record(element).tagStart + 1);
    size_t length = static_cast<size_t>(token.Length());
    if (std::strncmp(name, m_strText.data() + token.start, length) != 0) return false;
    if (std::memchr(m_strText.data() + token.start, '\0', length) != nullptr) return false;
    char after = name[length];
    return after == '\0' || after == ' ' || after == '=' || after == '/' || after == '[';
}

void CXmlDocument::SetError(const char* text, int32_t element) {
    m_strError = text;
    size_t mark = m_strError.find("%s");
    if (mark != std::string::npos) m_strError.replace(mark, 2, NameOf(element));
}

// ---- parsing ---------------------------------------------------------------------------

bool CXmlDocument::ParseText(const char* text) { return ParseText(std::string(text ? text : "")); }

bool CXmlDocument::ParseText(std::string text) {
    m_strText = std::move(text);
    m_strError.clear();
    bool found = Parse();
    ResetPosition();
    return found;
}

bool CXmlDocument::Parse() {
    if (m_strText.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        ReserveRecords(8);
        ClearTable();
        SetError(kErrorTextTooLarge);
        return false;
    }
    ReserveRecords(static_cast<uint32_t>(m_strText.size() / 64 + 8));
    ClearTable();
    if (m_strText.empty()) return false;

    // Elements are parsed with an explicit stack of open elements instead of recursion, so
    // that deep nesting cannot overflow the call stack. lastChild holds, per open element,
    // its most recent child (0 = none yet) for linking the next one.
    std::vector<int32_t> lastChild{0};
    int32_t parent = 0;
    auto fail = [this] {
        ClearTable();
        return false;
    };
    for (;;) {
        bool emptyElement = false;
        int32_t element = ParseStartTag(parent, emptyElement);
        if (element < 0) return fail();
        if (element == 0) {
            // The end tag of the open element.
            if (parent == 0) {
                // An end tag where the document's element should begin.
                SetError(kErrorElementTagNotFound);
                return fail();
            }
            if (!ParseEndTag(parent)) return fail();
            int32_t done = parent;
            parent = Record(done).parent;
            lastChild.pop_back();
            if (parent == 0) return true;
            Record(parent).closeStart = Record(done).closeEnd + 1;
            continue;
        }
        if (lastChild.back() == 0) {
            Record(parent).firstChild = element;
        } else {
            Record(lastChild.back()).nextSibling = element;
        }
        lastChild.back() = element;
        if (emptyElement) {
            if (parent == 0) return true;
            Record(parent).closeStart = Record(element).closeEnd + 1;
        } else {
            Record(element).closeStart = Record(element).tagEnd + 1;
            lastChild.push_back(0);
            parent = element;
        }
    }
}

// Reads the next start tag below `parent` from its running position, stepping over
// declarations. Returns the new element's index, 0 when the parent's end tag comes first
// (the running position then holds its '<'), -1 after an error.
int32_t CXmlDocument::ParseStartTag(int32_t parent, bool& emptyElement) {
    int32_t position = Record(parent).closeStart;
    for (;;) {
        int32_t lessThan = Find('<', position);
        if (lessThan < 0) {
            SetError(kErrorElementTagNotFound);
            return -1;
        }
        Record(parent).closeStart = lessThan;
        Token token = ReadToken(lessThan + 1);
        if (!token.found) {
            SetError(kErrorAbruptEndWithinTag);
            return -1;
        }
        if (token.quoted) {
            SetError(kErrorTagStartsWithQuote);
            return -1;
        }
        char first = m_strText[token.start];
        if (first == '!' || first == '?') {
            int32_t end = SkipDeclaration(token.start, lessThan);
            if (end < 0) {
                SetError(kErrorInvalidNode);
                return -1;
            }
            position = end;
            continue;
        }
        if (first == '/') return 0;

        int32_t greaterThan = Find('>', token.end);
        if (greaterThan < 0) {
            SetError(kErrorEndOfTagNotFound);
            return -1;
        }
        if (m_nUsed == m_nAllocated) GrowForOneMore();
        int32_t element = static_cast<int32_t>(m_nUsed++);
        ElementSpan& span = Record(element);
        span = ElementSpan{};
        span.tagStart = lessThan;
        span.tagEnd = greaterThan;
        span.parent = parent;
        emptyElement = m_strText[greaterThan - 1] == '/' && greaterThan - 1 >= token.end;
        if (emptyElement) {
            span.closeStart = greaterThan - 1;
            span.closeEnd = greaterThan;
        }
        return element;
    }
}

// Steps over a declaration whose '!' or '?' stands at markStart. Returns the position after
// it, -1 when it has no end.
int32_t CXmlDocument::SkipDeclaration(int32_t markStart, int32_t lessThan) {
    const int32_t size = static_cast<int32_t>(m_strText.size());
    if (size - lessThan - 1 < 2) return -1;
    const char* text = m_strText.data();
    auto after = [&](const char* pattern, int32_t from) {
        int32_t at = Find(pattern, from);
        return at < 0 ? -1 : at + static_cast<int32_t>(std::strlen(pattern));
    };
    if (text[markStart] == '?') return after("?>", markStart + 1);
    if (markStart + 1 < size && text[markStart + 1] == '[') return after("]]>", markStart + 2);
    if (markStart + 1 < size && text[markStart + 1] == '-') {
        // "<!--": the closing "-->" may not share the opening hyphens.
        int32_t from = (markStart + 2 < size && text[markStart + 2] == '-') ? markStart + 3 : markStart + 2;
        return after("-->", from);
    }
    // A document type declaration: tokens up to an unquoted '>' outside square brackets.
    int64_t depth = 0;
    int32_t position = markStart + 1;
    for (;;) {
        Token token = ReadToken(position);
        if (!token.found) return -1;
        if (!token.quoted) {
            if (token.Length() == 1 && text[token.start] == '>' && depth <= 0) return token.next;
            for (int32_t i = token.start; i < token.end; ++i) {
                if (text[i] == '[') ++depth;
                if (text[i] == ']') --depth;
            }
        }
        position = token.next;
    }
}

// Reads the end tag of `element` at its running position: the slash, the element's name,
// anything up to '>'.
bool CXmlDocument::ParseEndTag(int32_t element) {
    ElementSpan& span = Record(element);
    Token slash = ReadToken(span.closeStart + 1);
    Token name = ReadToken(slash.next);
    if (!name.found) {
        SetError(kErrorEndTagNotCompleted, element);
        return false;
    }
    std::string expected = NameOf(element);
    std::string given = TokenText(name);
    bool matches = expected.compare(0, given.size(), given) == 0 &&
                   (expected.size() == given.size() ||
                    std::strchr(" =/[", expected[given.size()]) != nullptr);
    if (!matches) {
        SetError(kErrorEndTagMismatch, element);
        return false;
    }
    int32_t position = name.next;
    for (;;) {
        Token token = ReadToken(position);
        if (!token.found) {
            SetError(kErrorEndTagNotCompleted, element);
            return false;
        }
        if (!token.quoted && token.Length() == 1 && m_strText[token.start] == '>') {
            span.closeEnd = token.start;
            return true;
        }
        position = token.next;
    }
}

// ---- navigation ------------------------------------------------------------------------

void CXmlDocument::ResetPosition() {
    m_nParent = 0;
    m_nCurrent = 0;
    m_nChild = 0;
    m_nNodeKind = 0;
}

bool CXmlDocument::FindNextElement(const char* name) {
    int32_t candidate = m_nCurrent != 0 ? Record(m_nCurrent).nextSibling : Record(m_nParent).firstChild;
    for (; candidate != 0; candidate = Record(candidate).nextSibling) {
        if (NameMatches(candidate, name)) {
            m_nCurrent = candidate;
            m_nChild = 0;
            m_nNodeKind = 1;
            return true;
        }
    }
    return false;
}

bool CXmlDocument::EnterElement() {
    if (m_nNodeKind != 1 || m_nCurrent == 0) return false;
    m_nParent = m_nCurrent;
    m_nCurrent = m_nChild;
    m_nChild = 0;
    m_nNodeKind = m_nCurrent != 0 ? 1 : 0;
    return true;
}

bool CXmlDocument::LeaveElement() {
    if (m_nParent == 0) return false;
    m_nChild = m_nCurrent;
    m_nCurrent = m_nParent;
    m_nParent = Record(m_nCurrent).parent;
    m_nNodeKind = 1;
    return true;
}

std::string CXmlDocument::ElementName() const {
    return m_nNodeKind == 1 ? NameOf(m_nCurrent) : std::string();
}

std::string CXmlDocument::ReadNextElementText(const char* name) {
    if (!FindNextElement(name)) return {};
    return ElementText();
}

// ---- element text ----------------------------------------------------------------------

std::string CXmlDocument::ElementText() const {
    if (m_nNodeKind != 1 || m_nCurrent == 0) return {};
    const ElementSpan& span = Record(m_nCurrent);
    if (span.firstChild != 0 || span.closeEnd == span.tagEnd) return {};
    const char* text = m_strText.data();
    const int32_t contentEnd = span.closeStart;  // one past the last character of the content

    int32_t p = span.tagEnd + 1;
    while (p < contentEnd && IsWhiteSpace(text[p])) ++p;
    static constexpr char kCdataOpen[] = "<![CDATA[";
    if (p + 11 < contentEnd && std::strncmp(text + p, kCdataOpen, 9) == 0) {
        std::string_view rest(text + p + 9, static_cast<size_t>(contentEnd - p - 9));
        size_t close = rest.find("]]>");
        if (close != std::string_view::npos) return std::string(rest.substr(0, close));
    }

    std::string result;
    result.reserve(static_cast<size_t>(contentEnd - span.tagEnd - 1));
    for (int32_t i = span.tagEnd + 1; i < contentEnd; ++i) {
        if (text[i] != '&') {
            result += text[i];
            continue;
        }
        if (i + 1 < contentEnd && text[i + 1] == '#') {
            // "&#" and at most seven characters before the semicolon.
            int32_t limit = std::min(contentEnd, i + 2 + 8);
            const void* semicolon = std::memchr(text + i + 2, ';', static_cast<size_t>(std::max(0, limit - i - 2)));
            if (semicolon != nullptr) {
                int32_t end = static_cast<int32_t>(static_cast<const char*>(semicolon) - text);
                std::string bytes = EncodeUtf8(ReferenceNumber(text + i + 2, static_cast<size_t>(end - i - 2)));
                if (!bytes.empty()) {
                    result += bytes;
                    i = end;
                    continue;
                }
            }
            result += '&';
            continue;
        }
        bool replaced = false;
        for (const NamedReference& reference : kNamedReferences) {
            int32_t length = static_cast<int32_t>(std::strlen(reference.name));
            if (i + 1 + length <= contentEnd && std::strncmp(text + i + 1, reference.name, length) == 0) {
                result += reference.character;
                i += length;
                replaced = true;
                break;
            }
        }
        if (!replaced) result += '&';
    }
    return result;
}
