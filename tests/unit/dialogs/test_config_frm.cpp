// The settings dialog over real files: what FormShow shows for the embedded
// configuration and the settings file, what OK and Cancel leave in that file, the
// banner's fallbacks, the addresses it opens and the readme windows it makes.
#include "dialogs/config_frm.h"
#include "dialogs/config_frm_layout.h"
#include "dialogs/config_frm_paint.h"

#include "platform/headless/headless_files.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_shell.h"
#include "platform/headless/headless_text.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

namespace lumora {
namespace {

using test::BytesOf;
namespace fs = std::filesystem;

std::uint32_t Orange(int, int) { return 0xFF8000; }

class ConfigFrm : public ::testing::Test {
 protected:
  ConfigFrm() : files_(dir_ / "Saver.scr", dir_.Path()) {}

  // Writes the screen saver: the entries, then the configuration, in which {posN} and
  // {sizeN} stand for entry N's reference.
  void WriteSaver(const std::string& config, const std::vector<test::TBytes>& entries = {}) {
    test::TPayloadWriter writer;
    refs_.clear();
    for (const test::TBytes& e : entries) refs_.push_back(writer.AddEntry(e));
    std::string text = config;
    for (std::size_t i = 0; i < refs_.size(); ++i) {
      Replace(text, "{pos" + std::to_string(i) + "}", std::to_string(refs_[i].Position));
      Replace(text, "{size" + std::to_string(i) + "}", std::to_string(refs_[i].StoredSize));
    }
    test::WriteFileBytes(dir_ / "Saver.scr", writer.Finish(BytesOf(text)));
  }
  static void Replace(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at; (at = text.find(what)) != std::string::npos;) text.replace(at, what.size(), with);
  }

