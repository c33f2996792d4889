// Loading an INI file: line ends, the 255-character cut, Ctrl-Z, empty lines, section
// headers taken exactly, duplicate sections, and what loading leaves changed.
#include "ini_test_support.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using test::TIniFixture;

TStrings Sections(TBigIniFile& ini) {
  TStrings names;
  ini.ReadSections(names);
  return names;
}

TStrings Values(TBigIniFile& ini, std::string_view section) {
  TStrings lines;
  ini.ReadSectionValues(section, lines);
  return lines;
}

TEST(IniLoading, LineEndsCrLfAndLoneCrEndLinesLoneLfDoesNot) {
  TIniFixture f;
  f.Write("[A]\r\nOne=1\rTwo=2\r\nThree=3\nStill=three\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(Values(ini, "A"), (TStrings{"One=1", "Two=2", "Three=3\nStill=three"}));
  EXPECT_EQ(ini.ReadString("A", "Three", "?"), "3\nStill=three");
}

TEST(IniLoading, UnixLineEndsMakeOneLineCutTo255) {
  TIniFixture f;
  std::string text = "[A]\n";
  for (int i = 0; i < 40; ++i) text += "Key" + std::to_string(i) + "=value\n";
  f.Write(text);
  TBigIniFile ini(f.Fs(), f.Path());
  // "[A]\nKey0=..." is one line that does not end with "]": no section at all.
  EXPECT_TRUE(Sections(ini).empty());

  f.Write("[A]\r\n" + text);
  TBigIniFile again(f.Fs(), f.Path());
  const TStrings lines = Values(again, "A");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], text.substr(0, 255));
}

TEST(IniLoading, LongLinesKeepTheirFirst255CharactersAndTheRestIsDropped) {
  TIniFixture f;
  const std::string value(300 - 4, 'v');
  f.Write("[A]\r\nKey=" + value + "\r\nNext=1\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  const TStrings lines = Values(ini, "A");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 255u);
  EXPECT_EQ(lines[1], "Next=1");
  EXPECT_EQ(ini.ReadString("A", "Key", "").size(), 251u);
}

TEST(IniLoading, CtrlZEndsTheFileButTheTextBeforeItOnItsLineCounts) {
  TIniFixture f;
  f.Write("[A]\r\nKey=before\x1A" "after\r\nLater=1\r\n[B]\r\nX=1\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(ini.ReadString("A", "Key", ""), "before");
  EXPECT_EQ(ini.ReadString("A", "Later", "none"), "none");
  EXPECT_EQ(Sections(ini), (TStrings{"A"}));
}

TEST(IniLoading, EmptyLinesAreNeverStored) {
  TIniFixture f;
  f.Write("\r\n[Text]\r\nfirst\r\n\r\n\r\nsecond\r\n\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(Values(ini, "Text"), (TStrings{"first", "second"}));
}

TEST(IniLoading, HeadersAreTakenExactly) {
  TIniFixture f;
  f.Write(
      "Orphan=dropped\r\n"
      "[ Spaced Name ]\r\nA=1\r\n"
      " [NotHeader]\r\n"
      "[NotHeaderEither] \r\n"
      ";comment=ordinary\r\n"
      "no equals sign\r\n"
      "[Desc]\r\nfree text\r\n[Inside]\r\nmore\r\n");
  TBigIniFile ini(f.Fs(), f.Path());
  EXPECT_EQ(Sections(ini), (TStrings{" Spaced Name ", "Desc", "Inside"}));
  EXPECT_EQ(Values(ini, " Spaced Name "),
            (TStrings{"A=1", " [NotHeader]", "[NotHeaderEither] ", ";comment=ordinary", "no equals sign"}));
  EXPECT_EQ(ini.ReadString(" spaced name ", ";comment", ""), "ordinary");
  // A bracketed line inside free text starts a section and ends the text.
  EXPECT_EQ(Values(ini, "Desc"), (TStrings{"free text"}));
  EXPECT_EQ(Values(ini, "Inside"), (TStrings{"more"}));
}

TEST(IniLoading, DuplicateSectionsKeepTheFirstWithoutMergingOrRewriting) {
  TIniFixture f;
  const std::string original = "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n[SETTINGS]\r\nA=9\r\nC=3\r\n";
  f.Write(original);
  {
    TBigIniFile ini(f.Fs(), f.Path());
    EXPECT_EQ(Sections(ini), (TStrings{"Settings", "Other"}));
    EXPECT_EQ(ini.ReadString("settings", "A", ""), "1");
    EXPECT_EQ(ini.ReadString("Settings", "C", "none"), "none");
    EXPECT_FALSE(ini.Changed());
  }
  EXPECT_EQ(f.Read(), original);  // loading alone never rewrites

  // With a change, the file is written without the duplicate.
  {
    TBigIniFile ini(f.Fs(), f.Path());
    ini.WriteString("Other", "B", "5");
  }
  EXPECT_EQ(f.Read(), "[Settings]\r\nA=1\r\n\r\n[Other]\r\nB=5\r\n\r\n");
}

TEST(IniLoading, MissingFileGivesAnEmptyUsableObject) {
  TIniFixture f;
  TBigIniFile ini(f.Fs(), f.Path("absent.ini"));
  EXPECT_TRUE(Sections(ini).empty());
  EXPECT_EQ(ini.ReadInteger("A", "B", 7), 7);
  EXPECT_FALSE(std::filesystem::exists(f.Path("absent.ini")));
}

TEST(IniLoading, TextInMemoryFollowsTheSameRules) {
  TIniFixture f;
  TBigIniFile ini(f.Fs(), "");
  ini.LoadFromText("[a]\rx=1\r\n[A]\r\nx=2\x1A[b]\r\n");
  EXPECT_EQ(Sections(ini), (TStrings{"a"}));
  EXPECT_EQ(ini.ReadInteger("A", "X", 0), 1);
}

TEST(IniLoading, SettingTheFileNameFlushesTheOldFileAndLoadsTheNew) {
  TIniFixture f;
  f.Write("[B]\r\nX=2\r\n", "b.ini");
  TBigIniFile ini(f.Fs(), f.Path("a.ini"));
  ini.WriteInteger("A", "X", 1);
  ini.SetFileName(f.Path("b.ini"));
  EXPECT_EQ(f.Read("a.ini"), "[A]\r\nX=1\r\n\r\n");
  EXPECT_EQ(ini.ReadInteger("A", "X", 0), 0);
  EXPECT_EQ(ini.ReadInteger("B", "X", 0), 2);
  EXPECT_FALSE(ini.Changed());
}

}  // namespace
}  // namespace lumora
