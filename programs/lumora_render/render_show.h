// lumora-render show: one item of a packed screen saver as the show displays it.
#pragma once

#include <string>
#include <vector>

namespace lumora::tools {

extern const char* const kRenderShowUsage;

// The arguments after "show"; returns the exit status (0, 1 render error, 2 arguments).
int RenderShow(const std::vector<std::string>& args);

}  // namespace lumora::tools
