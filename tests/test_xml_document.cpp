// CXmlDocument: what is stepped over, element texts, navigation, error texts, bad input and
// the element table under large and deep documents.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "update/xml_document.h"

namespace {

// The text of the element reached by entering each name of the path in turn.
std::string TextAt(CXmlDocument& document, std::vector<const char*> path) {
    document.ResetPosition();
    for (size_t i = 0; i < path.size(); ++i) {
        if (!document.FindNextElement(path[i])) return "<not found>";
        if (i + 1 < path.size()) document.EnterElement();
    }
    return document.ElementText();
}

std::string Text(const std::string& xml, std::vector<const char*> path = {"r"}) {
    CXmlDocument document;
    if (!document.ParseText(xml)) return "<parse failed: " + document.ErrorText() + ">";
    return TextAt(document, std::move(path));
}

TEST(XmlDocument, PrologCommentsAndDoctypeBeforeTheTopElementAreSteppedOver) {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<!-- a comment with <tags> -- inside -->\n"
        "<!DOCTYPE xml [ <!ENTITY e \"]>\"> <!ELEMENT xml ANY> ]>\n"
        "<xml><a>1</a><!-- between --><?pi x?><b>2</b></xml>trailing <junk";
    CXmlDocument document;
    ASSERT_TRUE(document.ParseText(xml)) << document.ErrorText();
    EXPECT_EQ(document.ErrorText(), "");
    EXPECT_EQ(TextAt(document, {"xml", "a"}), "1");
    EXPECT_EQ(TextAt(document, {"xml", "b"}), "2");
    EXPECT_EQ(document.ElementCount(), 4u);  // root, xml, a, b
}

TEST(XmlDocument, ElementTextsOfTypicalContents) {
    EXPECT_EQ(Text("<r/>"), "");
    EXPECT_EQ(Text("<r />"), "");
    EXPECT_EQ(Text("<r></r>"), "");
    EXPECT_EQ(Text("<r attr='x>y'>text</r>"), "y'>text");  // '>' in an attribute ends the tag
    EXPECT_EQ(Text("<r>  1.2  </r>"), "  1.2  ");
    EXPECT_EQ(Text("<r>before<c/>after</r>"), "");  // an element with children has no text
    EXPECT_EQ(Text("<r> <![CDATA[a &amp; <b>]]> tail</r>"), "a &amp; <b>");
    EXPECT_EQ(Text("<r>a&amp;b&#65;&#x42;&nbsp;</r>"), "a&bAB&nbsp;");
    EXPECT_EQ(Text("<r>&lt;&gt;&apos;&quot;&amp;amp;</r>"), "<>'\"&amp;");
    // Numeric references that stay as text: more than seven characters, uppercase X, zero,
    // empty, not digits.
    EXPECT_EQ(Text("<r>&#00000065;&#X41;&#0;&#x0;&#;&#x;&#6a;</r>"), "&#00000065;&#X41;&#0;&#x0;&#;&#x;&#6a;");
    EXPECT_EQ(Text("<r>&#0000065;</r>"), "A");  // exactly seven
    // A reference cut off by the end tag is not decoded.
    EXPECT_EQ(Text("<r>&amp</r>"), "&amp");
    EXPECT_EQ(Text("<r>&#65</r>"), "&#65");
    // An empty CDATA section; one after other text is no CDATA text, the content is decoded.
    EXPECT_EQ(Text("<r><![CDATA[]]></r>"), "");
    EXPECT_EQ(Text("<r>a&amp;<![CDATA[x]]></r>"), "a&<![CDATA[x]]>");
}

TEST(XmlDocument, NumericReferencesBecomeUtf8OrStayWhenNoCharacter) {
    EXPECT_EQ(Text("<r>&#233;&#x20AC;&#x1F600;</r>"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // Above U+10FFFF, surrogate halves and seven-digit numbers out of range stay as text.
    EXPECT_EQ(Text("<r>&#x110000;&#xD800;&#9999999;</r>"), "&#x110000;&#xD800;&#9999999;");
    // Multibyte text and invalid UTF-8 pass through; no trail byte is taken for markup.
    EXPECT_EQ(Text("<r>\xE2\x82\xAC \xFF\xFE\xC3</r>"), "\xE2\x82\xAC \xFF\xFE\xC3");
    EXPECT_EQ(Text("<\xC3\xA9l>x</\xC3\xA9l>", {"\xC3\xA9l"}), "x");
}

TEST(XmlDocument, NavigationIsForwardOnlyAndCaseSensitive) {
    CXmlDocument document;
    ASSERT_TRUE(document.ParseText("<xml><Version>2</Version><Build>3</Build><x><y>in</y></x></xml>"));
    document.ResetPosition();
    EXPECT_FALSE(document.EnterElement());  // nothing current yet
    EXPECT_FALSE(document.LeaveElement());  // already at the top
    ASSERT_TRUE(document.FindNextElement("xml"));
    ASSERT_TRUE(document.EnterElement());
    EXPECT_FALSE(document.FindNextElement("version"));
    EXPECT_EQ(document.ReadNextElementText("Build"), "3");
    EXPECT_EQ(document.ReadNextElementText("Version"), "");  // behind the current element
    EXPECT_EQ(document.ElementName(), "Build");              // a failed search changes nothing
    // White space after '<' is allowed; an empty or null name matches any element.
    ASSERT_TRUE(document.FindNextElement(""));
    EXPECT_EQ(document.ElementName(), "x");
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ReadNextElementText(nullptr), "in");
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ElementName(), "x");
    // Entering again returns to the child that was current when leaving.
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ElementName(), "y");
    ASSERT_TRUE(document.LeaveElement());
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ElementName(), "xml");
    EXPECT_FALSE(document.LeaveElement());

    // A name matches when the search name goes on with one of " =/[" after it.
    ASSERT_TRUE(document.ParseText("< Version >2</Version >"));
    EXPECT_EQ(document.ReadNextElementText("Version"), "2");
    document.ResetPosition();
    EXPECT_TRUE(document.FindNextElement("Version/x"));
    document.ResetPosition();
    EXPECT_FALSE(document.FindNextElement("Versions"));
    EXPECT_FALSE(document.FindNextElement("Vers"));
}

