// The payload container: trailer, entry references, the three extraction modes and
// every way an extraction can fail.
#include "app/payload.h"
#include "show/show_payload.h"
#include "platform/headless/headless_files.h"
#include "support/test_files.h"
#include "support/test_jpeg.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <new>

#include <string>

namespace lumora {
namespace {

using test::BytesOf;
using test::TBytes;

std::uint32_t RedGreen(int x, int y) { return x < 2 ? 0xFF0000u : 0x00FF00u + static_cast<std::uint32_t>(y); }

// A grey Dr. Halo picture of 4 x 2, one run a row: a format whose decoder looks beside its file.
TBytes HaloCut() {
  const auto b = [](unsigned v) { return std::byte(v); };
  return TBytes{b(4), b(0), b(2), b(0), b(0), b(0),      // width, height, reserved
                b(3), b(0), b(0x84), b(40), b(0),         // row 0: a run of 4 of index 40
                b(3), b(0), b(0x84), b(200), b(0)};       // row 1: a run of 4 of index 200
}

// An 8-bit RGBA PNG of the bitmap.
TBytes Png(const TBitmap32& b) {
  const auto put32 = [](TBytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::byte(v >> shift));
  };
  TBytes out = BytesOf("\x89PNG\r\n\x1A\n");
  const auto chunk = [&](const char* type, const TBytes& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    for (int i = 0; i < 4; ++i) out.push_back(std::byte(type[i]));
    out.insert(out.end(), data.begin(), data.end());
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(&out[start]), static_cast<uInt>(out.size() - start));
    put32(out, static_cast<std::uint32_t>(crc));
  };
  TBytes header;
  put32(header, static_cast<std::uint32_t>(b.Width()));
  put32(header, static_cast<std::uint32_t>(b.Height()));
  header.insert(header.end(), {std::byte{8}, std::byte{6}, {}, {}, {}});
  TBytes rows;
  for (int y = 0; y < b.Height(); ++y) {
    rows.push_back({});
    for (int x = 0; x < b.Width(); ++x) {
      const TPixel p = b.At(x, y);
      rows.insert(rows.end(), {std::byte(PixelR(p)), std::byte(PixelG(p)), std::byte(PixelB(p)), std::byte(x * 9)});
    }
  }
  chunk("IHDR", header);
  chunk("IDAT", test::Deflate(rows));
  chunk("IEND", {});
  return out;
}

// A readable file that counts the bytes read from it.
class TCountingFile final : public platform::IReadableFile {
 public:
  TCountingFile(std::unique_ptr<platform::IReadableFile> inner, std::uint64_t& count)
      : inner_(std::move(inner)), count_(count) {}
  std::uint64_t Size() const override { return inner_->Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> buffer) override {
    count_ += buffer.size();
    return inner_->ReadAt(offset, buffer);
  }

 private:
  std::unique_ptr<platform::IReadableFile> inner_;
  std::uint64_t& count_;
};

// Headless files that also record how the container used them.
class TSpyFileSystem final : public platform::IFileSystem {
 public:
  TSpyFileSystem(std::filesystem::path exe, std::filesystem::path temp) : inner_(exe, temp) {}
  platform::THeadlessFileSystem& Inner() { return inner_; }
  int Opens = 0;
  int TempFilesCreated = 0;
  std::uint64_t BytesRead = 0;
  int InProgressSeenWhileCreating = -1;

