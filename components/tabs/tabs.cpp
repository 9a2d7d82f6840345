// Tabs: geometry and per-tab settings, the layer-colour steps and the tab
// output.  The page script, style block and markup texts are in tabs_text.h.
#include "components/tabs/tabs.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "components/tabs/tabs_text.h"
#include "core/error.h"
#include "core/text_template.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Tabs";
constexpr std::string_view kValidationSource = "QuorvixTabs.TABS";

bool Greater(const Variant& a, const Variant& b) {
  const std::optional<int> c = Compare(a, b);
  return c && *c > 0;
}

bool Less(const Variant& a, const Variant& b) {
  const std::optional<int> c = Compare(a, b);
  return c && *c < 0;
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
  // A channel of two hexadecimal digits is 0 to 255, so a step of 15 can
  // only leave the range upwards when lighter and downwards when darker.
  for (Variant& c : channel) {
    if (step == Step::Lighter) {
      if (Greater(c, full)) c = full;
    } else {
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
void Tabs::JavaScriptOnClick(const std::string& NewJavaScriptOnClick) { java_script_on_click_ = NewJavaScriptOnClick; }

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
    const SpliceText content_name(ContentName);
    const SpliceText url(URL);
    const std::int16_t frame_width = SubInteger(panel_width_, 17);
    const std::int16_t frame_height = SubInteger(panel_height_, 20);
    const std::int16_t left = MulInteger(tab_width_, index);

    using namespace tabs_text;
    const text::DecimalText index_text(index), z_text(z_index), frame_width_text(frame_width),
        frame_height_text(frame_height), left_text(left);
    const auto every_call = text::Fill<kEveryCall>(
        index_text, layer_color_, z_text, is_visible_ ? kPanelShown : kPanelHidden, content_name, url, frame_width_text,
        frame_height_text, java_script_on_click_, left_text, is_visible_ ? kTabShown : kTabHidden, tab_name_);
    // A first call also carries the page script, style block and container
    // opening; the result is allocated once either way.
    std::string out =
        script_emitted_
            ? text::Build(every_call)
            : text::Build(text::Fill<kFirstCall>(text::DecimalText(tab_count_), text::DecimalText(tab_width_),
                                                 text::DecimalText(panel_width_), text::DecimalText(panel_height_)),
                          every_call);

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
