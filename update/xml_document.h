// CXmlDocument: a small, forgiving XML reader. Parsing indexes where every element's tags
// lie in the document text; callers walk the element tree and cut an element's text out on
// request. Attributes, text between child elements, comments, processing instructions and
// document type declarations are stepped over, not stored.
//
// The text is 8-bit text in the program's ANSI code page, UTF-8. Every markup character is
// ASCII and no byte of a multibyte UTF-8 character is below 0x80, so scanning byte by byte
// for markup never splits a character or takes part of one for markup; invalid sequences
// are carried through as they stand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CXmlDocument {
public:
    // Error texts of a failed parse.
    static constexpr char kErrorElementTagNotFound[] = "Element tag not found";
    static constexpr char kErrorAbruptEndWithinTag[] = "Abrupt end within tag";
    static constexpr char kErrorTagStartsWithQuote[] = "Tag starts with quote";
    static constexpr char kErrorInvalidNode[] = "Invalid node";
    static constexpr char kErrorEndOfTagNotFound[] = "End of tag not found";
    static constexpr char kErrorEndTagMismatch[] = "End tag does not correspond to %s";
    static constexpr char kErrorEndTagNotCompleted[] = "End tag not completed for element %s";
    // Positions are 32-bit: a text of 2 GiB or more is refused.
    static constexpr char kErrorTextTooLarge[] = "Document too large";

    // One element: where its tags lie in the text and its place in the tree. Positions are
    // byte offsets into the text; indexes refer to the element table, 0 = none.
    struct ElementSpan {
        int32_t tagStart;    // '<' opening the start tag
        int32_t tagEnd;      // '>' closing the start tag
        int32_t closeStart;  // '<' of the end tag; the '/' of an empty-element tag; while the
                             // content is parsed, the running parse position
        int32_t closeEnd;    // '>' of the end tag; tagEnd for an empty-element tag
        int32_t parent;
        int32_t firstChild;
        int32_t nextSibling;
    };

    static constexpr uint32_t kSegmentRecords = 65536;

    CXmlDocument();
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Replaces the document (null means empty), indexes it and resets the position. True
    // when a top element was found; otherwise ErrorText() says why (empty for an empty text).
    bool ParseText(const char* text);
    bool ParseText(std::string text);

    // The next search starts among the top-level elements.
    void ResetPosition();

    // Searches forward among the elements that share the current parent: after the current
    // element, or from the parent's first child when none is current. An empty or null name
    // matches any element; names are compared case-sensitively. On success the element
    // found becomes current; on failure nothing changes.
    bool FindNextElement(const char* name);
    // The current element becomes the parent; the search moves to its children.
    bool EnterElement();
    // The parent becomes current again; false at the top.
    bool LeaveElement();

    // The current element's text: empty for an element with children or an empty-element
    // tag; a leading CDATA section as it stands; otherwise the content with its character
    // references decoded. Empty when no element is current.
    std::string ElementText() const;
    // FindNextElement(name), then ElementText(); empty when not found.
    std::string ReadNextElementText(const char* name);

    // The current element's name; empty when no element is current.
    std::string ElementName() const;

    const std::string& ErrorText() const { return m_strError; }
    const std::string& Text() const { return m_strText; }

    // Records in use (the virtual root included) and records allocated.
    uint32_t ElementCount() const { return m_nUsed; }
    uint32_t AllocatedCount() const { return m_nAllocated; }
    const ElementSpan& Element(uint32_t index) const { return Record(index); }

private:
    struct Token;

    ElementSpan& Record(uint32_t index) const {
        return m_ppSegments[index >> 16][index & (kSegmentRecords - 1)];
    }
    void ReserveRecords(uint32_t count);
    void GrowForOneMore();
    bool Parse();
    int32_t ParseStartTag(int32_t parent, bool& emptyElement);
    bool ParseEndTag(int32_t element);
    int32_t SkipDeclaration(int32_t markStart, int32_t lessThan);
    Token ReadToken(int32_t position) const;
    std::string TokenText(const Token& token) const;
    std::string NameOf(int32_t element) const;
    bool NameMatches(int32_t element, const char* name) const;
    int32_t Find(char c, int32_t from) const;
    int32_t Find(const char* pattern, int32_t from) const;
    void SetError(const char* text, int32_t element = 0);
    void ClearTable();

    std::string m_strText;
    std::string m_strError;
    int32_t m_nParent = 0;
    int32_t m_nCurrent = 0;
    int32_t m_nChild = 0;
    int m_nNodeKind = 0;

    // Segment directory: m_nSegmentSlots pointers, the first m_nSegments of them in use.
    // Every segment but the last holds kSegmentRecords records.
    std::unique_ptr<ElementSpan*[]> m_ppSegments;
    uint32_t m_nSegmentSlots = 0;
    uint32_t m_nSegments = 0;
    uint32_t m_nLastSegmentRecords = 0;
    uint32_t m_nUsed = 1;
    uint32_t m_nAllocated = 0;
};