  std::filesystem::path ExecutablePath() override { return inner_.ExecutablePath(); }
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& p) override {
    ++Opens;
    std::unique_ptr<platform::IReadableFile> file = inner_.OpenForReadDenyWrite(p);
    if (!file) return nullptr;
    return std::make_unique<TCountingFile>(std::move(file), BytesRead);
  }
  std::optional<std::filesystem::path> TempDirectory() override { return inner_.TempDirectory(); }
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& d,
                                                            std::string_view prefix) override {
    ++TempFilesCreated;
    InProgressSeenWhileCreating = ExtractionsInProgress();
    return inner_.CreateUniqueTempFile(d, prefix);
  }
  bool RenameFile(const std::filesystem::path& a, const std::filesystem::path& b) override {
    return inner_.RenameFile(a, b);
  }
  bool RemoveFile(const std::filesystem::path& p) override { return inner_.RemoveFile(p); }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path& p) override {
    std::unique_ptr<platform::IWritableFile> file = inner_.OpenExistingForWrite(p);
    if (!file || !WritesThrow) return file;
    return std::make_unique<TThrowingFile>(std::move(file));
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path& p) override {
    return inner_.CreateForWrite(p);
  }
  std::filesystem::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }
  // Every write into a temporary file throws, as a full memory would.
  bool WritesThrow = false;

 private:
  class TThrowingFile final : public platform::IWritableFile {
   public:
    explicit TThrowingFile(std::unique_ptr<platform::IWritableFile> inner) : inner_(std::move(inner)) {}
    bool Write(std::span<const std::byte>) override { throw std::bad_alloc(); }
    bool Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<platform::IWritableFile> inner_;
  };
  platform::THeadlessFileSystem inner_;
};

class PayloadTest : public ::testing::Test {
 protected:
  test::TTempDir dir;
  std::filesystem::path exe = dir / "show.scr";
  std::filesystem::path temp = dir / "temp";
  TSpyFileSystem fs{exe, temp};
  test::TPayloadWriter writer;

  void SetUp() override { std::filesystem::create_directories(temp); }

  void Write(const TBytes& config = BytesOf("[AppInfo]\r\n")) { test::WriteFileBytes(exe, writer.Finish(config)); }

  bool Extract(TExtractMode mode, std::string_view ext, test::TPayloadWriter::TRef ref,
               const codecs::TDecodeRequest& request = {}) {
    return Extract(mode, ext, ref.Position, ref.StoredSize, request);
  }
  bool Extract(TExtractMode mode, std::string_view ext, std::int32_t position, std::int32_t storedSize,
               const codecs::TDecodeRequest& request = {}) {
    path.clear();
    const bool ok = ExtractPayloadEntry(fs, mode, ext, position, path, picture, storedSize, request);
    EXPECT_EQ(ExtractionsInProgress(), 0) << "the counter must be balanced on every path";
    return ok;
  }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(temp)) names.push_back(e.path().filename().string());
    return names;
  }

  std::filesystem::path path;
  std::unique_ptr<TPicture> picture;
};

TEST_F(PayloadTest, TrailerPointsAtTheConfigurationEntryJustBeforeIt) {
  writer.AddEntry(BytesOf("some medium"));
  const TBytes file = writer.Finish(BytesOf("[Settings]\r\nPicInterval=5\r\n"), 1, 7);
  test::WriteFileBytes(exe, file);

  const auto trailer = ReadPayloadTrailer(fs);
  ASSERT_TRUE(trailer);
  EXPECT_EQ(trailer->FlagWord, 1u);
  EXPECT_EQ(trailer->InstallGate, 7u);
  EXPECT_EQ(static_cast<std::size_t>(trailer->ConfigPosition + trailer->ConfigStoredSize), file.size() - 16);

  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".ini", trailer->ConfigPosition, trailer->ConfigStoredSize));
  EXPECT_EQ(test::ReadFileBytes(path), BytesOf("[Settings]\r\nPicInterval=5\r\n"));
}

TEST_F(PayloadTest, TrailerOfAMissingOrTooShortFileIsNotRead) {
  EXPECT_FALSE(ReadPayloadTrailer(fs));
  test::WriteFileBytes(exe, BytesOf("fifteen bytes!!"));
  EXPECT_FALSE(ReadPayloadTrailer(fs));
}

