// A show on the headless platform: a screen saver written to a temporary folder, the
// picture view on an in-memory window, a virtual clock, a scripted system and a form
// window that records its closing.
#pragma once

#include "platform/headless/headless_clock.h"
#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_show_system.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "platform/headless/headless_threads.h"
#include "show/main_frm_show.h"
#include "support/test_files.h"

#include <memory>
#include <string>

namespace lumora::testing {

class TRecordingForm final : public platform::IFormWindow {
 public:
  platform::TWindowHandle Handle() const override { return 77; }
  void SetFormStyle(platform::TFormStyle) override {}
  bool EmbedIn(platform::TWindowHandle) override { return false; }
  void Close() override { ++Closes; }
  int Closes = 0;
};

// One show: build the payload with Add... and Finish, then Start.
struct TShowRig {
  // withThreads: the view runs its effects and floating on the headless worker threads
  // (else a transition ends at once).
  explicit TShowRig(std::string runMode = "S", platform::TSize client = {320, 240}, platform::TSize screen = {320, 240},
                    bool withThreads = false)
      : Files(Dir / "Show.scr", Dir.Path()),
        Surface(client, screen),
        View(TTrPicPlatform{Surface, Text, Desktop, Random, Messages, withThreads ? &Threads : nullptr}),
        RunMode(std::move(runMode)) {}

  ~TShowRig() { Show.reset(); }

  // A 24-bit bitmap entry of one colour.
  test::TPayloadWriter::TRef AddPicture(int width, int height, std::uint32_t rgb) {
    colour_ = rgb;
    return Writer.AddEntry(test::MakeBmp24(width, height, [](int, int) { return colour_; }));
  }
  // "FilePos=..\r\nFileSize=..\r\n" for an entry.
  static std::string EntryKeys(const test::TPayloadWriter::TRef& ref, std::string_view prefix = "") {
    return std::string(prefix) + "FilePos=" + std::to_string(ref.Position) + "\r\n" + std::string(prefix) +
           "FileSize=" + std::to_string(ref.StoredSize) + "\r\n";
  }
  void Finish(std::string_view config) { test::WriteFileBytes(Dir / "Show.scr", Writer.Finish(test::BytesOf(config))); }
  void WriteUserSettings(std::string_view text) { test::WriteFileBytes(Dir / "Show.ini", test::BytesOf(text)); }

  void Start() {
    Show = std::make_unique<TMainFrmShow>(
        TShowPlatform{Files, System, System, System, Clock, Messages, Random}, Form, View, RunMode);
    Show->SetWorkAhead(WorkAhead);
    Show->FormShow();
  }
  void Send(const platform::TMessage& message) { Show->ExitFilter(message); }
  void Key(std::uint32_t key = 'A') { Send({0, platform::kWmKeyDown, key, 0, 0, 0}); }
  // The temporary files left in the folder besides the show and its settings.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> files;
    for (const std::string& name : Dir.List())
      if (name.starts_with("tmp")) files.push_back(name);
    return files;
  }

  inline static std::uint32_t colour_ = 0;
  test::TTempDir Dir;
  test::TPayloadWriter Writer;
  platform::THeadlessFileSystem Files;
  platform::THeadlessSurface Surface;
  platform::THeadlessTextRasterizer Text;
  platform::THeadlessDesktopCapture Desktop;
  platform::THeadlessRandom Random;
  platform::THeadlessMessageBox Messages;
  platform::THeadlessShowSystem System;
  platform::THeadlessClock Clock;
  platform::THeadlessThreadHost Threads;
  TRecordingForm Form;
  TTrPic View;
  std::string RunMode;
  // The next item decoded ahead on the view's threads (only with withThreads).
  bool WorkAhead = true;
  std::unique_ptr<TMainFrmShow> Show;
};

}  // namespace lumora::testing
