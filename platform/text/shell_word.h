// Words for a POSIX shell: text the user can paste into a terminal as it stands.
#pragma once

#include <string>

namespace qv {

// `word` as one shell word: unchanged when it holds only characters the shell leaves alone,
// otherwise in single quotes (a quote inside becomes '\'').
std::string ShellWord(const std::string& word);

}  // namespace qv
