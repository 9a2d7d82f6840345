// Tabs: geometry and per-tab settings, the layer-colour steps and the tab
// output.  The page script, style block and markup texts are in tabs_text.h.
#include "components/tabs/tabs.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "components/tabs/tabs_text.h"
#include "core/error.h"
#include "core/text.h"
#include "core/text_template.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Tabs";
constexpr std::string_view kValidationSource = "QuorvixTabs.TABS";

// The pieces of tabs_text.h with the places of the values marked, joined and
// taken apart into templates at build time.
namespace t = tabs_text;
using std::string_view;

// The page script, style block and container opening of a first call.
constexpr std::array kFirstCallParts = {
    t::kScriptHead.view(),     string_view("@TabCount@"),    t::kScriptTail.view(),
    string_view("@TabWidth@"), t::kPanelRule.view(),         string_view("@PanelWidth@"),
    t::kPanelHeight,           string_view("@PanelHeight@"), t::kStyleEnd.view(),
};
constexpr auto kFirstCallText = text::Join<text::JoinedSize(kFirstCallParts)>(kFirstCallParts);
constexpr auto kFirstCall = text::CompileTemplate<text::FieldCount(kFirstCallText.view()), 4>(
    kFirstCallText.view(), {"TabCount", "TabWidth", "PanelWidth", "PanelHeight"});

// The panel with its frame, then the tab.  PanelEnd and TabEnd are the
// shown or hidden endings of the two start tags.
constexpr std::array kEveryCallParts = {
    t::kPanelOpen,
    string_view("@index@"),
    t::kPanelStyle,
    string_view("@LayerColor@"),
    t::kPanelZIndex,
    string_view("@z@"),
    string_view("@PanelEnd@"),
    t::kBreak,
    t::kFrameName,
    string_view("@ContentName@"),
    t::kFrameSource,
    string_view("@URL@"),
    t::kFrameWidth,
    string_view("@FrameWidth@"),
    t::kFrameHeight,
    string_view("@FrameHeight@"),
    t::kFrameEnd,
    t::kPanelClose,
    t::kTabOpen,
    string_view("@index@"),
    t::kTabOnClick,
    string_view("@JavaScriptOnClick@"),
    t::kTabId,
    string_view("@index@"),
    t::kTabStyle,
    string_view("@LayerColor@"),
    t::kTabLeft,
    string_view("@left@"),
    t::kTabZIndex,
    string_view("@z@"),
    string_view("@TabEnd@"),
    string_view("@TabName@"),
    t::kTabClose,
};
constexpr auto kEveryCallText = text::Join<text::JoinedSize(kEveryCallParts)>(kEveryCallParts);
constexpr auto kEveryCall = text::CompileTemplate<text::FieldCount(kEveryCallText.view()), 12>(
    kEveryCallText.view(), {"index", "LayerColor", "z", "PanelEnd", "ContentName", "URL", "FrameWidth", "FrameHeight",
                            "JavaScriptOnClick", "left", "TabEnd", "TabName"});

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

    const text::DecimalText index_text(index), z_text(z_index), frame_width_text(frame_width),
        frame_height_text(frame_height), left_text(left);
    const std::string_view panel_end = is_visible_ ? tabs_text::kPanelShown : tabs_text::kPanelHidden;
    const std::string_view tab_end = is_visible_ ? tabs_text::kTabShown : tabs_text::kTabHidden;
    const std::size_t tab_size = text::TemplateSize<kEveryCall>(
        index_text, layer_color_, z_text, panel_end, content_name.view(), url.view(), frame_width_text,
        frame_height_text, java_script_on_click_, left_text, tab_end, tab_name_);

    std::string out;
    if (script_emitted_) {
      out.reserve(tab_size);
    } else {
      const text::DecimalText count_text(tab_count_), tab_width_text(tab_width_), panel_width_text(panel_width_),
          panel_height_text(panel_height_);
      out.reserve(text::TemplateSize<kFirstCall>(count_text, tab_width_text, panel_width_text, panel_height_text) +
                  tab_size);
      text::AppendTemplate<kFirstCall>(out, count_text, tab_width_text, panel_width_text, panel_height_text);
    }
    text::AppendTemplate<kEveryCall>(out, index_text, layer_color_, z_text, panel_end, content_name.view(), url.view(),
                                     frame_width_text, frame_height_text, java_script_on_click_, left_text, tab_end,
                                     tab_name_);

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
