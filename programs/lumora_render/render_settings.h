// lumora-render settings: the settings dialog of a packed screen saver, drawn headless.
#pragma once

#include <string>
#include <vector>

namespace lumora::tools {

extern const char* const kRenderSettingsUsage;

// The arguments after "settings"; returns the exit status (0, 1 render error, 2 arguments).
int RenderSettings(const std::vector<std::string>& args);

}  // namespace lumora::tools
