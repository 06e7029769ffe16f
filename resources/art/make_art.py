#!/usr/bin/env python3
"""Draws Quorvane's art: window skins, button faces, banner images and the program icon.

Every picture is written as an SVG source into resources/art/svg/ and rendered to a PNG of
the same name in resources/art/png/ with rsvg-convert (Debian package librsvg2-bin). The
build embeds the PNGs; run this script again after changing a drawing.

The program icon also goes into the desktop's icon theme, resources/icons/hicolor/: the SVG
as the scalable icon and PNGs of the theme's usual sizes, named after the desktop entry's id.
The install step copies them as they are, so the build needs no SVG renderer.

File names are "<resource id>_<name>": the id is the one the program loads the picture by.
Skins and faces have a transparent background where the window or the control behind them
should show through.

    resources/art/make_art.py            # writes svg/, png/ and the icon theme
    resources/art/make_art.py icons      # writes only the icon theme
"""
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
SVG_DIR = HERE / "svg"
PNG_DIR = HERE / "png"
ICON_THEME_DIR = HERE.parent / "icons" / "hicolor"
APP_ID = "com.zembrill.Quorvane"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)

# ---- palette -------------------------------------------------------------------------------
NIGHT = "#16203A"        # title bar and navigation column
NIGHT_2 = "#1D2A4A"
NIGHT_HOVER = "#27385F"
NIGHT_PRESS = "#101829"
PAPER = "#F6F8FC"        # page area
PAPER_LINE = "#DCE3EE"
INK = "#1E2B48"          # dark text on paper
MIST = "#E9EFF8"         # light text on night
MUTED = "#93A3C2"
TEAL = "#22B3A4"
TEAL_DARK = "#178C80"
BLUE = "#3C7BF0"
CORAL = "#E8605A"
FONT = "DejaVu Sans"


def svg(width, height, body, defs=""):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">\n<defs>{defs}</defs>\n{body}\n</svg>\n')


def text(x, y, content, size, fill, weight="normal", anchor="start", spacing=0):
    return (f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" '
            f'font-weight="{weight}" fill="{fill}" text-anchor="{anchor}" '
            f'letter-spacing="{spacing}">{content}</text>')


# ---- glyphs: small line drawings on a 24 x 24 grid, stroked with the given colour ------------
def glyph(name, colour, backdrop, stroke=2.0):
    line = f'stroke="{colour}" stroke-width="{stroke}" stroke-linecap="round" stroke-linejoin="round"'
    s = f'fill="none" {line}'
    if name == "scan":
        return (f'<circle cx="10" cy="10" r="6.5" {s}/><path d="M15 15 L21 21" {s}/>'
                f'<path d="M7.5 10 L9.5 12 L13 8" {s}/>')
    if name == "boot":
        return (f'<path d="M4 17 A8.5 8.5 0 1 1 20 17" {s}/><path d="M12 14 L16.5 8.5" {s}/>'
                f'<circle cx="12" cy="14" r="1.4" fill="{colour}" stroke="none"/>')
    if name == "backup":
        return (f'<path d="M4 12 A8 8 0 1 0 6.6 6.1" {s}/><path d="M3.5 4 L4 8 L8 7.5" {s}/>'
                f'<path d="M12 8 L12 12 L15 14" {s}/>')
    if name == "options":
        return (f'<path d="M4 7 H20 M4 12 H20 M4 17 H20" {s}/>'
                f'<circle cx="9" cy="7" r="2.2" fill="{backdrop}" {line}/>'
                f'<circle cx="15" cy="12" r="2.2" fill="{backdrop}" {line}/>'
                f'<circle cx="8" cy="17" r="2.2" fill="{backdrop}" {line}/>')
    raise ValueError(name)


