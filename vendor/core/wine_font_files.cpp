#include "vendor/core/wine_font_files.h"

#include "platform/prefix/case_insensitive_name.h"

namespace qv {
namespace {

// Wine 8.0's fonts/ folder: the TrueType fonts built from the font sources that its
// Makefile.in lists, and the bitmap fonts generated from them, one per code page (and for
// MS Sans Serif one more set at 120 dpi). Wine ships no MS Serif (serife.fon) and no OEM
// font (vgaoem.fon), although it names them in the registry.
constexpr std::string_view kFiles[] = {
    // courier
    "courier.ttf", "coure.fon", "couree.fon", "courer.fon", "coureg.fon", "couret.fon",
    "coue1255.fon", "coue1256.fon", "coue1257.fon",
    // fixedsys, fixedsys_jp
    "fixedsys.ttf", "vgafix.fon", "fixedsys_jp.ttf", "jvgafix.fon",
    // ms_sans_serif
    "ms_sans_serif.ttf", "sserife.fon", "sserifee.fon", "sserifer.fon", "sserifeg.fon",
    "sserifet.fon", "ssee1255.fon", "ssee1256.fon", "ssee1257.fon", "ssee874.fon",
    "sseriff.fon", "sseriffe.fon", "sseriffr.fon", "sseriffg.fon", "sserifft.fon",
    "ssef1255.fon", "ssef1256.fon", "ssef1257.fon", "ssef874.fon",
    // small_fonts, small_fonts_jp
    "small_fonts.ttf", "smalle.fon", "smallee.fon", "smaller.fon", "smalleg.fon",
    "smallet.fon", "smae1255.fon", "smae1256.fon", "smae1257.fon", "small_fonts_jp.ttf",
    "jsmalle.fon",
    // system
    "system.ttf", "vgasys.fon", "vgasyse.fon", "vgasysr.fon", "vgasysg.fon", "vgasyst.fon",
    "vgas1255.fon", "vgas1256.fon", "vgas1257.fon", "vgas874.fon", "jvgasys.fon",
    "svgasys.fon", "hvgasys.fon", "cvgasys.fon",
    // the remaining TrueType fonts
    "marlett.ttf", "symbol.ttf", "tahoma.ttf", "tahomabd.ttf", "webdings.ttf", "wingding.ttf",
};

}  // namespace

bool IsWineShippedFontFile(std::string_view name) {
    for (std::string_view file : kFiles)
        if (NamesEqualIgnoringCase(name, file)) return true;
    return false;
}

}  // namespace qv
