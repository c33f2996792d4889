// UTF-8 text of the core to and from the wide-character Win32 API.
#pragma once

#include <string>
#include <string_view>

namespace lumora::platform {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace lumora::platform
