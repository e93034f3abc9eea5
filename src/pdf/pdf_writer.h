// A PDF 1.4 file of pages of shapes: the text in one embedded TrueType font (glyph ids through
// Identity-H, with a ToUnicode map so the text can be searched and copied), bold drawn as filled
// and stroked outlines so that no second font is needed. Every stream deflated with zlib.
#pragma once

#include <string>

#include "pdf/font.h"
#include "pdf/page.h"

namespace velkon::pdf {

std::string write_pdf(const Document& document, const FontFace& face);

}  // namespace velkon::pdf