  void WriteSettings(std::string_view text) { test::WriteFileBytes(SettingsFile(), BytesOf(text)); }
  fs::path SettingsFile() const { return dir_ / "Saver.ini"; }
  std::string Settings() const {
    const test::TBytes bytes = test::ReadFileBytes(SettingsFile());
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

  TConfigFrm& Show() {
    TConfigFrm::THooks hooks;
    hooks.Close = [this] { ++closes_; };
    hooks.ShowReadme = [this](TReadmeFrm& f) { shownReadmes_.push_back(&f); };
    form_ = std::make_unique<TConfigFrm>(TConfigFrmPlatform{files_, messages_, shell_}, hooks);
    form_->FormShow();
    return *form_;
  }

  std::array<bool, 6> Boxes() const {
    std::array<bool, 6> out{};
    for (int i = 0; i < 6; ++i) out[static_cast<std::size_t>(i)] = ConfigCheckBox(*form_, i).Checked;
    return out;
  }

  test::TTempDir dir_;
  platform::THeadlessFileSystem files_;
  platform::THeadlessMessageBox messages_;
  platform::THeadlessShell shell_;
  std::vector<test::TPayloadWriter::TRef> refs_;
  std::unique_ptr<TConfigFrm> form_;
  int closes_ = 0;
  std::vector<TReadmeFrm*> shownReadmes_;
};

TEST_F(ConfigFrm, SettingsFileShowsItsBitsAndOkWritesOnlyTheFourExitBits) {
  struct TCase {
    std::optional<std::string> file;  // none: no settings file
    std::array<bool, 6> boxes;        // move, click, any key, Esc, mute, cursor
    std::array<bool, 6> set;          // what the user ticks before OK
    std::string afterOk;              // the settings file after OK
  } cases[] = {
      {std::nullopt, {1, 1, 1, 1, 0, 0}, {1, 1, 1, 1, 0, 0},
       "[AppConfig]\r\nHowToExit=15\r\nIsSndMute=0\r\nIsShowCursor=0\r\n\r\n"},
      {"[AppConfig]\r\nHowToExit=0\r\n", {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0},
       "[AppConfig]\r\nHowToExit=0\r\nIsSndMute=0\r\nIsShowCursor=0\r\n\r\n"},
      {"[Other]\r\nKeep=me\r\n[AppConfig]\r\nIsSndMute=7\r\nHowToExit=21\r\n", {1, 0, 1, 0, 1, 0},
       {1, 0, 1, 0, 1, 1}, "[Other]\r\nKeep=me\r\n\r\n[AppConfig]\r\nIsSndMute=1\r\nHowToExit=5\r\nIsShowCursor=1\r\n\r\n"},
      {"[AppConfig]\r\nHowToExit=255\r\nIsShowCursor=1\r\n", {1, 1, 1, 1, 0, 1}, {0, 1, 0, 1, 1, 1},
       "[AppConfig]\r\nHowToExit=10\r\nIsShowCursor=1\r\nIsSndMute=1\r\n\r\n"},
  };
  WriteSaver("[AppInfo]\r\nAuthor=Me\r\n");
  for (const TCase& c : cases) {
    fs::remove(SettingsFile());
    if (c.file) WriteSettings(*c.file);
    TConfigFrm& form = Show();
    EXPECT_EQ(Boxes(), c.boxes) << c.afterOk;
    for (int i = 0; i < 6; ++i) ConfigCheckBox(form, i).Checked = c.set[static_cast<std::size_t>(i)];
    form.btnOKClick();
    EXPECT_EQ(Settings(), c.afterOk);
    EXPECT_TRUE(form.Closed());
  }
  EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(ConfigFrm, OkWithoutChangesAndCancelLeaveTheSettingsFileUntouched) {
  WriteSaver("[AppInfo]\r\nAuthor=Me\r\n");
  const std::string stored = "[AppConfig]\r\nHowToExit=5\r\nIsSndMute=0\r\nIsShowCursor=1\r\n";
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
  for (const bool ok : {true, false}) {
    WriteSettings(stored);
    fs::last_write_time(SettingsFile(), old);
    TConfigFrm& form = Show();
    EXPECT_EQ(Boxes(), (std::array<bool, 6>{1, 0, 1, 0, 0, 1}));
    if (ok) {
      form.btnOKClick();
    } else {
      form.chkMouseClick.Checked = form.chkMuteSound.Checked = true;
      form.btnCancelClick();
    }
    EXPECT_TRUE(form.Closed());
    EXPECT_EQ(Settings(), stored) << (ok ? "OK" : "Cancel");
    EXPECT_EQ(fs::last_write_time(SettingsFile()), old) << (ok ? "OK" : "Cancel");
  }
  // Cancel does not make a missing file either.
  fs::remove(SettingsFile());
  Show().btnCancelClick();
  EXPECT_FALSE(fs::exists(SettingsFile()));
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"Saver.scr"});  // no extracted file left
}

TEST_F(ConfigFrm, OkThatCannotWriteSaysSoAndStaysOpen) {
  WriteSaver("[AppInfo]\r\nAuthor=Me\r\n");
  fs::create_directory(SettingsFile());  // nothing can replace a folder
  TConfigFrm& form = Show();
  form.btnOKClick();
  EXPECT_FALSE(form.Closed());
  EXPECT_EQ(messages_.Shown(), std::vector<std::string>{std::string(TConfigFrm::kSaveSettingsError)});
}

TEST_F(ConfigFrm, EmbeddedKeysFillTheAboutPageAndIsUseGeneralHidesReadmeAndWebsite) {
  struct TCase {
    std::string config;
    std::string author, website, description;
    bool general;
  } cases[] = {
      {"[Settings]\r\n", "Quenvale Inc.", "https://www.quenvale.com/", "", true},
      {"[AppInfo]\r\nAuthor=Ann\r\n[Settings]\r\nIsUseGeneral=0\r\nYourURL=http://a.example/\r\n"
       "[AppDsp]\r\nLine one\r\nx=y\r\n",
       "Ann", "http://a.example/", "Line one\r\nx=y\r\n", false},
  };
  for (const TCase& c : cases) {
    WriteSaver(c.config);
    const TConfigFrm& form = Show();
    EXPECT_EQ(form.labAuthor.Caption, c.author);
    EXPECT_EQ(form.labWebsite.Caption, c.website);
    EXPECT_EQ(form.memDescription.Caption, c.description);
    EXPECT_EQ(form.btnReadme.Visible, c.general);
    EXPECT_EQ(form.labWebsite.Visible, c.general);
    EXPECT_TRUE(form.labAuthor.Visible && form.memDescription.Visible);
    EXPECT_EQ(form.Config().BannerTips, "Click banner to visit our website for more infomation.");
    const TConfigFrmLayout layout = LayoutConfigFrm(form);
    EXPECT_EQ(layout.Find("btnReadme")->Visible, c.general);
    EXPECT_EQ(layout.Find("labWebsite")->Visible, c.general);
  }
}

TEST_F(ConfigFrm, BannerShowsOnlyADecodedPictureAndHidesQuietlyOtherwise) {
  const test::TBytes bmp = test::MakeBmp24(40, 10, Orange);
  struct TCase {
    std::string settings;
    bool shown;
  } cases[] = {
      {"IsUseBanner=1\r\n", false},  // no position, no size
      {"IsUseBanner=0\r\nBannerFilePos={pos0}\r\nBannerFileSize={size0}\r\n", false},
      {"IsUseBanner=1\r\nBannerFilePos={pos0}\r\nBannerFileSize={size0}\r\n", true},  // a bitmap from memory
      {"IsUseBanner=1\r\nBannerFile=.bmp\r\nBannerFilePos={pos0}\r\nBannerFileSize={size0}\r\n", true},
      {"IsUseBanner=1\r\nBannerFile=.jpg\r\nBannerFilePos={pos1}\r\nBannerFileSize={size1}\r\n", false},  // damaged
      {"IsUseBanner=1\r\nBannerFile=.bmp\r\nBannerFilePos={pos0}\r\nBannerFileSize=3\r\n", false},
  };
  for (const TCase& c : cases) {
    WriteSaver("[Settings]\r\nBannerTips=Tip\r\n" + c.settings, {bmp, BytesOf("not a JPEG at all")});
    const TConfigFrm& form = Show();
    EXPECT_EQ(form.panBanner.Visible, c.shown) << c.settings;
    EXPECT_EQ(form.imgBanner.Picture().Width(), c.shown ? 40 : 0) << c.settings;
    if (c.shown) {
      EXPECT_TRUE(form.imgBanner.ShowHint && form.imgBanner.Hint == "Tip");
    }
    // A hidden banner takes no room.
    const TConfigFrmLayout layout = LayoutConfigFrm(form);
    EXPECT_EQ(layout.Find("PageControl1")->Bounds.Top, c.shown ? 60 : 8);
  }
  EXPECT_TRUE(messages_.Shown().empty());
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"Saver.scr"});
}