def logo_mark(x, y, size):
    """The program's mark: a ring with a sweeping tail, on a rounded teal-to-blue tile."""
    k = size / 64.0
    return (f'<g transform="translate({x} {y}) scale({k})">'
            f'<rect x="2" y="2" width="60" height="60" rx="15" fill="url(#markfill)"/>'
            f'<circle cx="30" cy="30" r="15" fill="none" stroke="#FFFFFF" stroke-width="7"/>'
            f'<path d="M38 38 L50 50" stroke="#FFFFFF" stroke-width="7" stroke-linecap="round"/>'
            f'<circle cx="48" cy="15" r="3.5" fill="#FFFFFF" opacity="0.85"/>'
            f'</g>')


MARK_DEFS = (f'<linearGradient id="markfill" x1="0%" y1="0%" x2="100%" y2="100%">'
             f'<stop offset="0%" stop-color="{TEAL}"/><stop offset="100%" stop-color="{BLUE}"/>'
             f'</linearGradient>')


# ---- skins ---------------------------------------------------------------------------------
def main_skin():
    w, h = 690, 421
    defs = MARK_DEFS + (
        f'<linearGradient id="navfill" x1="0%" y1="0%" x2="0%" y2="100%">'
        f'<stop offset="0%" stop-color="{NIGHT_2}"/><stop offset="100%" stop-color="{NIGHT}"/>'
        f'</linearGradient>'
        f'<clipPath id="round"><rect x="0" y="0" width="{w}" height="{h}" rx="12"/></clipPath>')
    body = [f'<g clip-path="url(#round)">',
            f'<rect x="0" y="0" width="{w}" height="{h}" fill="url(#navfill)"/>',
            # a faint diagonal sheen over the navigation column
            f'<path d="M0 260 L184 150 L184 421 L0 421 Z" fill="#FFFFFF" opacity="0.025"/>',
            # page area: the pages sit at (185, 41) and are 503 x 344
            f'<rect x="180" y="38" width="510" height="351" fill="{PAPER}"/>',
            f'<rect x="180" y="38" width="510" height="1" fill="#0E1526" opacity="0.35"/>',
            # footer
            f'<rect x="180" y="389" width="510" height="32" fill="{NIGHT}"/>',
            f'</g>',
            logo_mark(12, 7, 22),
            text(42, 24, "Quorvane", 16, "#FFFFFF", "bold", spacing=0.3),
            text(140, 24, "registry care for Wine prefixes", 11, MUTED),
            text(14, 408, "Zembrill", 11, MUTED, "bold", spacing=1),
            text(676, 409, "Quorvane 1.0  ·  Build 146", 10.5, MUTED, anchor="end"),
            f'<rect x="14" y="330" width="150" height="1" fill="{MUTED}" opacity="0.25"/>',
            text(14, 352, "Keep every prefix tidy:", 10.5, MUTED),
            text(14, 368, "scan, fix, back up, boot fast.", 10.5, MUTED)]
    return svg(w, h, "\n".join(body), defs)


def page_skin():
    w, h = 503, 344
    defs = (f'<linearGradient id="wash" x1="0%" y1="0%" x2="0%" y2="100%">'
            f'<stop offset="0%" stop-color="#FFFFFF"/><stop offset="100%" stop-color="{PAPER}"/>'
            f'</linearGradient>')
    body = [f'<rect x="0" y="0" width="{w}" height="{h}" rx="8" fill="url(#wash)"/>',
            f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="8" fill="none" stroke="{PAPER_LINE}"/>',
            # a large, very light ring in the lower right corner as a watermark
            f'<circle cx="455" cy="300" r="70" fill="none" stroke="{TEAL}" stroke-width="18" opacity="0.05"/>',
            f'<path d="M500 350 L520 370" stroke="{TEAL}" stroke-width="18" opacity="0.05"/>']
    return svg(w, h, "\n".join(body), defs)


