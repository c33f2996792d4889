// lumora-inspect: extracting a show folder that packs into an equivalent screen saver,
// and reading truncated, bit-flipped and hostile files without harm.
#include "inspector.h"
#include "tools_test_support.h"

#include "platform/headless/memory_file.h"
#include "show/show_config.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lumora {
namespace {

using test::BytesOf;
using test::TBytes;
using test::TShowFolderFixture;

TPayloadReport Inspect(const std::filesystem::path& path) {
  const auto file = platform::OpenPosixReadableFile(path);
  return InspectPayload(*file);
}

TPayloadReport InspectBytes(const TBytes& bytes) {
  platform::TMemoryReadableFile file(bytes);
  return InspectPayload(file);
}

inspect::TExtractResult Extract(TShowFolderFixture& f, const std::filesystem::path& scr,
                                const std::filesystem::path& dir) {
  const auto file = platform::OpenPosixReadableFile(scr);
  return inspect::ExtractShow(f.Fs(), *file, InspectPayload(*file), dir);
}

TShowConfig Loaded(const TPayloadReport& report) {
  TShowConfig show;
  const std::unique_ptr<TBiggerIniFile> ini = IniFromText(report.ConfigText);
  LoadShowConfig(*ini, nullptr, false, {}, show);
  return show;
}

// Everything the player takes from an item, except where its entry lies.
std::string Describe(const TPicData& p) {
  std::string out = p.PicFileName + "|" + p.Caption + "|" + std::to_string(p.MediaStyle) + "|" +
                    std::to_string(static_cast<int>(p.PicPos)) + "|" + std::to_string(p.PicSizeHor) + "|" +
                    std::to_string(p.Masked) + p.MaskedFileName + "|" + std::to_string(p.ShowInStyle) + "|" +
                    std::to_string(p.PicInterval) + "|" + std::to_string(p.IsPicFloat) + "|" + p.CapFont->Name + "|" +
                    std::to_string(p.CapFont->Size()) + "|" + std::to_string(p.CapFont->Color) + "|" +
                    std::to_string(p.MaskedFilePos != -1);
  return out;
}

TEST(Extract, ReadableNamesAndARepackThatGivesTheSameBytes) {
  TShowFolderFixture f;
  f.Ini("[AppInfo]\r\nAuthor=A\r\n[Settings]\r\nSplashFile=s.bmp\r\nIsIncludeFlash=1\r\nFlashOcxFile=flash.ocx\r\n"
        "[Background]\r\nBgPicture=bg.png\r\nBgStyle=3\r\n"
        "[Pic1]\r\nPicFileName=p.jpg\r\nMasked=1\r\nMaskedFileName=m.bmp\r\nShaped=1\r\nShapedFileName=m.bmp\r\n"
        "[Pic1Caption]\r\nHello\r\n[Pic2]\r\nPicFileName=movie.swf\r\nMediaStyle=1\r\n"
        "[Snd]\r\nSndFileName1=a.mp3\r\nSndFileName2=b.wav\r\n[AppDsp]\r\nAbout = this\r\n");
  for (const char* name : {"s.bmp", "flash.ocx", "bg.png", "p.jpg", "m.bmp", "movie.swf", "a.mp3", "b.wav"})
    f.File(name, test::Media(1000 + std::strlen(name), static_cast<std::uint32_t>(name[0])));
  f.Pack("a.scr");
  const inspect::TExtractResult result = Extract(f, f.Out("a.scr"), f.Dir("x"));
  EXPECT_TRUE(result.Ok);
  EXPECT_TRUE(result.Notes.empty()) << result.Notes.front();
  EXPECT_EQ(result.Written, (std::vector<std::string>{"FlashOcx.ocx", "Splash.bmp", "Background.png", "Pic1.jpg",
                                                      "Pic1Mask.bmp", "Pic2.swf", "Snd1.mp3", "Snd2.wav",
                                                      "show.ini"}));
  EXPECT_EQ(test::ReadFileBytes(f.Dir("x") / "Pic1.jpg"), test::ReadFileBytes(f.Show() / "p.jpg"));
  EXPECT_EQ(test::ReadFileBytes(f.Dir("x") / "FlashOcx.ocx"), test::ReadFileBytes(f.Show() / "flash.ocx"));

  pack::TPackOptions again = f.Options("b.scr");
  again.ShowFolder = f.Dir("x");
  pack::PackShow(f.Fs(), again);
  EXPECT_EQ(test::ReadFileBytes(f.Out("a.scr")), test::ReadFileBytes(f.Out("b.scr")));
}

TEST(Extract, AForeignPayloadBecomesAShowFolderThatPlaysTheSame) {
  // Written by another tool: hexadecimal numbers, flags of -1, a comma, unknown keys
  // and sections, a duplicate key, an item without entry, a sound gap, items beyond
  // PicCount, and a broken mask.
  test::TPayloadWriter writer;
  const auto pic = writer.AddEntry(test::Media(900, 5));
  const auto other = writer.AddEntry(test::Media(700, 6));
  const auto snd = writer.AddEntry(test::Media(300, 7));
  const auto broken = writer.AddRawEntry(100, BytesOf("not zlib"));
  auto ref = [](const char* prefix, test::TPayloadWriter::TRef r, const std::string& n = "") {
    return std::string(prefix) + "FilePos" + n + "=" + std::to_string(r.Position) + "\r\n" + prefix + "FileSize" + n +
           "=" + std::to_string(r.StoredSize) + "\r\n";
  };
  const std::string config =
      "[AppInfo]\r\nPicCount=0x4\r\nSndCount=3\r\nVersion=7\r\n"
      "[Settings]\r\nIsUseSplash=-1\r\nIsPicRamOrder=$1\r\nSplashFile=.bmp\r\n" + ref("Splash", pic) +
      "[Authoring]\r\nWhatever=1\r\n"
      "[Pic1]\r\nPicFileName=.JPG\r\n" + ref("", pic) + "PicPos=0x8\r\nPicPos=3\r\nPicSizeHor=33,25\r\nCapPos=99\r\n"
      "Masked=1\r\nMaskedFileName=.bmp\r\n" + ref("Masked", broken) + "CapFont_Color=0000ff\r\nCapFont_Size=0x10\r\n"
      "[Pic1Caption]\r\nOne\r\nTwo\r\n"
      "[Pic2]\r\nPicFileName=.gif\r\nFilePos=-1\r\nFileSize=0\r\n"
      "[Pic2Caption]\r\nDropped with its item\r\n"
      "[Pic3]\r\nPicFileName=\r\n" + ref("", other) + "MediaStyle=1\r\nIsPicFloat=yes\r\n"
      "[Pic4]\r\nPicFileName=photo.jpg\r\n" + ref("", other) + "\r\n"
      "[Pic5]\r\nPicFileName=.bmp\r\n" + ref("", pic) +
      "[Snd]\r\nSndFileName1=.mp3\r\nFilePos1=-1\r\nFileSize1=0\r\nSndFileName2=.mp3\r\n" +
      "FilePos2=" + std::to_string(snd.Position) + "\r\nFileSize2=" + std::to_string(snd.StoredSize) + "\r\n";
  TShowFolderFixture f;
  test::WriteFileBytes(f.Out("foreign.scr"), writer.Finish(BytesOf(config)));
  const TPayloadReport original = Inspect(f.Out("foreign.scr"));
  EXPECT_TRUE(original.Broken());  // the mask

  const inspect::TExtractResult result = Extract(f, f.Out("foreign.scr"), f.Dir("x"));
  EXPECT_TRUE(result.Ok);
  EXPECT_FALSE(result.Notes.empty());
  pack::TPackOptions options = f.Options("again.scr");
  options.ShowFolder = f.Dir("x");
  ASSERT_NO_THROW(pack::PackShow(f.Fs(), options)) << test::TextOf(test::ReadFileBytes(f.Dir("x") / "show.ini"));
  const TPayloadReport repacked = Inspect(f.Out("again.scr"));
  EXPECT_FALSE(repacked.Broken());

  const TShowConfig before = Loaded(original);
  const TShowConfig after = Loaded(repacked);
  EXPECT_EQ(before.Config.IsUseSplash, after.Config.IsUseSplash);
  EXPECT_EQ(before.Config.IsPicRamOrder, after.Config.IsPicRamOrder);
  ASSERT_EQ(before.PicList.size(), 3u);
  ASSERT_EQ(after.PicList.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    // The broken mask is left out; the player could not have shown it either.
    TPicData& b = *before.PicList[i];
    if (b.MaskedFilePos == broken.Position) {
      b.MaskedFilePos = -1;
      b.MaskedFileName.clear();
    }
    // "photo.jpg" names a file whose extension is ".jpg"; the decoder is the same.
    if (b.PicFileName == "photo.jpg") b.PicFileName = ".jpg";
    EXPECT_EQ(Describe(b), Describe(*after.PicList[i])) << i;
  }
  EXPECT_EQ(after.PicList[0]->Caption, "One\r\nTwo");
  EXPECT_EQ(after.PicList[1]->PicFileName, "");
  EXPECT_EQ(after.PicList[2]->PicFileName, ".jpg");
  ASSERT_EQ(after.SndList.size(), 1u);
  EXPECT_EQ(after.SndList[0]->SndFileName, ".mp3");
}

TEST(Inspect, EveryTruncationIsReportedBrokenWithoutHarm) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=a.bmp\r\n[Pic1Caption]\r\nhi\r\n[Snd]\r\nSndFileName1=b.wav\r\n");
  f.File("a.bmp", test::Media(4000, 1));
  f.File("b.wav", test::Media(2000, 2));
  f.Pack();
  const TBytes whole = test::ReadFileBytes(f.Out());
  for (std::size_t keep = 0; keep < whole.size(); keep += 3) {
    const TPayloadReport report =
        InspectBytes(TBytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep)));
    EXPECT_TRUE(report.Broken()) << keep;
    (void)inspect::FormatReport("cut.scr", report, true);
  }
}

