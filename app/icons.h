// The program icon and the buttons' glyphs. Glyphs come from the desktop's
// icon theme where it has them; the ones shipped in the resources fill in.
#pragma once

#include <QIcon>

namespace varnok {

// The black dual-in-line chip lying diagonally, with yellow pins.
QIcon ProgramIcon();

enum class Glyph { Start, Close, Help, Save, Erase, Ok, Cancel };
QIcon GlyphIcon(Glyph glyph);

// An SVG from the resources drawn at the usual icon sizes, so no icon-engine
// plugin is needed to show it.
QIcon SvgIcon(const QString& resource);

}  // namespace varnok