def exit_skin():
    w, h = 609, 285
    defs = MARK_DEFS + (
        f'<linearGradient id="band" x1="0%" y1="0%" x2="100%" y2="100%">'
        f'<stop offset="0%" stop-color="{NIGHT_2}"/><stop offset="100%" stop-color="{NIGHT}"/>'
        f'</linearGradient>'
        f'<clipPath id="round"><rect x="0" y="0" width="{w}" height="{h}" rx="12"/></clipPath>')
    body = [f'<g clip-path="url(#round)">',
            f'<rect x="0" y="0" width="{w}" height="{h}" fill="{PAPER}"/>',
            f'<rect x="0" y="0" width="{w}" height="92" fill="url(#band)"/>',
            f'<circle cx="560" cy="20" r="90" fill="{TEAL}" opacity="0.10"/>',
            f'<circle cx="600" cy="90" r="50" fill="{BLUE}" opacity="0.10"/>',
            f'</g>',
            f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="12" fill="none" stroke="{PAPER_LINE}"/>',
            logo_mark(28, 22, 48),
            text(92, 46, "Thanks for using Quorvane", 21, "#FFFFFF", "bold"),
            text(92, 70, "Your prefixes are in good hands.", 13, MUTED),
            text(40, 132, "Before you go: Zembrill writes short guides on keeping Wine prefixes", 13.5, INK),
            text(40, 154, "fast and tidy, and offers its other tools to Quorvane users at a", 13.5, INK),
            text(40, 176, "reduced price. Would you like to see the current offer?", 13.5, INK)]
    return svg(w, h, "\n".join(body), defs)


# ---- buttons -------------------------------------------------------------------------------
NAV_W, NAV_H = 180, 66


def nav_face(icon, label, state):
    """state: normal, hover, pressed, current (the disabled look that marks the page on show)."""
    w, h = NAV_W, NAV_H
    parts = []
    if state == "hover":
        parts.append(f'<rect x="8" y="4" width="{w - 12}" height="{h - 8}" rx="10" fill="{NIGHT_HOVER}"/>')
    elif state == "pressed":
        parts.append(f'<rect x="8" y="4" width="{w - 12}" height="{h - 8}" rx="10" fill="{NIGHT_PRESS}"/>')
    elif state == "current":
        # a tab joined to the page area on its right
        parts.append(f'<path d="M18 4 H{w} V{h - 4} H18 A10 10 0 0 1 8 {h - 14} V14 A10 10 0 0 1 18 4 Z" fill="{PAPER}"/>')
        parts.append(f'<rect x="8" y="18" width="4" height="{h - 36}" rx="2" fill="{TEAL}"/>')
    on_paper = state == "current"
    icon_colour = TEAL_DARK if on_paper else (TEAL if state != "normal" else "#8FD9D0")
    text_colour = INK if on_paper else ("#FFFFFF" if state != "normal" else MIST)
    dy = 1 if state == "pressed" else 0
    backdrop = {"normal": NIGHT_2, "hover": NIGHT_HOVER, "pressed": NIGHT_PRESS, "current": PAPER}[state]
    parts.append(f'<g transform="translate(24 {21 + dy})">{glyph(icon, icon_colour, backdrop)}</g>')
    parts.append(text(60, 38 + dy, label, 13.5, text_colour, "bold"))
    return svg(w, h, "\n".join(parts))


def window_face(kind, state):
    w = h = 24
    parts = []
    if state == "hover":
        fill = CORAL if kind == "close" else "#33466F"
        parts.append(f'<circle cx="12" cy="12" r="11" fill="{fill}"/>')
    elif state == "pressed":
        fill = "#C94B46" if kind == "close" else "#0F1728"
        parts.append(f'<circle cx="12" cy="12" r="11" fill="{fill}"/>')
    colour = "#FFFFFF" if state != "normal" else MIST
    s = f'stroke="{colour}" stroke-width="1.8" stroke-linecap="round"'
    if kind == "close":
        parts.append(f'<path d="M8 8 L16 16 M16 8 L8 16" {s}/>')
    else:
        parts.append(f'<path d="M7.5 12.5 H16.5" {s}/>')
    return svg(w, h, "\n".join(parts))


