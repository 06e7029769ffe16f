// The font files that Wine itself ships: the ones it builds in its fonts/ folder and installs
// in its own data folder, not in a prefix. Wine lists some of them in a prefix's registry as
// fonts of the Fonts folder (coure.fon, sserife.fon, smalle.fon, ...) and loads them from
// wherever the running Wine keeps its data, which differs between builds and runners.
#pragma once

#include <string_view>

namespace qv {

// True when `name` (a file name without folders, any letter case) is a font file that
// Wine 8 ships.
bool IsWineShippedFontFile(std::string_view name);

}  // namespace qv
