// Wine's short (8.3) file names. Wine keeps no short names on disk: it makes one up for
// every name that is not a valid 8.3 name by itself, from the name's first characters, "~"
// and three characters of a hash of the whole name ("Program Files" -> "PROG~FBU"), and it
// finds a name that looks like such a short name by making up the short name of every
// entry of the folder and comparing. Installers write paths in this form. Names are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// True when `name` is a valid 8.3 name as Wine judges it, and so its own short name: at
// most 8 characters, optionally a dot and 1 to 3 more; ASCII only; no blank and none of
// * ? < > | " + = , ; [ ] : / \; no leading dot (but "." and ".." are valid).
bool IsShortNameValid(std::string_view name);

// The short name Wine makes up for a name that is not a valid 8.3 name: up to four
// characters from the start of the name (before its extension), "~"s to make five, three
// hash characters, then "." and the first three characters of the extension (what follows
// the last dot that is neither the first nor the last character), all in upper case;
// characters that cannot stand in a short name (dots too) become "_".
std::string HashedShortName(std::string_view longName);

// The short name Wine gives the folder entry `longName`: empty when the name is a valid
// 8.3 name (it is its own short name), HashedShortName otherwise.
std::string ShortNameOf(std::string_view longName);

// True when `name` could be a made-up short name, so that a folder's entries are worth
// hashing to find it: a valid 8.3 name of at least 8 characters with "~" as its fifth.
bool MayBeHashedShortName(std::string_view name);

}  // namespace qv