def pill_face(width, height, label, style, state):
    """A rounded push button: style 'primary' (teal) or 'quiet' (outlined)."""
    r = height / 2
    dy = 1 if state == "pressed" else 0
    parts = []
    if style == "primary":
        top, bottom = {"normal": (TEAL, TEAL_DARK), "hover": ("#2CC7B7", TEAL),
                       "pressed": (TEAL_DARK, "#137369"), "disabled": ("#B8C4D6", "#A8B5C9")}[state]
        defs = (f'<linearGradient id="g" x1="0%" y1="0%" x2="0%" y2="100%">'
                f'<stop offset="0%" stop-color="{top}"/><stop offset="100%" stop-color="{bottom}"/>'
                f'</linearGradient>')
        parts.append(f'<rect x="1" y="{1 + dy}" width="{width - 2}" height="{height - 3}" rx="{r - 1}" fill="#0E1526" opacity="0.12"/>')
        parts.append(f'<rect x="1" y="{dy}" width="{width - 2}" height="{height - 3}" rx="{r - 1}" fill="url(#g)"/>')
        colour = "#FFFFFF"
    else:
        defs = ""
        fill = {"normal": "#FFFFFF", "hover": "#EEF3FA", "pressed": "#E1E8F3", "disabled": "#F3F5F9"}[state]
        line = {"normal": "#C5D0E0", "hover": "#9FB0CA", "pressed": "#8A9DBC", "disabled": "#DDE3EC"}[state]
        parts.append(f'<rect x="1.5" y="{1.5 + dy}" width="{width - 3}" height="{height - 4}" rx="{r - 1.5}" fill="{fill}" stroke="{line}"/>')
        colour = "#A0ABBD" if state == "disabled" else INK
    parts.append(text(width / 2, height / 2 + 4.5 + dy - 1, label, 13.5, colour, "bold", "middle"))
    return svg(width, height, "\n".join(parts), defs)


# ---- banner images (64 x 64) ---------------------------------------------------------------
def banner(kind):
    defs = (f'<linearGradient id="tile" x1="0%" y1="0%" x2="100%" y2="100%">'
            f'<stop offset="0%" stop-color="{TEAL}"/><stop offset="100%" stop-color="{BLUE}"/>'
            f'</linearGradient>')
    base = (f'<rect x="2" y="2" width="60" height="60" rx="16" fill="url(#tile)"/>'
            f'<rect x="2" y="2" width="60" height="30" rx="16" fill="#FFFFFF" opacity="0.08"/>')
    s = 'fill="none" stroke="#FFFFFF" stroke-width="4" stroke-linecap="round" stroke-linejoin="round"'
    art = {
        # a shield with a tick
        "home": f'<path d="M32 13 L47 19 V31 C47 41 40 48 32 51 C24 48 17 41 17 31 V19 Z" {s}/>'
                f'<path d="M25 32 L30 37 L40 26" {s}/>',
        # a magnifier over registry rows
        "scan": f'<path d="M15 18 H33 M15 26 H27 M15 34 H24" {s} opacity="0.6"/>'
                f'<circle cx="36" cy="33" r="10" {s}/><path d="M43 40 L50 47" {s}/>',
        # an archive box with a return arrow
        "backup": f'<path d="M15 22 H49 V47 H15 Z" {s}/><path d="M13 15 H51 V22 H13 Z" {s}/>'
                  f'<path d="M27 36 H38 A4 4 0 0 0 38 28 H30" {s}/><path d="M31 24.5 L27.5 28 L31 31.5" {s}/>',
        # a gauge pointing high
        "boot": f'<path d="M15 42 A18 18 0 1 1 49 42" {s}/><path d="M32 38 L42 25" {s}/>'
                f'<circle cx="32" cy="38" r="3" fill="#FFFFFF"/>',
        # three sliders
        "options": f'<path d="M16 20 H48 M16 32 H48 M16 44 H48" {s} opacity="0.7"/>'
                   f'<circle cx="24" cy="20" r="4.5" fill="#FFFFFF"/><circle cx="40" cy="32" r="4.5" fill="#FFFFFF"/>'
                   f'<circle cx="28" cy="44" r="4.5" fill="#FFFFFF"/>',
        # a speech bubble with a question mark
        "help": f'<path d="M14 18 A5 5 0 0 1 19 13 H45 A5 5 0 0 1 50 18 V38 A5 5 0 0 1 45 43 H28 L19 51 V43 A5 5 0 0 1 14 38 Z" {s}/>'
                f'<path d="M27 23 A5 5 0 1 1 33 28 V31" {s}/><circle cx="33" cy="37" r="2.4" fill="#FFFFFF"/>',
    }[kind]
    return svg(64, 64, base + art, defs)