TEST_F(ConfigFrm, ConfigurationThatCannotBeExtractedIsReportedAndCloses) {
  test::TPayloadWriter writer;
  test::WriteFileBytes(dir_ / "Saver.scr", writer.FinishWithTrailer(1, 1, 5, 1000));
  EXPECT_TRUE(Show().Closed());
  EXPECT_EQ(messages_.Shown(), std::vector<std::string>{"Extract config file error!"});
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(fs::exists(SettingsFile()));
}

TEST_F(ConfigFrm, ClicksOpenTheirAddressesAndEachReadmeClickMakesAnotherWindow) {
  WriteSaver("[Settings]\r\nBannerURL=mailto:a@example.com\r\nYourURL=\r\n");
  TConfigFrm& form = Show();
  form.imgBanner.Clicked();
  form.labWebsiteClick();  // an empty address opens nothing
  EXPECT_EQ(shell_.Opened(), std::vector<std::string>{"mailto:a@example.com"});
  form.btnReadmeClick();
  form.btnReadmeClick();
  ASSERT_EQ(shownReadmes_.size(), 2u);
  EXPECT_NE(shownReadmes_[0], shownReadmes_[1]);
  EXPECT_EQ(shownReadmes_[0]->ReadmeText(), "");  // no readme section
  EXPECT_FALSE(form.Closed());

  EXPECT_EQ(shownReadmes_[0]->TextCharset(), 1);

  // The show's texts are in the character set of its first caption font that names one.
  WriteSaver("[AppInfo]\r\nPicCount=3\r\n[Pic1]\r\nCapFont_Charset=0\r\n[Pic2]\r\nCapFont_Charset=204\r\n"
             "[Pic3]\r\nCapFont_Charset=161\r\n[SettingsReadmeFile]\r\nHello\r\nWorld = yes\r\n");
  Show().btnReadmeClick();
  EXPECT_EQ(shownReadmes_.back()->ReadmeText(), "Hello\r\nWorld = yes\r\n");
  EXPECT_EQ(shownReadmes_.back()->TextCharset(), 204);
  bool closed = false;
  shownReadmes_.back()->CloseWindow = [&] { closed = true; };
  shownReadmes_.back()->mmFileExitClick();
  EXPECT_TRUE(closed);
  EXPECT_EQ(LayoutConfigFrm(Show()).Charset, 204);  // the headless drawing's texts too
}

