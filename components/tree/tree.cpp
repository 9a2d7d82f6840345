#include "components/tree/tree.h"

#include <string_view>

#include "components/tree/tree_text.h"
#include "core/error.h"
#include "core/text_template.h"
#include "core/variant.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Tree";

// Every output starts with what Initialize returns while the page script has
// not been emitted, and sets its flag; the result is allocated once, for the
// script and the block itself.
template <const auto& T>
std::string WithPageScript(bool& script_emitted, const std::string& expanded_image, const std::string& collapsed_image,
                           const text::Filled<T>& block) {
  if (script_emitted) return text::Build(block);
  std::string out = text::Build(text::Fill<tree_text::kPageScript>(expanded_image, collapsed_image), block);
  script_emitted = true;
  return out;
}

}  // namespace

Tree::Tree()
    : width_("1"),
      expanded_image_("/images/icons/FolderOpen.gif"),
      expand_all_image_("/images/icons/treeplus.gif"),
      collapsed_image_("/images/icons/FolderClosed.gif"),
      collapse_all_image_("/images/icons/treeminus.gif") {}

std::string Tree::Width() const { return width_; }
void Tree::Width(const std::string& newWidth) { width_ = newWidth; }
std::string Tree::TextClass() const { return text_class_; }
void Tree::TextClass(const std::string& NewTextClass) { text_class_ = NewTextClass; }
std::string Tree::ExpandedImage() const { return expanded_image_; }
void Tree::ExpandedImage(const std::string& NewExpandedImage) { expanded_image_ = NewExpandedImage; }
std::string Tree::ExpandAllImage() const { return expand_all_image_; }
void Tree::ExpandAllImage(const std::string& NewExpandAllImage) { expand_all_image_ = NewExpandAllImage; }
std::string Tree::CollapsedImage() const { return collapsed_image_; }
void Tree::CollapsedImage(const std::string& NewCollapsedImage) { collapsed_image_ = NewCollapsedImage; }
std::string Tree::CollapseAllImage() const { return collapse_all_image_; }
void Tree::CollapseAllImage(const std::string& NewCollapseAllImage) { collapse_all_image_ = NewCollapseAllImage; }

// The flag is set before the script is built and never tested here: a page
// that calls Initialize itself gets the script on every call.
std::string Tree::Initialize() {
  script_emitted_ = true;
  return text::Build(text::Fill<tree_text::kPageScript>(expanded_image_, collapsed_image_));
}

std::string Tree::WriteExpandCollapse() {
  return WithSource(kSource, [&] {
    return WithPageScript(script_emitted_, expanded_image_, collapsed_image_,
                          text::Fill<tree_text::kExpandCollapse>(collapse_all_image_, expand_all_image_));
  });
}

// The counter can only overflow once 32767 headers have been written, so the
// page script is out by then and raising before it is begun changes nothing.
std::string Tree::WriteMenuHeader(const std::string& MenuName) {
  return WithSource(kSource, [&] {
    // At 32767 this raises the overflow error and the counter keeps its value.
    const std::int16_t count = AddInteger(menu_count_, 1);
    const text::DecimalText n(count);
    std::string out =
        WithPageScript(script_emitted_, expanded_image_, collapsed_image_,
                       text::Fill<tree_text::kMenuHeader>(n, width_, collapsed_image_, text_class_, MenuName));
    menu_count_ = count;
    return out;
  });
}

std::string Tree::WriteMenuFooter() {
  return WithSource(kSource, [&] {
    return WithPageScript(script_emitted_, expanded_image_, collapsed_image_, text::Fill<tree_text::kMenuFooter>());
  });
}

std::string Tree::WriteNode(const std::string& NodeName, const std::string& URI, const std::string& Target,
                            const std::string& ImagePath) {
  return WithSource(kSource, [&] {
    // A node belongs to the menu opened last: its id is one past the number
    // of headers written so far.  The counter itself does not change.
    const text::DecimalText node(AddInteger(menu_count_, 1));
    if (ImagePath.empty()) {
      return WithPageScript(script_emitted_, expanded_image_, collapsed_image_,
                            text::Fill<tree_text::kNode>(Target, URI, node, text_class_, NodeName));
    }
    return WithPageScript(script_emitted_, expanded_image_, collapsed_image_,
                          text::Fill<tree_text::kNodeWithImage>(Target, URI, ImagePath, node, text_class_, NodeName));
  });
}

}  // namespace halvane
