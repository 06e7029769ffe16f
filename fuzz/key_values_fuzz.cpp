// libFuzzer target: ParseKeyValues (Steam's libraryfolders.vdf and appmanifest text) on
// arbitrary bytes: no crash, blocks carry no value and pairs no children, and a well-formed
// result reads the same when fed its own keys and values back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/prefix/key_values_text.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckNodes(const std::vector<qv::KeyValuesNode>& nodes, int depth) {
    for (const qv::KeyValuesNode& n : nodes) {
        Check(depth < 64);  // the reader's bound on nesting
        if (n.block)
            Check(n.value.empty());
        else
            Check(n.children.empty());
        CheckNodes(n.children, depth + 1);
    }
}

// Writes the nodes back as quoted text, escaping quotes and backslashes.
std::string Quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

std::string Write(const std::vector<qv::KeyValuesNode>& nodes) {
    std::string out;
    for (const qv::KeyValuesNode& n : nodes)
        out += Quote(n.key) + (n.block ? " {\n" + Write(n.children) + "}\n" : " " + Quote(n.value) + "\n");
    return out;
}

bool Same(const std::vector<qv::KeyValuesNode>& a, const std::vector<qv::KeyValuesNode>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].key != b[i].key || a[i].value != b[i].value || a[i].block != b[i].block || !Same(a[i].children, b[i].children))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    qv::KeyValuesText kv = qv::ParseKeyValues(text);
    CheckNodes(kv.top, 0);
    if (kv.error.empty()) {
        qv::KeyValuesText again = qv::ParseKeyValues(Write(kv.top));
        Check(again.error.empty());
        Check(Same(kv.top, again.top));
    }
    return 0;
}