TEST(XmlDocument, ErrorTextsAndTheStateAfterAFailedParse) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"just text", "Element tag not found"},
        {"<a><b>text</b>", "Element tag not found"},
        {"</a>", "Element tag not found"},
        {"<", "Abrupt end within tag"},
        {"<a><  \n", "Abrupt end within tag"},
        {"<'a'>x</a>", "Tag starts with quote"},
        {"<!-- never closed", "Invalid node"},
        {"<?xml version='1.0'", "Invalid node"},
        {"<!", "Invalid node"},
        {"<!-->", "Invalid node"},
        {"<![CDATA[x]>", "Invalid node"},
        {"<!DOCTYPE x [ <!ENTITY a 'b'> ", "Invalid node"},
        {"<a><b attr='1'", "End of tag not found"},
        {"<a></b>", "End tag does not correspond to a"},
        {"<outer><inner></outer>", "End tag does not correspond to inner"},
        {"<a>text</a", "End tag not completed for element a"},
        {"<a><b>text</", "End tag not completed for element b"},
        {"<a>text</a x='>", "End tag not completed for element a"},
    };
    CXmlDocument document;
    for (const auto& [xml, error] : cases) {
        EXPECT_FALSE(document.ParseText(xml)) << xml;
        EXPECT_EQ(document.ErrorText(), error) << xml;
        EXPECT_EQ(document.ElementCount(), 1u) << xml;
        EXPECT_FALSE(document.FindNextElement("")) << xml;
        EXPECT_EQ(document.ElementText(), "") << xml;
        EXPECT_FALSE(document.EnterElement()) << xml;
    }
    // A null or empty text: no element, no error text. A later good parse clears the error.
    EXPECT_FALSE(document.ParseText(nullptr));
    EXPECT_EQ(document.ErrorText(), "");
    EXPECT_FALSE(document.ParseText(""));
    EXPECT_FALSE(document.ParseText("<a></b>"));
    EXPECT_TRUE(document.ParseText("<a>ok</a>"));
    EXPECT_EQ(document.ErrorText(), "");
}

