// Tabs: geometry and per-tab settings, the layer-colour steps and the tab
// output.  The page script, style block and markup texts are in tabs_text.h.
#include "components/tabs/tabs.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "core/error.h"
#include "core/text.h"
#include "components/tabs/tabs_text.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Tabs";
constexpr std::string_view kValidationSource = "QuorvixTabs.TABS";

// Room for the fixed text of a result; each spliced number takes at most six
// characters ("-32768").
constexpr std::size_t kNumberRoom = 6;
constexpr std::size_t kFirstCallRoom =
    tabs_text::kScriptHead.view().size() + tabs_text::kScriptTail.view().size() +
    tabs_text::kPanelRule.view().size() + tabs_text::kPanelHeight.size() +
    tabs_text::kStyleEnd.view().size() + 4 * kNumberRoom;
constexpr std::size_t kEveryCallRoom =
    tabs_text::kPanelOpen.size() + tabs_text::kPanelStyle.size() + tabs_text::kPanelZIndex.size() +
    tabs_text::kPanelHidden.size() + tabs_text::kBreak.size() + tabs_text::kFrameName.size() +
    tabs_text::kFrameSource.size() + tabs_text::kFrameWidth.size() +
    tabs_text::kFrameHeight.size() + tabs_text::kFrameEnd.size() + tabs_text::kPanelClose.size() +
    tabs_text::kTabOpen.size() + tabs_text::kTabOnClick.size() + tabs_text::kTabId.size() +
    tabs_text::kTabStyle.size() + tabs_text::kTabLeft.size() + tabs_text::kTabZIndex.size() +
    tabs_text::kTabHidden.size() + tabs_text::kTabClose.size() + 7 * kNumberRoom;

bool Greater(const Variant& a, const Variant& b) {
  const std::optional<int> c = Compare(a, b);
  return c && *c > 0;
}

bool Less(const Variant& a, const Variant& b) {
  const std::optional<int> c = Compare(a, b);
  return c && *c < 0;
}

// The text a caller's value gives when it is concatenated into the output:
// Strings unchanged, numbers as their text, Null and Empty as nothing; an
// Error value (an omitted argument) raises type mismatch.
std::string SpliceText(const Variant& value) {
  return ToString(Concat(Variant(std::string_view()), value));
}

enum class Step { Lighter, Darker };

// One shade lighter or darker: each two-digit channel is read as "&H" text,
// moved by 15 with Variant arithmetic, limited (clamped when lighter, wrapped
// when darker) and written back as two upper-case hexadecimal digits.  Works
// on temporaries only, so an unreadable channel raises before anything is
// stored.
std::string SteppedColour(const std::string& colour, Step step) {
  const Variant text(colour);
  const Variant fifteen = Variant::Integer(15);
  const Variant zero = Variant::Integer(0);
  const Variant full = Variant::Integer(255);

  std::array<Variant, 3> channel;
  constexpr std::array<std::int32_t, 3> kStart = {1, 3, 5};
  for (std::size_t i = 0; i < channel.size(); ++i) {
    channel[i] = Concat(Variant("&H"), Mid(text, kStart[i], 2));
  }
  for (Variant& c : channel) {
    c = (step == Step::Lighter) ? Add(c, fifteen) : Subtract(c, fifteen);
  }
  for (Variant& c : channel) {
    if (step == Step::Lighter) {
      if (Greater(c, full)) c = full;
      if (Less(c, zero)) c = zero;
    } else {
      if (Greater(c, full)) c = zero;
      if (Less(c, zero)) c = full;
    }
  }
  std::string result;
  result.reserve(6);
  for (const Variant& c : channel) {
    const std::string digits = ToString(Hex(c));
    if (digits.size() == 1) result += '0';
    result += digits;
  }
  return result;
}

}  // namespace

void Tabs::IsVisible(bool NewIsVisible) { is_visible_ = NewIsVisible; }

std::string Tabs::TabName() const { return tab_name_; }
void Tabs::TabName(const std::string& NewTabName) { tab_name_ = NewTabName; }

std::int16_t Tabs::TabWidth() const { return tab_width_; }
void Tabs::TabWidth(std::int16_t NewTabWidth) { tab_width_ = NewTabWidth; }

std::int16_t Tabs::PanelWidth() const { return panel_width_; }
void Tabs::PanelWidth(std::int16_t NewPanelWidth) { panel_width_ = NewPanelWidth; }

