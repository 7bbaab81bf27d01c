// The Vorn front panel as data: where the glass lies on the panel picture, its colours, the
// 416-entry segment table, the 23 keys, and the display register value (register 9) decoded
// into lit segments and built back from them (the simulator draws its glass with the latter).
#pragma once

#include "display/LumTypes.h"

#include <QByteArray>
#include <array>
#include <vector>

// The glass on the panel picture, per mille of the picture's width (left, width) and height.
inline constexpr int VornLCDLeft = 120;
inline constexpr int VornLCDTop = 215;
inline constexpr int VornLCDWidth = 549;
inline constexpr int VornLCDHeight = 417;
// The unscaled segment map and its cache file's base name.
inline constexpr int VornMapWidth = 1999;
inline constexpr int VornMapHeight = 750;
inline constexpr char VornMapName[] = "GLASSMAP7_LCD";
// Colours as 0xRRGGBB: the backlit glass and a lit segment.
inline constexpr uint32_t VornOffColour = 0xBDFF24;
inline constexpr uint32_t VornOnColour = 0x000000;
// The panel picture that ships with the program, and its aspect (height = width * 491 / 1000).
inline constexpr int VornPanelWidth = 2000;
inline constexpr int VornPanelHeight = 982;
inline constexpr int VornPanelAspect = 491;
// The data plate's place above the glass, in pixels of that picture: the mimic writes the connected
// instrument's capacity and division there (the picture itself states none).
inline constexpr int VornPlateLeft = 240;
inline constexpr int VornPlateTop = 115;
inline constexpr int VornPlateWidth = 1098;
inline constexpr int VornPlateHeight = 40;
inline constexpr int VornPlatePixelSize = 26;

// The instrument's registers of the front panel.
inline constexpr int VornKeyRegister = 0x0008;
inline constexpr int VornDisplayRegister = 0x0009;
// Two leading characters, then one hexadecimal digit per LCD digit.
inline constexpr int VornDisplayValueLength = 2 + LcdDigitCount;
// A key held this long or longer is a long press: its code goes out with 0x80 added.
inline constexpr int VornLongPressMs = 2000;
inline constexpr int VornLongPressFlag = 0x80;

// ---- segments -----------------------------------------------------------------------------

struct TVornSegment {
    QByteArray Mask; // mask name, e.g. "f3"; its picture is segs/<Mask>.bmp
    int Column = 1;
    int Row = 1;
};

// Indexed by entry = digit * 4 + bit; bit 0 is the digit's bit of value 8, bit 3 of value 1.
const std::array<TVornSegment, LcdSegmentCount> &VornSegmentTable();
// The same in the drawing components' form (MaskFile "segs/<Mask>.bmp", ImageIndex 0).
std::array<TLcdSegment, LcdSegmentCount> VornLcdSegments();
// Every distinct mask name of the table, "blank" included, sorted.
std::vector<QByteArray> VornMaskNames();
// The first entry that uses a mask (-1 when none does).
int VornEntryOfMask(const QByteArray &mask);

// ---- the display register value -------------------------------------------------------------

// "0"-"9", "A"-"F", "a"-"f" give their value; any other character counts as 0.
int DisplayHexDigitValue(char ch);
// Lights states from a register-9 value. A value shorter than 106 characters is ignored
// (false, states untouched); otherwise every one of the 416 states is set.
bool DecodeDisplayValue(const QByteArray &value, TLcdStates &states);
// The register-9 value that lights exactly the given states (upper-case digits after `lead`,
// two characters the decoder does not interpret).
QByteArray EncodeDisplayValue(const TLcdStates &states, const QByteArray &lead = "00");
// Entries lit in states, ascending.
std::vector<int> LitEntries(const TLcdStates &states);
inline void SetEntry(TLcdStates &states, int entry, bool lit)
{
    if (entry >= 0 && entry < LcdSegmentCount)
        states[LcdEntryDigit(entry)][LcdEntryBit(entry)] = lit ? 1 : 0;
}
inline bool EntryLit(const TLcdStates &states, int entry)
{
    return entry >= 0 && entry < LcdSegmentCount && states[LcdEntryDigit(entry)][LcdEntryBit(entry)] != 0;
}

// ---- characters of the glass -----------------------------------------------------------------

