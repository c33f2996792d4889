// Entry of lumora.scr: wires the start-up, the show, the settings dialog,
// installation and removal to the Win32 backend.
#include "app/main_frm.h"
#include "app/run_mode.h"
#include "app/startup.h"
#include "dialogs/install_frm_win32.h"
#include "dialogs/settings_win32.h"
#include "imaging/codecs/codec_table.h"
#include "platform/win32/win32_activex.h"
#include "platform/win32/win32_app_shell.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_desktop_capture.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_ledger.h"
#include "platform/win32/win32_media_panel.h"
#include "platform/win32/win32_media_player.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_metafile.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_random.h"
#include "platform/win32/win32_show_system.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_unicode.h"
#include "platform/win32/win32_view_window.h"
#include "show/main_frm_show.h"
#include "trpic/media_host.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace lumora;

// The show on the form: the view trpScrView as a child window filling the form, and
// the show logic, both made when the form is shown (it has its final size then).
class TWin32Show final : public platform::IFormEvents {
 public:
  TWin32Show(TMainFrm& form, platform::TWin32ApplicationShell& application, platform::IFileSystem& files)
      : form_(form),
        application_(application),
        files_(files),
        system_(application),
        messages_(platform::WideFromUtf8(RunMode() == "P" ? kPreviewTitle : kFullScreenTitle)) {}

  ~TWin32Show() override {
    application_.SetMessageFilter(nullptr);
    show_.reset();
    player_.reset();
    view_.reset();
    threads_.reset();
    window_.reset();
  }

  void FormShow() override {
    platform::TraceMark("form shown");
    HWND form = reinterpret_cast<HWND>(static_cast<INT_PTR>(form_.Window().Handle()));
    RECT client{};
    ::GetClientRect(form, &client);
    window_ = platform::TWin32ViewWindow::Create(form, client);
    if (!window_) return;
    threads_ = std::make_unique<platform::TWin32ThreadHost>();
    // Waits for the view's workers pump messages; the exit filter sees those too.
    threads_->SetPreDispatch([this](const void* message) { application_.Filter(message); });
    view_ = std::make_unique<TTrPic>(TTrPicPlatform{*window_, text_, desktop_, random_, messages_, threads_.get()});
    // Video and movie items: panels inside the view's window, each video through an MCI
    // device of its own, each movie in a control of its own.
    panels_ = std::make_unique<platform::TWin32MediaPanels>(window_->Handle());
    view_->SetMediaPlatform(TMediaHostPlatform{*panels_, timers_,
                                               [] { return std::make_unique<platform::TWin32MediaPlayer>(); },
                                               [this] { system_.ProcessMessages(); }, &activeX_,
                                               [] { return static_cast<std::uint64_t>(::GetTickCount64()); }});
    platform::TraceMark("view made");
    show_ = std::make_unique<TMainFrmShow>(TShowPlatform{files_, system_, system_, system_, timers_, messages_, random_},
                                           form_.Window(), *view_, RunMode());
    show_->SetFlashPlatform(TFlashSetupPlatform{files_, processes_, activeX_});
    // mdaScr: its completions come through the message loop; the handler's wait idles on it.
    player_ = std::make_unique<platform::TWin32MediaPlayer>();
    show_->SetMusicPlatform(TMusicPlatform{
        files_, *player_, [this] { system_.ProcessMessages(); },
        [](std::uint32_t ms) { ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT); },
        [] { return static_cast<std::uint32_t>(::GetTickCount()); }, &timers_});
    // Keys go to the form, which ignores them; the exit filter sees them first. The
    // preview never takes the focus: the display settings around it keep it.
    if (RunMode() != "P") ::SetFocus(form);
    // The mouse tolerance is 3 pixels at 96 dots per inch, however dense the screen.
    show_->Exit().SetMouseThreshold(::MulDiv(3, static_cast<int>(WindowDpi(form)), 96));
    application_.SetMessageFilter([this](const platform::TMessage& message) {
      if (show_) show_->ExitFilter(message);
    });
    show_->FormShow();
  }

  void FormClose() override {
    if (show_) show_->FormClose();
  }

  void FormDeactivated() override {
    if (show_) show_->FormDeactivated();
  }

  // A dark screen stops the show where it is: the workers' clock, the timer, the music.
  void FormDisplayPower(bool on) override {
    if (threads_) threads_->SetPaused(!on);
    if (show_) show_->FormDisplayPower(on);
  }

 private:
  TMainFrm& form_;
  platform::TWin32ApplicationShell& application_;
  platform::IFileSystem& files_;
  platform::TWin32ShowSystem system_;
  platform::TWin32Timers timers_;
  platform::TWin32TextRasterizer text_;
  platform::TWin32DesktopCapture desktop_;
  platform::TWin32Random random_;
  platform::TWin32MessageBox messages_;
  platform::TWin32Processes processes_;
  // Outlives every control (the view frees them).
  platform::TWin32ActiveXHost activeX_;
  std::unique_ptr<platform::TWin32ViewWindow> window_;
  std::unique_ptr<platform::TWin32ThreadHost> threads_;
  std::unique_ptr<platform::TWin32MediaPanels> panels_;
  std::unique_ptr<TTrPic> view_;
  std::unique_ptr<platform::TWin32MediaPlayer> player_;
  std::unique_ptr<TMainFrmShow> show_;
};

// The command line's arguments after the program name, as UTF-8.
std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(lumora::platform::Utf8FromWide(argv[i]));
  ::LocalFree(argv);
  return args;
}

}  // namespace

namespace {

// The whole program; every object of the backend is gone when it returns.
int RunLumora() {
  {
    // Windows metafiles are drawn by GDI; the portable decoders know them only through this.
    lumora::codecs::SetMetafileRenderer(&lumora::platform::Win32MetafileRenderer());
    const std::vector<std::string> args = CommandLineArguments();
    lumora::platform::TWin32FileSystem files;
    lumora::platform::TWin32NamedMutexes mutexes;
    lumora::platform::TWin32WindowLookup windows;
    lumora::platform::TWin32ScreenSaverPassword password;
    lumora::platform::TWin32ApplicationShell application;
    lumora::TModeHooks hooks;
    hooks.RunSettingsDialog = [&files](lumora::platform::TWindowHandle owner) {
      lumora::RunSettingsDialogWin32(files, owner);
    };
    // The exit code tells an installer that started this process elevated how it went.
    int exitCode = 0;
    hooks.RunInstallerDialog = [&] { lumora::RunInstallFrm(files); };
    hooks.RunInstallWorker = [&](std::string_view runMode) {
      exitCode = lumora::RunInstallWorkerWin32(files, runMode, args);
    };
    hooks.RunRemoval = [&] { exitCode = lumora::RunRemovalWin32(files, args); };
    hooks.CreateShow = [&](lumora::TMainFrm& form) -> std::unique_ptr<lumora::platform::IFormEvents> {
      return std::make_unique<TWin32Show>(form, application, files);
    };
    lumora::RunStartup(args, {files, mutexes, windows, password, application}, hooks);
    return exitCode;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int exitCode = 0;
  try {
    const std::unique_ptr<lumora::platform::TTraceFile> trace = lumora::platform::OpenTraceFile();
    const lumora::platform::TTraceScope tracing(trace.get());
    lumora::platform::TraceMark("start");
    exitCode = RunLumora();
  } catch (...) {
    // The process ends quietly whatever happened.
  }
  // What is still booked now was never freed (for the end-to-end tests' leak check).
  lumora::platform::WriteLedgerReport();
  return exitCode;
}