def home_card():
    """The panel under the home page's status lines; its top is left clear above the lines."""
    w, h, top = 480, 112, 18
    return svg(w, h, "\n".join([
        f'<rect x="0.5" y="{top + 0.5}" width="{w - 1}" height="{h - top - 1}" rx="10" fill="#FFFFFF" stroke="{PAPER_LINE}"/>',
        f'<rect x="14" y="{top + 14}" width="3" height="{h - top - 28}" rx="1.5" fill="{TEAL}" opacity="0.8"/>']))


def note_picture():
    """The small sign beside the scan page's note: an 'i' in a ring."""
    return svg(32, 32, f'<circle cx="16" cy="16" r="12" fill="#FFFFFF" stroke="{BLUE}" stroke-width="2"/>'
                       f'<circle cx="16" cy="10.5" r="1.8" fill="{BLUE}"/>'
                       f'<path d="M16 15 V22.5" stroke="{BLUE}" stroke-width="2.6" stroke-linecap="round"/>')


def boot_picture():
    """The Boot Up Results picture: a stopwatch whose hand has swept a short arc."""
    s = f'fill="none" stroke="{TEAL}" stroke-width="4" stroke-linecap="round"'
    return svg(72, 72, "\n".join([
        f'<circle cx="36" cy="40" r="26" fill="#FFFFFF" stroke="{BLUE}" stroke-width="4"/>',
        f'<rect x="30" y="6" width="12" height="6" rx="2" fill="{BLUE}"/>',
        f'<path d="M36 12 V14" stroke="{BLUE}" stroke-width="4"/>',
        f'<path d="M36 22 A18 18 0 0 1 53 34" {s}/>',
        f'<path d="M36 40 L47 29" stroke="{INK}" stroke-width="3.5" stroke-linecap="round"/>',
        f'<circle cx="36" cy="40" r="3.5" fill="{INK}"/>']))


def app_icon():
    return svg(64, 64, logo_mark(0, 0, 64), MARK_DEFS)


