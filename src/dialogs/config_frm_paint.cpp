#include "dialogs/config_frm_paint.h"

#include <algorithm>

namespace lumora {
namespace {

constexpr TPixel kFace = 0xFFF0F0F0u;
constexpr TPixel kWindow = 0xFFFFFFFFu;
constexpr TPixel kLight = 0xFFFFFFFFu;
constexpr TPixel kShadow = 0xFFA0A0A0u;
constexpr TPixel kDarkShadow = 0xFF696969u;
constexpr TPixel kText = 0xFF000000u;
constexpr TPixel kLink = 0xFF0000FFu;
constexpr TPixel kCaptionBar = 0xFF0A246Au;
constexpr TPixel kCaptionText = 0xFFFFFFFFu;
constexpr int kBorder = 3;
constexpr int kCaptionHeight = 22;

// The show's texts are in its character set's code page; the dialog's own are ASCII,
// which every such code page spells alike.
platform::TTextFont DialogFont(int charset, bool bold = false) {
  platform::TTextFont font;
  font.Charset = charset;
  font.Name = std::string(TConfigFrmLayout::kFontName);
  font.Height = -(TConfigFrmLayout::kFontPoints * 96 + 36) / 72;  // points at 96 dots per inch
  font.Bold = bold;
  return font;
}

void Frame(TBitmap32& b, const TRect& r, TPixel topLeft, TPixel bottomRight) {
  b.FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1}, topLeft);
  b.FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, topLeft);
  b.FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom}, bottomRight);
  b.FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, bottomRight);
}

TRect Inset(const TRect& r, int by) { return TRect{r.Left + by, r.Top + by, r.Right - by, r.Bottom - by}; }

void Raised(TBitmap32& b, const TRect& r) {
  Frame(b, r, kLight, kDarkShadow);
  Frame(b, Inset(r, 1), kFace, kShadow);
}

void Sunken(TBitmap32& b, const TRect& r) {
  Frame(b, r, kShadow, kLight);
  Frame(b, Inset(r, 1), kDarkShadow, kFace);
}

class TPainter {
 public:
  TPainter(TBitmap32& target, platform::ITextRasterizer& text, int dx, int dy, int charset)
      : b_(target), text_(text), dx_(dx), dy_(dy), charset_(charset) {}

  TRect Place(const TRect& r) const { return TRect{r.Left + dx_, r.Top + dy_, r.Right + dx_, r.Bottom + dy_}; }

  // One line of text at (x, y), with the accelerator underlined.
  void Text(int x, int y, std::string_view caption, TPixel colour, bool accelerated = false) {
    const platform::TTextFont font = DialogFont(charset_);
    if (!accelerated) {
      text_.PaintText(b_, x, y, font, caption, colour);
      return;
    }
    const TAcceleratedText split = SplitAccelerator(caption);
    text_.PaintText(b_, x, y, font, split.Text, colour);
    if (split.Accelerator == std::string::npos) return;
    const int left = x + text_.TextExtent(font, split.Text.substr(0, split.Accelerator)).Width;
    const platform::TTextExtent letter = text_.TextExtent(font, split.Text.substr(split.Accelerator, 1));
    b_.FillRect(TRect{left, y + letter.Height - 1, left + letter.Width, y + letter.Height}, colour);
  }

  int TextWidth(std::string_view s) { return text_.TextExtent(DialogFont(charset_), s).Width; }
  int LineHeight() { return text_.TextExtent(DialogFont(charset_), "Ag").Height; }

  void CheckBox(const TDialogControl& c) {
    const TRect r = Place(c.Bounds);
    const int box = 13, top = r.Top + (r.Height() - box) / 2;
    const TRect square{r.Left, top, r.Left + box, top + box};
    b_.FillRect(square, kWindow);
    Sunken(b_, square);
    if (c.Checked) {
      // A tick of three-pixel strokes.
      for (int i = 0; i < 7; ++i) {
        const int x = square.Left + 3 + i;
        const int y = i < 3 ? square.Top + 5 + i : square.Top + 7 - (i - 2);
        b_.FillRect(TRect{x, y, x + 1, y + 3}, kText);
      }
    }
    Text(r.Left + box + 5, r.Top + (r.Height() - LineHeight()) / 2, c.Text, kText);
  }

  void GroupBox(const TDialogControl& c) {
    const TRect r = Place(c.Bounds);
    const int half = LineHeight() / 2;
    const TRect line{r.Left, r.Top + half, r.Right, r.Bottom};
    Frame(b_, line, kShadow, kLight);
    Frame(b_, TRect{line.Left + 1, line.Top + 1, line.Right, line.Bottom}, kLight, kShadow);
    const int width = TextWidth(c.Text);
    b_.FillRect(TRect{r.Left + 6, r.Top, r.Left + 10 + width, r.Top + LineHeight()}, kWindow);
    Text(r.Left + 8, r.Top, c.Text, kText);
  }

  void Button(const TDialogControl& c) {
    const TRect r = Place(c.Bounds);
    b_.FillRect(r, kFace);
    if (c.Default) {
      Frame(b_, r, kText, kText);
      Raised(b_, Inset(r, 1));
    } else {
      Raised(b_, r);
    }
    const TAcceleratedText split = SplitAccelerator(c.Text);
    const int x = r.Left + (r.Width() - TextWidth(split.Text)) / 2;
    Text(x, r.Top + (r.Height() - LineHeight()) / 2, c.Text, kText, true);
  }

