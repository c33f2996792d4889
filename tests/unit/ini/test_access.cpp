// Reading and writing through the INI family: section and key lookup, each typed
// reader and writer, erasing, whole-content access, fonts, and writing back.
#include "ini_test_support.h"

#include "ini/ini_text.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using test::TIniFixture;

TEST(IniLookup, SectionsAndKeysMatchCaseInsensitivelyWithoutTrimming) {
  TIniFixture f;
  f.Write("[Show]\r\nSpeed = 5\r\nspeed=6\r\nSPEED=7\r\nNoEquals\r\n[\xC4rger]\r\nK\xE9y=1\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(ini.ReadString("SHOW", "Speed", "?"), "6");  // "Speed " is another key
  EXPECT_EQ(ini.ReadString("Show", "Speed ", "?"), " 5");
  EXPECT_EQ(ini.ReadString("Show", "NoEquals", "?"), "?");
  EXPECT_EQ(ini.ReadString("\xE4RGER", "k\xC9Y", "?"), "1");  // accented letters of the Western code page
}

TEST(IniLookup, WesternLettersFoldWithTheirCapitals) {
  EXPECT_TRUE(ini::SameText("\xC4\xD6\xDC", "\xE4\xF6\xFC"));
  EXPECT_FALSE(ini::SameText("\xD7", "\xF7"));  // multiplication and division signs
}

TEST(IniLookup, LookupsFindSectionsWhereverTheLastOneStopped) {
  TIniFixture f;
  f.Write("[A]\r\nK=a\r\n[B]\r\nK=b\r\n[C]\r\nK=c\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  for (const char* order : {"CBA", "ACB", "BBA", "CAC"}) {
    for (const char* s = order; *s != '\0'; ++s) {
      const std::string section(1, *s);
      std::string expected(1, static_cast<char>(*s - 'A' + 'a'));
      EXPECT_EQ(ini.ReadString(section, "K", ""), expected) << order;
      TStrings values;
      ini.ReadSectionValues(section, values);
      EXPECT_EQ(values, (TStrings{"K=" + expected})) << order;
    }
  }
  EXPECT_EQ(ini.ReadString("D", "K", "none"), "none");
  EXPECT_EQ(ini.ReadString("A", "K", ""), "a");
}

TEST(IniLookup, SectionListRemembersItsLastHitAndForgetsItOnRemoval) {
  TSectionList list;
  for (const char* name : {"One", "Two", "Three"}) list.Add(name, std::make_unique<TIniSectionLines>());
  EXPECT_EQ(list.IndexOf("three"), 2);
  EXPECT_EQ(list.RememberedIndex(), 2);
  EXPECT_EQ(list.IndexOf("ONE"), 0);
  EXPECT_EQ(list.IndexOf("Four"), -1);
  list.IndexOf("Two");
  list.Delete(2);
  EXPECT_EQ(list.RememberedIndex(), 0);
  EXPECT_EQ(list.IndexOf("Two"), 1);
}

TEST(IniReads, IntegersTakeDecimalAndHexadecimalTextsElseTheDefault) {
  TIniFixture f;
  f.Write(
      "[N]\r\nDec=-42\r\nHex1=0x1F\r\nHex2=$1F\r\nHex3=0X10\r\nBad=12abc\r\nEmpty=\r\nBlank= 7\r\n"
      "Big=2147483648\r\nMin=-2147483648\r\nAllBits=$FFFFFFFF\r\nTrail=7 \r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(ini.ReadInteger("N", "Dec", 0), -42);
  EXPECT_EQ(ini.ReadInteger("N", "Hex1", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "Hex2", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "Hex3", 0), 16);
  EXPECT_EQ(ini.ReadInteger("N", "Bad", 5), 5);
  EXPECT_EQ(ini.ReadInteger("N", "Empty", 5), 5);
  EXPECT_EQ(ini.ReadInteger("N", "Blank", 5), 7);
  EXPECT_EQ(ini.ReadInteger("N", "Big", 5), 5);
  EXPECT_EQ(ini.ReadInteger("N", "Min", 5), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("N", "AllBits", 5), -1);
  EXPECT_EQ(ini.ReadInteger("N", "Trail", 5), 5);
  EXPECT_EQ(ini.ReadInteger("N", "Missing", 5), 5);
  EXPECT_EQ(ini.ReadInteger("Missing", "Dec", 5), 5);
}

TEST(IniReads, FlagsAreNonzeroIntegers) {
  TIniFixture f;
  f.Write("[B]\r\nOne=1\r\nMinus=-1\r\nHex=0x10\r\nZero=0\r\nWord=yes\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_TRUE(ini.ReadBool("B", "One", false));
  EXPECT_TRUE(ini.ReadBool("B", "Minus", false));
  EXPECT_TRUE(ini.ReadBool("B", "Hex", false));
  EXPECT_FALSE(ini.ReadBool("B", "Zero", true));
  EXPECT_TRUE(ini.ReadBool("B", "Word", true));
  EXPECT_FALSE(ini.ReadBool("B", "Word", false));
}

TEST(IniReads, RealsAcceptPointAndCommaWhateverTheRegion) {
  TIniFixture f;
  f.Write("[F]\r\nPoint=100.76530456543\r\nComma=12,5\r\nExp=1.5E-7\r\nInt=50\r\nBad=1.2.3\r\nWord=abc\r\n"
          "Huge=1E39\r\nLead=.5\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Point", 0), 100.76530456543f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Comma", 0), 12.5f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Exp", 0), 1.5e-7f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Int", 0), 50.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Bad", 100), 100.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Word", 100), 100.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Huge", 100), 100.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("F", "Lead", 0), 0.5f);
}

