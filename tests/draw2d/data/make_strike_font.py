# Writes tests/draw2d/data/strike_test.ttf: a bitmap-only font (no outlines) with
# one-bit strikes at 12 and 16 pixels holding "A" (a box) and a space, for the size
# fallback and one-bit glyph tests. Needs python3-fonttools:
#   /usr/bin/python3 tests/draw2d/data/make_strike_font.py tests/draw2d/data/strike_test.ttf
from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont
import io, sys
order = [".notdef", "A", "space"]
fb = FontBuilder(unitsPerEm=1000, isTTF=True)
fb.setupGlyphOrder(order)
fb.setupCharacterMap({0x41: "A", 0x20: "space"})
pen = TTGlyphPen(None)
empty = pen.glyph()
fb.setupGlyf({g: empty for g in order})
fb.setupHorizontalMetrics({g: (600, 0) for g in order})
fb.setupHorizontalHeader(ascent=800, descent=-200)
fb.setupNameTable({"familyName": "StrikeTest", "styleName": "Regular"})
fb.setupOS2()
fb.setupPost()
fb.setupMaxp()
font = fb.font
buf = io.BytesIO(); font.save(buf); buf.seek(0)
font = TTFont(buf)
def strike(i, ppem):
  rows = 8 if ppem == 12 else 10
  return f'''
    <strike index="{i}">
      <bitmapSizeTable>
        <sbitLineMetrics direction="hori">
          <ascender value="{ppem*8//10}"/><descender value="{-ppem*2//10}"/><widthMax value="{ppem}"/>
          <caretSlopeNumerator value="0"/><caretSlopeDenominator value="0"/><caretOffset value="0"/>
          <minOriginSB value="0"/><minAdvanceSB value="0"/><maxBeforeBL value="{rows}"/><minAfterBL value="0"/>
          <pad1 value="0"/><pad2 value="0"/>
        </sbitLineMetrics>
        <sbitLineMetrics direction="vert">
          <ascender value="{ppem*8//10}"/><descender value="{-ppem*2//10}"/><widthMax value="{ppem}"/>
          <caretSlopeNumerator value="0"/><caretSlopeDenominator value="0"/><caretOffset value="0"/>
          <minOriginSB value="0"/><minAdvanceSB value="0"/><maxBeforeBL value="{rows}"/><minAfterBL value="0"/>
          <pad1 value="0"/><pad2 value="0"/>
        </sbitLineMetrics>
        <colorRef value="0"/>
        <startGlyphIndex value="1"/>
        <endGlyphIndex value="2"/>
        <ppemX value="{ppem}"/>
        <ppemY value="{ppem}"/>
        <bitDepth value="1"/>
        <flags value="1"/>
      </bitmapSizeTable>
      <eblc_index_sub_table_1 imageFormat="2" firstGlyphIndex="1" lastGlyphIndex="2">
        <glyphLoc id="1" name="A"/>
        <glyphLoc id="2" name="space"/>
      </eblc_index_sub_table_1>
    </strike>'''
def data(i, ppem):
  rows = 8 if ppem == 12 else 10
  # format 2: small metrics, bit-aligned data; width 8
  bits = "".join("ff" if r in (0, rows-1) else "81" for r in range(rows))
  sp = ""
  return f'''
    <strikedata index="{i}">
      <ebdt_bitmap_format_2 name="A">
        <SmallGlyphMetrics><height value="{rows}"/><width value="8"/><BearingX value="1"/><BearingY value="{rows}"/><Advance value="{ppem-2}"/></SmallGlyphMetrics>
        <rawimagedata>{bits}</rawimagedata>
      </ebdt_bitmap_format_2>
      <ebdt_bitmap_format_2 name="space">
        <SmallGlyphMetrics><height value="0"/><width value="0"/><BearingX value="0"/><BearingY value="0"/><Advance value="{ppem//3}"/></SmallGlyphMetrics>
        <rawimagedata></rawimagedata>
      </ebdt_bitmap_format_2>
    </strikedata>'''
xml = f'''<?xml version="1.0" encoding="UTF-8"?>
<ttFont sfntVersion="\\x00\\x01\\x00\\x00" ttLibVersion="4.38">
  <EBLC><header version="2.0"/>{strike(0,12)}{strike(1,16)}</EBLC>
  <EBDT><header version="2.0"/>{data(0,12)}{data(1,16)}</EBDT>
</ttFont>'''
open("strikes.ttx","w").write(xml)
font.importXML("strikes.ttx")
del font["glyf"]; del font["loca"]
font.save(sys.argv[1])
