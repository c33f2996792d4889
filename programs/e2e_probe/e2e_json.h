// JSON lines on standard output for the end-to-end harness, which reads them.
#pragma once

#include "platform/win32/win32_unicode.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace lumora::e2e {

inline std::string Utf8(std::wstring_view text) { return platform::Utf8FromWide(text); }

inline std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

inline std::string Quoted(std::wstring_view text) { return Quoted(Utf8(text)); }

inline std::string Handle(HWND window) {
  return std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(window)));
}

// Writes one line and flushes it at once, so that a reader on a pipe sees it.
inline void EmitLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace lumora::e2e
