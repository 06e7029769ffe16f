// The program's dialog templates: the size in pixels of each window the skin library
// creates from a template id. Skinned windows take the size of their skin; the About box's
// 271 x 73 dialog units come out at the 8-point dialog font's 1.5 x 1.625 pixels a unit.
#pragma once

#include <iterator>

namespace dialog_templates {

struct DialogTemplate {
    unsigned id;
    int width;
    int height;
};

inline constexpr DialogTemplate kTemplates[] = {
    {100, 407, 119},  // About box
    {102, 690, 421},  // main window (skin 129)
    {108, 503, 344},  // home page (page skin 147)
    {109, 503, 344},  // backup and restore page
    {111, 503, 344},  // scan page
    {116, 503, 344},  // options page
    {117, 503, 344},  // help and support page
    {130, 503, 344},  // scan results page
    {146, 503, 344},  // Quick Boot page
    {214, 609, 285},  // exit pop-up (skin 243)
    {221, 503, 344},  // Quick Boot result page
};

// The template of `id`, or null.
constexpr const DialogTemplate* FindTemplate(unsigned id) {
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

}  // namespace dialog_templates
