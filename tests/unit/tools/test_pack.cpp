// lumora-pack: the layout it writes, entries stored once, the same bytes for the same
// input, and every way a show folder is refused.
#include "tools_test_support.h"

#include "show/show_payload.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <regex>

#include <sys/stat.h>

namespace lumora {
namespace {

using test::BytesOf;
using test::TBytes;
using test::TShowFolderFixture;

constexpr std::string_view kTwoItems =
    "[Settings]\r\nSplashFile=media/a.bmp\r\nIsUseSplash=1\r\n"
    "[Pic1]\r\nPicFileName=media/a.bmp\r\nPicInterval=3\r\n"
    "[Pic1Caption]\r\nTwo\r\nlines\r\n"
    "[Pic2]\r\nPicFileName=media\\b.JPG\r\nMasked=1\r\nMaskedFileName=./media/../media/a.bmp\r\n"
    "[Snd]\r\nSndFileName1=tune.mp3\r\n";

void WriteTwoItems(TShowFolderFixture& f) {
  f.Ini(kTwoItems);
  f.File("media/a.bmp", test::Media(5000, 1));
  f.File("media/b.JPG", test::Media(7000, 2));
  f.File("tune.mp3", test::Media(3000, 3));
}

TBytes Slice(const TBytes& bytes, std::size_t at, std::size_t n) {
  return TBytes(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
}

TEST(Pack, WritesTemplateEntriesConfigurationLastAndTheTrailer) {
  TShowFolderFixture f;
  WriteTwoItems(f);
  const pack::TPackResult result = f.Pack();
  EXPECT_EQ(result.EntryCount, 3u);  // a.bmp is named three times, stored once
  const TBytes out = test::ReadFileBytes(f.Out());
  EXPECT_EQ(test::TextOf(Slice(out, 0, 16)), "MZ-test-template");

  const auto file = platform::OpenPosixReadableFile(f.Out());
  const TPayloadReport report = InspectPayload(*file);
  ASSERT_FALSE(report.Broken());
  EXPECT_EQ(report.Trailer->FlagWord, 1u);
  EXPECT_EQ(report.Trailer->InstallGate, 1u);
  EXPECT_EQ(static_cast<std::uint64_t>(report.Trailer->ConfigPosition + report.Trailer->ConfigStoredSize),
            out.size() - 16);
  ASSERT_EQ(report.Entries.size(), 5u);
  const TEntryRefReport& splash = report.Entries[0];
  EXPECT_EQ(splash.Key, "SplashFile");
  EXPECT_EQ(splash.Position, 16);  // first entry right after the template
  EXPECT_EQ(report.Entries[1].Position, splash.Position);
  EXPECT_EQ(report.Entries[3].Key, "MaskedFileName");
  EXPECT_EQ(report.Entries[3].Position, splash.Position);
  EXPECT_EQ(report.Entries[2].Extension, ".JPG");
  EXPECT_EQ(report.Entries[4].Extension, ".mp3");
  // Each entry: the inflated size, then a zlib stream at the default level.
  for (const TEntryRefReport& e : report.Entries) {
    EXPECT_EQ(std::to_integer<int>(out[static_cast<std::size_t>(e.Position) + 4]), 0x78);
    EXPECT_EQ(std::to_integer<int>(out[static_cast<std::size_t>(e.Position) + 5]), 0x9C);
  }
  TBytes inflated;
  ASSERT_EQ(InflateEntry(*file, report.Entries[2].Position, report.Entries[2].StoredSize,
                         [&](std::span<const std::byte> c) {
                           inflated.insert(inflated.end(), c.begin(), c.end());
                           return true;
                         }, true),
            TEntryStatus::Ok);
  EXPECT_EQ(inflated, test::Media(7000, 2));

  const std::string& config = report.ConfigText;
  EXPECT_EQ(config.rfind("[AppInfo]\r\nPicCount=2\r\nSndCount=1\r\n\r\n[Settings]\r\nSplashFile=.bmp\r\nSplashFilePos=16\r\n", 0), 0u);
  EXPECT_NE(config.find("[Pic1Caption]\r\nTwo\r\nlines\r\n\r\n"), std::string::npos);
  EXPECT_NE(config.find("[Snd]\r\nSndFileName1=.mp3\r\nFilePos1="), std::string::npos);
}

TEST(Pack, SameInputSameBytesAndTheInstallGateOption) {
  TShowFolderFixture f;
  WriteTwoItems(f);
  f.Pack("one.scr");
  f.Pack("two.scr");
  EXPECT_EQ(test::ReadFileBytes(f.Out("one.scr")), test::ReadFileBytes(f.Out("two.scr")));
  pack::TPackOptions options = f.Options("gate.scr");
  options.InstallGate = false;
  pack::PackShow(f.Fs(), options);
  const TBytes gated = test::ReadFileBytes(f.Out("gate.scr"));
  EXPECT_EQ(std::to_integer<int>(gated[gated.size() - 12]), 0);
}

TEST(Pack, LargeShowsReportProgressEntryByEntry) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=big.bmp\r\n[Pic2]\r\nPicFileName=small.bmp\r\n");
  f.File("big.bmp", TBytes(pack::kProgressThreshold, std::byte{7}));
  f.File("small.bmp", BytesOf("x"));
  std::vector<std::string> seen;
  pack::TPackOptions options = f.Options();
  options.Progress = [&](std::size_t i, std::size_t n, const std::string& path, std::uint64_t) {
    seen.push_back(std::to_string(i) + "/" + std::to_string(n) + " " + path);
  };
  pack::PackShow(f.Fs(), options);
  EXPECT_EQ(seen, (std::vector<std::string>{"1/2 big.bmp", "2/2 small.bmp"}));
}

struct TRefusal {
  const char* Name;
  std::string Ini;
  const char* Message;  // a regular expression the message must match
};

class PackRefuses : public ::testing::TestWithParam<TRefusal> {};

TEST_P(PackRefuses, WithAMessageNamingWhereAndNoOutput) {
  TShowFolderFixture f;
  f.File("a.bmp", BytesOf("picture"));
  f.File("sub/c.bmp", BytesOf("picture"));
  f.Ini(GetParam().Ini);
  test::WriteFileBytes(f.Out("kept.scr"), BytesOf("old output"));
  try {
    f.Pack("kept.scr");
    FAIL() << "packed";
  } catch (const pack::EPackInputError& e) {
    EXPECT_TRUE(std::regex_search(e.what(), std::regex(GetParam().Message))) << e.what();
    EXPECT_NE(std::string(e.what()).find("show.ini"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::ReadFileBytes(f.Out("kept.scr")), BytesOf("old output"));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(f.Out("kept.scr").parent_path()))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"kept.scr", "show", "template.scr"}));
}

