#include "platform/win32/win32_activex.h"

#include "platform/control_protocol.h"
#include "platform/win32/control_host_resources.h"
#include "platform/win32/win32_ole_control.h"
#include "platform/win32/win32_pipe_channel.h"
#include "platform/win32/win32_unicode.h"

#include <windows.h>
#include <sddl.h>

#include <fstream>
#include <map>

namespace lumora::platform {

namespace {

constexpr std::uint32_t kCreateTimeoutMs = 15000;  // loading a control may take a while
constexpr std::uint32_t kReplyTimeoutMs = 5000;    // longer than this: the host hangs
constexpr DWORD kEndWaitMs = 1000;
constexpr UINT kPumpMs = 15;
constexpr unsigned short kMachineX86 = IMAGE_FILE_MACHINE_I386;
constexpr unsigned short kMachineX64 = IMAGE_FILE_MACHINE_AMD64;

// The processor kind that a program or library file is made for; 0 when it is no such file.
unsigned short MachineOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char dos[64]{};
  if (!in.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
  const std::uint32_t at = dos[0x3C] | (dos[0x3D] << 8) | (dos[0x3E] << 16) | (std::uint32_t(dos[0x3F]) << 24);
  unsigned char pe[6]{};
  in.seekg(at);
  if (!in.read(reinterpret_cast<char*>(pe), sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
    return 0;
  return static_cast<unsigned short>(pe[4] | (pe[5] << 8));
}

// Waits for a process to end while letting messages that its windows send to ours run
// (a child window of another process sends to its parent as it goes).
bool WaitPumpingSent(HANDLE process, DWORD ms) {
  const ULONGLONG deadline = ::GetTickCount64() + ms;
  while (true) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    const DWORD r = ::MsgWaitForMultipleObjects(1, &process, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// A token like ours at low integrity, so that a control cannot write where the user's
// programs and files live; null where the system has no integrity levels.
HANDLE LowIntegrityToken() {
  HANDLE own = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT | TOKEN_ASSIGN_PRIMARY, &own))
    return nullptr;
  HANDLE low = nullptr;
  const BOOL duplicated = ::DuplicateTokenEx(own, 0, nullptr, SecurityImpersonation, TokenPrimary, &low);
  ::CloseHandle(own);
  if (!duplicated) return nullptr;
  PSID sid = nullptr;
  bool ok = ::ConvertStringSidToSidW(L"S-1-16-4096", &sid) != FALSE;
  if (ok) {
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    label.Label.Sid = sid;
    ok = ::SetTokenInformation(low, TokenIntegrityLevel, &label, sizeof label + ::GetLengthSid(sid)) != FALSE;
    ::LocalFree(sid);
  }
  if (!ok) {
    ::CloseHandle(low);
    return nullptr;
  }
  return low;
}

// A temporary file name made by the system with the given extension, created empty.
std::filesystem::path NewTempFile(std::wstring_view extension) {
  wchar_t dir[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[MAX_PATH];
    if (::GetTempFileNameW(dir, L"tmp", 0, name) == 0) return {};
    std::wstring wanted = name;
    wanted.replace(wanted.size() - 4, 4, extension);
    HANDLE file = ::CreateFileW(wanted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ::DeleteFileW(name);
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
      return std::filesystem::path(wanted);
    }
  }
  return {};
}

// A control that lives in a control host program: the proxy's calls over the pipes,
// its mouse messages raised on the UI thread by a timer, and the input messages of its
// window posted to our panel, so that our message filter sees them as it sees our own.
class TWin32RemoteControl final : public IActiveXControl {
 public:
  TWin32RemoteControl(std::unique_ptr<TWin32PipeChannel> channel, HANDLE process, HWND panel)
      : channel_(channel.get()),
        proxy_(std::move(channel), kReplyTimeoutMs),
        process_(process),
        panel_(panel) {
    proxy_.SetInputHandler([this](const TControlPacket& input) {
      if (panel_ != nullptr)
        ::PostMessageW(panel_, static_cast<UINT>(input.Handle), static_cast<WPARAM>(input.Mask),
                       static_cast<LPARAM>(input.X));
    });
  }

  ~TWin32RemoteControl() override {
    StopPumping();
    // The host ends when its pipe closes; one that does not is ended.
    channel_->Close();
    if (!WaitPumpingSent(process_, kEndWaitMs)) {
      ::TerminateProcess(process_, 1);
      WaitPumpingSent(process_, kEndWaitMs);
    }
    ::CloseHandle(process_);
  }

  bool Open(std::string_view className, const std::string& classId, const std::filesystem::path& file,
            TActiveXFailure& failure) {
    const bool ok = proxy_.Open(className, classId, Utf8FromWide(file.wstring()),
                                static_cast<std::uint64_t>(reinterpret_cast<UINT_PTR>(panel_)), kCreateTimeoutMs,
                                failure);
    if (ok) StartPumping();
    return ok;
  }

  std::optional<TDispValue> GetProperty(std::string_view name) override { return Checked(proxy_.GetProperty(name)); }
  bool SetProperty(std::string_view name, const TDispValue& value) override {
    return Checked(proxy_.SetProperty(name, value));
  }
  bool Call(std::string_view method) override { return Checked(proxy_.Call(method)); }
  void SetBounds(const TRect& bounds) override { proxy_.SetBounds(bounds); }
  void SetVisible(bool visible) override { proxy_.SetVisible(visible); }
  void SetMessageHook(std::function<bool(TControlMessage, int, int)> hook) override {
    proxy_.SetMessageHook(std::move(hook));
  }
  void SetMessagePass(std::function<bool(TControlMessage)> passes) override {
    proxy_.SetMessagePass(std::move(passes));
  }
  bool Lost() const override { return proxy_.Lost(); }

 private:
  template <typename T>
  T Checked(T result) {
    if (proxy_.Lost()) StopPumping();
    return result;
  }

  void StartPumping() {
    timer_ = ::SetTimer(nullptr, 0, kPumpMs, &PumpTimer);
    if (timer_ != 0) Pumped()[timer_] = this;
  }
  void StopPumping() {
    if (timer_ == 0) return;
    ::KillTimer(nullptr, timer_);
    Pumped().erase(timer_);
    timer_ = 0;
  }
  static std::map<UINT_PTR, TWin32RemoteControl*>& Pumped() {
    static std::map<UINT_PTR, TWin32RemoteControl*> controls;  // UI thread only
    return controls;
  }
  static void CALLBACK PumpTimer(HWND, UINT, UINT_PTR id, DWORD) {
    const auto it = Pumped().find(id);
    if (it == Pumped().end()) return;
    TWin32RemoteControl* self = it->second;
    self->proxy_.Pump();
    if (self->proxy_.Lost()) self->StopPumping();
  }

  TWin32PipeChannel* channel_;
  TControlProxy proxy_;
  HANDLE process_;
  HWND panel_;
  UINT_PTR timer_ = 0;
};

// Starts a control host program with a pipe each way; null on failure.
std::unique_ptr<TWin32RemoteControl> StartControlHost(const std::filesystem::path& program, HWND panel) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE toHostRead = nullptr, toHostWrite = nullptr, fromHostRead = nullptr, fromHostWrite = nullptr;
  if (!::CreatePipe(&toHostRead, &toHostWrite, &inherit, 0)) return nullptr;
  if (!::CreatePipe(&fromHostRead, &fromHostWrite, &inherit, 0)) {
    ::CloseHandle(toHostRead);
    ::CloseHandle(toHostWrite);
    return nullptr;
  }
  // Our ends stay ours.
  ::SetHandleInformation(toHostWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(fromHostRead, HANDLE_FLAG_INHERIT, 0);

  std::wstring command = L"\"" + program.wstring() + L"\" " +
                         std::to_wstring(reinterpret_cast<UINT_PTR>(toHostRead)) + L" " +
                         std::to_wstring(reinterpret_cast<UINT_PTR>(fromHostWrite));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  BOOL started = FALSE;
  if (HANDLE low = LowIntegrityToken()) {
    started = ::CreateProcessAsUserW(low, program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     nullptr, &startup, &info);
    ::CloseHandle(low);
  }
  // Where the system has no integrity levels or refuses the token: with our own rights.
  if (!started)
    started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                               &info);
  ::CloseHandle(toHostRead);
  ::CloseHandle(fromHostWrite);
  if (!started) {
    ::CloseHandle(toHostWrite);
    ::CloseHandle(fromHostRead);
    return nullptr;
  }
  ::CloseHandle(info.hThread);
  return std::make_unique<TWin32RemoteControl>(std::make_unique<TWin32PipeChannel>(fromHostRead, toHostWrite, true),
                                               info.hProcess, panel);
}

}  // namespace

TWin32ActiveXHost::TWin32ActiveXHost() { initialised_ = SUCCEEDED(::OleInitialize(nullptr)); }

TWin32ActiveXHost::~TWin32ActiveXHost() {
  for (const auto& [name, file] : files_) ::DeleteFileW(file.File.c_str());
  for (const auto& [machine, program] : programs_)
    if (!program.empty()) ::DeleteFileW(program.c_str());
  if (initialised_) ::OleUninitialize();
}

void TWin32ActiveXHost::UseControlFile(std::string_view className, std::string_view classId,
                                       const std::filesystem::path& file) {
  const auto it = files_.find(className);
  if (it != files_.end()) ::DeleteFileW(it->second.File.c_str());
  files_[std::string(className)] = TControlFile{std::string(classId), file};
}

std::filesystem::path TWin32ActiveXHost::HostProgram(unsigned short machine) {
  const auto known = programs_.find(machine);
  if (known != programs_.end()) return known->second;
  std::filesystem::path& program = programs_[machine];
  const int id = machine == kMachineX64 ? LUMORA_RES_CONTROL_HOST_X64 : LUMORA_RES_CONTROL_HOST_X86;
  HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = resource ? ::SizeofResource(nullptr, resource) : 0;
  if (bytes == nullptr || size == 0) return program;
  const std::filesystem::path path = NewTempFile(L".exe");
  if (path.empty()) return program;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE && ::WriteFile(file, bytes, size, &written, nullptr) && written == size;
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (ok)
    program = path;
  else
    ::DeleteFileW(path.c_str());
  return program;
}

std::unique_ptr<IActiveXControl> TWin32ActiveXHost::CreateControl(std::string_view className, IMediaPanel* parent,
                                                                  TActiveXFailure& failure) {
  try {
    HWND window = parent ? reinterpret_cast<HWND>(static_cast<INT_PTR>(parent->Handle())) : nullptr;
    // A class registered for this process's kind is made here.
    CLSID clsid{};
    const std::wstring name = WideFromUtf8(className);
    HRESULT hr = ::CLSIDFromProgID(name.c_str(), &clsid);
    if (SUCCEEDED(hr)) {
      std::unique_ptr<IActiveXControl> control = CreateOleControl(clsid, nullptr, window, failure);
      if (control) return control;
    } else {
      failure = ClassMissing(hr) ? TActiveXFailure::ClassNotRegistered : TActiveXFailure::OtherFailure;
    }
    // Any other lives in a host program; the test creation without a parent starts none.
    if (window == nullptr) return nullptr;
    const auto file = files_.find(className);
    const std::filesystem::path controlFile = file != files_.end() ? file->second.File : std::filesystem::path();
    const std::string classId = file != files_.end() ? file->second.ClassId : std::string();
    // A registered control of another kind is a 32-bit one; a file says its own kind.
    const unsigned short machine = controlFile.empty() ? kMachineX86 : MachineOf(controlFile);
    if (machine != kMachineX86 && machine != kMachineX64) return nullptr;
    const std::filesystem::path program = HostProgram(machine);
    if (program.empty()) return nullptr;
    std::unique_ptr<TWin32RemoteControl> remote = StartControlHost(program, window);
    if (!remote) {
      failure = TActiveXFailure::OtherFailure;
      return nullptr;
    }
    if (!remote->Open(className, classId, controlFile, failure)) return nullptr;
    return remote;
  } catch (...) {
    failure = TActiveXFailure::OtherFailure;
    return nullptr;
  }
}

}  // namespace lumora::platform
