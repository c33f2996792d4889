// Stream layouts of the effect bitmap: "Data" with its compression wrapper, the registries,
// and the RSB format.
#include "imaging/dib_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace lumora {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string Le32(std::uint32_t v) { return Bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); }

std::string RsbHeader(std::uint32_t version, std::uint32_t w, std::uint32_t h, std::uint32_t r, std::uint32_t g,
                      std::uint32_t b, std::uint32_t a) {
  return Le32(version) + Le32(w) + Le32(h) + Le32(r) + Le32(g) + Le32(b) + Le32(a);
}

// Stores the bytes inverted, under the identifier "TEST-INVERT....."
class TInvertCompressor : public TDIBCompressor {
 public:
  TIdentifier Identifier() const override {
    TIdentifier id{};
    std::memcpy(id.data(), "TEST-INVERT", 11);
    return id;
  }
  bool Accepts(const TIdentifier& id) const override { return id == Identifier(); }
  std::size_t Compress(TAbstractSuperDIB&, std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) override {
    for (std::size_t i = 0; i < source.size(); ++i) dest[i] = static_cast<std::uint8_t>(~source[i]);
    return source.size();
  }
  void Decompress(TAbstractSuperDIB&, const TIdentifier&, std::span<const std::uint8_t> source,
                  std::span<std::uint8_t> dest) override {
    for (std::size_t i = 0; i < dest.size() && i < source.size(); ++i) dest[i] = static_cast<std::uint8_t>(~source[i]);
  }
};

TEST(DIBData, TwoByOneWritesSizeThenPixelsAsHeld) {
  auto dib = TWinDIB::CreateSize(2, 1);
  dib->Bits()[0] = 0x44332211;
  dib->Bits()[1] = 0x88776655;
  std::ostringstream out;
  dib->WriteData(out);
  EXPECT_EQ(out.str(), Bytes({2, 0, 1, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));

  TWinDIB back;
  std::istringstream in(out.str());
  back.ReadData(in);
  EXPECT_EQ(back.Width(), 2);
  EXPECT_EQ(back.Height(), 1);
  EXPECT_EQ(back.Bits()[1], 0x88776655u);

  // A zero height holds no pixels; the bitmap still becomes at least one row high.
  std::istringstream flat(Bytes({0x24, 1, 0, 0}));
  back.ReadData(flat);
  EXPECT_EQ(back.Width(), 0x124);
  EXPECT_EQ(back.Height(), 1);
}

TEST(DIBData, WrapperNeedsTwentySixBytesAndAMatchingCompressor) {
  TWinDIB dib;
  // Short data starting with the tag is a plain layout (here far too short for its size).
  std::istringstream shortData("DIBCMP" + std::string(10, '\0'));
  EXPECT_THROW(dib.ReadData(shortData), EReadError);
  std::istringstream wrapped("DIBCMP" + std::string(16, 'x') + Le32(12) + "rest");
  try {
    dib.ReadData(wrapped);
    FAIL() << "no error";
  } catch (const EDIBCompressError& e) {
    EXPECT_STREQ(e.what(), "Could not find a suitable decompressor.");
  }
  EXPECT_TRUE(DIBCompressors().empty()) << "nothing is registered by default";
  EXPECT_EQ(DefaultDIBCompressor(), nullptr);
}

TEST(DIBData, ARegisteredDefaultCompressorWrapsAndUnwraps) {
  TDIBCompressor& invert = RegisterDIBCompressor(std::make_unique<TInvertCompressor>());
  SetDefaultDIBCompressor(&invert);
  auto dib = TWinDIB::CreateSize(3, 2);
  for (int i = 0; i < 6; ++i) dib->Bits()[i] = 0x01020304u * std::uint32_t(i + 1);
  std::ostringstream out;
  dib->WriteData(out);
  UnregisterDIBCompressor(&invert);
  const std::string data = out.str();
  ASSERT_EQ(data.size(), 26u + 4 + 24);
  EXPECT_EQ(data.substr(0, 6), "DIBCMP");
  EXPECT_EQ(data.substr(6, 11), "TEST-INVERT");
  EXPECT_EQ(data.substr(22, 4), Le32(28));
  TWinDIB back;
  {
    std::istringstream in(data);
    EXPECT_THROW(back.ReadData(in), EDIBCompressError) << "unregistered again";
  }
  RegisterDIBCompressor(std::make_unique<TInvertCompressor>());
  std::istringstream in(data);
  back.ReadData(in);
  UnregisterDIBCompressor(DIBCompressors().back().get());
  EXPECT_EQ(back.Width(), 3);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(back.Bits()[i], dib->Bits()[i]);
}

TEST(DIBData, ASizeTheStreamCannotHoldFailsBeforeAllocating) {
  auto dib = TWinDIB::CreateSize(4, 4);
  dib->Bits()[0] = 1234;
  std::istringstream in(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5}));
  try {
    dib->ReadData(in);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  EXPECT_EQ(dib->Width(), 4) << "the bitmap is left as it was";
  EXPECT_EQ(dib->Bits()[0], 1234u);
}

TEST(DIBFormats, TheRegistryHoldsTheRsbFormat) {
  ASSERT_EQ(DIBFormats().size(), 1u);
  const TAbstractDIBFormat& rsb = *DIBFormats().front();
  EXPECT_NE(dynamic_cast<const TDIBRSBFormat*>(&rsb), nullptr);
  EXPECT_EQ(rsb.Description(), "Rogue spear bitmap");
  EXPECT_TRUE(rsb.IsLoadExtension(".rsb"));
  EXPECT_TRUE(rsb.IsSaveExtension(".RsB"));
  EXPECT_FALSE(rsb.IsLoadExtension("rsb"));
  EXPECT_FALSE(rsb.IsSaveExtension(".rsbx"));
  EXPECT_TRUE(rsb.CanLoad());
  EXPECT_TRUE(rsb.CanSave());
  std::vector<std::string> filters;
  rsb.GetLoadFilter(filters);
  rsb.GetSaveFilter(filters);
  EXPECT_EQ(filters, (std::vector<std::string>{"Rogue spear bitmap (*.rsb)|*.rsb", "Rogue spear bitmap (*.rsb)|*.rsb"}));
  EXPECT_EQ(rsb.Author(), "");
}

