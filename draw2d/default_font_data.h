// The bitmap of the built-in 8 x 16 font (codes 32 to 127), kept in a file of its
// own because it is generated (tools/make_default_font.cpp).
#pragma once

inline constexpr int DefaultFontBytes = 1536;
// 16 rows of 96 bytes; byte j of row r is character 32 + j, bit k (least
// significant first) the pixel at column k of its 8-pixel cell.
extern const unsigned char DefaultFontBits[DefaultFontBytes];