TEST_F(PayloadTest, NoEntryTouchesNothing) {
  Write();
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".jpg", -1, 0));
  EXPECT_EQ(fs.Opens, 0);
  EXPECT_EQ(fs.InProgressSeenWhileCreating, -1);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, TempFileModeWritesTheInflatedBytesUnderASystemNameWithTheExtension) {
  const TBytes data = BytesOf(std::string(100000, 'x') + "end");
  const auto ref = writer.AddEntry(data);
  Write();

  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".mp3", ref));
  EXPECT_EQ(fs.InProgressSeenWhileCreating, 1);
  EXPECT_EQ(path.parent_path(), temp);
  EXPECT_EQ(path.filename().string(), "tmp1.mp3");
  EXPECT_EQ(test::ReadFileBytes(path), data);
  EXPECT_EQ(TempFiles(), std::vector<std::string>{"tmp1.mp3"}) << "the system's .tmp name is renamed, not kept";

  // The same entry again gives a second, different file.
  const std::filesystem::path first = path;
  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".mp3", ref));
  EXPECT_NE(path, first);
  EXPECT_EQ(test::ReadFileBytes(path), data);
}

TEST_F(PayloadTest, ExtensionIsAppendedVerbatim) {
  const auto ref = writer.AddEntry(BytesOf("abc"));
  Write();
  ASSERT_TRUE(Extract(TExtractMode::emTempFile, "photo.jpg", ref));
  EXPECT_EQ(path.filename().string(), "tmp1photo.jpg");
  ASSERT_TRUE(Extract(TExtractMode::emTempFile, "", ref));
  EXPECT_EQ(path.filename().string(), "tmp2");
  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".tmp", ref));
  EXPECT_EQ(path.filename().string(), "tmp3.tmp");
}

TEST_F(PayloadTest, ALeftoverFileWithTheTargetNameIsNeitherOverwrittenNorLeftBeside) {
  const auto ref = writer.AddEntry(BytesOf("fresh"));
  Write();
  test::WriteFileBytes(temp / "tmp1.ini", BytesOf("old settings"));
  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".ini", ref));
  EXPECT_EQ(path.filename().string(), "tmp2.ini");
  EXPECT_EQ(test::ReadFileBytes(temp / "tmp1.ini"), BytesOf("old settings"));
  EXPECT_EQ(TempFiles().size(), 2u);
}

TEST_F(PayloadTest, PictureModesDecodeABitmapWithoutAFile) {
  const TBytes bmp = test::MakeBmp24(4, 3, RedGreen);
  const auto ref = writer.AddEntry(bmp);
  Write();

  ASSERT_TRUE(Extract(TExtractMode::emPictureFile, ".BMP", ref));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Width(), 4);
  EXPECT_EQ(picture->Height(), 3);
  EXPECT_EQ(picture->Bitmap().At(0, 0), MakePixel(255, 0, 0));
  EXPECT_EQ(picture->Bitmap().At(3, 2), MakePixel(0, 255, 2));
  EXPECT_TRUE(path.empty()) << "decoded in memory: no file was named";
  EXPECT_EQ(fs.TempFilesCreated, 0);

  TPicture* kept = picture.get();
  ASSERT_TRUE(Extract(TExtractMode::emMemoryBitmap, "", ref));
  EXPECT_EQ(picture.get(), kept) << "a picture passed in is loaded, not replaced";
  EXPECT_EQ(picture->Bitmap().At(3, 0), MakePixel(0, 255, 0));
  EXPECT_TRUE(path.empty());
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, PictureThatCannotBeDecodedFailsAndLeavesNoFile) {
  const auto bmp = writer.AddEntry(test::MakeBmp24(2, 2, RedGreen));
  const auto text = writer.AddEntry(BytesOf("not a picture"));
  Write();
  EXPECT_FALSE(Extract(TExtractMode::emPictureFile, ".bmp", text));
  EXPECT_FALSE(Extract(TExtractMode::emPictureFile, "", bmp)) << "no extension, no decoder";
  EXPECT_FALSE(Extract(TExtractMode::emPictureFile, ".xyz", bmp));
  EXPECT_FALSE(Extract(TExtractMode::emMemoryBitmap, "", text));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, BogusReferencesFailWithoutLeavingFiles) {
  const auto ref = writer.AddEntry(BytesOf("payload data"));
  Write();
  const auto size = static_cast<std::int32_t>(std::filesystem::file_size(exe));
  for (const auto mode : {TExtractMode::emMemoryBitmap, TExtractMode::emTempFile, TExtractMode::emPictureFile}) {
    SCOPED_TRACE(static_cast<int>(mode));
    EXPECT_FALSE(Extract(mode, ".bmp", -1, ref.StoredSize)) << "position -1 alone";
    EXPECT_FALSE(Extract(mode, ".bmp", ref.Position, 0)) << "stored size 0 alone";
    EXPECT_FALSE(Extract(mode, ".bmp", ref.Position, 3)) << "shorter than the size word";
    EXPECT_FALSE(Extract(mode, ".bmp", -5, ref.StoredSize));
    EXPECT_FALSE(Extract(mode, ".bmp", size - 2, 10)) << "runs past the end";
    EXPECT_FALSE(Extract(mode, ".bmp", size + 100, 10)) << "starts past the end";
    EXPECT_FALSE(Extract(mode, ".bmp", ref.Position, ref.StoredSize + size)) << "short read";
  }
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, AFailureThatThrowsWhileWritingLeavesNoFile) {
  const auto sound = writer.AddEntry(BytesOf("a sound's bytes"));
  const auto halo = writer.AddEntry(HaloCut());
  Write();
  fs.WritesThrow = true;
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".wav", sound));
  EXPECT_TRUE(TempFiles().empty());
  fs.TempFilesCreated = 0;
  EXPECT_FALSE(Extract(TExtractMode::emPictureFile, ".cut", halo));
  EXPECT_EQ(fs.TempFilesCreated, 1) << "a picture whose decoder looks beside its file is written";
  EXPECT_TRUE(TempFiles().empty());
}