std::int16_t Tabs::PanelHeight() const { return panel_height_; }
void Tabs::PanelHeight(std::int16_t NewPanelHeight) { panel_height_ = NewPanelHeight; }

std::int16_t Tabs::TabCount() const { return tab_count_; }
void Tabs::TabCount(std::int16_t NewTabCount) { tab_count_ = NewTabCount; }

std::string Tabs::LayerColor() const { return layer_color_; }
void Tabs::LayerColor(const std::string& NewLayerColor) { layer_color_ = NewLayerColor; }

std::string Tabs::JavaScriptOnClick() const { return java_script_on_click_; }
void Tabs::JavaScriptOnClick(const std::string& NewJavaScriptOnClick) {
  java_script_on_click_ = NewJavaScriptOnClick;
}

std::string Tabs::WriteTab(const Variant& ContentName, const Variant& URL) {
  // The only validation: the Integer members (TabWidth, PanelWidth,
  // PanelHeight, TabCount) hold a number at all times, and zero or negative
  // values are legitimate output (a frame of width -17, numDiv = 0), so they
  // are not checked.
  if (tab_name_.empty()) {
    throw Error(1, std::string(kValidationSource), "TabName property is empty.");
  }

  return WithSource(kSource, [&] {
    // Everything that can fail comes first, in the order the text uses it.
    // The object changes only once the text is complete, so a failed call
    // leaves no raised index (a gap in the ids selectTab walks) and no set
    // flag (a page without the script and style it believes it received).
    const std::int16_t index = AddInteger(tab_index_, 1);
    const std::int16_t z_index = SubInteger(tab_count_, index);
    const std::string content_name = SpliceText(ContentName);
    const std::string url = SpliceText(URL);
    const std::int16_t frame_width = SubInteger(panel_width_, 17);
    const std::int16_t frame_height = SubInteger(panel_height_, 20);
    const std::int16_t left = MulInteger(tab_width_, index);

    namespace t = tabs_text;
    std::string out;
    out.reserve((script_emitted_ ? 0 : kFirstCallRoom) + kEveryCallRoom +
                2 * layer_color_.size() + content_name.size() + url.size() +
                java_script_on_click_.size() + tab_name_.size());

    if (!script_emitted_) {
      out += t::kScriptHead.view();
      text::AppendDecimal(out, tab_count_);
      out += t::kScriptTail.view();
      text::AppendDecimal(out, tab_width_);
      out += t::kPanelRule.view();
      text::AppendDecimal(out, panel_width_);
      out += t::kPanelHeight;
      text::AppendDecimal(out, panel_height_);
      out += t::kStyleEnd.view();
    }

    out += t::kPanelOpen;
    text::AppendDecimal(out, index);
    out += t::kPanelStyle;
    out += layer_color_;
    out += t::kPanelZIndex;
    text::AppendDecimal(out, z_index);
    out += is_visible_ ? t::kPanelShown : t::kPanelHidden;
    out += t::kBreak;

    out += t::kFrameName;
    out += content_name;
    out += t::kFrameSource;
    out += url;
    out += t::kFrameWidth;
    text::AppendDecimal(out, frame_width);
    out += t::kFrameHeight;
    text::AppendDecimal(out, frame_height);
    out += t::kFrameEnd;
    out += t::kPanelClose;

    out += t::kTabOpen;
    text::AppendDecimal(out, index);
    out += t::kTabOnClick;
    out += java_script_on_click_;
    out += t::kTabId;
    text::AppendDecimal(out, index);
    out += t::kTabStyle;
    out += layer_color_;
    out += t::kTabLeft;
    text::AppendDecimal(out, left);
    out += t::kTabZIndex;
    text::AppendDecimal(out, z_index);
    out += is_visible_ ? t::kTabShown : t::kTabHidden;
    out += tab_name_;
    out += t::kTabClose;

    tab_index_ = index;
    script_emitted_ = true;
    java_script_on_click_.clear();
    is_visible_ = true;
    return out;
  });
}

void Tabs::MoveNextLayerColor() {
  WithSource(kSource, [&] { layer_color_ = SteppedColour(layer_color_, Step::Lighter); });
}

void Tabs::MovePreviousLayerColor() {
  WithSource(kSource, [&] { layer_color_ = SteppedColour(layer_color_, Step::Darker); });
}

}  // namespace halvane