// The character groups, by mask family: six large (a), nine medium (b), eight small in two
// groups of four (c), four small at the top right (d). Characters are numbered left to right.
enum TVornCharGroup : char { VornLarge = 'a', VornMedium = 'b', VornSmall = 'c', VornTop = 'd' };

// Segment letters of a character: a top, b upper right, c lower right, d bottom, e lower left,
// f upper left, g middle, h decimal point (right of the character), i and j the upper and lower
// middle verticals. Entries[letter] is the segment entry, -1 where the character has none.
enum TVornSegmentLetter : int { SegA, SegB, SegC, SegD, SegE, SegF, SegG, SegH, SegI, SegJ };
struct TVornCharacter {
    char Group = VornLarge;
    std::array<int, 10> Entries{};
};
const std::vector<TVornCharacter> &VornCharacters(TVornCharGroup group);

// The segments of a glyph as bits 1 << letter (SegH is never part of a glyph); 0 for a blank,
// and for characters the glass cannot show.
uint16_t SevenSegmentGlyph(char ch);
// Draws one character (and its decimal point when it has one); false for an index out of range.
bool VornSetCharacter(TLcdStates &states, TVornCharGroup group, int index, char ch, bool point = false);
// Writes text right-aligned into a group: a "." lights the decimal point of the character before
// it; the characters left over are cleared. Text too long for the group keeps its rightmost part.
void VornShowText(TLcdStates &states, TVornCharGroup group, const QByteArray &text);

// ---- annunciators --------------------------------------------------------------------------

// The single symbols as drawn on the panel picture.
inline constexpr char VornSymHold[] = "e1";
inline constexpr char VornSymPeak[] = "e2";
inline constexpr char VornSymRange1[] = "e10";
inline constexpr char VornSymRange2[] = "e11";
inline constexpr char VornSymZero[] = "e14"; // centre of zero
inline constexpr char VornSymNet[] = "e15";
inline constexpr char VornSymGross[] = "e16";
inline constexpr char VornSymMotion[] = "e17";
inline constexpr char VornSymPresetTare[] = "e18";
inline constexpr char VornSymTonne[] = "f1";
inline constexpr char VornSymGram[] = "f2";
inline constexpr char VornSymKg[] = "f3";
inline constexpr char VornSymLb[] = "f4";
inline constexpr char VornSymOz[] = "f5";
inline constexpr char VornSymNewton[] = "f6";
inline constexpr char VornSymPercent[] = "f7";
inline constexpr char VornSymPieces[] = "f8";
inline constexpr char VornSymPerSecond[] = "f9";
inline constexpr char VornSymPerMinute[] = "f10";
inline constexpr char VornSymPerHour[] = "f11";
// Lights (or clears) every entry that uses the mask; false when no entry does.
bool VornSetSymbol(TLcdStates &states, const QByteArray &mask, bool lit);

// ---- keys ------------------------------------------------------------------------------------

struct TVornKey {
    TLcdKey Rect;       // per mille of the mimic, ImageIndex 1 (the grey ellipse)
    int Code = -1;      // what a press sends to register 8; -1: the key sends nothing
    const char *Legend; // printed on the panel picture
};
inline constexpr int VornKeyCount = 23;
const std::array<TVornKey, VornKeyCount> &VornKeys();

// Key codes with a meaning of their own (the keypad's digits 0-9 send 0x00-0x09).
enum : int {
    VornKeyZero = 0x0B,
    VornKeyTare = 0x0C,
    VornKeyGrossNet = 0x0D,
    VornKeyPrint = 0x0E,
    VornKeyF1 = 0x0F,
    VornKeyF2 = 0x10,
    VornKeyEscape = 0x11,
    VornKeyPoint = 0x12,
    VornKeySetup = 0x13,
    VornKeyUp = 0x14,
    VornKeyDown = 0x15,
    VornKeyEnter = 0x16,
};

// The key under a point in pixels of a mimic of width x height; -1 outside every key.
int VornKeyAt(int x, int y, int width, int height);
// What a press of the key held for heldMs sends: the code, plus 0x80 for a long press;
// -1 for a key that sends nothing or an index out of range.
int VornKeyCode(int key, int heldMs);
// The data of the register-8 write for a code: four upper-case hex digits ("000B", "008B").
QByteArray VornKeyData(int code);
// The key index that sends a code (long-press flag ignored), or -1.
int VornKeyOfCode(int code);
