#include "components/tree/tree.h"

#include <string_view>

#include "components/tree/tree_text.h"
#include "core/error.h"
#include "core/text.h"
#include "core/text_template.h"
#include "core/variant.h"

namespace halvane {

namespace {

constexpr std::string_view kSource = "Halvane.Tree";

// The texts taken apart at build time, so that an output is sized exactly
// and filled by copying alone.
template <std::size_t Names, auto& Text>
consteval auto Compiled(std::initializer_list<std::string_view> names) {
  return text::CompileTemplate<text::FieldCount(Text.view()), Names>(Text.view(), names);
}
constexpr auto kPageScript = Compiled<2, tree_text::kPageScript>({"ExpandedImage", "CollapsedImage"});
constexpr auto kExpandCollapse = Compiled<2, tree_text::kExpandCollapse>({"CollapseAllImage", "ExpandAllImage"});
constexpr auto kMenuHeader =
    Compiled<5, tree_text::kMenuHeader>({"n", "Width", "CollapsedImage", "TextClass", "MenuName"});
constexpr auto kNodeWithImage =
    Compiled<6, tree_text::kNodeWithImage>({"Target", "URI", "ImagePath", "node", "TextClass", "NodeName"});
constexpr auto kNode = Compiled<6, tree_text::kNode>({"Target", "URI", "ImagePath", "node", "TextClass", "NodeName"});

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
  std::string out;
  text::AppendTemplate<kPageScript>(out, expanded_image_, collapsed_image_);
  return out;
}

// Every output starts with what Initialize returns while the page script has
// not been emitted (and sets its flag); the result is allocated once, for the
// script and the `room` characters of the output itself.
std::string Tree::BeginOutput(std::size_t room) {
  std::string out;
  if (script_emitted_) {
    out.reserve(room);
  } else {
    script_emitted_ = true;
    out.reserve(text::TemplateSize<kPageScript>(expanded_image_, collapsed_image_) + room);
    text::AppendTemplate<kPageScript>(out, expanded_image_, collapsed_image_);
  }
  return out;
}

std::string Tree::WriteExpandCollapse() {
  return WithSource(kSource, [&] {
    std::string out = BeginOutput(text::TemplateSize<kExpandCollapse>(collapse_all_image_, expand_all_image_));
    text::AppendTemplate<kExpandCollapse>(out, collapse_all_image_, expand_all_image_);
    return out;
  });
}

// The counter can only overflow once 32767 headers have been written, so the
// page script is out by then and raising before it is begun changes nothing.
std::string Tree::WriteMenuHeader(const std::string& MenuName) {
  return WithSource(kSource, [&] {
    // At 32767 this raises the overflow error and the counter keeps its value.
    const std::int16_t count = AddInteger(menu_count_, 1);
    const std::string n = text::Decimal(count);
    std::string out = BeginOutput(text::TemplateSize<kMenuHeader>(n, width_, collapsed_image_, text_class_, MenuName));
    menu_count_ = count;
    text::AppendTemplate<kMenuHeader>(out, n, width_, collapsed_image_, text_class_, MenuName);
    return out;
  });
}

std::string Tree::WriteMenuFooter() {
  return WithSource(kSource, [&] {
    std::string out = BeginOutput(tree_text::kMenuFooter.view().size());
    out.append(tree_text::kMenuFooter.view());
    return out;
  });
}

std::string Tree::WriteNode(const std::string& NodeName, const std::string& URI, const std::string& Target,
                            const std::string& ImagePath) {
  return WithSource(kSource, [&] {
    // A node belongs to the menu opened last: its id is one past the number
    // of headers written so far.  The counter itself does not change.
    const std::string node = text::Decimal(AddInteger(menu_count_, 1));
    std::string out;
    if (ImagePath.empty()) {
      out = BeginOutput(text::TemplateSize<kNode>(Target, URI, ImagePath, node, text_class_, NodeName));
      text::AppendTemplate<kNode>(out, Target, URI, ImagePath, node, text_class_, NodeName);
    } else {
      out = BeginOutput(text::TemplateSize<kNodeWithImage>(Target, URI, ImagePath, node, text_class_, NodeName));
      text::AppendTemplate<kNodeWithImage>(out, Target, URI, ImagePath, node, text_class_, NodeName);
    }
    return out;
  });
}

}  // namespace halvane