TEST(Inspect, BitFlipsInAnEntryMarkItBroken) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=a.bmp\r\n");
  f.File("a.bmp", test::Media(4000, 1));
  f.Pack();
  const TBytes whole = test::ReadFileBytes(f.Out());
  const TPayloadReport clean = Inspect(f.Out());
  ASSERT_FALSE(clean.Broken());
  const TEntryRefReport& entry = clean.Entries.at(0);
  int broken = 0;
  for (std::int32_t at = entry.Position; at < entry.Position + entry.StoredSize; ++at) {
    TBytes flipped = whole;
    flipped[static_cast<std::size_t>(at)] ^= std::byte{0x10};
    const TPayloadReport report = InspectBytes(flipped);
    ASSERT_TRUE(report.ConfigOk());
    if (report.Entries.at(0).Broken()) ++broken;
  }
  // The inflated size, the header, the deflate data and the checksum all matter.
  EXPECT_EQ(broken, entry.StoredSize);
  // Flips anywhere in the configuration or the trailer never crash either.
  for (std::size_t at = static_cast<std::size_t>(clean.Trailer->ConfigPosition); at < whole.size(); ++at) {
    TBytes flipped = whole;
    flipped[at] ^= std::byte{0x01};
    EXPECT_TRUE(InspectBytes(flipped).Broken() || at >= whole.size() - 16) << at;
  }
}