TEST(XmlDocument, DeepNestingNeedsNoCallStack) {
    constexpr int kDepth = 100000;
    std::string xml;
    for (int i = 0; i < kDepth; ++i) xml += "<d>";
    xml += "bottom";
    for (int i = 0; i < kDepth; ++i) xml += "</d>";
    CXmlDocument document;
    ASSERT_TRUE(document.ParseText(xml)) << document.ErrorText();
    document.ResetPosition();
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_TRUE(document.FindNextElement("d"));
        if (i + 1 < kDepth) {
            ASSERT_TRUE(document.EnterElement());
        }
    }
    EXPECT_EQ(document.ElementText(), "bottom");
    int levels = 0;
    while (document.LeaveElement()) ++levels;
    EXPECT_EQ(levels, kDepth - 1);

    // The same depth left open ends with an error, not a crash.
    xml.resize(xml.size() / 2 + 3);
    EXPECT_FALSE(document.ParseText(xml));
    EXPECT_EQ(document.ErrorText(), "Element tag not found");
}

TEST(XmlDocument, ElementTableGrowsBySegmentsAndIsReused) {
    // Short elements, so that the first allocation (length / 64 + 8) is soon too small and
    // the table grows across several 65536-record segments.
    constexpr int kElements = 300000;
    std::string xml = "<r>";
    for (int i = 0; i < kElements; ++i) xml += "<e/>";
    xml += "<last>end</last></r>";
    CXmlDocument document;
    ASSERT_TRUE(document.ParseText(xml));
    EXPECT_EQ(document.ElementCount(), kElements + 3u);
    EXPECT_GE(document.AllocatedCount(), document.ElementCount());
    EXPECT_EQ(TextAt(document, {"r", "last"}), "end");
    // Every record keeps its links through the moves of the growing last segment.
    int count = 0;
    for (int32_t e = document.Element(2).nextSibling; e != 0; e = document.Element(e).nextSibling) {
        ASSERT_EQ(document.Element(e).parent, 1);
        ++count;
    }
    EXPECT_EQ(count, kElements);

    // A small document afterwards reuses the table, which keeps its size.
    uint32_t allocated = document.AllocatedCount();
    ASSERT_TRUE(document.ParseText("<a><b>x</b></a>"));
    EXPECT_EQ(document.AllocatedCount(), allocated);
    EXPECT_EQ(TextAt(document, {"a", "b"}), "x");
}

TEST(XmlDocument, SpansRecordWhereTheTagsLie) {
    CXmlDocument document;
    ASSERT_TRUE(document.ParseText(" <a><b/></a >"));
    const CXmlDocument::ElementSpan& a = document.Element(1);
    const CXmlDocument::ElementSpan& b = document.Element(2);
    EXPECT_EQ(a.tagStart, 1);
    EXPECT_EQ(a.tagEnd, 3);
    EXPECT_EQ(a.closeStart, 8);
    EXPECT_EQ(a.closeEnd, 12);
    EXPECT_EQ(a.firstChild, 2);
    EXPECT_EQ(b.tagStart, 4);
    EXPECT_EQ(b.closeStart, 6);  // the slash of the empty-element tag
    EXPECT_EQ(b.closeEnd, b.tagEnd);
    EXPECT_EQ(b.parent, 1);
}

}  // namespace
