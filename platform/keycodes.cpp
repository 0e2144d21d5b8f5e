// Key-code table: only the low byte of the unshifted key symbol decides, so Latin-1
// symbols and the 0xFFxx function keys share one mapping.
#include "platform/keycodes.h"

int TranslateKeySym(unsigned long keysym) {
  const int b = static_cast<int>(keysym & 0xFF);
  if (b >= 0x61 && b <= 0x7E) return b - 32;  // a-z -> 65-90
  if (b >= 0x51 && b <= 0x54) return b - 44;  // cursor left, up, right, down -> 37-40
  if (b >= 0xBE && b <= 0xC9) return b - 78;  // F1-F12 -> 112-123
  switch (b) {
    case 0xE1: return 160;  // shift
    case 0xE2: return 161;
    case 0xE3: return 162;  // control
    case 0xE4: return 163;
    case 0xE9: return 164;  // alt
    case 0xEA: return 165;
    case 0xEB: return 91;   // logo keys
    case 0xEC: return 92;
    case 0x7F: return 144;  // num lock
    case 0x14: return 145;  // scroll lock
    case 0x9E: return 96;   // keypad 0-9 without num lock
    case 0x9C: return 97;
    case 0x99: return 98;
    case 0x9B: return 99;
    case 0x96: return 100;
    case 0x9D: return 101;
    case 0x98: return 102;
    case 0x95: return 103;
    case 0x97: return 104;
    case 0x9A: return 105;
    case 0x9F: return 110;  // keypad decimal
    case 0x8D: return 13;   // keypad enter
    case 0xAA: return 106;  // keypad * + - /
    case 0xAB: return 107;
    case 0xAD: return 109;
    case 0xAF: return 111;
    case 0x50: return 36;   // home, end
    case 0x57: return 35;
    case 0x55: return 33;   // page up, page down
    case 0x56: return 34;
    case 0xFF: return 46;   // delete
    case 0x60: return 192;  // grave
    case 0x2D: return 189;  // minus, equals
    case 0x3D: return 187;
    case 0x5B: return 219;  // brackets, backslash
    case 0x5D: return 221;
    case 0x5C: return 226;
    case 0x3B: return 186;  // semicolon, apostrophe
    case 0x27: return 222;
    case 0x2C: return 188;  // comma, period, slash
    case 0x2E: return 190;
    case 0x2F: return 191;
    default: return b;      // backspace 8, tab 9, return 13, escape 27, space 32, digits
  }
}
