// The movie control's mouse filter: which messages raise which event and which reach the
// movie, with left clicks kept from it or let through.
#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_clock.h"
#include "trpic/flash_control.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using platform::TControlMessage;

TEST(FlashControl, MessageTableRaisesItsEventAndPassesOnlyLeftClicksWhenNotPreviewing) {
  struct TCase {
    TControlMessage Message;
    const char* Raised;   // with PreviewMsg false, then true
    const char* RaisedPreview;
    bool Passed;          // with PreviewMsg false; with true only the events' side differs
  };
  const TCase cases[] = {
      {TControlMessage::MouseMove, "move 3 4", "move 3 4", false},
      {TControlMessage::LButtonDown, "", "down left 3 4", true},
      {TControlMessage::LButtonUp, "", "up left 3 4", true},
      {TControlMessage::MButtonDown, "down middle 3 4", "down middle 3 4", false},
      {TControlMessage::MButtonUp, "up middle 3 4", "up middle 3 4", false},
      {TControlMessage::RButtonDown, "down right 3 4", "down right 3 4", false},
      {TControlMessage::RButtonUp, "up right 3 4", "up right 3 4", false},
      {TControlMessage::LButtonDblClk, "dblclick", "dblclick", false},
      {TControlMessage::MButtonDblClk, "", "", false},
      {TControlMessage::RButtonDblClk, "", "", false},
  };
  const auto name = [](platform::TMouseButton b) {
    return b == platform::TMouseButton::mbLeft ? "left" : b == platform::TMouseButton::mbMiddle ? "middle" : "right";
  };
  platform::THeadlessClock clock;
  platform::THeadlessActiveXHost host(clock);
  for (const bool preview : {false, true}) {
    for (const bool handlers : {true, false}) {
      platform::TActiveXFailure failure{};
      auto flash = TExShockwaveFlash::Create(host, nullptr, failure);
      ASSERT_NE(flash, nullptr);
      flash->PreviewMsg = preview;
      std::string raised;
      if (handlers) {
        flash->OnMouseDown = [&](TExShockwaveFlash&, platform::TMouseButton b, platform::TShiftState s, int x, int y) {
          EXPECT_EQ(s, platform::TShiftState{});
          raised = std::string("down ") + name(b) + " " + std::to_string(x) + " " + std::to_string(y);
        };
        flash->OnMouseUp = [&](TExShockwaveFlash&, platform::TMouseButton b, platform::TShiftState, int x, int y) {
          raised = std::string("up ") + name(b) + " " + std::to_string(x) + " " + std::to_string(y);
        };
        flash->OnMouseMove = [&](TExShockwaveFlash&, platform::TShiftState, int x, int y) {
          raised = "move " + std::to_string(x) + " " + std::to_string(y);
        };
        flash->OnDblClick = [&](TExShockwaveFlash&) { raised = "dblclick"; };
      }
      auto& control = *host.Controls.back();
      for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "message " << int(c.Message) << " preview " << preview << " handlers "
                                        << handlers);
        raised.clear();
        control.Received.clear();
        const bool passed = control.Deliver(c.Message, 3, 4);
        // Unassigned handlers raise nothing and change nothing about what passes.
        EXPECT_EQ(raised, handlers ? (preview ? c.RaisedPreview : c.Raised) : "");
        const bool expected = c.Passed && !preview;
        EXPECT_EQ(passed, expected);
        EXPECT_EQ(control.Received.size(), expected ? 1u : 0u);
      }
    }
  }
}

}  // namespace
}  // namespace lumora
