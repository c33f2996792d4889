// TReadmeFrm: the window that shows the show author's readme text. The settings
// dialog makes a new one for every press of its Readme button and shows it without
// waiting; the window glue draws it and reports the menu's Exit.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace lumora {

class TReadmeFrm {
 public:
  static constexpr std::string_view kCaption = "Screen Saver Readme";
  static constexpr int kWidth = 544;   // the window, 96 dots per inch
  static constexpr int kHeight = 480;
  static constexpr std::string_view kFormFont = "MS Sans Serif";
  static constexpr int kFormFontPoints = 8;
  static constexpr int kMemoFontPoints = 10;  // memReadme
  static constexpr std::string_view kFileMenu = "&File";
  static constexpr std::string_view kExitItem = "&Exit";

  // memReadme's lines, joined by CR LF (ANSI).
  const std::string& ReadmeText() const { return readmeText_; }
  void SetReadmeText(std::string text) { readmeText_ = std::move(text); }
  // The character set the readme is written in (TConfigFrm::TextCharset).
  int TextCharset() const { return textCharset_; }
  void SetTextCharset(int charset) { textCharset_ = charset; }

  // Closes the window; the glue sets it when it has made the window.
  std::function<void()> CloseWindow;
  void mmFileExitClick() {
    if (CloseWindow) CloseWindow();
  }

 private:
  std::string readmeText_;
  int textCharset_ = 1;
};

}  // namespace lumora
