// libFuzzer target: CXmlDocument::ParseText on arbitrary bytes, then a walk over every
// element with its name and text, the feed's own reading sequence, and checks that every
// recorded span lies inside the text and every link points into the table.
#include <cstddef>
#include <cstdint>
#include <string>

#include "update/xml_document.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckTable(const CXmlDocument& document) {
    const int64_t size = static_cast<int64_t>(document.Text().size());
    const uint32_t count = document.ElementCount();
    Check(count >= 1 && count <= document.AllocatedCount());
    for (uint32_t i = 1; i < count; ++i) {
        const CXmlDocument::ElementSpan& span = document.Element(i);
        Check(span.tagStart >= 0 && span.tagStart < span.tagEnd && span.tagEnd < size);
        Check(span.closeStart >= span.tagEnd - 1 && span.closeStart <= span.closeEnd && span.closeEnd < size);
        for (int32_t link : {span.parent, span.firstChild, span.nextSibling})
            Check(link >= 0 && static_cast<uint32_t>(link) < count);
        Check(span.parent < static_cast<int32_t>(i));
        Check(span.firstChild == 0 || span.firstChild > static_cast<int32_t>(i));
        Check(span.nextSibling == 0 || span.nextSibling > static_cast<int32_t>(i));
    }
}

// Visits every element once through the navigation calls alone.
void Walk(CXmlDocument& document) {
    document.ResetPosition();
    uint64_t visited = 0;
    for (;;) {
        if (document.FindNextElement("")) {
            ++visited;
            std::string text = document.ElementText();
            std::string name = document.ElementName();
            Check(!name.empty());
            Check(document.EnterElement());
            continue;
        }
        if (!document.LeaveElement()) break;
    }
    Check(visited + 1 == document.ElementCount());
}

void ReadLikeTheFeed(CXmlDocument& document) {
    document.ResetPosition();
    if (!document.FindNextElement("xml")) return;
    document.EnterElement();
    if (!document.FindNextElement("Quorvane")) return;
    document.EnterElement();
    for (const char* name : {"LastBuildDate", "Version", "Build", "UpgradeURL", "SpecialOffer", "SpecialOfferURL"})
        document.ReadNextElementText(name);
    document.LeaveElement();
    document.LeaveElement();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One document reused across inputs, as a caller may reuse it, and one made afresh
    // from the same bytes as a zero-terminated string.
    static CXmlDocument reused;
    std::string text(reinterpret_cast<const char*>(data), size);
    bool found = reused.ParseText(text);
    Check(found == (reused.ElementCount() > 1));
    Check(found || !reused.ErrorText().empty() || text.empty());
    CheckTable(reused);
    Walk(reused);
    ReadLikeTheFeed(reused);

    CXmlDocument fresh;
    fresh.ParseText(text.c_str());
    CheckTable(fresh);
    Walk(fresh);
    return 0;
}