INSTANTIATE_TEST_SUITE_P(
    EveryInputError, PackRefuses,
    ::testing::Values(
        TRefusal{"MissingFile", "[Pic1]\r\nPicFileName=missing.jpg\r\n",
                 R"(section \[Pic1\], key PicFileName, path "missing.jpg": file not found)"},
        TRefusal{"Folder", "[Pic1]\r\nPicFileName=sub\r\n", R"(path "sub": names a folder)"},
        TRefusal{"UnknownSection", "[Pic1Captoin]\r\nx\r\n",
                 R"(section \[Pic1Captoin\]: unknown section; did you mean \[Pic1Caption\]\?)"},
        TRefusal{"UnknownSectionFarOff", "[Whatever]\r\nx=1\r\n", R"(\[Whatever\]: unknown section$)"},
        TRefusal{"UnknownKey", "[Pic1]\r\nPicFileName=a.bmp\r\nPicIntervall=5\r\n",
                 R"(line 3, section \[Pic1\], key PicIntervall: unknown key; did you mean PicInterval\?)"},
        TRefusal{"SpacedKey", "[Settings]\r\nIsUseSplash = 1\r\n",
                 R"(key IsUseSplash : unknown key \(spaces around "=" belong to the key\); did you mean IsUseSplash\?)"},
        TRefusal{"NumberedSoundKey", "[Snd]\r\nSndFileNme2=a.bmp\r\n", R"(did you mean SndFileName2\?)"},
        TRefusal{"Boolean", "[Settings]\r\nIsUseSplash=yes\r\n", R"(key IsUseSplash: expected 0 or 1, not "yes")"},
        TRefusal{"Enumeration", "[Background]\r\nBgStyle=5\r\n", R"(key BgStyle: expected a whole number from 0 to 4)"},
        TRefusal{"Integer", "[Pic1]\r\nPicFileName=a.bmp\r\nPicInterval=5s\r\n", R"(key PicInterval: expected a whole number)"},
        TRefusal{"Float", "[Pic1]\r\nPicFileName=a.bmp\r\nPicSizeHor=12,5\r\n", R"(key PicSizeHor: expected a number with a decimal point)"},
        TRefusal{"Colour", "[Background]\r\nBgSolidColor=FF0000\r\n", R"(key BgSolidColor: expected a colour of exactly 8)"},
        TRefusal{"FilledKey", "[Pic1]\r\nPicFileName=a.bmp\r\nFilePos=10\r\n", R"(key FilePos: lumora-pack fills this key in)"},
        TRefusal{"DuplicateSection", "[Settings]\r\nIsUseSplash=1\r\n[SETTINGS]\r\n", R"(section \[SETTINGS\]: the section appears twice)"},
        TRefusal{"DuplicateKey", "[Settings]\r\nIsUseSplash=1\r\nisusesplash=0\r\n", R"(key isusesplash: the key appears twice)"},
        TRefusal{"TextBeforeSections", "IsUseSplash=1\r\n[Settings]\r\n", R"(line 1: text before the first \[section\])"},
        TRefusal{"NotAKeyLine", "[Settings]\r\nIsUseSplash\r\n", R"(section \[Settings\]: expected a line Key=Value)"},
        TRefusal{"LongLine", "[AppDsp]\r\n" + std::string(256, 'x') + "\r\n", R"(line 2, section \[AppDsp\]: the line is longer than 255)"},
        TRefusal{"ItemGap", "[Pic1]\r\nPicFileName=a.bmp\r\n[Pic3]\r\nPicFileName=a.bmp\r\n",
                 R"(section \[Pic2\]: the section is missing)"},
        TRefusal{"ItemWithoutFile", "[Pic1]\r\nPicInterval=3\r\n", R"(section \[Pic1\], key PicFileName: every item needs PicFileName)"},
        TRefusal{"EmptyItemFile", "[Pic1]\r\nPicFileName=\r\n", R"(key PicFileName: needs the path of a file)"},
        TRefusal{"CaptionWithoutItem", "[Pic1]\r\nPicFileName=a.bmp\r\n[Pic2Caption]\r\nhello\r\n",
                 R"(section \[Pic2Caption\]: a caption for an item that has no section \[Pic2\])"},
        TRefusal{"SoundGap", "[Snd]\r\nSndFileName2=a.bmp\r\n", R"(key SndFileName1: sounds are numbered 1, 2)"},
        TRefusal{"ParentPath", "[Pic1]\r\nPicFileName=../template.scr\r\n",
                 R"(key PicFileName, path "\.\./template\.scr": leads outside the show folder)"},
        TRefusal{"BackslashParent", "[Pic1]\r\nPicFileName=sub\\..\\..\\template.scr\r\n", R"(key PicFileName, .*leads outside)"},
        TRefusal{"AbsolutePath", "[Settings]\r\nSplashFile=/etc/hostname\r\n", R"(key SplashFile, .*an absolute path)"},
        TRefusal{"DrivePath", "[Snd]\r\nSndFileName1=C:\\a.bmp\r\n", R"(key SndFileName1, .*an absolute path)"},
        TRefusal{"NearNames", "[Pic1]\r\nPicFileName=b.bmp\r\n", R"(file not found \(.*\); near names: a\.bmp$)"},
        TRefusal{"Percent", "[Pic1]\r\nPicFileName=a.bmp\r\nPicSizeHor=50%\r\n", R"(a number such as 50 or 12\.5, without %)"},
        TRefusal{"PatternShort", "[Background]\r\nBgStyle=2\r\nBgPatternString=P|1,2,3\r\n",
                 R"(key BgPatternString: the player would show "Error in Pattern String\.": 3 numbers after)"},
        TRefusal{"PatternFunction", "[Background]\r\nBgPatternString=P|41,0,0,1,1,1,1\r\nBgStyle=3\r\nBgBgpStyle=3\r\n",
                 R"(number 1 is 41, but the functions are numbered 0 to 40)"},
        TRefusal{"PatternDivides", "[Background]\r\nBgStyle=2\r\nBgPatternString=P|18,17,0,0,0,0,0\r\n",
                 R"(function 0 divides by m)"}),
    [](const ::testing::TestParamInfo<TRefusal>& info) { return std::string(info.param.Name); });