  void Memo(const TDialogControl& c) {
    const TRect r = Place(c.Bounds);
    b_.FillRect(r, kFace);
    Sunken(b_, r);
    // The vertical scroll bar, with nothing to scroll.
    const int bar = 17;
    const TRect track{r.Right - 2 - bar, r.Top + 2, r.Right - 2, r.Bottom - 2};
    b_.FillRect(track, 0xFFE8E8E8u);
    Raised(b_, TRect{track.Left, track.Top, track.Right, track.Top + bar});
    Raised(b_, TRect{track.Left, track.Bottom - bar, track.Right, track.Bottom});
    const int left = r.Left + 4, right = track.Left - 2;
    int y = r.Top + 3;
    for (const std::string& line : Wrap(c.Text, right - left)) {
      if (y + LineHeight() > r.Bottom - 2) break;
      Text(left, y, line, kText);
      y += LineHeight();
    }
  }

  // The text's lines broken at spaces to fit width.
  std::vector<std::string> Wrap(std::string_view text, int width) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      std::string current;
      std::size_t pos = 0;
      while (pos < line.size()) {
        std::size_t next = line.find(' ', pos);
        if (next == std::string_view::npos) next = line.size();
        const std::string word(line.substr(pos, next - pos));
        const std::string candidate = current.empty() ? word : current + " " + word;
        if (!current.empty() && TextWidth(candidate) > width) {
          out.push_back(current);
          current = word;
        } else {
          current = candidate;
        }
        pos = next + 1;
      }
      if (end == text.size() && line.empty()) break;  // no line after the last break
      out.push_back(current);
      start = end + 1;
    }
    return out;
  }

  void Tabs(const TDialogControl& pages, const TConfigFrmLayout& layout, int page) {
    const TRect r = Place(pages.Bounds);
    const TRect sheet{r.Left, Place(layout.PageArea).Top - 4, r.Right, r.Bottom};
    b_.FillRect(sheet, kWindow);
    Frame(b_, sheet, kLight, kDarkShadow);
    Frame(b_, Inset(sheet, 1), kWindow, kShadow);
    int x = r.Left + 2;
    for (int i = 0; i < static_cast<int>(layout.Pages.size()); ++i) {
      const std::string& caption = layout.Pages[static_cast<std::size_t>(i)];
      const int width = TextWidth(caption) + 16;
      const bool selected = i == page;
      const TRect tab{selected ? x - 2 : x, selected ? r.Top : r.Top + 2, x + width + (selected ? 2 : 0),
                      sheet.Top + (selected ? 1 : 0)};
      b_.FillRect(tab, selected ? kWindow : kFace);
      b_.FillRect(TRect{tab.Left, tab.Top, tab.Right, tab.Top + 1}, kLight);
      b_.FillRect(TRect{tab.Left, tab.Top, tab.Left + 1, tab.Bottom}, kLight);
      b_.FillRect(TRect{tab.Right - 1, tab.Top + 1, tab.Right, tab.Bottom}, kDarkShadow);
      Text(x + 8, tab.Top + (tab.Height() - LineHeight()) / 2, caption, kText);
      x += width;
    }
  }

 private:
  TBitmap32& b_;
  platform::ITextRasterizer& text_;
  int dx_, dy_;
  int charset_;
};

}  // namespace

TAcceleratedText SplitAccelerator(std::string_view caption) {
  TAcceleratedText out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      ++i;
      if (caption[i] != '&' && out.Accelerator == std::string::npos) out.Accelerator = out.Text.size();
    }
    out.Text += caption[i];
  }
  return out;
}

TBitmap32 PaintConfigFrm(const TConfigFrmLayout& layout, const TExImage& banner, platform::ITextRasterizer& text,
                         int page) {
  const int width = layout.ClientWidth + 2 * kBorder;
  const int height = layout.ClientHeight + 2 * kBorder + kCaptionHeight;
  TBitmap32 b(width, height, kFace);
  Raised(b, b.Bounds());
  b.FillRect(TRect{kBorder, kBorder, width - kBorder, kBorder + kCaptionHeight - 1}, kCaptionBar);
  text.PaintText(b, kBorder + 6, kBorder + 3, DialogFont(layout.Charset, true), TConfigFrm::kCaption, kCaptionText);

  TPainter p(b, text, kBorder, kBorder + kCaptionHeight, layout.Charset);
  for (const TDialogControl& c : layout.Controls) {
    if (!c.Visible || (c.Page >= 0 && c.Page != page)) continue;
    const TRect r = p.Place(c.Bounds);
    switch (c.Kind) {
      case TDialogControlKind::Banner:
        if (!banner.Picture().Empty()) b.StretchDraw(r, banner.Picture().Bitmap());
        break;
      case TDialogControlKind::PageControl:
        p.Tabs(c, layout, page);
        break;
      case TDialogControlKind::GroupBox:
        p.GroupBox(c);
        break;
      case TDialogControlKind::CheckBox:
        p.CheckBox(c);
        break;
      case TDialogControlKind::Label:
        p.Text(r.Left, r.Top, c.Text, kText);
        break;
      case TDialogControlKind::Link:
        p.Text(r.Left, r.Top, c.Text, kLink);
        break;
      case TDialogControlKind::Memo:
        p.Memo(c);
        break;
      case TDialogControlKind::Button:
        p.Button(c);
        break;
    }
  }
  return b;
}

}  // namespace lumora