TEST(Inspect, HostileReferencesAreReportedAndExtractionStaysInsideItsFolder) {
  test::TPayloadWriter writer;
  const auto pic = writer.AddEntry(test::Media(500, 9));
  const std::string p = std::to_string(pic.Position);
  const std::string s = std::to_string(pic.StoredSize);
  const std::string config =
      "[AppInfo]\r\nPicCount=2147483647\r\nSndCount=2147483647\r\n"
      "[Settings]\r\nSplashFile=/../../escape\r\nSplashFilePos=" + p + "\r\nSplashFileSize=" + s + "\r\n"
      "BannerFile=.bmp\r\nBannerFilePos=-5\r\nBannerFileSize=100\r\n"
      "[Background]\r\nBgPicture=.x\x01y\r\nBgPictureFilePos=" + p + "\r\nBgPictureFileSize=2147483647\r\n"
      "[Pic1]\r\nPicFileName=..\\..\\evil.exe\r\nFilePos=" + p + "\r\nFileSize=" + s + "\r\n"
      "[Pic2]\r\nPicFileName=.bmp\r\nFilePos=0\r\nFileSize=4\r\n"
      "[Snd]\r\nSndFileName999999999=.mp3\r\nFilePos999999999=" + p + "\r\nFileSize999999999=" + s + "\r\n";
  TShowFolderFixture f;
  test::WriteFileBytes(f.Out("hostile.scr"), writer.Finish(BytesOf(config)));
  const TPayloadReport report = Inspect(f.Out("hostile.scr"));
  EXPECT_TRUE(report.Broken());
  const std::string text = inspect::FormatReport("hostile.scr", report, true);
  EXPECT_EQ(text.find('\x01'), std::string::npos);
  EXPECT_NE(text.find("\\x01"), std::string::npos);

  const std::filesystem::path parent = f.Dir("sandbox");
  std::filesystem::create_directories(parent / "x");
  const inspect::TExtractResult result = Extract(f, f.Out("hostile.scr"), parent / "x");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(parent))
    if (entry.path() != parent / "x") {
      EXPECT_EQ(entry.path().parent_path(), parent / "x") << entry.path();
    }
  EXPECT_TRUE(std::filesystem::exists(parent / "x" / "Splash.bin"));
  EXPECT_TRUE(std::filesystem::exists(parent / "x" / "Pic1.bin"));
  EXPECT_TRUE(std::filesystem::exists(parent / "x" / "Snd999999999.mp3"));
  EXPECT_EQ(inspect::SafeExtension("..\\..\\evil.exe"), ".bin");
  EXPECT_EQ(inspect::SafeExtension(".JPG"), ".JPG");
  EXPECT_EQ(inspect::SafeExtension("photo.jpg"), "photo.jpg");
  EXPECT_EQ(inspect::SafeExtension("x."), ".bin");
}

