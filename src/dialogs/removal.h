// Removing an installed screen saver, as its uninstall entry asks: the entry, the
// settings file, and the executable itself through a batch file that waits until the
// process has ended. Where the user lacks the rights, the same file runs the removal
// again with administrator rights.
#pragma once

#include "dialogs/install_worker.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumora {

inline constexpr std::string_view kUninstallQuestion = "Are you sure you want to uninstall the product?";
inline constexpr std::string_view kUninstalled = "Uninstalled completely";
inline constexpr std::string_view kUninstallFailed = "Uninstalling Failed! Please Try again!";
inline constexpr std::string_view kDeleteMeBatchName = "_deleteme.bat";

// How many times the batch file tries to delete the executable, a second apart.
inline constexpr int kDeleteMeTries = 120;

// The lines of the batch file, each ended by CR LF; path is the executable as the
// command interpreter spells it.
std::string DeleteMeBatchText(std::string_view path);
// The command line that runs the batch file: the command interpreter of the system
// folder (plain "cmd.exe" when the folder is unknown) with /d /c.
std::string DeleteMeBatchCommand(const std::optional<std::filesystem::path>& systemDirectory,
                                 const std::filesystem::path& batch);

// The removal: asks first (the base name as caption) unless elevatedStep, which also
// keeps it from showing messages and from elevating again. True when the entry is gone
// and the batch file runs.
bool RunRemoval(const TInstallPlatform& platform, bool elevatedStep = false);

}  // namespace lumora