TEST(Pack, MissingShowIniAndTemplateAreInputErrors) {
  TShowFolderFixture f;
  EXPECT_THROW(f.Pack(), pack::EPackInputError);
  f.Ini("[Settings]\r\nIsUseSplash=0\r\n");
  pack::TPackOptions options = f.Options();
  options.Template = f.Dir("no-template.scr");
  try {
    pack::PackShow(f.Fs(), options);
    FAIL();
  } catch (const pack::EPackInputError& e) {
    EXPECT_NE(std::string(e.what()).find("template, path"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(f.Out()));
}

TEST(Pack, AnUnwritableOutputIsAnOutputError) {
  TShowFolderFixture f;
  f.Ini("[Settings]\r\nIsUseSplash=0\r\n");
  pack::TPackOptions options = f.Options();
  options.Output = f.Dir("no/such/folder/out.scr");
  EXPECT_THROW(pack::PackShow(f.Fs(), options), pack::EPackOutputError);
}

TEST(Pack, UnixLineEndsAndEmptyOptionalFilesAreFine) {
  TShowFolderFixture f;
  f.File("a.bmp", BytesOf("picture"));
  f.Ini("[Settings]\nSplashFile=\nIsUseSplash=0\n[Pic1]\nPicFileName=a.bmp\n[AppInfo]\nAuthor=Me\n");
  f.Pack();
  const auto file = platform::OpenPosixReadableFile(f.Out());
  const TPayloadReport report = InspectPayload(*file);
  ASSERT_FALSE(report.Broken());
  EXPECT_EQ(report.ConfigText,
            "[Settings]\r\nIsUseSplash=0\r\n\r\n[Pic1]\r\nPicFileName=.bmp\r\nFilePos=16\r\nFileSize=19\r\n\r\n"
            "[AppInfo]\r\nPicCount=1\r\nSndCount=0\r\nAuthor=Me\r\n\r\n");
}

TEST(Pack, LinksAreFollowedInsideTheFolderOnly) {
  TShowFolderFixture f;
  f.File("media/a.bmp", BytesOf("picture"));
  std::filesystem::create_symlink("media/a.bmp", f.Show() / "inside.bmp");
  std::filesystem::create_symlink(f.Template(), f.Show() / "outside.bmp");
  f.Ini("[Pic1]\r\nPicFileName=inside.bmp\r\n");
  EXPECT_EQ(f.Pack().EntryCount, 1u);
  f.Ini("[Pic1]\r\nPicFileName=outside.bmp\r\n");
  try {
    f.Pack();
    FAIL() << "packed a file from outside the folder";
  } catch (const pack::EPackInputError& e) {
    EXPECT_NE(std::string(e.what()).find("key PicFileName, path \"outside.bmp\": a link that leads outside"),
              std::string::npos) << e.what();
  }
}

TEST(Pack, ANameMissingAsWrittenMatchesOneFileIgnoringCase) {
  TShowFolderFixture f;
  f.File("Media/Photo.JPG", BytesOf("picture"));
  f.Ini("[Pic1]\r\nPicFileName=media/photo.jpg\r\n");
  const pack::TPackResult result = f.Pack();
  ASSERT_EQ(result.Warnings.size(), 1u);
  EXPECT_NE(result.Warnings[0].find("using \"Media/Photo.JPG\" (letter case ignored)"), std::string::npos);
  f.File("media/PHOTO.jpg", BytesOf("another"));
  EXPECT_THROW(f.Pack(), pack::EPackInputError);  // two files fit
}

TEST(Pack, SoundsAndVideosTheWindowsPlayerUnderWineCannotPlayAreWarnedOf) {
  TShowFolderFixture f;
  f.File("tune.mid", BytesOf("MThd"));
  f.File("clip.mp4", BytesOf(std::string("\0\0\0\x18", 4) + "ftypisom"));
  f.File("chime.wav", BytesOf(std::string_view("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\1\0", 22)));
  f.File("photo.mp4", BytesOf(std::string("\0\0\0\x18", 4) + "ftypisom"));  // a picture item: not played as media
  f.Ini("[Pic1]\r\nPicFileName=clip.mp4\r\nMediaStyle=1\r\n[Pic2]\r\nPicFileName=photo.mp4\r\n"
        "[Snd]\r\nSndFileName1=tune.mid\r\nSndFileName2=chime.wav\r\n");
  const pack::TPackResult result = f.Pack();
  ASSERT_EQ(result.Warnings.size(), 2u);
  for (const std::string_view name : {"\"clip.mp4\" (MP4", "\"tune.mid\" (MIDI)"})
    EXPECT_TRUE(std::any_of(result.Warnings.begin(), result.Warnings.end(),
                            [&](const std::string& w) { return w.starts_with(name) && w.find("under Wine") != std::string::npos; }))
        << name;
}

TEST(Pack, TheOutputIsNeverAnInputADeviceOrAFolder) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=a.bmp\r\n");
  f.File("a.bmp", BytesOf("picture"));
  std::filesystem::create_hard_link(f.Show() / "a.bmp", f.Dir("other-name.bmp"));
  const TBytes ini = test::ReadFileBytes(f.Show() / "show.ini");
  for (const std::filesystem::path& output : {f.Show() / "show.ini", f.Template(), f.Show() / "a.bmp",
                                              f.Dir("other-name.bmp"), std::filesystem::path("/dev/null"), f.Show()}) {
    pack::TPackOptions options = f.Options();
    options.Output = output;
    EXPECT_THROW(pack::PackShow(f.Fs(), options), pack::EPackInputError) << output;
  }
  EXPECT_EQ(test::ReadFileBytes(f.Show() / "show.ini"), ini);
  EXPECT_EQ(test::ReadFileBytes(f.Show() / "a.bmp"), BytesOf("picture"));
  EXPECT_EQ(test::ReadFileBytes(f.Template()), BytesOf("MZ-test-template"));
}

TEST(Pack, TheOutputGetsThePermissionsOfANewFile) {
  TShowFolderFixture f;
  f.Ini("[Settings]\r\nIsUseSplash=0\r\n");
  const mode_t old = ::umask(022);
  f.Pack();
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(f.Out().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(Pack, ValuesThePlayerClampsOrIgnoresAreWarningsThatSayWhatItDoes) {
  TShowFolderFixture f;
  f.File("a.bmp", BytesOf("picture"));
  f.File("splash.bmp", BytesOf("splash"));
  f.Ini("[Settings]\r\nSplashFile=splash.bmp\r\nIsUseSplash=0\r\n"
        "[Background]\r\nBgPatternString=no numbers\r\n"
        "[Pic1]\r\nPicFileName=a.bmp\r\nShowInStyle=99\r\nShowOutStyle=-7\r\nOpacity=300\r\nFloatSpeed=70000\r\n"
        "PicInterval=0\r\nMediaStyle=4\r\nCapFont_Style=24\r\nRepeatTimes=-2\r\nShowSpeed=3\r\n");
  const pack::TPackResult result = f.Pack();
  const std::vector<std::string> expected = {
      R"(key SplashFile: IsUseSplash=0: the player never shows the splash picture, so it is not stored)",
      R"(key BgPatternString: no "\|" .*paints no pattern \(the background does not use it now\))",
      R"(key ShowInStyle: "99": .*shows effect 78)",
      R"(key ShowOutStyle: "-7": .*random effect)",
      R"(key Opacity: "300": .*300 acts as 44)",
      R"(key FloatSpeed: "70000": .*70000 acts as 4464)",
      R"(key PicInterval: "0": .*after 50 ms)",
      R"(key MediaStyle: "4": the player skips)",
      R"(key CapFont_Style: "24": .*24 acts as 8)",
      R"(key RepeatTimes: "-2": .*once)",
      R"(key Opacity: Opacity acts only through a mask)"};
  ASSERT_EQ(result.Warnings.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(std::regex_search(result.Warnings[i], std::regex(expected[i]))) << result.Warnings[i];
  EXPECT_EQ(result.EntryCount, 1u);  // the splash is left out
  const auto file = platform::OpenPosixReadableFile(f.Out());
  EXPECT_EQ(InspectPayload(*file).ConfigText.find("SplashFile"), std::string::npos);
}

}  // namespace
}  // namespace lumora