TEST(DIBRsb, WhiteSavesAsAllOnesAndLoadsBackTruncated) {
  auto dib = TWinDIB::CreateSize(1, 1);
  dib->Bits()[0] = MakePixel(255, 255, 255, 255);
  TDIBRSBFormat rsb;
  rsb.SetDIB(dib.get());
  std::ostringstream out;
  rsb.SaveToStream(out);
  EXPECT_EQ(out.str(), RsbHeader(1, 1, 1, 5, 6, 5, 0) + Bytes({0xFF, 0xFF}));

  TWinDIB back;
  rsb.SetDIB(&back);
  std::istringstream in(out.str());
  rsb.LoadFromStream(in);
  EXPECT_EQ(back.Bits()[0], MakePixel(248, 252, 248, 0));
  EXPECT_FALSE(back.Masked());
  // Channels land where the layout puts them: b 0x12, g 0x34, r 0x56 -> 0x51A2.
  dib->Bits()[0] = MakePixel(0x56, 0x34, 0x12);
  rsb.SetDIB(dib.get());
  std::ostringstream out2;
  rsb.SaveToStream(out2);
  EXPECT_EQ(out2.str().substr(28), Bytes({0xA2, 0x51}));
}

TEST(DIBRsb, MaskedBitmapsRoundTripWithAlpha) {
  auto dib = TWinDIB::CreateSize(3, 2);
  for (int i = 0; i < 6; ++i) dib->Bits()[i] = MakePixel(std::uint8_t(40 * i), 0xF0, 0x1F, std::uint8_t(0x30 * i));
  dib->SetMasked(true);
  TDIBRSBFormat rsb;
  rsb.SetDIB(dib.get());
  std::ostringstream out;
  rsb.SaveToStream(out);
  EXPECT_EQ(out.str().substr(0, 28), RsbHeader(1, 3, 2, 4, 4, 4, 4));
  TWinDIB back;
  rsb.SetDIB(&back);
  std::istringstream in(out.str());
  rsb.LoadFromStream(in);
  EXPECT_TRUE(back.Masked());
  // Image row 0 is memory row 1.
  // Memory pixel 3 was r 120, g 0xF0, b 0x1F, a 0x90; each keeps its top four bits.
  EXPECT_EQ(back.ScanLine(0)[0], MakePixel(0x70, 0xF0, 0x10, 0x90));
  std::ostringstream again;
  rsb.SaveToStream(again);
  EXPECT_EQ(again.str(), out.str()) << "alpha comes back from the top four bits";
}

TEST(DIBRsb, ProgressReportsEveryRowEndingAtOneHundred) {
  auto dib = TWinDIB::CreateSize(2, 3);
  TDIBRSBFormat rsb;
  rsb.SetDIB(dib.get());
  std::vector<int> seen;
  rsb.OnProgress = [&](TAbstractDIBFormat& sender, int percent) {
    EXPECT_EQ(&sender, &rsb);
    seen.push_back(percent);
  };
  std::ostringstream out;
  rsb.SaveToStream(out);
  EXPECT_EQ(seen, (std::vector<int>{0, 50, 100}));
  seen.clear();
  std::istringstream in(out.str());
  rsb.LoadFromStream(in);
  EXPECT_EQ(seen, (std::vector<int>{0, 50, 100}));
  seen.clear();
  std::istringstream one(RsbHeader(1, 2, 1, 5, 6, 5, 0) + Bytes({0, 0, 0, 0}));
  rsb.LoadFromStream(one);
  EXPECT_EQ(seen, std::vector<int>{100});
}

TEST(DIBRsb, BadHeadersFailWithoutTouchingTheBitmap) {
  auto dib = TWinDIB::CreateSize(2, 2);
  TDIBRSBFormat rsb;
  rsb.SetDIB(dib.get());
  std::istringstream v2(RsbHeader(2, 1, 1, 5, 6, 5, 0) + Bytes({0, 0}));
  try {
    rsb.LoadFromStream(v2);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Only RSB version 1 is supported.");
  }
  std::istringstream huge(RsbHeader(1, 60000, 60000, 5, 6, 5, 0) + Bytes({1, 2, 3}));
  EXPECT_THROW(rsb.LoadFromStream(huge), EReadError);
  std::istringstream cut(RsbHeader(1, 2, 2, 5, 6, 5, 0).substr(0, 20));
  EXPECT_THROW(rsb.LoadFromStream(cut), EReadError);
  EXPECT_EQ(dib->Width(), 2);
  // Odd bit layouts (blue and green under 8 bits together) still decode field by field.
  std::istringstream odd(RsbHeader(1, 1, 1, 3, 3, 2, 8) + Bytes({0b11100111, 0xAB}));
  rsb.LoadFromStream(odd);
  EXPECT_EQ(dib->Bits()[0], MakePixel(0b11100000, 0b00100000, 0b11000000, 0xAB));
  TDIBRSBFormat detached;
  std::istringstream any(RsbHeader(1, 1, 1, 5, 6, 5, 0) + Bytes({0, 0}));
  EXPECT_THROW(detached.LoadFromStream(any), EDIBError);
}

}  // namespace
}  // namespace lumora