# ---- the catalogue: resource id, name, drawing ----------------------------------------------
def catalogue():
    items = [(128, "app_icon", app_icon()),
             (129, "main_skin", main_skin()),
             (147, "page_skin", page_skin()),
             (243, "exit_skin", exit_skin())]
    # navigation buttons: normal, hover, pressed, current (disabled)
    navs = [("scan", "Registry Scan", (131, 133, 132, 205)),
            ("boot", "Quick Boot", (234, 233, 232, 235)),
            ("backup", "Backups", (137, 139, 138, 206)),
            ("options", "Options", (142, 141, 140, 209))]
    for icon, label, ids in navs:
        for rid, state in zip(ids, ("normal", "hover", "pressed", "current")):
            items.append((rid, f"nav_{icon}_{state}", nav_face(icon, label, state)))
    # window buttons: normal, hover, pressed (also the disabled face)
    for kind, ids in (("minimize", (154, 153, 158)), ("close", (157, 156, 155))):
        for rid, state in zip(ids, ("normal", "hover", "pressed")):
            items.append((rid, f"window_{kind}_{state}", window_face(kind, state)))
    # push buttons: name, ids of the normal, hover and pressed faces (the pressed face is also
    # the disabled one, e.g. while a backup runs), size, label, style
    pills = [("exit_yes", (244, 249, 248), 160, 42, "Yes, Please!", "primary"),
             ("exit_no", (247, 246, 245), 160, 42, "No, Thanks", "quiet"),
             ("home_scan", (149, 151, 150), 190, 44, "Scan Now", "primary"),
             ("options_save", (230, 229, 228), 150, 40, "Save Changes", "primary"),
             ("scan_stop", (171, 170, 169), 160, 40, "Stop Scanning", "quiet"),
             ("results_fix", (174, 175, 176), 160, 40, "Fix Errors", "primary"),
             ("backup_now", (212, 211, 210), 160, 40, "Backup Now", "primary"),
             ("restore_now", (216, 213, 215), 160, 40, "Restore Now", "primary"),
             ("boot_apply", (236, 238, 237), 170, 40, "Apply Changes", "primary"),
             ("boot_refresh", (239, 241, 240), 120, 40, "Refresh", "quiet"),
             ("boot_start", (257, 259, 258), 160, 40, "Start", "primary")]
    for name, ids, width, height, label, style in pills:
        for rid, state in zip(ids, ("normal", "hover", "pressed")):
            items.append((rid, f"{name}_{state}", pill_face(width, height, label, style, state)))
    # pictures: the panel under the home page's status lines, the sign beside the scan
    # page's note, the Boot Up Results stopwatch
    items.append((152, "home_card", home_card()))
    items.append((201, "scan_note", note_picture()))
    items.append((256, "boot_picture", boot_picture()))
    # banner images
    for rid, kind in ((166, "home"), (165, "scan"), (180, "backup"), (251, "boot"),
                      (227, "options"), (168, "help")):
        items.append((rid, f"banner_{kind}", banner(kind)))
    return items


def write_icon_theme():
    """The program icon in hicolor/scalable/apps and hicolor/NxN/apps."""
    scalable = ICON_THEME_DIR / "scalable" / "apps"
    scalable.mkdir(parents=True, exist_ok=True)
    svg_path = scalable / f"{APP_ID}.svg"
    svg_path.write_text(app_icon())
    for size in ICON_SIZES:
        folder = ICON_THEME_DIR / f"{size}x{size}" / "apps"
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size),
                        "-o", str(folder / f"{APP_ID}.png"), str(svg_path)], check=True)
    print(f"make_art.py: the icon in {len(ICON_SIZES)} sizes and as SVG in {ICON_THEME_DIR}")


def main():
    if shutil.which("rsvg-convert") is None:
        sys.exit("make_art.py: rsvg-convert is missing (Debian package librsvg2-bin)")
    if sys.argv[1:] == ["icons"]:
        write_icon_theme()
        return
    if sys.argv[1:]:
        sys.exit("usage: make_art.py [icons]")
    SVG_DIR.mkdir(exist_ok=True)
    PNG_DIR.mkdir(exist_ok=True)
    for old in list(SVG_DIR.glob("*.svg")) + list(PNG_DIR.glob("*.png")):
        old.unlink()
    for rid, name, source in catalogue():
        stem = f"{rid}_{name}"
        svg_path = SVG_DIR / f"{stem}.svg"
        svg_path.write_text(source)
        subprocess.run(["rsvg-convert", "-o", str(PNG_DIR / f"{stem}.png"), str(svg_path)], check=True)
    print(f"make_art.py: {len(catalogue())} pictures in {PNG_DIR}")
    write_icon_theme()


if __name__ == "__main__":
    main()