TEST(Inspect, ALinkPlantedUnderAMediaNameIsNotFollowed) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=a.bmp\r\n");
  f.File("a.bmp", test::Media(100, 1));
  f.Pack();
  std::filesystem::create_directories(f.Dir("x"));
  test::WriteFileBytes(f.Dir("victim.txt"), BytesOf("precious"));
  std::filesystem::create_symlink(f.Dir("victim.txt"), f.Dir("x") / "Pic1.bmp");
  const inspect::TExtractResult result = Extract(f, f.Out(), f.Dir("x"));
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(test::ReadFileBytes(f.Dir("victim.txt")), BytesOf("precious"));
}

TEST(Inspect, ReportNamesTheTrailerConfigurationAndEveryEntry) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=a.bmp\r\n");
  f.File("a.bmp", test::Media(100, 1));
  const pack::TPackResult packed = f.Pack();
  const std::string text = inspect::FormatReport(f.Out(), Inspect(f.Out()), false);
  EXPECT_NE(text.find("trailer: flag word 1, install gate 1, configuration at " +
                      std::to_string(packed.ConfigPosition)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("install gate: open"), std::string::npos) << text;
  EXPECT_NE(text.find("[Pic1] PicFileName"), std::string::npos) << text;
  EXPECT_NE(text.find("\".bmp\"              16"), std::string::npos) << text;
  EXPECT_NE(text.find("result: ok"), std::string::npos) << text;
  EXPECT_EQ(text.find("configuration text"), std::string::npos);
}

TEST(Inspect, MediaItemColumnsStayAlignedPastPic9) {
  TShowFolderFixture f;
  std::string ini;
  for (int n = 1; n <= 10; ++n)
    ini += "[Pic" + std::to_string(n) + "]\r\nPicFileName=" + (n == 2 || n == 10 ? "v.avi\r\nMediaStyle=1" : "a.bmp") +
           "\r\n";
  f.Ini(ini);
  f.File("a.bmp", test::Media(100, 1));
  f.File("v.avi", test::Media(100, 2));
  f.Pack();
  const std::string text = inspect::FormatReport(f.Out(), Inspect(f.Out()), false);
  EXPECT_NE(text.find("  [Pic2]  video"), std::string::npos) << text;
  EXPECT_NE(text.find("  [Pic10] video"), std::string::npos) << text;
}

TEST(Inspect, TheConfigurationProblemIsNamedForEveryBrokenFile) {
  TShowFolderFixture f;
  f.Ini("[Pic1]\r\nPicFileName=a.bmp\r\n");
  f.File("a.bmp", test::Media(100, 1));
  f.Pack();
  const TBytes whole = test::ReadFileBytes(f.Out());
  EXPECT_EQ(inspect::ConfigProblem(InspectBytes(whole)), std::nullopt);
  TBytes forged = whole;  // the configuration claims one byte more than it holds
  const std::size_t at = static_cast<std::size_t>(Inspect(f.Out()).Trailer->ConfigPosition);
  forged[at] = std::byte(std::to_integer<int>(forged[at]) + 1);
  for (const TBytes& broken : {TBytes(whole.begin(), whole.end() - 40), TBytes(whole.begin(), whole.begin() + 10), forged}) {
    const std::optional<std::string> problem = inspect::ConfigProblem(InspectBytes(broken));
    EXPECT_TRUE(problem.has_value()) << broken.size();
  }
}

TEST(Inspect, TheIniIndexAnswersAsTheReader) {
  // A long section is indexed, a short one searched: both must find the first key of a
  // name in any letter case, cut values at 255 characters, and read numbers the same.
  std::string text = "[Short]\r\nA=1\r\na=2\r\nHex=0x1F\r\n[Snd]\r\n";
  for (int i = 1; i <= 40; ++i) text += "FilePos" + std::to_string(i) + "=" + std::to_string(i * 10) + "\r\n";
  text += "filepos7=dup\r\nLong=" + std::string(300, 'x') + "\r\n[SHORT]\r\nA=3\r\n";
  const std::unique_ptr<TBiggerIniFile> ini = IniFromText(text);
  const TIniIndex index(*ini);
  for (const auto& [section, key] : std::vector<std::pair<std::string, std::string>>{
           {"short", "a"}, {"Short", "HEX"}, {"snd", "FILEPOS7"}, {"Snd", "FilePos40"}, {"Snd", "Long"},
           {"Snd", "FilePos41"}, {"Nope", "A"}}) {
    EXPECT_EQ(index.ReadString(section, key).value_or("<none>"), ini->ReadString(section, key, "<none>")) << key;
    EXPECT_EQ(index.ReadInteger(section, key, -9), ini->ReadInteger(section, key, -9)) << key;
  }
}

}  // namespace
}  // namespace lumora