// A picture whose decoder takes the bytes alone is decoded where it was inflated, with
// the pixels a load of the file with the same request gives, and no file; one whose
// decoder looks beside its file still goes through one. A damaged entry fails either way
// and leaves nothing.
TEST_F(PayloadTest, PicturesDecodeInMemoryWithTheFilesPixelsUnlessTheirDecoderLooksBeside) {
  const TBitmap32 photo = test::PhotoLikePicture(320, 240);
  const TBytes jpeg = test::EncodeJpeg(photo);
  // Cut short: a JPEG's bytes are stored, not compressed, so a changed byte inside would
  // only show in the checksum, which a reader of the recorded size never reaches.
  TBytes damaged = test::Deflate(jpeg);
  damaged.resize(damaged.size() / 2);
  const auto jpegRef = writer.AddEntry(jpeg);
  const auto pngRef = writer.AddEntry(Png(test::PhotoLikePicture(37, 11)));
  const auto haloRef = writer.AddEntry(HaloCut());
  const auto damagedRef = writer.AddRawEntry(static_cast<std::uint32_t>(jpeg.size()), damaged);
  Write();
  codecs::TDecodeRequest quarter;
  quarter.ShownSize = [](codecs::TPictureSize n) { return codecs::TPictureSize{n.Width / 4, n.Height / 4}; };
  quarter.Continue = [] { return true; };
  struct TCase {
    const char* Extension;
    test::TPayloadWriter::TRef Ref;
    const codecs::TDecodeRequest& Request;
    int HeldWidth;  // 0: fails
    int TempFilesCreated;
  } cases[] = {
      {".JPG", jpegRef, quarter, 80, 0},  {"photo.jpeg", jpegRef, {}, 320, 0}, {".png", pngRef, {}, 37, 0},
      {".cut", haloRef, {}, 4, 1},        {".jpg", damagedRef, quarter, 0, 0}, {".cut", damagedRef, {}, 0, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Extension);
    fs.TempFilesCreated = 0;
    picture.reset();
    ASSERT_EQ(Extract(TExtractMode::emPictureFile, c.Extension, c.Ref, c.Request), c.HeldWidth > 0);
    EXPECT_EQ(fs.TempFilesCreated, c.TempFilesCreated);
    EXPECT_TRUE(TempFiles().empty());
    if (c.HeldWidth == 0) continue;
    EXPECT_EQ(picture->HeldWidth(), c.HeldWidth);
    // What the same bytes give when loaded from a file.
    const std::string extension = std::filesystem::path("x" + std::string(c.Extension)).extension().string();
    const std::filesystem::path file = dir / ("reference" + extension);
    std::uint32_t size = 0;
    const std::unique_ptr<platform::IReadableFile> exeFile = fs.Inner().OpenForReadDenyWrite(exe);
    ASSERT_EQ(ReadEntryInflatedSize(*exeFile, c.Ref.Position, c.Ref.StoredSize, size), TEntryStatus::Ok);
    TBytes bytes;
    ASSERT_EQ(InflateEntry(*exeFile, c.Ref.Position, c.Ref.StoredSize,
                           [&](std::span<const std::byte> chunk) {
                             bytes.insert(bytes.end(), chunk.begin(), chunk.end());
                             return true;
                           }),
              TEntryStatus::Ok);
    test::WriteFileBytes(file, bytes);
    TPicture reference;
    ASSERT_TRUE(reference.LoadFromFile(file, c.Request));
    EXPECT_EQ(picture->Width(), reference.Width());
    EXPECT_EQ(picture->Opaque(), reference.Opaque());
    EXPECT_TRUE(std::ranges::equal(picture->Bitmap().Pixels(), reference.Bitmap().Pixels()));
  }
}