TEST(IniReads, StringsAreEverythingAfterTheFirstEqualsSign) {
  TIniFixture f;
  f.Write("[S]\r\nUrl=http://x/?a=b\r\nEmpty=\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(ini.ReadString("S", "Url", ""), "http://x/?a=b");
  EXPECT_EQ(ini.ReadString("S", "Empty", "default"), "");
}

TEST(IniReads, ColoursAndEnumerationsFallBackToTheDefaultWhenUnusable) {
  TIniFixture f;
  f.Write("[C]\r\nBlue=00FF0000\r\nShort=ff\r\nNotHex=00GG0000\r\nPrefixed=$00FF\r\nSys=80000005\r\n"
          "Size=2\r\nBigSize=12\r\nNegative=-1\r\nDir=7\r\n");
  TBiggerIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(ini.ReadHexInteger("C", "Blue", 1), 0x00FF0000);
  EXPECT_EQ(ini.ReadHexInteger("C", "Short", 1), 0xFF);
  EXPECT_EQ(ini.ReadHexInteger("C", "NotHex", 1), 1);
  EXPECT_EQ(ini.ReadHexInteger("C", "Prefixed", 1), 1);
  EXPECT_EQ(ini.ReadHexInteger("C", "Sys", 1), static_cast<TColor>(0x80000005u));
  EXPECT_EQ(ini.ReadHexInteger("C", "Missing", 0x123), 0x123);
  EXPECT_EQ(ini.ReadPicSize("C", "Size", TPicSize::psOriginal), TPicSize::psUser);
  EXPECT_EQ(ini.ReadPicSize("C", "BigSize", TPicSize::psFullWindow), TPicSize::psFullWindow);
  EXPECT_EQ(ini.ReadPicSize("C", "Negative", TPicSize::psFullWindow), TPicSize::psFullWindow);
  EXPECT_EQ(ini.ReadDirection("C", "Dir", TDirection::bdUp), TDirection::bdVertOut);
  EXPECT_EQ(ini.ReadBgStyle("C", "Dir", TBgStyle::bsPattern), TBgStyle::bsPattern);
}

TEST(IniReads, SectionKeysSectionNamesAndWholeContent) {
  TIniFixture f;
  f.Write("[A]\r\nx=1\r\nfree\r\ny=2=3\r\n[Empty]\r\n[B]\r\nz=\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  TStrings keys{"kept"};
  ini.ReadSection("a", keys);
  EXPECT_EQ(keys, (TStrings{"kept", "x", "", "y"}));
  TStrings names{"replaced"};
  ini.ReadSections(names);
  EXPECT_EQ(names, (TStrings{"A", "Empty", "B"}));
  TStrings all;
  ini.ReadAll(all);
  EXPECT_EQ(all, (TStrings{"[A]", "x=1", "free", "y=2=3", "", "[B]", "z=", ""}));
}

TEST(IniWrites, WritesChangeOnlyWhatDiffers) {
  TIniFixture f;
  f.Write("[A]\r\nKey=1\r\n");
  {
    TBigIniFile ini(f.Fs(), f.Path());
    ini.WriteString("A", "Key", "1");
    ini.WriteInteger("a", "KEY", 1);  // the key's letter case differs, so the line does
    EXPECT_TRUE(ini.Changed());
    EXPECT_EQ(ini.ReadString("A", "key", ""), "1");
  }
  EXPECT_EQ(f.Read(), "[A]\r\nKEY=1\r\n\r\n");
  f.Write("[A]\r\nKey=1\r\n");
  const std::string same = f.Read();
  {
    TBigIniFile ini(f.Fs(), f.Path());
    ini.WriteString("A", "Key", "1");
    EXPECT_FALSE(ini.Changed());
  }
  EXPECT_EQ(f.Read(), same);
}

TEST(IniWrites, NewKeysAndSectionsAreAppended) {
  TIniFixture f;
  f.Write("[A]\r\nX=1\r\n");
  {
    TBigIniFile ini(f.Fs(), f.Path());
    ini.WriteString("A", "Y", "2");
    ini.WriteString("New", "Z", std::string(300, 'z'));
  }
  EXPECT_EQ(f.Read(), "[A]\r\nX=1\r\nY=2\r\n\r\n[New]\r\nZ=" + std::string(253, 'z') + "\r\n\r\n");
}

TEST(IniWrites, EmptyKeyErasesTheSectionOrFlushes) {
  TIniFixture f;
  f.Write("[A]\r\nX=1\r\n[B]\r\nY=2\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  ini.WriteString("A", "", "");
  TStrings names;
  ini.ReadSections(names);
  EXPECT_EQ(names, (TStrings{"B"}));
  EXPECT_EQ(f.Read(), "[A]\r\nX=1\r\n[B]\r\nY=2\r\n");  // not yet written
  ini.WriteString("", "", "");
  EXPECT_EQ(f.Read(), "[B]\r\nY=2\r\n\r\n");
  EXPECT_FALSE(ini.Changed());
}

TEST(IniWrites, TypedWritersStoreTheirForms) {
  TIniFixture f;
  {
    TBiggerIniFile ini(f.Fs(), f.Path());
    ini.WriteInteger("T", "Int", -5);
    ini.WriteBool("T", "On", true);
    ini.WriteBool("T", "Off", false);
    ini.WriteFloat("T", "Real", 100.76530456543f);
    ini.WriteFloat("T", "Half", 0.5f);
    ini.WriteFloat("T", "Tiny", 1.5e-7f);
    ini.WriteFloat("T", "Huge", 1e20f);
    ini.WriteHexInteger("T", "Colour", 0x00800000);
    ini.WriteHexInteger("T", "System", static_cast<TColor>(0x80000005u));
    ini.WriteCapPos("T", "CapPos", TCapPos::cpUser);
    ini.WriteBgMode("T", "Mode", TBgMode::bmSmartTiled);
  }
  EXPECT_EQ(f.Read(),
            "[T]\r\nInt=-5\r\nOn=1\r\nOff=0\r\nReal=100.76530456543\r\nHalf=0.5\r\nTiny=1.50000005305628E-7\r\n"
            "Huge=1.00000002004088E20\r\nColour=00800000\r\nSystem=80000005\r\nCapPos=8\r\nMode=3\r\n\r\n");
}

TEST(IniWrites, EveryTypedWriterRoundTripsThroughTheFile) {
  TIniFixture f;
  TFont font;
  font.Name = "Verdana";
  font.Charset = 238;
  font.Color = 0x0000FF00;
  font.Pitch = TFontPitch::fpFixed;
  font.PixelsPerInch = 120;
  font.SetSize(14);
  font.Style = TFontStyles{true, false, true, false};
  {
    TBiggerIniFile ini(f.Fs(), f.Path());
    ini.WriteString("R", "S", "text with = sign");
    ini.WriteInteger("R", "I", INT32_MIN);
    ini.WriteFloat("R", "F", -3.25f);
    ini.WriteFloat("R", "G", 100.76530456543f);
    ini.WriteBool("R", "B", true);
    ini.WriteHexInteger("R", "H", static_cast<TColor>(0xFEDCBA98u));
    ini.WriteCapPos("R", "CapPos", TCapPos::cpBottomRight);
    ini.WritePicPos("R", "PicPos", TPicPos::poCurrent);
    ini.WritePicSize("R", "PicSize", TPicSize::psUser);
    ini.WritePicSizeRef("R", "PicSizeRef", TPicSizeRef::psrOriginal);
    ini.WriteBgStyle("R", "BgStyle", TBgStyle::bsScreen);
    ini.WriteBgBgpStyle("R", "BgBgpStyle", TBgBgpStyle::bpPattern);
    ini.WriteDirection("R", "Direction", TDirection::bdHorzOut);
    ini.WriteBgMode("R", "BgMode", TBgMode::bmTiled);
    ini.WriteFont("R", "Font", font);
  }
  TBiggerIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(ini.ReadString("R", "S", ""), "text with = sign");
  EXPECT_EQ(ini.ReadInteger("R", "I", 0), INT32_MIN);
  EXPECT_EQ(ini.ReadFloat("R", "F", 0), -3.25f);
  EXPECT_EQ(ini.ReadFloat("R", "G", 0), 100.76530456543f);
  EXPECT_TRUE(ini.ReadBool("R", "B", false));
  EXPECT_EQ(ini.ReadHexInteger("R", "H", 0), static_cast<TColor>(0xFEDCBA98u));
  EXPECT_EQ(ini.ReadCapPos("R", "CapPos", TCapPos::cpRandom), TCapPos::cpBottomRight);
  EXPECT_EQ(ini.ReadPicPos("R", "PicPos", TPicPos::poRandom), TPicPos::poCurrent);
  EXPECT_EQ(ini.ReadPicSize("R", "PicSize", TPicSize::psOriginal), TPicSize::psUser);
  EXPECT_EQ(ini.ReadPicSizeRef("R", "PicSizeRef", TPicSizeRef::psrScreen), TPicSizeRef::psrOriginal);
  EXPECT_EQ(ini.ReadBgStyle("R", "BgStyle", TBgStyle::bsSolid), TBgStyle::bsScreen);
  EXPECT_EQ(ini.ReadBgBgpStyle("R", "BgBgpStyle", TBgBgpStyle::bpNone), TBgBgpStyle::bpPattern);
  EXPECT_EQ(ini.ReadDirection("R", "Direction", TDirection::bdUp), TDirection::bdHorzOut);
  EXPECT_EQ(ini.ReadBgMode("R", "BgMode", TBgMode::bmCentered), TBgMode::bmTiled);
  EXPECT_EQ(*ini.ReadFont("R", "Font", TFont()), font);
}

TEST(IniWrites, EraseSectionAndDeleteKey) {
  TIniFixture f;
  f.Write("[A]\r\nX=1\r\nY=2\r\n[B]\r\nZ=3\r\n");
  {
    TBigIniFile ini(f.Fs(), f.Path());
    ini.ReadString("B", "Z", "");  // remembered position at the last section
    ini.EraseSection("b");
    EXPECT_EQ(ini.ReadString("A", "Y", ""), "2");
    ini.DeleteKey("A", "x");
    ini.DeleteKey("Missing", "Key");  // adds the section, empty
    TStrings names;
    ini.ReadSections(names);
    EXPECT_EQ(names, (TStrings{"A", "Missing"}));
  }
  EXPECT_EQ(f.Read(), "[A]\r\nY=2\r\n\r\n");
}

TEST(IniFonts, StyleMaskRules) {
  EXPECT_EQ(FontStyleMask(TFontStyles{true, true, true, true}), 255);
  EXPECT_EQ(FontStyleMask(TFontStyles{true, false, false, false}), 8);
  EXPECT_EQ(FontStyleMask(TFontStyles{true, true, false, false}), 12);
  EXPECT_EQ(FontStyleMask(TFontStyles{false, false, false, true}), 1);
  EXPECT_EQ(FontStyleMask(TFontStyles{}), 0);
  EXPECT_EQ(FontStylesFromMask(255), (TFontStyles{true, true, true, true}));
  EXPECT_EQ(FontStylesFromMask(15), (TFontStyles{true, true, true, true}));
  EXPECT_EQ(FontStylesFromMask(8 + 16), (TFontStyles{true, false, false, false}));
}

TEST(IniFonts, EachMissingKeyKeepsTheTemplateAndSizeWinsOverHeight) {
  TIniFixture f;
  f.Write("[F]\r\nCap_Height=-40\r\nCap_Size=18\r\nCap_Style=12\r\nCap_Name=Arial\r\n"
          "Only_Height=-40\r\n");
  TBiggerIniFile ini(f.Fs(), f.Path());
  TFont templ;
  templ.Color = 0x112233;
  templ.SetSize(10);
  const std::unique_ptr<TFont> cap = ini.ReadFont("F", "Cap", templ);
  EXPECT_EQ(cap->Size(), 18);
  EXPECT_EQ(cap->Height(), -24);
  EXPECT_EQ(cap->Style, (TFontStyles{true, true, false, false}));
  EXPECT_EQ(cap->Name, "Arial");
  EXPECT_EQ(cap->Color, 0x112233);
  EXPECT_EQ(cap->PixelsPerInch, 96);
  // Without a stored size, the template's size is applied after the stored height.
  EXPECT_EQ(ini.ReadFont("F", "Only", templ)->Size(), 10);
}

}  // namespace
}  // namespace lumora