TEST(ExImage, RaisesEventsOnlyWhileEnabledAndAutoSizesToPictureBak) {
  TExImage image;
  int enters = 0, exits = 0;
  image.OnMouseEnter = [&](TExImage& sender) { enters += &sender == &image; };
  image.OnMouseExit = [&](TExImage&) { ++exits; };
  image.Enabled = false;
  image.MouseEntered();
  image.MouseLeft();
  EXPECT_EQ(enters + exits, 0);
  image.Enabled = true;
  image.MouseEntered();
  image.MouseLeft();
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(exits, 1);

  TPicture picture;
  picture.Bitmap().SetSize(7, 3);
  image.AutoSize = true;
  image.SetPictureBak(&picture);
  EXPECT_EQ(image.PictureBak().Width(), 7);
  EXPECT_EQ(image.Width * 10 + image.Height, 73);
  image.SetPictureBak(nullptr);
  EXPECT_TRUE(image.PictureBak().Empty());
  EXPECT_TRUE(image.Picture().Empty());
}

TEST_F(ConfigFrm, LayoutKeepsEveryControlInsideItsAreaAndThePaintShowsTheTicks) {
  WriteSaver("[Settings]\r\n");
  TConfigFrm& form = Show();
  form.chkMouseMove.Checked = false;
  const TConfigFrmLayout layout = LayoutConfigFrm(form);
  const TRect client{0, 0, layout.ClientWidth, layout.ClientHeight};
  for (const TDialogControl& c : layout.Controls) {
    const TRect area = c.Page < 0 ? client : layout.PageArea;
    EXPECT_TRUE(c.Bounds.Left >= area.Left && c.Bounds.Top >= area.Top && c.Bounds.Right <= area.Right &&
                c.Bounds.Bottom <= area.Bottom)
        << c.Name;
  }
  EXPECT_TRUE(layout.Find("btnOK")->Default);
  EXPECT_EQ(SplitAccelerator("&Cancel").Accelerator, 0u);
  EXPECT_EQ(SplitAccelerator("A&&B").Text, "A&B");

  platform::THeadlessTextRasterizer text;
  const TBitmap32 picture = PaintConfigFrm(layout, form.imgBanner, text);
  EXPECT_EQ(picture.Width(), layout.ClientWidth + 6);
  // The centre of each box: black when ticked, white when not.
  const int frameX = 3, frameY = 25;
  for (int i = 0; i < 2; ++i) {
    const TRect b = layout.Find(kConfigCheckBoxes[i].Name)->Bounds;
    const TPixel centre = picture.At(frameX + b.Left + 6, frameY + b.Top + (b.Height() - 13) / 2 + 7);
    EXPECT_EQ(centre & 0xFFFFFFu, i == 0 ? 0xFFFFFFu : 0u) << kConfigCheckBoxes[i].Name;
  }
}

}  // namespace
}  // namespace lumora