TEST_F(PayloadTest, MissingExecutableOrTempFolderFails) {
  const auto ref = writer.AddEntry(BytesOf("data"));
  Write();
  fs.Inner().SetTempDirectory(dir / "no-such-folder");
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".txt", ref));
  fs.Inner().SetTempDirectory(std::nullopt);
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".txt", ref));
  fs.Inner().SetExecutablePath(dir / "gone.scr");
  fs.Inner().SetTempDirectory(temp);
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".txt", ref));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, StreamLengthAgainstTheRecordedSize) {
  const TBytes data = BytesOf(std::string(5000, 'q') + "tail");
  const auto longer = writer.AddEntry(data, 10);
  const auto shorter = writer.AddEntry(data, static_cast<std::int64_t>(data.size()) + 1);
  const auto empty = writer.AddEntry(TBytes{}, 0);
  Write();

  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".txt", longer)) << "output beyond the recorded size is not read";
  EXPECT_EQ(test::ReadFileBytes(path), BytesOf("qqqqqqqqqq"));
  const auto before = TempFiles().size();
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".txt", shorter));
  EXPECT_EQ(TempFiles().size(), before) << "a failed extraction removes its file";
  ASSERT_TRUE(Extract(TExtractMode::emTempFile, ".txt", empty));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(PayloadTest, DamagedStreamsFail) {
  TBytes stream = test::Deflate(BytesOf(std::string(3000, 'z')));
  TBytes flipped = stream;
  flipped[flipped.size() / 2] ^= std::byte{0x5A};
  TBytes truncated(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2));
  TBytes badHeader = stream;
  badHeader[1] ^= std::byte{1};  // sound deflate data after a header that fails its check
  TBytes presetDictionary = stream;
  presetDictionary[1] = std::byte{0x3F};  // asks for a preset dictionary; the header's check holds
  const auto bad = writer.AddRawEntry(3000, flipped);
  const auto header = writer.AddRawEntry(3000, badHeader);
  const auto dictionary = writer.AddRawEntry(3000, presetDictionary);
  const auto cut = writer.AddRawEntry(3000, truncated);
  const auto garbage = writer.AddRawEntry(3000, BytesOf("this is not zlib at all"));
  const auto noStream = writer.AddRawEntry(3000, TBytes{});
  Write();
  for (const auto ref : {bad, cut, garbage, noStream, header, dictionary}) {
    EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".txt", ref));
    EXPECT_FALSE(Extract(TExtractMode::emMemoryBitmap, "", ref));
  }
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, ForgedInflatedSizeFailsWithoutAllocatingIt) {
  TBytes kilobyte(1024);
  for (std::size_t i = 0; i < kilobyte.size(); ++i) kilobyte[i] = std::byte(i * 37 % 251);
  const auto forged = writer.AddRawEntry(0xFFFFFFF0u, test::Deflate(kilobyte));
  const auto overCap = writer.AddRawEntry(kMaxInMemoryEntrySize + 1, test::Deflate(kilobyte));
  Write();
  // Under the sanitizers an attempt to allocate 4 GiB would abort the test.
  EXPECT_FALSE(Extract(TExtractMode::emMemoryBitmap, "", forged));
  EXPECT_FALSE(Extract(TExtractMode::emTempFile, ".bin", forged));
  EXPECT_FALSE(Extract(TExtractMode::emPictureFile, ".bmp", forged));
  EXPECT_FALSE(Extract(TExtractMode::emMemoryBitmap, "", overCap));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(PayloadTest, ExtensionsThatLeaveTheTempFolderAreRefusedBeforeAnythingIsCreated) {
  const auto ref = writer.AddEntry(BytesOf("x"));
  Write();
  for (const std::string& ext : std::vector<std::string>{"/../escape.txt", "\\..\\escape.txt", "C:evil.txt", ".jp\ng", std::string(".a\0b", 4),
                                ".x\x7f", "/"}) {
    EXPECT_FALSE(Extract(TExtractMode::emTempFile, ext, ref)) << ext;
    EXPECT_EQ(fs.InProgressSeenWhileCreating, -1) << "no temporary name was even asked for";
  }
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
  EXPECT_TRUE(IsSafeExtension(".JPG"));
  EXPECT_TRUE(IsSafeExtension("photo.jpg"));
  EXPECT_TRUE(IsSafeExtension("\xE9t\xE9.png")) << "ANSI letters are fine";
}

// A picture's entry is inflated only while its decoder could take it: a header that
// the decoder refuses stops the inflation, a picture is inflated only as far as its
// format needs, and an extension no decoder reads costs nothing at all.
TEST_F(PayloadTest, PictureEntriesInflateOnlyWhatTheirDecoderTakes) {
  TBytes noise(4u << 20);
  std::uint32_t seed = 1;
  for (std::byte& b : noise) b = std::byte((seed = seed * 1103515245u + 12345u) >> 24);
  TBytes bitmapThenNoise = test::MakeBmp24(4, 3, RedGreen);
  bitmapThenNoise.insert(bitmapThenNoise.end(), noise.begin(), noise.end());
  const auto notAPicture = writer.AddEntry(noise);
  const auto bitmap = writer.AddEntry(bitmapThenNoise);
  Write();
  struct TCase {
    TExtractMode Mode;
    const char* Extension;
    test::TPayloadWriter::TRef Ref;
    bool Loads;
    int TempFiles;
  } cases[] = {
      {TExtractMode::emPictureFile, ".png", notAPicture, false, 0},
      {TExtractMode::emPictureFile, ".BMP", notAPicture, false, 0},
      {TExtractMode::emMemoryBitmap, "", notAPicture, false, 0},
      {TExtractMode::emPictureFile, ".xyz", notAPicture, false, 0},
      {TExtractMode::emPictureFile, ".tga", notAPicture, false, 0},
      {TExtractMode::emPictureFile, ".bmp", bitmap, true, 0},
      {TExtractMode::emMemoryBitmap, "", bitmap, true, 0},
  };
  for (const TCase& c : cases) {
    fs.BytesRead = 0;
    fs.TempFilesCreated = 0;
    picture.reset();
    EXPECT_EQ(Extract(c.Mode, c.Extension, c.Ref), c.Loads) << c.Extension;
    EXPECT_LT(fs.BytesRead, 1u << 20) << c.Extension << ": read the whole entry";
    EXPECT_EQ(fs.TempFilesCreated, c.TempFiles) << c.Extension;
    if (c.Loads) {
      EXPECT_EQ(picture->Width(), 4) << c.Extension;
    }
    EXPECT_TRUE(TempFiles().empty()) << c.Extension;
  }
  // Mode 1 writes what it was given, whatever its name.
  EXPECT_TRUE(Extract(TExtractMode::emTempFile, ".png", notAPicture));
  EXPECT_EQ(std::filesystem::file_size(path), noise.size());

  const std::unique_ptr<platform::IReadableFile> file = fs.Inner().OpenForReadDenyWrite(exe);
  EXPECT_EQ(CheckPictureHeader(*file, notAPicture.Position, notAPicture.StoredSize, ".png"), TEntryStatus::NotAPicture);
  EXPECT_EQ(CheckPictureHeader(*file, bitmap.Position, bitmap.StoredSize, "photo.bmp"), TEntryStatus::Ok);
  EXPECT_EQ(CheckPictureHeader(*file, notAPicture.Position, notAPicture.StoredSize, ".mp3"), TEntryStatus::Ok);
}

// A checking inspection does not call an entry that no decoder would show "ok".
TEST_F(PayloadTest, ACheckingInspectionRefusesPicturesTheirDecoderRefuses) {
  const auto zeros = writer.AddEntry(TBytes(1u << 20));
  const auto bitmap = writer.AddEntry(test::MakeBmp24(2, 2, RedGreen));
  const std::string pic = "FilePos=" + std::to_string(zeros.Position) + "\r\nFileSize=" +
                          std::to_string(zeros.StoredSize) + "\r\n";
  Write(BytesOf("[AppInfo]\r\nPicCount=3\r\n[Pic1]\r\nPicFileName=.png\r\n" + pic + "[Pic2]\r\nPicFileName=.wav\r\n" +
                pic + "[Pic3]\r\nPicFileName=.bmp\r\nFilePos=" + std::to_string(bitmap.Position) +
                "\r\nFileSize=" + std::to_string(bitmap.StoredSize) + "\r\n"));
  const std::unique_ptr<platform::IReadableFile> file = fs.Inner().OpenForReadDenyWrite(exe);
  const TPayloadReport plain = InspectPayload(*file);
  const TPayloadReport checked = InspectPayload(*file, true);
  ASSERT_EQ(checked.Entries.size(), 3u);
  EXPECT_FALSE(plain.Broken()) << "the streams themselves are sound";
  EXPECT_EQ(checked.Entries[0].Status, TEntryStatus::NotAPicture);
  EXPECT_EQ(checked.Entries[1].Status, TEntryStatus::Ok) << "not a picture format";
  EXPECT_EQ(checked.Entries[2].Status, TEntryStatus::Ok);
  EXPECT_TRUE(checked.Broken());
}

TEST(PayloadStrictInflate, InspectorsSeeStreamsThatDoNotEndAtTheRecordedSize) {
  test::TPayloadWriter writer;
  const TBytes data = BytesOf(std::string(4000, 'a'));
  const auto exact = writer.AddEntry(data);
  const auto longer = writer.AddEntry(data, 100);
  TBytes badChecksum = test::Deflate(data);
  badChecksum.back() ^= std::byte{1};
  const auto checksum = writer.AddRawEntry(4000, badChecksum);
  const TBytes file = writer.Bytes();
  test::TTempDir dir;
  test::WriteFileBytes(dir / "f", file);
  const auto readable = platform::OpenPosixReadableFile(dir / "f");
  ASSERT_TRUE(readable);
  const auto sink = [](std::span<const std::byte>) { return true; };
  EXPECT_EQ(InflateEntry(*readable, exact.Position, exact.StoredSize, sink, true), TEntryStatus::Ok);
  EXPECT_EQ(InflateEntry(*readable, longer.Position, longer.StoredSize, sink, true), TEntryStatus::DamagedStream);
  EXPECT_EQ(InflateEntry(*readable, longer.Position, longer.StoredSize, sink, false), TEntryStatus::Ok);
  EXPECT_EQ(InflateEntry(*readable, checksum.Position, checksum.StoredSize, sink, true), TEntryStatus::DamagedStream);
  EXPECT_EQ(InflateEntry(*readable, checksum.Position, checksum.StoredSize, sink, false), TEntryStatus::Ok);
  EXPECT_EQ(InflateEntry(*readable, exact.Position, exact.StoredSize, [](auto) { return false; }),
            TEntryStatus::SinkFailed);
}

}  // namespace
}  // namespace lumora
